#include "datasource/odbc/connect_text.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace tg {
namespace {

constexpr std::string_view kMarker = ";SQL=\"";
constexpr std::string_view kHidden = "***";

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) {
        text.remove_prefix(1);
    }
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) {
        text.remove_suffix(1);
    }
    return text;
}

bool isSecretKey(std::string_view key) {
    key = trim(key);
    return equalsIgnoringCase(key, "PWD") || equalsIgnoringCase(key, "PASSWORD");
}

// Where the value starting at `from` ends: at the next ';', or after its closing brace when
// braced ("}}" inside braces stands for one brace).
std::size_t valueEnd(std::string_view text, std::size_t from) {
    std::size_t at = from;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
    if (at < text.size() && text[at] == '{') {
        for (++at; at < text.size(); ++at) {
            if (text[at] != '}') continue;
            if (at + 1 < text.size() && text[at + 1] == '}') {
                ++at;
                continue;
            }
            return at + 1;
        }
        return text.size();
    }
    const std::size_t end = text.find(';', from);
    return end == std::string_view::npos ? text.size() : end;
}

// The values of the secret settings in `text`, as written and without their braces.
std::vector<std::string> secretValues(std::string_view text) {
    std::vector<std::string> values;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t equals = text.find('=', at);
        const std::size_t semicolon = text.find(';', at);
        if (equals == std::string_view::npos) break;
        if (semicolon < equals) {  // a setting without a value
            at = semicolon + 1;
            continue;
        }
        const std::size_t end = valueEnd(text, equals + 1);
        if (isSecretKey(text.substr(at, equals - at))) {
            const std::string_view value = trim(text.substr(equals + 1, end - equals - 1));
            if (!value.empty()) values.emplace_back(value);
            if (value.size() >= 2 && value.front() == '{' && value.back() == '}') {
                std::string inner(value.substr(1, value.size() - 2));
                for (std::size_t brace = inner.find("}}"); brace != std::string::npos;
                     brace = inner.find("}}", brace + 1)) {
                    inner.erase(brace, 1);
                }
                if (!inner.empty()) values.push_back(std::move(inner));
            }
        }
        const std::size_t next = text.find(';', end);
        if (next == std::string_view::npos) break;
        at = next + 1;
    }
    return values;
}

void replaceAll(std::string& text, std::string_view value) {
    for (std::size_t at = text.find(value); at != std::string::npos;
         at = text.find(value, at + kHidden.size())) {
        text.replace(at, value.size(), kHidden);
    }
}

// Hides the value of every "PWD=" or "PASSWORD=" written in `text`.
void hideSettings(std::string& text) {
    for (std::size_t at = text.find('='); at != std::string::npos; at = text.find('=', at + 1)) {
        std::size_t start = at;
        while (start > 0 && std::isalpha(static_cast<unsigned char>(text[start - 1]))) --start;
        if (!isSecretKey(std::string_view(text).substr(start, at - start))) continue;
        std::size_t end = valueEnd(text, at + 1);
        // A driver quoting the connection text may close its quote right after the value.
        const std::size_t stop = text.find_first_of("\"'\n", at + 1);
        if (stop != std::string::npos) end = std::min(end, stop);
        if (end == at + 1) continue;
        text.replace(at + 1, end - at - 1, kHidden);
    }
}

}  // namespace

std::optional<OdbcConnect> splitOdbcConnect(std::string_view text) {
    const std::size_t marker = text.find(kMarker);
    if (marker == std::string_view::npos) return std::nullopt;
    OdbcConnect parts;
    parts.connection.assign(text.substr(0, marker));
    const std::string_view rest = text.substr(marker + kMarker.size());
    // Without a closing quote the query is empty (and the database refuses it).
    const std::size_t close = rest.find('"');
    if (close != std::string_view::npos) parts.query.assign(rest.substr(0, close));
    return parts;
}

const std::string& odbcUsageMessage() {
    static const std::string message =
        "Connection string sintax error. Usage: \t\t\t\t\t\t  "
        "DSN=SQLServer_Source;[UID=SA;PWD=qzx741;]SQL=\"select * from table\"";
    return message;
}

std::string hideOdbcSecrets(std::string_view text, std::string_view connection) {
    std::string hidden(text);
    std::vector<std::string> values = secretValues(connection);
    // The longest first, so a value that holds a shorter one is hidden whole.
    std::sort(values.begin(), values.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    for (const std::string& value : values) replaceAll(hidden, value);
    hideSettings(hidden);
    return hidden;
}

}  // namespace tg
