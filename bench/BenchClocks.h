#pragma once

#include <chrono>

#include <sys/resource.h>
#include <time.h>

// The clocks the benchmarks measure with: wall-clock time, and the processor
// time of this thread and of finished child programs, which a busy machine
// does not inflate by making a started program wait for a CPU.
namespace bench_clocks {

using Clock = std::chrono::steady_clock;

inline double seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

inline double threadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// User and system time of the finished child processes.
inline double childCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    auto s = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) * 1e-6; };
    return s(usage.ru_utime) + s(usage.ru_stime);
}

} // namespace bench_clocks
