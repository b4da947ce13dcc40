#include "http/media_types.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <utility>

namespace tg {
namespace {

std::string toLower(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

}  // namespace

MediaTypes MediaTypes::load(const std::string& path) {
    std::ifstream in(path);
    if (!in) return builtIn();
    MediaTypes types;
    std::string line;
    while (std::getline(in, line)) {
        line.erase(std::min(line.find('#'), line.size()));
        std::istringstream words(line);
        std::string type;
        if (!(words >> type) || type.find('/') == std::string::npos) continue;
        std::string extension;
        while (words >> extension) types.m_byExtension.emplace(toLower(extension), type);
    }
    if (types.m_byExtension.empty()) return builtIn();
    return types;
}

MediaTypes MediaTypes::builtIn() {
    static const std::pair<const char*, const char*> kTable[] = {
        {"html", "text/html"},        {"htm", "text/html"},
        {"css", "text/css"},          {"js", "text/javascript"},
        {"json", "application/json"}, {"txt", "text/plain"},
        {"png", "image/png"},         {"gif", "image/gif"},
        {"jpg", "image/jpeg"},        {"jpeg", "image/jpeg"},
        {"svg", "image/svg+xml"},     {"ico", "image/vnd.microsoft.icon"},
        {"xml", "application/xml"},   {"pdf", "application/pdf"},
        {"woff", "font/woff"},        {"woff2", "font/woff2"},
        {"map", "application/json"},  {"wasm", "application/wasm"},
    };
    MediaTypes types;
    for (const auto& [extension, type] : kTable) types.m_byExtension.emplace(extension, type);
    return types;
}

std::optional<std::string> MediaTypes::contentTypeFor(std::string_view path) const {
    const std::size_t slash = path.find_last_of("/\\");
    const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos) return std::nullopt;
    const auto found = m_byExtension.find(toLower(name.substr(dot + 1)));
    if (found == m_byExtension.end()) return std::nullopt;
    return found->second;
}

}  // namespace tg
