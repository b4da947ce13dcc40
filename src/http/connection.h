#pragma once
// One accepted connection: reads one request, has it answered, sends the answer (its head, a
// body made piece by piece as the socket takes it, and a file behind it, copied by the kernel
// with sendfile), then closes. Bytes after the request are never read. A request that is here
// when the connection is accepted is answered at once; the reactor only watches connections
// that have to wait. A connection that makes no progress for the idle time-out is closed; so
// is one whose request head is not complete within the idle time-out of its start (however
// often bytes trickle in), and one whose body, after a grace of the idle time-out, arrives at
// less than kMinBodyBytesPerSecond on average. Owned by the HttpServer and destroyed by it
// outside the connection's own callbacks. Main thread only.

#include <cstdint>
#include <functional>
#include <string>

#include "http/output_budget.h"
#include "http/reactor.h"
#include "http/request_reader.h"
#include "http/response.h"
#include "platform/unique_fd.h"

namespace tg {

class Connection {
public:
    // `closed` is called (once) when the connection is done; the owner then destroys it later.
    // `peerAddress` is the client's numeric address (empty when unknown); `localAddress` this
    // end's, or empty to ask the socket when a request needs it.
    Connection(Reactor& reactor, UniqueFd socket, RequestHandler& handler, const HttpLimits& limits,
               std::function<void()> closed, std::string peerAddress = {},
               std::string localAddress = {});
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    void start();

    // Counts the answer this connection holds in `budget`; `overspent` is called when an
    // answer takes the budget past its limit. Before start().
    void countOutputIn(OutputBudget& budget, std::function<void()> overspent);
    // The bytes of the answer held in memory: a generated answer (or a file's head) until it is
    // sent whole, and what a body made piece by piece holds for its pieces to come; a file
    // itself is never held.
    std::size_t heldBytes() const { return m_held; }
    Reactor::Clock::time_point lastProgress() const { return m_lastProgress; }
    // Ends the connection now, answer sent or not.
    void abort() { close(); }

    static constexpr std::size_t kMinBodyBytesPerSecond = 500;

private:
    void onReady(unsigned ready);
    void onReceive();
    void onSend();
    bool sendOutput();  // false while the rest waits for room, or when the connection closed
    void answer();
    // The reactor's interest, changed only when it differs; the first one starts the watch.
    void want(unsigned interest);
    void finishSending();
    bool mayStillSend() const;  // whether the client may send after the request it sent
    void drain();
    void touch();      // progress: the idle time-out starts again
    void checkIdle();  // the idle timer came due
    // When the connection is closed unless it makes progress: the idle time-out, and while
    // the request is read, the head's or the body's deadline.
    Reactor::Clock::time_point closingTime() const;
    void close();
    void countHeld();  // tells the budget what m_output holds now

    Reactor& m_reactor;
    UniqueFd m_socket;
    RequestHandler& m_handler;
    RequestReader m_reader;
    std::chrono::seconds m_idleTimeout;
    std::function<void()> m_closed;
    std::string m_peerAddress;
    std::string m_localAddress;
    Response m_response;
    std::string m_output;  // bytes still to send start at m_sent
    std::size_t m_sent = 0;
    Reactor::TimerId m_idleTimer = 0;
    Reactor::TimerId m_delayTimer = 0;  // an answer held back (Response::delay)
    Reactor::Clock::time_point m_lastProgress;
    Reactor::Clock::time_point m_started;    // accepted: the head is due an idle time later
    Reactor::Clock::time_point m_bodyStart;  // the head was complete and a body follows
    OutputBudget* m_budget = nullptr;
    std::function<void()> m_overspent;
    std::size_t m_held = 0;   // counted in m_budget
    unsigned m_interest = 0;  // what the reactor watches the socket for
    bool m_watched = false;
    bool m_receiveFilled = false;  // the last receive filled its buffer: more may be waiting
    bool m_draining = false;
    bool m_done = false;
};

}  // namespace tg
