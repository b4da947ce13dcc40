#include "config/config_key.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace tg {
namespace {

class ConfigKeyTest : public ::testing::Test {
protected:
    test::TempDir m_dir;
    ConfigStore m_store{m_dir.file("store.db")};

    void SetUp() override { ASSERT_TRUE(m_store.isOpen()) << m_store.error(); }
    ConfigKey openKey(std::string_view path) {
        ConfigKey key(m_store);
        EXPECT_TRUE(key.open(path));
        return key;
    }
};

TEST_F(ConfigKeyTest, ReadsWriteTheirDefaultBackAndThenReturnTheStoredValue) {
    ConfigKey key = openKey("\\http");
    EXPECT_EQ(key.getString("LogPath", "web.log"), "web.log");
    EXPECT_EQ(key.getDword("Port", 80), 80u);
    std::string text;
    EXPECT_EQ(key.queryString("LogPath", text), 0);
    EXPECT_EQ(text, "web.log");
    EXPECT_EQ(key.queryValue("Port")->data, encodeDword(80));

    key.setString("LogPath", "other.log");
    key.setDword("Port", 8080);
    EXPECT_EQ(key.getString("LogPath", "web.log"), "other.log");
    EXPECT_EQ(key.getDword("Port", 80), 8080u);

    // Without a default nothing is written.
    EXPECT_EQ(key.getString("Missing"), "");
    EXPECT_FALSE(key.queryValue("Missing").has_value());
    EXPECT_EQ(key.valueNames(), (std::vector<std::string>{"LogPath", "Port"}));
}

TEST_F(ConfigKeyTest, KeyAndValueNamesIgnoreCaseAndKeepTheirFirstSpelling) {
    ConfigKey web = openKey("\\Sources\\Web");
    web.setDword("Type", 1);

    ConfigKey again(m_store);
    ASSERT_TRUE(again.openExisting("\\sources\\WEB"));
    EXPECT_EQ(again.getDword("TYPE", 7), 1u);
    again.setDword("tYpE", 2);
    EXPECT_EQ(web.getDword("type", 7), 2u);
    EXPECT_EQ(web.valueNames(), std::vector<std::string>{"Type"});

    ConfigKey sources = openKey("\\SOURCES");
    EXPECT_EQ(sources.subKeyNames(), std::vector<std::string>{"Web"});
    ConfigKey product = openKey("");
    EXPECT_EQ(product.subKeyNames(), std::vector<std::string>{"Sources"});
    // Base and sub-path are joined as given, the way the source code passes "\name".
    ConfigKey joined(m_store);
    ASSERT_TRUE(joined.open("\\web", std::string(kProductKey) + "\\SOURCES"));
    EXPECT_EQ(joined.getDword("type", 7), 2u);
}

TEST_F(ConfigKeyTest, SubKeysEnumerateInCaseInsensitiveOrder) {
    for (const char* name : {"gamma", "Beta", "alpha", "ALPHA2", "Delta"}) {
        ConfigKey child(m_store);
        ASSERT_TRUE(child.open(std::string("\\diagrams\\") + name));
    }
    ConfigKey diagrams = openKey("\\diagrams");
    EXPECT_EQ(diagrams.subKeyNames(),
              (std::vector<std::string>{"alpha", "ALPHA2", "Beta", "Delta", "gamma"}));
}

TEST_F(ConfigKeyTest, LongAndUnusualTextsReadBackWholeAndAreNeverReplacedByTheDefault) {
    std::string allBytes;
    for (int c = 1; c < 256; ++c) allBytes += static_cast<char>(c);
    const std::vector<std::string> texts = {
        std::string(998, 'a'),
        std::string(999, 'b'),
        std::string(1000, 'c'),
        std::string(100 * 1024, 'd'),
        std::string("before\0after", 12),
        allBytes,
        "caf\xe9 \x80\xff",
        "",
    };
    ConfigKey key = openKey("\\texts");
    for (std::size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE("text " + std::to_string(i) + " of " + std::to_string(texts[i].size()));
        const std::string name = "t" + std::to_string(i);
        key.setString(name, texts[i]);
        EXPECT_EQ(key.getString(name, "default"), texts[i]);
        std::string read;
        EXPECT_EQ(key.queryString(name, read), 0);
        EXPECT_EQ(read, texts[i]);
        EXPECT_EQ(key.queryValue(name)->data, texts[i]);  // the default was not written back
    }
}

TEST_F(ConfigKeyTest, ValueOfAnotherTypeGivesTheDefaultOrCode13) {
    ConfigKey key = openKey("\\types");
    key.setString("number", "12");
    EXPECT_EQ(key.getDword("number", 7), 7u);  // the default replaces the text
    EXPECT_EQ(key.queryValue("number")->type, ValueType::Dword);
    EXPECT_EQ(key.getDword("number", 9), 7u);

    std::string text = "stale";
    EXPECT_EQ(key.queryString("number", text), 13);
    EXPECT_EQ(text, "");
    EXPECT_EQ(key.getString("number"), "");  // no default: the DWORD stays
    EXPECT_EQ(key.queryValue("number")->type, ValueType::Dword);
    EXPECT_EQ(key.getString("number", "x"), "x");
    EXPECT_EQ(key.queryValue("number")->type, ValueType::String);
    EXPECT_EQ(key.queryString("absent", text), 2);
}

TEST_F(ConfigKeyTest, BinaryValuesRoundTripByteForByte) {
    ConfigKey key = openKey("\\accounts\\admin");
    const std::string digest("\x00\x11\x22\x80\xff\x00\x7f\x10\x20\x30\x40\x50\x60\x70\x80\x90",
                             16);
    key.setBinary("password", digest);
    key.setBinary("empty", "");
    std::optional<ConfigValue> value = key.queryValue("password");
    ASSERT_TRUE(value);
    EXPECT_EQ(value->type, ValueType::Binary);
    EXPECT_EQ(value->data, digest);
    EXPECT_EQ(key.queryValue("empty")->data, "");
    EXPECT_EQ(key.deleteValue("empty"), 0);
    EXPECT_EQ(key.deleteValue("empty"), 2);
}

TEST_F(ConfigKeyTest, WithoutAKeyReadsGiveDefaultsAndWritesDoNothing) {
    ConfigKey key = openKey("\\http");
    key.setDword("Port", 81);
    EXPECT_FALSE(key.openExisting("\\missing"));  // lets go of \http as well
    EXPECT_FALSE(key.isOpen());
    EXPECT_EQ(key.getDword("Port", 80), 80u);
    EXPECT_EQ(key.getString("LogPath", "d"), "d");
    key.setDword("Port", 99);
    EXPECT_EQ(key.deleteValue("Port"), 2);
    EXPECT_EQ(key.deleteTree("x"), 2);
    EXPECT_EQ(openKey("\\http").getDword("Port", 80), 81u);
}

}  // namespace
}  // namespace tg
