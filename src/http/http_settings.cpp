#include "http/http_settings.h"

namespace tg {
namespace {

constexpr std::string_view kPort = "Port";
constexpr std::string_view kWebLogEnabled = "WebLogEnabled";
constexpr std::string_view kMaxLogSize = "MaxLogSize";
constexpr std::string_view kLogPath = "LogPath";
constexpr std::string_view kMaxHeadBytes = "MaxHeadBytes";
constexpr std::string_view kMaxBodyBytes = "MaxBodyBytes";
constexpr std::string_view kIdleTimeoutSeconds = "IdleTimeoutSeconds";
constexpr std::string_view kMaxConnections = "MaxConnections";
constexpr std::string_view kMetricsMaxLabels = "MetricsMaxLabels";
constexpr std::string_view kAllowedHosts = "AllowedHosts";

constexpr std::uint32_t kDefaultPort = 80;
constexpr std::uint32_t kDefaultLogMegabytes = 1;

HttpLimits clamped(HttpLimits limits) {
    limits.maxHeadBytes = kMaxHeadBytesRange.clamp(limits.maxHeadBytes);
    limits.maxBodyBytes = kMaxBodyBytesRange.clamp(limits.maxBodyBytes);
    limits.idleTimeoutSeconds = kIdleTimeoutRange.clamp(limits.idleTimeoutSeconds);
    limits.maxConnections = kMaxConnectionsRange.clamp(limits.maxConnections);
    limits.metricsMaxLabels = kMetricsMaxLabelsRange.clamp(limits.metricsMaxLabels);
    return limits;
}

}  // namespace

void HttpSettings::load() {
    std::lock_guard order(m_writeLock);
    std::lock_guard lock(m_lock);
    loadLocked();
}

void HttpSettings::loadLocked() {
    ConfigKey key(m_store);
    // Without the key every setting reads its default.
    (void)key.open(kKeyPath);
    const HttpLimits defaults;
    m_port = key.getDword(kPort, 0);
    m_webLogEnabled = key.getDword(kWebLogEnabled, 1);
    m_maxLogSize = key.getDword(kMaxLogSize, 0);
    m_logPath = key.getString(kLogPath, "");
    HttpLimits limits;
    limits.maxHeadBytes = key.getDword(kMaxHeadBytes, defaults.maxHeadBytes);
    limits.maxBodyBytes = key.getDword(kMaxBodyBytes, defaults.maxBodyBytes);
    limits.idleTimeoutSeconds = key.getDword(kIdleTimeoutSeconds, defaults.idleTimeoutSeconds);
    limits.maxConnections = key.getDword(kMaxConnections, defaults.maxConnections);
    limits.metricsMaxLabels = key.getDword(kMetricsMaxLabels, defaults.metricsMaxLabels);
    m_limits = clamped(limits);
    m_allowedHosts = key.getString(kAllowedHosts, "");
    m_loaded = true;
}

void HttpSettings::ensureLoadedLocked() {
    if (!m_loaded) loadLocked();
}

void HttpSettings::change(const std::function<void()>& updateCache,
                          const std::function<void(ConfigKey&)>& writeStore) {
    std::lock_guard order(m_writeLock);
    {
        std::lock_guard lock(m_lock);
        // Loading first keeps a later first read from replacing the other cached values.
        ensureLoadedLocked();
        updateCache();
    }
    // A store write may wait on another process; readers of the cache need not wait with it.
    ConfigKey key(m_store);
    if (key.open(kKeyPath)) writeStore(key);
}

std::uint32_t HttpSettings::port() {
    std::lock_guard lock(m_lock);
    ensureLoadedLocked();
    return m_port;
}

std::uint32_t HttpSettings::effectivePort() {
    const std::uint32_t stored = port();
    return stored != 0 ? stored : kDefaultPort;
}

void HttpSettings::setPort(std::uint32_t port) {
    change([&] { m_port = port; }, [&](ConfigKey& key) { key.setDword(kPort, port); });
}

bool HttpSettings::webLogEnabled() {
    std::lock_guard lock(m_lock);
    ensureLoadedLocked();
    return m_webLogEnabled != 0;
}

void HttpSettings::setWebLogEnabled(bool enabled) {
    const std::uint32_t value = enabled ? 1 : 0;
    change([&] { m_webLogEnabled = value; },
           [&](ConfigKey& key) { key.setDword(kWebLogEnabled, value); });
}

std::uint32_t HttpSettings::maxLogSize() {
    std::lock_guard lock(m_lock);
    ensureLoadedLocked();
    return m_maxLogSize;
}

std::uint32_t HttpSettings::effectiveLogSize() {
    const std::uint32_t stored = maxLogSize();
    return stored != 0 ? stored : kDefaultLogMegabytes;
}

void HttpSettings::setMaxLogSize(std::uint32_t megabytes) {
    change([&] { m_maxLogSize = megabytes; },
           [&](ConfigKey& key) { key.setDword(kMaxLogSize, megabytes); });
}

std::string HttpSettings::logPath() {
    std::lock_guard lock(m_lock);
    ensureLoadedLocked();
    return m_logPath;
}

void HttpSettings::setLogPath(std::string_view path) {
    change([&] { m_logPath.assign(path); }, [&](ConfigKey& key) { key.setString(kLogPath, path); });
}

EventLogSettings HttpSettings::eventLogSettings() {
    std::lock_guard lock(m_lock);
    ensureLoadedLocked();
    EventLogSettings settings;
    settings.enabled = m_webLogEnabled != 0;
    settings.path = m_logPath;
    settings.limitMegabytes = m_maxLogSize != 0 ? m_maxLogSize : kDefaultLogMegabytes;
    return settings;
}

HttpLimits HttpSettings::limits() {
    std::lock_guard lock(m_lock);
    ensureLoadedLocked();
    return m_limits;
}

void HttpSettings::setLimits(const HttpLimits& limits) {
    change([&] { m_limits = clamped(limits); },
           [&](ConfigKey& key) {
               key.setDword(kMaxHeadBytes, limits.maxHeadBytes);
               key.setDword(kMaxBodyBytes, limits.maxBodyBytes);
               key.setDword(kIdleTimeoutSeconds, limits.idleTimeoutSeconds);
               key.setDword(kMaxConnections, limits.maxConnections);
               key.setDword(kMetricsMaxLabels, limits.metricsMaxLabels);
           });
}

std::string HttpSettings::allowedHosts() {
    std::lock_guard lock(m_lock);
    ensureLoadedLocked();
    return m_allowedHosts;
}

void HttpSettings::setAllowedHosts(std::string_view hosts) {
    change([&] { m_allowedHosts.assign(hosts); },
           [&](ConfigKey& key) { key.setString(kAllowedHosts, hosts); });
}

}  // namespace tg
