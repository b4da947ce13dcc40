#pragma once
// The program's texts are bytes in the Windows-1252 code page; files meant for other programs
// (the XML definitions) hold UTF-8. These convert between the two through iconv and never
// substitute: a text that the other side cannot hold is reported, not approximated.
//
// The five bytes Windows-1252 leaves unassigned (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the
// control characters of the same number, as Windows converts them, so every byte but NUL has
// a character and every text of the program converts to UTF-8 and back unchanged.
//
// One object per thread; each owns its iconv descriptors.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include <iconv.h>

namespace tg {

class CodePage {
public:
    // Opens the two conversions; when the system lacks them, ready() is false and every
    // conversion of a text with bytes above 0x7F fails (ASCII needs no conversion).
    CodePage();
    bool ready() const { return m_toUtf8 && m_fromUtf8; }

    // The UTF-8 form of a Windows-1252 text; none when it holds a NUL byte or cannot be
    // converted.
    std::optional<std::string> toUtf8(std::string_view text) const;
    // The Windows-1252 form of a UTF-8 text; none when it is not valid UTF-8, holds a NUL, or
    // holds a character Windows-1252 has no byte for.
    std::optional<std::string> fromUtf8(std::string_view text) const;

private:
    struct IconvClose {
        void operator()(iconv_t cd) const { ::iconv_close(cd); }
    };
    // iconv_t is a pointer type in glibc; the owner holds what it points to.
    using Iconv = std::unique_ptr<std::remove_pointer_t<iconv_t>, IconvClose>;

    Iconv m_toUtf8;
    Iconv m_fromUtf8;
};

}  // namespace tg
