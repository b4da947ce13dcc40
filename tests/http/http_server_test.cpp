#include "http/http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "config/config_store.h"
#include "http/response_head.h"
#include "support/loopback_client.h"
#include "support/reserved_port.h"
#include "support/temp_dir.h"

namespace tg {
namespace {

using test::connectLoopback;
using test::readToEnd;
using test::sendAll;

// A body of kPieces pieces of 64 KiB ("aaa...", "bbb...", ...) made as the connection asks;
// counts the pieces made and the sources alive (read by the test's thread).
class PatternSource : public BodySource {
public:
    static constexpr int kPieces = 512;
    static constexpr std::size_t kPieceBytes = 64 * 1024;
    struct Counts {
        std::atomic<int> made{0};
        std::atomic<int> alive{0};
    };
    explicit PatternSource(Counts& counts) : m_counts(counts) { ++m_counts.alive; }
    ~PatternSource() override { --m_counts.alive; }
    bool next(std::string& out) override {
        if (m_made == kPieces) return false;
        out.append(kPieceBytes, static_cast<char>('a' + m_made++ % 26));
        ++m_counts.made;
        return true;
    }
    std::size_t heldBytes() const override { return kPieceBytes; }
    static std::string whole() {
        std::string body;
        for (int i = 0; i < kPieces; ++i) body.append(kPieceBytes, static_cast<char>('a' + i % 26));
        return body;
    }

private:
    Counts& m_counts;
    int m_made = 0;
};

// Answers with the method and URL, or with a file when the URL names one in `files`.
class EchoHandler : public RequestHandler {
public:
    void processRequest(const CRequest& request, Response& response) override {
        ++answered;
        if (request.url == "/stream") {
            response.head = "HTTP/1.0 200 OK\r\n\r\n";
            response.body = std::make_unique<PatternSource>(streamed);
            return;
        }
        response.head =
            "HTTP/1.0 200 OK\r\n\r\n" + request.method + " " + request.url + " " + request.body;
        if (request.url == "/big") response.head.append(kBigAnswer, 'b');
        if (!fileToSend.empty() && request.url == "/file") {
            response.head = "HTTP/1.0 200 OK\r\n\r\n";
            response.file.reset(::open(fileToSend.c_str(), O_RDONLY | O_CLOEXEC));
        }
        if (request.url == "/late") response.delay = std::chrono::minutes(10);
        if (request.url == "/soon") response.delay = std::chrono::milliseconds(20);
    }
    static constexpr std::size_t kBigAnswer = 8 << 20;
    std::string fileToSend;
    std::atomic<int> answered{0};
    PatternSource::Counts streamed;
};

// Waits up to 20 s for `condition`; its last answer.
template <typename Condition>
bool eventually(Condition condition) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition() && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return condition();
}

class RecordingMessages : public UserMessages {
public:
    void show(std::string_view text, MessageIcon) override { shown.emplace_back(text); }
    std::vector<std::string> shown;
};

// A server on 127.0.0.1 with its loop on a thread of its own for the test's life.
class HttpServerTest : public ::testing::Test {
protected:
    void startServer(const HttpLimits& limits = {}) {
        m_settings.setLimits(limits);
        ASSERT_TRUE(m_server.startListening(0));
        m_loop = std::thread([this] { m_reactor.run(); });
    }
    ~HttpServerTest() override {
        m_reactor.stop();
        if (m_loop.joinable()) m_loop.join();
    }
    std::uint16_t port() const { return m_server.port(); }

    test::TempDir m_dir;
    ConfigStore m_store{m_dir.path() / "store.db"};
    HttpSettings m_settings{m_store};
    EchoHandler m_handler;
    RecordingMessages m_messages;
    Reactor m_reactor;
    HttpServer m_server{m_reactor, m_settings, m_handler, m_messages, "127.0.0.1"};
    std::thread m_loop;
};

TEST_F(HttpServerTest, RequestInPiecesOrWithBytesAfterItIsAnsweredAndABadOneGets400) {
    startServer();
    UniqueFd pieces = connectLoopback(port());
    const std::string request = "POST /x.html HTTP/1.0\r\nContent-Length: 4\r\n\r\nbodyEXTRA";
    for (char c : request) sendAll(pieces.get(), std::string_view(&c, 1));
    EXPECT_EQ(readToEnd(pieces.get()), "HTTP/1.0 200 OK\r\n\r\nPOST /x.html body");
    // Bytes after the request neither break nor delay the answer.
    UniqueFd more = connectLoopback(port());
    sendAll(more.get(), "GET /a HTTP/1.0\r\n\r\n" + std::string(200000, 'z'));
    EXPECT_EQ(readToEnd(more.get()), "HTTP/1.0 200 OK\r\n\r\nGET /a ");
    // A request the reader refuses (an oversized head, a bad length) is answered 400.
    UniqueFd bad = connectLoopback(port());
    sendAll(bad.get(), "POST / HTTP/1.0\r\nContent-Length: -5\r\n\r\n");
    EXPECT_EQ(readToEnd(bad.get()).rfind("HTTP/1.0 400 Bad Request\r\n", 0), 0u);
}

// Asks for the big file with a small receive window, which makes the server wait for room
// many times on the way; `halfClose` ends the client's sending side at once.
UniqueFd askForFile(std::uint16_t port, bool halfClose) {
    UniqueFd client = connectLoopback(port);
    const int window = 65536;
    ::setsockopt(client.get(), SOL_SOCKET, SO_RCVBUF, &window, sizeof window);
    sendAll(client.get(), "GET /file HTTP/1.0\r\n\r\n");
    if (halfClose) ::shutdown(client.get(), SHUT_WR);  // it still reads the answer
    return client;
}

TEST_F(HttpServerTest, FileArrivesWholeAlsoWhenTheClientHasEndedItsSending) {
    std::string content;
    for (int i = 0; i < 8 << 20; ++i) content += static_cast<char>('a' + i % 26);
    m_handler.fileToSend = m_dir.file("big.bin");
    std::ofstream(m_handler.fileToSend, std::ios::binary) << content;
    // Where nothing else has, a client that goes away mid-file would end the process with
    // SIGPIPE: the server must see to that itself.
    ::signal(SIGPIPE, SIG_DFL);
    startServer();
    for (const bool halfClose : {false, true}) {
        SCOPED_TRACE(halfClose ? "half-closed" : "open");
        UniqueFd client = askForFile(port(), halfClose);
        const std::string got = readToEnd(client.get());
        EXPECT_EQ(got.size(), content.size() + 19);
        EXPECT_TRUE(got == "HTTP/1.0 200 OK\r\n\r\n" + content);
    }
    // Closed with the answer unread, after ending its sending: the server's next write fails
    // with EPIPE. It goes on answering.
    for (int i = 0; i < 3; ++i) {
        UniqueFd client = askForFile(port(), true);
        char some[100];
        EXPECT_GT(::recv(client.get(), some, sizeof some, 0), 0);
    }
    UniqueFd client = connectLoopback(port());
    sendAll(client.get(), "GET /a HTTP/1.0\r\n\r\n");
    EXPECT_EQ(readToEnd(client.get()), "HTTP/1.0 200 OK\r\n\r\nGET /a ");
}

// Sends `start`, then one byte whenever the server has said nothing for a fifth of a second,
// at most `bytes` of them. True once the server has closed the connection.
bool closedWhileTrickling(int socket, std::string_view start, int bytes) {
    sendAll(socket, start);
    for (int i = 0; i < bytes; ++i) {
        pollfd ready{socket, POLLIN, 0};
        if (::poll(&ready, 1, 200) == 1) return readToEnd(socket).empty();
        if (::send(socket, "a", 1, MSG_NOSIGNAL) != 1) return true;
    }
    return false;
}

TEST_F(HttpServerTest, SilentOrTricklingClientIsClosedWithinTheIdleTime) {
    HttpLimits limits;
    limits.idleTimeoutSeconds = 1;
    startServer(limits);
    UniqueFd silent = connectLoopback(port());
    sendAll(silent.get(), "GET /half");
    EXPECT_EQ(readToEnd(silent.get()), "");  // closed without an answer, well within the bound

    // A byte well within every idle time-out, but the head is due a second after the start,
    // and a body must come at a minimum rate.
    UniqueFd head = connectLoopback(port());
    EXPECT_TRUE(closedWhileTrickling(head.get(), "GET /", 40));
    UniqueFd body = connectLoopback(port());
    EXPECT_TRUE(closedWhileTrickling(
        body.get(), "POST /x.html HTTP/1.0\r\nContent-Length: 100000\r\n\r\n", 40));
}

TEST_F(HttpServerTest, ClientsBeyondTheLimitAreClosedAtOnceAndOthersGoOn) {
    HttpLimits limits;
    limits.maxConnections = 2;
    startServer(limits);
    UniqueFd first = connectLoopback(port());
    UniqueFd second = connectLoopback(port());
    sendAll(first.get(), "GET /1");
    sendAll(second.get(), "GET /2");
    UniqueFd third = connectLoopback(port());
    EXPECT_EQ(readToEnd(third.get()), "");
    sendAll(first.get(), " HTTP/1.0\r\n\r\n");
    EXPECT_EQ(readToEnd(first.get()), "HTTP/1.0 200 OK\r\n\r\nGET /1 ");
    sendAll(second.get(), " HTTP/1.0\r\n\r\n");
    EXPECT_EQ(readToEnd(second.get()), "HTTP/1.0 200 OK\r\n\r\nGET /2 ");
}

// The process's descriptor limit lowered for one test, and put back whatever happens.
class LoweredDescriptorLimit {
public:
    explicit LoweredDescriptorLimit(rlim_t descriptors) {
        ::getrlimit(RLIMIT_NOFILE, &m_saved);
        rlimit lowered = m_saved;
        lowered.rlim_cur = std::min(m_saved.rlim_cur, descriptors);
        ::setrlimit(RLIMIT_NOFILE, &lowered);
    }
    ~LoweredDescriptorLimit() { ::setrlimit(RLIMIT_NOFILE, &m_saved); }
    LoweredDescriptorLimit(const LoweredDescriptorLimit&) = delete;
    LoweredDescriptorLimit& operator=(const LoweredDescriptorLimit&) = delete;

private:
    rlimit m_saved{};
};

// True when the server closes the connection without a byte; false on an answer or when the
// receive bound of 20 s passes first.
std::size_t openDescriptors() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry :
         std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

bool closedWithoutAnswer(int socket) {
    char byte;
    const ssize_t got = ::recv(socket, &byte, 1, 0);
    return got == 0 || (got < 0 && errno == ECONNRESET);
}

TEST_F(HttpServerTest, OutOfDescriptorsClientsAreRefusedAtOnceAndAnsweredWhenTheyAreBack) {
    {
        const LoweredDescriptorLimit limit(512);
        startServer();
        EXPECT_LE(m_server.maxConnections(), 256u);  // room for a socket and a file each
        const std::size_t openBefore = openDescriptors();
        {
            // One answer while descriptors are plenty: UBSan checks a type the first time it
            // meets it through a pipe, which it cannot make once they are gone.
            UniqueFd first = connectLoopback(port());
            sendAll(first.get(), "GET /first HTTP/1.0\r\n\r\n");
            ASSERT_EQ(readToEnd(first.get()), "HTTP/1.0 200 OK\r\n\r\nGET /first ");
        }
        // The server closes its end once it sees ours closed: had that come after the filling
        // below, its descriptor would be free for the next client.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (openDescriptors() > openBefore && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::yield();
        }
        ASSERT_EQ(openDescriptors(), openBefore);

        // Sockets made while there are descriptors, connected once there are none.
        std::vector<UniqueFd> waiting;
        for (int i = 0; i < 3; ++i) {
            waiting.emplace_back(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
            timeval bound{20, 0};
            ::setsockopt(waiting.back().get(), SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
        }
        std::vector<UniqueFd> filler;
        for (UniqueFd fd; (fd = UniqueFd(::open("/dev/null", O_RDONLY | O_CLOEXEC)));) {
            filler.push_back(std::move(fd));
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port());
        ::inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
        for (UniqueFd& client : waiting) {
            ASSERT_EQ(
                ::connect(client.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
            sendAll(client.get(), "GET /starved HTTP/1.0\r\n\r\n");
            // Taken and closed at once, not left pending while the loop spins on it.
            EXPECT_TRUE(closedWithoutAnswer(client.get()));
        }
    }
    UniqueFd client = connectLoopback(port());
    sendAll(client.get(), "GET /again HTTP/1.0\r\n\r\n");
    EXPECT_EQ(readToEnd(client.get()), "HTTP/1.0 200 OK\r\n\r\nGET /again ");
}

TEST_F(HttpServerTest, ClientsThatNeverReadHoldNoMoreThanTheOutputLimitAndOthersGoOn) {
    const std::size_t limit = 20 << 20;  // room for two big answers, not three
    m_server.setOutputLimit(limit);
    startServer();
    std::vector<UniqueFd> stalled;
    for (int i = 0; i < 6; ++i) {
        stalled.push_back(connectLoopback(port()));
        const int window = 4096;
        ::setsockopt(stalled.back().get(), SOL_SOCKET, SO_RCVBUF, &window, sizeof window);
        sendAll(stalled.back().get(), "GET /big HTTP/1.0\r\n\r\n");
        ASSERT_TRUE(eventually([&] { return m_handler.answered == i + 1; }));
        EXPECT_TRUE(eventually([&] { return m_server.heldOutputBytes() <= limit; }))
            << m_server.heldOutputBytes();
    }
    UniqueFd reader = connectLoopback(port());
    sendAll(reader.get(), "GET /big HTTP/1.0\r\n\r\n");
    EXPECT_EQ(readToEnd(reader.get()).size(), 28 + EchoHandler::kBigAnswer);
    EXPECT_LE(m_server.heldOutputBytes(), limit);
}

TEST_F(HttpServerTest, ManySlowClientsAtOnceAreAllAnswered) {
    startServer();
    std::vector<UniqueFd> clients;
    for (int i = 0; i < 40; ++i) clients.push_back(connectLoopback(port()));
    const std::string request = "GET /slow HTTP/1.0\r\n\r\n";
    for (char c : request) {
        for (auto& client : clients) sendAll(client.get(), std::string_view(&c, 1));
    }
    for (auto& client : clients)
        EXPECT_EQ(readToEnd(client.get()), "HTTP/1.0 200 OK\r\n\r\nGET /slow ");
}

TEST_F(HttpServerTest, AnAnswerHeldBackWaitsOnATimerWhileOthersAreAnswered) {
    startServer();
    UniqueFd late = connectLoopback(port());
    sendAll(late.get(), "GET /late HTTP/1.0\r\n\r\n");
    UniqueFd soon = connectLoopback(port());
    sendAll(soon.get(), "GET /soon HTTP/1.0\r\n\r\n");
    EXPECT_EQ(readToEnd(soon.get()), "HTTP/1.0 200 OK\r\n\r\nGET /soon ");
    UniqueFd now = connectLoopback(port());
    sendAll(now.get(), "GET /now HTTP/1.0\r\n\r\n");
    EXPECT_EQ(readToEnd(now.get()), "HTTP/1.0 200 OK\r\n\r\nGET /now ");
    pollfd waiting{late.get(), POLLIN, 0};
    EXPECT_EQ(::poll(&waiting, 1, 0), 0);  // still held: nothing sent, not closed
}

TEST_F(HttpServerTest, BodyMadeAsItsClientReadsLetsOthersInAndGoesWithItsClient) {
    startServer();
    // Reads one byte, then waits: the body is made only as far as the sockets take it, and
    // another client is answered meanwhile.
    const auto askForStream = [this] {
        UniqueFd client = connectLoopback(port());
        const int window = 65536;
        ::setsockopt(client.get(), SOL_SOCKET, SO_RCVBUF, &window, sizeof window);
        sendAll(client.get(), "GET /stream HTTP/1.0\r\n\r\n");
        char first = 0;
        EXPECT_EQ(::recv(client.get(), &first, 1, 0), 1);
        return client;
    };
    {
        UniqueFd big = askForStream();
        UniqueFd small = connectLoopback(port());
        sendAll(small.get(), "GET /a HTTP/1.0\r\n\r\n");
        EXPECT_EQ(readToEnd(small.get()), "HTTP/1.0 200 OK\r\n\r\nGET /a ");
        EXPECT_LT(m_handler.streamed.made, PatternSource::kPieces);
        const std::string rest = readToEnd(big.get());
        EXPECT_TRUE("H" + rest == "HTTP/1.0 200 OK\r\n\r\n" + PatternSource::whole());
        EXPECT_EQ(m_handler.streamed.made, PatternSource::kPieces);
    }
    EXPECT_TRUE(eventually([&] { return m_handler.streamed.alive == 0; }));
    // A client that goes away mid-body takes the rest of it with it.
    m_handler.streamed.made = 0;
    askForStream().reset();
    EXPECT_TRUE(eventually([&] { return m_handler.streamed.alive == 0; }));
    EXPECT_LT(m_handler.streamed.made, PatternSource::kPieces);
    EXPECT_TRUE(eventually([&] { return m_server.heldOutputBytes() == 0; }));
}

// Servers whose loop never runs: for what happens while listening starts.
class HttpServerListen : public ::testing::Test {
protected:
    test::TempDir dir;
    ConfigStore store{dir.path() / "store.db"};
    HttpSettings settings{store};
    EchoHandler handler;
    RecordingMessages messages;
    Reactor reactor;
};

TEST_F(HttpServerListen, PortInUseIsReportedAndRefused) {
    HttpServer holder(reactor, settings, handler, messages, "127.0.0.1");
    ASSERT_TRUE(holder.startListening(0));
    HttpServer second(reactor, settings, handler, messages, "127.0.0.1");
    EXPECT_FALSE(second.startListening(holder.port()));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0], "Port " + std::to_string(holder.port()) +
                                     " is already in use!\n\nMake sure there is no other "
                                     "applications or instances of RuroVid running that are "
                                     "already bound to that port.");
}

TEST_F(HttpServerListen, Ipv6AndNamesAreListenedOnAndAnAddressOfNoInterfaceIsRefused) {
    UniqueFd probe(::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in6 loopback6{};
    loopback6.sin6_family = AF_INET6;
    loopback6.sin6_addr = in6addr_loopback;
    if (!probe ||
        ::bind(probe.get(), reinterpret_cast<sockaddr*>(&loopback6), sizeof loopback6) != 0) {
        GTEST_SKIP() << "no IPv6 loopback here";
    }
    HttpServer server(reactor, settings, handler, messages, "[::1]");
    ASSERT_TRUE(server.startListening(0));
    EXPECT_TRUE(server.loopbackOnly());
    UniqueFd client(::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0));
    loopback6.sin6_port = htons(server.port());
    EXPECT_EQ(::connect(client.get(), reinterpret_cast<sockaddr*>(&loopback6), sizeof loopback6),
              0);

    HttpServer named(reactor, settings, handler, messages, "localhost");
    ASSERT_TRUE(named.startListening(0));
    EXPECT_TRUE(named.loopbackOnly());
    EXPECT_TRUE(messages.shown.empty());

    HttpServer elsewhere(reactor, settings, handler, messages, "192.0.2.1");
    EXPECT_FALSE(elsewhere.startListening(0));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0],
              "Cannot listen on 192.0.2.1: it is not an address of this machine");
}

TEST_F(HttpServerListen, SetPortRefusesBadPortsAndRollsBackWhenTheNewOneIsTaken) {
    HttpServer server(reactor, settings, handler, messages, "127.0.0.1");
    EXPECT_FALSE(server.setPort(0));
    EXPECT_FALSE(server.setPort(65536));
    EXPECT_EQ(settings.port(), 0u);  // nothing changed
    EXPECT_FALSE(server.listening());

    const test::ReservedPort reserved;  // no other test takes it between the choice and the bind
    const std::uint16_t first = reserved.port();
    // Held for this server alone: a bind that does not give way to it is refused.
    UniqueFd intruder(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(first);
    EXPECT_NE(::bind(intruder.get(), reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_TRUE(server.setPort(first));
    EXPECT_EQ(server.port(), first);

    HttpServer holder(reactor, settings, handler, messages, "127.0.0.1");
    ASSERT_TRUE(holder.startListening(0));
    EXPECT_FALSE(server.setPort(holder.port()));
    EXPECT_EQ(settings.effectivePort(), first);  // the previous port is stored again
    EXPECT_TRUE(server.listening());
    EXPECT_EQ(server.port(), first);
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_NE(messages.shown[0].find("is already in use"), std::string::npos);
}

}  // namespace
}  // namespace tg
