#pragma once
// What every fuzz target checks with: a broken promise aborts, so that libFuzzer keeps the
// input that broke it.

#include <cstdlib>

inline void check(bool condition) {
    if (!condition) std::abort();
}
