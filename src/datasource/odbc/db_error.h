#pragma once
// A failure reported by the database layer: the ODBC return code of the failed call and the
// diagnostic records the driver manager and the driver gave with it. Thrown by the ODBC
// handles on the reader thread (and by testConnection's and odbcColumnNames' callers' threads),
// caught at the reader loop's edge.

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tg {

struct DbDiagnostic {
    std::string state;  // the five-character SQLSTATE
    long nativeError = 0;
    std::string origin;   // the bracketed components that raised it ("[unixODBC][Driver Manager]")
    std::string message;  // the text after the origin
};

class DbError : public std::runtime_error {
public:
    DbError(int returnCode, std::vector<DbDiagnostic> diagnostics);

    int returnCode() const { return m_returnCode; }
    const std::vector<DbDiagnostic>& diagnostics() const { return m_diagnostics; }
    // Every record's message, each followed by a line end.
    std::string message() const;
    // Every record's "State:S,Native:N,Origin:O", each followed by a line end.
    std::string stateText() const;

private:
    int m_returnCode;
    std::vector<DbDiagnostic> m_diagnostics;
};

// "ERROR " and the return code, ":\n", the message and the state text.
std::string formatDbError(const DbError& error);

// A diagnostic message split into its leading bracketed origin and the rest.
DbDiagnostic splitDiagnostic(std::string state, long nativeError, std::string_view text);

}  // namespace tg
