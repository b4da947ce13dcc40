#pragma once
// A diagram: filters, groups and y-axes over the records of one data source, and the table
// they accumulate (one x label per distinct combination of group values, one slot per label
// on every axis). Listens to its source while running.
//
// Threads: processRecord, processDelivered, deliveryPaused, deliveryEnded and reset run on one
// of the source's reader threads (the one that delivers records, or a caller's replay or reset)
// inside the source's lock; everything else on the application's threads. m_lock guards every
// member; the lock order is source, then diagram (a delivery keeps m_lock across a group of
// records, never past the source's lock). Operations that attach, detach, or read the
// source (start, stop, isRunning, setDataSource, fieldNames, recentTable, rebuild) never hold
// m_lock while they take the source's lock: rebuild takes the source's lock first.
//
// Item operations return 0 when an item of that name existed (or the operation succeeded) and
// 1 when none did (setItem then creates one). Results that report a refusal are [[nodiscard]];
// that of setItem only says whether the item was new, and callers may ignore it.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/config_store.h"
#include "datasource/record_listener.h"
#include "datasource/source_manager.h"
#include "diagram/axis.h"
#include "diagram/chart_data.h"
#include "diagram/checkpoint_request.h"
#include "diagram/diagram_data.h"
#include "diagram/filter.h"
#include "diagram/group.h"
#include "diagram/item_definition.h"
#include "diagram/item_kind.h"
#include "diagram/label_table.h"
#include "diagram/recent_records.h"
#include "platform/counted_handle.h"
#include "regex/reg_exp.h"

namespace tg {

class Diagram : public RecordListener, public BorrowCount {
public:
    static constexpr std::uint32_t kKeepInvert = kKeepSetting;
    static constexpr std::size_t kRecentRecords = RecentRecords::kCapacity;

    // `store` and `sources` must outlive the diagram.
    Diagram(std::string name, ConfigStore& store, SourceManager& sources);
    // Stops, then saves the accumulated data under the diagram's name.
    ~Diagram() override;
    Diagram(const Diagram&) = delete;
    Diagram& operator=(const Diagram&) = delete;

    // RecordListener.
    void processRecord(const Record& record, const FieldNames& fieldNames) override;
    void processDelivered(RecordView record, const FieldNames& fieldNames) override;
    void deliveryPaused() override;
    void deliveryEnded() override;
    void observeRecord(const Record&, const FieldNames&) override {}
    void observeDelivered(RecordView, const FieldNames&) override {}
    void reset() override;

    std::string name() const;
    std::string dataSourceName() const;

    // 0 attached now; 1 already attached or no such source.
    [[nodiscard]] int start();
    // 0 detached (or was not attached); 1 no such source.
    [[nodiscard]] int stop();
    bool isRunning() const;
    // A running diagram is stopped and cleared first; afterwards it runs whenever the new
    // source exists. Nothing is saved.
    [[nodiscard]] int setDataSource(std::string_view name);
    // Erases the stored tree of the old name and saves the definition under the new one.
    [[nodiscard]] int rename(std::string_view newName);

    // Items of every kind alike (see item_kind.h); names are compared exactly.
    // setItem applies `change` to the item, creating it when there is none of that name; 1 when
    // it was created, 0 when it existed (callers may ignore which). Saves the item and clears
    // the data.
    int setItem(const ItemKind& kind, std::string_view name, const ItemChange& change);
    // Typed forms of setItem. kKeepInvert, and oper Undefined, leave the setting as it is.
    int setFilter(std::string_view name, std::optional<std::string_view> field,
                  std::optional<std::string_view> regexp, std::uint32_t invert = kKeepInvert) {
        return setItem(kFilterKind, name, {field, regexp, invert});
    }
    int setGroup(std::string_view name, std::optional<std::string_view> field,
                 std::optional<std::string_view> regexp) {
        return setItem(kGroupKind, name, {field, regexp});
    }
    int setAxis(std::string_view name, std::optional<std::string_view> field,
                std::optional<std::string_view> regexp, AxisOper oper = AxisOper::Undefined) {
        return setItem(kAxisKind, name, {field, regexp, static_cast<std::uint32_t>(oper)});
    }
    // Erases the item and its stored key (an axis's data goes with it) and clears the data.
    [[nodiscard]] int deleteItem(const ItemKind& kind, std::string_view name);
    // Moves the item's stored key to the new name; the caller checks that the name is free.
    [[nodiscard]] int renameItem(const ItemKind& kind, std::string_view oldName,
                                 std::string_view newName);
    // Fills `definition` when there is such an item.
    [[nodiscard]] int getItem(const ItemKind& kind, std::string_view name,
                              ItemDefinition& definition) const;
    // Every item of the kind, in the diagram's order (creation, or the store's order when
    // loaded), taken under one lock.
    std::vector<ItemDefinition> items(const ItemKind& kind) const;
    std::vector<std::string> itemNames(const ItemKind& kind) const;
    // How the items' expressions are compiled: those defined so far and every one defined or
    // loaded later.
    void setRegExpOptions(RegExpOptions options);
    // The field names of the data source; empty when there is no such source.
    FieldNames fieldNames() const;

    ChartData chartData() const;
    RecentTable recentTable() const;
    // Clears the data and replays the source's duplicate log (maxLines 0: all of it).
    // The replay's result; 0 when there is no such source.
    [[nodiscard]] int rebuild(unsigned maxLines);
    int clearData();

    // Definition and data in the store (diagrams\<name>).
    void saveDefinition();
    void loadDefinition(std::string_view name);
    void saveData();
    void loadData();
    static void eraseStored(ConfigStore& store, std::string_view name);

    // A copy of the accumulated data, taken under the lock (for saving and checkpoints). Without
    // `texts`, the value texts of axes that do not show them (all but FIRST and LAST) stay
    // empty: a shorter hold of the lock for those who only read the numbers.
    DiagramData copyData(bool texts = true) const;
    // copyData in two steps, for callers that hold another lock (a source's) for the copy:
    // roomForCopy makes the room for a copy, its memory touched, taking the lock only to read
    // the sizes; copyInto then fills it under the lock with flat copies and no page faults.
    DiagramData roomForCopy(bool texts = true) const;
    void copyInto(DiagramData& data, bool texts = true) const;
    // Asked after every change that leaves the stored data behind the store's definition or
    // keys: a reset or rebuild, a changed, deleted or renamed item, a rename. May be null.
    void setCheckpointRequest(const CheckpointRequest* request);
    // Raised (process-wide) just before any diagram's or item's stored key is erased. A copy
    // of data taken before a change of this count may belong to a key that is gone, or that
    // now belongs to something else of the same name.
    static std::uint64_t storedKeyErasures();
    // Raised whenever the accumulated data may have changed; any thread.
    std::uint64_t changeCount() const { return m_changes.load(std::memory_order_relaxed); }

    // DiagramHandles are counted by BorrowCount; the manager refuses to remove a referenced
    // diagram.

private:
    // Folds one record into the axes' slots (m_lock held).
    void fold(RecordView record, const FieldNames& names);
    // fn(the list of `self`'s items of that type), for a Diagram or const Diagram; the caller
    // holds m_lock.
    template <class Self, class Fn>
    static decltype(auto) withItems(Self& self, ItemType type, Fn&& fn);
    std::size_t xIndex(std::string_view key);  // adds the label when new
    // The record's x label: "/" and the value of each group in turn.
    void groupKey(RecordView record, const FieldNames& names, std::string& key) const;
    void clearDataLocked();
    void saveItem(const ItemKind& kind, const DiagramItem& item, std::uint32_t setting) const;
    void saveItems(const ItemKind& kind) const;
    void loadItems(const ItemKind& kind);
    void eraseItem(const ItemKind& kind, std::string_view itemName) const;
    void requestCheckpoint() const;

    ConfigStore& m_store;
    SourceManager& m_sources;

    // Serialises start and stop; taken before any lock of the source, never by a reader.
    std::mutex m_runLock;
    mutable std::recursive_mutex m_lock;
    // m_lock as a delivery holds it from its first record until the source pauses; touched
    // only inside the source's lock.
    std::unique_lock<std::recursive_mutex> m_deliveryLock{m_lock, std::defer_lock};
    // Guarded by m_lock:
    std::string m_name;
    std::string m_dataSource;
    std::vector<std::unique_ptr<Filter>> m_filters;
    std::vector<std::unique_ptr<Axis>> m_axes;
    std::vector<std::unique_ptr<Group>> m_groups;
    RegExpOptions m_regexpOptions;
    LabelTable m_labels;  // the x labels, in the order they were first seen
    std::string m_key;    // the x label of the record being processed
    RecentRecords m_recent;
    std::atomic<std::uint64_t> m_changes{0};
    const CheckpointRequest* m_checkpointRequest = nullptr;
    // The source this diagram listens to; it cannot be removed while we are attached.
    DataSource* m_attached = nullptr;
};

template <class Self, class Fn>
decltype(auto) Diagram::withItems(Self& self, ItemType type, Fn&& fn) {
    switch (type) {
        case ItemType::Filter:
            return fn(self.m_filters);
        case ItemType::Group:
            return fn(self.m_groups);
        case ItemType::Axis:
            break;
    }
    return fn(self.m_axes);
}

}  // namespace tg
