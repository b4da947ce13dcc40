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
    std::string text;
    for (const auto& item : list) appendEscapedEntry(text, item, separator);
    text += escapeOf(separator);
    return text;
}

void appendEscapedEntry(std::string& text, std::string_view item, char separator) {
    const char escape = escapeOf(separator);
    const char code = separatorCodeOf(separator);
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

std::vector<std::string> splitEscapedList(std::string_view text, char separator) {
    std::vector<std::string> pieces = splitList(text, separator);
    if (!isEscapedList(text, separator)) return pieces;
    std::string plain;
    for (auto& piece : pieces) {
        unescapeEntry(piece, separator, plain);
        piece = plain;
    }
    return pieces;
}

char escapedListMark(char separator) { return escapeOf(separator); }

bool isEscapedList(std::string_view text, char separator) {
    return text.size() >= 2 && text.back() == escapeOf(separator) &&
           text[text.size() - 2] == separator;
}

void unescapeEntry(std::string_view piece, char separator, std::string& plain) {
    const char escape = escapeOf(separator);
    const char code = separatorCodeOf(separator);
    plain.clear();
    for (std::size_t i = 0; i < piece.size(); ++i) {
        const bool pair = piece[i] == escape && i + 1 < piece.size();
        if (pair && piece[i + 1] == escape) {
            plain += escape;
            ++i;
        } else if (pair && piece[i + 1] == code) {
            plain += separator;
            ++i;
        } else {
            plain += piece[i];  // not written by the escaping: kept as it is
        }
    }
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
