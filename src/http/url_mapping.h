#pragma once
// From a request target to a file below the content root: percent-decoding, the lexical
// containment check, the walk back to the longest existing path, the redirect of folders to
// their default document, the classification of files asked for with parameters, and the
// opening of a plain file for sending. The answers themselves are written by the caller.
// Main thread (touches only the file system); the pure functions run on any thread.
//
// Nothing outside the content root is ever mapped: ".." and "." are resolved lexically with
// "/" and "\" both as separators, and the found path's symbolic links are resolved as well,
// so a link that leads out of the root is refused like a ".." escape. Nothing is cached: a
// file or link changed while the server runs counts from the next request. A file is opened
// for sending through its resolved path only while that path holds no link at all. A name
// starting with "." anywhere below the root makes the path hidden.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "http/media_types.h"
#include "http/request.h"
#include "http/response_head.h"
#include "platform/unique_fd.h"

namespace tg {

// Where files are served from and how the server names itself in redirects.
struct ContentRoot {
    std::string folder;    // absolute; a trailing separator is ignored
    std::string hostName;  // the machine's own name, whatever name the client used
    unsigned port = 80;    // written into redirects unless 80
};

// The outcome of mapUrlToFile: either status is 0 and a file or folder was found, or status
// names the answer due (4302 with location, 4400, 4403, 4404).
struct UrlMapping {
    int status = 0;
    std::string location;  // the "Location" value of a 4302 answer
    std::string filePath;  // full path below the root, '/'-separated, no trailing separator
    std::string realPath;  // filePath with its symbolic links resolved; what gets opened
    bool isFolder = false;
    bool hidden = false;
    ExecKind execKind = ExecKind::None;  // the given kind, or Script/Library by extension
    // A regular file found without any link on its path is opened as it is found: sending it
    // then needs no second look, and nothing swapped in meanwhile can be sent instead.
    UniqueFd opened;        // O_RDONLY, non-blocking; closed for anything else
    std::uint64_t size = 0;  // the opened file's size then
};

// A plain file ready to send, or the status to answer instead (4403, 4503).
struct FileToSend {
    int status = 0;
    UniqueFd fd;                           // O_RDONLY, non-blocking, a regular file
    std::uint64_t size = 0;                // its size when it was opened
    std::optional<std::string> mediaType;  // the "Content-type" value, when one is known
};

// The request path after percent-decoding: "%%" gives "%", "%XY" the byte 0xXY (either
// letter case), produced characters are never decoded again, "+" stays "+". None (answered
// 400) for a "%" not followed by two hexadecimal digits, or for any NUL byte in the result.
[[nodiscard]] std::optional<std::string> decodeUrl(std::string_view text);

// Joins `root` and `path`, normalises the result lexically ("/" and "\" separate; empty and
// "." segments go; ".." drops the segment before it, never above "/") and stores it in
// `path`, '/'-separated. True when it equals the normalised root or continues it with "/",
// byte for byte. `root` must be absolute.
[[nodiscard]] bool isInsideRoot(std::string_view root, std::string& path);

// Cuts `path` at its last '/' or '\' and returns the cut-off part, separator included.
// Without a separator the whole path is returned and `path` becomes empty.
std::string splitLastComponent(std::string& path);

// The absolute URL of a path below the root, for a "Location" header. Bytes that would not
// come back unchanged through decodeUrl and the request line (blanks, "%", "?", "#", controls,
// non-ASCII) are percent-encoded.
std::string fileUrl(const ContentRoot& root, std::string_view path);

// Maps a decoded request path. `execKind` is Parameters when the target had a "?" or the
// method is POST, else None.
UrlMapping mapUrlToFile(const ContentRoot& root, std::string_view decodedUrl, ExecKind execKind);

// Opens `path` to read, non-blocking (a FIFO cannot hold the caller), only when none of its
// components is a symbolic link: one swapped in since the path was checked is refused rather
// than followed. Where the kernel cannot tell (no openat2), only the last component is checked.
// Closed when refused or when the file cannot be opened.
UniqueFd openFileWithoutLinks(const std::string& path);

// Opens a found plain file, or takes the one the mapping opened. Hidden paths and folders give
// 4403; a file that cannot be opened or is not a regular file gives 4503.
FileToSend openForSending(UrlMapping mapping, const MediaTypes& mediaTypes);

}  // namespace tg
