#pragma once
// A running Application on a temporary store: the FILE source "web" on a log with three
// lines, the diagrams "by status" and "total" on it, and the web server on a reserved
// loopback port; with the desktop's parts for the windows under test.

#include <memory>
#include <string>

#include "app/application.h"
#include "desktop/panel.h"
#include "fake_prompts.h"
#include "support/reserved_port.h"
#include "support/temp_dir.h"

namespace tg::test {

class RecordedMessages final : public UserMessages {
public:
    void show(std::string_view text, MessageIcon) override { shown.emplace_back(text); }
    std::vector<std::string> shown;
};

class DesktopFixture {
public:
    DesktopFixture();
    ~DesktopFixture();

    DesktopParts parts();
    Application& app() { return *m_application; }
    std::string file(const std::string& name) const { return m_dir.file(name); }
    std::uint16_t port() const { return m_port.port(); }

    FakePrompts prompts;
    RecordedMessages messages;

private:
    TempDir m_dir;
    ReservedPort m_port;
    std::unique_ptr<Application> m_application;
};

// Processes Qt's pending events until `condition` holds or a generous limit passes.
bool waitUntil(const std::function<bool()>& condition);

}  // namespace tg::test
