#pragma once
// Standard base64 with padding, from the crypto library: an encoder independent of the
// server's decoder, for tests and fuzz targets (header only, so a fuzz target needs no test
// library).

#include <openssl/evp.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace tg::test {

inline std::string encodeBase64(std::string_view bytes) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                       reinterpret_cast<const unsigned char*>(bytes.data()),
                                       static_cast<int>(bytes.size()));
    out.resize(static_cast<std::size_t>(length));
    return out;
}

}  // namespace tg::test
