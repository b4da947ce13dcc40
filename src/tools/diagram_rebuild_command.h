#pragma once
// tgctl diagram rebuild NAME: clears a diagram's stored data and folds its data source's
// duplicate log into it again, as the chart page's Rebuild does in a running daemon.

#include "tools/command_line.h"
#include "tools/commands.h"

namespace tg {

// Refused while tessellgroved runs on the store. A CommandError when the diagram or its data
// source is missing, or the duplicate log cannot be read (the stored data then stays).
void rebuildDiagram(StoreOpener& stores, const CommandLine& line);

}  // namespace tg
