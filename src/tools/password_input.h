#pragma once
// The password of `tgctl user add`. From a terminal it is asked twice with echo off, the
// terminal's settings coming back however reading ends (an error, an exception, or one of the
// signals that end the process); otherwise it is one line of standard input without its line
// end (LF or CR LF), so scripts can pipe it in.
//
// Main thread only: it changes signal dispositions while echo is off.

#include <string>

namespace tg {

struct PasswordEntry {
    std::string password;
    std::string retyped;  // the second answer on a terminal; the password itself otherwise
    bool fromTerminal = false;
};

// A CommandError when standard input ends before a line, the line is too long or it cannot
// be read.
PasswordEntry readPasswordEntry();

}  // namespace tg
