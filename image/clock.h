// The millisecond clock and sleep shared by the programs, the interpreter
// and the camera modules (inline, so that a module carries its own copy and
// needs nothing from its host).
#pragma once

#include <cerrno>
#include <cstdint>
#include <ctime>

#include <sys/time.h>

// Milliseconds of the wall clock, wrapping modulo 2^32: take differences in
// unsigned arithmetic.
inline uint32_t GetTickCount() {
    struct timeval tv;
    gettimeofday(&tv, nullptr);
    return uint32_t(uint64_t(tv.tv_sec) * 1000u + uint64_t(tv.tv_usec) / 1000u);
}

// Sleeps ms milliseconds; a signal does not cut it short.
inline void Sleep(uint32_t ms) {
    struct timespec t = {time_t(ms / 1000), long(ms % 1000) * 1000000L};
    while (nanosleep(&t, &t) == -1 && errno == EINTR) {}
}
