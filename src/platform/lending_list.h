#pragma once
// The objects a manager owns (its sources, its diagrams), in list order, found by exact name
// and lent out as CountedHandles. Removal refuses a borrowed object; destruction goes in list
// order, each object gone before the next one goes.
//
// Not locked itself: the owning manager holds its lock around every call. T provides
// name() and the BorrowCount operations.

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/counted_handle.h"

namespace tg {

template <class T>
class LendingList {
public:
    using Handle = CountedHandle<T>;

    LendingList() = default;
    ~LendingList() { clear(); }
    LendingList(const LendingList&) = delete;
    LendingList& operator=(const LendingList&) = delete;

    // The first object whose name equals `name` exactly; nullptr when none does.
    T* find(std::string_view name) const {
        for (const auto& object : m_objects) {
            if (object->name() == name) return object.get();
        }
        return nullptr;
    }
    // A borrow of find(name); empty when there is no such object.
    Handle acquire(std::string_view name) const { return Handle(find(name)); }
    // Every object's name in list order.
    std::vector<std::string> names() const {
        std::vector<std::string> names;
        names.reserve(m_objects.size());
        for (const auto& object : m_objects) names.push_back(object->name());
        return names;
    }

    T& add(std::unique_ptr<T> object) { return *m_objects.emplace_back(std::move(object)); }
    // Destroys the first object named `name`, unless it is borrowed or busy(object) says it
    // is in use otherwise. 0 destroyed; 1 no such object or refused (nothing happens).
    template <class Busy>
    [[nodiscard]] int remove(std::string_view name, Busy busy) {
        auto it = std::find_if(m_objects.begin(), m_objects.end(),
                               [&](const auto& object) { return object->name() == name; });
        if (it == m_objects.end() || (*it)->useCount() > 0 || busy(**it)) return 1;
        // Out of the list before it ends, so that the list is whole while it does.
        std::unique_ptr<T> removed = std::move(*it);
        m_objects.erase(it);
        removed.reset();
        return 0;
    }
    [[nodiscard]] int remove(std::string_view name) {
        return remove(name, [](const T&) { return false; });
    }
    // Destroys every object in list order, which vector::clear does not promise.
    void clear() {
        for (auto& object : m_objects) object.reset();
        m_objects.clear();
    }

    std::size_t size() const { return m_objects.size(); }
    auto begin() const { return m_objects.begin(); }
    auto end() const { return m_objects.end(); }

private:
    std::vector<std::unique_ptr<T>> m_objects;
};

}  // namespace tg
