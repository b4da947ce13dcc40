#include "config/store_path.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>
#include <vector>

namespace tg {
namespace {

std::optional<std::string> environment(const char* name) {
    const char* value = std::getenv(name);
    if (!value || !*value) return std::nullopt;
    return std::string(value);
}

std::filesystem::path homeFolder() {
    if (std::optional<std::string> home = environment("HOME")) return *home;
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && *found->pw_dir) {
        return found->pw_dir;
    }
    return ".";  // no home anywhere: the working folder is the last place left
}

}  // namespace

std::filesystem::path resolveStorePath(std::optional<std::string_view> option) {
    if (option) return std::filesystem::path(*option);
    if (std::optional<std::string> store = environment("TESSELLGROVE_STORE")) return *store;
    // The XDG rules ignore a relative XDG_STATE_HOME.
    std::optional<std::string> state = environment("XDG_STATE_HOME");
    std::filesystem::path base = state && (*state)[0] == '/' ? std::filesystem::path(*state)
                                                             : homeFolder() / ".local" / "state";
    return base / "tessellgrove" / "store.db";
}

bool createParentFolders(const std::filesystem::path& file, std::string& error) {
    const std::filesystem::path folder = file.parent_path();
    if (folder.empty()) return true;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (!ec && !std::filesystem::is_directory(folder, ec)) {
        ec = std::make_error_code(std::errc::not_a_directory);
    }
    if (ec) {
        error = folder.string() + ": " + ec.message();
        return false;
    }
    return true;
}

std::string directoryOf(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return ".";
    if (slash == 0) return "/";
    return std::string(path.substr(0, slash));
}

}  // namespace tg
