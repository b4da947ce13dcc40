#pragma once
// Slows down password guessing. Per client address (an IPv6 client by its /64 network, which
// one machine usually owns whole), consecutive failed logins make the answers wait: the first
// few answer at once, then the wait doubles from one second up to a bound. While a client
// waits, its credentials are not checked at all, so that many guesses sent at once on many
// connections learn nothing before the wait is over. A successful login forgets the client;
// so does a quiet spell. The table is bounded: when it is full, the client that failed
// longest ago goes first.
//
// The waits themselves are the connection's (Response::delay on the reactor's timer): this
// class only counts and never sleeps. Main thread only.

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tg {

class LoginThrottle {
public:
    using Clock = std::chrono::steady_clock;
    using Milliseconds = std::chrono::milliseconds;

    struct Policy {
        unsigned freeFailures = 3;  // failures answered without waiting
        Milliseconds firstDelay{1000};
        Milliseconds maxDelay{16000};
        std::chrono::seconds forgetAfter{900};  // a client quiet this long starts afresh
        std::size_t maxClients = 4096;
    };

    LoginThrottle() : LoginThrottle(Policy{}) {}
    explicit LoginThrottle(Policy policy) : m_policy(policy) {}

    // How long the client must still wait before its credentials are checked again; zero when
    // it may try now.
    Milliseconds holdFor(std::string_view address, Clock::time_point now) const;
    // Counts a failed login of a client that was not held; the wait before its answer.
    Milliseconds failed(std::string_view address, Clock::time_point now);
    // A successful login: the client starts afresh.
    void succeeded(std::string_view address);

    std::size_t size() const { return m_clients.size(); }

    // The table key of an address text: IPv6 addresses by their first 64 bits.
    static std::string clientKey(std::string_view address);

private:
    struct Client {
        unsigned failures = 0;
        Clock::time_point lastFailure;
        Clock::time_point heldUntil;
    };
    void makeRoom(Clock::time_point now);

    Policy m_policy;
    std::unordered_map<std::string, Client> m_clients;
};

}  // namespace tg
