// A diagram's definition and data in the store, under diagrams\<name>. Every open creates the
// key it names and every read with a default writes the default back, so loading leaves the
// whole layout in the store. Store failures are not reported: memory changes regardless.

#include <atomic>

#include "config/config_key.h"
#include "config/config_transaction.h"
#include "datasource/list_text.h"
#include "diagram/diagram.h"
#include "diagram/diagram_keys.h"

namespace tg {
namespace {

// Opens (creating) one item's key; false when the item has no key of its own.
bool openItemKey(ConfigKey& key, std::string_view diagram, std::string_view folder,
                 std::string_view item) {
    return hasOwnKey(diagram) && hasOwnKey(item) && key.open(itemKeyPath(diagram, folder, item));
}

// The field and expression every item has; an empty expression becomes ".*" in setRegexp.
void loadBinding(ConfigKey& key, DiagramItem& item) {
    item.setField(key.getString("datasource", ""));
    item.setRegexp(key.getString("regexp", ""));
}

// One item per sub-key of `folder`, in the store's enumeration order; a missing folder is
// created empty.
template <class Item, class Load>
void loadItems(ConfigStore& store, std::string_view diagram, std::string_view folder,
               std::vector<std::unique_ptr<Item>>& items, Load load) {
    ConfigKey folderKey(store);
    // Without the key there are no items to load; without an item's key it keeps defaults.
    (void)folderKey.open(folderKeyPath(diagram, folder));
    for (const std::string& name : folderKey.subKeyNames()) {
        auto item = std::make_unique<Item>(name);
        ConfigKey key(store);
        (void)key.open(itemKeyPath(diagram, folder, name));
        load(key, *item);
        items.push_back(std::move(item));
    }
}

}  // namespace

void Diagram::saveDefinition() {
    std::lock_guard lock(m_lock);
    if (!hasOwnKey(m_name)) return;
    ConfigKey key(m_store);
    // Without the key the setters write nothing: store failures are silent.
    (void)key.open(diagramKeyPath(m_name));
    key.setString("datasource", m_dataSource);
    for (const auto& filter : m_filters) saveItem(*filter);
    for (const auto& group : m_groups) saveItem(*group);
    for (const auto& axis : m_axes) saveItem(*axis);
}

void Diagram::saveItem(const Filter& filter) const {
    std::lock_guard lock(m_lock);
    ConfigKey key(m_store);
    if (!openItemKey(key, m_name, kFiltersFolder, filter.name())) return;
    key.setDword("inv", filter.invert);
    key.setString("datasource", filter.field());
    key.setString("regexp", filter.regexp());
}

void Diagram::saveItem(const Group& group) const {
    std::lock_guard lock(m_lock);
    ConfigKey key(m_store);
    if (!openItemKey(key, m_name, kGroupsFolder, group.name())) return;
    key.setString("datasource", group.field());
    key.setString("regexp", group.regexp());
}

void Diagram::saveItem(const Axis& axis) const {
    std::lock_guard lock(m_lock);
    ConfigKey key(m_store);
    if (!openItemKey(key, m_name, kAxesFolder, axis.name())) return;
    key.setString("datasource", axis.field());
    key.setString("regexp", axis.regexp());
    key.setDword("oper", static_cast<std::uint32_t>(axis.oper));
}

void Diagram::loadDefinition(std::string_view name) {
    std::lock_guard lock(m_lock);
    m_name.assign(name);
    if (!hasOwnKey(m_name)) return;  // would read the diagrams key itself as a diagram
    ConfigKey key(m_store);
    // Without the key every value reads its default.
    (void)key.open(diagramKeyPath(m_name));
    m_dataSource = key.getString("datasource", "Unknown");
    loadItems(m_store, m_name, kFiltersFolder, m_filters, [](ConfigKey& itemKey, Filter& filter) {
        filter.invert = itemKey.getDword("inv", 0);
        loadBinding(itemKey, filter);
    });
    loadItems(m_store, m_name, kGroupsFolder, m_groups,
              [](ConfigKey& itemKey, Group& group) { loadBinding(itemKey, group); });
    loadItems(m_store, m_name, kAxesFolder, m_axes, [](ConfigKey& itemKey, Axis& axis) {
        loadBinding(itemKey, axis);
        axis.oper = operFromCode(itemKey.getDword("oper", 0));
    });
    setRegExpOptions(m_regexpOptions);
}

namespace {

std::atomic<std::uint64_t> g_storedKeyErasures{0};

// Counted before the erase: a checkpoint that finds the count unchanged once it holds the
// store has copied its data after every erase that already happened.
void eraseTree(ConfigKey& parent, std::string_view name) {
    g_storedKeyErasures.fetch_add(1);
    // A tree that is missing is as good as erased; store failures are silent.
    (void)parent.deleteTree(name);
}

}  // namespace

std::uint64_t Diagram::storedKeyErasures() { return g_storedKeyErasures.load(); }

void Diagram::eraseItem(std::string_view folder, std::string_view itemName) const {
    std::lock_guard lock(m_lock);
    if (!hasOwnKey(m_name) || !hasOwnKey(itemName)) return;  // would delete the whole folder
    ConfigKey key(m_store);
    if (key.openExisting(folderKeyPath(m_name, folder))) eraseTree(key, itemName);
}

void Diagram::eraseStored(ConfigStore& store, std::string_view name) {
    if (!hasOwnKey(name)) return;
    ConfigKey diagrams(store);
    if (diagrams.openExisting(kDiagramsKey)) eraseTree(diagrams, name);
}

void Diagram::saveData() {
    const DiagramData data = copyData();
    if (!hasOwnKey(data.name)) return;
    // One batch, so that the x labels and every axis's lists always belong together.
    ConfigTransaction transaction(m_store);
    writeDiagramData(m_store, data);
    (void)transaction.commit();  // a failed batch leaves the previous data whole
}

void Diagram::loadData() {
    std::lock_guard lock(m_lock);
    if (!hasOwnKey(m_name)) return;
    const char separator = m_store.listSeparator();
    for (const auto& axis : m_axes) {
        ConfigKey key(m_store);
        if (!openItemKey(key, m_name, kAxesFolder, axis->name())) continue;
        axis->strdata = splitEscapedList(key.getString("strdata", ""), separator);
        axis->data = splitDoubles(key.getString("data", ""));
        axis->count = splitLongs(key.getString("count", ""));
    }
    ConfigKey key(m_store);
    // Without the key the data reads empty.
    (void)key.open(diagramKeyPath(m_name));
    m_xLabels = splitEscapedList(key.getString("xaxis", ""), separator);
    m_recent.clear();
    rebuildLabelIndex();
}

}  // namespace tg
