#pragma once
// The command line shared by the daemon and the desktop program:
//   --store PATH        the configuration store (else $TESSELLGROVE_STORE, else the XDG default)
//   --htdocs DIR        the web files (else htdocs beside the executable, else the installed
//                       share/tessellgrove/htdocs)
//   --bind ADDRESS      the address the web server listens on: IPv4, IPv6 or a host name
//                       (0.0.0.0: every IPv4 address; "::": every address)
//   --checkpoint-ms N   milliseconds between checkpoints, instead of the stored interval

#include <chrono>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tg {

struct AppOptions {
    std::filesystem::path store;
    std::filesystem::path htdocs;
    std::string bindAddress = "0.0.0.0";
    std::optional<std::chrono::milliseconds> checkpointInterval;
    bool help = false;
};

struct AppUsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The options of `words` (the arguments after the program name) with every path resolved;
// AppUsageError for an unknown option, a missing value or a malformed number.
AppOptions parseAppOptions(const std::vector<std::string>& words);

// What --help prints for `program`.
std::string appUsage(const std::string& program);

// The web files: `option` when given, else the first existing of `executableDir`/htdocs and
// `executableDir`/../share/tessellgrove/htdocs (the first when neither exists).
std::filesystem::path resolveHtdocs(const std::optional<std::string>& option,
                                    const std::filesystem::path& executableDir);

// The folder of the running executable (/proc/self/exe); the current folder when unknown.
std::filesystem::path executableDir();

}  // namespace tg
