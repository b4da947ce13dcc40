// decodeBase64 and getBasicCredentials on arbitrary bytes: no crash, no read past the input,
// and decoding undoes the standard encoder.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "http/basic_auth.h"
#include "support/base64_encode.h"

namespace {

bool isAlphabet(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '/';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    // Output length follows from the number of alphabet characters alone.
    std::size_t alphabet = 0;
    for (char c : input) alphabet += isAlphabet(c) ? 1 : 0;
    const std::size_t rest = alphabet % 4;
    const std::string decoded = tg::decodeBase64(input);
    check(decoded.size() == alphabet / 4 * 3 + (rest == 0 || rest == 1 ? 0 : rest - 1));

    // The input as bytes survives the standard encoder and the decoder.
    check(tg::decodeBase64(tg::test::encodeBase64(input)) == input);

    // Credentials taken from the raw input are a consistent split of its decoded text.
    if (const std::optional<tg::BasicCredentials> found = tg::getBasicCredentials(input)) {
        check(found->userName.find(':') == std::string::npos);
        check(found->userName.find('\0') == std::string::npos);
        check(found->password.find('\0') == std::string::npos);
    }

    // Credentials encoded as a client sends them come back as the input's text up to its
    // first zero byte, split at the first ':'.
    const std::string_view text = input.substr(0, input.find('\0'));
    const std::optional<tg::BasicCredentials> sent =
        tg::getBasicCredentials("Basic " + tg::test::encodeBase64(input));
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        check(!sent);
    } else {
        check(sent && sent->userName == text.substr(0, colon) &&
              sent->password == text.substr(colon + 1));
    }
    return 0;
}
