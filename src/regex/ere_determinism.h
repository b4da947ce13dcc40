#pragma once
// Whether an expression read by parseEre can be matched by a backtracking engine that takes
// the first way it finds (PCRE2) with exactly the match and groups of POSIX leftmost-longest
// matching (glibc).
//
// The expression must be deterministic: in its Glushkov automaton (one state per atom, with
// "{m,n}" expanded into its copies) the atoms that may come next after any atom, or first,
// match pairwise disjoint bytes. The next byte then decides the path, so there is one way
// through a text from a given start, and a greedy engine reaches the longest match on it.
// Further shapes are refused because the way between two atoms (and so where a group starts
// or ends) would not be unique, or the preferences differ:
// - a repeated part that can match the empty text ("(a*)*", "(a|)+");
// - an alternative that can match the empty text before the last alternative ("(|a)");
// - a group inside a repeated part, below an alternation or an optional part ("((a)|b)+"):
//   POSIX clears it when the last repetition skips it, a backtracking engine keeps the old;
// - "^" anywhere but first and "$" anywhere but last in the whole expression.
// Pure; any thread.

#include <string>

#include "regex/ere_syntax.h"

namespace tg {

// Empty when the compiled engine gives glibc's results for the expression; otherwise the
// first reason it does not (an ambiguous point or a refused shape, naming offsets).
std::string determinismRefusal(const EreNode& root);

}  // namespace tg
