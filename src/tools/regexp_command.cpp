// tgctl regexp: the regular expression test of the web pages, from the command line.

#include <iostream>

#include "datasource/reg_exp.h"
#include "tools/command_line.h"
#include "tools/commands.h"

namespace tg {

void runRegexpCommand(const std::vector<std::string>& words) {
    const CommandLine line(words, {}, {});
    const std::string& verb = line.positional(0, "regexp command");
    if (verb != "test") throw UsageError("unknown regexp command " + verb);
    const std::string& pattern = line.positional(1, "PATTERN");
    const std::string& sample = line.positional(2, "SAMPLE");
    line.expectAtMost(3);
    std::cout << testRegexp(pattern, sample) << '\n';
}

}  // namespace tg
