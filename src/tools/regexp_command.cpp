// tgctl regexp: the regular expression test of the web pages, from the command line, and which
// engine matches an expression.

#include <iostream>

#include "regex/reg_exp.h"
#include "tools/command_line.h"
#include "tools/commands.h"

namespace tg {
namespace {

// The engine, and for glibc the first point that keeps the expression from the compiled one,
// so a slow expression can be rewritten into a fast one.
void explain(const std::string& pattern) {
    RegExp expression;
    if (expression.compile(pattern) != 0) throw CommandError("Regular Expression Syntax Error");
    if (expression.usesCompiledEngine()) {
        std::cout << "engine\tPCRE2 JIT (deterministic: the same results as glibc, faster)\n"
                  << "groups\t" << expression.groupCount() << '\n'
                  << "pcre2\t" << expression.compiledEnginePattern() << '\n';
    } else {
        std::cout << "engine\tglibc regexec\n"
                  << "groups\t" << expression.groupCount() << '\n'
                  << "reason\t" << expression.slowPathReason() << '\n';
    }
}

}  // namespace

void runRegexpCommand(const std::vector<std::string>& words) {
    const CommandLine line(words, {}, {});
    const std::string& verb = line.positional(0, "regexp command");
    if (verb == "explain") {
        const std::string& pattern = line.positional(1, "PATTERN");
        line.expectAtMost(2);
        explain(pattern);
        return;
    }
    if (verb != "test") throw UsageError("unknown regexp command " + verb);
    const std::string& pattern = line.positional(1, "PATTERN");
    const std::string& sample = line.positional(2, "SAMPLE");
    line.expectAtMost(3);
    std::cout << testRegexp(pattern, sample) << '\n';
}

}  // namespace tg
