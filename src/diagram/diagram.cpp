// A diagram's definition operations, running state and handles.

#include "diagram/diagram.h"

#include <algorithm>

#include "config/config_transaction.h"

namespace tg {

Diagram::Diagram(std::string name, ConfigStore& store, SourceManager& sources)
    : m_store(store), m_sources(sources), m_name(std::move(name)) {}

Diagram::~Diagram() {
    // Nothing to do when the source is gone already.
    (void)stop();
    saveData();
}

namespace {

template <class Items>
auto findItem(Items& items, std::string_view name) -> decltype(items.front().get()) {
    for (auto& item : items) {
        if (item->name() == name) return item.get();
    }
    return nullptr;
}

template <class Item>
ItemDefinition definitionOf(const Item& item) {
    return ItemDefinition{item.name(), item.field(), item.regexp(), item.setting()};
}

// Several store writes in one transaction: one flush to disk instead of one per value.
template <class Writes>
void saveBatched(ConfigStore& store, Writes writes) {
    ConfigTransaction transaction(store);
    writes();
    (void)transaction.commit();  // store failures are silent; memory is changed all the same
}

template <class Item>
bool eraseByName(std::vector<std::unique_ptr<Item>>& items, std::string_view name) {
    auto it = std::find_if(items.begin(), items.end(),
                           [&](const auto& item) { return item->name() == name; });
    if (it == items.end()) return false;
    items.erase(it);
    return true;
}

}  // namespace

std::string Diagram::name() const {
    std::lock_guard lock(m_lock);
    return m_name;
}

std::string Diagram::dataSourceName() const {
    std::lock_guard lock(m_lock);
    return m_dataSource;
}

int Diagram::start() {
    std::lock_guard run(m_runLock);
    SourceHandle source = m_sources.acquire(dataSourceName());
    if (!source) return 1;
    {
        std::lock_guard lock(m_lock);
        if (m_attached) return 1;
        m_attached = source.get();
    }
    source->attach(*this);  // outside m_lock: attaching takes the source's locks
    return 0;
}

int Diagram::stop() {
    std::lock_guard run(m_runLock);
    DataSource* attached = nullptr;
    {
        std::lock_guard lock(m_lock);
        attached = std::exchange(m_attached, nullptr);
    }
    if (attached) {
        attached->detach(*this);  // outside m_lock, so a delivery waiting for it can finish
        return 0;
    }
    return m_sources.acquire(dataSourceName()) ? 0 : 1;
}

bool Diagram::isRunning() const {
    std::lock_guard lock(m_lock);
    return m_attached != nullptr;
}

int Diagram::setDataSource(std::string_view name) {
    if (name == dataSourceName()) return 0;
    if (isRunning()) {
        // Detaching from a source that is gone leaves nothing to undo.
        (void)stop();
        clearData();
    }
    {
        std::lock_guard lock(m_lock);
        m_dataSource.assign(name);
    }
    // A missing source is allowed: the diagram runs once it exists.
    (void)start();
    return 0;
}

int Diagram::rename(std::string_view newName) {
    std::lock_guard lock(m_lock);
    eraseStored(m_store, m_name);
    m_name.assign(newName);
    saveDefinition();
    m_changes.fetch_add(1, std::memory_order_relaxed);  // the data is no longer stored
    requestCheckpoint();
    return 0;
}

void Diagram::setRegExpOptions(RegExpOptions options) {
    std::lock_guard lock(m_lock);
    m_regexpOptions = options;
    for (auto& filter : m_filters) filter->setRegExpOptions(options);
    for (auto& group : m_groups) group->setRegExpOptions(options);
    for (auto& axis : m_axes) axis->setRegExpOptions(options);
}

int Diagram::setItem(const ItemKind& kind, std::string_view name, const ItemChange& change) {
    std::lock_guard lock(m_lock);
    return withItems(*this, kind.type, [&](auto& items) {
        int result = 0;
        auto* item = findItem(items, name);
        if (!item) {
            using Item = std::remove_pointer_t<decltype(item)>;
            item = items.emplace_back(std::make_unique<Item>(std::string(name))).get();
            item->setRegExpOptions(m_regexpOptions);
            result = 1;
        }
        if (change.field) item->setField(*change.field);
        if (change.regexp) item->setRegexp(*change.regexp);
        if (change.setting != kKeepSetting) item->setSetting(change.setting);
        saveBatched(m_store, [&] { saveItem(kind, *item, item->setting()); });
        clearDataLocked();  // also empties every axis's slots
        requestCheckpoint();
        return result;
    });
}

int Diagram::deleteItem(const ItemKind& kind, std::string_view name) {
    std::lock_guard lock(m_lock);
    return withItems(*this, kind.type, [&](auto& items) {
        if (!findItem(items, name)) return 1;
        eraseItem(kind, name);
        eraseByName(items, name);
        clearDataLocked();
        requestCheckpoint();
        return 0;
    });
}

int Diagram::renameItem(const ItemKind& kind, std::string_view oldName, std::string_view newName) {
    std::lock_guard lock(m_lock);
    return withItems(*this, kind.type, [&](auto& items) {
        auto* item = findItem(items, oldName);
        if (!item) return 1;
        eraseItem(kind, oldName);
        item->setName(std::string(newName));
        saveBatched(m_store, [&] { saveItem(kind, *item, item->setting()); });
        m_changes.fetch_add(1, std::memory_order_relaxed);  // an axis's data went with its key
        requestCheckpoint();
        return 0;
    });
}

int Diagram::getItem(const ItemKind& kind, std::string_view name,
                     ItemDefinition& definition) const {
    std::lock_guard lock(m_lock);
    return withItems(*this, kind.type, [&](const auto& items) {
        const auto* item = findItem(items, name);
        if (!item) return 1;
        definition = definitionOf(*item);
        return 0;
    });
}

std::vector<ItemDefinition> Diagram::items(const ItemKind& kind) const {
    std::lock_guard lock(m_lock);
    return withItems(*this, kind.type, [](const auto& items) {
        std::vector<ItemDefinition> definitions;
        definitions.reserve(items.size());
        for (const auto& item : items) definitions.push_back(definitionOf(*item));
        return definitions;
    });
}

std::vector<std::string> Diagram::itemNames(const ItemKind& kind) const {
    std::lock_guard lock(m_lock);
    return withItems(*this, kind.type, [](const auto& items) {
        std::vector<std::string> names;
        names.reserve(items.size());
        for (const auto& item : items) names.push_back(item->name());
        return names;
    });
}

FieldNames Diagram::fieldNames() const {
    SourceHandle source = m_sources.acquire(dataSourceName());
    return source ? source->fieldNames() : FieldNames{};
}

namespace {

// The sizes of what copyData copies: the labels, then per axis its data, counts and texts.
struct CopySizes {
    std::size_t labels = 0;
    std::size_t labelChars = 0;
    struct Axis {
        std::size_t data = 0;
        std::size_t count = 0;
        std::size_t texts = 0;
        std::size_t textChars = 0;
    };
    std::vector<Axis> axes;
};

// A little more than was there: records may add labels before the copy takes the lock.
std::size_t withSlack(std::size_t size) { return size == 0 ? 0 : size + size / 32 + 64; }

template <class T>
void makeRoom(std::vector<T>& slots, std::size_t size) {
    slots.resize(withSlack(size));
    slots.clear();
}

}  // namespace

DiagramData Diagram::copyData(bool texts) const {
    DiagramData data = roomForCopy(texts);
    copyInto(data, texts);
    return data;
}

DiagramData Diagram::roomForCopy(bool texts) const {
    CopySizes sizes;
    {
        std::lock_guard lock(m_lock);
        sizes.labels = m_labels.size();
        sizes.labelChars = m_labels.labels().textBytes();
        for (const auto& axis : m_axes) {
            CopySizes::Axis& size = sizes.axes.emplace_back();
            size.data = axis->data.size();
            size.count = axis->count.size();
            if (axis->showsTexts()) {
                size.texts = axis->strdata.size();
                for (const std::string& text : axis->strdata) size.textChars += text.size();
            } else if (texts) {
                size.texts = axis->storedTexts.size();
                size.textChars = axis->storedTexts.textBytes();
            }
        }
    }
    DiagramData data;
    data.xLabels.makeRoom(withSlack(sizes.labels), withSlack(sizes.labelChars));
    data.axes.resize(sizes.axes.size());
    for (std::size_t a = 0; a < sizes.axes.size(); ++a) {
        makeRoom(data.axes[a].data, sizes.axes[a].data);
        makeRoom(data.axes[a].count, sizes.axes[a].count);
        data.axes[a].strdata.makeRoom(withSlack(sizes.axes[a].texts),
                                      withSlack(sizes.axes[a].textChars));
    }
    return data;
}

void Diagram::copyInto(DiagramData& data, bool texts) const {
    std::lock_guard lock(m_lock);
    data.name = m_name;
    data.xLabels = m_labels.labels();
    data.axes.resize(m_axes.size());  // an axis added or removed meanwhile
    for (std::size_t a = 0; a < m_axes.size(); ++a) {
        const Axis& axis = *m_axes[a];
        AxisData& copy = data.axes[a];
        copy.name = axis.name();
        copy.oper = axis.oper;
        copy.data = axis.data;
        copy.count = axis.count;
        if (axis.showsTexts()) {
            copy.strdata.assign(axis.strdata);
        } else if (texts) {
            copy.strdata = axis.storedTexts;
        } else {
            copy.strdata.clear();
        }
    }
}

void Diagram::setCheckpointRequest(const CheckpointRequest* request) {
    std::lock_guard lock(m_lock);
    m_checkpointRequest = request;
}

void Diagram::requestCheckpoint() const {
    std::lock_guard lock(m_lock);
    if (m_checkpointRequest) m_checkpointRequest->ask();
}

}  // namespace tg
