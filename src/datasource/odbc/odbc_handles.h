#pragma once
// The unixODBC C API in owners: an environment (ODBC 3), a connection on it and a statement on
// that. Each frees its handle (a connection disconnects first); none is copied or moved, and
// they are destroyed in reverse order of creation. Failures throw DbError with the handle's
// diagnostics, or the given text when the driver left none. One thread uses a set at a time.
// Only the ODBC unit includes this header.

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <string_view>

namespace tg {

class OdbcEnvironment {
public:
    OdbcEnvironment();
    ~OdbcEnvironment();
    OdbcEnvironment(const OdbcEnvironment&) = delete;
    OdbcEnvironment& operator=(const OdbcEnvironment&) = delete;
    SQLHENV get() const { return m_handle; }

private:
    SQLHENV m_handle = SQL_NULL_HENV;
};

class OdbcConnection {
public:
    explicit OdbcConnection(const OdbcEnvironment& environment);
    ~OdbcConnection();
    OdbcConnection(const OdbcConnection&) = delete;
    OdbcConnection& operator=(const OdbcConnection&) = delete;
    SQLHDBC get() const { return m_handle; }

    // Connects read-only with the connection text as it is, never prompting; `failure` when the
    // driver says nothing about why it failed.
    void connectReadOnly(std::string_view text, const char* failure);

private:
    SQLHDBC m_handle = SQL_NULL_HDBC;
    bool m_connected = false;
};

class OdbcStatement {
public:
    explicit OdbcStatement(const OdbcConnection& connection);
    ~OdbcStatement();
    OdbcStatement(const OdbcStatement&) = delete;
    OdbcStatement& operator=(const OdbcStatement&) = delete;

    // Runs the query, on a forward-only cursor; `failure` as for connectReadOnly. Running it
    // again closes the previous result first.
    void execute(std::string_view query, const char* failure);
    int columnCount();
    std::string columnName(int column);  // column counts from 1
    // The next row; false after the last.
    bool fetch();
    // Whether the row fetched last is marked deleted (drivers that keep no row status: never).
    bool rowDeleted() const { return m_rowStatus == SQL_ROW_DELETED; }
    // A column of the row fetched last as text; NULL as the empty text.
    std::string text(int column);
    void closeCursor();

private:
    [[noreturn]] void fail(SQLRETURN rc, const char* failure) const;

    SQLHSTMT m_handle = SQL_NULL_HSTMT;
    SQLUSMALLINT m_rowStatus = SQL_ROW_SUCCESS;
    bool m_open = false;
    std::string m_buffer;
};

}  // namespace tg
