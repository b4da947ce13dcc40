#pragma once
// A new duplicate log written whole beside the old one and put in its place only when
// complete: a failure or a stop part-way leaves the previous log as it was, never a partial one
// that a rebuild would take for the whole table. A path that names no regular file (/dev/null)
// is written into instead of replaced. Reader thread only.

#include <string>

#include "datasource/record.h"
#include "platform/unique_fd.h"

namespace tg {

class DuplicateDump {
public:
    // Creates a temporary file in the log's folder; a dump without a usable log still takes
    // rows (and drops them) and says why in error().
    DuplicateDump(std::string path, char separator);
    // Removes the temporary file unless it was committed.
    ~DuplicateDump();
    DuplicateDump(const DuplicateDump&) = delete;
    DuplicateDump& operator=(const DuplicateDump&) = delete;

    // One line: the values, each followed by the separator (escaped when a value holds it),
    // then CR LF.
    void write(const Record& values);
    // Flushes the file to the disk and renames it over the log; false (with error()) when any
    // step failed, the old log then stays.
    [[nodiscard]] bool commit();
    // Empty while everything worked.
    const std::string& error() const { return m_error; }

private:
    void failed(const std::string& step, int error);
    void flushBuffer();

    std::string m_path;
    std::string m_target;     // the file the path names, links followed
    std::string m_temporary;  // the new log until it is renamed over m_target
    char m_separator;
    UniqueFd m_file;  // empty once a step failed
    std::string m_buffer;
    std::string m_error;
};

}  // namespace tg
