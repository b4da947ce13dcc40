#pragma once
// Where the configuration store lives, and small path helpers beside it.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tg {

// The store path: `option` when given (from --store), else $TESSELLGROVE_STORE, else
// $XDG_STATE_HOME/tessellgrove/store.db, else ~/.local/state/tessellgrove/store.db.
std::filesystem::path resolveStorePath(std::optional<std::string_view> option);

// Creates the folders above `file`; false (with a message in `error`) when that fails.
[[nodiscard]] bool createParentFolders(const std::filesystem::path& file, std::string& error);

// The folder part of a path without its last separator ("/var/log" for "/var/log/a.log",
// "/" for "/a.log"); "." when the path has no folder part.
std::string directoryOf(std::string_view path);

}  // namespace tg
