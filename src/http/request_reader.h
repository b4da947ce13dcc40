#pragma once
// Reads one request from the bytes a connection receives: the request line and header lines
// (LF ends a line, CR is dropped, a line split over receives is joined), then a body up to its
// declared Content-Length. Pure: it never touches a socket; the connection feeds it and asks
// whether the request is complete. Bounded: a head or body beyond the limits, or a
// Content-Length that is not a plain decimal number, makes the request bad (answered 400).
// Main thread only.

#include <cstddef>
#include <string>
#include <string_view>

#include "http/http_settings.h"
#include "http/request.h"

namespace tg {

class RequestReader {
public:
    enum class State { RequestLine, Headers, Body, Complete, Bad };

    explicit RequestReader(const HttpLimits& limits) : m_limits(limits) {}

    // Takes bytes as they arrive and returns how many it used: everything until the request
    // is complete or bad, nothing after that (bytes past a body's declared length are used and
    // dropped, so that they are not taken for the next request's).
    std::size_t feed(std::string_view bytes);

    State state() const { return m_state; }
    // Whether bytes beyond the complete request were fed (and dropped).
    bool sawBytesBeyond() const { return m_bytesBeyond; }
    bool done() const { return m_state == State::Complete || m_state == State::Bad; }
    const CRequest& request() const { return m_request; }
    CRequest& request() { return m_request; }

private:
    void processLine();
    void endOfHead();
    void takeBody(std::string_view bytes);

    HttpLimits m_limits;
    State m_state = State::RequestLine;
    CRequest m_request;
    std::string m_line;           // the line being assembled, without CR and LF
    std::size_t m_headBytes = 0;  // bytes of the head so far, line ends included
    bool m_bytesBeyond = false;
};

}  // namespace tg
