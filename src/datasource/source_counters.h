#pragma once
// What a data source's reader has done since the process started, for the metrics: counts
// that only grow (a reset does not clear them) and the time of the last accepted record.

#include <cstdint>

namespace tg {

struct SourceCounters {
    std::uint64_t linesRead = 0;      // complete lines parsed
    std::uint64_t bytesRead = 0;      // bytes received from the transport
    std::uint64_t errorRecords = 0;   // lines that gave no record, and reader failures
    bool running = false;             // a reader thread runs
    std::int64_t lastRecordTime = 0;  // seconds since 1970 of the last record; 0 for none
};

}  // namespace tg
