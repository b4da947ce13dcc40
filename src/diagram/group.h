#pragma once
// A group: its extracted value is one part of a record's x label ("/" value per group).

#include "diagram/diagram_item.h"

namespace tg {

class Group : public DiagramItem {
public:
    using DiagramItem::DiagramItem;
};

}  // namespace tg
