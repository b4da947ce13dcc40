#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "config/instance_lock.h"
#include "support/tgctl_runner.h"

namespace tg::test {
namespace {

class TgctlExchangeTest : public TgctlTest {
protected:
    // Source "web" and diagram "hits" on it, made with tgctl.
    void defineWeb() {
        expectOk(tgctl({"source", "add", "web", "--type", "FILE", "--regexp", "^(\\S+) (.*)$",
                        "--connect", m_dir.file("web.log"), "--backup", m_dir.file("web.dup"),
                        "--fields", "host,text"}));
        for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
                 {"diagrams\\hits", "datasource", "--string", "web"},
                 {"diagrams\\hits\\filters\\no bots", "datasource", "--string", "text"},
                 {"diagrams\\hits\\filters\\no bots", "regexp", "--string", "bot"},
                 {"diagrams\\hits\\filters\\no bots", "inv", "--dword", "1"},
                 {"diagrams\\hits\\groups\\host", "datasource", "--string", "host"},
                 {"diagrams\\hits\\yaxises\\count", "datasource", "--string", "text"},
                 {"diagrams\\hits\\yaxises\\count", "oper", "--dword", "2"},
                 {"diagrams\\hits", "xaxis", "--string", "/a\t/b\t"},
                 {"diagrams\\hits\\yaxises\\count", "data", "--string", "3,1,"},
                 {"diagrams\\hits\\yaxises\\count", "count", "--string", "3,1,"},
             }) {
            std::vector<std::string> set{"reg", "set"};
            set.insert(set.end(), words.begin(), words.end());
            expectOk(tgctl(set));
        }
    }
    RunResult other(std::vector<std::string> words, const std::string& input = {}) {
        words.insert(words.begin(), {"--store", m_otherStore});
        return runTgctl(words, input);
    }

    std::string m_otherStore = m_dir.file("other/store.db");
};

TEST_F(TgctlExchangeTest, MovesADiagramAndItsSourceToAnotherStore) {
    defineWeb();
    const std::string source = m_dir.file("web.xml");
    const std::string diagram = m_dir.file("hits.xml");
    expectOk(tgctl({"source", "export", "web", source}));
    expectOk(tgctl({"diagram", "export", "hits", diagram}));
    // "-" is standard output, and the same document.
    expectOk(tgctl({"diagram", "export", "hits", "-"}), readFile(diagram));

    expectOk(other({"source", "import", source}));
    expectOk(other({"diagram", "import", "-"}, readFile(diagram)));  // from standard input
    // The same definition; the data stays behind.
    const std::string shown = tgctl({"diagram", "show", "hits"}).out;
    const std::string definition = shown.substr(0, shown.find("\n\n") + 2);
    EXPECT_EQ(other({"diagram", "show", "hits"}).out, definition + "x\tcount\n");
    EXPECT_NE(shown, definition + "x\tcount\n");
    EXPECT_EQ(other({"source", "show", "web"}).out, tgctl({"source", "show", "web"}).out);
    // Exported again there, byte for byte what came in.
    expectOk(other({"source", "export", "web", "-"}), readFile(source));
    expectOk(other({"diagram", "export", "hits", "-"}), readFile(diagram));
}

TEST_F(TgctlExchangeTest, QuestionsNeedReplaceAndRefusalsEndWithExitOne) {
    defineWeb();
    const std::string diagram = m_dir.file("hits.xml");
    const std::string source = m_dir.file("web.xml");
    expectOk(tgctl({"diagram", "export", "hits", diagram}));
    expectOk(tgctl({"source", "export", "web", source}));
    std::ofstream(diagram, std::ios::app) << "<!-- edited -->";
    const std::string edited = readFile(diagram);

    expectFailure(tgctl({"diagram", "export", "hits", diagram}),
                  "File already exists. Rewrite? (--replace answers yes)");
    EXPECT_EQ(readFile(diagram), edited);
    expectOk(tgctl({"diagram", "export", "--replace", "hits", diagram}));
    EXPECT_NE(readFile(diagram), edited);

    expectFailure(tgctl({"diagram", "import", diagram}),
                  "Rewrite diagram hits (--replace answers yes)");
    // Imports load every definition as the daemon does, which writes missing defaults once;
    // after that, what they load they write back unchanged, the diagrams' data included.
    const std::string loaded = tgctl({"reg", "dump"}).out;
    EXPECT_NE(loaded.find("3,1,"), std::string::npos) << loaded;
    expectFailure(tgctl({"source", "import", source, "--replace"}),
                  "Data source can not be imported: it is already exists and binded to one or "
                  "more diagrams");
    EXPECT_EQ(tgctl({"reg", "dump"}).out, loaded);
    expectOk(tgctl({"diagram", "import", diagram, "--replace"}));
    expectFailure(tgctl({"source", "export", "WEB", "-"}), "no data source WEB");
    expectFailure(tgctl({"diagram", "export", "HITS", "-"}), "no diagram HITS");
    expectFailure(tgctl({"source", "import", m_dir.file("missing.xml")}),
                  "cannot open " + m_dir.file("missing.xml") + ": No such file or directory");
    expectFailure(tgctl({"diagram", "import", "-"}, "<diagram name='x'>"),
                  "Diagram can not be imported: not a well-formed XML document: Start-end tags "
                  "mismatch at byte 17");
    EXPECT_EQ(tgctl({"source", "import"}).exitCode, 2);

    const std::string before = tgctl({"reg", "dump"}).out;
    {
        InstanceLock daemon{std::filesystem::path(m_store), InstanceLock::Mode::Instance};
        ASSERT_TRUE(daemon.held());
        expectFailure(tgctl({"diagram", "import", "--replace", diagram}), kDaemonRunning);
        expectFailure(tgctl({"source", "import", "--replace", source}), kDaemonRunning);
        expectOk(tgctl({"diagram", "export", "hits", "-"}), readFile(diagram));
    }
    EXPECT_EQ(tgctl({"reg", "dump"}).out, before);  // exports and refusals changed nothing
}

}  // namespace
}  // namespace tg::test
