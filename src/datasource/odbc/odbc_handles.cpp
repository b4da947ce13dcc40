#include "datasource/odbc/odbc_handles.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <vector>

#include "datasource/odbc/db_error.h"

namespace tg {
namespace {

constexpr std::size_t kTextPiece = 8192;
constexpr SQLULEN kLoginTimeoutSeconds = 30;

std::vector<DbDiagnostic> diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    std::vector<DbDiagnostic> records;
    if (handle == SQL_NULL_HANDLE) return records;
    for (SQLSMALLINT number = 1;; ++number) {
        SQLCHAR state[SQL_SQLSTATE_SIZE + 1] = {};
        SQLINTEGER native = 0;
        std::string message(1024, '\0');
        SQLSMALLINT length = 0;
        SQLRETURN rc = SQLGetDiagRec(type, handle, number, state, &native,
                                     reinterpret_cast<SQLCHAR*>(message.data()),
                                     static_cast<SQLSMALLINT>(message.size()), &length);
        if (rc == SQL_SUCCESS_WITH_INFO && static_cast<std::size_t>(length) >= message.size()) {
            message.assign(static_cast<std::size_t>(length) + 1, '\0');  // was cut: ask again
            rc = SQLGetDiagRec(type, handle, number, state, &native,
                               reinterpret_cast<SQLCHAR*>(message.data()),
                               static_cast<SQLSMALLINT>(message.size()), &length);
        }
        if (!SQL_SUCCEEDED(rc)) break;
        message.resize(std::min(message.size() - 1, static_cast<std::size_t>(length)));
        records.push_back(splitDiagnostic(reinterpret_cast<const char*>(state),
                                          static_cast<long>(native), message));
    }
    return records;
}

[[noreturn]] void raise(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const char* failure) {
    std::vector<DbDiagnostic> records = diagnostics(type, handle);
    if (records.empty() && failure) throw std::runtime_error(failure);
    throw DbError(rc, std::move(records));
}

// An ODBC length for a text; longer texts cannot be passed at all.
SQLINTEGER lengthOf(std::string_view text) {
    if (text.size() > static_cast<std::size_t>(std::numeric_limits<SQLINTEGER>::max() - 1)) {
        throw std::runtime_error("The connect string is too long");
    }
    return static_cast<SQLINTEGER>(text.size());
}

SQLCHAR* bytes(std::string& text) { return reinterpret_cast<SQLCHAR*>(text.data()); }

}  // namespace

OdbcEnvironment::OdbcEnvironment() {
    const SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &m_handle);
    if (!SQL_SUCCEEDED(rc)) {
        m_handle = SQL_NULL_HENV;  // nothing to free
        throw std::runtime_error("Cannot set up ODBC: the driver manager gave no environment");
    }
    const SQLRETURN set = SQLSetEnvAttr(m_handle, SQL_ATTR_ODBC_VERSION,
                                        reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    if (!SQL_SUCCEEDED(set)) {
        SQLFreeHandle(SQL_HANDLE_ENV, m_handle);
        m_handle = SQL_NULL_HENV;
        throw std::runtime_error("Cannot set up ODBC: version 3 is not supported");
    }
}

OdbcEnvironment::~OdbcEnvironment() { SQLFreeHandle(SQL_HANDLE_ENV, m_handle); }

OdbcConnection::OdbcConnection(const OdbcEnvironment& environment) {
    const SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_DBC, environment.get(), &m_handle);
    if (!SQL_SUCCEEDED(rc)) {
        m_handle = SQL_NULL_HDBC;
        raise(rc, SQL_HANDLE_ENV, environment.get(), "Odbc connect error");
    }
}

OdbcConnection::~OdbcConnection() {
    if (m_connected) SQLDisconnect(m_handle);
    SQLFreeHandle(SQL_HANDLE_DBC, m_handle);
}

void OdbcConnection::connectReadOnly(std::string_view text, const char* failure) {
    // Set before connecting: the driver manager passes both on once the driver is loaded.
    // A driver that cannot open read-only says so when connecting, or ignores it.
    SQLSetConnectAttr(m_handle, SQL_ATTR_ACCESS_MODE,
                      reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_MODE_READ_ONLY)), 0);
    SQLSetConnectAttr(m_handle, SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(kLoginTimeoutSeconds), 0);
    std::string connection(text);
    SQLSMALLINT outLength = 0;
    const SQLRETURN rc = SQLDriverConnect(m_handle, nullptr, bytes(connection), lengthOf(text),
                                          nullptr, 0, &outLength, SQL_DRIVER_NOPROMPT);
    if (!SQL_SUCCEEDED(rc)) raise(rc, SQL_HANDLE_DBC, m_handle, failure);
    m_connected = true;
}

OdbcStatement::OdbcStatement(const OdbcConnection& connection) {
    const SQLRETURN rc = SQLAllocHandle(SQL_HANDLE_STMT, connection.get(), &m_handle);
    if (!SQL_SUCCEEDED(rc)) {
        m_handle = SQL_NULL_HSTMT;
        raise(rc, SQL_HANDLE_DBC, connection.get(), "Open recordset error");
    }
    // Drivers that keep no row status refuse this; their rows are then never marked deleted.
    SQLSetStmtAttr(m_handle, SQL_ATTR_ROW_STATUS_PTR, &m_rowStatus, 0);
}

OdbcStatement::~OdbcStatement() { SQLFreeHandle(SQL_HANDLE_STMT, m_handle); }

void OdbcStatement::fail(SQLRETURN rc, const char* failure) const {
    raise(rc, SQL_HANDLE_STMT, m_handle, failure);
}

void OdbcStatement::execute(std::string_view query, const char* failure) {
    closeCursor();
    std::string text(query);
    const SQLRETURN rc = SQLExecDirect(m_handle, bytes(text), lengthOf(query));
    // SQL_NO_DATA: a statement without a result (an UPDATE with no row); it has no columns.
    if (rc != SQL_NO_DATA && !SQL_SUCCEEDED(rc)) fail(rc, failure);
    m_open = true;
}

int OdbcStatement::columnCount() {
    SQLSMALLINT count = 0;
    const SQLRETURN rc = SQLNumResultCols(m_handle, &count);
    if (!SQL_SUCCEEDED(rc)) fail(rc, nullptr);
    return count;
}

std::string OdbcStatement::columnName(int column) {
    std::string name(256, '\0');
    SQLSMALLINT length = 0;
    SQLSMALLINT type = 0;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    SQLSMALLINT nullable = 0;
    const auto describe = [&] {
        return SQLDescribeCol(m_handle, static_cast<SQLUSMALLINT>(column), bytes(name),
                              static_cast<SQLSMALLINT>(name.size()), &length, &type, &size, &digits,
                              &nullable);
    };
    SQLRETURN rc = describe();
    if (SQL_SUCCEEDED(rc) && static_cast<std::size_t>(length) >= name.size()) {
        name.assign(static_cast<std::size_t>(length) + 1, '\0');  // was cut: ask again
        rc = describe();
    }
    if (!SQL_SUCCEEDED(rc)) fail(rc, nullptr);
    name.resize(std::min(name.size() - 1, static_cast<std::size_t>(length)));
    return name;
}

bool OdbcStatement::fetch() {
    m_rowStatus = SQL_ROW_SUCCESS;
    const SQLRETURN rc = SQLFetch(m_handle);
    if (rc == SQL_NO_DATA) return false;
    if (!SQL_SUCCEEDED(rc)) fail(rc, nullptr);
    return true;
}

std::string OdbcStatement::text(int column) {
    std::string value;
    m_buffer.resize(kTextPiece);
    for (;;) {
        SQLLEN indicator = 0;
        const SQLRETURN rc =
            SQLGetData(m_handle, static_cast<SQLUSMALLINT>(column), SQL_C_CHAR, m_buffer.data(),
                       static_cast<SQLLEN>(m_buffer.size()), &indicator);
        if (rc == SQL_NO_DATA) break;  // the whole value was read by the calls before
        if (!SQL_SUCCEEDED(rc)) fail(rc, nullptr);
        if (indicator == SQL_NULL_DATA) break;
        // The buffer holds a piece ended by a zero byte when more follows (or the total is not
        // known); else the rest.
        const std::size_t room = m_buffer.size() - 1;
        const bool more = rc == SQL_SUCCESS_WITH_INFO &&
                          (indicator == SQL_NO_TOTAL || static_cast<std::size_t>(indicator) > room);
        value.append(m_buffer.data(),
                     more ? room : std::min(room, static_cast<std::size_t>(indicator)));
        if (!more) break;
    }
    return value;
}

void OdbcStatement::closeCursor() {
    if (!m_open) return;
    SQLFreeStmt(m_handle, SQL_CLOSE);  // SQLCloseCursor would complain about a closed cursor
    m_open = false;
}

}  // namespace tg
