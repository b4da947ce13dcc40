#include "diagram/diagram_definition.h"

namespace tg {

static_assert(kItemKinds[kFilterItems] == &kFilterKind && kItemKinds[kGroupItems] == &kGroupKind &&
              kItemKinds[kAxisItems] == &kAxisKind);

DiagramDefinition definitionOf(const Diagram& diagram) {
    DiagramDefinition definition;
    definition.name = diagram.name();
    definition.dataSource = diagram.dataSourceName();
    for (std::size_t k = 0; k < kItemKinds.size(); ++k) {
        definition.items[k] = diagram.items(*kItemKinds[k]);
    }
    return definition;
}

void applyDefinition(Diagram& diagram, const DiagramDefinition& definition) {
    // A source that does not exist yet is allowed: the diagram runs once it does.
    (void)diagram.setDataSource(definition.dataSource);
    for (std::size_t k = 0; k < kItemKinds.size(); ++k) {
        if (!definition.items[k]) continue;
        const ItemKind& kind = *kItemKinds[k];
        // Deleting an item just listed finds it; setItem's result only says it was new.
        for (const std::string& name : diagram.itemNames(kind)) (void)diagram.deleteItem(kind, name);
        for (const ItemValue& item : *definition.items[k]) {
            (void)diagram.setItem(kind, item.name, {item.field, item.regexp, item.setting});
        }
    }
}

}  // namespace tg
