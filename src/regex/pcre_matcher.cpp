#include "regex/pcre_matcher.h"

#include <algorithm>
#include <cstdint>

namespace tg {
namespace {

struct MatchDataFree {
    void operator()(pcre2_match_data* data) const { pcre2_match_data_free(data); }
};
struct JitStackFree {
    void operator()(pcre2_jit_stack* stack) const { pcre2_jit_stack_free(stack); }
};
struct MatchContextFree {
    void operator()(pcre2_match_context* context) const { pcre2_match_context_free(context); }
};

// The JIT stack of each thread: plenty for the deterministic expressions that come here; a
// match that needs more is handed back to glibc.
constexpr std::size_t kJitStackStart = 32 * 1024;
constexpr std::size_t kJitStackMax = 1024 * 1024;
// Match data always holds this many pairs (whole match and the 49 groups a record takes).
constexpr std::size_t kMinPairs = 50;

// What one thread matches with. Created on its first match; freed when the thread ends.
class ThreadMatchState {
public:
    // Match data with at least `pairs` pairs; nullptr when out of memory.
    pcre2_match_data* data(std::size_t pairs) {
        if (!m_data || m_pairs < pairs) {
            const std::size_t wanted = std::max(pairs, kMinPairs);
            m_data.reset(pcre2_match_data_create(static_cast<std::uint32_t>(wanted), nullptr));
            m_pairs = m_data ? wanted : 0;
        }
        return m_data.get();
    }

    pcre2_match_context* context() {
        if (!m_context) {
            std::unique_ptr<pcre2_jit_stack, JitStackFree> stack(
                pcre2_jit_stack_create(kJitStackStart, kJitStackMax, nullptr));
            std::unique_ptr<pcre2_match_context, MatchContextFree> context(
                pcre2_match_context_create(nullptr));
            if (!stack || !context) return nullptr;
            pcre2_jit_stack_assign(context.get(), nullptr, stack.get());
            m_stack = std::move(stack);
            m_context = std::move(context);
        }
        return m_context.get();
    }

private:
    std::unique_ptr<pcre2_match_data, MatchDataFree> m_data;
    std::size_t m_pairs = 0;
    // Declared before the context that points at it, so it is freed after it.
    std::unique_ptr<pcre2_jit_stack, JitStackFree> m_stack;
    std::unique_ptr<pcre2_match_context, MatchContextFree> m_context;
};

}  // namespace

std::unique_ptr<PcreMatcher> PcreMatcher::create(const std::string& pcrePattern, std::size_t groups,
                                                 std::string& refusal) {
    int error = 0;
    PCRE2_SIZE errorOffset = 0;
    // The translation spells every byte out: no option may change what a character means.
    const std::uint32_t options = PCRE2_NEVER_UTF | PCRE2_NEVER_UCP | PCRE2_DOTALL |
                                  PCRE2_DOLLAR_ENDONLY | PCRE2_NEVER_BACKSLASH_C;
    Pcre2Code code(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pcrePattern.data()),
                                 pcrePattern.size(), options, &error, &errorOffset, nullptr));
    if (!code) {
        refusal = "PCRE2 refused the translation (error " + std::to_string(error) + " at offset " +
                  std::to_string(errorOffset) + ")";
        return nullptr;
    }
    std::uint32_t captures = 0;
    if (pcre2_pattern_info(code.get(), PCRE2_INFO_CAPTURECOUNT, &captures) != 0 ||
        captures != groups) {
        refusal = "the translation has another number of groups";
        return nullptr;
    }
    if (pcre2_jit_compile(code.get(), PCRE2_JIT_COMPLETE) != 0) {
        refusal = "the PCRE2 JIT is not available";
        return nullptr;
    }
    return std::unique_ptr<PcreMatcher>(new PcreMatcher(std::move(code), groups));
}

PcreMatcher::Outcome PcreMatcher::match(std::string_view text, regmatch_t* slots,
                                        std::size_t count) const {
    thread_local ThreadMatchState state;
    pcre2_match_data* data = state.data(count);
    pcre2_match_context* context = state.context();
    if (!data || !context) return Outcome::Failed;
    static const char kEmpty[] = "";
    const char* subject = text.data() ? text.data() : kEmpty;
    const int rc = pcre2_jit_match(m_code.get(), reinterpret_cast<PCRE2_SPTR>(subject), text.size(),
                                   0, 0, data, context);
    if (rc == PCRE2_ERROR_NOMATCH) return Outcome::NoMatch;
    if (rc <= 0) return Outcome::Failed;  // a stack limit, or match data too small
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data);
    const std::size_t pairs = pcre2_get_ovector_count(data);
    for (std::size_t i = 0; i < count; ++i) {
        const bool known = i <= m_groups && i < pairs && ovector[2 * i] != PCRE2_UNSET;
        slots[i].rm_so = known ? static_cast<regoff_t>(ovector[2 * i]) : -1;
        slots[i].rm_eo = known ? static_cast<regoff_t>(ovector[2 * i + 1]) : -1;
    }
    return Outcome::Match;
}

}  // namespace tg
