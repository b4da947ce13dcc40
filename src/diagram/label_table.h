#pragma once
// A diagram's x labels in the order they were first seen, and the position of each: the texts
// are kept once (TextList) and the index holds positions only, in an open-addressing table
// that hashes the texts where they are kept. About 8 bytes of text bookkeeping and 8 to 16 of
// index per label, no allocation per label.
//
// Not thread-safe: the diagram's lock guards it.

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "diagram/text_list.h"

namespace tg {

class LabelTable {
public:
    const TextList& labels() const { return m_labels; }
    std::size_t size() const { return m_labels.size(); }

    // The position of `label`, appended at the end when it is new.
    std::size_t positionOf(std::string_view label);
    // Replaces every label by `labels` (read from the store). A label that appears twice
    // keeps its first position; the later one stays in the list but is never found.
    void assign(TextList labels);
    void clear();

private:
    static std::size_t hashOf(std::string_view text);
    // The slot that holds `label`'s position, or the free slot where it would go.
    std::size_t slotOf(std::string_view label, std::size_t hash) const;
    void insert(std::size_t position);
    void rehash(std::size_t slots);

    TextList m_labels;
    // Position + 1 of a label, 0 when free; a power of two long, at most half full.
    std::vector<std::uint32_t> m_slots;
};

}  // namespace tg
