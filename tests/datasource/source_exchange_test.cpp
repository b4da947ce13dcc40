#include "datasource/source_exchange.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "config/config_key.h"
#include "datasource/source_keys.h"
#include "support/recording_listener.h"
#include "support/temp_dir.h"

namespace tg {
namespace {

class SourceExchangeTest : public ::testing::Test {
protected:
    // The document of a source named `name` that was saved with a position, in another store.
    std::string exported(const std::string& name, const std::string& regexp) {
        ConfigStore other(m_dir.path() / ("other" + std::to_string(++m_others) + ".db"));
        SourceManager sources(other);
        EXPECT_EQ(sources.create(name), 0);
        {
            SourceHandle source = sources.acquire(name);
            source->setType(SourceType::File);
            source->setRegexp(regexp);
            source->setConnect("/var/log/web.log");
            source->setBackup("/var/lib/web.dup");
            source->setFields({"host", "text"});
            source->save();
            ConfigKey key(other);
            EXPECT_TRUE(key.open(sourceKeyPath(name)));
            key.setDword("lastpos", 1234);
        }
        std::string document;
        std::string error;
        EXPECT_EQ(exportSource(sources, name, document, error), 0) << error;
        return document;
    }
    int import(const std::string& document, bool answer = false) {
        m_asked.clear();
        std::string name;
        return importSource(
            m_sources, document,
            [&](const std::string& question) {
                m_asked = question;
                return answer;
            },
            name, m_error);
    }
    std::string storedRegexp(const std::string& name) {
        ConfigKey key(m_store);
        std::string regexp;
        if (!key.openExisting(sourceKeyPath(name))) return "(none)";
        (void)key.queryString("regexp", regexp);
        return regexp;
    }

    test::TempDir m_dir;
    ConfigStore m_store{m_dir.path() / "store.db"};
    SourceManager m_sources{m_store};
    std::string m_asked;
    std::string m_error;
    int m_others = 0;
};

TEST_F(SourceExchangeTest, ImportAddsAFreshSourceAndAsksBeforeReplacingOne) {
    ASSERT_EQ(import(exported("web", "^(a)$")), 0) << m_error;
    EXPECT_TRUE(m_asked.empty());
    {
        SourceHandle web = m_sources.acquire("web");
        ASSERT_TRUE(web);
        EXPECT_EQ(web->regexp(), "^(a)$");
        EXPECT_EQ(web->fieldNames(), (FieldNames{"host", "text"}));
        EXPECT_EQ(web->lastPos(), 0u);  // the position stays with the other installation
    }
    EXPECT_EQ(storedRegexp("web"), "^(a)$");

    // Declined: nothing changes and there is nothing to report.
    const std::string second = exported("web", "^(b)$");
    EXPECT_EQ(import(second, false), 1);
    EXPECT_EQ(m_asked, "Rewrite data source web");
    EXPECT_EQ(m_error, "");
    EXPECT_EQ(m_sources.acquire("web")->regexp(), "^(a)$");
    EXPECT_EQ(storedRegexp("web"), "^(a)$");

    ASSERT_EQ(import(second, true), 0) << m_error;
    EXPECT_EQ(m_sources.names(), (std::vector<std::string>{"web"}));
    EXPECT_EQ(m_sources.acquire("web")->regexp(), "^(b)$");
    EXPECT_EQ(storedRegexp("web"), "^(b)$");

    // A source that diagrams listen to stays as it is.
    test::RecordingListener diagram;
    m_sources.acquire("web")->attach(diagram);
    EXPECT_EQ(import(exported("web", "^(c)$"), true), 1);
    EXPECT_EQ(m_error, kSourceImportRefusal);
    EXPECT_EQ(m_sources.acquire("web")->regexp(), "^(b)$");
    EXPECT_EQ(storedRegexp("web"), "^(b)$");
    m_sources.acquire("web")->detach(diagram);
}

TEST_F(SourceExchangeTest, ImportRefusesWhatTheStoreCannotKeepWithoutAskingOrChangingAnything) {
    ASSERT_EQ(m_sources.create("web"), 0);
    const std::pair<std::string, std::string> rows[] = {
        {exported("WEB", "x"), "Data source with such name already exists"},
        {exported("", "x"), "Plese fill data source name"},
        {"<source name='a\\b'/>", "Data source name can not contain a backslash"},
        {"<source name='a'><fields><field name='x,y'/></fields></source>",
         "Data source can not be imported: a field name holds a comma"},
        {"<source name='a'", "Data source can not be imported: not a well-formed XML document"},
    };
    for (const auto& [document, message] : rows) {
        SCOPED_TRACE(message);
        EXPECT_EQ(import(document, true), 1);
        EXPECT_EQ(m_error.substr(0, message.size()), message);
        EXPECT_TRUE(m_asked.empty());
        EXPECT_EQ(m_sources.names(), (std::vector<std::string>{"web"}));
    }
    std::string document;
    EXPECT_EQ(exportSource(m_sources, "Web", document, m_error), 1);
    EXPECT_EQ(m_error, "no data source Web");
}

std::string contents(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST_F(SourceExchangeTest, FilesAreReplacedOnlyWhenTheQuestionIsAnsweredYes) {
    const std::string path = m_dir.file("web.xml");
    std::string asked;
    const auto answer = [&](bool yes) {
        return [&asked, yes](const std::string& question) {
            asked = question;
            return yes;
        };
    };
    ASSERT_EQ(writeDefinitionFile(path, "one", answer(false), m_error), 0) << m_error;
    EXPECT_EQ(asked, "");
    EXPECT_EQ(writeDefinitionFile(path, "two", answer(false), m_error), 1);
    EXPECT_EQ(asked, kRewriteFileQuestion);
    EXPECT_EQ(m_error, "");
    EXPECT_EQ(contents(path), "one");
    ASSERT_EQ(writeDefinitionFile(path, "two", answer(true), m_error), 0) << m_error;
    EXPECT_EQ(contents(path), "two");
    EXPECT_EQ(writeDefinitionFile(m_dir.file("no/such/folder.xml"), "x", answer(true), m_error), 1);
    EXPECT_NE(m_error.find("cannot write"), std::string::npos) << m_error;

    std::string text;
    ASSERT_EQ(readDefinitionFile(path, text, m_error), 0);
    EXPECT_EQ(text, "two");
    // A file over 16 MiB is refused before it is read.
    std::filesystem::resize_file(path, 16 * 1024 * 1024 + 1);
    EXPECT_EQ(readDefinitionFile(path, text, m_error), 1);
    EXPECT_EQ(m_error, "the file is larger than 16 MiB");
    EXPECT_EQ(text, "two");
}

}  // namespace
}  // namespace tg
