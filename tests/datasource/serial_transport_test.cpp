#include "datasource/serial_transport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <string>

#include "datasource/source_transport.h"
#include "live_source.h"
#include "support/loopback_peer.h"

namespace tg {
namespace {

using test::eventually;

TEST(SerialSettings, ModeAndShortFormsAreReadAndWhatCannotBeDoneIsRefused) {
    const SerialConnect full =
        parseSerialConnect("COM1:baud=96 parity=n data=8 stop=1 xon=on dtr=on rts=on");
    EXPECT_EQ(full.device, "/dev/ttyS0");
    EXPECT_EQ(full.settings.baud, 9600u);
    EXPECT_EQ(full.settings.parity, 'n');
    EXPECT_EQ(full.settings.dataBits, 8);
    EXPECT_EQ(full.settings.stopTenths, 10);
    EXPECT_EQ(full.settings.xon, true);
    EXPECT_EQ(full.settings.dtr, LineControl::On);
    EXPECT_EQ(full.settings.rts, LineControl::On);

    const SerialConnect brief = parseSerialConnect("/dev/ttyUSB0:19200,E,7,1.5,p");
    EXPECT_EQ(brief.device, "/dev/ttyUSB0");
    EXPECT_EQ(brief.settings.baud, 19200u);
    EXPECT_EQ(brief.settings.parity, 'e');
    EXPECT_EQ(brief.settings.dataBits, 7);
    EXPECT_EQ(brief.settings.stopTenths, 15);
    EXPECT_EQ(brief.settings.rts, LineControl::Handshake);
    EXPECT_FALSE(brief.settings.xon);
    EXPECT_EQ(parseSerialConnect("com12:BAUD=11").device, "/dev/ttyS11");
    EXPECT_EQ(parseSerialConnect("com12:BAUD=11").settings.baud, 110u);
    EXPECT_EQ(parseSerialConnect("/dev/ttyACM0:baud=4000000").settings.baud, 4000000u);
    EXPECT_EQ(parseSerialConnect("COM0:").device, "COM0");  // no such port number: a path

    const struct {
        const char* text;
        const char* error;
    } rows[] = {
        {"/dev/ttyS0:", ""},
        {"COM2:96,n,8,1", ""},
        {"COM1:baud=96 to=on octs=off odsr=off idsr=off rts=hs", ""},
        {"COM1", kComUsage},
        {":baud=96", kComUsage},
        {"COM1:baud=97", "The baud rate 97 is not supported"},
        {"COM1:baud=", "Serial port setting not understood: \"baud=\""},
        {"COM1:parity=x", "Serial port setting not understood: \"parity=x\""},
        {"COM1:data=9", "Serial port setting not understood: \"data=9\""},
        {"COM1:speed=96", "Serial port setting not understood: \"speed=96\""},
        {"COM1:baud=96 xon", "Serial port setting not understood: \"xon\""},
        {"COM1:96,n,8,1,z", "Serial port setting not understood: \"96,n,8,1,z\""},
        {"COM1:data=8 stop=1.5", "stop=1.5 needs data=5"},
        {"COM1:dtr=hs", "dtr=hs (DTR handshake) is not supported on this system"},
        {"COM1:rts=tg", "rts=tg (RTS toggle) is not supported on this system"},
        {"COM1:odsr=on", "odsr=on (DSR output flow control) is not supported on this system"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(connectSyntaxError(SourceType::Com, row.text), row.error);
    }
}

// A pseudo-terminal pair: the source reads the terminal end, the test writes the other.
class SerialSourceTest : public ::testing::Test {
protected:
    void SetUp() override {
        int master = -1;
        int terminal = -1;
        char name[128] = {};
        ASSERT_EQ(::openpty(&master, &terminal, name, nullptr, nullptr), 0);
        m_master.reset(master);
        m_terminal.reset(terminal);
        m_name = name;
    }
    speed_t terminalSpeed() const {
        termios attributes{};
        return ::tcgetattr(m_terminal.get(), &attributes) == 0 ? cfgetispeed(&attributes) : 0;
    }

    UniqueFd m_master;
    UniqueFd m_terminal;  // held, so the pair stays up between the source's opens
    std::string m_name;
};

TEST_F(SerialSourceTest, LinesArriveWithTheSettingsAppliedAndThePortHeldExclusively) {
    test::LiveSource live(SourceType::Com,
                          m_name + ":baud=19 parity=n data=8 stop=2 xon=on rts=hs dtr=on");
    live.start();
    ASSERT_TRUE(eventually([&] { return terminalSpeed() == B19200; }));
    termios attributes{};
    ASSERT_EQ(::tcgetattr(m_terminal.get(), &attributes), 0);
    EXPECT_EQ(attributes.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_TRUE(attributes.c_cflag & CSTOPB);
    EXPECT_TRUE(attributes.c_cflag & CRTSCTS);
    EXPECT_FALSE(attributes.c_cflag & PARENB);
    EXPECT_EQ(attributes.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
    EXPECT_FALSE(attributes.c_lflag & (ICANON | ECHO));  // raw: bytes pass as sent

    ASSERT_EQ(::write(m_master.get(), "one\r\ntw", 7), 7);
    ASSERT_EQ(::write(m_master.get(), "o\n", 2), 2);
    ASSERT_TRUE(live.listener.waitForProcessed(2));
    EXPECT_EQ(live.lines(), (std::vector<std::string>{"one", "two"}));

    // Another try of the port is refused while the source reads it; the source's own try
    // takes its stored connect string, not the text given.
    std::string text = m_name + ":baud=96";
    EXPECT_FALSE(testTransport(SourceType::Com, text));
    EXPECT_EQ(text, "The port " + m_name + " is in use by another program");
    text = "COM1:";
    EXPECT_FALSE(live.source.testConnection(text));
    EXPECT_EQ(text, "The port " + m_name + " is in use by another program");
    EXPECT_TRUE(live.errors().empty());
}

TEST_F(SerialSourceTest, ASettingThePortCannotTakeIsAnErrorAndLeavesThePortFree) {
    // A pseudo-terminal has no parity.
    std::string text = m_name + ":baud=96 parity=e data=8";
    EXPECT_FALSE(testTransport(SourceType::Com, text));
    EXPECT_EQ(text, "The serial port " + m_name + " cannot take the parity asked for");
    UniqueFd again(::open(m_name.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    ASSERT_TRUE(again);
    EXPECT_EQ(::flock(again.get(), LOCK_EX | LOCK_NB), 0);
    again.reset();

    text = m_name + ":9600,n,8,1";
    EXPECT_TRUE(testTransport(SourceType::Com, text)) << text;
    EXPECT_EQ(terminalSpeed(), B9600);
}

TEST(SerialSource, AMissingDeviceGivesOneErrorRecordAndOneLogLinePerTry) {
    test::LiveSource live(SourceType::Com, "/dev/ttyNoSuchPort:baud=96");
    live.start();
    ASSERT_TRUE(eventually([&] { return live.errors().size() >= 3; }));
    live.source.detach(live.listener);
    const auto errors = live.errors();
    for (const std::string& error : errors) EXPECT_EQ(error, "No such file or directory");
    EXPECT_EQ(live.listener.observed().size(), errors.size());
    EXPECT_TRUE(live.listener.processed().empty());
}

}  // namespace
}  // namespace tg
