#include "web/diagram_edit_page.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "datasource/source_edit.h"
#include "diagram/axis_oper.h"
#include "web/page_support.h"
#include "web/script_escape.h"

namespace tg {

namespace {

enum class ItemKind { Group, Filter, Axis };

struct ItemInfo {
    ItemKind kind;
    std::string_view word;      // in action and parameter names: "create_group", "group_name"
    std::string_view baseName;  // of new items: "Group", "Group 2", ...
};

constexpr ItemInfo kItems[] = {
    {ItemKind::Group, "group", "Group"},
    {ItemKind::Filter, "filter", "Filter"},
    {ItemKind::Axis, "axis", "Axis"},
};

using OptionalText = std::optional<std::string_view>;

// Whether `name` may be given to one of `names` (a diagram among the diagrams, an item among
// the items of its kind): the store keeps it under a key of its own, which it compares without
// regard to ASCII case, so no other of them may have it in any letter case. `self` is the
// current name of the one being renamed, which may change the case of its own name.
bool isFitName(const std::vector<std::string>& names, std::string_view name,
               std::string_view self = {}) {
    if (name.empty() || name.find('\\') != std::string_view::npos) return false;
    return std::none_of(names.begin(), names.end(), [&](const std::string& other) {
        return other != self && sameStoredName(other, name);
    });
}

// The base name, else the base name, a blank and the smallest number from 2 up that is free.
std::string defaultName(std::string_view base, const std::vector<std::string>& names) {
    std::string name(base);
    for (unsigned number = 2; !isFitName(names, name); ++number) {
        name = std::string(base) + ' ' + std::to_string(number);
    }
    return name;
}

bool contains(const std::vector<std::string>& names, std::string_view name) {
    return std::find(names.begin(), names.end(), name) != names.end();
}

std::vector<std::string> itemNames(const Diagram& diagram, ItemKind kind) {
    switch (kind) {
        case ItemKind::Group:
            return diagram.groupNames();
        case ItemKind::Filter:
            return diagram.filterNames();
        case ItemKind::Axis:
            break;
    }
    return diagram.axisNames();
}

// Creates or changes an item; its invert flag or operation stays as it is.
void setItem(Diagram& diagram, ItemKind kind, std::string_view name, OptionalText field,
             OptionalText regexp) {
    switch (kind) {
        case ItemKind::Group:
            (void)diagram.setGroup(name, field, regexp);
            return;
        case ItemKind::Filter:
            (void)diagram.setFilter(name, field, regexp, Diagram::kKeepInvert);
            return;
        case ItemKind::Axis:
            (void)diagram.setAxis(name, field, regexp, AxisOper::Undefined);
            return;
    }
}

void deleteItem(Diagram& diagram, ItemKind kind, std::string_view name) {
    switch (kind) {
        case ItemKind::Group:
            (void)diagram.deleteGroup(name);
            return;
        case ItemKind::Filter:
            (void)diagram.deleteFilter(name);
            return;
        case ItemKind::Axis:
            (void)diagram.deleteAxis(name);
            return;
    }
}

void renameItem(Diagram& diagram, ItemKind kind, std::string_view oldName,
                std::string_view newName) {
    switch (kind) {
        case ItemKind::Group:
            (void)diagram.renameGroup(oldName, newName);
            return;
        case ItemKind::Filter:
            (void)diagram.renameFilter(oldName, newName);
            return;
        case ItemKind::Axis:
            (void)diagram.renameAxis(oldName, newName);
            return;
    }
}

// Whether a change action may be carried out on the item named `name`: it exists, or the
// change creates it under a name that is fit for it.
bool mayChange(const Diagram& diagram, ItemKind kind, const std::string& name) {
    if (name.empty()) return false;
    const std::vector<std::string> names = itemNames(diagram, kind);
    return contains(names, name) || isFitName(names, name);
}

// Carries out `action` when it is one of the item kind's; false when it is not.
bool carryOutItemAction(const ItemInfo& item, const std::string& action,
                        const RequestVariables& request, Diagram& diagram) {
    const std::string word(item.word);
    const std::string nameParameter = word + "_name";
    const std::string name = requestValue(request, nameParameter);
    if (action == "create_" + word) {
        const FieldNames fields = diagram.fieldNames();
        setItem(diagram, item.kind, defaultName(item.baseName, itemNames(diagram, item.kind)),
                fields.empty() ? std::string_view("undefined") : std::string_view(fields.front()),
                ".*");
        diagram.saveDefinition();
    } else if (action == "delete_" + word) {
        deleteItem(diagram, item.kind, name);
    } else if (action == "rename_" + word) {
        const std::string oldName = requestValue(request, "old_" + nameParameter);
        const std::string newName = requestValue(request, "new_" + nameParameter);
        if (oldName != newName && isFitName(itemNames(diagram, item.kind), newName, oldName)) {
            renameItem(diagram, item.kind, oldName, newName);
        }
    } else if (action == "change_" + word + "_field") {
        if (hasValue(request, "field_name") && mayChange(diagram, item.kind, name)) {
            setItem(diagram, item.kind, name, requestValue(request, "field_name"), std::nullopt);
        }
    } else if (action == "change_" + word + "_regexp") {
        const std::string regexpParameter = word + "_regexp";
        if (hasValue(request, regexpParameter) && mayChange(diagram, item.kind, name)) {
            setItem(diagram, item.kind, name, std::nullopt, requestValue(request, regexpParameter));
        }
    } else if (item.kind == ItemKind::Filter && action == "change_filter_invert") {
        // filter_invert may be empty (atoi gives 0), but must be there.
        const auto invert = request.find("filter_invert");
        if (invert != request.end() && mayChange(diagram, item.kind, name)) {
            (void)diagram.setFilter(name, std::nullopt, std::nullopt,
                                    static_cast<std::uint32_t>(decimalValue(invert->second)));
        }
    } else if (item.kind == ItemKind::Axis && action == "change_axis_oper") {
        // An unknown operation name gives Undefined, which leaves the operation as it is.
        if (hasValue(request, "axis_oper") && mayChange(diagram, item.kind, name)) {
            (void)diagram.setAxis(name, std::nullopt, std::nullopt,
                                  operFromName(requestValue(request, "axis_oper")));
        }
    } else {
        return false;
    }
    return true;
}

}  // namespace

bool DiagramEditPage::prepare(const RequestVariables& request) {
    copyEditVariable(*this, request);
    const std::string name = requestValue(request, "name");
    const std::string action = requestValue(request, "action");
    DiagramHandle diagram = m_diagrams.acquire(name);
    if (action == "new") diagram = createDiagram();
    if (!diagram) {
        setError(diagramNotFound(name), ErrorTarget::DiagramList);
        return false;
    }
    if (action != "new") carryOut(action, request, *diagram);
    const std::string diagramName = diagram->name();
    setVariable("DIAGRAMNAME", diagramName);
    setVariable("DIAGRAMNAMEESCAPED", escapeForScript(diagramName));
    setVariable("DATASOURCENAME", diagram->dataSourceName());
    fillLists(*diagram);
    return true;
}

DiagramHandle DiagramEditPage::createDiagram() {
    const std::string name = defaultName("Diagram", m_diagrams.names());
    if (m_diagrams.create(name) != 0) return {};
    DiagramHandle diagram = m_diagrams.acquire(name);
    if (diagram) diagram->saveDefinition();
    return diagram;
}

void DiagramEditPage::carryOut(const std::string& action, const RequestVariables& request,
                               Diagram& diagram) {
    if (action == "rename_diagram") {
        const std::string newName = requestValue(request, "new_name");
        const std::string current = diagram.name();
        if (newName != current && isFitName(m_diagrams.names(), newName, current)) {
            (void)diagram.rename(newName);
            diagram.saveDefinition();
        }
        return;
    }
    if (action == "change_datasource") {
        if (hasValue(request, "datasource_name")) {
            (void)diagram.setDataSource(requestValue(request, "datasource_name"));
            diagram.saveDefinition();
        }
        return;
    }
    for (const ItemInfo& item : kItems) {
        if (carryOutItemAction(item, action, request, diagram)) return;
    }
}

void DiagramEditPage::fillLists(const Diagram& diagram) {
    std::string field;
    std::string regexp;
    for (const std::string& name : diagram.groupNames()) {
        if (diagram.getGroup(name, field, regexp) == 0) m_groups.push_back({name, field, regexp});
    }
    std::uint32_t invert = 0;
    for (const std::string& name : diagram.filterNames()) {
        if (diagram.getFilter(name, field, regexp, invert) == 0) {
            m_filters.push_back({name, field, regexp, invert != 0 ? "checked" : ""});
        }
    }
    AxisOper oper = AxisOper::Undefined;
    for (const std::string& name : diagram.axisNames()) {
        if (diagram.getAxis(name, field, regexp, oper) == 0) {
            m_axes.push_back({name, field, regexp, std::string(operName(oper))});
        }
    }
}

bool DiagramEditPage::expandRecord(std::string_view block, RecordKind kind, std::string& out) {
    switch (kind) {
        case RecordKind::AxisRecord:
            return renderRows(*this, block, {"AXISNAME", "AXISFIELDNAME", "AXISREGEXP", "AXISOPER"},
                              m_axes, out);
        case RecordKind::GroupRecord:
            return renderRows(*this, block, {"GROUPNAME", "GROUPFIELDNAME", "GROUPREGEXP"},
                              m_groups, out);
        case RecordKind::FilterRecord:
            return renderRows(*this, block,
                              {"FILTERNAME", "FILTERFIELDNAME", "FILTERREGEXP", "FILTERINV"},
                              m_filters, out);
        default:
            return true;
    }
}

RecordKind DiagramEditPage::recordKindOf(std::string_view openToken) {
    return findRecordKind(
        openToken, {RecordKind::AxisRecord, RecordKind::GroupRecord, RecordKind::FilterRecord});
}

}  // namespace tg
