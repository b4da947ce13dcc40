#pragma once
// What answering one request produces, and who produces it. The connection sends `head` (the
// status line, headers, empty line and any body text), then the pieces of `body` when there is
// one, then, when one is open, the whole file; then it closes. The request handling (mapping
// to files, template pages) implements RequestHandler; tests use fakes.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "http/request.h"
#include "platform/unique_fd.h"

namespace tg {

// A body made a piece at a time as the client takes it: an answer too big to make at once
// without holding up every other client. The connection asks for one piece per turn of the
// loop, and only when the previous one has gone into the socket; it destroys the source when
// the body is complete or the connection ends. Main thread.
class BodySource {
public:
    virtual ~BodySource() = default;
    // Appends the next piece to `out`; false, with nothing appended, once the body is complete.
    virtual bool next(std::string& out) = 0;
    // The bytes held for the pieces still to come, counted as the answer held in memory.
    virtual std::size_t heldBytes() const = 0;
};

struct Response {
    std::string head;
    std::unique_ptr<BodySource> body;  // sent after the head when set
    UniqueFd file;                     // sent after the head (and body) when open
    // How much of the file is sent: its size when it was opened (a file growing meanwhile is
    // sent as it was then); unknown sends it to its end.
    std::optional<std::uint64_t> fileSize;
    // How long the connection waits before it sends anything (a refused login is answered
    // late). The wait runs on the reactor's timer: no other client waits with it.
    std::chrono::milliseconds delay{0};
};

class RequestHandler {
public:
    virtual ~RequestHandler() = default;
    // A complete request. Main thread.
    virtual void processRequest(const CRequest& request, Response& response) = 0;
};

}  // namespace tg
