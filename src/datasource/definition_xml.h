#pragma once
// What the XML documents of data source and diagram definitions share: how a document is
// written (no whitespace between nodes, UTF-8, the declaration and a comment first), how one
// is read (no DTD, no entities beyond XML's own five, nothing fetched), and how attribute
// texts cross between the program's Windows-1252 bytes and the document's UTF-8.
//
// One DefinitionXml per document and thread.

#include <cstdint>
#include <pugixml.hpp>
#include <string>
#include <string_view>

namespace tg {

// The largest document an import reads; anything larger is refused unread.
inline constexpr std::size_t kMaxDefinitionXml = 16 * 1024 * 1024;

class DefinitionXml {
public:
    // A new document holding the declaration and the comment `comment`; the root goes next.
    pugi::xml_node startDocument(std::string_view comment, const char* rootName);
    // Sets the attribute `name` of `element` to `value` converted to UTF-8; false (and the
    // error set) when `value` cannot be converted.
    bool put(pugi::xml_node element, const char* name, std::string_view value);
    // The document as written: the declaration, the comment, then the elements, with nothing
    // between nodes. Empty when a put failed.
    std::string text() const;

    // Parses `text` (a byte order mark chooses UTF-16 or UTF-32; UTF-8 otherwise). false and
    // the error set for a malformed document or one larger than kMaxDefinitionXml. A DOCTYPE
    // is skipped: no entity it declares is expanded and nothing it names is read.
    bool parse(std::string_view text);
    // The document's last top-level node when it is an element named exactly `name`.
    pugi::xml_node root(const char* name) const;
    // The attribute `name` of `element` converted to Windows-1252 ("" when missing); false
    // (and the error set) when it holds a character that has no byte there.
    bool get(pugi::xml_node element, const char* name, std::string& value);

    // Why the last failing step failed.
    const std::string& error() const { return m_error; }

private:
    pugi::xml_document m_document;
    std::string m_error;
};

// Whether an element's name is `name` without regard to ASCII case.
bool isNamedIgnoringCase(pugi::xml_node node, std::string_view name);

// The number at the start of `text` as C's atoi reads it: leading blanks, a sign, decimal
// digits up to the first other character; 0 when there are none. Values beyond the range of
// int stop at its limits.
int leadingNumber(std::string_view text);

// A number written from its low 16 bits as a signed value (how invert flags and axis
// operations appear in the documents).
std::string low16Text(std::uint32_t value);

}  // namespace tg
