#include "diagram/label_table.h"

#include <functional>
#include <utility>

namespace tg {
namespace {

constexpr std::size_t kFirstSlots = 64;

}  // namespace

std::size_t LabelTable::hashOf(std::string_view text) {
    return std::hash<std::string_view>{}(text);
}

std::size_t LabelTable::slotOf(std::string_view label, std::size_t hash) const {
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const std::uint32_t entry = m_slots[slot];
        if (entry == 0 || m_labels[entry - 1] == label) return slot;
    }
}

std::size_t LabelTable::positionOf(std::string_view label) {
    if (m_slots.empty()) rehash(kFirstSlots);
    const std::size_t hash = hashOf(label);
    std::size_t slot = slotOf(label, hash);
    if (m_slots[slot] != 0) return m_slots[slot] - 1;
    const std::size_t position = m_labels.size();
    m_labels.push_back(label);
    if ((position + 1) * 2 > m_slots.size()) {
        rehash(m_slots.size() * 2);  // places the new label too
    } else {
        m_slots[slot] = static_cast<std::uint32_t>(position + 1);
    }
    return position;
}

void LabelTable::insert(std::size_t position) {
    const std::size_t slot = slotOf(m_labels[position], hashOf(m_labels[position]));
    // Taken already: a later copy of a label keeps the first one's position.
    if (m_slots[slot] == 0) m_slots[slot] = static_cast<std::uint32_t>(position + 1);
}

void LabelTable::rehash(std::size_t slots) {
    m_slots.assign(slots, 0);
    for (std::size_t position = 0; position < m_labels.size(); ++position) insert(position);
}

void LabelTable::assign(TextList labels) {
    m_labels = std::move(labels);
    std::size_t slots = kFirstSlots;
    while (slots < m_labels.size() * 2) slots *= 2;
    std::vector<std::uint32_t>().swap(m_slots);
    rehash(slots);
}

void LabelTable::clear() {
    m_labels.clear();
    std::vector<std::uint32_t>().swap(m_slots);
}

}  // namespace tg
