#pragma once
// Addresses that the HTTP server answers with data made by the program rather than with a
// file or a template page (the process's metrics, a diagram's data as JSON or CSV). They need
// the rights of the chart page: view permission when accounts exist, open otherwise. The web
// application side implements it; the server only routes and checks access.
// Main thread, one request at a time.

#include <memory>
#include <string>
#include <string_view>

#include "http/request.h"
#include "http/response.h"
#include "http/response_head.h"

namespace tg {

struct DataAnswer {
    int status = kStatusOk;   // a StatusId
    std::string contentType;  // the Content-type header; none when empty
    std::string disposition;  // a Content-Disposition header; none when empty
    std::string body;
    // Instead of `body`: a body made piece by piece as the client takes it, for answers too big
    // to make at once without holding up the other clients.
    std::unique_ptr<BodySource> stream;
};

class DataRoutes {
public:
    virtual ~DataRoutes() = default;
    // Whether the decoded request path (as "/metrics") is one of these addresses.
    virtual bool serves(std::string_view path) const = 0;
    // The answer for a GET or HEAD of a path that serves() accepted, access already granted.
    virtual DataAnswer answer(const CRequest& request, std::string_view path) = 0;
};

}  // namespace tg
