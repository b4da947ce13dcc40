#pragma once
// A group: its extracted value is one part of a record's x label ("/" value per group).

#include <cstdint>

#include "diagram/diagram_item.h"

namespace tg {

class Group : public DiagramItem {
public:
    using DiagramItem::DiagramItem;

    // Groups have no setting of their own.
    std::uint32_t setting() const { return 0; }
    void setSetting(std::uint32_t) {}
};

}  // namespace tg
