#pragma once
// The connect string of an ODBC source: a connection text for the driver manager, the marker
// ;SQL=" and the query, closed by a double quote ("DSN=logs;UID=tg;PWD=x;SQL="select * from t"").
// Pure functions over texts; any thread.

#include <optional>
#include <string>
#include <string_view>

namespace tg {

struct OdbcConnect {
    std::string connection;  // everything before the first marker
    std::string query;       // up to the next double quote; empty when none follows
};

// The parts of `text`; none when it has no marker.
std::optional<OdbcConnect> splitOdbcConnect(std::string_view text);

// What a connect string without a marker is answered with.
const std::string& odbcUsageMessage();

// `text` with every password of `connection` (the values of PWD= and PASSWORD=, any case,
// braced or not) replaced by "***", also where a driver echoed it without its key, and with
// the value of any PWD= or PASSWORD= setting written in `text` itself hidden the same way.
std::string hideOdbcSecrets(std::string_view text, std::string_view connection);

}  // namespace tg
