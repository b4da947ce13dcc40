#include "http/connection.h"

#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "http/net_address.h"
#include "http/response_head.h"
#include "http/status_counts.h"

namespace tg {
namespace {

constexpr std::size_t kChunk = 8192;  // one receive
// The most one sendfile call is asked for; the socket's free space limits it further.
constexpr std::size_t kFileSlice = std::size_t{1} << 20;

}  // namespace

Connection::Connection(Reactor& reactor, UniqueFd socket, RequestHandler& handler,
                       const HttpLimits& limits, std::function<void()> closed,
                       std::string peerAddress, std::string localAddress)
    : m_reactor(reactor),
      m_socket(std::move(socket)),
      m_handler(handler),
      m_reader(limits),
      m_idleTimeout(limits.idleTimeoutSeconds),
      m_closed(std::move(closed)),
      m_peerAddress(std::move(peerAddress)),
      m_localAddress(std::move(localAddress)) {}

Connection::~Connection() {
    if (m_budget) m_budget->change(m_held, 0);
    if (m_idleTimer) m_reactor.cancel(m_idleTimer);
    if (m_delayTimer) m_reactor.cancel(m_delayTimer);
    if (m_socket && m_watched) m_reactor.unwatch(m_socket.get());
}

void Connection::countOutputIn(OutputBudget& budget, std::function<void()> overspent) {
    m_budget = &budget;
    m_overspent = std::move(overspent);
}

void Connection::countHeld() {
    const std::size_t held = m_output.size() + (m_response.body ? m_response.body->heldBytes() : 0);
    if (m_budget) m_budget->change(m_held, held);
    m_held = held;
}

void Connection::start() {
    touch();
    m_started = m_lastProgress;
    // Clients mostly send their request with the connection: it is often here already, and
    // is then answered, and the connection closed, without the reactor ever watching it.
    m_interest = Reactor::kReadable;
    onReceive();
    if (m_done) return;
    if (!m_watched) {
        want(m_interest);
        if (m_done) return;
    }
    if (m_idleTimeout.count() > 0) {
        m_idleTimer = m_reactor.after(m_idleTimeout, [this] { checkIdle(); });
    }
}

void Connection::want(unsigned interest) {
    if (m_watched) {
        if (interest == m_interest) return;
        m_interest = interest;
        m_reactor.modify(m_socket.get(), interest);
        return;
    }
    m_interest = interest;
    m_watched =
        m_reactor.watch(m_socket.get(), interest, [this](unsigned ready) { onReady(ready); });
    // Never to be told about this socket: without the idle time-out it would be held forever.
    if (!m_watched) close();
}

// Progress only notes the time; the one idle timer looks at it when it comes due, so busy
// connections cost no timer changes.
void Connection::touch() { m_lastProgress = Reactor::Clock::now(); }

Reactor::Clock::time_point Connection::closingTime() const {
    const Reactor::Clock::time_point idle = m_lastProgress + m_idleTimeout;
    switch (m_reader.state()) {
        case RequestReader::State::RequestLine:
        case RequestReader::State::Headers:
            return std::min(idle, m_started + m_idleTimeout);
        case RequestReader::State::Body: {
            // Each byte received buys the time it takes at the minimum rate.
            const auto earned = std::chrono::milliseconds(m_reader.request().body.size() * 1000 /
                                                          kMinBodyBytesPerSecond);
            return std::min(idle, m_bodyStart + m_idleTimeout + earned);
        }
        default:
            return idle;
    }
}

void Connection::checkIdle() {
    m_idleTimer = 0;
    const auto now = Reactor::Clock::now();
    const auto closing = closingTime();
    if (now >= closing) {
        close();
        return;
    }
    m_idleTimer =
        m_reactor.after(std::chrono::duration_cast<std::chrono::milliseconds>(closing - now) +
                            std::chrono::milliseconds(1),
                        [this] { checkIdle(); });
}

void Connection::onReady(unsigned ready) {
    if (m_done) return;
    if (m_draining) {
        drain();
    } else if (!m_reader.done() && (ready & (Reactor::kReadable | Reactor::kHangup))) {
        onReceive();
    } else if (m_reader.done() && (ready & Reactor::kWritable)) {
        onSend();
    } else if (ready & Reactor::kHangup) {
        close();  // the peer went away while we were sending
    }
}

void Connection::onReceive() {
    char buffer[kChunk];
    const ssize_t got = ::recv(m_socket.get(), buffer, sizeof buffer, 0);
    if (got < 0 && (errno == EAGAIN || errno == EINTR)) return;
    if (got <= 0) {  // the peer closed (or failed) before its request was complete
        close();
        return;
    }
    touch();
    m_receiveFilled = static_cast<std::size_t>(got) == sizeof buffer;
    const bool inHead = m_reader.state() != RequestReader::State::Body;
    m_reader.feed(std::string_view(buffer, static_cast<std::size_t>(got)));
    if (inHead && m_reader.state() == RequestReader::State::Body) m_bodyStart = m_lastProgress;
    if (m_reader.done()) answer();
}

void Connection::answer() {
    // Asked only now: a connection closed before its request is complete never needs them.
    m_reader.request().peerAddress =
        m_peerAddress.empty() ? peerAddressOf(m_socket.get()) : std::move(m_peerAddress);
    m_reader.request().localAddress =
        m_localAddress.empty() ? localAddressOf(m_socket.get()) : std::move(m_localAddress);
    if (m_reader.state() == RequestReader::State::Bad) {
        appendStatusOnly(m_response.head, kStatusBadRequest, std::time(nullptr));
    } else {
        m_handler.processRequest(m_reader.request(), m_response);
    }
    countAnswer(m_response.head);
    m_output = std::move(m_response.head);
    m_sent = 0;
    countHeld();
    if (m_budget && m_budget->over() && m_overspent) m_overspent();
    if (m_response.delay.count() > 0) {
        // Nothing is read or written until the answer is due; the wait is the server's, so
        // the idle time counts from its end.
        want(0);
        m_lastProgress = Reactor::Clock::now() + m_response.delay;
        m_delayTimer = m_reactor.after(m_response.delay, [this] {
            m_delayTimer = 0;
            onSend();
        });
        return;
    }
    // Only writes from now on: what the client sends after its request is never read. The
    // socket's buffer is empty, so sending starts at once.
    onSend();
}

bool Connection::sendOutput() {
    while (m_sent < m_output.size()) {
        // More follows when a body or a file does: the head then leaves in one segment with
        // what follows it.
        const int more = m_response.body || m_response.file ? MSG_MORE : 0;
        const ssize_t sent = ::send(m_socket.get(), m_output.data() + m_sent,
                                    m_output.size() - m_sent, MSG_NOSIGNAL | more);
        if (sent < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                want(Reactor::kWritable);  // the next write notification goes on
            } else {
                close();
            }
            return false;
        }
        m_sent += static_cast<std::size_t>(sent);
        touch();
    }
    return true;
}

void Connection::onSend() {
    if (!sendOutput()) return;
    if (m_response.body) {
        // One piece a turn, made once the one before is in the socket: other clients are
        // served between two pieces, and no more than one piece is held.
        m_output.clear();
        m_sent = 0;
        if (m_response.body->next(m_output)) {
            countHeld();
            if (sendOutput()) want(Reactor::kWritable);
            return;
        }
        m_response.body.reset();
    }
    if (!m_output.empty() || m_held != 0) {
        std::string().swap(m_output);  // sent: a file that follows is not held in memory
        m_sent = 0;
        countHeld();
    }
    while (m_response.file) {
        std::size_t slice = kFileSlice;
        if (m_response.fileSize && *m_response.fileSize < slice) {
            slice = static_cast<std::size_t>(*m_response.fileSize);
        }
        if (slice == 0) {
            m_response.file.reset();  // sent whole: no call to find the end
            break;
        }
        // The kernel copies from the file to the socket; SIGPIPE is ignored by the server.
        const ssize_t sent = ::sendfile(m_socket.get(), m_response.file.get(), nullptr, slice);
        if (sent < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                want(Reactor::kWritable);
                return;
            }
            close();
            return;
        }
        if (sent == 0) {
            m_response.file.reset();  // its end
            break;
        }
        if (m_response.fileSize) *m_response.fileSize -= static_cast<std::uint64_t>(sent);
        touch();
    }
    finishSending();  // the end of the answer is the end of the connection
}

void Connection::finishSending() {
    if (!mayStillSend()) {
        close();  // nothing unread: the client sees the answer and then the end
        return;
    }
    // Closing with unread bytes from the client would reset the connection and could destroy
    // the answer in flight. So the write side ends first, and whatever the client still sends
    // is read and dropped until it closes too (or the idle time-out passes).
    ::shutdown(m_socket.get(), SHUT_WR);
    m_draining = true;
    want(Reactor::kReadable);
    touch();
}

bool Connection::mayStillSend() const {
    // A bad request may have been cut short with the rest of it on its way; bytes after a
    // request, or a receive that filled its buffer, say the client sends more than it asked.
    return m_reader.state() != RequestReader::State::Complete || m_reader.sawBytesBeyond() ||
           m_receiveFilled;
}

void Connection::drain() {
    char buffer[kChunk];
    for (;;) {
        const ssize_t got = ::recv(m_socket.get(), buffer, sizeof buffer, 0);
        if (got > 0) continue;
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && errno == EAGAIN) return;
        close();
        return;
    }
}

void Connection::close() {
    if (m_done) return;
    m_done = true;
    if (m_idleTimer) m_reactor.cancel(m_idleTimer);
    m_idleTimer = 0;
    if (m_delayTimer) m_reactor.cancel(m_delayTimer);
    m_delayTimer = 0;
    // Closing the socket ends its watch in the kernel; the reactor only forgets it.
    if (m_watched) m_reactor.forgetClosing(m_socket.get());
    m_socket.reset();  // the client sees the end now, not when the connection is destroyed
    std::string().swap(m_output);
    m_sent = 0;
    m_response.body.reset();
    m_response.file.reset();
    countHeld();
    m_closed();
}

}  // namespace tg
