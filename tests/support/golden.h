#pragma once
// Golden files: what a writer must produce, byte for byte, kept in the repository under
// tests/. With TG_UPDATE_GOLDEN=1 in the environment the test writes the file instead
// (scripts/update_golden.sh); review the difference before committing it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace tg::test {

inline void expectGolden(const std::string& relativePath, const std::string& actual) {
    const std::string path = std::string(TG_SOURCE_DIR) + "/tests/" + relativePath;
    if (const char* update = std::getenv("TG_UPDATE_GOLDEN"); update && std::string(update) == "1") {
        std::ofstream(path, std::ios::binary) << actual;
        return;
    }
    std::ifstream file(path, std::ios::binary);
    ASSERT_TRUE(file) << "missing golden file " << path;
    const std::string expected((std::istreambuf_iterator<char>(file)),
                               std::istreambuf_iterator<char>());
    EXPECT_EQ(actual, expected) << "differs from " << path;
}

}  // namespace tg::test
