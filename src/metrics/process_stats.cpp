#include "metrics/process_stats.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace tg {

std::optional<std::uint64_t> residentMemoryBytes() {
    std::ifstream statm("/proc/self/statm");
    std::uint64_t size = 0;
    std::uint64_t resident = 0;
    if (!(statm >> size >> resident)) return std::nullopt;
    const long page = ::sysconf(_SC_PAGESIZE);
    return resident * static_cast<std::uint64_t>(page > 0 ? page : 4096);
}

std::optional<std::uint64_t> openDescriptors() {
    std::error_code error;
    std::filesystem::directory_iterator it("/proc/self/fd", error);
    if (error) return std::nullopt;
    std::uint64_t count = 0;
    for (; it != std::filesystem::directory_iterator(); it.increment(error)) {
        if (error) return std::nullopt;
        ++count;
    }
    // The iterator's own descriptor was open while it counted.
    return count > 0 ? count - 1 : 0;
}

}  // namespace tg
