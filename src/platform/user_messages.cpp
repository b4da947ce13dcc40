#include "platform/user_messages.h"

#include <cstdio>
#include <string>

namespace tg {

void StderrMessages::show(std::string_view text, MessageIcon icon) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
    std::string line = icon == MessageIcon::Stop ? "Error: " : "";
    line.append(text);
    line += '\n';
    // One write per message, so that messages from several threads do not mix.
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

}  // namespace tg
