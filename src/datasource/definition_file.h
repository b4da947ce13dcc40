#pragma once
// The files that definitions are exported to and imported from, and the question a front end
// answers before one is replaced. Plain functions, any thread.

#include <functional>
#include <string>
#include <string_view>

namespace tg {

// A question of the export and import flows, put to whoever runs them (a message box, a
// command-line option): true goes on, false leaves everything as it is.
using ExchangeQuestion = std::function<bool(const std::string& question)>;

inline constexpr std::string_view kRewriteFileQuestion = "File already exists. Rewrite?";

// Reads the whole file at `path`, or what `fd` delivers until its end; refuses more than
// kMaxDefinitionXml bytes without keeping them. 0 done; 1 and `error` when it cannot be read
// or is too large.
[[nodiscard]] int readDefinitionFile(const std::string& path, std::string& text,
                                     std::string& error);
[[nodiscard]] int readDefinitionInput(int fd, std::string& text, std::string& error);

// Writes `text` to `path`, replacing the file there only when `ask` accepts
// kRewriteFileQuestion. 0 written; 1 with `error` empty when the replacement was declined,
// else with the reason it could not be written.
[[nodiscard]] int writeDefinitionFile(const std::string& path, std::string_view text,
                                      const ExchangeQuestion& ask, std::string& error);
// Writes all of `text` to `fd`; 1 and `error` when it cannot.
[[nodiscard]] int writeDefinitionOutput(int fd, std::string_view text, std::string& error);

}  // namespace tg
