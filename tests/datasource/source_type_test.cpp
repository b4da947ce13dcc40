#include "datasource/source_type.h"

#include <gtest/gtest.h>

namespace tg {
namespace {

TEST(SourceType, TextFormsRoundTripAndAnythingElseIsNone) {
    for (std::uint32_t code = 1; code <= 5; ++code) {
        const SourceType type = sourceTypeFromCode(code);
        EXPECT_EQ(sourceTypeFromName(sourceTypeName(type)), type);
    }
    EXPECT_EQ(sourceTypeName(SourceType::TcpIp), "TCP/IP");
    EXPECT_EQ(sourceTypeFromName("file"), SourceType::None);  // compared with case
    EXPECT_EQ(sourceTypeFromName("FILE "), SourceType::None);
    EXPECT_EQ(sourceTypeName(SourceType::None), "");
    EXPECT_EQ(sourceTypeName(sourceTypeFromCode(6)), "");
}

}  // namespace
}  // namespace tg
