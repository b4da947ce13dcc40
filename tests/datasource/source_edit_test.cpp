#include "datasource/source_edit.h"

#include <gtest/gtest.h>

#include "config/config_key.h"
#include "datasource/source_keys.h"
#include "support/recording_listener.h"
#include "support/temp_dir.h"

namespace tg {
namespace {

SourceFields complete() {
    return {"web",          SourceType::File, "^(\\S+) (.*)$", "/var/log/web.log",
            "/tmp/web.dup", {"host", "text"}};
}

TEST(SourceEditTest, ChecksRunInTheEditorsOrderAndStopAtTheFirstFailure) {
    struct Row {
        const char* what;
        SourceFields fields;
        SourceFieldError expected;
    };
    const std::vector<std::string> existing{"api", "Web Log"};
    const Row rows[] = {
        {"everything empty", {}, SourceFieldError::NameEmpty},
        {"backslash", {"a\\b", SourceType::File, "x", "c", "b", {}}, SourceFieldError::NameNotKey},
        {"taken", {"api", SourceType::File, "x", "c", "b", {}}, SourceFieldError::NameTaken},
        {"taken in another case", {"WEB LOG", {}, "", "", "", {}}, SourceFieldError::NameTaken},
        {"no expression", {"new", SourceType::File, "", "", "", {}}, SourceFieldError::RegexpEmpty},
        {"no connect", {"new", SourceType::Odbc, "", "", "", {}}, SourceFieldError::ConnectEmpty},
        {"no backup",
         {"new", SourceType::Udp, "x", "UDP:514", "", {}},
         SourceFieldError::BackupEmpty},
        {"no type", {"new", SourceType::None, "x", "c", "b", {}}, SourceFieldError::TypeMissing},
        {"unnamed stored code",
         {"new", sourceTypeFromCode(9), "x", "c", "b", {}},
         SourceFieldError::TypeMissing},
        {"same field twice",
         {"new", SourceType::Com, "x", "c", "b", {"a", "b", "a"}},
         SourceFieldError::FieldsNotUnique},
        {"fields differing in case",
         {"new", SourceType::Com, "x", "c", "b", {"a", "A"}},
         SourceFieldError::None},
        {"ODBC without expression",
         {"new", SourceType::Odbc, "", "DSN=x", "b", {}},
         SourceFieldError::None},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        EXPECT_EQ(checkSourceFields(row.fields, "", existing), row.expected);
    }
    EXPECT_EQ(sourceFieldMessage(SourceFieldError::NameEmpty), "Plese fill data source name");
    EXPECT_EQ(sourceFieldMessage(SourceFieldError::FieldsNotUnique), "Field names arn't unique");
    EXPECT_EQ(sourceFieldMessage(SourceFieldError::None), "");
}

TEST(SourceEditTest, OnlyAChangedNameIsLookedUpAndASourceMayRecaseItsOwnName) {
    // Stored names compare without ASCII case only: bytes above ASCII compare exactly.
    EXPECT_TRUE(sameStoredName("Web Log", "wEB lOG"));
    EXPECT_FALSE(sameStoredName("web", "web "));
    EXPECT_FALSE(sameStoredName("\xc9t\xe9", "\xe9t\xe9"));
    const std::vector<std::string> existing{"web", "api"};
    SourceFields fields = complete();
    EXPECT_EQ(checkSourceFields(fields, "web", existing), SourceFieldError::None);
    fields.name = "WEB";
    EXPECT_EQ(checkSourceFields(fields, "web", existing), SourceFieldError::None);
    fields.name = "API";
    EXPECT_EQ(checkSourceFields(fields, "web", existing), SourceFieldError::NameTaken);
    EXPECT_EQ(checkSourceFields(fields, "", {}), SourceFieldError::None);
}

class SourceEditStoreTest : public ::testing::Test {
protected:
    test::TempDir m_dir;
    ConfigStore m_store{m_dir.path() / "store.db"};
};

TEST_F(SourceEditStoreTest, AppliedFieldsAreSavedUnderTheNewNameAndLoadBack) {
    {
        DataSource source("Temp", m_store);
        EXPECT_EQ(applySourceFields(source, complete()), 0);
    }
    DataSource loaded("Temp", m_store);
    loaded.load("web");
    const SourceFields back = sourceFieldsOf(loaded);
    EXPECT_EQ(back.name, "web");
    EXPECT_EQ(back.type, SourceType::File);
    EXPECT_EQ(back.regexp, "^(\\S+) (.*)$");
    EXPECT_EQ(back.connect, "/var/log/web.log");
    EXPECT_EQ(back.backup, "/tmp/web.dup");
    EXPECT_EQ(back.fields, (FieldNames{"host", "text"}));
    ConfigKey temp(m_store);
    EXPECT_FALSE(temp.openExisting(sourceKeyPath("Temp")));
}

TEST_F(SourceEditStoreTest, ListenedSourceKeepsItsNameButTakesTheOtherFields) {
    DataSource source("web", m_store);
    source.save();
    test::RecordingListener listener;
    source.holdReader(true);  // no reader: the source has no transport anyway
    source.attach(listener);
    SourceFields fields = complete();
    fields.name = "renamed";
    fields.connect = "/var/log/other.log";
    EXPECT_EQ(applySourceFields(source, fields), 1);
    EXPECT_EQ(source.name(), "web");
    EXPECT_EQ(source.connect(), "/var/log/other.log");
    ConfigKey key(m_store);
    ASSERT_TRUE(key.openExisting(sourceKeyPath("web")));
    EXPECT_EQ(key.getString("connect"), "/var/log/other.log");
    EXPECT_FALSE(key.openExisting(sourceKeyPath("renamed")));
    source.detach(listener);
}

}  // namespace
}  // namespace tg
