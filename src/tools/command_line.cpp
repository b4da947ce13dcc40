#include "tools/command_line.h"

namespace tg {

CommandLine::CommandLine(const std::vector<std::string>& words, const std::set<std::string>& valued,
                         const std::set<std::string>& flags) {
    bool onlyPositionals = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (onlyPositionals || word.size() < 2 || word.compare(0, 2, "--") != 0) {
            m_positionals.push_back(word);
        } else if (word == "--") {
            onlyPositionals = true;
        } else if (valued.count(word)) {
            if (i + 1 >= words.size()) throw UsageError(word + " needs a value");
            m_options[word] = words[++i];
        } else if (flags.count(word)) {
            m_flags.insert(word);
        } else {
            throw UsageError("unknown option " + word);
        }
    }
}

const std::string& CommandLine::positional(std::size_t i, std::string_view what) const {
    if (i >= m_positionals.size()) throw UsageError("missing " + std::string(what));
    return m_positionals[i];
}

std::optional<std::string> CommandLine::option(const std::string& name) const {
    auto it = m_options.find(name);
    if (it == m_options.end()) return std::nullopt;
    return it->second;
}

void CommandLine::expectAtMost(std::size_t count) const {
    if (m_positionals.size() > count)
        throw UsageError("unexpected argument " + m_positionals[count]);
}

}  // namespace tg
