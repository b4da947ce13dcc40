#include "diagram/diagram_definition.h"

namespace tg {

DiagramDefinition definitionOf(const Diagram& diagram) {
    DiagramDefinition definition;
    definition.name = diagram.name();
    definition.dataSource = diagram.dataSourceName();
    // An item deleted between listing and reading is left out.
    auto& filters = definition.items[kFilterItems].emplace();
    for (const std::string& name : diagram.filterNames()) {
        ItemValue item{name, {}, {}, 0};
        if (diagram.getFilter(name, item.field, item.regexp, item.setting) == 0) {
            filters.push_back(std::move(item));
        }
    }
    auto& groups = definition.items[kGroupItems].emplace();
    for (const std::string& name : diagram.groupNames()) {
        ItemValue item{name, {}, {}, 0};
        if (diagram.getGroup(name, item.field, item.regexp) == 0) groups.push_back(std::move(item));
    }
    auto& axes = definition.items[kAxisItems].emplace();
    for (const std::string& name : diagram.axisNames()) {
        ItemValue item{name, {}, {}, 0};
        AxisOper oper = AxisOper::Undefined;
        if (diagram.getAxis(name, item.field, item.regexp, oper) == 0) {
            item.setting = static_cast<std::uint32_t>(oper);
            axes.push_back(std::move(item));
        }
    }
    return definition;
}

void applyDefinition(Diagram& diagram, const DiagramDefinition& definition) {
    // A source that does not exist yet is allowed: the diagram runs once it does.
    (void)diagram.setDataSource(definition.dataSource);
    // The results of the set operations only say whether an item was new; deleting an item
    // just listed finds it.
    if (const auto& filters = definition.items[kFilterItems]) {
        for (const std::string& name : diagram.filterNames()) (void)diagram.deleteFilter(name);
        for (const ItemValue& item : *filters) {
            (void)diagram.setFilter(item.name, item.field, item.regexp, item.setting);
        }
    }
    if (const auto& groups = definition.items[kGroupItems]) {
        for (const std::string& name : diagram.groupNames()) (void)diagram.deleteGroup(name);
        for (const ItemValue& item : *groups) (void)diagram.setGroup(item.name, item.field, item.regexp);
    }
    if (const auto& axes = definition.items[kAxisItems]) {
        for (const std::string& name : diagram.axisNames()) (void)diagram.deleteAxis(name);
        for (const ItemValue& item : *axes) {
            (void)diagram.setAxis(item.name, item.field, item.regexp, operFromCode(item.setting));
        }
    }
}

}  // namespace tg
