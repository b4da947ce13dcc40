#include "desktop_fixture.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTest>
#include <fstream>

#include "daemon_store.h"

namespace tg::test {

DesktopFixture::DesktopFixture() {
    const std::string store = m_dir.file("store.db");
    const std::string log = m_dir.file("access.log");
    defineWebStore(store, log, m_port.port());
    std::ofstream(log) << "200 1\n404 2\n200 4\n";
    AppOptions options;
    options.store = store;
    options.htdocs = "/nonexistent";
    options.bindAddress = "127.0.0.1";
    options.checkpointInterval = std::chrono::milliseconds(0);
    m_application = std::make_unique<Application>(options, messages);
    EXPECT_EQ(m_application->startUp(), std::nullopt);
}

DesktopFixture::~DesktopFixture() {
    if (m_application->running()) (void)m_application->shutDown();  // the test's store goes
}

DesktopParts DesktopFixture::parts() {
    Application& a = *m_application;
    return {a.store(), a.sources(), a.diagrams(), a.settings(), a.server(), a.accounts()};
}

bool waitUntil(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, 60000); }

}  // namespace tg::test
