#include "metrics/utf8_text.h"

#include "platform/code_page.h"

namespace tg {

void appendUtf8(std::string& out, std::string_view text) {
    std::size_t plain = 0;  // ASCII and valid UTF-8 are copied in runs
    std::size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            ++i;
            continue;
        }
        if (const std::size_t length = utf8SequenceLength(text, i); length > 0) {
            i += length;
            continue;
        }
        out.append(text.substr(plain, i - plain));
        appendUtf8Character(out, ansiToUnicode(byte));
        plain = ++i;
    }
    out.append(text.substr(plain));
}

std::string toUtf8(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    appendUtf8(out, text);
    return out;
}

}  // namespace tg
