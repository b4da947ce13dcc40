#include "app/app_options.h"

#include <charconv>
#include <system_error>

#include "config/store_path.h"

namespace tg {
namespace {

std::chrono::milliseconds parseMilliseconds(const std::string& text) {
    unsigned long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty() ||
        value > 86'400'000) {
        throw AppUsageError("--checkpoint-ms needs a number of milliseconds up to 86400000");
    }
    return std::chrono::milliseconds(value);
}

}  // namespace

AppOptions parseAppOptions(const std::vector<std::string>& words) {
    AppOptions options;
    std::optional<std::string> store, htdocs;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word == "--help" || word == "-h") {
            options.help = true;
            continue;
        }
        if (word != "--store" && word != "--htdocs" && word != "--bind" &&
            word != "--checkpoint-ms") {
            throw AppUsageError("unknown argument " + word);
        }
        if (i + 1 >= words.size()) throw AppUsageError(word + " needs a value");
        const std::string& value = words[++i];
        if (word == "--store") {
            store = value;
        } else if (word == "--htdocs") {
            htdocs = value;
        } else if (word == "--bind") {
            if (value.empty()) throw AppUsageError("--bind needs an address or a host name");
            options.bindAddress = value;
        } else {
            options.checkpointInterval = parseMilliseconds(value);
        }
    }
    options.store = resolveStorePath(store);
    options.htdocs = resolveHtdocs(htdocs, executableDir());
    return options;
}

std::string appUsage(const std::string& program) {
    return "usage: " + program +
           " [--store PATH] [--htdocs DIR] [--bind ADDRESS] [--checkpoint-ms N]\n"
           "\n"
           "  --store PATH        the configuration store (else $TESSELLGROVE_STORE, else\n"
           "                      $XDG_STATE_HOME/tessellgrove/store.db or\n"
           "                      ~/.local/state/tessellgrove/store.db)\n"
           "  --htdocs DIR        the web files (else htdocs beside the executable, else\n"
           "                      ../share/tessellgrove/htdocs from it)\n"
           "  --bind ADDRESS      the address to listen on: IPv4, IPv6 or a host name such\n"
           "                      as localhost (default 0.0.0.0, every IPv4 address; ::\n"
           "                      every address)\n"
           "  --checkpoint-ms N   milliseconds between saves of the diagrams' data (default:\n"
           "                      the stored CheckpointSeconds, 60)\n"
           "\n"
           "The web server listens on the stored port (tgctl settings set Port N; 80 when\n"
           "unset). SIGTERM or SIGINT saves everything and ends the program.\n";
}

std::filesystem::path resolveHtdocs(const std::optional<std::string>& option,
                                    const std::filesystem::path& executableDir) {
    std::error_code error;
    if (option) return std::filesystem::absolute(*option, error);
    const std::filesystem::path besides = executableDir / "htdocs";
    const std::filesystem::path installed =
        executableDir.parent_path() / "share" / "tessellgrove" / "htdocs";
    if (std::filesystem::is_directory(besides, error)) return besides;
    if (std::filesystem::is_directory(installed, error)) return installed;
    return besides;
}

std::filesystem::path executableDir() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return std::filesystem::current_path(error);
    return self.parent_path();
}

}  // namespace tg
