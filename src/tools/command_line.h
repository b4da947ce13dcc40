#pragma once
// Command-line words of one tgctl command: positional arguments and "--name value" options.
// A usage error is thrown as UsageError and ends tgctl with exit code 2; any other failure
// of a command is thrown as CommandError and ends it with exit code 1 and a one-line message.

#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tg {

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
struct CommandError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class CommandLine {
public:
    // Splits `words` into positionals and options. `valued` names the options that take a
    // value ("--store" takes the next word); other "--x" words are flags. A lone "-" and
    // everything after "--" are positionals. Unknown options are a UsageError.
    CommandLine(const std::vector<std::string>& words, const std::set<std::string>& valued,
                const std::set<std::string>& flags);

    const std::vector<std::string>& positionals() const { return m_positionals; }
    // The i-th positional; a UsageError naming `what` when it is missing.
    const std::string& positional(std::size_t i, std::string_view what) const;
    std::optional<std::string> option(const std::string& name) const;
    bool flag(const std::string& name) const { return m_flags.count(name) != 0; }
    // A UsageError when there are more than `count` positionals.
    void expectAtMost(std::size_t count) const;

private:
    std::vector<std::string> m_positionals;
    std::map<std::string, std::string> m_options;
    std::set<std::string> m_flags;
};

}  // namespace tg
