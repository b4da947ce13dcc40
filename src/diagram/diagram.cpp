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

template <class Item>
Item* Diagram::findItem(std::vector<std::unique_ptr<Item>>& items, std::string_view name) {
    for (auto& item : items) {
        if (item->name() == name) return item.get();
    }
    return nullptr;
}

template <class Item>
const Item* Diagram::findItem(const std::vector<std::unique_ptr<Item>>& items,
                              std::string_view name) {
    for (const auto& item : items) {
        if (item->name() == name) return item.get();
    }
    return nullptr;
}

namespace {

template <class Item>
std::vector<std::string> namesOf(const std::vector<std::unique_ptr<Item>>& items) {
    std::vector<std::string> names;
    names.reserve(items.size());
    for (const auto& item : items) names.push_back(item->name());
    return names;
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

int Diagram::setFilter(std::string_view name, std::optional<std::string_view> field,
                       std::optional<std::string_view> regexp, std::uint32_t invert) {
    std::lock_guard lock(m_lock);
    int result = 0;
    Filter* filter = findItem(m_filters, name);
    if (!filter) {
        filter = m_filters.emplace_back(std::make_unique<Filter>(std::string(name))).get();
        filter->setRegExpOptions(m_regexpOptions);
        result = 1;
    }
    if (field) filter->setField(*field);
    if (regexp) filter->setRegexp(*regexp);
    if (invert != kKeepInvert) filter->invert = invert;
    saveBatched(m_store, [&] { saveItem(*filter); });
    clearDataLocked();
    requestCheckpoint();
    return result;
}

int Diagram::setGroup(std::string_view name, std::optional<std::string_view> field,
                      std::optional<std::string_view> regexp) {
    std::lock_guard lock(m_lock);
    int result = 0;
    Group* group = findItem(m_groups, name);
    if (!group) {
        group = m_groups.emplace_back(std::make_unique<Group>(std::string(name))).get();
        group->setRegExpOptions(m_regexpOptions);
        result = 1;
    }
    if (field) group->setField(*field);
    if (regexp) group->setRegexp(*regexp);
    saveBatched(m_store, [&] { saveItem(*group); });
    clearDataLocked();
    requestCheckpoint();
    return result;
}

int Diagram::setAxis(std::string_view name, std::optional<std::string_view> field,
                     std::optional<std::string_view> regexp, AxisOper oper) {
    std::lock_guard lock(m_lock);
    int result = 0;
    Axis* axis = findItem(m_axes, name);
    if (!axis) {
        axis = m_axes.emplace_back(std::make_unique<Axis>(std::string(name))).get();
        axis->setRegExpOptions(m_regexpOptions);
        result = 1;
    }
    if (field) axis->setField(*field);
    if (regexp) axis->setRegexp(*regexp);
    if (oper != AxisOper::Undefined) axis->oper = oper;
    if (field || regexp || oper != AxisOper::Undefined) axis->clearSlots();
    saveBatched(m_store, [&] { saveItem(*axis); });
    clearDataLocked();
    requestCheckpoint();
    return result;
}

template <class Item>
int Diagram::deleteItem(std::vector<std::unique_ptr<Item>>& items, std::string_view folder,
                        std::string_view name) {
    std::lock_guard lock(m_lock);
    if (!findItem(items, name)) return 1;
    eraseItem(folder, name);
    eraseByName(items, name);
    clearDataLocked();
    requestCheckpoint();
    return 0;
}

template <class Item>
int Diagram::renameItem(std::vector<std::unique_ptr<Item>>& items, std::string_view folder,
                        std::string_view oldName, std::string_view newName) {
    std::lock_guard lock(m_lock);
    Item* item = findItem(items, oldName);
    if (!item) return 1;
    eraseItem(folder, oldName);
    item->setName(std::string(newName));
    saveBatched(m_store, [&] { saveItem(*item); });
    m_changes.fetch_add(1, std::memory_order_relaxed);  // an axis's data went with its key
    requestCheckpoint();
    return 0;
}

int Diagram::deleteFilter(std::string_view name) { return deleteItem(m_filters, "filters", name); }
int Diagram::deleteGroup(std::string_view name) { return deleteItem(m_groups, "groups", name); }
int Diagram::deleteAxis(std::string_view name) { return deleteItem(m_axes, "yaxises", name); }

int Diagram::renameFilter(std::string_view oldName, std::string_view newName) {
    return renameItem(m_filters, "filters", oldName, newName);
}

int Diagram::renameGroup(std::string_view oldName, std::string_view newName) {
    return renameItem(m_groups, "groups", oldName, newName);
}

int Diagram::renameAxis(std::string_view oldName, std::string_view newName) {
    return renameItem(m_axes, "yaxises", oldName, newName);
}

int Diagram::getFilter(std::string_view name, std::string& field, std::string& regexp,
                       std::uint32_t& invert) const {
    std::lock_guard lock(m_lock);
    const Filter* filter = findItem(m_filters, name);
    if (!filter) return 1;
    field = filter->field();
    regexp = filter->regexp();
    invert = filter->invert;
    return 0;
}

int Diagram::getGroup(std::string_view name, std::string& field, std::string& regexp) const {
    std::lock_guard lock(m_lock);
    const Group* group = findItem(m_groups, name);
    if (!group) return 1;
    field = group->field();
    regexp = group->regexp();
    return 0;
}

int Diagram::getAxis(std::string_view name, std::string& field, std::string& regexp,
                     AxisOper& oper) const {
    std::lock_guard lock(m_lock);
    const Axis* axis = findItem(m_axes, name);
    if (!axis) return 1;
    field = axis->field();
    regexp = axis->regexp();
    oper = axis->oper;
    return 0;
}

std::vector<std::string> Diagram::filterNames() const {
    std::lock_guard lock(m_lock);
    return namesOf(m_filters);
}

std::vector<std::string> Diagram::groupNames() const {
    std::lock_guard lock(m_lock);
    return namesOf(m_groups);
}

std::vector<std::string> Diagram::axisNames() const {
    std::lock_guard lock(m_lock);
    return namesOf(m_axes);
}

FieldNames Diagram::fieldNames() const {
    SourceHandle source = m_sources.acquire(dataSourceName());
    return source ? source->fieldNames() : FieldNames{};
}

DiagramData Diagram::copyData(bool texts) const {
    std::lock_guard lock(m_lock);
    DiagramData data{m_name, m_xLabels, {}};
    data.axes.reserve(m_axes.size());
    for (const auto& axis : m_axes) {
        const bool shown = axis->oper == AxisOper::First || axis->oper == AxisOper::Last;
        data.axes.push_back(AxisData{axis->name(), axis->data,
                                     texts || shown ? axis->strdata : std::vector<std::string>(),
                                     axis->count});
    }
    return data;
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
