#include "datasource/odbc/odbc_reader.h"

#include <exception>
#include <optional>
#include <stdexcept>

#include "datasource/odbc/connect_text.h"
#include "datasource/odbc/db_error.h"
#include "datasource/odbc/duplicate_dump.h"
#include "datasource/odbc/odbc_handles.h"

namespace tg {
namespace {

constexpr int kPauseSteps = 10;  // retry pauses between two polls

// The query of a connect string, run on a fresh read-only connection; everything is closed
// when it goes.
class OdbcQuery {
public:
    explicit OdbcQuery(const std::string& connect)
        : m_parts(partsOf(connect)), m_connection(m_environment) {
        m_connection.connectReadOnly(m_parts.connection, "Odbc connect error");
        m_statement.emplace(m_connection);
        rerun();
    }
    // From its first row again.
    void rerun() { m_statement->execute(m_parts.query, "Open recordset error"); }
    OdbcStatement& statement() { return *m_statement; }

private:
    static OdbcConnect partsOf(const std::string& connect) {
        auto parts = splitOdbcConnect(connect);
        if (!parts) throw std::runtime_error(odbcUsageMessage());
        return std::move(*parts);
    }

    OdbcConnect m_parts;
    OdbcEnvironment m_environment;
    OdbcConnection m_connection;
    std::optional<OdbcStatement> m_statement;
};

// The text a failure is reported with, passwords of `connect` hidden. Called in a catch block.
std::string failureText(const std::string& connect) {
    try {
        throw;
    } catch (const DbError& e) {
        return hideOdbcSecrets(formatDbError(e), connect);
    } catch (const std::exception& e) {
        // The usage text shows an example password of its own.
        if (e.what() == odbcUsageMessage()) return e.what();
        return hideOdbcSecrets(e.what(), connect);
    } catch (...) {
        return "Unknown error.";
    }
}

}  // namespace

OdbcReader::OdbcReader(DataSource& source) : m_source(source) {}

void OdbcReader::run() {
    while (!m_source.stopping()) {
        pollOnce();
        for (int step = 0; step < kPauseSteps; ++step) {
            if (m_source.waitForStop(m_source.retryPause())) return;
        }
    }
}

std::string OdbcReader::pollOnce() {
    const std::string connect = m_source.connect();
    std::string error;
    try {
        poll();
    } catch (...) {
        error = failureText(connect);
    }
    if (error.empty() || m_source.stopping()) return {};
    m_source.reportError(error);
    return error;
}

void OdbcReader::poll() {
    OdbcQuery query(m_source.connect());
    OdbcStatement& rows = query.statement();
    const int columns = rows.columnCount();
    std::uint64_t count = 0;
    while (!m_source.stopping() && rows.fetch()) {
        if (!rows.rowDeleted()) ++count;
    }
    const ReadPosition position = m_source.readPosition();
    if (m_source.stopping() || count == position.offset) return;

    const FieldNames fields = m_source.fieldNames();
    if (fields.size() > static_cast<std::size_t>(columns)) {
        throw std::runtime_error("Fields count in odbc source is not enough");
    }
    query.rerun();
    DuplicateDump dump(m_source.backup(), m_source.listSeparator());
    Record values(fields.size());
    std::uint64_t written = 0;
    while (!m_source.stopping() && rows.fetch()) {
        if (rows.rowDeleted()) continue;
        for (std::size_t i = 0; i < values.size(); ++i) {
            values[i] = rows.text(static_cast<int>(i) + 1);
        }
        dump.write(values);
        m_source.showRecord(values);
        ++written;
    }
    // Cut short: the previous log stays whole, and the next reader dumps again.
    if (m_source.stopping()) return;
    if (!dump.commit()) throw std::runtime_error(dump.error());
    ReadPosition dumped = position;
    dumped.offset = written;
    // Refused after a reset meanwhile: the next poll dumps again.
    [[maybe_unused]] const bool recorded = m_source.updateReadPosition(dumped);
}

bool testOdbcConnection(std::string& text) {
    try {
        OdbcQuery query(text);
        return true;
    } catch (...) {
        text = failureText(text);
        return false;
    }
}

bool odbcColumnNames(const std::string& connect, std::vector<std::string>& names,
                     std::string* error) {
    try {
        OdbcQuery query(connect);
        const int columns = query.statement().columnCount();
        for (int column = 1; column <= columns; ++column) {
            names.push_back(query.statement().columnName(column));
        }
        return true;
    } catch (...) {
        if (error) *error = failureText(connect);
        return false;
    }
}

}  // namespace tg
