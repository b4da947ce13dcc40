#include "platform/code_page.h"

#include <cerrno>
#include <functional>

namespace tg {
namespace {

constexpr const char* kCodePage = "WINDOWS-1252";

bool isUnassigned(unsigned char byte) {
    return byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
}

bool isAscii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

// Runs `cd` over `text`. Where iconv finds a sequence it cannot convert, `unassigned` may take
// it: it appends what the sequence stands for and answers how many input bytes it used (0:
// the text cannot be converted).
using Unassigned = std::function<std::size_t(std::string_view rest, std::string& out)>;

std::optional<std::string> convert(iconv_t cd, std::string_view text,
                                   const Unassigned& unassigned) {
    std::string out;
    out.reserve(text.size() * 2);
    char buffer[1024];
    char* in = const_cast<char*>(text.data());  // iconv's signature; it does not write there
    std::size_t inLeft = text.size();
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr);  // initial state
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t rc = ::iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        const int error = errno;
        out.append(buffer, outPtr);
        if (rc != static_cast<std::size_t>(-1)) break;
        if (error == E2BIG) continue;
        if (error != EILSEQ) return std::nullopt;  // EINVAL: a sequence cut off at the end
        const std::size_t used = unassigned(std::string_view(in, inLeft), out);
        if (used == 0) return std::nullopt;
        in += used;
        inLeft -= used;
    }
    return out;
}

}  // namespace

CodePage::CodePage() {
    const iconv_t toUtf8 = ::iconv_open("UTF-8", kCodePage);
    if (toUtf8 != reinterpret_cast<iconv_t>(-1)) m_toUtf8.reset(toUtf8);
    const iconv_t fromUtf8 = ::iconv_open(kCodePage, "UTF-8");
    if (fromUtf8 != reinterpret_cast<iconv_t>(-1)) m_fromUtf8.reset(fromUtf8);
}

std::optional<std::string> CodePage::toUtf8(std::string_view text) const {
    if (text.find('\0') != std::string_view::npos) return std::nullopt;
    if (isAscii(text)) return std::string(text);
    if (!m_toUtf8) return std::nullopt;
    return convert(m_toUtf8.get(), text, [](std::string_view rest, std::string& out) {
        const auto byte = static_cast<unsigned char>(rest.front());
        if (!isUnassigned(byte)) return std::size_t{0};
        out += static_cast<char>(0xC2);  // U+0080 to U+00BF in UTF-8
        out += static_cast<char>(byte);
        return std::size_t{1};
    });
}

std::optional<std::string> CodePage::fromUtf8(std::string_view text) const {
    if (text.find('\0') != std::string_view::npos) return std::nullopt;
    if (isAscii(text)) return std::string(text);
    if (!m_fromUtf8) return std::nullopt;
    return convert(m_fromUtf8.get(), text, [](std::string_view rest, std::string& out) {
        if (rest.size() < 2 || static_cast<unsigned char>(rest[0]) != 0xC2 ||
            !isUnassigned(static_cast<unsigned char>(rest[1]))) {
            return std::size_t{0};
        }
        out += rest[1];
        return std::size_t{2};
    });
}

}  // namespace tg
