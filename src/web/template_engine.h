#pragma once
// The template engine: turns an HTML template from htdocs into a response body by copying its
// text and replacing two kinds of tags.
//
//   *NAME*                      a variable tag: the value of NAME in the variable table,
//                               HTML-escaped; nothing when NAME is not set
//   <*NAME*> block </*NAME*>    a record block: handed to the page, which writes the block once
//                               per row of one of its lists (TemplatePage::expandRecord)
//
// Any text between two asterisks is a variable tag, so templates keep asterisks paired; scripts
// and styles live in separate files. Names are normalized by removing every '/', '<', '>', '*',
// blank and tab, so "<* GROUPRECORD *>" is closed by "</*GROUPRECORD*>". A block ends at the
// first close tag of the same normalized name: blocks of one name cannot nest, blocks of other
// names nest freely. A close tag outside any block is read as a variable tag between its '</'
// and '>'.
//
// Every page object owns one engine for one request; one thread (the HTTP server's) uses it.
// Rendering is a pure function of the template text and the page's answers: it never reads
// outside the text it is given, and it stops with an error instead of nesting blocks deeper
// than kMaxNesting or rescanning more template text than the work limit (bad templates repeat
// blocks exponentially: three rows over 30 nested blocks are 3^30 renders).

#include <cstddef>
#include <map>
#include <set>
#include <string>
#include <string_view>

#include "web/record_kind.h"

namespace tg {

// Name to value, both byte strings, ordered by plain byte comparison, names case-sensitive.
using TemplateVariables = std::map<std::string, std::string>;
// The request variables that the HTTP server builds for a template request.
using RequestVariables = std::map<std::string, std::string>;

// What the engine asks of the page it renders for. Page implements it; the defaults are the
// base page's: no record kinds, every block dropped.
class TemplatePage {
public:
    virtual ~TemplatePage() = default;

    // Reads the request, carries out its action and fills the variables and the page's lists.
    // False when it failed; the page has set its error message and target. Called once, by
    // processTemplate, and only after the template file was read.
    [[nodiscard]] virtual bool prepare(const RequestVariables& request) = 0;

    // Writes `block` for every row of the list of `kind`, in list order: sets the row's
    // variables, then calls the engine's render(block, out). Returns false as soon as a render
    // fails, true after the last row. An empty list, or a kind the page does not handle
    // (including None), writes nothing and returns true.
    [[nodiscard]] virtual bool expandRecord(std::string_view /*block*/, RecordKind /*kind*/,
                                            std::string& /*out*/) {
        return true;
    }

    // The kind of a record block, from its open tag exactly as written (delimiters included);
    // see findRecordKind.
    virtual RecordKind recordKindOf(std::string_view /*openToken*/) { return RecordKind::None; }

    // The engine failed on its own account (a block without close tag, the template file
    // missing, a limit reached). The page records `message` as its error message with the
    // error target DiagramList. Not called when prepare or expandRecord failed.
    virtual void templateFailed(std::string message) = 0;
};

class TemplateEngine {
public:
    static constexpr std::size_t kMaxNesting = 32;
    static constexpr std::size_t kDefaultWorkLimit = std::size_t{256} << 20;

    explicit TemplateEngine(TemplatePage& page) : m_page(page) {}
    TemplateEngine(const TemplateEngine&) = delete;
    TemplateEngine& operator=(const TemplateEngine&) = delete;

    // Reads TEMPLATE_PATH + TEMPLATE_NAME + ".html" (plain concatenation of the request
    // variables), calls the page's prepare, renders. False on any failure, with the page's
    // error set. When the file cannot be read, prepare is not called (so the request's action
    // is not carried out): the result is false with "Can't open file '<path>'", except for the
    // template named "error", which then gives true and an empty body.
    [[nodiscard]] bool processTemplate(const RequestVariables& request, std::string& out);

    // Appends `text` to `out` with its tags replaced. False when a record block has no close
    // tag (or an empty name), a limit is reached, or expandRecord fails; what was appended
    // before the failure stays. Pages call it from expandRecord for each row.
    [[nodiscard]] bool render(std::string_view text, std::string& out);

    // Sets a variable. Its value is written HTML-escaped (& < > " '), so any text is safe in
    // element content and in quoted attributes. Clears a raw mark that the name had.
    void setVariable(std::string name, std::string value);
    // Sets a variable whose value is markup the page built itself and has escaped where it
    // needed to: it is written unchanged. Only for values that must reach the browser as
    // HTML or script; never for text that comes from a request, a data source or a diagram
    // definition unless the page escaped it. The mark lasts until setVariable on the name.
    void setRawVariable(std::string name, std::string markup);
    const TemplateVariables& variables() const { return m_variables; }

    // The stored (unescaped) value for a variable tag, looked up by its normalized name; empty
    // when the name is not set (no entry is added).
    std::string_view variableValue(std::string_view token) const;

    // Bytes of template text that one top-level render may scan, counting every repetition of
    // a block. Reaching it stops rendering with an error.
    void setWorkLimit(std::size_t bytes) { m_workLimit = bytes; }

private:
    void appendVariable(std::string_view token, std::string& out) const;
    [[nodiscard]] bool fail(std::string message);

    TemplatePage& m_page;
    TemplateVariables m_variables;
    std::set<std::string, std::less<>> m_rawNames;  // variables written without escaping
    std::size_t m_depth = 0;                        // record blocks being expanded
    std::size_t m_work = 0;                         // text scanned by the current render
    std::size_t m_workLimit = kDefaultWorkLimit;
};

// The token with every '/', '<', '>', '*', blank and tab removed wherever it occurs.
std::string normalizeTagName(std::string_view token);

// Appends `value` with &, <, >, " and ' replaced by their character references.
void appendHtmlEscaped(std::string& out, std::string_view value);

// Reads a template file in chunks of at most 4096 bytes until the end, keeping each chunk up
// to its first NUL byte (the rest of that chunk is dropped). False when the file cannot be
// opened, is not a regular file, a symbolic link is on its path, or a read fails; `text`
// then holds nothing of it.
[[nodiscard]] bool readTemplateFile(const std::string& path, std::string& text);

}  // namespace tg
