#pragma once
// The reader of an ODBC source: polls a query. Every 10 seconds (ten waits of the source's
// retry pause, each ended at once by a stop) it connects read-only, counts the result's rows
// (rows marked deleted left out), and when the count differs from the source's last position
// it writes the duplicate log anew with every row (the first field-count columns as text) and
// shows each row to observers. Diagrams get the rows by replaying that log when rebuilt.
// The connection exists only during one poll. Runs on the source's reader thread only.
//
// A failure is reported once per poll (error record and event log line) with passwords of the
// connect string hidden; a dump that could not replace the log leaves the last position, so the
// next poll dumps again.

#include <string>
#include <vector>

#include "datasource/source_feed.h"
#include "datasource/source_transport.h"

namespace tg {

class OdbcReader : public SourceReader {
public:
    explicit OdbcReader(DataSource& source);
    // Until the source's stop is asked.
    void run() override;
    // One poll: empty, or the text of its failure as it is reported.
    std::string pollOnce();

private:
    void poll();

    SourceFeed m_source;
};

// Opens the database and runs the query of `connect`, closing both again; false with `text`
// replaced by the reason (passwords hidden).
[[nodiscard]] bool testOdbcConnection(std::string& text);

// Appends the names of the query's result columns to `names`. False when the query could not
// be run, with `error` (when given) set to the reason, passwords hidden; `names` keeps what
// was gathered.
bool odbcColumnNames(const std::string& connect, std::vector<std::string>& names,
                     std::string* error = nullptr);

}  // namespace tg
