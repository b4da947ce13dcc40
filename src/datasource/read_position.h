#pragma once
// Where a reader resumes, and which files the positions belong to: the values that a source
// stores beside its definition and that its reader, the manager and the checkpoint pass
// around.

#include <cstdint>
#include <optional>

namespace tg {

// A sample of a file's content: a checksum of the up to 4 KiB just before `end`. A file whose
// bytes there differ is not the one that was read, whatever its name and size.
struct ContentCheck {
    std::uint64_t end = 0;
    std::uint32_t sum = 0;
};

// Where a reader resumes: for a file, the offset of the first byte not yet turned into
// complete lines, the identity (inode) of the file it belongs to and a sample of what was read
// before it; for ODBC, a row count.
struct ReadPosition {
    std::uint64_t offset = 0;
    std::uint64_t fileId = 0;      // 0 when unknown
    std::uint64_t generation = 0;  // raised by every reset
    std::optional<ContentCheck> check;  // none when unknown; its end is never past the offset
};

// Which file a path named: device and inode.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

// The duplicate log's length with everything delivered so far in it, and which file it is.
struct DuplicateExtent {
    std::uint64_t length = 0;
    FileIdentity file;
};

}  // namespace tg
