#include "datasource/source_xml.h"

#include <gtest/gtest.h>

#include <climits>

#include "support/golden.h"

namespace tg {
namespace {

SourceDefinition webDefinition() {
    SourceDefinition definition;
    definition.name = "web \"front\"";
    definition.type = SourceType::File;
    definition.regexp = "^(\\S+) <&> '(.*)'\t$";
    definition.connect = "/var/log/web.log";
    definition.backup = "/var/lib/web.dup";
    definition.fields = {"host", "text"};
    return definition;
}

void expectSame(const SourceDefinition& a, const SourceDefinition& b) {
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.type, b.type);
    EXPECT_EQ(a.regexp, b.regexp);
    EXPECT_EQ(a.connect, b.connect);
    EXPECT_EQ(a.backup, b.backup);
    EXPECT_EQ(a.fields, b.fields);
}

SourceDefinition roundTrip(const SourceDefinition& definition) {
    std::string document;
    std::string error;
    EXPECT_EQ(writeSourceXml(definition, document, error), 0) << error;
    SourceDefinition read;
    EXPECT_EQ(readSourceXml(document, read, error), 0) << error;
    return read;
}

TEST(SourceXml, ExportWritesTheGoldenDocumentAndImportReadsTheSameDefinition) {
    std::string document;
    std::string error;
    ASSERT_EQ(writeSourceXml(webDefinition(), document, error), 0) << error;
    test::expectGolden("datasource/golden/source.xml", document);
    expectSame(roundTrip(webDefinition()), webDefinition());

    // No field names: an empty fields element, read back as no field names.
    SourceDefinition bare = webDefinition();
    bare.fields.clear();
    ASSERT_EQ(writeSourceXml(bare, document, error), 0);
    EXPECT_NE(document.find("<fields/></source>"), std::string::npos) << document;
    expectSame(roundTrip(bare), bare);
    // Every code keeps its number, also those without a type name.
    bare.type = sourceTypeFromCode(0xFFFFFFFF);
    expectSame(roundTrip(bare), bare);
}

TEST(SourceXml, EveryByteATextCanHoldSurvivesTheRoundTrip) {
    // Windows-1252 bytes, the five it leaves unassigned and the control characters included;
    // attribute values with line ends or tabs must not come back as blanks.
    std::string all;
    for (int byte = 1; byte < 256; ++byte) all += static_cast<char>(byte);
    SourceDefinition definition;
    definition.name = all;
    definition.regexp = all;
    definition.connect = all;
    definition.backup = all;
    definition.fields = {all, "\xE9t\xE9", "\x80", ""};
    expectSame(roundTrip(definition), definition);
}

TEST(SourceXml, ImportReadsOlderDocumentsWithTheirTolerance) {
    struct Row {
        const char* document;
        const char* name;
        SourceType type;
        FieldNames fields;
    };
    const Row rows[] = {
        // Section names ignore case, the names inside do not matter, the last section counts.
        {"<source name='a' type='3'><fields><field name='x'/></fields>"
         "<FIELDS><f name='y'/>text<field/></FIELDS></source>",
         "a", SourceType::Udp, {"y", ""}},
        // Missing attributes are empty; type is read as atoi reads it.
        {"<source/>", "", SourceType::None, {}},
        {"<source type=' 4 and more'/>", "", SourceType::Odbc, {}},
        {"<source type='COM'/>", "", SourceType::None, {}},
        {"<source type='99999999999'/>", "", sourceTypeFromCode(INT_MAX), {}},
        // A DOCTYPE is skipped: its entities, internal or external, are never expanded.
        {"<!DOCTYPE source [<!ENTITY e 'boom'><!ENTITY x SYSTEM 'file:///etc/hostname'>]>"
         "<source name='&e;&x;&amp;'/>",
         "&e;&x;&", SourceType::None, {}},
        // UTF-8 becomes Windows-1252.
        {"<?xml version='1.0' encoding='UTF-8'?><source name='\xE2\x82\xAC \xC3\xA9'/>",
         "\x80 \xE9", SourceType::None, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.document);
        SourceDefinition read;
        std::string error;
        ASSERT_EQ(readSourceXml(row.document, read, error), 0) << error;
        EXPECT_EQ(read.name, row.name);
        EXPECT_EQ(read.type, row.type);
        EXPECT_EQ(read.fields, row.fields);
    }
}

TEST(SourceXml, ImportRefusesBadDocumentsAndLeavesTheDefinitionAsItWas) {
    const std::pair<std::string, const char*> rows[] = {
        {"<Source name='a'/>", "root element is not source"},
        {"<source name='a'>", "not a well-formed XML document"},
        {"", "not a well-formed XML document"},
        {"<source name='\xC4\x80'/>", "the attribute name of source"},         // U+0100
        {"<source><fields><field name='\xFF'/></fields></source>", "not UTF-8"},  // not UTF-8
        {"<source regexp='\xED\xA0\x80'/>", "the attribute regexp"},           // a surrogate
        {"<source name='a" + std::string(16 * 1024 * 1024, 'a') + "'/>", "larger than 16 MiB"},
    };
    for (const auto& [document, message] : rows) {
        SCOPED_TRACE(document.substr(0, 60));
        SourceDefinition read = webDefinition();
        std::string error;
        EXPECT_EQ(readSourceXml(document, read, error), 1);
        EXPECT_NE(error.find(message), std::string::npos) << error;
        EXPECT_EQ(error.rfind("Data source can not be imported: ", 0), 0u) << error;
        expectSame(read, webDefinition());
    }
    // A NUL byte cannot be written into a document: refused rather than cut short.
    SourceDefinition definition = webDefinition();
    definition.connect = std::string("a\0b", 3);
    std::string document;
    std::string error;
    EXPECT_EQ(writeSourceXml(definition, document, error), 1);
    EXPECT_NE(error.find("connect"), std::string::npos) << error;
}

}  // namespace
}  // namespace tg
