#pragma once
// A bound on what compiling an expression may cost. glibc's regcomp copies a repeated part
// once per repetition and doubles it for every quantifier stacked on another ("a+++...",
// "(x{1000}){1000}"), and its closure computation grows with the square of the copies and
// recurses once per copy ("(u*){1,30000}" overflows the stack). A short pattern typed into a
// web form could otherwise stall the server for minutes or end the process. Expressions past
// any of the bounds below are refused before regcomp.
//
// Every parser of an expression, glibc's and ours (ere_syntax.h), recurses once per open
// group, so the nesting and the length are bounded first, by a scan without recursion: a
// pattern of ten thousand nested groups would otherwise overflow the stack wherever it is
// compiled, and a stored one at every start.

#include <cstddef>
#include <string_view>

namespace tg {

// The longest pattern, in bytes after escapes are replaced. A line's expression is a few
// hundred bytes; a filter listing a couple of hundred names still fits. glibc takes time and
// memory growing with the square of a run of optional groups ("(a?)(a?)..."): 4 KiB of them
// compile in a fifth of a second.
inline constexpr std::size_t kMaxPatternLength = 4096;
// The deepest nesting of groups, counting those never closed; parentheses escaped or inside a
// bracket expression are text. Log expressions rarely nest more than a handful deep.
inline constexpr std::size_t kMaxGroupDepth = 100;
// The longest run of consecutive parts that may all match the empty text, weighed as
// regex_size.cpp explains: glibc's time and memory grow with its square. A thousand ("(a?)"
// five hundred times) compile in about 30 ms and 20 MB; log expressions separate
// their optional fields with text.
inline constexpr std::size_t kMaxEmptyRun = 1000;
// The most automaton nodes an expression may expand to.
inline constexpr std::size_t kMaxRegexNodes = 10000;
// The largest repetition count of an interval: POSIX's smallest allowed RE_DUP_MAX.
inline constexpr std::size_t kMaxRepeatBound = 255;
// The largest product of the counts of quantifiers nested in one another ("((a*)+){3}" has
// 2 * 2 * 3); "*", "+" and "?" count 2.
inline constexpr std::size_t kMaxNestedRepeats = 512;
// The deepest nesting of repetitions whose repeated part may match the empty text: "(a|)*"
// has one, "((a|)*|b)*" two, which glibc takes exponential time to compile or match.
inline constexpr unsigned kMaxEmptyLoopDepth = 1;

// An upper estimate of the nodes an extended expression expands to: atoms count one,
// bracket expressions one, a group what it holds, "{m,n}" multiplies what it repeats by the
// larger bound, and "*", "+" and "?" double it. Saturates instead of overflowing.
std::size_t estimatedRegexNodes(std::string_view pattern);

// Whether the expression passes every bound above.
bool regexCostAcceptable(std::string_view pattern);

}  // namespace tg
