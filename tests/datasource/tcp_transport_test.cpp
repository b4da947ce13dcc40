#include "datasource/tcp_transport.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <future>
#include <thread>

#include "datasource/network_connect.h"
#include "datasource/source_feed.h"
#include "datasource/source_transport.h"
#include "live_source.h"
#include "support/loopback_client.h"
#include "support/loopback_peer.h"
#include "support/reserved_port.h"

namespace tg {
namespace {

using test::acceptWithin;
using test::eventually;
using test::listenLoopback;
using test::sendAll;

std::string tcpTo(const std::string& host, std::uint16_t port) {
    return "TCP:" + host + ":" + std::to_string(port);
}

TEST(TcpSource, LinesCutAnywhereSurviveAnOrderlyCloseARefusalAndAReconnect) {
    test::ReservedPort reserved;
    UniqueFd listener = listenLoopback(reserved.port());
    test::LiveSource live(SourceType::TcpIp, tcpTo("127.0.0.1", reserved.port()));
    live.start();

    UniqueFd first = acceptWithin(listener.get());
    ASSERT_TRUE(first);
    sendAll(first.get(), "ab");
    sendAll(first.get(), "c\r\nd");
    sendAll(first.get(), "ef\ngh");  // "gh" waits for the rest of its line
    ASSERT_TRUE(live.listener.waitForProcessed(2));
    first.reset();  // an orderly close: reconnected at once, nothing reported

    UniqueFd second = acceptWithin(listener.get());
    ASSERT_TRUE(second);
    sendAll(second.get(), "i\n");
    ASSERT_TRUE(live.listener.waitForProcessed(3));
    listener.reset();
    second.reset();  // now every connect is refused until the server listens again
    ASSERT_TRUE(eventually([&] { return !live.errors().empty(); }));

    listener = listenLoopback(reserved.port());
    UniqueFd third = acceptWithin(listener.get());
    ASSERT_TRUE(third);
    sendAll(third.get(), "jk\n");
    ASSERT_TRUE(live.listener.waitForProcessed(4));

    EXPECT_EQ(live.lines(), (std::vector<std::string>{"abc", "def", "ghi", "jk"}));
    for (const std::string& error : live.errors()) EXPECT_EQ(error, "Connection refused");
}

TEST(TcpSource, ConnectStringsAreCheckedAndHostNamesResolved) {
    struct Row {
        SourceType type;
        const char* text;
        const char* error;  // empty: accepted
    };
    const Row rows[] = {
        {SourceType::TcpIp, "TCP:127.0.0.1:5140", ""},
        {SourceType::TcpIp, "log server TCP:logs.example.org:80 ", ""},  // leading digits
        {SourceType::TcpIp, "TCP:127.0.0.1", kTcpUsage},                 // no port
        {SourceType::TcpIp, "TCP::80", kTcpUsage},                       // empty host
        {SourceType::TcpIp, "127.0.0.1:80", kTcpUsage},
        {SourceType::TcpIp, "TCP:host:", kTcpUsage},
        {SourceType::TcpIp, "TCP:host:65536", kTcpUsage},  // would wrap to port 0
        {SourceType::TcpIp, "TCP:host:http", kTcpUsage},
        {SourceType::Udp, "UDP:514", ""},
        {SourceType::Udp, "udp:514", kUdpUsage},
        {SourceType::Udp, "UDP:", kUdpUsage},  // would listen on a port the system picks
        {SourceType::Udp, "UDP:0", kUdpUsage},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(connectSyntaxError(row.type, row.text), row.error);
    }
    EXPECT_EQ(parseTcpConnect("TCP:logs.example.org:5140x").host, "logs.example.org");
    EXPECT_EQ(parseTcpConnect("TCP:logs.example.org:5140x").port, 5140);

    // The reader reports the same message, once per try.
    test::LiveSource unusable(SourceType::TcpIp, "TCP::80");
    unusable.start();
    ASSERT_TRUE(eventually([&] { return unusable.errors().size() >= 2; }));
    EXPECT_EQ(unusable.errors().at(1), kTcpUsage);

    // A host name is resolved; the try closes what it opened.
    test::ReservedPort reserved;
    UniqueFd listener = listenLoopback(reserved.port());
    std::string text = tcpTo("localhost", reserved.port());
    EXPECT_TRUE(testTransport(SourceType::TcpIp, text)) << text;
    UniqueFd tried = acceptWithin(listener.get());
    ASSERT_TRUE(tried);
    EXPECT_EQ(test::readToEnd(tried.get()), "");

    test::LiveSource byName(SourceType::TcpIp, tcpTo("localhost", reserved.port()));
    byName.start();
    UniqueFd served = acceptWithin(listener.get());
    ASSERT_TRUE(served);
    sendAll(served.get(), "by name\n");
    ASSERT_TRUE(byName.listener.waitForProcessed(1));
    EXPECT_EQ(byName.lines(), (std::vector<std::string>{"by name"}));

    listener.reset();
    text = tcpTo("localhost", reserved.port());
    EXPECT_FALSE(testTransport(SourceType::TcpIp, text));
    EXPECT_EQ(text, "Connection refused");
    text = "TCP:no-such-host.invalid:80";
    EXPECT_FALSE(testTransport(SourceType::TcpIp, text));
    EXPECT_NE(text, "TCP:no-such-host.invalid:80");
    EXPECT_NE(text, "");
}

TEST(TcpSource, StopEndsAConnectThatIsNeverAnswered) {
    // A full accept queue drops every further connection request unanswered.
    test::ReservedPort reserved;
    UniqueFd listener = listenLoopback(reserved.port(), 0);
    UniqueFd queued = test::connectLoopback(reserved.port());
    test::LiveSource live(SourceType::TcpIp, tcpTo("127.0.0.1", reserved.port()));
    live.start();
    ASSERT_TRUE(eventually([&] { return test::connectingTo(reserved.port()); }));

    auto stopped = std::async(std::launch::async, [&] { live.source.detach(live.listener); });
    EXPECT_EQ(stopped.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_TRUE(live.errors().empty());
}

TEST(TcpSource, AServerThatVanishedWithoutClosingIsNoticedAndReconnected) {
    test::ReservedPort reserved;
    UniqueFd listener = listenLoopback(reserved.port());
    test::LiveSource live(SourceType::None, tcpTo("127.0.0.1", reserved.port()));
    live.start();  // no reader of its own: this test runs the loop with quick keep-alives
    TcpTransport transport(TcpOptions{std::nullopt, std::chrono::seconds(1),
                                      std::chrono::seconds(1), 1});
    std::thread reader([&] { runReconnectLoop(live.source, transport); });

    UniqueFd first = acceptWithin(listener.get());
    ASSERT_TRUE(first);
    sendAll(first.get(), "before\n");
    ASSERT_TRUE(live.listener.waitForProcessed(1));
    // In repair mode a socket goes without a word to its peer, as a crashed host's would.
    const int on = 1;
    const bool vanished = ::setsockopt(first.get(), IPPROTO_TCP, TCP_REPAIR, &on, sizeof on) == 0;
    if (vanished) {
        first.reset();
        UniqueFd second = acceptWithin(listener.get());
        EXPECT_TRUE(second);
        if (second) sendAll(second.get(), "after\n");
        EXPECT_TRUE(live.listener.waitForProcessed(2));
    }
    SourceFeed(live.source).requestStop();
    reader.join();
    if (!vanished) GTEST_SKIP() << "needs CAP_NET_ADMIN to make a peer vanish";
    EXPECT_EQ(live.lines(), (std::vector<std::string>{"before", "after"}));
    EXPECT_EQ(live.errors().size(), 1u);
}

}  // namespace
}  // namespace tg
