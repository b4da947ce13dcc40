#include "http/http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "http/listen_address.h"
#include "http/net_address.h"

namespace tg {
namespace {

// Descriptors kept for everything but connections: the stores, logs, data source readers.
constexpr std::size_t kOtherDescriptors = 128;
// How long accepting pauses when no descriptor can be had at all.
constexpr std::chrono::milliseconds kAcceptPause(100);
// Clients the kernel may hold completed for accepting. When the queue is full it drops their
// handshakes, and each then waits a second or more to try again: a burst of clients must fit.
constexpr int kListenBacklog = 1024;

// Connections the descriptor limit leaves room for: a socket and a file each.
std::size_t connectionsForDescriptors() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return SIZE_MAX;
    }
    const auto descriptors = static_cast<std::size_t>(limit.rlim_cur);
    return descriptors > kOtherDescriptors + 2 ? (descriptors - kOtherDescriptors) / 2 : 1;
}

// A client that hangs up while a file is sent to it must not end the process.
void ignoreBrokenPipes() {
    struct sigaction current {};
    if (::sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
        ::signal(SIGPIPE, SIG_IGN);
    }
}

UniqueFd openReserve() { return UniqueFd(::open("/dev/null", O_RDONLY | O_CLOEXEC)); }

std::string portMessage(const char* format, unsigned port) {
    char text[512];
    std::snprintf(text, sizeof text, format, port);
    return text;
}

}  // namespace

HttpServer::HttpServer(Reactor& reactor, HttpSettings& settings, RequestHandler& handler,
                       UserMessages& messages, std::string bindAddress)
    : m_reactor(reactor),
      m_settings(settings),
      m_handler(handler),
      m_messages(messages),
      m_bindAddress(std::move(bindAddress)) {}

HttpServer::~HttpServer() {
    stopListening();
    m_connections.clear();
}

bool HttpServer::startListening(std::uint16_t port) {
    stopListening();
    ignoreBrokenPipes();
    m_limits = m_settings.limits();
    m_maxConnections = std::min<std::size_t>(m_limits.maxConnections, connectionsForDescriptors());
    if (!m_reserve) m_reserve = openReserve();
    std::string why;
    const auto resolved = resolveListenAddress(m_bindAddress, port, why);
    if (!resolved) {
        m_messages.show("Cannot listen on " + m_bindAddress + ": " + why, MessageIcon::Stop);
        return false;
    }
    ListenAddress address = *resolved;
    UniqueFd listener(::socket(address.family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (!listener) {
        m_messages.show("Can't start server!", MessageIcon::Stop);
        return false;
    }
    const int on = 1;
    ::setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (address.family == AF_INET6) {
        // "::" takes IPv4 clients too; a particular IPv6 address only its own.
        const int v6only = address.anyAddress ? 0 : 1;
        ::setsockopt(listener.get(), IPPROTO_IPV6, IPV6_V6ONLY, &v6only, sizeof v6only);
    }
    auto* raw = reinterpret_cast<sockaddr*>(&address.address);
    if (::bind(listener.get(), raw, address.length) != 0 ||
        ::listen(listener.get(), kListenBacklog) != 0) {
        if (errno == EADDRNOTAVAIL) {
            m_messages.show(
                "Cannot listen on " + m_bindAddress + ": it is not an address of this machine",
                MessageIcon::Stop);
            return false;
        }
        const char* format =
            errno == EADDRINUSE
                ? "Port %d is already in use!\n\nMake sure there is no other applications or "
                  "instances of RuroVid running that are already bound to that port."
                : "Can't listen on port %d!\n\nMake sure the TCP/IP transport is set up "
                  "correctly and that no other applications are already listening on that "
                  "port.";
        m_messages.show(portMessage(format, port), MessageIcon::Stop);
        return false;
    }
    socklen_t length = sizeof address.address;
    ::getsockname(listener.get(), raw, &length);
    m_port = ntohs(address.family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(raw)->sin6_port
                                              : reinterpret_cast<sockaddr_in*>(raw)->sin_port);
    m_loopbackOnly = address.loopback;
    // A listener on one address is reached on that one only; on every address, each
    // connection has to ask its socket.
    m_localAddress = address.anyAddress ? std::string() : numericAddress(raw, length);
    // The kernel refuses a watch only when it is out of memory or of epoll watches; a server
    // that would never see its clients must not say it started.
    if (!m_reactor.watch(listener.get(), Reactor::kReadable, [this](unsigned) {
            if (m_resumeTimer == 0) onAccept();
        })) {
        m_port = 0;
        m_messages.show("Can't start server!", MessageIcon::Stop);
        return false;
    }
    m_listener = std::move(listener);
    return true;
}

void HttpServer::stopListening() {
    if (!m_listener) return;
    if (m_resumeTimer) m_reactor.cancel(m_resumeTimer);
    m_resumeTimer = 0;
    m_reactor.unwatch(m_listener.get());
    m_listener.reset();
    m_port = 0;
}

bool HttpServer::startServer() {
    return startListening(static_cast<std::uint16_t>(m_settings.effectivePort()));
}

void HttpServer::stopServer() { stopListening(); }

bool HttpServer::setPort(std::uint32_t port) {
    if (port < 1 || port > 65535) return false;
    const std::uint32_t previous = m_settings.effectivePort();
    const bool wasListening = listening();
    m_settings.setPort(port);
    stopServer();
    if (startServer()) return true;
    m_settings.setPort(previous);
    // Back on the previous port if it can be had; setPort answers false either way.
    if (wasListening) (void)startServer();
    return false;
}

void HttpServer::onAccept() {
    for (;;) {
        sockaddr_storage peer{};
        socklen_t peerLength = sizeof peer;
        UniqueFd client(::accept4(m_listener.get(), reinterpret_cast<sockaddr*>(&peer),
                                  &peerLength, SOCK_NONBLOCK | SOCK_CLOEXEC));
        if (!client) {
            if (errno == EINTR || errno == ECONNABORTED) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return;  // nothing more pending
            if ((errno == EMFILE || errno == ENFILE) && refuseWithReserve()) continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) return;
            // Out of descriptors or memory: the client stays pending, and so the listener
            // readable; stop listening to it for a moment rather than spin.
            pauseAccepting();
            return;
        }
        if (m_connections.size() >= m_maxConnections) continue;  // closed at once
        const std::uint64_t id = m_nextId++;
        auto connection = std::make_unique<Connection>(
            m_reactor, std::move(client), m_handler, m_limits, [this, id] { forget(id); },
            numericAddress(reinterpret_cast<const sockaddr*>(&peer), peerLength), m_localAddress);
        Connection& started = *connection;
        started.countOutputIn(m_outputBudget, [this, id] { relieveOutput(id); });
        m_connections.emplace(id, std::move(connection));
        started.start();
    }
}

bool HttpServer::refuseWithReserve() {
    if (!m_reserve) return false;
    m_reserve.reset();
    UniqueFd client(::accept4(m_listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
    const int acceptError = errno;
    const bool took = static_cast<bool>(client);
    client.reset();  // closed at once: the client learns that it was refused
    m_reserve = openReserve();
    errno = acceptError;  // for the caller, when nothing was taken
    return took;
}

void HttpServer::pauseAccepting() {
    m_reactor.modify(m_listener.get(), 0);
    m_resumeTimer = m_reactor.after(kAcceptPause, [this] {
        m_resumeTimer = 0;
        if (!m_reserve) m_reserve = openReserve();
        m_reactor.modify(m_listener.get(), Reactor::kReadable);
    });
}

void HttpServer::relieveOutput(std::uint64_t newest) {
    while (m_outputBudget.over()) {
        Connection* slowest = nullptr;
        for (const auto& [id, connection] : m_connections) {
            if (id == newest || connection->heldBytes() == 0) continue;
            if (!slowest || connection->lastProgress() < slowest->lastProgress()) {
                slowest = connection.get();
            }
        }
        if (slowest == nullptr) return;  // the newest answer alone is larger: it goes out
        slowest->abort();                // lets go of what it held
    }
}

void HttpServer::forget(std::uint64_t id) {
    // Called from inside the connection's own callback: it is destroyed once that returns.
    m_reactor.defer([this, id] { m_connections.erase(id); });
}

}  // namespace tg
