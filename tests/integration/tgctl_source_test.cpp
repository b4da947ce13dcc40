#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "config/config_key.h"
#include "config/config_store.h"
#include "config/instance_lock.h"
#include "support/loopback_peer.h"
#include "support/reserved_port.h"
#include "support/tgctl_runner.h"

namespace tg::test {
namespace {

class TgctlSourceTest : public TgctlTest {
protected:
    TgctlSourceTest() : TgctlTest("state/store.db") {}
    std::string m_log = m_dir.file("web.log");
    std::string m_backup = m_dir.file("web.dup");

    std::vector<std::string> addWeb(const std::string& name = "web") {
        return {"source",    "add", name,       "--type", "FILE",     "--regexp", "^(\\S+) (.*)$",
                "--connect", m_log, "--backup", m_backup, "--fields", "host,text"};
    }
    // A stored diagram of `source`, written as the diagram code writes it.
    void storeDiagram(const std::string& name, const std::string& source) {
        ConfigStore store(m_store);
        ConfigKey key(store);
        ASSERT_TRUE(key.open("\\diagrams\\" + name));
        key.setString("datasource", source);
        key.setString("xaxis", "/a\t/b\t");
        ASSERT_TRUE(key.open("\\diagrams\\" + name + "\\yaxises\\hits"));
        key.setString("datasource", "text");
        key.setString("regexp", ".*");
        key.setDword("oper", 2);
        key.setString("data", "3,1,");
        key.setString("count", "3,1,");
        key.setString("strdata", "");
        ASSERT_TRUE(key.open("\\diagrams\\" + name + "\\yaxises\\mean"));
        key.setDword("oper", 5);
        key.setString("data", "3,");
        key.setString("count", "2,");
    }
};

TEST_F(TgctlSourceTest, AddRefusesWithTheEditorsMessagesAndStoresNothing) {
    struct Row {
        std::vector<std::string> words;
        const char* message;
    };
    const Row rows[] = {
        {{"source", "add", ""}, "Plese fill data source name"},
        {{"source", "add", "a\\b", "--type", "FILE"},
         "Data source name can not contain a backslash"},
        {{"source", "add", "x", "--type", "FILE"}, "Please fill regular expression"},
        {{"source", "add", "x", "--type", "ODBC"}, "Please fill data source connect parameters"},
        {{"source", "add", "x", "--regexp", "(.*)", "--connect", "c"},
         "Please select data source backup file"},
        {{"source", "add", "x", "--regexp", "(.*)", "--connect", "c", "--backup", "b"},
         "Please choose data source type"},
        {{"source", "add", "x", "--type", "UDP", "--regexp", "(.*)", "--connect", "UDP:514",
          "--backup", "b", "--fields", "a,b,a"},
         "Field names arn't unique"},
        {{"source", "add", "x", "--type", "UDP", "--regexp", "(", "--connect", "UDP:514",
          "--backup", "b"},
         "Regular Expression Syntax Error"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.message);
        expectFailure(tgctl(row.words), row.message);
    }
    expectOk(tgctl({"source", "list"}));

    expectOk(tgctl(addWeb()));
    expectFailure(tgctl({"source", "set", "web", "--regexp", "a(b"}),
                  "Regular Expression Syntax Error");
    EXPECT_EQ(tgctl({"reg", "get", "sources\\web", "regexp"}).out, "^(\\S+) (.*)$\n");
    expectFailure(tgctl(addWeb()), "Data source with such name already exists");
    // The store keeps key names without regard to case: WEB would overwrite web.
    expectFailure(tgctl(addWeb("WEB")), "Data source with such name already exists");
    expectOk(tgctl({"source", "list"}), "web\tFILE\n");

    const RunResult badType = tgctl({"source", "add", "x", "--type", "file"});
    EXPECT_EQ(badType.exitCode, 2);
    EXPECT_NE(badType.err.find("unknown --type \"file\" (use FILE, TCP/IP, UDP, ODBC or COM)"),
              std::string::npos);
    const RunResult emptyField = tgctl({"source", "add", "x", "--fields", "a,,b"});
    EXPECT_EQ(emptyField.exitCode, 2);
    EXPECT_NE(emptyField.err.find("--fields \"a,,b\" has an empty field name"), std::string::npos);
}

TEST_F(TgctlSourceTest, AddedSourcesShowAndListAsStoredWhateverTheirNames) {
    const std::string odd = "Web log \xe9t\xe9";  // blanks and Windows-1252 bytes
    expectOk(tgctl(addWeb(odd)));
    expectOk(tgctl({"source", "add", "db", "--type", "ODBC", "--connect",
                    "DSN=x;SQL=\"select a from t\"", "--backup", m_backup}));
    expectOk(tgctl({"source", "list"}), "db\tODBC\n" + odd + "\tFILE\n");
    expectOk(tgctl({"source", "show", odd}), "name\t" + odd +
                                                 "\ntype\tFILE\nregexp\t^(\\S+) (.*)$\n"
                                                 "connect\t" +
                                                 m_log + "\nbackup\t" + m_backup +
                                                 "\nfields\thost,text\nlastpos\t0\n");
    expectOk(tgctl({"reg", "get", "sources\\" + odd, "fields"}), "host,text,\n");
    expectFailure(tgctl({"source", "show", "web log \xe9t\xe9"}),
                  "no data source web log \xe9t\xe9");
}

TEST_F(TgctlSourceTest, SetChangesOnlyTheGivenValuesAndRenameMovesTheDefinition) {
    expectOk(tgctl(addWeb()));
    expectOk(tgctl({"reg", "set", "sources\\web", "lastpos", "--dword", "42"}));
    expectOk(tgctl({"source", "set", "web", "--regexp", "^(.*)$", "--fields", "line"}));
    const std::string shown = "type\tFILE\nregexp\t^(.*)$\nconnect\t" + m_log + "\nbackup\t" +
                              m_backup + "\nfields\tline\nlastpos\t42\n";
    expectOk(tgctl({"source", "show", "web"}), "name\tweb\n" + shown);

    expectFailure(tgctl({"source", "set", "web", "--regexp", ""}),
                  "Please fill regular expression");
    expectFailure(tgctl({"source", "set", "missing", "--regexp", "x"}), "no data source missing");

    expectOk(tgctl({"source", "set", "web", "--name", "access"}));
    expectOk(tgctl({"source", "list"}), "access\tFILE\n");
    expectOk(tgctl({"source", "show", "access"}), "name\taccess\n" + shown);
    expectOk(tgctl({"source", "set", "access", "--name", "Access"}));  // its own key, recased
    expectOk(tgctl({"source", "list"}), "Access\tFILE\n");
}

TEST_F(TgctlSourceTest, RemoveAndRenameAreRefusedWhileAStoredDiagramUsesTheSource) {
    std::ofstream(m_log) << "host1 first line\nhost2 second line\n";
    expectOk(tgctl(addWeb()));
    storeDiagram("hits", "web");
    expectFailure(tgctl({"source", "remove", "web"}),
                  "Data source can not be deleted: it is binded to one or more diagrams. ");
    expectFailure(tgctl({"source", "set", "web", "--name", "other"}),
                  "Data source can not be renamed: it is binded to one or more diagrams");
    expectOk(tgctl({"source", "set", "web", "--connect", m_log + ".1"}));
    // No reader ran: nothing was read from the log or duplicated.
    expectOk(tgctl({"reg", "get", "sources\\web", "lastpos"}), "0\n");
    EXPECT_FALSE(std::filesystem::exists(m_backup));
    // Nor was any diagram loaded and saved: that would have completed the axis with strdata.
    EXPECT_EQ(tgctl({"reg", "get", "diagrams\\hits\\yaxises\\mean", "strdata"}).exitCode, 1);

    expectOk(tgctl({"reg", "set", "diagrams\\hits", "datasource", "--string", "WEB"}));
    expectOk(tgctl({"source", "remove", "web"}));  // names compare exactly: WEB is not web
    expectOk(tgctl({"source", "list"}));
    expectFailure(tgctl({"source", "remove", "web"}), "no data source web");
}

TEST_F(TgctlSourceTest, DiagramsListAndShowTheirStoredDataWithoutWritingBack) {
    expectOk(tgctl(addWeb()));
    storeDiagram("hits", "web");
    storeDiagram("idle", "gone");
    const std::string before = tgctl({"reg", "dump"}).out;

    expectOk(tgctl({"diagram", "list"}), "hits\tweb\ttrue\nidle\tgone\tfalse\n");
    expectOk(tgctl({"diagram", "show", "hits"}),
             "name\thits\ndatasource\tweb\nrunning\ttrue\n"
             "axis\thits\tfield=text\tregexp=.*\toper=COUNT\n"
             "axis\tmean\tfield=\tregexp=.*\toper=AVERAGE\n"
             "\n"
             "x\thits\tmean\n"
             "/a\t3\t1.5\n"
             "/b\t1\t\n");
    expectOk(tgctl({"diagram", "show", "hits", "--format", "csv"}),
             "label,hits,mean\r\n/a,3,1.5\r\n/b,1,\r\n");
    expectOk(tgctl({"diagram", "show", "hits", "--format", "json"}),
             "{\"diagram\":\"hits\",\"labels\":[\"/a\",\"/b\"],\"series\":["
             "{\"axis\":\"hits\",\"operation\":\"COUNT\",\"values\":[3,1]},"
             "{\"axis\":\"mean\",\"operation\":\"AVERAGE\",\"values\":[1.5,null]}]}\n");
    EXPECT_EQ(tgctl({"diagram", "show", "hits", "--format", "xml"}).exitCode, 2);
    expectFailure(tgctl({"diagram", "show", "HITS"}), "no diagram HITS");
    EXPECT_EQ(tgctl({"reg", "dump"}).out, before);  // no defaults, no saved data
}

TEST_F(TgctlSourceTest, ConnectStringsAreCheckedAsTheReadersReadThemAndTriedOnDemand) {
    const auto add = [&](const std::string& type, const std::string& connect) {
        return tgctl({"source", "add", "net", "--type", type, "--regexp", "(.*)", "--connect",
                      connect, "--backup", m_backup});
    };
    expectFailure(add("TCP/IP", "TCP:logs"),
                  "Connection string syntax error. Usage: TCP:host:port");
    expectFailure(add("UDP", "514"), "Connection string syntax error. Usage: UDP:port");
    expectFailure(add("COM", "COM1"),
                  "Connection string syntax error. Usage: COM1:baud=96 parity=n data=8 stop=1 "
                  "xon=on dtr=on rts=on");
    expectFailure(add("COM", "COM1:baud=97"), "The baud rate 97 is not supported");
    EXPECT_EQ(tgctl({"source", "add", "net", "--datagram-lines", "yes"}).exitCode, 2);
    expectOk(tgctl({"source", "list"}));

    const std::uint16_t udpPort = freeUdpPort();
    const std::string udp = "UDP:" + std::to_string(udpPort);
    expectOk(tgctl({"source", "add", "net", "--type", "UDP", "--regexp", "(.*)", "--connect", udp,
                    "--backup", m_backup, "--datagram-lines", "1"}));
    EXPECT_NE(tgctl({"source", "show", "net"}).out.find("\ndatagramlines\t1\n"),
              std::string::npos);
    ReservedPort server;
    const std::string tcp = "TCP:127.0.0.1:" + std::to_string(server.port());
    {
        // Trying reads the store only: it works while the daemon runs.
        InstanceLock daemon{std::filesystem::path(m_store), InstanceLock::Mode::Instance};
        ASSERT_TRUE(daemon.held());
        expectOk(tgctl({"source", "test", "net"}), "OK\n");
        expectFailure(tgctl({"source", "test", "none"}), "no data source none");
    }
    expectOk(tgctl({"source", "set", "net", "--type", "TCP/IP", "--connect", tcp}));
    expectFailure(tgctl({"source", "test", "net"}), "Connection refused");
    const UniqueFd listener = listenLoopback(server.port());
    expectOk(tgctl({"source", "test", "net"}), "OK\n");
    EXPECT_EQ(tgctl({"source", "show", "net"}).out.find("datagramlines"), std::string::npos);
}

TEST_F(TgctlSourceTest, ChangesAreRefusedWhileTheDaemonHoldsTheStoreButReadingWorks) {
    expectOk(tgctl(addWeb()));
    storeDiagram("hits", "web");
    {
        InstanceLock daemon{std::filesystem::path(m_store), InstanceLock::Mode::Instance};
        ASSERT_TRUE(daemon.held());
        expectFailure(tgctl(addWeb("other")), kDaemonRunning);
        expectFailure(tgctl({"source", "set", "web", "--regexp", "x(.*)"}), kDaemonRunning);
        expectFailure(tgctl({"source", "remove", "web"}), kDaemonRunning);
        expectOk(tgctl({"source", "list"}), "web\tFILE\n");
        EXPECT_EQ(tgctl({"source", "show", "web"}).exitCode, 0);
        EXPECT_EQ(tgctl({"diagram", "list"}).out, "hits\tweb\ttrue\n");
        EXPECT_EQ(tgctl({"diagram", "show", "hits"}).exitCode, 0);
    }
    expectOk(tgctl({"source", "set", "web", "--regexp", "x(.*)", "--fields", "a"}));
}

}  // namespace
}  // namespace tg::test
