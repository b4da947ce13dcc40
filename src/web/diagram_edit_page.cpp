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

// Whether a change action may be carried out on the item named `name`: it exists, or the
// change creates it under a name that is fit for it.
bool mayChange(const Diagram& diagram, const ItemKind& kind, const std::string& name) {
    if (name.empty()) return false;
    const std::vector<std::string> names = diagram.itemNames(kind);
    return contains(names, name) || isFitName(names, name);
}

// The setting the request asks for in the kind's setting parameter; nothing when it asks for
// none.
std::optional<std::uint32_t> requestedSetting(const ItemKind& kind,
                                              const RequestVariables& request) {
    const std::string parameter(kind.settingParameter);
    switch (kind.setting) {
        case ItemSetting::Invert: {
            // May be empty (atoi gives 0), but must be there.
            const auto value = request.find(parameter);
            if (value == request.end()) return std::nullopt;
            return static_cast<std::uint32_t>(decimalValue(value->second));
        }
        case ItemSetting::Operation:
            // An unknown operation name gives Undefined, which leaves the operation as it is.
            if (!hasValue(request, parameter)) return std::nullopt;
            return static_cast<std::uint32_t>(operFromName(requestValue(request, parameter)));
        case ItemSetting::None:
            break;
    }
    return std::nullopt;
}

// A setting as the rows show it: a checkbox's "checked", an operation's name.
std::string settingText(const ItemKind& kind, std::uint32_t setting) {
    switch (kind.setting) {
        case ItemSetting::Invert:
            return setting != 0 ? "checked" : "";
        case ItemSetting::Operation:
            return std::string(operName(operFromCode(setting)));
        case ItemSetting::None:
            break;
    }
    return {};
}

// Carries out `action` when it is one of the item kind's; false when it is not.
bool carryOutItemAction(const ItemKind& kind, const std::string& action,
                        const RequestVariables& request, Diagram& diagram) {
    const std::string word(kind.word);
    const std::string nameParameter = word + "_name";
    const std::string name = requestValue(request, nameParameter);
    if (action == "create_" + word) {
        const FieldNames fields = diagram.fieldNames();
        const std::string field = fields.empty() ? "undefined" : fields.front();
        (void)diagram.setItem(kind, defaultName(kind.baseName, diagram.itemNames(kind)),
                              {field, ".*"});
        diagram.saveDefinition();
    } else if (action == "delete_" + word) {
        (void)diagram.deleteItem(kind, name);  // a missing item leaves nothing to do
    } else if (action == "rename_" + word) {
        const std::string oldName = requestValue(request, "old_" + nameParameter);
        const std::string newName = requestValue(request, "new_" + nameParameter);
        if (oldName != newName && isFitName(diagram.itemNames(kind), newName, oldName)) {
            (void)diagram.renameItem(kind, oldName, newName);  // likewise
        }
    } else if (action == "change_" + word + "_field") {
        const std::string field = requestValue(request, "field_name");
        if (!field.empty() && mayChange(diagram, kind, name)) {
            (void)diagram.setItem(kind, name, {field, std::nullopt});
        }
    } else if (action == "change_" + word + "_regexp") {
        const std::string regexp = requestValue(request, word + "_regexp");
        if (!regexp.empty() && mayChange(diagram, kind, name)) {
            (void)diagram.setItem(kind, name, {std::nullopt, regexp});
        }
    } else if (kind.setting != ItemSetting::None &&
               action == "change_" + std::string(kind.settingParameter)) {
        const std::optional<std::uint32_t> setting = requestedSetting(kind, request);
        if (setting && mayChange(diagram, kind, name)) {
            (void)diagram.setItem(kind, name, {std::nullopt, std::nullopt, *setting});
        }
    } else {
        return false;
    }
    return true;
}

// The record kind whose blocks carry the tag name `tag`; None when there is none.
RecordKind recordKindNamed(std::string_view tag) {
    for (int value = 1;; ++value) {
        const std::string_view name = recordTagName(static_cast<RecordKind>(value));
        if (name.empty()) return RecordKind::None;
        if (name == tag) return static_cast<RecordKind>(value);
    }
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
    for (const ItemKind* kind : kItemKinds) {
        if (carryOutItemAction(*kind, action, request, diagram)) return;
    }
}

void DiagramEditPage::fillLists(const Diagram& diagram) {
    for (std::size_t k = 0; k < kItemKinds.size(); ++k) {
        const ItemKind& kind = *kItemKinds[k];
        for (const ItemDefinition& item : diagram.items(kind)) {
            std::vector<std::string> row{item.name, item.field, item.regexp};
            if (kind.setting != ItemSetting::None) row.push_back(settingText(kind, item.setting));
            m_rows[k].push_back(std::move(row));
        }
    }
}

bool DiagramEditPage::expandRecord(std::string_view block, RecordKind kind, std::string& out) {
    for (std::size_t k = 0; k < kItemKinds.size(); ++k) {
        const ItemKind& item = *kItemKinds[k];
        if (item.record != recordTagName(kind)) continue;
        std::vector<std::string> variables{std::string(item.nameVariable),
                                           std::string(item.fieldVariable),
                                           std::string(item.regexpVariable)};
        if (item.setting != ItemSetting::None) variables.emplace_back(item.settingVariable);
        return renderRows(*this, block, variables, m_rows[k], out);
    }
    return true;
}

RecordKind DiagramEditPage::recordKindOf(std::string_view openToken) {
    for (const ItemKind* kind : kItemKinds) {
        if (openToken.find(kind->record) != std::string_view::npos) {
            return recordKindNamed(kind->record);
        }
    }
    return RecordKind::None;
}

}  // namespace tg
