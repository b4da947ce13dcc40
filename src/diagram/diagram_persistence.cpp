// A diagram's definition and data in the store, under diagrams\<name>. Every open creates the
// key it names and every read with a default writes the default back, so loading leaves the
// whole layout in the store. Store failures are not reported: memory changes regardless.

#include <atomic>

#include "config/config_key.h"
#include "config/config_transaction.h"
#include "diagram/diagram.h"
#include "diagram/diagram_keys.h"

namespace tg {
namespace {

// Opens (creating) one item's key; false when the item has no key of its own.
bool openItemKey(ConfigKey& key, std::string_view diagram, std::string_view folder,
                 std::string_view item) {
    return hasOwnKey(diagram) && hasOwnKey(item) && key.open(itemKeyPath(diagram, folder, item));
}

}  // namespace

void Diagram::saveDefinition() {
    std::lock_guard lock(m_lock);
    if (!hasOwnKey(m_name)) return;
    ConfigKey key(m_store);
    // Without the key the setters write nothing: store failures are silent.
    (void)key.open(diagramKeyPath(m_name));
    key.setString("datasource", m_dataSource);
    for (const ItemKind* kind : kItemKinds) saveItems(*kind);
}

void Diagram::saveItems(const ItemKind& kind) const {
    std::lock_guard lock(m_lock);
    withItems(*this, kind.type, [&](const auto& items) {
        for (const auto& item : items) saveItem(kind, *item, item->setting());
    });
}

void Diagram::saveItem(const ItemKind& kind, const DiagramItem& item, std::uint32_t setting) const {
    std::lock_guard lock(m_lock);
    ConfigKey key(m_store);
    if (!openItemKey(key, m_name, kind.folder, item.name())) return;
    key.setString("datasource", item.field());
    key.setString("regexp", item.regexp());
    if (kind.setting != ItemSetting::None) key.setDword(kind.settingValue, setting);
}

// One item per sub-key of the kind's folder, in the store's enumeration order; a missing folder
// is created empty. An empty expression becomes ".*" in setRegexp.
void Diagram::loadItems(const ItemKind& kind) {
    std::lock_guard lock(m_lock);
    ConfigKey folderKey(m_store);
    // Without the key there are no items to load; without an item's key it keeps defaults.
    (void)folderKey.open(folderKeyPath(m_name, kind.folder));
    withItems(*this, kind.type, [&](auto& items) {
        for (const std::string& name : folderKey.subKeyNames()) {
            using Item = typename std::decay_t<decltype(items)>::value_type::element_type;
            auto& item = items.emplace_back(std::make_unique<Item>(name));
            ConfigKey key(m_store);
            (void)key.open(itemKeyPath(m_name, kind.folder, name));
            if (kind.setting != ItemSetting::None) {
                item->setSetting(key.getDword(kind.settingValue, 0));
            }
            item->setField(key.getString("datasource", ""));
            item->setRegexp(key.getString("regexp", ""));
        }
    });
}

void Diagram::loadDefinition(std::string_view name) {
    std::lock_guard lock(m_lock);
    m_name.assign(name);
    if (!hasOwnKey(m_name)) return;  // would read the diagrams key itself as a diagram
    ConfigKey key(m_store);
    // Without the key every value reads its default.
    (void)key.open(diagramKeyPath(m_name));
    m_dataSource = key.getString("datasource", "Unknown");
    for (const ItemKind* kind : kItemKinds) loadItems(*kind);
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

void Diagram::eraseItem(const ItemKind& kind, std::string_view itemName) const {
    std::lock_guard lock(m_lock);
    if (!hasOwnKey(m_name) || !hasOwnKey(itemName)) return;  // would delete the whole folder
    ConfigKey key(m_store);
    if (key.openExisting(folderKeyPath(m_name, kind.folder))) eraseTree(key, itemName);
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
        if (!openItemKey(key, m_name, kAxisKind.folder, axis->name())) continue;
        TextList texts = splitEscapedTexts(key.getString("strdata", ""), separator);
        axis->data = splitDoubles(key.getString("data", ""));
        axis->count = splitLongs(key.getString("count", ""));
        if (axis->showsTexts()) {
            axis->strdata = texts.strings();
        } else {
            // Texts that are only the slot's number (as we store them) are written again.
            axis->storedTexts = withoutNumberTexts(texts, axis->data);
        }
    }
    ConfigKey key(m_store);
    // Without the key the data reads empty.
    (void)key.open(diagramKeyPath(m_name));
    m_labels.assign(splitEscapedTexts(key.getString("xaxis", ""), separator));
    m_recent.clear();
}

}  // namespace tg
