#include "config/store_path.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>

#include "support/temp_dir.h"

namespace tg {
namespace {

// Sets or unsets environment variables for one test and restores them afterwards.
class EnvironmentGuard {
public:
    ~EnvironmentGuard() {
        for (const auto& [name, value] : m_saved) {
            if (value) {
                setenv(name.c_str(), value->c_str(), 1);
            } else {
                unsetenv(name.c_str());
            }
        }
    }
    void set(const std::string& name, const char* value) {
        if (!m_saved.count(name)) {
            const char* old = std::getenv(name.c_str());
            m_saved[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value) {
            setenv(name.c_str(), value, 1);
        } else {
            unsetenv(name.c_str());
        }
    }

private:
    std::map<std::string, std::optional<std::string>> m_saved;
};

TEST(StorePathTest, OptionThenEnvironmentThenXdgStateThenHome) {
    EnvironmentGuard env;
    env.set("TESSELLGROVE_STORE", "/env/store.db");
    env.set("XDG_STATE_HOME", "/state");
    env.set("HOME", "/home/u");
    EXPECT_EQ(resolveStorePath("/opt/s.db"), "/opt/s.db");
    EXPECT_EQ(resolveStorePath(std::nullopt), "/env/store.db");
    env.set("TESSELLGROVE_STORE", "");
    EXPECT_EQ(resolveStorePath(std::nullopt), "/state/tessellgrove/store.db");
    env.set("XDG_STATE_HOME", "relative/state");  // ignored, as the XDG rules say
    EXPECT_EQ(resolveStorePath(std::nullopt), "/home/u/.local/state/tessellgrove/store.db");
    env.set("XDG_STATE_HOME", nullptr);
    env.set("TESSELLGROVE_STORE", nullptr);
    EXPECT_EQ(resolveStorePath(std::nullopt), "/home/u/.local/state/tessellgrove/store.db");
    env.set("HOME", nullptr);  // the password database still knows the home folder
    const std::filesystem::path fallback = resolveStorePath(std::nullopt);
    EXPECT_TRUE(fallback.is_absolute()) << fallback;
    EXPECT_EQ(fallback.filename(), "store.db");
}

TEST(StorePathTest, CreateParentFoldersMakesTheChainAndReportsAFileInTheWay) {
    test::TempDir dir;
    std::string error;
    EXPECT_TRUE(createParentFolders(dir.path() / "a" / "b" / "store.db", error)) << error;
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "a" / "b"));
    EXPECT_TRUE(createParentFolders(dir.path() / "a" / "b" / "store.db", error)) << error;
    EXPECT_TRUE(createParentFolders("store.db", error));

    std::ofstream(dir.file("file")) << "x";
    EXPECT_FALSE(createParentFolders(dir.path() / "file" / "store.db", error));
    EXPECT_NE(error.find("file"), std::string::npos) << error;
}

TEST(StorePathTest, DirectoryOfDropsTheLastComponent) {
    const std::pair<const char*, const char*> cases[] = {
        {"/var/log/a.log", "/var/log"}, {"/a.log", "/"},           {"a.log", "."}, {"", "."},
        {"logs/a.log", "logs"},         {"/var/log/", "/var/log"},
    };
    for (const auto& [path, expected] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(directoryOf(path), expected);
    }
}

}  // namespace
}  // namespace tg
