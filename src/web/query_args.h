#pragma once
// Request parameters: the parameter text of a template request ("a=1&b=x%20y") split into
// request variables, and the decoding of one parameter value. Pure functions over the text
// they are given; any thread.

#include <string>
#include <string_view>

#include "web/template_engine.h"

namespace tg {

// Sets variables[name] = decoded value for every "name=value" piece of `text`. A name runs to
// the first "=" and is taken raw (not decoded), so "a&b=1" names "a&b"; a value runs to the
// next "&" and is decoded with DecodeArgValue (a value cut short by a bad escape is kept as
// far as it was decoded). A later parameter replaces an earlier one of the same name; an
// empty name is a name like any other; a trailing piece without "=" is ignored. The text ends
// at its first NUL byte, as a request line did where these parameters come from.
void ParseQueryArgs(std::string_view text, RequestVariables& variables);

// Decodes one parameter value into `decoded` (replacing what it held): "+" is a blank, "%XY"
// the byte of two hexadecimal digits (a byte that is not a digit counts as 0, so "%G1" is
// 0x01), "%uXXXX" the code page byte of a UTF-16 code unit. A "%", or a "%" with one digit, at
// the very end appends nothing. False, with `decoded` holding what came before, when a "%u"
// has fewer than four bytes after it or its character has no code page byte. The value ends
// at its first NUL byte (from "%00", "%u0000" or the text itself), so a value never carries a
// NUL into a C interface.
[[nodiscard]] bool DecodeArgValue(std::string_view encoded, std::string& decoded);

}  // namespace tg
