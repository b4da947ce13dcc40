#pragma once
// Where record parsing and the readers report bad lines and transport errors: one line of
// the event log per call. Any thread may call it. Until the event log is connected the
// reports go to a sink that drops them.

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
