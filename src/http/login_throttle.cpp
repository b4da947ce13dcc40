#include "http/login_throttle.h"

#include <arpa/inet.h>

#include <algorithm>

namespace tg {

std::string LoginThrottle::clientKey(std::string_view address) {
    if (address.find(':') == std::string_view::npos) return std::string(address);
    unsigned char bytes[16];
    const std::string text(address);
    if (::inet_pton(AF_INET6, text.c_str(), bytes) != 1) return text;
    std::fill(bytes + 8, bytes + 16, 0);
    char network[INET6_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET6, bytes, network, sizeof network);
    return std::string(network) + "/64";
}

LoginThrottle::Milliseconds LoginThrottle::holdFor(std::string_view address,
                                                   Clock::time_point now) const {
    const auto it = m_clients.find(clientKey(address));
    if (it == m_clients.end() || it->second.heldUntil <= now) return Milliseconds(0);
    return std::chrono::ceil<Milliseconds>(it->second.heldUntil - now);
}

LoginThrottle::Milliseconds LoginThrottle::failed(std::string_view address,
                                                  Clock::time_point now) {
    std::string key = clientKey(address);
    auto it = m_clients.find(key);
    if (it == m_clients.end()) {
        makeRoom(now);
        it = m_clients.emplace(std::move(key), Client{}).first;
    } else if (now - it->second.lastFailure >= m_policy.forgetAfter) {
        it->second = Client{};
    }
    Client& client = it->second;
    client.failures += client.failures < 64 ? 1 : 0;
    client.lastFailure = now;
    Milliseconds delay(0);
    if (client.failures > m_policy.freeFailures) {
        delay = m_policy.firstDelay;
        for (unsigned i = m_policy.freeFailures + 1; i < client.failures; ++i) {
            delay *= 2;
            if (delay >= m_policy.maxDelay) break;
        }
        delay = std::min(delay, m_policy.maxDelay);
    }
    client.heldUntil = now + delay;
    return delay;
}

void LoginThrottle::succeeded(std::string_view address) { m_clients.erase(clientKey(address)); }

void LoginThrottle::makeRoom(Clock::time_point now) {
    if (m_clients.size() < m_policy.maxClients) return;
    std::erase_if(m_clients, [&](const auto& entry) {
        return now - entry.second.lastFailure >= m_policy.forgetAfter;
    });
    while (m_clients.size() >= m_policy.maxClients && !m_clients.empty()) {
        const auto oldest = std::min_element(
            m_clients.begin(), m_clients.end(), [](const auto& a, const auto& b) {
                return a.second.lastFailure < b.second.lastFailure;
            });
        m_clients.erase(oldest);
    }
}

}  // namespace tg
