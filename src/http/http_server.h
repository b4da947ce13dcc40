#pragma once
// The HTTP/1.0 server: one listening socket on the reactor, one Connection per accepted
// client, each answering one request through the RequestHandler. Main thread only.
//
// Bounded: at most the configured number of connections at once (further clients are
// accepted and closed at once), and never more than the process's descriptor limit leaves
// room for (two each, socket and file, after a reserve for stores, logs and readers); each
// connection's head, body and idle time are limited (HttpLimits, read from the settings when
// listening starts). When the process runs out of descriptors all the same, a reserve
// descriptor kept open for the purpose is let go to take each pending client and close it
// at once; without one, accepting pauses for a moment. Either way the loop never spins on a
// listener it cannot serve.
//
// The answers that connections hold in memory until their clients take them are bounded
// together (OutputBudget, 64 MiB): an answer that takes them past the bound closes the other
// connections that have gone longest without sending, until they are within it again. A
// file is not held at all: the kernel copies it to the socket as room frees up (sendfile).
//
// sendfile cannot be told not to raise SIGPIPE when a client hangs up mid-file, so listening
// sets SIGPIPE to be ignored where it still has its default action (which ends the process);
// a handler the program installed itself is left alone.

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "http/connection.h"
#include "http/http_settings.h"
#include "http/reactor.h"
#include "http/response.h"
#include "platform/unique_fd.h"
#include "platform/user_messages.h"

namespace tg {

class HttpServer {
public:
    // `bindAddress` is an IPv4 or IPv6 address or a host name (http/listen_address.h);
    // "0.0.0.0" (every local IPv4 address) by default.
    HttpServer(Reactor& reactor, HttpSettings& settings, RequestHandler& handler,
               UserMessages& messages, std::string bindAddress = "0.0.0.0");
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Listens on `port` (0: the port the system picks, for tests). Any current listener goes
    // first. On failure the user is told why ("Port %d is already in use!...", "Can't listen
    // on port %d!...", or "Cannot listen on ADDRESS: ..." for an address that cannot be
    // resolved or is not this machine's) and the result is false.
    [[nodiscard]] bool startListening(std::uint16_t port);
    void stopListening();
    bool listening() const { return static_cast<bool>(m_listener); }
    // The port actually listened on; 0 when not listening.
    std::uint16_t port() const { return m_port; }
    std::size_t connectionCount() const { return m_connections.size(); }
    // Whether only clients of this machine can reach the listening address.
    bool loopbackOnly() const { return m_loopbackOnly; }
    // The connections allowed at once: the configured number, or fewer when the descriptor
    // limit leaves no room for them. Set when listening starts.
    std::size_t maxConnections() const { return m_maxConnections; }
    // Bytes of answers held for all connections together; any thread.
    std::size_t heldOutputBytes() const { return m_outputBudget.held(); }
    void setOutputLimit(std::size_t bytes) { m_outputBudget.setLimit(bytes); }

    // The server as the program runs it: on the stored port (80 when it is 0).
    [[nodiscard]] bool startServer();
    void stopServer();
    // Stores a new port and moves the server to it. Ports outside 1..65535 are refused
    // (false, nothing changes); when the new port cannot be listened on, the previous port is
    // stored again and the server, if it was listening, goes back to it; false.
    [[nodiscard]] bool setPort(std::uint32_t port);

private:
    void onAccept();
    [[nodiscard]] bool refuseWithReserve();  // false when no client could be taken
    void pauseAccepting();
    // Closes connections other than `newest`, longest without sending first, until the
    // answers held are within the budget.
    void relieveOutput(std::uint64_t newest);
    void forget(std::uint64_t id);

    Reactor& m_reactor;
    HttpSettings& m_settings;
    RequestHandler& m_handler;
    UserMessages& m_messages;
    std::string m_bindAddress;
    std::string m_localAddress;  // the listener's numeric address; empty for every address
    HttpLimits m_limits;
    UniqueFd m_listener;
    UniqueFd m_reserve;  // let go to accept and close a client when descriptors run out
    std::size_t m_maxConnections = 0;
    Reactor::TimerId m_resumeTimer = 0;  // accepting is paused until it runs
    std::uint16_t m_port = 0;
    bool m_loopbackOnly = false;
    std::uint64_t m_nextId = 1;
    OutputBudget m_outputBudget;  // outlives the connections
    std::map<std::uint64_t, std::unique_ptr<Connection>> m_connections;
};

}  // namespace tg
