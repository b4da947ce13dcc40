#include "web/template_engine.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>

#include "http/url_mapping.h"
#include "platform/unique_fd.h"

namespace tg {

namespace {

constexpr std::size_t kChunkSize = 4096;

struct Token {
    std::size_t pos = 0;
    std::string_view text;  // delimiters included
};

// The first `start` at or after `from`, through the end of the first `end` at or after one
// byte past the start of `start` (not past its end: "<*>" is a record token).
std::optional<Token> findDelimited(std::string_view text, std::string_view start,
                                   std::string_view end, std::size_t from) {
    if (from > text.size()) return std::nullopt;
    const std::size_t pos = text.find(start, from);
    if (pos == std::string_view::npos) return std::nullopt;
    const std::size_t last = text.find(end, pos + 1);
    if (last == std::string_view::npos) return std::nullopt;
    return Token{pos, text.substr(pos, last + end.size() - pos)};
}

// Finds the tags of one text in order. Each kind of candidate is remembered while it still lies
// ahead, and a search that found nothing is never repeated (nothing can appear further on), so
// scanning a text costs time in proportion to its length however many tags it has.
class TagScanner {
public:
    enum class Kind { None, Variable, Record };
    struct Tag {
        Kind kind = Kind::None;
        Token token;
    };

    explicit TagScanner(std::string_view text) : m_text(text) {}

    // A record open tag wins when it starts before the variable candidate; since "<*" starts
    // one byte before its own asterisk, it always wins over the variable inside it.
    Tag next(std::size_t from) {
        refresh(m_variable, "*", "*", from);
        refresh(m_record, "<*", "*>", from);
        if (m_record.token && (!m_variable.token || m_record.token->pos < m_variable.token->pos))
            return {Kind::Record, *m_record.token};
        if (m_variable.token) return {Kind::Variable, *m_variable.token};
        return {};
    }

private:
    struct Candidate {
        std::optional<Token> token;
        bool exhausted = false;
    };

    void refresh(Candidate& candidate, std::string_view start, std::string_view end,
                 std::size_t from) {
        if (candidate.exhausted || (candidate.token && candidate.token->pos >= from)) return;
        candidate.token = findDelimited(m_text, start, end, from);
        candidate.exhausted = !candidate.token;
    }

    std::string_view m_text;
    Candidate m_variable;
    Candidate m_record;
};

// The first close tag at or after `from` whose normalized name equals the open tag's. There is
// no nesting count. An open tag with an empty name has no close tag.
std::optional<Token> findCloseTag(std::string_view text, std::size_t from,
                                  std::string_view openToken) {
    const std::string target = normalizeTagName(openToken);
    if (target.empty()) return std::nullopt;
    for (;;) {
        const std::optional<Token> candidate = findDelimited(text, "</*", "*>", from);
        if (!candidate || normalizeTagName(candidate->text) == target) return candidate;
        from = candidate->pos + candidate->text.size();
    }
}

// The character reference that stands for `c` in HTML text and quoted attributes; empty when
// `c` stands for itself.
std::string_view htmlEntity(char c) {
    switch (c) {
        case '&':
            return "&amp;";
        case '<':
            return "&lt;";
        case '>':
            return "&gt;";
        case '"':
            return "&quot;";
        case '\'':
            return "&#39;";
        default:
            return {};
    }
}

// Counts the record blocks being expanded while a page's expandRecord runs.
class DepthGuard {
public:
    explicit DepthGuard(std::size_t& depth) : m_depth(depth) { ++m_depth; }
    ~DepthGuard() { --m_depth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

private:
    std::size_t& m_depth;
};

}  // namespace

bool TemplateEngine::processTemplate(const RequestVariables& request, std::string& out) {
    const auto valueOf = [&request](const std::string& name) {
        const auto it = request.find(name);
        return it == request.end() ? std::string() : it->second;
    };
    const std::string name = valueOf("TEMPLATE_NAME");
    const std::string path = valueOf("TEMPLATE_PATH") + name + ".html";
    std::string text;
    if (!readTemplateFile(path, text)) {
        if (name == "error") return true;
        return fail("Can't open file '" + path + "'");
    }
    if (!m_page.prepare(request)) return false;
    return render(text, out);
}

bool TemplateEngine::render(std::string_view text, std::string& out) {
    if (m_depth == 0) m_work = 0;
    m_work += text.size() + 1;  // + 1: empty blocks repeated over rows cost something too
    if (m_work > m_workLimit) {
        return fail("Template error: record blocks repeat more than " +
                    std::to_string(m_workLimit) + " bytes of template text");
    }
    TagScanner scanner(text);
    std::size_t pos = 0;
    for (;;) {
        const TagScanner::Tag tag = scanner.next(pos);
        if (tag.kind == TagScanner::Kind::None) {
            out.append(text.substr(pos));
            return true;
        }
        out.append(text.substr(pos, tag.token.pos - pos));
        const std::size_t tagEnd = tag.token.pos + tag.token.text.size();
        if (tag.kind == TagScanner::Kind::Variable) {
            appendVariable(tag.token.text, out);
            pos = tagEnd;
            continue;
        }
        const RecordKind kind = m_page.recordKindOf(tag.token.text);
        const std::optional<Token> close = findCloseTag(text, tagEnd, tag.token.text);
        if (!close) {
            return fail("Template sintax error: can't find close tag for '" +
                        std::string(tag.token.text) + "'");
        }
        if (m_depth >= kMaxNesting) {
            return fail("Template error: record blocks nested more than " +
                        std::to_string(kMaxNesting) + " deep at '" + std::string(tag.token.text) +
                        "'");
        }
        const std::string_view block = text.substr(tagEnd, close->pos - tagEnd);
        {
            const DepthGuard guard(m_depth);
            if (!m_page.expandRecord(block, kind, out)) return false;
        }
        pos = close->pos + close->text.size();
    }
}

void TemplateEngine::setVariable(std::string name, std::string value) {
    m_rawNames.erase(name);
    m_variables.insert_or_assign(std::move(name), std::move(value));
}

void TemplateEngine::setRawVariable(std::string name, std::string markup) {
    m_rawNames.insert(name);
    m_variables.insert_or_assign(std::move(name), std::move(markup));
}

std::string_view TemplateEngine::variableValue(std::string_view token) const {
    const auto it = m_variables.find(normalizeTagName(token));
    return it == m_variables.end() ? std::string_view() : std::string_view(it->second);
}

void TemplateEngine::appendVariable(std::string_view token, std::string& out) const {
    const std::string name = normalizeTagName(token);
    const auto it = m_variables.find(name);
    if (it == m_variables.end()) return;
    if (m_rawNames.contains(name)) {
        out.append(it->second);
    } else {
        appendHtmlEscaped(out, it->second);
    }
}

bool TemplateEngine::fail(std::string message) {
    m_page.templateFailed(std::move(message));
    return false;
}

std::string normalizeTagName(std::string_view token) {
    std::string name;
    name.reserve(token.size());
    for (const char c : token) {
        if (c != '/' && c != '<' && c != '>' && c != '*' && c != ' ' && c != '\t') name += c;
    }
    return name;
}

void appendHtmlEscaped(std::string& out, std::string_view value) {
    std::size_t plain = 0;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const std::string_view entity = htmlEntity(value[i]);
        if (entity.empty()) continue;
        out.append(value.substr(plain, i - plain));
        out.append(entity);
        plain = i + 1;
    }
    out.append(value.substr(plain));
}

bool readTemplateFile(const std::string& path, std::string& text) {
    // Non-blocking, so that a FIFO in htdocs cannot hold the server in open(); it is refused
    // below. Through a path without links: the request was mapped to a file inside htdocs,
    // and a folder swapped for a link since must not lead out of it.
    const UniqueFd file = openFileWithoutLinks(path);
    if (!file) return false;
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
    const std::size_t start = text.size();
    char chunk[kChunkSize];
    for (;;) {
        const ssize_t got = ::read(file.get(), chunk, sizeof chunk);
        if (got == 0) return true;
        if (got < 0) {
            if (errno == EINTR) continue;
            text.resize(start);
            return false;
        }
        const auto size = static_cast<std::size_t>(got);
        const void* nul = std::memchr(chunk, '\0', size);
        text.append(chunk, nul ? static_cast<const char*>(nul) - chunk : size);
    }
}

}  // namespace tg
