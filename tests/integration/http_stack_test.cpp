// The whole web stack on a real socket: server, request processing, page dispatch with the
// account rule, and templates from a content folder.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
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

using test::bodyOf;
using test::exchange;

// The web stack serving m_htdocs on a loopback port; the loop runs until stop() or the end.
class HttpStack : public ::testing::Test {
protected:
    HttpStack() { std::filesystem::create_directories(m_htdocs); }
    ~HttpStack() override { stop(); }

    void start(const std::string& hostName) {
        m_processor.emplace(ContentRoot{m_htdocs.string(), hostName, 80}, m_types, m_dispatcher,
                            m_log);
        m_server.emplace(m_reactor, m_settings, *m_processor, m_messages, "127.0.0.1");
        ASSERT_TRUE(m_server->startListening(0));
        m_port = m_server->port();
        m_loop = std::thread([this] { m_reactor.run(); });
    }
    void stop() {
        if (!m_loop.joinable()) return;
        m_reactor.stop();
        m_loop.join();
    }

    test::TempDir m_dir;
    const std::filesystem::path m_htdocs = m_dir.path() / "htdocs";
    ConfigStore m_store{m_dir.path() / "store.db"};
    HttpSettings m_settings{m_store};
    AccountStore m_accounts{m_store};
    PageFactory m_pages;
    PageDispatcher m_dispatcher{m_pages, m_accounts};
    const MediaTypes m_types = MediaTypes::builtIn();
    test::RecordingSink m_log;
    Silent m_messages;
    Reactor m_reactor;
    std::optional<RequestProcessor> m_processor;
    std::optional<HttpServer> m_server;
    std::uint16_t m_port = 0;
    std::thread m_loop;
};

TEST_F(HttpStack, PagesNeedAnAccountWhenOneExistsAndEscapeWhatTheyEcho) {
    std::ofstream(m_htdocs / "index.html") << "<p>*EDIT*</p>";  // a generic page sets EDIT only
    std::ofstream(m_htdocs / "style.css") << "p{}";
    start("localhost");
    const std::uint16_t port = m_port;

    // No account yet: every page is open; a parameter echoed into the page stays text.
    std::string answer = exchange(port, "GET /index.html?EDIT=%3Cscript%3E HTTP/1.0\r\n\r\n");
    EXPECT_EQ(answer.rfind("HTTP/1.0 200 OK\r\n", 0), 0u);
    EXPECT_EQ(bodyOf(answer), "<p>&lt;script&gt;</p>");
    EXPECT_EQ(bodyOf(exchange(port, "GET /style.css HTTP/1.0\r\n\r\n")), "p{}");

    ASSERT_EQ(m_accounts.saveAccount("alice", "secret", AccountType::EditPermission), 0);
    answer = exchange(port, "GET /index.html?action=start HTTP/1.0\r\n\r\n");
    EXPECT_EQ(answer.rfind("HTTP/1.0 401 Unauthorized\r\n", 0), 0u);
    EXPECT_NE(answer.find("WWW-Authenticate: Basic realm=\"Tessellgrove\"\r\n"), std::string::npos);
    answer = exchange(port,
                      "GET /index.html?action=start HTTP/1.0\r\n"
                      "Authorization: Basic YWxpY2U6c2VjcmV0\r\n\r\n");  // alice:secret
    EXPECT_EQ(answer.rfind("HTTP/1.0 200 OK\r\n", 0), 0u);
    EXPECT_EQ(exchange(port, "GET /../store.db HTTP/1.0\r\n\r\n").rfind("HTTP/1.0 400", 0), 0u);
}

TEST_F(HttpStack, GuessedPasswordsAreLoggedWithTheClientAndOtherNamesAreNotAnswered) {
    std::ofstream(m_htdocs / "index.html") << "list";
    ASSERT_EQ(m_accounts.saveAccount("alice", "secret", AccountType::EditPermission), 0);
    start("tg-host");
    const std::uint16_t port = m_port;

    // alice:wrong, four times; the fourth answer comes late, but it comes.
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(exchange(port,
                           "GET /index.html?action=start HTTP/1.0\r\nHost: 127.0.0.1\r\n"
                           "Authorization: Basic YWxpY2U6d3Jvbmc=\r\n\r\n")
                      .rfind("HTTP/1.0 401 Unauthorized\r\n", 0),
                  0u);
    }
    // A name that points here but is not ours (DNS rebinding) gets nothing.
    EXPECT_EQ(exchange(port, "GET /index.html HTTP/1.0\r\nHost: attacker.example:80\r\n\r\n")
                  .rfind("HTTP/1.0 421 Misdirected Request\r\n", 0),
              0u);
    EXPECT_EQ(exchange(port, "GET /index.html HTTP/1.0\r\nHost: TG-HOST\r\n\r\n")
                  .rfind("HTTP/1.0 200 OK\r\n", 0),
              0u);

    stop();
    const std::vector<std::string> logged = m_log.lines();
    EXPECT_EQ(std::count(logged.begin(), logged.end(), "Failed login from 127.0.0.1|alice"), 4);
}

}  // namespace
}  // namespace tg
