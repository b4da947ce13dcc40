#pragma once
// An event sink for tests: keeps every line as "first|second", in order. Safe to write from a
// reader thread while a test thread looks.

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/event_sink.h"

namespace tg::test {

class RecordingSink : public EventSink {
public:
    void writeLog(std::string_view first, std::string_view second) override {
        std::lock_guard lock(m_mutex);
        m_lines.push_back(std::string(first) + "|" + std::string(second));
    }
    std::vector<std::string> lines() const {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

}  // namespace tg::test
