#pragma once
// Runs the real tgctl executable for integration tests and collects what it printed.

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace tg::test {

struct RunResult {
    int exitCode = -1;  // the exit status, or -1 when the process did not exit normally
    std::string out;
    std::string err;
};

// Runs tgctl with `args`, feeding `input` to its standard input.
RunResult runTgctl(const std::vector<std::string>& args, const std::string& input = {});

}  // namespace tg::test
