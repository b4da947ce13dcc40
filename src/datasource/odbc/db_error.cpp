#include "datasource/odbc/db_error.h"

namespace tg {

DbError::DbError(int returnCode, std::vector<DbDiagnostic> diagnostics)
    : std::runtime_error("database error " + std::to_string(returnCode)),
      m_returnCode(returnCode),
      m_diagnostics(std::move(diagnostics)) {}

std::string DbError::message() const {
    std::string text;
    for (const DbDiagnostic& record : m_diagnostics) {
        text += record.message;
        text += '\n';
    }
    return text;
}

std::string DbError::stateText() const {
    std::string text;
    for (const DbDiagnostic& record : m_diagnostics) {
        text += "State:" + record.state + ",Native:" + std::to_string(record.nativeError) +
                ",Origin:" + record.origin + '\n';
    }
    return text;
}

std::string formatDbError(const DbError& error) {
    return "ERROR " + std::to_string(error.returnCode()) + ":\n" + error.message() +
           error.stateText();
}

DbDiagnostic splitDiagnostic(std::string state, long nativeError, std::string_view text) {
    std::size_t originEnd = 0;
    while (originEnd < text.size() && text[originEnd] == '[') {
        const std::size_t close = text.find(']', originEnd);
        if (close == std::string_view::npos) break;
        originEnd = close + 1;
    }
    return DbDiagnostic{std::move(state), nativeError, std::string(text.substr(0, originEnd)),
                        std::string(text.substr(originEnd))};
}

}  // namespace tg
