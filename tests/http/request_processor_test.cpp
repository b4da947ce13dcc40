#include "http/request_processor.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>

#include "http/status_counts.h"
#include "support/base64_encode.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

namespace tg {
namespace {

// Pages that echo their template name, with an access rule the test sets.
class FakePages : public TemplateRunner {
public:
    TemplateVariables variablesFor(std::string_view parameterText,
                                   std::string_view templatePath) override {
        const std::string path(templatePath);
        const std::string name = std::filesystem::path(path).stem().string();
        const std::string_view action = parameterText.rfind("action=", 0) == 0
                                            ? parameterText.substr(7, parameterText.find('&') - 7)
                                            : std::string_view();
        return {{"PARAMS", std::string(parameterText)},
                {"action", std::string(action)},
                {"TEMPLATE_NAME", name},
                {"TEMPLATE_PATHNAME", path}};
    }
    // Credentials log in with the password "right"; without credentials, `access` decides.
    Access CheckAccess(const TemplateVariables& request, const RequestClient& client) override {
        seenLogin = request.count("LOGIN") ? request.at("LOGIN") : "";
        seenClient = client;
        if (!request.count("LOGIN")) return access;
        return request.at("PASSWORD") == "right" ? Access::LoggedIn : Access::BadLogin;
    }
    std::string FindPageName(std::string_view templateName) override {
        return std::string(templateName);
    }
    void RunPage(TemplateVariables& request, std::string& body) override {
        body = "page " + request["TEMPLATE_NAME"] + " " + request["PARAMS"];
    }
    Access access = Access::Granted;
    std::string seenLogin;
    RequestClient seenClient;
};

// A body in one piece.
class OnePiece : public BodySource {
public:
    explicit OnePiece(std::string text) : m_text(std::move(text)) {}
    bool next(std::string& out) override {
        if (m_sent) return false;
        m_sent = true;
        out += m_text;
        return true;
    }
    std::size_t heldBytes() const override { return m_text.size(); }

private:
    std::string m_text;
    bool m_sent = false;
};

// Answers /data with its parameters, made piece by piece when there are any.
class FakeRoutes : public DataRoutes {
public:
    bool serves(std::string_view path) const override { return path == "/data"; }
    DataAnswer answer(const CRequest& request, std::string_view) override {
        DataAnswer answer{kStatusOk, "text/csv", "attachment", "data " + request.parameterText,
                          nullptr};
        if (!request.parameterText.empty()) {
            answer.stream = std::make_unique<OnePiece>(std::move(answer.body));
        }
        return answer;
    }
};

class RequestProcessorTest : public ::testing::Test {
protected:
    RequestProcessorTest() {
        std::filesystem::create_directories(m_dir.path() / "sub");
        std::ofstream(m_dir.file("page.html")) << "<p>";
        std::ofstream(m_dir.file("notes.txt")) << "notes";
        std::ofstream(m_dir.file("404.html")) << "";
        std::ofstream(m_dir.file("sub/index.html")) << "";
    }
    // The answer's head lines and whatever body text came with it; a sent file is read too.
    std::string answer(const std::string& method, const std::string& target,
                       const std::string& body = {},
                       std::map<std::string, std::string> headers = {}) {
        CRequest request;
        request.method = method;
        const std::size_t question = target.find('?');
        request.url = target.substr(0, question);
        if (question != std::string::npos) {
            request.parameterText = target.substr(question + 1);
            request.execKind = ExecKind::Parameters;
        }
        request.body = body;
        request.contentLength = body.size();
        request.headers = std::move(headers);
        request.peerAddress = m_peer;
        Response response;
        m_processor.processRequest(request, response);
        m_delay = response.delay;
        std::string all = response.head;
        while (response.body && response.body->next(all)) {
        }
        if (response.file) {
            char buffer[4096];
            for (ssize_t got; (got = ::read(response.file.get(), buffer, sizeof buffer)) > 0;) {
                all.append(buffer, static_cast<std::size_t>(got));
            }
        }
        return all;
    }

    std::string m_peer = "192.0.2.7";
    std::chrono::milliseconds m_delay{0};  // of the last answer
    test::TempDir m_dir;
    MediaTypes m_types = MediaTypes::builtIn();
    FakePages m_pages;
    test::RecordingSink m_log;
    RequestProcessor m_processor{ContentRoot{m_dir.path().string(), "host", 8080}, m_types, m_pages,
                                 m_log, [] { return std::time_t{0}; }};
};

constexpr const char* kHead =
    "Server: Kestro-RuroVid/1.0\r\nDate: Thu, 01 Jan 1970 00:00:00 GMT\r\n";

TEST_F(RequestProcessorTest, MethodsAndBodiesChooseTheAnswer) {
    EXPECT_EQ(answer("PUT", "/notes.txt"),
              std::string("HTTP/1.0 501 Not Implemented\r\n") + kHead + "\r\n");
    EXPECT_EQ(answer("POST", "/page.html"),
              std::string("HTTP/1.0 501 Not Implemented\r\n") + kHead + "\r\n");
    EXPECT_EQ(answer("GET", "/notes.txt", "body").rfind("HTTP/1.0 501", 0), 0u);
    EXPECT_EQ(answer("POST", "/notes.txt", "x=1").rfind("HTTP/1.0 400 Bad Request", 0), 0u);
    EXPECT_EQ(answer("GET", "/notes.txt?x=1").rfind("HTTP/1.0 400 Bad Request", 0), 0u);
    EXPECT_EQ(answer("get", "/notes.txt"),
              std::string("HTTP/1.0 200 OK\r\n") + kHead +
                  "Content-type: text/plain\r\nExpires: 0\r\n\r\nnotes");
    EXPECT_EQ(answer("HEAD", "/notes.txt"), std::string("HTTP/1.0 200 OK\r\n") + kHead +
                                                "Content-type: text/plain\r\nExpires: 0\r\n\r\n");
    EXPECT_EQ(answer("GET", "/bad%zz").rfind("HTTP/1.0 400 Bad Request", 0), 0u);
}

TEST_F(RequestProcessorTest, TemplatesRunPagesWithTheirHeadersAndLogLines) {
    const std::string page = answer("GET", "/page.html?action=x&id=3");
    EXPECT_EQ(page, std::string("HTTP/1.0 200 OK\r\n") + kHead +
                        "WWW-Authenticate: Basic realm=\"Tessellgrove\"\r\nExpires: 0\r\n\r\n"
                        "page page action=x&id=3");
    EXPECT_EQ(answer("POST", "/page.html", "form=1").substr(page.find("\r\n\r\n")),
              "\r\n\r\npage page ");  // the body's fields are not seen by the page
    EXPECT_NE(answer("HEAD", "/page.html").find("Content-type: text/html"),
              std::string::npos);  // the file's head, not a page
    EXPECT_EQ(answer("GET", "/404.html").rfind("HTTP/1.0 404 Not Found", 0), 0u);
    // A page reached through a link inside the root runs from where the link leads.
    std::filesystem::create_directory_symlink("sub", m_dir.path() / "alias");
    EXPECT_EQ(answer("GET", "/alias/index.html").rfind("HTTP/1.0 200 OK", 0), 0u);
    EXPECT_EQ(m_log.lines().back(), (m_dir.path() / "sub/index.html").string() + "|");

    m_pages.access = Access::Refused;
    const std::string refused =
        answer("GET", "/page.html", "", {{"authorization", "Basic YWxpY2U6c2VjcmV0"}});
    EXPECT_EQ(refused, std::string("HTTP/1.0 401 Unauthorized\r\n") + kHead +
                           "WWW-Authenticate: Basic realm=\"Tessellgrove\"\r\nExpires: 0\r\n\r\n");
    EXPECT_EQ(m_pages.seenLogin, "alice");
    ASSERT_EQ(m_log.lines().size(), 6u);  // the request's line after the failed login's
    EXPECT_EQ(m_log.lines()[4], "Failed login from 192.0.2.7|alice");
    EXPECT_EQ(m_log.lines().back(), (m_dir.path() / "page.html").string() + "|alice");
}

TEST_F(RequestProcessorTest, DataAddressesNeedTheChartPagesRightsAndAreCounted) {
    FakeRoutes routes;
    m_processor.setDataRoutes(&routes);
    const auto answered = [](int code) {
        for (const auto& [status, count] : answerCounts()) {
            if (status == code) return count;
        }
        return std::uint64_t{0};
    };
    EXPECT_EQ(answer("GET", "/data?name=x"),
              std::string("HTTP/1.0 200 OK\r\n") + kHead +
                  "Content-type: text/csv\r\nContent-Disposition: attachment\r\nExpires: "
                  "0\r\n\r\ndata name=x");
    EXPECT_EQ(m_pages.seenLogin, "");
    EXPECT_EQ(answer("HEAD", "/data?name=x").find("data "), std::string::npos);
    EXPECT_EQ(answer("GET", "/data").substr(answer("GET", "/data").find("\r\n\r\n")),
              "\r\n\r\ndata ");

    m_pages.access = Access::Refused;  // accounts exist
    const std::uint64_t before = answered(401);
    EXPECT_EQ(answer("GET", "/data"), std::string("HTTP/1.0 401 Unauthorized\r\n") + kHead +
                                          "WWW-Authenticate: Basic realm=\"Tessellgrove\"\r\n\r\n");
    countAnswer(answer("GET", "/data", "", {{"authorization", "Basic YWxpY2U6d3Jvbmc="}}));
    EXPECT_EQ(m_log.lines().end()[-2], "Failed login from 192.0.2.7|alice");
    EXPECT_EQ(answered(401), before + 1);
    // alice:right
    EXPECT_EQ(answer("GET", "/data", "", {{"authorization", "Basic YWxpY2U6cmlnaHQ="}})
                  .rfind("HTTP/1.0 200 OK", 0),
              0u);
    EXPECT_EQ(m_log.lines().back(), "/data|alice");
    countAnswer("garbage");
    EXPECT_GE(answered(0), 1u);
}

TEST_F(RequestProcessorTest, RepeatedFailedLoginsAreAnsweredLaterAndNotEvenChecked) {
    const auto login = [&](const std::string& password) {
        const std::string all = answer("GET", "/page.html?action=x", "",
                                       {{"authorization", "Basic " + test::encodeBase64("alice:" + password)}});
        return all.substr(0, all.find("\r\n"));
    };
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(login("guess"), "HTTP/1.0 401 Unauthorized");
        EXPECT_EQ(m_delay.count(), 0);  // a mistyped password costs nothing
    }
    EXPECT_EQ(login("guess"), "HTTP/1.0 401 Unauthorized");
    EXPECT_GT(m_delay.count(), 0);  // sent later, on the connection's timer
    // While it waits, even the right password is not looked at: guesses sent at once on many
    // connections learn nothing sooner.
    m_pages.access = Access::Refused;
    EXPECT_EQ(login("right"), "HTTP/1.0 401 Unauthorized");
    EXPECT_EQ(m_pages.seenLogin, "");
    EXPECT_GT(m_delay.count(), 0);
    const std::vector<std::string> logged = m_log.lines();
    EXPECT_EQ(std::count(logged.begin(), logged.end(), "Failed login from 192.0.2.7|alice"), 4);
    m_peer = "192.0.2.8";  // other clients are not held back
    EXPECT_EQ(login("right"), "HTTP/1.0 200 OK");
    EXPECT_EQ(m_delay.count(), 0);
}

TEST_F(RequestProcessorTest, ChangesWithoutAccountsFromAnotherMachineExplainHowToMakeOne) {
    m_pages.access = Access::NeedsAccount;
    const std::string all = answer("GET", "/page.html?action=delete");
    EXPECT_EQ(all.rfind("HTTP/1.0 403 Forbidden\r\n", 0), 0u);
    EXPECT_NE(all.find("Content-type: text/plain\r\n"), std::string::npos);
    EXPECT_NE(all.find("\r\n\r\nThis server has no user accounts"), std::string::npos);
    EXPECT_NE(all.find("tgctl user add NAME --edit"), std::string::npos);
    EXPECT_FALSE(m_pages.seenClient.loopback);
    m_peer = "127.0.0.1";
    (void)answer("GET", "/page.html?action=delete");
    EXPECT_TRUE(m_pages.seenClient.loopback);
    // A proxy on this machine passes on requests of clients anywhere.
    (void)answer("GET", "/page.html?action=delete", "", {{"x-forwarded-for", "192.0.2.7"}});
    EXPECT_FALSE(m_pages.seenClient.loopback);
}

TEST_F(RequestProcessorTest, ActionsSentByAnotherSitesPageAreForbidden) {
    const auto status = [&](const std::string& target, const std::string& header,
                            const std::string& value) {
        std::map<std::string, std::string> headers{{"host", "host:8080"}};
        if (!header.empty()) headers[header] = value;
        const std::string all = answer("GET", target, "", headers);
        return all.substr(0, all.find("\r\n"));
    };
    const std::string ok = "HTTP/1.0 200 OK", forbidden = "HTTP/1.0 403 Forbidden";
    EXPECT_EQ(status("/page.html?action=delete", "origin", "http://evil.example"), forbidden);
    EXPECT_EQ(status("/page.html?action=delete", "referer", "http://evil.example/x"), forbidden);
    EXPECT_EQ(status("/page.html?action=delete", "referer", "http://host:8081/"), forbidden);
    EXPECT_EQ(status("/page.html?action=delete", "origin", "null"), forbidden);
    EXPECT_EQ(status("/page.html?action=delete", "origin", "https://host"), forbidden);
    EXPECT_EQ(status("/page.html?action=delete", "origin", "ftp://host:8080"), forbidden);
    EXPECT_EQ(status("/page.html?action=delete", "referer", "http://HOST:8080/index.html"), ok);
    EXPECT_EQ(status("/page.html?action=delete", "", ""), ok);  // curl and other tools
    EXPECT_EQ(status("/page.html?name=x", "referer", "http://evil.example/"), ok);  // a link
    EXPECT_EQ(m_log.lines().size(), 9u);  // every answer is logged

    // Behind a TLS proxy the browser's origin is https on 443 and the Host has no port.
    m_processor.setAllowedHosts({"logs.example.org"});
    std::map<std::string, std::string> proxied{{"host", "logs.example.org"},
                                               {"origin", "https://logs.example.org"}};
    EXPECT_EQ(answer("GET", "/page.html?action=run", "", proxied).rfind(ok, 0), 0u);
    proxied["origin"] = "https://evil.example.org";
    EXPECT_EQ(answer("GET", "/page.html?action=run", "", proxied).rfind(forbidden, 0), 0u);

    // Browsers send no Origin on a navigation and pages may suppress the Referer; what the
    // browser itself says of the request's origin decides then, whatever else came with it.
    for (const char* site : {"cross-site", "same-site"}) {
        EXPECT_EQ(status("/page.html?action=delete", "sec-fetch-site", site), forbidden) << site;
    }
    for (const char* site : {"same-origin", "none"}) {
        EXPECT_EQ(status("/page.html?action=delete", "sec-fetch-site", site), ok) << site;
    }
    EXPECT_EQ(status("/page.html?name=x", "sec-fetch-site", "cross-site"), ok);  // a link
}

TEST_F(RequestProcessorTest, OnlyNamesOfThisServerAreAnswered) {
    const auto status = [&](const std::string& host, const std::string& target) {
        std::map<std::string, std::string> headers;
        if (!host.empty()) headers["host"] = host;
        const std::string all = answer("GET", target, "", headers);
        return all.substr(0, all.find("\r\n"));
    };
    // Its own name, loopback and no Host at all (HTTP/1.0 clients).
    for (const char* host : {"host:8080", "HOST", "localhost:8080", "127.0.0.1", "127.8.9.1:1",
                             "[::1]:8080", ""}) {
        EXPECT_EQ(status(host, "/page.html?action=delete"), "HTTP/1.0 200 OK") << host;
    }
    // Any other name is another site's (DNS rebinding): nothing runs, not even a file is read.
    const std::size_t pagesBefore = m_log.lines().size();
    for (const char* host : {"evil.example", "evil.example:8080", "host.evil.example", "10.1.2.3",
                             "[::2]:8080", "a b"}) {
        EXPECT_EQ(status(host, "/page.html?action=delete"), "HTTP/1.0 421 Misdirected Request")
            << host;
        EXPECT_EQ(status(host, "/notes.txt"), "HTTP/1.0 421 Misdirected Request") << host;
    }
    EXPECT_EQ(m_log.lines().size(), pagesBefore);
}

TEST_F(RequestProcessorTest, HeadNeverRunsAPage) {
    const std::string head = answer("HEAD", "/page.html?action=delete&name=x");
    EXPECT_EQ(head, std::string("HTTP/1.0 200 OK\r\n") + kHead +
                        "WWW-Authenticate: Basic realm=\"Tessellgrove\"\r\nExpires: 0\r\n\r\n");
    m_pages.access = Access::Refused;
    EXPECT_EQ(answer("HEAD", "/page.html?action=delete").rfind("HTTP/1.0 401", 0), 0u);
}

TEST_F(RequestProcessorTest, FoldersRedirectToTheirDefaultDocument) {
    EXPECT_EQ(answer("GET", "/sub?action=delete"),
              std::string("HTTP/1.0 302 Redirection\r\n") + kHead +
                  "Location: http://host:8080/sub/index.html\r\n\r\n");
    // The client's own name for the server, when it sent one that is a host name.
    EXPECT_NE(answer("GET", "/sub", "", {{"host", "127.0.0.1:8080"}})
                  .find("Location: http://127.0.0.1:8080/sub/index.html\r\n"),
              std::string::npos);
    m_processor.setAllowedHosts(splitHostList(" example.org:443 ,[::5]"));
    EXPECT_NE(answer("GET", "/sub", "", {{"host", "example.org"}})
                  .find("Location: http://example.org/sub/index.html\r\n"),
              std::string::npos);
    EXPECT_EQ(answer("GET", "/sub", "", {{"host", "[::5]"}}).rfind("HTTP/1.0 302", 0), 0u);
    for (const char* odd :
         {"evil.org\r\nSet-Cookie: x", "a b", "x:0", "x:99999", ":80", "x:", "[::1]:8080x"}) {
        EXPECT_EQ(answer("GET", "/sub", "", {{"host", odd}}).rfind("HTTP/1.0 421", 0), 0u) << odd;
    }
    EXPECT_EQ(parseHostHeader("[::1]:8081"), std::make_pair(std::string("[::1]"), 8081u));
    EXPECT_EQ(answer("GET", "/../etc/passwd").rfind("HTTP/1.0 400 Bad Request", 0), 0u);
    EXPECT_EQ(answer("GET", "/missing.txt").rfind("HTTP/1.0 404 Not Found", 0), 0u);
}

}  // namespace
}  // namespace tg
