#pragma once
// The regular expression test for a thread that must not be held, such as the web server's:
// testRegexp (reg_exp.h) run in a short-lived child process that is killed when it has not
// answered within a time limit. glibc cannot be interrupted while it matches, and it may take
// exponential time over back-references ("(.*)\1" on a 16 KB sample runs for half a minute)
// or long over a large automaton on a long sample; a child bounds all of them, whatever the
// expression, and whatever it allocated goes with it. A child that crashes takes nothing else
// down.
//
// Blocks the calling thread for at most about the limit (plus the fork). Any thread.

#include <chrono>
#include <string>
#include <string_view>

namespace tg {

// The results besides those of testRegexp: the child did not answer in time, or no child
// could be started or it ended without answering.
inline constexpr std::string_view kRegexpTestTimedOut = "Regular Expression Test Timed Out";
inline constexpr std::string_view kRegexpTestFailed = "Regular Expression Test Failed";

inline constexpr std::chrono::milliseconds kRegexpTestTimeLimit{1000};

// testRegexp(pattern, sample), or one of the two texts above.
std::string testRegexpWithin(std::string_view pattern, std::string_view sample,
                             std::chrono::milliseconds limit = kRegexpTestTimeLimit);

}  // namespace tg
