#pragma once
// The reader of a FILE source: follows a growing text file named by the connect string.
// Runs on the source's reader thread only. Reads everything beyond the source's position in
// 64 KiB pieces into parseChunk, then waits for the file's folder to report a change
// (inotify), never longer than 1000 ms, and never past a stop request.
//
// A file that is replaced (another inode at the path: rotation by rename, or delete and
// re-create), truncated (shorter than the position) or rewritten in place (its bytes before the
// position are not the ones read: a sample of them is kept with the position) is read again
// from its start; lines still appended to a renamed file before the switch is noticed are read
// too, since the reader keeps the file open between reads. At the start the file the stored
// position belongs to is finished first, also when it has been renamed within its folder since.
// A missing or unreadable file gives no data and no message: the reader keeps trying.
//
// The recorded position leaves out the incomplete last line (the source's pending bytes), so
// a reader that starts afresh reads that line again whole from the file.

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

#include "datasource/data_source.h"
#include "datasource/source_feed.h"
#include "datasource/source_transport.h"
#include "platform/unique_fd.h"

namespace tg {

class FileReader : public SourceReader {
public:
    explicit FileReader(DataSource& source);
    // Until the source's stop is asked.
    void run() override;
    // One pass: reads what is new and records the position.
    void readNew();

private:
    // Follows the folder's changes until the watch must be made again (false) or a stop is
    // asked (true).
    bool followChanges(int notifyFd);
    // With no file open (start, reset): opens the file `position` belongs to at the position,
    // at the path or renamed within its folder; else the file at the path from its start.
    void resume(const std::string& path, const ReadPosition& position);
    // Switches to `path` when it names a regular file other than the open one; keeps the open
    // file when the path is missing or cannot be opened.
    void openIfReplaced(const std::string& path);
    void follow(UniqueFd file, const struct stat& status, std::uint64_t start,
                const std::optional<ContentCheck>& check);
    // Reads what is new in the open file, from its start when it was truncated or rewritten.
    void catchUp();
    // The open file's content is done: its incomplete last line counts as a line.
    void finishContent();
    // Reads from m_offset to the end into parseChunk, until a stop is asked.
    void readToEnd();
    void recordPosition();
    void closeFile();

    SourceFeed m_source;
    UniqueFd m_file;  // kept open between reads
    dev_t m_fileDevice = 0;
    ino_t m_fileId = 0;
    std::uint64_t m_offset = 0;      // next byte to read from m_file, pending bytes included
    std::uint64_t m_generation = 0;  // of the position the open file was started from
    std::string m_tail;              // the last bytes read from m_file, ending at m_offset
    std::optional<ContentCheck> m_check;  // a sample of m_file's content, before the position
};

}  // namespace tg
