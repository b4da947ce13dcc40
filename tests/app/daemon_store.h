#pragma once
// The store the daemon tests run on, and read-only looks into it.

#include <cstdint>
#include <functional>
#include <string>

#include "datasource/source_type.h"
#include "diagram/diagram_manager.h"

namespace tg::test {

// A source with the fields status and bytes.
struct StoredSource {
    std::string name;
    SourceType type;
    std::string connect;
    std::string backup;
    std::string regexp;
};

// The web server on `port` and `source` in the store at `storePath`; then `defineDiagrams`
// defines the diagrams on it. Fails the calling test when the store cannot be written.
void defineStore(const std::string& storePath, std::uint16_t port, const StoredSource& source,
                 const std::function<void(DiagramManager&)>& defineDiagrams);

// One FILE source "web" on `log` (lines "STATUS BYTES", duplicate log `log`.dup) and two
// diagrams on it: "by status" (group status; requests COUNT, bytes SUM) and "total" (lines
// COUNT); the web server on `port`. Fails the calling test when the store cannot be written.
void defineWebStore(const std::string& storePath, const std::string& log, std::uint16_t port);

// Makes a file read-only for the lifetime of the object, for root too (which ignores the mode
// bits): the immutable attribute is set where the file system has one. Undone at the end.
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(std::string path);
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;
    // False when the file stays writable for this process (the test cannot run here).
    bool made() const { return m_made; }

private:
    bool setImmutable(bool on);

    std::string m_path;
    bool m_made = false;
};

// A stored text value; empty when the key or the value is missing.
std::string storedText(const std::string& storePath, const std::string& key,
                       const std::string& name);
// The stored last position of the source "web".
std::uint64_t storedPosition(const std::string& storePath);

}  // namespace tg::test
