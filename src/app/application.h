#pragma once
// The running program: the process-wide objects, the start-up steps and the orderly shutdown,
// shared by the daemon and the desktop program (which drives the reactor from its own loop).
//
// Start-up takes the store's instance lock before anything is loaded, so a second instance
// never starts readers or writes a byte; then it opens the store and builds, in this order,
// the HTTP settings and the event log, the data sources, the diagrams (each started on its
// source, so readers run from here on), the accounts, the reactor and the web server with its
// pages, and the checkpoint thread; last it starts the server on the stored port.
//
// Checkpoint failures (a full disk, a store file deleted or replaced while in use) are shown to
// the user and written to the event log, once each, as is the recovery.
//
// Shutdown stops the server, the checkpoints and every reader (at a line boundary), then writes
// every diagram's data together with every source's position; the objects go in the reverse
// order of their building, and the instance lock goes only after all of it, so a new instance
// never loads what this one has not finished saving.
//
// Main thread only.

#include <functional>
#include <memory>
#include <optional>

#include "app/app_options.h"
#include "config/config_store.h"
#include "config/instance_lock.h"
#include "datasource/source_manager.h"
#include "diagram/diagram_manager.h"
#include "http/account_store.h"
#include "http/http_server.h"
#include "http/http_settings.h"
#include "http/reactor.h"
#include "platform/user_messages.h"
#include "web/page_factory.h"

namespace tg {

class Application {
public:
    // `messages` must outlive the application.
    Application(AppOptions options, UserMessages& messages);
    ~Application();
    Application(const Application&) = delete;
    Application& operator=(const Application&) = delete;

    // Runs the start-up steps. Empty when the program now runs (the server listens); else the
    // exit code to end with: 0 when another instance holds the store, 1 when a step failed
    // (the user has been told why), a store that cannot be written among them.
    [[nodiscard]] std::optional<int> startUp();
    // Runs `loop` (the reactor's run when empty) until it returns. An exception escaping it is
    // shown to the user and ends the loop as a stop would.
    void runLoop(const std::function<void()>& loop = {});
    // The orderly shutdown; does nothing the second time or before start-up built anything.
    // False when the data could not be saved (the user and the event log have been told why).
    [[nodiscard]] bool shutDown();

    bool running() const { return m_core != nullptr; }
    // The store's instance lock file, known once startUp has looked for it (also when another
    // instance holds it); empty before.
    std::filesystem::path lockFile() const {
        return m_lock ? m_lock->path() : std::filesystem::path();
    }
    // The running program's parts; only while running().
    ConfigStore& store();
    Reactor& reactor();
    SourceManager& sources();
    DiagramManager& diagrams();
    AccountStore& accounts();
    HttpSettings& settings();
    HttpServer& server();
    PageFactory& pages();

private:
    struct Core;

    const AppOptions m_options;
    UserMessages& m_messages;
    std::unique_ptr<InstanceLock> m_lock;  // released after everything below is saved
    std::unique_ptr<ConfigStore> m_store;
    std::unique_ptr<Core> m_core;
};

}  // namespace tg
