// The ODBC connect string on arbitrary bytes: the split gives back pieces of the input in
// order, and a plain password is hidden wherever a driver might echo it.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "datasource/odbc/connect_text.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    const auto parts = tg::splitOdbcConnect(input);
    const std::size_t marker = input.find(";SQL=\"");
    check(parts.has_value() == (marker != std::string_view::npos));
    if (parts) {
        check(parts->connection == input.substr(0, marker));
        const std::string_view rest = input.substr(marker + 6);
        check(parts->query.find('"') == std::string::npos);
        check(parts->query.empty() ||
              rest.substr(0, parts->query.size() + 1) == parts->query + "\"");
    }

    // A password without braces, blanks or separators never survives in the message, whatever
    // the rest of the connection text holds.
    const std::size_t cut = input.find('\n');
    if (cut == std::string_view::npos) return 0;
    const std::string_view message = input.substr(cut + 1);
    std::string password;
    for (const char c : input.substr(0, cut)) {
        const bool plain =
            c > ' ' && c < 127 && std::string_view("*;{}=").find(c) == std::string_view::npos;
        if (plain) password += c;
    }
    if (password.empty()) return 0;
    const std::string connection = "DSN=x;PWD=" + password + ";SQL=\"q\"";
    const std::string hidden = tg::hideOdbcSecrets(message, connection);
    check(hidden.find(password) == std::string::npos);
    return 0;
}
