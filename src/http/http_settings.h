#pragma once
// The HTTP server's settings under the product key's "http" sub-key: the listening port, the
// three event-log values, and the limits on what one client may cost the server.
//
// Every value is read together, once, by load() or by the first getter; later reads use the
// cache, and reading writes the default of any missing value back to the store. Each setter
// updates the cache and writes its value to the store at once.
//
// Any thread: the main thread changes the values while data source reader threads read them
// through the event log. Getters return copies; after the first load they never wait for the
// store, not even for a setter's write. Lock order: m_writeLock, then m_lock, then the
// store's own lock.

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "config/config_key.h"
#include "config/config_store.h"

namespace tg {

// Bounds the HTTP server puts on one client. The store keeps what was written; what is read
// is brought into its range (LimitRange), so that no stored value can stop the server.
struct HttpLimits {
    std::uint32_t maxHeadBytes = 65536;     // request line and headers together
    std::uint32_t maxBodyBytes = 1048576;   // declared Content-Length of a request body
    std::uint32_t idleTimeoutSeconds = 30;  // a connection that makes no progress is closed
    std::uint32_t maxConnections = 1000;    // connections open at once
    // x labels one diagram exports to the metrics, the busiest first; its data is not capped
    std::uint32_t metricsMaxLabels = 10000;
};

// The values a limit may take: 0 means its default, anything else is held between least and
// most. tgctl refuses what lies outside.
struct LimitRange {
    std::string_view name;
    std::uint32_t least;
    std::uint32_t most;
    std::uint32_t fallback;
    std::string_view unit;  // "bytes", "seconds", or empty

    std::uint32_t clamp(std::uint32_t value) const {
        if (value == 0) return fallback;
        return value < least ? least : value > most ? most : value;
    }
};
inline constexpr LimitRange kMaxHeadBytesRange{"MaxHeadBytes", 1024, 16777216, 65536, "bytes"};
inline constexpr LimitRange kMaxBodyBytesRange{"MaxBodyBytes", 1024, 67108864, 1048576, "bytes"};
inline constexpr LimitRange kIdleTimeoutRange{"IdleTimeoutSeconds", 1, 3600, 30, "seconds"};
inline constexpr LimitRange kMaxConnectionsRange{"MaxConnections", 1, 100000, 1000, ""};
inline constexpr LimitRange kMetricsMaxLabelsRange{"MetricsMaxLabels", 1, 10000000, 10000, ""};

// What the event log needs for one line, read under one lock so that the three agree.
struct EventLogSettings {
    bool enabled = true;
    std::string path;                  // empty: no log file
    std::uint32_t limitMegabytes = 1;  // the effective limit, never 0
};

class HttpSettings {
public:
    // The sub-key below the product key; ConfigKey::open appends it as it is.
    static constexpr std::string_view kKeyPath = "\\http";

    explicit HttpSettings(ConfigStore& store) : m_store(store) {}
    HttpSettings(const HttpSettings&) = delete;
    HttpSettings& operator=(const HttpSettings&) = delete;

    // Reads every value from the store now (again, if already loaded).
    void load();

    // The stored port; 0 means 80.
    std::uint32_t port();
    std::uint32_t effectivePort();
    void setPort(std::uint32_t port);

    bool webLogEnabled();
    void setWebLogEnabled(bool enabled);

    // The stored event-log limit in megabytes; 0 means 1.
    std::uint32_t maxLogSize();
    std::uint32_t effectiveLogSize();
    void setMaxLogSize(std::uint32_t megabytes);

    std::string logPath();
    void setLogPath(std::string_view path);

    EventLogSettings eventLogSettings();

    // Each within its LimitRange.
    HttpLimits limits();
    void setLimits(const HttpLimits& limits);

    // "AllowedHosts": names and addresses, separated by commas, that the server answers to
    // besides its own name and loopback (a name a reverse proxy passes on); "*" allows any.
    std::string allowedHosts();
    void setAllowedHosts(std::string_view hosts);

private:
    void loadLocked();
    void ensureLoadedLocked();
    // Updates the cache under m_lock, then writes the store without it.
    void change(const std::function<void()>& updateCache,
                const std::function<void(ConfigKey&)>& writeStore);

    ConfigStore& m_store;
    // Keeps the store's values in the order of the cache's changes.
    std::mutex m_writeLock;
    std::mutex m_lock;
    bool m_loaded = false;              // guarded by m_lock
    std::uint32_t m_port = 0;           // guarded by m_lock
    std::uint32_t m_webLogEnabled = 1;  // guarded by m_lock
    std::uint32_t m_maxLogSize = 0;     // guarded by m_lock
    std::string m_logPath;              // guarded by m_lock
    HttpLimits m_limits;                // guarded by m_lock
    std::string m_allowedHosts;         // guarded by m_lock
};

}  // namespace tg
