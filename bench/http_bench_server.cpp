// http_bench_server: the HTTP server as the daemon runs it, for a load generator to measure.
//
//   http_bench_server --root DIR [--port N]
//
// Serves DIR on 127.0.0.1 with the whole request stack (file mapping, media types, template
// pages through the page dispatcher with no accounts, so every page is open), its settings in
// a fresh store in a temporary folder. Port 0 (the default) lets the system pick one. Prints
// the machine and build, then "listening on PORT" once clients may connect, and runs until
// SIGTERM or SIGINT; exit status 0 then, 1 when it cannot listen, 2 on bad usage.

#include <signal.h>
#include <sys/signalfd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include "bench_support.h"
#include "config/config_store.h"
#include "http/account_store.h"
#include "http/http_server.h"
#include "http/http_settings.h"
#include "http/media_types.h"
#include "http/reactor.h"
#include "http/request_processor.h"
#include "http/url_mapping.h"
#include "platform/event_sink.h"
#include "platform/unique_fd.h"
#include "platform/user_messages.h"
#include "web/page_dispatch.h"
#include "web/page_factory.h"

namespace {

constexpr const char* kBindAddress = "127.0.0.1";

struct Options {
    std::string root;
    unsigned port = 0;
};

bool parseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--root" && i + 1 < argc) {
            options.root = argv[++i];
        } else if (arg == "--port" && i + 1 < argc) {
            char* end = nullptr;
            const unsigned long value = std::strtoul(argv[++i], &end, 10);
            if (*end != '\0' || value > 65535) return false;
            options.port = static_cast<unsigned>(value);
        } else {
            return false;
        }
    }
    return !options.root.empty();
}

// The request processor needs the port for its redirects, which is known only once the server
// listens; the server needs a handler before that. This one forwards to the processor made
// afterwards and answers nothing until then (no client can connect before).
class ForwardingHandler : public tg::RequestHandler {
public:
    void processRequest(const tg::CRequest& request, tg::Response& response) override {
        if (m_target) m_target->processRequest(request, response);
    }
    void setTarget(std::unique_ptr<tg::RequestProcessor> target) { m_target = std::move(target); }

private:
    std::unique_ptr<tg::RequestProcessor> m_target;
};

// SIGTERM and SIGINT as a readable descriptor; blocked for the whole process, so they only
// arrive through it. Empty when the kernel refuses.
tg::UniqueFd blockStopSignals() {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    if (sigprocmask(SIG_BLOCK, &signals, nullptr) != 0) return {};
    return tg::UniqueFd(::signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC));
}

int serve(const Options& options) {
    std::error_code error;
    const std::filesystem::path root = std::filesystem::canonical(options.root, error);
    if (error || !std::filesystem::is_directory(root)) {
        std::fprintf(stderr, "http_bench_server: %s is not a folder\n", options.root.c_str());
        return 2;
    }

    tg::UniqueFd stopSignals = blockStopSignals();
    if (!stopSignals) {
        std::perror("http_bench_server: signalfd");
        return 1;
    }

    tg::bench::TempDir folder("tg-http-bench");
    if (folder.path().empty()) {
        std::fprintf(stderr, "http_bench_server: cannot make a temporary folder\n");
        return 1;
    }
    tg::ConfigStore store(folder.path() / "store.db");
    if (!store.isOpen()) {
        std::fprintf(stderr, "http_bench_server: store: %s\n", store.error().c_str());
        return 1;
    }

    tg::HttpSettings settings(store);
    tg::AccountStore accounts(store);
    tg::PageFactory pages;
    tg::PageDispatcher dispatcher(pages, accounts);
    const tg::MediaTypes mediaTypes = tg::MediaTypes::load();
    tg::StderrMessages messages;
    tg::Reactor reactor;
    ForwardingHandler handler;
    tg::HttpServer server(reactor, settings, handler, messages, kBindAddress);

    if (!server.startListening(static_cast<std::uint16_t>(options.port))) return 1;
    handler.setTarget(std::make_unique<tg::RequestProcessor>(
        tg::ContentRoot{root.string(), kBindAddress, server.port()}, mediaTypes, dispatcher,
        tg::noEventSink()));

    const int signalFd = stopSignals.get();
    const bool watching = reactor.watch(signalFd, tg::Reactor::kReadable, [&](unsigned) {
        signalfd_siginfo info;
        while (::read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        }
        reactor.stop();
    });
    if (!watching) {
        std::fprintf(stderr, "http_bench_server: cannot watch the signal descriptor\n");
        return 1;
    }

    tg::bench::printMachine();
    std::printf("listening on %u\n", static_cast<unsigned>(server.port()));
    std::fflush(stdout);
    reactor.run();
    reactor.unwatch(signalFd);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fprintf(stderr, "usage: http_bench_server --root DIR [--port N]\n");
        return 2;
    }
    try {
        return serve(options);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "http_bench_server: %s\n", e.what());
        return 1;
    }
}
