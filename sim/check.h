#pragma once
// KAV_CHECK(condition, what): a precondition of the simulation (the indexes are sorted,
// a slot is in range), checked in debug builds and under the sanitizers
// (KAVROSA_SANITIZE) and compiled out of Release builds, whose ticks it must not slow.
#include <cstdio>
#include <cstdlib>

#if !defined(NDEBUG) || defined(KAVROSA_SANITIZE)
#define KAV_CHECKS_ON 1
#define KAV_CHECK(condition, what) \
    ((condition) ? void(0) : ::kav::checkFailed(#condition, what, __FILE__, __LINE__))
#else
#define KAV_CHECKS_ON 0
#define KAV_CHECK(condition, what) ((void)0)
#endif

namespace kav {

[[noreturn]] inline void checkFailed(const char* condition, const char* what, const char* file,
                                     int line) {
    std::fprintf(stderr, "%s:%d: check failed: %s (%s)\n", file, line, what, condition);
    std::abort();
}

}  // namespace kav
