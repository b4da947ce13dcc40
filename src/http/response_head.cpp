#include "http/response_head.h"

#include <cstdio>

namespace tg {

std::string_view statusText(int id) {
    switch (id) {
        case kStatusOk:
            return "200 OK";
        case kStatusRedirect:
            return "302 Redirection";
        case kStatusBadRequest:
            return "400 Bad Request";
        case kStatusUnauthorized:
            return "401 Unauthorized";
        case kStatusForbidden:
            return "403 Forbidden";
        case kStatusNotFound:
            return "404 Not Found";
        case kStatusNotImplemented:
            return "501 Not Implemented";
        case kStatusUnavailable:
            return "503 Service Unavailable";
        default:
            return {};
    }
}

std::string httpDate(std::time_t time) {
    static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                              "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    // The answers of one second share their date: it is formatted once.
    thread_local std::time_t lastTime = -1;
    thread_local std::string lastText;
    if (time == lastTime) return lastText;
    std::tm utc{};
    gmtime_r(&time, &utc);
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d GMT", kDays[utc.tm_wday % 7],
                  utc.tm_mday, kMonths[utc.tm_mon % 12], utc.tm_year + 1900, utc.tm_hour,
                  utc.tm_min, utc.tm_sec);
    lastTime = time;
    lastText = text;
    return lastText;
}

void startResponse(std::string& out, std::string_view status, std::time_t now) {
    out += "HTTP/1.0 ";
    out += status;
    out += "\r\n";
    if (!kServerName.empty()) addHeader(out, "Server", kServerName);
    addHeader(out, "Date", httpDate(now));
}

void addHeader(std::string& out, std::string_view name, std::string_view value) {
    out += name;
    out += ": ";
    out += value;
    out += "\r\n";
}

void appendStatusOnly(std::string& out, int id, std::time_t now) {
    startResponse(out, statusText(id), now);
    out += "\r\n";
}

}  // namespace tg
