#pragma once
// A bound on what compiling an expression may cost. glibc's regcomp copies a repeated part
// once per repetition and doubles it for every quantifier stacked on another ("a+++...",
// "(x{1000}){1000}"), so a short pattern typed into a web form could take gigabytes and end
// the process. Expressions whose estimated size passes the bound are refused before regcomp.

#include <cstddef>
#include <string_view>

namespace tg {

// The most automaton nodes an expression may expand to (a few hundred bytes each in glibc).
inline constexpr std::size_t kMaxRegexNodes = 200000;

// An upper estimate of the nodes an extended expression expands to: atoms count one,
// bracket expressions one, a group what it holds, "{m,n}" multiplies what it repeats by the
// larger bound, and "*", "+" and "?" double it. Saturates instead of overflowing.
std::size_t estimatedRegexNodes(std::string_view pattern);

}  // namespace tg
