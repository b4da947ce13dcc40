#pragma once
// tgctl source columns NAME: the result columns of an ODBC source's query, one a line.

#include "tools/command_line.h"
#include "tools/commands.h"

namespace tg {

// Reads the stored connect string only; runs the query on a read-only connection. A
// CommandError when the source is missing or not ODBC, or the query cannot be run (its reason,
// passwords hidden).
void showSourceColumns(StoreOpener& stores, const CommandLine& line);

}  // namespace tg
