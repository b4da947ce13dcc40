#include "http/basic_auth.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "support/base64_encode.h"

namespace tg {
namespace {

using namespace std::string_literals;

TEST(Base64, DecodesPaddedUnpaddedAndDirtyText) {
    struct Row {
        std::string text;
        std::string bytes;
    };
    const std::vector<Row> rows = {
        {"", ""},
        {"====", ""},
        {"TWFu", "Man"},
        {"TWE=", "Ma"},
        {"TWE", "Ma"},
        {"TQ==", "M"},
        {"TQ", "M"},
        {"T", ""},  // a single last character carries no whole byte
        {"TWFuT", "Man"},
        {"TW\r\nFu", "Man"},
        {" T W\tF u ", "Man"},
        {"\xffTW*Fu!", "Man"},  // bytes outside the alphabet, high ones included
        {"+/+/", "\xfb\xff\xbf"},
        {"AAAA", "\0\0\0"s},
        // "=" is skipped wherever it stands, so it does not end a group.
        {"TQ==TQ==", "M\x04\xd0"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(decodeBase64(row.text), row.bytes);
    }
}

TEST(Base64, RoundTripsThroughStandardEncoderWithoutPaddingOrWithLineBreaks) {
    std::mt19937 random(7);
    for (std::size_t size = 0; size <= 64; ++size) {
        std::string bytes(size, '\0');
        for (char& c : bytes) c = static_cast<char>(random() & 0xff);
        const std::string clean = test::encodeBase64(bytes);
        SCOPED_TRACE(clean);
        EXPECT_EQ(decodeBase64(clean), bytes);

        std::string unpadded = clean;
        while (!unpadded.empty() && unpadded.back() == '=') unpadded.pop_back();
        EXPECT_EQ(decodeBase64(unpadded), bytes);

        std::string broken;
        for (std::size_t i = 0; i < clean.size(); ++i) {
            if (i > 0 && i % 5 == 0) broken += (i % 2 != 0) ? "\r\n" : " ";
            broken += clean[i];
        }
        EXPECT_EQ(decodeBase64(broken), bytes);
    }
}

TEST(BasicCredentials, SplitsAtFirstColonAndRejectsMalformedValues) {
    using Result = std::optional<BasicCredentials>;
    struct Row {
        std::string value;
        Result expected;
    };
    const std::vector<Row> rows = {
        {"Basic " + test::encodeBase64("user:pass"), BasicCredentials{"user", "pass"}},
        {"Basic " + test::encodeBase64("user:pa:ss"), BasicCredentials{"user", "pa:ss"}},
        {"Basic " + test::encodeBase64("user:"), BasicCredentials{"user", ""}},
        {"Basic " + test::encodeBase64(":"), BasicCredentials{"", ""}},
        {"Basic " + test::encodeBase64("user"), std::nullopt},  // no ':' after decoding
        {"Basic", std::nullopt},                    // no blank
        {test::encodeBase64("user:pass"), std::nullopt},        // no scheme, so no blank
        {"", std::nullopt},
        {"Basic ", std::nullopt},
        // The scheme word is not checked, whatever it says or however it is written.
        {"bAsIc " + test::encodeBase64("user:pass"), BasicCredentials{"user", "pass"}},
        {"Bearer " + test::encodeBase64("user:pass"), BasicCredentials{"user", "pass"}},
        {"Basic   " + test::encodeBase64("user:pass") + "\r", BasicCredentials{"user", "pass"}},
        {"Basic dXNlcjpwYXNz", BasicCredentials{"user", "pass"}},  // unpadded as sent
        // The decoded text ends at its first zero byte.
        {"Basic " + test::encodeBase64("user:pw\0rest"s), BasicCredentials{"user", "pw"}},
        {"Basic " + test::encodeBase64("us\0er:pw"s), std::nullopt},
        {"Basic " + test::encodeBase64("\xc3\xa4:\xff"), BasicCredentials{"\xc3\xa4", "\xff"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.value);
        EXPECT_EQ(getBasicCredentials(row.value), row.expected);
    }
}

TEST(BasicCredentials, FindsAuthorizationHeaderInAnyCase) {
    const std::string value = "Basic " + test::encodeBase64("ann:pw");
    const BasicCredentials ann{"ann", "pw"};

    const std::map<std::string, std::string> lowered = {{"host", "x"}, {"authorization", value}};
    EXPECT_EQ(getBasicCredentialsFromHeaders(lowered), ann);

    const std::vector<std::pair<std::string_view, std::string_view>> asSent = {
        {"AUTHORIZATION", value}};
    EXPECT_EQ(getBasicCredentialsFromHeaders(asSent), ann);

    const std::map<std::string, std::string> others = {
        {"authorizations", value}, {"proxy-authorization", value}, {"authorizatio", value}};
    EXPECT_EQ(getBasicCredentialsFromHeaders(others), std::nullopt);
}

}  // namespace
}  // namespace tg
