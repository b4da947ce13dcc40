#include "http/http_settings.h"

#include <gtest/gtest.h>

#include "config/config_key.h"
#include "support/temp_dir.h"

namespace tg {
namespace {

class HttpSettingsTest : public ::testing::Test {
protected:
    test::TempDir m_dir;
    ConfigStore m_store{m_dir.file("store.db")};

    ConfigKey httpKey() {
        ConfigKey key(m_store);
        EXPECT_TRUE(key.open(HttpSettings::kKeyPath));
        return key;
    }
};

TEST_F(HttpSettingsTest, FirstReadWritesEveryDefaultBackUnderTheProductKey) {
    HttpSettings settings(m_store);
    const EventLogSettings log = settings.eventLogSettings();
    EXPECT_TRUE(log.enabled);
    EXPECT_EQ(log.path, "");
    EXPECT_EQ(log.limitMegabytes, 1u);
    EXPECT_EQ(settings.effectivePort(), 80u);

    ConfigKey key(m_store);
    ASSERT_TRUE(key.openExisting("SOFTWARE\\kestroware\\Tessellgrove\\2.0\\http", ""));
    const std::pair<const char*, std::uint32_t> dwords[] = {{"Port", 0},
                                                            {"WebLogEnabled", 1},
                                                            {"MaxLogSize", 0},
                                                            {"MaxHeadBytes", 65536},
                                                            {"MaxBodyBytes", 1048576},
                                                            {"IdleTimeoutSeconds", 30},
                                                            {"MaxConnections", 1000},
                                                            {"MetricsMaxLabels", 10000}};
    for (const auto& [name, value] : dwords) {
        SCOPED_TRACE(name);
        const auto stored = key.queryValue(name);
        ASSERT_TRUE(stored.has_value());
        EXPECT_EQ(stored->type, ValueType::Dword);
        EXPECT_EQ(stored->data, encodeDword(value));
    }
    const auto path = key.queryValue("LogPath");
    ASSERT_TRUE(path.has_value());
    EXPECT_EQ(path->type, ValueType::String);
    EXPECT_EQ(path->data, "");
}

TEST_F(HttpSettingsTest, StoredValuesAreReadOnceAndSettersWriteThrough) {
    {
        ConfigKey key = httpKey();
        key.setDword("Port", 8080);
        key.setDword("WebLogEnabled", 7);
        key.setDword("MaxLogSize", 5);
        key.setString("LogPath", "/var/log/tg.log");
        key.setDword("MaxConnections", 3);
    }
    HttpSettings settings(m_store);
    EXPECT_EQ(settings.effectivePort(), 8080u);
    EXPECT_TRUE(settings.webLogEnabled());  // any non-zero value is on
    EXPECT_EQ(settings.effectiveLogSize(), 5u);
    EXPECT_EQ(settings.limits().maxConnections, 3u);

    // A change behind the cache's back is not seen until the next load.
    httpKey().setString("LogPath", "/elsewhere.log");
    EXPECT_EQ(settings.logPath(), "/var/log/tg.log");

    settings.setLogPath("/tmp/new.log");
    settings.setMaxLogSize(0);
    settings.setWebLogEnabled(false);
    HttpLimits limits;
    limits.idleTimeoutSeconds = 5;
    settings.setLimits(limits);
    EXPECT_EQ(settings.effectiveLogSize(), 1u);

    HttpSettings reloaded(m_store);
    EXPECT_EQ(reloaded.logPath(), "/tmp/new.log");
    EXPECT_EQ(reloaded.maxLogSize(), 0u);
    EXPECT_FALSE(reloaded.webLogEnabled());
    EXPECT_EQ(reloaded.limits().idleTimeoutSeconds, 5u);
    EXPECT_EQ(reloaded.limits().maxConnections, 1000u);
    EXPECT_EQ(reloaded.port(), 8080u);
}

TEST_F(HttpSettingsTest, LimitsThatWouldStopTheServerAreClampedWhenRead) {
    {
        ConfigKey key = httpKey();
        key.setDword("MaxConnections", 0);
        key.setDword("MaxHeadBytes", 3);
        key.setDword("MaxBodyBytes", 0xFFFFFFFF);
        key.setDword("IdleTimeoutSeconds", 0);
        key.setDword("MetricsMaxLabels", 0xFFFFFFFF);
    }
    HttpSettings settings(m_store);
    const HttpLimits limits = settings.limits();
    EXPECT_EQ(limits.maxConnections, 1000u);  // 0: the default
    EXPECT_EQ(limits.maxHeadBytes, 1024u);     // below the least: the least
    EXPECT_EQ(limits.maxBodyBytes, 67108864u);
    EXPECT_EQ(limits.idleTimeoutSeconds, 30u);
    EXPECT_EQ(limits.metricsMaxLabels, 10000000u);
    EXPECT_EQ(httpKey().getDword("MaxConnections", 5), 0u);  // the store keeps what it holds
}

}  // namespace
}  // namespace tg
