#pragma once
// A diagram's definition as a value (its name, data source and items, not its data), for the
// XML documents: read from a Diagram, written into one. The only place where the documents
// meet the Diagram's item operations.
//
// Any thread; each function takes the diagram's lock through the operations it calls.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "diagram/diagram.h"

namespace tg {

// One filter, group or y-axis. `setting` is a filter's invert flag or an axis's operation
// code; groups have none (0).
using ItemValue = ItemDefinition;

// Indexes of DiagramDefinition::items, those of kItemKinds.
inline constexpr std::size_t kFilterItems = 0;
inline constexpr std::size_t kGroupItems = 1;
inline constexpr std::size_t kAxisItems = 2;

struct DiagramDefinition {
    std::string name;
    std::string dataSource;
    // Filters, groups and y-axes in the diagram's order. A list that is absent says nothing
    // about that kind: applying the definition leaves the diagram's items of it as they are.
    std::array<std::optional<std::vector<ItemValue>>, kItemKinds.size()> items;
};

// The definition of `diagram`, every list present.
DiagramDefinition definitionOf(const Diagram& diagram);

// Sets the data source (setDataSource: the diagram runs while the source exists) and replaces
// every kind of item whose list `definition` has by that list, in its order. A filter's
// setting of 0xFFFFFFFF and an axis's of 0 leave a new item at its default (0, Undefined).
// The name stays the diagram's own. Every change is saved under the diagram's name as the
// item operations save them.
void applyDefinition(Diagram& diagram, const DiagramDefinition& definition);

}  // namespace tg
