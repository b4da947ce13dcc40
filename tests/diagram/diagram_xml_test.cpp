#include "diagram/diagram_xml.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "diagram/diagram_exchange.h"
#include "diagram_fixture.h"
#include "support/golden.h"

namespace tg {
namespace {

using Texts = std::vector<std::string>;

// Every item of one kind as "name|field|regexp|setting", in order.
Texts describe(const std::optional<std::vector<ItemValue>>& items) {
    Texts texts;
    if (!items) return {"(absent)"};
    for (const ItemValue& item : *items) {
        texts.push_back(item.name + "|" + item.field + "|" + item.regexp + "|" +
                        std::to_string(item.setting));
    }
    return texts;
}

void expectSame(const DiagramDefinition& a, const DiagramDefinition& b) {
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.dataSource, b.dataSource);
    for (std::size_t k = 0; k < a.items.size(); ++k) {
        EXPECT_EQ(describe(a.items[k]), describe(b.items[k])) << "kind " << k;
    }
}

class DiagramXmlTest : public test::DiagramFixture {
protected:
    // "status codes" on web: two filters, no groups, two axes.
    void defineStatusCodes(DiagramManager& diagrams) {
        ASSERT_EQ(diagrams.create("status codes"), 0);
        DiagramHandle diagram = diagrams.acquire("status codes");
        (void)diagram->setDataSource("web");
        diagram->setFilter("only GET", "text", "^GET <&> \"x\"", 0);
        diagram->setFilter("no bots", "text", "bot", 1);
        diagram->setAxis("bytes", "bytes", "", AxisOper::Sum);
        diagram->setAxis("mean \xE9", "bytes", "([0-9]+)", AxisOper::Average);
        diagram->saveDefinition();
    }
    int import(DiagramManager& diagrams, const std::string& document, bool answer = false) {
        m_asked.clear();
        std::string name;
        return importDiagram(
            diagrams, m_store, m_sources, document,
            [&](const std::string& question) {
                m_asked = question;
                return answer;
            },
            name, m_error);
    }

    std::string m_asked;
    std::string m_error;
};

TEST_F(DiagramXmlTest, ExportWritesTheGoldenDocumentAndImportGivesTheSameDiagramStored) {
    std::string document;
    DiagramDefinition original;
    {
        test::TempDir otherDir;
        ConfigStore other(otherDir.path() / "store.db");
        SourceManager otherSources(other);
        DiagramManager diagrams(other, otherSources);
        defineStatusCodes(diagrams);
        ASSERT_EQ(exportDiagram(diagrams, "status codes", document, m_error), 0) << m_error;
        original = definitionOf(*diagrams.acquire("status codes"));
    }
    test::expectGolden("diagram/golden/diagram.xml", document);

    {
        DiagramManager diagrams(m_store, m_sources);
        ASSERT_EQ(import(diagrams, document), 0) << m_error;
        EXPECT_EQ(m_asked, "");
        DiagramHandle imported = diagrams.acquire("status codes");
        ASSERT_TRUE(imported);
        expectSame(definitionOf(*imported), original);
        EXPECT_TRUE(imported->isRunning());  // its source exists here
    }
    // And stored: loaded again from the store, it is the same, its items in the store's order.
    DiagramManager reloaded(m_store, m_sources);
    const DiagramDefinition loaded = definitionOf(*reloaded.acquire("status codes"));
    EXPECT_EQ(loaded.dataSource, "web");
    for (std::size_t k = 0; k < loaded.items.size(); ++k) {
        Texts expected = describe(original.items[k]);
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(describe(loaded.items[k]), expected);
    }
}

TEST_F(DiagramXmlTest, ImportReadsSectionsWithoutRegardToCaseAndReplacesOnlyThoseFound) {
    Diagram diagram("d", m_store, m_sources);
    diagram.setFilter("old filter", "text", "x", 0);
    diagram.setGroup("old group", "status", "");
    diagram.setAxis("old axis", "bytes", "", AxisOper::Sum);

    DiagramDefinition definition;
    std::string error;
    ASSERT_EQ(readDiagramXml("<diagram name='d' datasource='web'>"
                             "<FILTERS><anything name='inverted' datasource='text' inv='1'/>"
                             "</FILTERS><Groups/><other><filter name='ignored'/></other>"
                             "</diagram>",
                             definition, error),
              0)
        << error;
    applyDefinition(diagram, definition);
    DiagramDefinition now = definitionOf(diagram);
    EXPECT_EQ(describe(now.items[kFilterItems]), (Texts{"inverted|text|.*|1"}));
    EXPECT_EQ(describe(now.items[kGroupItems]), Texts{});  // an empty section empties the list
    EXPECT_EQ(describe(now.items[kAxisItems]), (Texts{"old axis|bytes|.*|1"}));  // no section
    EXPECT_EQ(now.dataSource, "web");

    // Operations as atoi reads them: a name is no number and leaves a new axis Undefined.
    ASSERT_EQ(readDiagramXml("<diagram><yaxises><yaxis name='avg' oper='5'/>"
                             "<yaxis name='word' oper='AVERAGE'/><yaxis name='x' oper=' 2x'/>"
                             "</yaxises></diagram>",
                             definition, error),
              0);
    EXPECT_EQ(definition.name, "");  // a missing attribute is empty
    applyDefinition(diagram, definition);
    EXPECT_EQ(describe(definitionOf(diagram).items[kAxisItems]),
              (Texts{"avg||.*|5", "word||.*|0", "x||.*|2"}));

    // Another root, a malformed document or a text Windows-1252 cannot hold: nothing read.
    for (const char* bad : {"<Diagram name='d'><filters/></Diagram>", "<diagram><filters>",
                            "<diagram><filters><filter name='\xE2\x86\x92'/></filters></diagram>"}) {
        SCOPED_TRACE(bad);
        DiagramDefinition untouched;
        untouched.name = "kept";
        EXPECT_EQ(readDiagramXml(bad, untouched, error), 1);
        EXPECT_EQ(error.rfind("Diagram can not be imported: ", 0), 0u) << error;
        EXPECT_EQ(untouched.name, "kept");
        EXPECT_FALSE(untouched.items[kFilterItems]);
    }
}

TEST_F(DiagramXmlTest, ImportAsksBeforeReplacingAndRefusesNamesTheStoreCannotKeepApart) {
    DiagramManager diagrams(m_store, m_sources);
    defineStatusCodes(diagrams);
    const std::string replacement =
        "<diagram name='status codes' datasource='web'><groups><group name='code' "
        "datasource='status'/></groups></diagram>";

    EXPECT_EQ(import(diagrams, replacement, false), 1);
    EXPECT_EQ(m_asked, "Rewrite diagram status codes");
    EXPECT_EQ(m_error, "");
    EXPECT_EQ(describe(definitionOf(*diagrams.acquire("status codes")).items[kGroupItems]),
              Texts{});

    {
        DiagramHandle borrowed = diagrams.acquire("status codes");
        EXPECT_EQ(import(diagrams, replacement, true), 1);
        EXPECT_EQ(m_error, "Diagram can not be imported: the diagram status codes is in use");
    }
    ASSERT_EQ(import(diagrams, replacement, true), 0) << m_error;
    DiagramDefinition now = definitionOf(*diagrams.acquire("status codes"));
    EXPECT_EQ(describe(now.items[kFilterItems]), Texts{});  // the old diagram is gone whole
    EXPECT_EQ(describe(now.items[kGroupItems]), (Texts{"code|status|.*|0"}));

    const std::pair<std::string, std::string> refused[] = {
        {"<diagram name='STATUS CODES'/>", "Diagram with such name already exists"},
        {"<diagram/>", "Plese fill diagram name"},
        {"<diagram name='a\\b'/>", "Diagram name can not contain a backslash"},
        {"<diagram name='n'><filters><f name='a'/><f name='A'/></filters></diagram>",
         "Filter names arn't unique"},
        {"<diagram name='n'><yaxises><y name='a'/><y/></yaxises></diagram>",
         "Diagram can not be imported: a axis has no name"},
        {"<diagram name='n'><groups><g name='a\\b'/></groups></diagram>",
         "Diagram can not be imported: the group name a\\b holds a backslash"},
        {"<diagram name='n'>", "Diagram can not be imported: not a well-formed XML document"},
    };
    for (const auto& [document, message] : refused) {
        SCOPED_TRACE(document);
        EXPECT_EQ(import(diagrams, document, true), 1);
        EXPECT_EQ(m_error.substr(0, message.size()), message);
        EXPECT_EQ(m_asked, "");
        EXPECT_EQ(diagrams.names(), Texts{"status codes"});
    }
}

}  // namespace
}  // namespace tg
