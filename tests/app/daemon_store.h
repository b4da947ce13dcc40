#pragma once
// The store the daemon tests run on, and read-only looks into it.

#include <cstdint>
#include <string>

namespace tg::test {

// One FILE source "web" on `log` (lines "STATUS BYTES", duplicate log `log`.dup) and two
// diagrams on it: "by status" (group status; requests COUNT, bytes SUM) and "total" (lines
// COUNT); the web server on `port`. Fails the calling test when the store cannot be written.
void defineWebStore(const std::string& storePath, const std::string& log, std::uint16_t port);

// A stored text value; empty when the key or the value is missing.
std::string storedText(const std::string& storePath, const std::string& key,
                       const std::string& name);
// The stored last position of the source "web".
std::uint64_t storedPosition(const std::string& storePath);

}  // namespace tg::test
