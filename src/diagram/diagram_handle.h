#pragma once
// A counted borrow of one Diagram from the DiagramManager; while any exists, the manager
// refuses to remove the diagram.

#include "diagram/diagram.h"
#include "platform/counted_handle.h"

namespace tg {

using DiagramHandle = CountedHandle<Diagram>;

}  // namespace tg
