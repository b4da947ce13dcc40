#include "datasource/udp_transport.h"

#include <gtest/gtest.h>

#include <string>

#include "datasource/source_transport.h"
#include "live_source.h"
#include "support/loopback_peer.h"

namespace tg {
namespace {

using test::eventually;
using test::sendDatagram;

std::string udpOn(std::uint16_t port) { return "UDP:" + std::to_string(port); }

// A UDP source on a free port, bound and ready for datagrams.
class UdpSource : public test::LiveSource {
public:
    explicit UdpSource(bool datagramLines, std::uint16_t port = test::freeUdpPort())
        : LiveSource(SourceType::Udp, udpOn(port)), m_port(port) {
        source.setDatagramLines(datagramLines);
        start();
        EXPECT_TRUE(eventually([&] { return test::udpPortBound(m_port); }));
    }
    std::uint16_t port() const { return m_port; }

private:
    std::uint16_t m_port;
};

TEST(UdpSource, DatagramsWithoutLineEndJoinUnlessEachIsALine) {
    UdpSource joined(false);
    UdpSource each(true);
    for (const char* text : {"<13>first", "<13>second\r", "", "<13>third\n"}) {
        sendDatagram(joined.port(), text);  // the empty one carries nothing and is skipped
        sendDatagram(each.port(), text);
    }
    // The longest a datagram may be, without line end: its end still ends a line.
    sendDatagram(each.port(), std::string(8191, 'x'));
    sendDatagram(each.port(), "last");
    ASSERT_TRUE(joined.listener.waitForProcessed(2));
    ASSERT_TRUE(each.listener.waitForProcessed(5));
    EXPECT_EQ(joined.lines(), (std::vector<std::string>{"<13>first<13>second", "<13>third"}));
    EXPECT_EQ(each.lines(), (std::vector<std::string>{"<13>first", "<13>second", "<13>third",
                                                      std::string(8191, 'x'), "last"}));
    EXPECT_TRUE(joined.errors().empty());
    EXPECT_TRUE(each.errors().empty());
}

TEST(UdpSource, AnOversizedDatagramIsReportedAndNoneOfItIsRead) {
    UdpSource live(false);
    sendDatagram(live.port(), "ab");
    sendDatagram(live.port(), std::string(8192, 'x'));
    ASSERT_TRUE(eventually([&] { return !live.errors().empty(); }));
    EXPECT_EQ(live.errors(), (std::vector<std::string>{"Message too long"}));
    // Bound again: the line begun before goes on with the next datagram.
    ASSERT_TRUE(eventually([&] { return test::udpPortBound(live.port()); }));
    sendDatagram(live.port(), "cd\n");
    ASSERT_TRUE(live.listener.waitForProcessed(1));
    EXPECT_EQ(live.lines(), (std::vector<std::string>{"abcd"}));
}

TEST(UdpSource, TryingAPortInUseGivesTheReason) {
    UdpSource live(false);
    std::string text = udpOn(live.port());
    EXPECT_FALSE(testTransport(SourceType::Udp, text));
    EXPECT_EQ(text, "Address already in use");
    text = udpOn(test::freeUdpPort());
    EXPECT_TRUE(testTransport(SourceType::Udp, text));
    EXPECT_FALSE(test::udpPortBound(static_cast<std::uint16_t>(std::stoi(text.substr(4)))));
}

}  // namespace
}  // namespace tg
