#pragma once
// The named pages on a real store: a source manager with one source "web" (fields status and
// bytes, no transport, so a diagram on it runs without a reader and takes records fed to it
// directly, as a delivery would), a diagram manager, the page factory with the pages
// registered, and templates written into a temporary htdocs folder. The error template shows
// "ERROR[message][back link]".

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "config/config_key.h"
#include "config/config_store.h"
#include "datasource/source_manager.h"
#include "diagram/diagram_manager.h"
#include "http/account_store.h"
#include "support/temp_dir.h"
#include "web/page_dispatch.h"
#include "web/page_factory.h"
#include "web/web_pages.h"

namespace tg::test {

class PageFixture : public ::testing::Test {
protected:
    PageFixture() {
        (void)m_sources.create("web");
        m_sources.acquire("web")->setFields(m_fields);
        registerWebPages(m_pages, m_diagrams, m_sources);
        writeTemplate("error", "ERROR[*ERR_MSG*][*ERR_DST*]");
    }

    void writeTemplate(const std::string& name, const std::string& text) {
        std::ofstream(m_dir.file(name + ".html"), std::ios::binary) << text;
    }

    // Runs the template `name` with the parameter text `query`, as the server would after the
    // access check.
    std::string run(const std::string& name, const std::string& query = "") {
        RequestVariables request = m_dispatcher.variablesFor(query, m_dir.file(name + ".html"));
        std::string body;
        m_dispatcher.RunPage(request, body);
        return body;
    }

    // Writes `text` as the template and runs it.
    std::string run(const std::string& name, const std::string& query, const std::string& text) {
        writeTemplate(name, text);
        return run(name, query);
    }

    // A new diagram on "web", saved and running.
    DiagramHandle addDiagram(const std::string& name) {
        EXPECT_EQ(m_diagrams.create(name), 0);
        DiagramHandle diagram = m_diagrams.acquire(name);
        (void)diagram->setDataSource("web");
        diagram->saveDefinition();
        return diagram;
    }

    void feed(Diagram& diagram, const Record& record) { diagram.processRecord(record, m_fields); }

    // Whether the store holds the key `path` below the diagrams' key.
    bool stored(const std::string& path) {
        ConfigKey key(m_store);
        return key.openExisting("\\diagrams\\" + path);
    }

    TempDir m_dir;
    ConfigStore m_store{m_dir.path() / "store.db"};
    SourceManager m_sources{m_store};
    DiagramManager m_diagrams{m_store, m_sources};
    PageFactory m_pages;
    AccountStore m_accounts{m_store};
    PageDispatcher m_dispatcher{m_pages, m_accounts};
    FieldNames m_fields{"status", "bytes"};
};

}  // namespace tg::test
