#pragma once
// The process's own resource use, read from /proc/self. Any thread.

#include <cstdint>
#include <optional>

namespace tg {

// Resident memory in bytes; none when /proc cannot be read.
std::optional<std::uint64_t> residentMemoryBytes();
// Open file descriptors; none when /proc cannot be read.
std::optional<std::uint64_t> openDescriptors();

}  // namespace tg
