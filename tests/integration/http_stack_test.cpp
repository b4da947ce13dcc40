// The whole web stack on a real socket: server, request processing, page dispatch with the
// account rule, and templates from a content folder.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "config/config_store.h"
#include "http/account_store.h"
#include "http/http_server.h"
#include "http/request_processor.h"
#include "support/loopback_client.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"
#include "web/page_dispatch.h"

namespace tg {
namespace {

class Silent : public UserMessages {
public:
    void show(std::string_view, MessageIcon) override {}
};

std::string fetch(std::uint16_t port, const std::string& request) {
    UniqueFd socket = test::connectLoopback(port);
    test::sendAll(socket.get(), request);
    return test::readToEnd(socket.get());
}

std::string bodyOf(const std::string& answer) { return answer.substr(answer.find("\r\n\r\n") + 4); }

TEST(HttpStack, PagesNeedAnAccountWhenOneExistsAndEscapeWhatTheyEcho) {
    test::TempDir dir;
    const std::filesystem::path htdocs = dir.path() / "htdocs";
    std::filesystem::create_directories(htdocs);
    std::ofstream(htdocs / "index.html") << "<p>*EDIT*</p>";  // a generic page sets EDIT only
    std::ofstream(htdocs / "style.css") << "p{}";
    ConfigStore store(dir.path() / "store.db");
    HttpSettings settings(store);
    AccountStore accounts(store);
    PageFactory pages;
    PageDispatcher dispatcher(pages, accounts);
    const MediaTypes types = MediaTypes::builtIn();
    RequestProcessor processor(ContentRoot{htdocs.string(), "localhost", 80}, types, dispatcher,
                               noEventSink());
    Silent messages;
    Reactor reactor;
    HttpServer server(reactor, settings, processor, messages, "127.0.0.1");
    ASSERT_TRUE(server.startListening(0));
    const std::uint16_t port = server.port();
    std::thread loop([&] { reactor.run(); });

    // No account yet: every page is open; a parameter echoed into the page stays text.
    std::string answer = fetch(port, "GET /index.html?EDIT=%3Cscript%3E HTTP/1.0\r\n\r\n");
    EXPECT_EQ(answer.rfind("HTTP/1.0 200 OK\r\n", 0), 0u);
    EXPECT_EQ(bodyOf(answer), "<p>&lt;script&gt;</p>");
    EXPECT_EQ(bodyOf(fetch(port, "GET /style.css HTTP/1.0\r\n\r\n")), "p{}");

    ASSERT_EQ(accounts.saveAccount("alice", "secret", AccountType::EditPermission), 0);
    answer = fetch(port, "GET /index.html?action=start HTTP/1.0\r\n\r\n");
    EXPECT_EQ(answer.rfind("HTTP/1.0 401 Unauthorized\r\n", 0), 0u);
    EXPECT_NE(answer.find("WWW-Authenticate: Basic realm=\"Tessellgrove\"\r\n"), std::string::npos);
    answer = fetch(port,
                   "GET /index.html?action=start HTTP/1.0\r\n"
                   "Authorization: Basic YWxpY2U6c2VjcmV0\r\n\r\n");  // alice:secret
    EXPECT_EQ(answer.rfind("HTTP/1.0 200 OK\r\n", 0), 0u);
    EXPECT_EQ(fetch(port, "GET /../store.db HTTP/1.0\r\n\r\n").rfind("HTTP/1.0 400", 0), 0u);

    reactor.stop();
    loop.join();
}

TEST(HttpStack, GuessedPasswordsAreLoggedWithTheClientAndOtherNamesAreNotAnswered) {
    test::TempDir dir;
    const std::filesystem::path htdocs = dir.path() / "htdocs";
    std::filesystem::create_directories(htdocs);
    std::ofstream(htdocs / "index.html") << "list";
    ConfigStore store(dir.path() / "store.db");
    HttpSettings settings(store);
    AccountStore accounts(store);
    ASSERT_EQ(accounts.saveAccount("alice", "secret", AccountType::EditPermission), 0);
    PageFactory pages;
    PageDispatcher dispatcher(pages, accounts);
    const MediaTypes types = MediaTypes::builtIn();
    test::RecordingSink log;
    RequestProcessor processor(ContentRoot{htdocs.string(), "tg-host", 80}, types, dispatcher,
                               log);
    Silent messages;
    Reactor reactor;
    HttpServer server(reactor, settings, processor, messages, "127.0.0.1");
    ASSERT_TRUE(server.startListening(0));
    const std::uint16_t port = server.port();
    std::thread loop([&] { reactor.run(); });

    // alice:wrong, four times; the fourth answer comes late, but it comes.
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(fetch(port,
                        "GET /index.html?action=start HTTP/1.0\r\nHost: 127.0.0.1\r\n"
                        "Authorization: Basic YWxpY2U6d3Jvbmc=\r\n\r\n")
                      .rfind("HTTP/1.0 401 Unauthorized\r\n", 0),
                  0u);
    }
    // A name that points here but is not ours (DNS rebinding) gets nothing.
    EXPECT_EQ(fetch(port, "GET /index.html HTTP/1.0\r\nHost: attacker.example:80\r\n\r\n")
                  .rfind("HTTP/1.0 421 Misdirected Request\r\n", 0),
              0u);
    EXPECT_EQ(fetch(port, "GET /index.html HTTP/1.0\r\nHost: TG-HOST\r\n\r\n")
                  .rfind("HTTP/1.0 200 OK\r\n", 0),
              0u);

    reactor.stop();
    loop.join();
    const std::vector<std::string> logged = log.lines();
    EXPECT_EQ(std::count(logged.begin(), logged.end(), "Failed login from 127.0.0.1|alice"), 4);
}

}  // namespace
}  // namespace tg
