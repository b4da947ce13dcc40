#pragma once
// A filter: a record counts only when its pattern is found in the field (or, inverted, not).

#include <cstdint>

#include "diagram/diagram_item.h"

namespace tg {

class Filter : public DiagramItem {
public:
    using DiagramItem::DiagramItem;
    // 0 plain, 1 inverted; any other value lets every record whose field exists pass.
    std::uint32_t invert = 0;

    std::uint32_t setting() const { return invert; }
    void setSetting(std::uint32_t value) { invert = value; }
};

}  // namespace tg
