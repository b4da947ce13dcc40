#pragma once
// Writes an expression read by parseEre in PCRE2 syntax with the same meaning, byte for byte:
// every atom becomes an explicit byte or byte class in hexadecimal (its case folding already
// in the bytes), so no PCRE2 escape, class name or option changes what a POSIX character
// meant; "^" and "$" become \A and \z; groups keep their numbers, other parentheses do not
// capture. Pure; any thread.

#include <string>

#include "regex/ere_syntax.h"

namespace tg {

std::string toPcre2(const EreNode& root);

}  // namespace tg
