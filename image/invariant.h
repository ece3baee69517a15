// INVARIANT(condition): an internal consistency check, for conditions that
// only a fault of Tavex itself can break (never bad input, which gets an
// error message). Active in the checking builds, where TAVEX_CHECKS is
// defined (the sanitizer and collector-stress trees); compiled away in a
// release build, which pays nothing for it. A failed check names the
// condition and its place on standard error and aborts, so that the test
// that ran into it fails.
#pragma once

#include <cstdio>
#include <cstdlib>

#ifdef TAVEX_CHECKS
#define INVARIANT(condition) \
    ((condition) ? void(0) : invariantfailed(#condition, __FILE__, __LINE__))
#else
#define INVARIANT(condition) void(0)
#endif

[[noreturn]] inline void invariantfailed(const char *condition, const char *file, int line) {
    fprintf(stderr, "%s:%d: invariant broken: %s\n", file, line, condition);
    abort();
}
