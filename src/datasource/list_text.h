#pragma once
// The text form of lists used by the store and the duplicate log: every entry followed by a
// one-character separator ("a\tb\t"), so only separator-terminated pieces count on reading.
// The store's lists use its ConfigStore::listSeparator().

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tg {

// Every element followed by `separator`; the empty list gives the empty text.
std::string joinList(const std::vector<std::string>& list, char separator);
// The pieces of `text` that end with `separator`; text after the last separator is dropped,
// adjacent separators give empty pieces, a text without separator gives an empty list.
std::vector<std::string> splitList(std::string_view text, char separator);

// Lists whose entries may hold the separator themselves (x labels, text slots, the values of
// a duplicate log line). When no entry holds the separator the text is joinList's, byte for
// byte. Otherwise every entry is escaped, the escape character (a backslash, or "/" when the
// separator is a backslash) doubled and the separator written as the escape character and
// "s" ("S" when the separator is "s"), and the escape character follows the last separator.
// joinList's texts always end with the separator, so that mark tells the two apart: texts
// written before escaping existed read as splitList reads them, backslashes and all, and a
// reader that knows no escaping still gets one entry per entry.
std::string joinEscapedList(const std::vector<std::string>& list, char separator);
std::vector<std::string> splitEscapedList(std::string_view text, char separator);
// Whether joinEscapedList has to escape `list`.
bool listNeedsEscaping(const std::vector<std::string>& list, char separator);
// The pieces of joinEscapedList, for other forms of lists: appends `item` escaped and the
// separator after it; the mark that ends an escaped list (after its last separator); whether
// `text` ends with that mark; and an escaped piece as it was (pairs the escaping does not
// write are kept as they are).
void appendEscapedEntry(std::string& text, std::string_view item, char separator);
char escapedListMark(char separator);
bool isEscapedList(std::string_view text, char separator);
void unescapeEntry(std::string_view piece, char separator, std::string& plain);

// The in-place tokenizer of C strings: skips leading delimiters, ends the token found with a
// zero byte and moves `cursor` past it. Returns the token's start, or nullptr (and clears the
// cursor) when only delimiters or nothing remain; the last token, with no delimiter after
// it, is returned with the cursor cleared.
char* nextToken(char*& cursor, const char* delimiters);

}  // namespace tg
