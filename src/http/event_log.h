#pragma once
// The event log: one text file of time-stamped lines, "yyyy/mm/dd TAB hh:mm:ss TAB first TAB
// second LF" in local time. The HTTP server writes a line for each template request, data
// source readers one for each line they cannot parse and each transport error. The HTTP
// settings switch it on and off, place it (an empty path: no log) and bound it: a file that
// grows past its limit loses its oldest lines, cut in place at a line boundary down to three
// quarters of the limit, so that a full log is rewritten once per quarter of the limit rather
// than for every line. One line is at most kMaxLineBytes, far less than that quarter, so a
// trim never takes more than the oldest lines it must.
//
// The file is opened, locked, written and closed for every line; nothing stays open between
// lines. Within the process, lines are written one at a time (m_lock). Across processes the
// file is locked exclusively (flock) while a line is written; a writer that finds it locked
// drops its line. Nothing is ever reported to the caller: a failing log never stops a request
// or a reader. Failures to map the file for trimming are shown through UserMessages.
//
// Any thread may call writeLog and appendLogLine. Lock order: the settings' lock is taken
// and let go before m_lock; messages are shown after m_lock is let go.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "http/http_settings.h"
#include "platform/event_sink.h"
#include "platform/user_messages.h"

namespace tg {

class EventLog final : public EventSink {
public:
    // The operating system edges tests replace.
    struct Os {
        // The local calendar time now.
        std::function<std::tm()> localNow;
        // Maps `length` bytes of the file read-write and shared; MAP_FAILED on failure.
        std::function<void*(int fd, std::size_t length)> mapFile;
    };
    static Os systemOs();

    // Messages shown when trimming cannot map the file.
    static constexpr std::string_view kMappingFailed = "Unable to open shared file\n";
    static constexpr std::string_view kViewFailed = "Unable to map view of a file";
    static constexpr std::string_view kUnmapFailed = "Unable to Unmap View";

    EventLog(HttpSettings& settings, UserMessages& messages, Os os = systemOs());
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    // Appends one line to the file the settings name, when the log is on.
    void writeLog(std::string_view first, std::string_view second) override;
    // Appends one line to `path`, then trims the file to `limitMegabytes` megabytes.
    void appendLogLine(const std::string& path, std::uint32_t limitMegabytes,
                       std::string_view first, std::string_view second);

    // The longest line written, line end included.
    static constexpr std::size_t kMaxLineBytes = 65536;

    // The line for `when`, ending in LF. LF, CR and NUL inside a text become spaces, so that
    // every call makes exactly one line; a line longer than kMaxLineBytes is cut to that size
    // (at a character boundary of UTF-8 text) and still ends in LF.
    static std::string formatLine(const std::tm& when, std::string_view first,
                                  std::string_view second);

private:
    // Writes the line and trims; returns the message to show, or an empty view. m_lock held.
    std::string_view appendLocked(const std::string& path, std::uint64_t limitBytes,
                                  const std::string& line);
    std::string_view trimLocked(int fd, std::uint64_t limitBytes);

    HttpSettings& m_settings;
    UserMessages& m_messages;
    const Os m_os;
    std::mutex m_lock;  // one line at a time within the process
};

}  // namespace tg
