#pragma once
// The system's message for an error number ("Connection refused"), as the readers report it.
// Any thread.

#include <string.h>

#include <string>

namespace tg {

inline std::string systemErrorText(int error) {
    char buffer[256];
    // The GNU strerror_r: returns the text, which may or may not be in `buffer`.
    return ::strerror_r(error, buffer, sizeof buffer);
}

}  // namespace tg
