// What the stress programs share: a seed given or drawn (and printed, so that a failing run can
// be repeated), and what the process holds, counted from /proc.
#pragma once

#include "tests/support/wait_until.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

struct StressArgs {
    std::uint64_t seed = std::random_device{}();
    long cycles = 0; // 0: the program's own default
};

// Takes --seed=N and --cycles=N out of argv (the rest goes on to GoogleTest).
inline StressArgs TakeStressArgs(int& argc, char** argv, const char* program) {
    StressArgs args;
    int out = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--seed=", 7) == 0)
            args.seed = std::strtoull(argv[i] + 7, nullptr, 10);
        else if (std::strncmp(argv[i], "--cycles=", 9) == 0)
            args.cycles = std::strtol(argv[i] + 9, nullptr, 10);
        else
            argv[out++] = argv[i];
    }
    argc = out;
    std::printf("%s: seed %llu (repeat with --seed=%llu)\n", program,
                static_cast<unsigned long long>(args.seed),
                static_cast<unsigned long long>(args.seed));
    std::fflush(stdout);
    return args;
}

inline int CountEntries(const char* dir) {
    int n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir))
        ++n;
    return n;
}
inline int OpenFds() {
    return CountEntries("/proc/self/fd");
}
inline int Threads() {
    return CountEntries("/proc/self/task");
}
// The threads once those already joined are gone: a joined thread stays listed for a moment
// while the kernel finishes its exit. Gives the count when it is down to expected, or after
// ten seconds whatever it is then.
inline int ThreadsOnceSettled(int expected) {
    WaitUntil([&] { return Threads() <= expected; });
    return Threads();
}
// A thread started and joined before the counting begins: a sanitizer starts a helper thread
// of its own with the first thread of the program, which must not count against a cycle.
inline void WarmUpThreads() {
    std::thread([] {}).join();
}
