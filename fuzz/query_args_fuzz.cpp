// ParseQueryArgs and DecodeArgValue on arbitrary bytes: no crash, no read past the input, no
// NUL byte in a stored name or value, and escapeForScript reads back through DecodeArgValue.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "web/query_args.h"
#include "web/script_escape.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    tg::RequestVariables variables;
    tg::ParseQueryArgs(input, variables);
    for (const auto& [name, value] : variables) {
        check(name.find('\0') == std::string::npos);
        check(value.find('\0') == std::string::npos);
        check(name.size() + value.size() < size);
    }

    std::string decoded;
    (void)tg::DecodeArgValue(input, decoded);
    check(decoded.size() <= size);
    check(decoded.find('\0') == std::string::npos);

    // Escaping then decoding gives the text back, up to its first NUL byte.
    const std::string_view text = input.substr(0, input.find('\0'));
    const std::string escaped = tg::escapeForScript(text);
    check(escaped.size() <= 6 * text.size());
    std::string back;
    check(tg::DecodeArgValue(escaped, back));
    check(back == text);
    return 0;
}
