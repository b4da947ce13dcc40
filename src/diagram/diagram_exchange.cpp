#include "diagram/diagram_exchange.h"

#include <algorithm>
#include <memory>

#include "datasource/source_edit.h"
#include "diagram/diagram_xml.h"

namespace tg {
namespace {

constexpr const char* kItemNouns[] = {"filter", "group", "axis"};
constexpr const char* kNotUnique[] = {"Filter names arn't unique", "Group names arn't unique",
                                      "Axis names arn't unique"};

std::string diagramNameMessage(SourceFieldError error) {
    switch (error) {
        case SourceFieldError::NameEmpty:
            return "Plese fill diagram name";
        case SourceFieldError::NameNotKey:
            return "Diagram name can not contain a backslash";
        default:
            return "Diagram with such name already exists";
    }
}

// The store keeps every item under a key named by it, as it keeps diagrams and sources.
std::string itemNamesError(const DiagramDefinition& definition) {
    for (std::size_t k = 0; k < definition.items.size(); ++k) {
        if (!definition.items[k]) continue;
        std::vector<std::string> seen;
        for (const ItemValue& item : *definition.items[k]) {
            switch (checkSourceName(item.name, {}, seen)) {
                case SourceFieldError::None:
                    break;
                case SourceFieldError::NameEmpty:
                    return std::string("Diagram can not be imported: a ") + kItemNouns[k] +
                           " has no name";
                case SourceFieldError::NameNotKey:
                    return std::string("Diagram can not be imported: the ") + kItemNouns[k] +
                           " name " + item.name + " holds a backslash";
                default:
                    return kNotUnique[k];
            }
            seen.push_back(item.name);
        }
    }
    return {};
}

}  // namespace

std::string rewriteDiagramQuestion(std::string_view name) {
    std::string question(kRewriteDiagramQuestion);
    question += ' ';
    question += name;
    return question;
}

int exportDiagram(DiagramManager& diagrams, std::string_view name, std::string& document,
                  std::string& error) {
    DiagramDefinition definition;
    {
        const DiagramHandle diagram = diagrams.acquire(name);
        if (!diagram) {
            error = "no diagram " + std::string(name);
            return 1;
        }
        definition = definitionOf(*diagram);
    }
    return writeDiagramXml(definition, document, error);
}

int importDiagram(DiagramManager& diagrams, ConfigStore& store, SourceManager& sources,
                  std::string_view document, const ExchangeQuestion& ask, std::string& name,
                  std::string& error) {
    error.clear();
    DiagramDefinition definition;
    if (readDiagramXml(document, definition, error) != 0) return 1;

    const std::vector<std::string> names = diagrams.names();
    const bool exists = std::find(names.begin(), names.end(), definition.name) != names.end();
    const SourceFieldError nameError =
        checkSourceName(definition.name, exists ? definition.name : std::string_view(), names);
    if (nameError != SourceFieldError::None) {
        error = diagramNameMessage(nameError);
        return 1;
    }
    error = itemNamesError(definition);
    if (!error.empty()) return 1;
    if (exists) {
        if (!ask(rewriteDiagramQuestion(definition.name))) return 1;
        if (diagrams.remove(definition.name) != 0) {
            error = "Diagram can not be imported: the diagram " + definition.name + " is in use";
            return 1;
        }
    }

    auto diagram = std::make_unique<Diagram>(definition.name, store, sources);
    applyDefinition(*diagram, definition);
    diagram->saveDefinition();
    diagrams.add(std::move(diagram));
    name = definition.name;
    return 0;
}

}  // namespace tg
