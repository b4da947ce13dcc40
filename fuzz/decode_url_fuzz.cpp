// decodeUrl and the lexical root check on arbitrary bytes: no crash, no NUL in a decoded path,
// and a path accepted as inside the root really is below it once normalised.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "http/url_mapping.h"

namespace {

constexpr std::string_view kRoot = "/srv/htdocs";

// An accepted path is the root or below it, '/'-separated, with no empty, "." or ".."
// segment left and no backslash.
void checkAccepted(const std::string& path) {
    check(path.substr(0, kRoot.size()) == kRoot);
    check(path.size() == kRoot.size() || path[kRoot.size()] == '/');
    check(path.find('\\') == std::string::npos);
    const std::string below = path.substr(kRoot.size()) + "/";
    check(below.find("//") == std::string::npos || below == "/");
    check(below.find("/./") == std::string::npos);
    check(below.find("/../") == std::string::npos);
}

void checkRoot(std::string path) {
    const std::string original = path;
    if (!tg::isInsideRoot(kRoot, path)) return;
    checkAccepted(path);
    // Normalising is idempotent: the full form maps onto itself.
    std::string again = path.substr(kRoot.size());
    check(tg::isInsideRoot(kRoot, again) && again == path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    const std::optional<std::string> decoded = tg::decodeUrl(input);
    if (decoded) {
        check(decoded->find('\0') == std::string::npos);
        check(decoded->size() <= input.size());
        checkRoot(*decoded);
        // Percent-encoding every byte gives the same path back.
        std::string encoded;
        for (unsigned char c : *decoded) {
            static constexpr char kHex[] = "0123456789abcdef";
            encoded += '%';
            encoded += kHex[c >> 4];
            encoded += kHex[c & 0xF];
        }
        check(tg::decodeUrl(encoded) == decoded);
    } else {
        // Refused only for a broken escape or a NUL.
        check(input.find('%') != std::string_view::npos || input.find('\0') != input.npos);
    }
    checkRoot(std::string(input));
    return 0;
}
