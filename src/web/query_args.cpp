#include "web/query_args.h"

#include <optional>

#include "web/script_escape.h"

namespace tg {

namespace {

// The value of a hexadecimal digit; every other byte counts as 0.
unsigned hexValue(char c) {
    if (c >= '0' && c <= '9') return static_cast<unsigned>(c - '0');
    if (c >= 'A' && c <= 'F') return static_cast<unsigned>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f') return static_cast<unsigned>(c - 'a' + 10);
    return 0;
}

// Decodes every byte of `encoded`, NUL bytes included; false where a wide escape fails.
bool decodeAll(std::string_view encoded, std::string& decoded) {
    enum class State { Plain, Escape, SecondDigit };
    State state = State::Plain;
    unsigned high = 0;
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        const char c = encoded[i];
        switch (state) {
            case State::Plain:
                if (c == '%') {
                    state = State::Escape;
                } else {
                    decoded += c == '+' ? ' ' : c;
                }
                break;
            case State::Escape:
                if (c == 'u') {
                    if (encoded.size() - i - 1 < 4) return false;
                    unsigned unit = 0;
                    for (std::size_t k = 1; k <= 4; ++k)
                        unit = unit * 16 + hexValue(encoded[i + k]);
                    const std::optional<unsigned char> byte =
                        unicodeToAnsi(static_cast<char16_t>(unit));
                    if (!byte) return false;
                    decoded += static_cast<char>(*byte);
                    i += 4;
                    state = State::Plain;
                } else {
                    high = hexValue(c) * 16;
                    state = State::SecondDigit;
                }
                break;
            case State::SecondDigit:
                decoded += static_cast<char>(high + hexValue(c));
                state = State::Plain;
                break;
        }
    }
    return true;
}

}  // namespace

bool DecodeArgValue(std::string_view encoded, std::string& decoded) {
    decoded.clear();
    const bool consumed = decodeAll(encoded, decoded);
    const std::size_t nul = decoded.find('\0');
    if (nul != std::string::npos) decoded.resize(nul);
    return consumed;
}

void ParseQueryArgs(std::string_view text, RequestVariables& variables) {
    text = text.substr(0, text.find('\0'));
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t equals = text.find('=', pos);
        if (equals == std::string_view::npos) return;
        const std::size_t amp = text.find('&', equals + 1);
        const std::size_t valueEnd = amp == std::string_view::npos ? text.size() : amp;
        std::string value;
        (void)DecodeArgValue(text.substr(equals + 1, valueEnd - equals - 1), value);
        variables.insert_or_assign(std::string(text.substr(pos, equals - pos)), std::move(value));
        if (amp == std::string_view::npos) return;
        pos = amp + 1;
    }
}

}  // namespace tg
