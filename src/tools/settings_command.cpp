// tgctl settings: the web server's port, event log settings, limits and allowed host names.
// A running daemon reads them once at start-up and holds the store: changes wait until it
// has stopped, like every other change of the store.

#include <charconv>
#include <cstdint>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/config_key.h"
#include "http/http_settings.h"
#include "http/request_origin.h"
#include "tools/command_line.h"
#include "tools/commands.h"
#include "tools/store_snapshot.h"

namespace tg {
namespace {

// A stored DWORD, read without writing a default back; none when missing or of another type.
std::optional<std::uint32_t> storedNumber(ConfigKey& key, std::string_view name) {
    const auto value = key.queryValue(name);
    if (!value || value->type != ValueType::Dword) return std::nullopt;
    return decodeDword(value->data);
}

std::string numberText(std::optional<std::uint32_t> stored, std::uint32_t fallback) {
    return stored ? std::to_string(*stored) : std::to_string(fallback) + " (not stored)";
}

// The limits a server needs to answer anyone at all: tgctl takes none outside its range.
const LimitRange* const kLimitRanges[] = {&kMaxHeadBytesRange, &kMaxBodyBytesRange,
                                          &kIdleTimeoutRange, &kMaxConnectionsRange,
                                          &kMetricsMaxLabelsRange};

void showSettings(StoreOpener& stores, const CommandLine& line) {
    line.expectAtMost(1);
    // HttpSettings writes missing values back as it loads: it reads a copy.
    StoreSnapshot snapshot(stores.existingStore(), {std::string(HttpSettings::kKeyPath)});
    ConfigKey key(snapshot.store());
    // Without the key every value shows its default.
    (void)key.openExisting(HttpSettings::kKeyPath);
    const auto port = storedNumber(key, "Port");
    const auto enabled = storedNumber(key, "WebLogEnabled");
    const auto size = storedNumber(key, "MaxLogSize");
    std::string path;
    const bool hasPath = key.queryString("LogPath", path) == kStoreOk;
    HttpSettings settings(snapshot.store());
    std::cout << "Port\t" << numberText(port, 0) << "\teffective " << settings.effectivePort()
              << '\n';
    std::cout << "WebLogEnabled\t" << numberText(enabled, 1) << '\n';
    std::cout << "MaxLogSize\t" << numberText(size, 0) << "\teffective "
              << settings.effectiveLogSize() << " MB\n";
    std::cout << "LogPath\t" << (hasPath ? path : "(not stored)") << '\n';
    for (const LimitRange* range : kLimitRanges) {
        std::cout << range->name << '\t'
                  << numberText(storedNumber(key, range->name), range->fallback) << '\n';
    }
    std::string hosts;
    const bool hasHosts = key.queryString("AllowedHosts", hosts) == kStoreOk;
    std::cout << "AllowedHosts\t" << (hasHosts ? hosts : "(not stored)") << '\n';
}

// Decimal digits only, no sign or blanks, within [low, high].
std::optional<std::uint32_t> parseNumber(const std::string& text, std::uint32_t low,
                                         std::uint32_t high) {
    std::uint32_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || text[0] == '+' || text[0] == '-' || ec != std::errc{} || stop != end ||
        value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

// The numeric settings and the values each accepts (Port: the server's setPort range).
struct NumberSetting {
    std::string_view name;
    std::uint32_t low;
    std::uint32_t high;
    const char* accepted;
};
constexpr NumberSetting kNumberSettings[] = {
    {"Port", 1, 65535, "a number from 1 to 65535"},
    {"WebLogEnabled", 0, 1, "0 or 1"},
    {"MaxLogSize", 0, UINT32_MAX, "a number of megabytes from 0 to 4294967295"},
};

const char* const kSettingNames =
    "Port, WebLogEnabled, MaxLogSize, LogPath, MaxHeadBytes, MaxBodyBytes, IdleTimeoutSeconds, "
    "MaxConnections, MetricsMaxLabels, AllowedHosts";

std::uint32_t& limitField(HttpLimits& limits, std::string_view name) {
    if (name == kMaxHeadBytesRange.name) return limits.maxHeadBytes;
    if (name == kMaxBodyBytesRange.name) return limits.maxBodyBytes;
    if (name == kIdleTimeoutRange.name) return limits.idleTimeoutSeconds;
    if (name == kMetricsMaxLabelsRange.name) return limits.metricsMaxLabels;
    return limits.maxConnections;
}

void setSetting(StoreOpener& stores, const CommandLine& line) {
    line.expectAtMost(3);
    const std::string& name = line.positional(1, std::string("setting (") + kSettingNames + ")");
    const std::string& value = line.positional(2, "VALUE");
    std::optional<std::uint32_t> number;
    bool known = name == "LogPath" || name == "AllowedHosts";
    for (const NumberSetting& setting : kNumberSettings) {
        if (setting.name != name) continue;
        known = true;
        number = parseNumber(value, setting.low, setting.high);
        if (!number) {
            throw CommandError(name + " must be " + setting.accepted + ", not \"" + value + "\"");
        }
    }
    bool limit = false;
    for (const LimitRange* range : kLimitRanges) {
        if (range->name != name) continue;
        known = limit = true;
        number = parseNumber(value, range->least, range->most);
        if (!number) {
            const std::string unit = range->unit.empty() ? "" : " of " + std::string(range->unit);
            throw CommandError(name + " must be a number" + unit + " from " +
                               std::to_string(range->least) + " to " +
                               std::to_string(range->most) + ", not \"" + value + "\"");
        }
    }
    if (!known) throw UsageError("unknown setting " + name + " (use " + kSettingNames + ")");
    if (name == "AllowedHosts") {
        // Every entry must be a host name or address: a typo would otherwise lock a proxy out.
        std::string_view rest = value;
        while (!rest.empty()) {
            const std::string_view entry = rest.substr(0, rest.find(','));
            rest = entry.size() < rest.size() ? rest.substr(entry.size() + 1) : std::string_view();
            if (splitHostList(entry).empty()) {
                throw CommandError("AllowedHosts must be host names or addresses separated by "
                                   "commas, not \"" + std::string(entry) + "\"");
            }
        }
    }

    const auto lock = lockStoreForChange(stores);
    HttpSettings settings(stores.store());
    if (name == "Port") settings.setPort(*number);
    if (name == "WebLogEnabled") settings.setWebLogEnabled(*number != 0);
    if (name == "MaxLogSize") settings.setMaxLogSize(*number);
    if (name == "LogPath") settings.setLogPath(value);
    if (name == "AllowedHosts") settings.setAllowedHosts(value);
    if (limit) {
        HttpLimits limits = settings.limits();
        limitField(limits, name) = *number;
        settings.setLimits(limits);
    }
    // The setters are silent about the store; read the value back to tell.
    ConfigKey key(stores.store());
    // Without the key the value reads as not stored, which is then reported.
    (void)key.openExisting(HttpSettings::kKeyPath);
    std::string path;
    const bool stored = number ? storedNumber(key, name) == number
                               : key.queryString(name, path) == kStoreOk && path == value;
    if (!stored) throw CommandError("cannot write " + name + ": " + stores.store().lastError());
}

}  // namespace

void runSettingsCommand(const std::vector<std::string>& words, StoreOpener& stores) {
    const CommandLine line(words, {}, {});
    const std::string& action = line.positional(0, "settings command (show, set)");
    if (action == "show") {
        showSettings(stores, line);
    } else if (action == "set") {
        setSetting(stores, line);
    } else {
        throw UsageError("unknown settings command " + action);
    }
}

}  // namespace tg
