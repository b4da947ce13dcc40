#include "web/page_dispatch.h"

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "config/config_store.h"
#include "http/account_store.h"
#include "support/temp_dir.h"
#include "web/generic_page.h"

namespace tg {
namespace {

const RequestClient kLoopback{true};

// The dispatcher's access rule over `accounts`; pages play no part in it.
Access accessFor(const RequestVariables& request, AccountStore& accounts,
                 const RequestClient& client) {
    const PageFactory pages;
    return PageDispatcher(pages, accounts).CheckAccess(request, client);
}

TEST(CheckAccess, FollowsTheLevelTableAndTheAccounts) {
    test::TempDir dir;
    ConfigStore store(dir.file("store.db"));
    AccountStore accounts(store);
    struct Case {
        const char* name;
        const char* action;  // nullptr: no action parameter, which counts as an empty one
        std::optional<std::string> login;
        std::optional<std::string> password;
        bool withAccounts;
        bool granted;
    };
    const std::optional<std::string> none;
    const std::vector<Case> cases = {
        // No accounts: every page without credentials; credentials refused where a level is
        // needed (they match no account).
        {"edit", "", none, none, false, true},
        {"show", "reset", none, none, false, true},
        {"edit", "", "ed", "pw", false, false},
        {"show", "", "ed", "", false, false},
        {"index", "", "ed", "pw", false, true},
        {"about", "", "nobody", "x", false, true},
        // Accounts exist.
        {"index", "", none, none, true, true},
        {"index", "delete", none, none, true, false},
        {"index", "delete", "viewer", "vpw", true, false},
        {"index", "delete", "editor", "epw", true, true},
        {"show", "", none, none, true, false},
        {"show", "", "viewer", "vpw", true, true},
        {"show", "", "viewer", "wrong", true, false},
        {"show", "", "viewer", none, true, false},
        {"show", "reset", "viewer", "vpw", true, false},
        {"show", "reset", "editor", "epw", true, true},
        {"edit", "", "viewer", "vpw", true, false},
        {"edit", "", "editor", "epw", true, true},
        {"modalchoose", "", "editor", "epw", true, true},
        {"modalregexp", "", "viewer", "vpw", true, false},
        {"modaltest", "", none, none, true, false},
        {"showtext", "", none, none, true, false},  // the raw records, like the chart
        {"showtext", "", "viewer", "vpw", true, true},
        {"showtext", "", "viewer", "wrong", true, false},
        {"modaledit", "save", none, none, true, true},
        {"Edit", "", none, none, true, true},  // names compare case-sensitively
        {"edit", "", "Editor", "epw", true, false},
        {"index", nullptr, none, none, true, true},
        {"show", nullptr, "viewer", "vpw", true, true},
        {"edit", nullptr, none, none, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " action=" + (c.action ? c.action : "(none)") +
                     " login=" +
                     c.login.value_or("(none)") + (c.withAccounts ? " accounts" : " no accounts"));
        if (c.withAccounts && !accounts.anyAccountExists()) {
            ASSERT_EQ(accounts.saveAccount("viewer", "vpw", AccountType::ViewOnly), 0);
            ASSERT_EQ(accounts.saveAccount("editor", "epw", AccountType::EditPermission), 0);
        }
        ASSERT_EQ(accounts.anyAccountExists(), c.withAccounts);
        RequestVariables request = {{"TEMPLATE_NAME", c.name}};
        if (c.action) request["action"] = c.action;
        if (c.login) request["LOGIN"] = *c.login;
        if (c.password) request["PASSWORD"] = *c.password;
        EXPECT_EQ(isGranted(accessFor(request, accounts, kLoopback)), c.granted);
    }
}

TEST(CheckAccess, WithoutAccountsOnlyThisMachineMayChangeAndBadLoginsAreTold) {
    test::TempDir dir;
    ConfigStore store(dir.file("store.db"));
    AccountStore accounts(store);
    const RequestClient remote{false};
    // No account: another machine may look, but every page that changes needs one.
    EXPECT_EQ(accessFor({{"TEMPLATE_NAME", "show"}}, accounts, remote), Access::Granted);
    EXPECT_EQ(accessFor({{"TEMPLATE_NAME", "index"}, {"action", "delete"}}, accounts, remote),
              Access::NeedsAccount);
    EXPECT_EQ(accessFor({{"TEMPLATE_NAME", "edit"}}, accounts, remote), Access::NeedsAccount);
    EXPECT_EQ(accessFor({{"TEMPLATE_NAME", "index"}, {"action", "delete"}}, accounts, kLoopback),
              Access::Granted);

    ASSERT_EQ(accounts.saveAccount("viewer", "vpw", AccountType::ViewOnly), 0);
    const RequestVariables edit = {{"TEMPLATE_NAME", "edit"}, {"LOGIN", "viewer"}};
    RequestVariables wrong = edit;
    wrong["PASSWORD"] = "x";
    RequestVariables right = edit;
    right["PASSWORD"] = "vpw";
    EXPECT_EQ(accessFor(wrong, accounts, remote), Access::BadLogin);
    EXPECT_EQ(accessFor(right, accounts, remote), Access::Refused);  // right, but view only
    right["TEMPLATE_NAME"] = "show";
    EXPECT_EQ(accessFor(right, accounts, remote), Access::LoggedIn);
    EXPECT_EQ(accessFor({{"TEMPLATE_NAME", "edit"}}, accounts, kLoopback), Access::Refused);
}

TEST(RequestVariablesFor, TemplateVariablesReplaceParameters) {
    ConfigStore store(":memory:");
    AccountStore accounts(store);
    const PageFactory pages;
    PageDispatcher dispatcher(pages, accounts);
    EXPECT_EQ(dispatcher.variablesFor("a=1&TEMPLATE_NAME=x&TEMPLATE_PATHNAME=y&LOGIN=u",
                                      "/srv/htdocs/show.html"),
              (RequestVariables{{"a", "1"},
                                {"action", ""},
                                {"LOGIN", "u"},
                                {"TEMPLATE_NAME", "show"},
                                {"TEMPLATE_PATH", "/srv/htdocs/"},
                                {"TEMPLATE_PATHNAME", "/srv/htdocs/show.html"}}));
    EXPECT_EQ(dispatcher.variablesFor("action=del%65te", "/i.html").at("action"), "delete");
}

TEST(PathFunctions, SplitLinuxPaths) {
    struct Case {
        std::string path;
        std::string name;
        std::string folder;
        std::string extension;
        bool isTemplate;
    };
    const std::vector<Case> cases = {
        {"/srv/htdocs/index.html", "index", "/srv/htdocs/", "html", true},
        {"/srv/htdocs/sub/Show.HTML", "Show", "/srv/htdocs/sub/", "HTML", true},
        {"/srv/a.b/file.tar.html", "file.tar", "/srv/a.b/", "html", true},
        {"/srv/a.b/README", "README", "/srv/a.b/", "", false},
        {"/srv/htdocs/page.htm", "page", "/srv/htdocs/", "htm", false},
        {"/srv/htdocs/page.html5", "page", "/srv/htdocs/", "html5", false},
        {"/srv/htdocs/", "", "/srv/htdocs/", "", false},
        {"/.html", "", "/", "html", true},
        {"index.html", "index", "", "html", true},
        {"", "", "", "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(templateNameOf(c.path), c.name);
        EXPECT_EQ(templatePathOf(c.path), c.folder);
        EXPECT_EQ(extensionOf(c.path), c.extension);
        EXPECT_EQ(isTemplateFile(c.path), c.isTemplate);
    }
}

// A named page as the later pages are: prepare may fail with a message and target, or throw.
class FailingPage : public Page {
public:
    explicit FailingPage(int& prepared) : m_prepared(prepared) {}
    bool prepare(const RequestVariables& request) override {
        ++m_prepared;
        setVariable("NAME", request.count("name") ? request.at("name") : "");
        if (request.count("throw")) throw std::runtime_error("boom");
        if (!request.count("fail")) return true;
        setError("No diagram '" + request.at("name") + "'", ErrorTarget::DiagramEdit);
        return false;
    }

private:
    int& m_prepared;
};

class RunPageTest : public ::testing::Test {
protected:
    RunPageTest() {
        m_pages.registerPage("edit", [this] { return std::make_unique<FailingPage>(m_prepared); });
    }

    void write(const std::string& name, const std::string& text) {
        std::ofstream(m_dir.path() / (name + ".html"), std::ios::binary) << text;
    }
    RequestVariables request(const std::string& name) {
        return {{"TEMPLATE_NAME", name},
                {"TEMPLATE_PATH", m_dir.path().string() + "/"},
                {"action", ""}};
    }
    std::string folder() const { return m_dir.path().string() + "/"; }

    test::TempDir m_dir;
    PageFactory m_pages;
    ConfigStore m_store{":memory:"};
    AccountStore m_accounts{m_store};
    PageDispatcher m_dispatcher{m_pages, m_accounts};
    int m_prepared = 0;
    const std::string m_errorTemplate =
        "E[*ERR_MSG*|*ERR_DST*|*ERR_DST_NAME*|*TEMPLATE_NAME*|*name*]";
};

TEST_F(RunPageTest, GenericPageSeesOnlyEditAndItsFailuresShowNoErrorPage) {
    write("about", "[*EDIT*][*secret*][*TEMPLATE_NAME*][*action*]");
    RequestVariables vars = request("about");
    vars["EDIT"] = "<b>";
    vars["secret"] = "x";
    std::string body;
    m_dispatcher.RunPage(vars, body);
    EXPECT_EQ(body, "[&lt;b&gt;][][][]");

    vars.erase("EDIT");
    body.clear();
    m_dispatcher.RunPage(vars, body);
    EXPECT_EQ(body, "[][][][]");

    // Its failures show no error page.
    write("error", m_errorTemplate);
    write("about", "before<*OPEN*>never closed");
    body.clear();
    RequestVariables missing = request("modaledit");
    m_dispatcher.RunPage(missing, body);
    EXPECT_EQ(body, "");
    RequestVariables broken = request("about");
    m_dispatcher.RunPage(broken, body);
    EXPECT_EQ(body, "before");
}

TEST_F(RunPageTest, NamedPageFailureReplacesBodyWithErrorTemplate) {
    write("error", m_errorTemplate);
    write("edit", "edit of *NAME*");
    RequestVariables vars = request("edit");
    vars["name"] = "web<1>";
    std::string body;
    m_dispatcher.RunPage(vars, body);
    EXPECT_EQ(body, "edit of web&lt;1&gt;");

    vars["fail"] = "1";
    body.clear();
    m_dispatcher.RunPage(vars, body);
    EXPECT_EQ(body,
              "E[No diagram &#39;web&lt;1&gt;&#39;|edit.html|Edit diagram|error|web&lt;1&gt;]");
    EXPECT_EQ(vars["TEMPLATE_NAME"], "error");
}

TEST_F(RunPageTest, NamedPageTemplateErrorsLinkToTheDiagramList) {
    write("error", m_errorTemplate);
    RequestVariables missing = request("edit");
    std::string body;
    m_dispatcher.RunPage(missing, body);
    EXPECT_EQ(body, "E[Can&#39;t open file &#39;" + folder() +
                        "edit.html&#39;|index.html|Back to diagram list|error|]");
    EXPECT_EQ(m_prepared, 0);  // no action runs without a template

    write("edit", "partial output<*GROUPRECORD*>");
    RequestVariables broken = request("edit");
    body.clear();
    m_dispatcher.RunPage(broken, body);
    EXPECT_EQ(body,
              "E[Template sintax error: can&#39;t find close tag for &#39;&lt;*GROUPRECORD*&gt;"
              "&#39;|index.html|Back to diagram list|error|]");
}

TEST_F(RunPageTest, ThrowingPageShowsErrorPageInsteadOfEndingTheServerOrNothingWithoutOne) {
    write("error", m_errorTemplate);
    write("edit", "never");
    RequestVariables vars = request("edit");
    vars["throw"] = "1";
    std::string body;
    m_dispatcher.RunPage(vars, body);
    EXPECT_EQ(body, "E[Internal error: boom|index.html|Back to diagram list|error|]");

    // Without an error template the failed page's body is left empty.
    std::filesystem::remove(m_dir.path() / "error.html");
    RequestVariables failing = request("edit");
    failing["fail"] = "1";
    failing["name"] = "d";
    body = "written before";
    m_dispatcher.RunPage(failing, body);
    EXPECT_EQ(body, "");
}

TEST_F(RunPageTest, ShowErrorPageSetsTargetsAndKeepsParameters) {
    write("error", m_errorTemplate);
    struct Case {
        ErrorTarget target;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {ErrorTarget::DiagramList, "E[m|index.html|Back to diagram list|error|n]"},
        {ErrorTarget::DiagramEdit, "E[m|edit.html|Edit diagram|error|n]"},
        {ErrorTarget::None, "E[m|||error|n]"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        RequestVariables vars = request("show");
        vars["name"] = "n";
        std::string body = "discarded";
        showErrorPage(vars, "m", c.target, body);
        EXPECT_EQ(body, c.expected);
        EXPECT_EQ(vars["ERR_MSG"], "m");
    }

    // A template that asks for the password gets nothing.
    write("error", "P[*PASSWORD*|*LOGIN*]");
    RequestVariables vars = request("show");
    vars["LOGIN"] = "alice";
    vars["PASSWORD"] = "secret";
    std::string body;
    showErrorPage(vars, "m", ErrorTarget::DiagramList, body);
    EXPECT_EQ(body, "P[|alice]");
}

TEST(PageFactory, UnregisteredNamesAndEmptyCreatorsGetGenericPage) {
    PageFactory pages;
    int prepared = 0;
    pages.registerPage("edit", [&prepared] { return std::make_unique<FailingPage>(prepared); });
    pages.registerPage("show", [] { return std::unique_ptr<Page>(); });
    EXPECT_NE(dynamic_cast<FailingPage*>(pages.create("edit").get()), nullptr);
    for (const char* name : {"index", "Edit", "show", "", "404"}) {
        SCOPED_TRACE(name);
        const std::unique_ptr<Page> page = pages.create(name);
        ASSERT_NE(dynamic_cast<GenericPage*>(page.get()), nullptr);
        EXPECT_FALSE(page->showsErrorPage());
    }
}

TEST(PageDispatcher, AnswersThroughTheRunnerInterfaceAndKeepsPageNames) {
    test::TempDir dir;
    ConfigStore store(dir.file("store.db"));
    AccountStore accounts(store);
    PageFactory pages;
    PageDispatcher dispatcher(pages, accounts);
    TemplateRunner& runner = dispatcher;
    for (const char* name : {"404", "index", "Index", "", "a b"}) {
        EXPECT_EQ(runner.FindPageName(name), name);
    }
    EXPECT_EQ(runner.CheckAccess({{"TEMPLATE_NAME", "edit"}}, kLoopback), Access::Granted);
    ASSERT_EQ(accounts.saveAccount("editor", "epw", AccountType::EditPermission), 0);
    EXPECT_EQ(runner.CheckAccess({{"TEMPLATE_NAME", "edit"}}, kLoopback), Access::Refused);

    std::ofstream(dir.path() / "about.html") << "about *EDIT*";
    RequestVariables vars =
        runner.variablesFor("EDIT=%3Cb%3E&x=1", dir.path().string() + "/about.html");
    std::string body;
    runner.RunPage(vars, body);
    EXPECT_EQ(body, "about &lt;b&gt;");
}

}  // namespace
}  // namespace tg
