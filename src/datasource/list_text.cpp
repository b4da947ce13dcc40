#include "datasource/list_text.h"

#include <cstring>

namespace tg {

std::string joinList(const std::vector<std::string>& list, char separator) {
    std::size_t size = 0;
    for (const auto& item : list) size += item.size() + 1;
    std::string text;
    text.reserve(size);
    for (const auto& item : list) {
        text += item;
        text += separator;
    }
    return text;
}

std::vector<std::string> splitList(std::string_view text, char separator) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (std::size_t at; (at = text.find(separator, start)) != std::string_view::npos;) {
        pieces.emplace_back(text.substr(start, at - start));
        start = at + 1;
    }
    return pieces;
}

namespace {

char escapeOf(char separator) { return separator == '\\' ? '/' : '\\'; }
char separatorCodeOf(char separator) { return separator == 's' ? 'S' : 's'; }

}  // namespace

bool listNeedsEscaping(const std::vector<std::string>& list, char separator) {
    for (const auto& item : list) {
        if (item.find(separator) != std::string::npos) return true;
    }
    return false;
}

std::string joinEscapedList(const std::vector<std::string>& list, char separator) {
    if (!listNeedsEscaping(list, separator)) return joinList(list, separator);
    const char escape = escapeOf(separator);
    const char code = separatorCodeOf(separator);
    std::string text;
    for (const auto& item : list) {
        for (char c : item) {
            if (c == escape) {
                text += escape;
                text += escape;
            } else if (c == separator) {
                text += escape;
                text += code;
            } else {
                text += c;
            }
        }
        text += separator;
    }
    text += escape;
    return text;
}

std::vector<std::string> splitEscapedList(std::string_view text, char separator) {
    const char escape = escapeOf(separator);
    const bool escaped =
        text.size() >= 2 && text.back() == escape && text[text.size() - 2] == separator;
    std::vector<std::string> pieces = splitList(text, separator);
    if (!escaped) return pieces;
    const char code = separatorCodeOf(separator);
    for (auto& piece : pieces) {
        std::string plain;
        plain.reserve(piece.size());
        for (std::size_t i = 0; i < piece.size(); ++i) {
            const bool pair = piece[i] == escape && i + 1 < piece.size();
            if (pair && piece[i + 1] == escape) {
                plain += escape;
                ++i;
            } else if (pair && piece[i + 1] == code) {
                plain += separator;
                ++i;
            } else {
                plain += piece[i];  // not written by joinEscapedList: kept as it is
            }
        }
        piece = std::move(plain);
    }
    return pieces;
}

char* nextToken(char*& cursor, const char* delimiters) {
    if (cursor == nullptr || *cursor == '\0') return nullptr;
    char* start = cursor + std::strspn(cursor, delimiters);
    if (*start == '\0') {
        cursor = nullptr;
        return nullptr;
    }
    char* end = start + std::strcspn(start, delimiters);
    if (*end == '\0') {
        cursor = nullptr;
    } else {
        *end = '\0';
        cursor = end + 1;
    }
    return start;
}

}  // namespace tg
