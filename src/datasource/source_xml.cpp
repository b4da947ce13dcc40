#include "datasource/source_xml.h"

#include "datasource/definition_xml.h"

namespace tg {

int writeSourceXml(const SourceDefinition& definition, std::string& document,
                   std::string& error) {
    DefinitionXml xml;
    pugi::xml_node source = xml.startDocument("data source file", "source");
    pugi::xml_node fields = source.append_child("fields");
    for (const std::string& name : definition.fields) {
        (void)xml.put(fields.append_child("field"), "name", name);  // the first failure is kept
    }
    (void)xml.put(source, "name", definition.name);
    (void)xml.put(source, "regexp", definition.regexp);
    // Signed, so that atoi reads every code back as it was.
    (void)xml.put(source, "type", std::to_string(static_cast<std::int32_t>(definition.type)));
    (void)xml.put(source, "connect", definition.connect);
    (void)xml.put(source, "backup", definition.backup);
    if (!xml.error().empty()) {
        error = "Data source can not be exported: " + xml.error();
        return 1;
    }
    document = xml.text();
    return 0;
}

int readSourceXml(std::string_view document, SourceDefinition& definition, std::string& error) {
    DefinitionXml xml;
    if (!xml.parse(document)) {
        error = "Data source can not be imported: " + xml.error();
        return 1;
    }
    const pugi::xml_node root = xml.root("source");
    if (!root) {
        error = "Data source can not be imported: the document's root element is not source";
        return 1;
    }
    SourceDefinition read;
    std::string type;
    bool ok = xml.get(root, "type", type) && xml.get(root, "name", read.name) &&
              xml.get(root, "regexp", read.regexp) && xml.get(root, "connect", read.connect) &&
              xml.get(root, "backup", read.backup);
    read.type = sourceTypeFromCode(static_cast<std::uint32_t>(leadingNumber(type)));
    for (pugi::xml_node section : root.children()) {
        if (!ok || !isNamedIgnoringCase(section, "fields")) continue;
        read.fields.clear();
        for (pugi::xml_node field : section.children()) {
            if (field.type() != pugi::node_element) continue;
            ok = xml.get(field, "name", read.fields.emplace_back());
            if (!ok) break;
        }
    }
    if (!ok) {
        error = "Data source can not be imported: " + xml.error();
        return 1;
    }
    definition = std::move(read);
    return 0;
}

}  // namespace tg
