#pragma once
// Where record parsing, the readers and the request processor report bad lines, transport
// errors and refused requests: one line of the event log per call. Any thread may call it.
// The event log implements it; until it is connected the reports go to a sink that drops them.
// It sits here, below both data sources and the HTTP stack, so neither depends on the other.

#include <string_view>

namespace tg {

class EventSink {
public:
    virtual ~EventSink() = default;
    virtual void writeLog(std::string_view first, std::string_view second) = 0;
};

// A process-wide sink that drops every line.
EventSink& noEventSink();

}  // namespace tg
