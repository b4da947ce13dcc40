#include "regex/reg_exp.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "regex/ere_determinism.h"
#include "regex/ere_syntax.h"
#include "regex/pcre_matcher.h"
#include "regex/pcre_translation.h"
#include "regex/regex_size.h"

namespace tg {
namespace {

// Slots handed to regexec: group 0 and groups 1..kMaxGroups.
constexpr std::size_t kSlots = kMaxGroups + 1;

// A node that is a sequence of one element stands for that element.
const EreNode& single(const EreNode& node) {
    if (node.kind == EreNode::Kind::Concat && node.children.size() == 1)
        return single(node.children[0]);
    return node;
}

// The byte class of an expression "X*", "X+", "(X*)" or "(X+)" (X one atom); null for any
// other. `oneOrMore`: the class is repeated at least once.
const EreNode* repeatedAtom(const EreNode& root, std::size_t& groups, bool& oneOrMore) {
    const EreNode* node = &single(root);
    groups = 0;
    if (node->kind == EreNode::Kind::Group) {
        groups = 1;
        node = &single(node->children[0]);
    }
    if (node->kind != EreNode::Kind::Repeat || node->min > 1 || node->max != EreNode::kUnbounded)
        return nullptr;
    oneOrMore = node->min == 1;
    const EreNode& atom = node->children[0];
    return atom.kind == EreNode::Kind::Atom ? &atom : nullptr;
}

}  // namespace

std::string replaceEscapes(std::string_view pattern) {
    static constexpr std::array<std::pair<char, char>, 5> kEscapes{
        {{'n', '\n'}, {'r', '\r'}, {'t', '\t'}, {'a', '\a'}, {'b', '\b'}}};
    std::string text(pattern);
    for (const auto& [letter, replacement] : kEscapes) {
        const char pair[2] = {'\\', letter};
        std::size_t at = 0;
        while ((at = text.find(std::string_view(pair, 2), at)) != std::string::npos) {
            text.replace(at, 2, 1, replacement);
            ++at;  // past the inserted character, which is never read again
        }
    }
    return text;
}

RegExp::RegExp() = default;
RegExp::~RegExp() = default;
RegExp::RegExp(RegExp&&) noexcept = default;
RegExp& RegExp::operator=(RegExp&&) noexcept = default;

int RegExp::compile(std::string_view pattern, RegExpOptions options) {
    m_pattern.assign(pattern);
    m_compiled.reset();
    m_fast.reset();
    m_run.reset();
    m_fastPattern.clear();
    m_slowReason.clear();
    const std::string text = replaceEscapes(pattern);
    if (!regexCostAcceptable(text)) return REG_ESIZE;  // never compiled
    auto compiled = std::make_unique<regex_t>();
    const int rc = regcomp(compiled.get(), text.c_str(), REG_EXTENDED | REG_ICASE);
    if (rc == 0) {
        m_compiled.reset(compiled.release());  // a failed regcomp is never regfree'd
        planCompiledEngine(text, options);
    }
    return rc;
}

void RegExp::planCompiledEngine(const std::string& text, RegExpOptions options) {
    if (options.engine == RegExpEngine::GlibcOnly) {
        m_slowReason = "the compiled engine is switched off";
        return;
    }
    const EreParse parsed = parseEre(text);
    if (!parsed.supported) {
        m_slowReason = parsed.refusal;
        return;
    }
    if (parsed.groups != m_compiled->re_nsub) {
        m_slowReason = "glibc counts the groups differently";
        return;
    }
    std::size_t runGroups = 0;
    bool oneOrMore = false;
    if (const EreNode* atom = repeatedAtom(parsed.root, runGroups, oneOrMore)) {
        m_run = std::make_unique<LeadingRun>();
        m_run->groups = runGroups;
        m_run->oneOrMore = oneOrMore;
        for (std::size_t byte = 0; byte < 256; ++byte) {
            m_run->bytes[byte] = atom->bytes[byte];
            if (atom->bytes[byte]) continue;
            m_run->outside = static_cast<unsigned char>(byte);
            ++m_run->outsideCount;
        }
    }
    m_slowReason = determinismRefusal(parsed.root);
    if (!m_slowReason.empty()) return;
    std::string translated = toPcre2(parsed.root);
    m_fast = PcreMatcher::create(translated, parsed.groups, m_slowReason);
    if (m_fast) m_fastPattern = std::move(translated);
}

bool RegExp::match(std::string_view text, regmatch_t* slots, std::size_t count) const {
    if (m_run) {
        const auto inClass = [&](std::size_t at) {
            return m_run->bytes[static_cast<unsigned char>(text[at])];
        };
        std::size_t start = 0;
        if (m_run->oneOrMore) {
            // The leftmost match starts at the first byte of the class, and is its whole run.
            while (start < text.size() && !inClass(start)) ++start;
        }
        // A class of every byte runs to the end; one of all bytes but one, to that byte.
        std::size_t end = text.size();
        if (m_run->outsideCount == 1 && start < text.size()) {
            const void* at = std::memchr(text.data() + start, m_run->outside, text.size() - start);
            if (at) end = static_cast<std::size_t>(static_cast<const char*>(at) - text.data());
        } else if (m_run->outsideCount > 1) {
            end = start;
            while (end < text.size() && inClass(end)) ++end;
        }
        if (m_run->oneOrMore && end == start) return false;
        for (std::size_t slot = 0; slot < count; ++slot) {
            const bool known = slot <= m_run->groups;
            slots[slot].rm_so = known ? static_cast<regoff_t>(start) : -1;
            slots[slot].rm_eo = known ? static_cast<regoff_t>(end) : -1;
        }
        return true;
    }
    if (m_fast) {
        const PcreMatcher::Outcome outcome = m_fast->match(text, slots, count);
        if (outcome != PcreMatcher::Outcome::Failed) return outcome == PcreMatcher::Outcome::Match;
        // Out of stack or memory: glibc gives the same answer, slower.
    }
    // The text is copied behind a zero byte: regexec's callers (and sanitizers watching it)
    // may look for the end of the string even when told its length. REG_STARTEND then bounds
    // the subject, so a zero byte inside a line is matched as the byte it is. The copy costs
    // little beside the match itself.
    thread_local std::string subject;
    subject.assign(text);
    slots[0].rm_so = 0;
    slots[0].rm_eo = static_cast<regoff_t>(text.size());
    return regexec(m_compiled.get(), subject.c_str(), count, slots, REG_STARTEND) == 0;
}

int RegExp::split(std::string_view line, std::vector<std::string>& values) const {
    if (!m_compiled) {
        values.clear();
        return 1;
    }
    const std::size_t groups = std::min(groupCount(), kMaxGroups);
    std::array<regmatch_t, kSlots> slots;
    if (!match(line, slots.data(), groups + 1)) {
        values.clear();
        return 1;
    }
    // Fills the existing strings first so a reused list keeps its capacity.
    std::size_t count = 0;
    for (std::size_t group = 1; group <= groups; ++group) {
        const regmatch_t& slot = slots[group];
        if (slot.rm_so < 0 || slot.rm_eo < 0) continue;
        const auto piece = line.substr(static_cast<std::size_t>(slot.rm_so),
                                       static_cast<std::size_t>(slot.rm_eo - slot.rm_so));
        if (count < values.size()) {
            values[count].assign(piece);
        } else {
            values.emplace_back(piece);
        }
        ++count;
    }
    values.resize(count);
    return 0;
}

int RegExp::splitPieces(std::string_view line, std::vector<Piece>& pieces) const {
    pieces.clear();
    if (!m_compiled) return 1;
    const std::size_t groups = std::min(groupCount(), kMaxGroups);
    std::array<regmatch_t, kSlots> slots;
    if (!match(line, slots.data(), groups + 1)) return 1;
    for (std::size_t group = 1; group <= groups; ++group) {
        const regmatch_t& slot = slots[group];
        if (slot.rm_so < 0 || slot.rm_eo < 0) continue;
        pieces.push_back({static_cast<std::uint32_t>(slot.rm_so),
                          static_cast<std::uint32_t>(slot.rm_eo - slot.rm_so)});
    }
    return 0;
}

int RegExp::extract(std::string_view text, std::string& out) const {
    const std::optional<std::string_view> found = extractView(text);
    if (!found) return 1;
    out.assign(*found);
    return 0;
}

std::optional<std::string_view> RegExp::extractView(std::string_view text) const {
    if (!m_compiled) return std::nullopt;
    // The last group may lie beyond the 50 slots that split uses: give it a slot of its own.
    // The compiled engine needs no slot past it; glibc gets the slots it always had.
    const std::size_t last = groupCount();
    const std::size_t count = m_fast ? last + 1 : std::max(kSlots, last + 1);
    std::array<regmatch_t, kSlots> onStack;
    std::vector<regmatch_t> onHeap;
    regmatch_t* slots = onStack.data();
    if (count > kSlots) {
        onHeap.resize(count);
        slots = onHeap.data();
    }
    if (!match(text, slots, count)) return std::nullopt;
    const regmatch_t& slot = slots[last];
    if (slot.rm_so < 0 || slot.rm_eo < 0) return std::nullopt;
    return text.substr(static_cast<std::size_t>(slot.rm_so),
                       static_cast<std::size_t>(slot.rm_eo - slot.rm_so));
}

std::string testRegexp(std::string_view pattern, std::string_view sample) {
    RegExp expression;
    if (expression.compile(pattern) != 0) return "Regular Expression Syntax Error";
    std::string result;
    if (expression.extract(sample, result) != 0) return "not found";
    return result;
}

}  // namespace tg
