#include "app/application.h"

#include <unistd.h>

#include <exception>
#include <string>
#include <vector>

#include "config/store_path.h"
#include "diagram/checkpoint.h"
#include "diagram/checkpointer.h"
#include "http/event_log.h"
#include "http/media_types.h"
#include "http/net_address.h"
#include "http/request_processor.h"
#include "metrics/metrics_exporter.h"
#include "web/data_routes.h"
#include "web/page_dispatch.h"
#include "web/web_pages.h"

namespace tg {
namespace {

std::string hostName() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) return "localhost";
    return name;
}

// A problem of the store, told to the user and written to the event log.
void reportStore(UserMessages& messages, EventLog& events, const std::string& path,
                 const std::string& text) {
    messages.show("Store " + path + ": " + text, MessageIcon::Stop);
    events.writeLog(path, text);
}

ContentRoot contentRootFor(const AppOptions& options, HttpSettings& settings) {
    std::error_code error;
    std::filesystem::path folder = std::filesystem::weakly_canonical(options.htdocs, error);
    if (error) folder = options.htdocs;
    return ContentRoot{folder.string(), hostName(), settings.effectivePort()};
}

}  // namespace

// Declared in the order the objects are built; they go in the reverse order.
struct Application::Core {
    Core(const AppOptions& options, ConfigStore& store, UserMessages& messages)
        : settings(store),
          events(settings, messages),
          sources(store, events, SourceLoading::DaemonStart),
          diagrams(store, sources),
          accounts(store),
          mediaTypes(MediaTypes::load()),
          dispatcher(pages, accounts),
          processor(contentRootFor(options, settings), mediaTypes, dispatcher, events),
          server(reactor, settings, processor, messages, options.bindAddress),
          checkpoint(store, sources, diagrams),
          checkpointer(checkpoint, options.checkpointInterval.value_or(checkpointInterval(store)),
                       [this, &messages, path = store.path().string()](const std::string& text) {
                           reportStore(messages, events, path, text);
                       }),
          metrics(diagrams, sources, settings, &checkpointer),
          dataRoutes(metrics, diagrams) {
        processor.setDataRoutes(&dataRoutes);
        // A reset or a definition change reaches the store's data at once, not at the next
        // interval.
        diagrams.setCheckpointRequest([this] { checkpointer.requestNow(); });
    }
    ~Core() { diagrams.setCheckpointRequest(nullptr); }

    HttpSettings settings;
    EventLog events;
    SourceManager sources;
    DiagramManager diagrams;
    AccountStore accounts;
    Reactor reactor;
    MediaTypes mediaTypes;
    PageFactory pages;
    PageDispatcher dispatcher;
    RequestProcessor processor;
    HttpServer server;
    Checkpoint checkpoint;
    Checkpointer checkpointer;
    MetricsExporter metrics;
    WebDataRoutes dataRoutes;
    bool shutDown = false;
};

Application::Application(AppOptions options, UserMessages& messages)
    : m_options(std::move(options)), m_messages(messages) {}

// A failed save has been reported to the user and the event log; nobody is left to answer.
Application::~Application() { (void)shutDown(); }

std::optional<int> Application::startUp() {
    std::string error;
    if (!createParentFolders(m_options.store, error)) {
        m_messages.show(
            "Cannot create the folder of the store " + m_options.store.string() + ": " + error,
            MessageIcon::Stop);
        return 1;
    }
    m_lock = std::make_unique<InstanceLock>(m_options.store, InstanceLock::Mode::Instance);
    if (m_lock->state() == InstanceLock::State::HeldElsewhere) return 0;  // silently
    if (!m_lock->held()) {
        m_messages.show("Cannot take the instance lock " + m_lock->error(), MessageIcon::Stop);
        return 1;
    }
    m_store = std::make_unique<ConfigStore>(m_options.store);
    if (!m_store->isOpen()) {
        m_messages.show(
            "Cannot open the store " + m_options.store.string() + ": " + m_store->error(),
            MessageIcon::Stop);
        return 1;
    }
    // A store that cannot be written would lose everything gathered from here on.
    if (!m_store->checkWritable()) {
        m_messages.show("Cannot write to the store " + m_options.store.string() + ": " +
                            m_store->lastError(),
                        MessageIcon::Stop);
        return 1;
    }
    m_core = std::make_unique<Core>(m_options, *m_store, m_messages);
    registerWebPages(m_core->pages, m_core->diagrams, m_core->sources);
    std::vector<std::string> allowedHosts = splitHostList(m_core->settings.allowedHosts());
    // A name given to listen on names this server too (an address is checked as one).
    if (!isAddressLiteral(m_options.bindAddress)) allowedHosts.push_back(m_options.bindAddress);
    m_core->processor.setAllowedHosts(std::move(allowedHosts));
    // The server tells the user itself why it cannot listen.
    if (!m_core->server.startServer()) return 1;
    if (!m_core->server.loopbackOnly() && !m_core->accounts.anyAccountExists()) {
        m_messages.show("Serving on " + m_options.bindAddress +
                        " without user accounts: anyone who can reach it sees every diagram; "
                        "changes are accepted only from this machine. Create an account with "
                        "edit permission: tgctl user add NAME --edit");
    }
    return std::nullopt;
}

void Application::runLoop(const std::function<void()>& loop) {
    try {
        if (loop) {
            loop();
        } else {
            m_core->reactor.run();
        }
    } catch (const std::exception& e) {
        m_messages.show(std::string("Unexpected error, shutting down: ") + e.what(),
                        MessageIcon::Stop);
    } catch (...) {
        m_messages.show("Unexpected error, shutting down", MessageIcon::Stop);
    }
}

bool Application::shutDown() {
    bool saved = true;
    if (m_core && !m_core->shutDown) {
        m_core->shutDown = true;
        m_core->server.stopServer();
        m_core->checkpointer.stop();
        m_core->sources.stopReaders();
        saved = m_core->checkpoint.write(true);
        if (!saved) {
            reportStore(m_messages, m_core->events, m_store->path().string(),
                        "Cannot save the diagrams' data: " + m_core->checkpoint.failure());
        }
    }
    // Everything is saved by now; the destructors write the same data once more.
    m_core.reset();
    m_store.reset();
    m_lock.reset();
    return saved;
}

ConfigStore& Application::store() { return *m_store; }
Reactor& Application::reactor() { return m_core->reactor; }
SourceManager& Application::sources() { return m_core->sources; }
DiagramManager& Application::diagrams() { return m_core->diagrams; }
AccountStore& Application::accounts() { return m_core->accounts; }
HttpSettings& Application::settings() { return m_core->settings; }
HttpServer& Application::server() { return m_core->server; }
PageFactory& Application::pages() { return m_core->pages; }

}  // namespace tg
