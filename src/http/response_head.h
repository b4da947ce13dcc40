#pragma once
// The parts of a response head: status lines, headers and the HTTP date. Every response is
// HTTP/1.0, has no Content-Length and ends when the connection closes.

#include <ctime>
#include <string>
#include <string_view>

namespace tg {

// Status identifiers of the answers, as the request handling records them.
enum StatusId : int {
    kStatusOk = 4200,
    kStatusRedirect = 4302,
    kStatusBadRequest = 4400,
    kStatusUnauthorized = 4401,
    kStatusForbidden = 4403,
    kStatusNotFound = 4404,
    kStatusNotImplemented = 4501,
    kStatusUnavailable = 4503,
};

inline constexpr std::string_view kServerName = "Kestro-RuroVid/1.0";

// "200 OK", "302 Redirection", ...; empty for an unknown identifier.
std::string_view statusText(int id);
// The time in UTC as "Sun, 06 Dec 2026 08:00:00 GMT" (English names whatever the locale).
std::string httpDate(std::time_t time);
// "HTTP/1.0 " + status text, then the Server and Date headers.
void startResponse(std::string& out, std::string_view status, std::time_t now);
void addHeader(std::string& out, std::string_view name, std::string_view value);
// A whole error answer: status line, Server, Date and the empty line; no body.
void appendStatusOnly(std::string& out, int id, std::time_t now);

}  // namespace tg
