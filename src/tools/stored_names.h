#pragma once
// Read-only looks at the definitions in the store for tgctl: nothing is created, nothing is
// written back, so they are safe beside a running tessellgroved.

#include <string>
#include <string_view>
#include <vector>

#include "config/config_store.h"

namespace tg {

// The names of the stored data sources and diagrams, in the store's enumeration order (the
// order in which the daemon loads them). Diagram names that address no key of their own are
// left out, as loading leaves them out.
std::vector<std::string> storedSourceNames(ConfigStore& store);
std::vector<std::string> storedDiagramNames(ConfigStore& store);

// The data source a stored diagram starts on: its "datasource" text, or "Unknown" when that
// is missing or not a text, as loading reads it. A CommandError when the store fails.
std::string storedDiagramSource(ConfigStore& store, std::string_view diagram);

// Whether `names` holds `name` byte for byte (the store's lookups ignore ASCII case; the
// managers compare names exactly).
bool containsExactly(const std::vector<std::string>& names, std::string_view name);

}  // namespace tg
