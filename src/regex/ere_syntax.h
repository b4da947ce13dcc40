#pragma once
// A POSIX extended regular expression read into a small syntax tree, for deciding whether the
// expression can be matched by the compiled engine (ere_determinism.h) and translating it
// (pcre_translation.h). Only a subset is read: whatever the parser does not understand with
// certainty is refused with a reason, and the expression then stays with glibc.
//
// What each atom (a character, ".", a bracket expression, an escaped character) matches is
// asked of glibc itself, with the same flags the expressions are compiled with, so case
// folding, character classes and bracket quirks mean exactly what glibc makes of them.
// Pure functions; any thread.

#include <bitset>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tg {

// The bytes an atom matches.
using ByteSet = std::bitset<256>;

struct EreNode {
    enum class Kind {
        Atom,         // one byte out of `bytes`
        Concat,       // `children` in sequence (none: the empty expression)
        Alternation,  // one of `children` (at least two)
        Group,        // capturing group number `group` around children[0]
        Repeat,       // children[0] repeated min..max times (max kUnbounded: no limit)
        Begin,        // "^"
        End,          // "$"
    };
    static constexpr int kUnbounded = -1;

    Kind kind = Kind::Concat;
    ByteSet bytes;
    std::vector<EreNode> children;
    int min = 0;
    int max = 0;
    std::size_t group = 0;
    std::size_t offset = 0;  // where the node starts in the pattern, for explanations
};

struct EreParse {
    bool supported = false;
    EreNode root;
    std::size_t groups = 0;
    std::string refusal;  // why not supported, naming the offset
};

// Reads `pattern` (escapes already replaced, as given to regcomp; glibc stops at a zero byte
// and so does this) as REG_EXTENDED | REG_ICASE would, in the current locale. Refuses
// multibyte locales, back-references, GNU escapes (\w \< ...), equivalence classes and
// collating symbols, stacked quantifiers, "{,n}", empty intervals ("{0}"), groups nested
// deeper than kMaxGroupDepth (regex_size.h), and any construct whose reading is not certain
// ("*" with nothing before it, an unmatched ")").
EreParse parseEre(std::string_view pattern);

}  // namespace tg
