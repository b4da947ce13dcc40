#pragma once
// What answering one request produces, and who produces it. The connection sends `head` (the
// status line, headers, empty line and any body text) and then, when one is open, the whole
// file; then it closes. The request handling (mapping to files, template pages) implements
// RequestHandler; tests use fakes.

#include <chrono>
#include <string>

#include "http/request.h"
#include "platform/unique_fd.h"

namespace tg {

struct Response {
    std::string head;
    UniqueFd file;  // sent after the head when open
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
