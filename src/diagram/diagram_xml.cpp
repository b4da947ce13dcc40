#include "diagram/diagram_xml.h"

#include "datasource/definition_xml.h"

namespace tg {
namespace {

// The document's names for each kind of item, in the order of DiagramDefinition::items.
struct Section {
    const char* name;     // the section element
    const char* element;  // one item inside it
    const char* setting;  // the attribute of the item's setting; nullptr for none
};

constexpr Section kSections[] = {
    {"filters", "filter", "inv"},
    {"groups", "group", nullptr},
    {"yaxises", "yaxis", "oper"},
};
static_assert(std::size(kSections) == std::tuple_size_v<decltype(DiagramDefinition::items)>);

bool putItem(DefinitionXml& xml, pugi::xml_node element, const Section& section,
             const ItemValue& item) {
    bool ok = xml.put(element, "name", item.name) && xml.put(element, "datasource", item.field) &&
              xml.put(element, "regexp", item.regexp);
    if (ok && section.setting) ok = xml.put(element, section.setting, low16Text(item.setting));
    return ok;
}

bool getItem(DefinitionXml& xml, pugi::xml_node element, const Section& section,
             ItemValue& item) {
    std::string setting;
    const bool ok = xml.get(element, "name", item.name) &&
                    xml.get(element, "datasource", item.field) &&
                    xml.get(element, "regexp", item.regexp) &&
                    (!section.setting || xml.get(element, section.setting, setting));
    item.setting = static_cast<std::uint32_t>(leadingNumber(setting));
    return ok;
}

}  // namespace

int writeDiagramXml(const DiagramDefinition& definition, std::string& document,
                    std::string& error) {
    DefinitionXml xml;
    pugi::xml_node root = xml.startDocument("diagram configuration file", "diagram");
    bool ok = xml.put(root, "name", definition.name) &&
              xml.put(root, "datasource", definition.dataSource);
    for (std::size_t k = 0; ok && k < std::size(kSections); ++k) {
        pugi::xml_node section = root.append_child(kSections[k].name);
        if (!definition.items[k]) continue;
        for (const ItemValue& item : *definition.items[k]) {
            ok = putItem(xml, section.append_child(kSections[k].element), kSections[k], item);
            if (!ok) break;
        }
    }
    if (!ok) {
        error = "Diagram can not be exported: " + xml.error();
        return 1;
    }
    document = xml.text();
    return 0;
}

int readDiagramXml(std::string_view document, DiagramDefinition& definition, std::string& error) {
    DefinitionXml xml;
    if (!xml.parse(document)) {
        error = "Diagram can not be imported: " + xml.error();
        return 1;
    }
    const pugi::xml_node root = xml.root("diagram");
    if (!root) {
        error = "Diagram can not be imported: the document's root element is not diagram";
        return 1;
    }
    DiagramDefinition read;
    bool ok = xml.get(root, "name", read.name) && xml.get(root, "datasource", read.dataSource);
    for (pugi::xml_node child : root.children()) {
        for (std::size_t k = 0; ok && k < std::size(kSections); ++k) {
            if (!isNamedIgnoringCase(child, kSections[k].name)) continue;
            auto& items = read.items[k].emplace();
            for (pugi::xml_node element : child.children()) {
                if (element.type() != pugi::node_element) continue;
                ok = getItem(xml, element, kSections[k], items.emplace_back());
                if (!ok) break;
            }
        }
    }
    if (!ok) {
        error = "Diagram can not be imported: " + xml.error();
        return 1;
    }
    definition = std::move(read);
    return 0;
}

}  // namespace tg
