#pragma once
// A source of a given type with a recording listener and event sink, for the transport tests:
// start() attaches the listener (which starts the reader), the end detaches it (which stops
// the reader). Every line is one record of one field.

#include <chrono>
#include <string>

#include "config/config_store.h"
#include "datasource/data_source.h"
#include "support/recording_listener.h"
#include "support/recording_sink.h"
#include "support/temp_dir.h"

namespace tg::test {

class LiveSource {
public:
    LiveSource(SourceType type, const std::string& connect) {
        source.setType(type);
        source.setConnect(connect);
        source.setRegexp("^(.+)$");
        source.setFields({"line"});
        source.setRetryPause(std::chrono::milliseconds(20));
    }
    ~LiveSource() { source.detach(listener); }
    LiveSource(const LiveSource&) = delete;
    LiveSource& operator=(const LiveSource&) = delete;

    void start() { source.attach(listener); }
    // The processed records' one value each.
    std::vector<std::string> lines() const {
        std::vector<std::string> values;
        for (const Record& record : listener.processed()) values.push_back(record.at(0));
        return values;
    }
    // The reported failures, in order (each also went to the observers as an error record).
    std::vector<std::string> errors() const {
        std::vector<std::string> texts;
        for (const std::string& line : sink.lines()) texts.push_back(line.substr(line.find('|') + 1));
        return texts;
    }

    TempDir dir;
    ConfigStore store{dir.path() / "store.db"};
    RecordingSink sink;
    DataSource source{"net", store, sink};
    RecordingListener listener;
};

}  // namespace tg::test
