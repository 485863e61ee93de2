// Start-up: from exec to the main dialog's first paint, and peak resident memory, of the real
// program against a bare Qt dialog (bare_dialog), both offscreen, runs alternating. The program
// gets a private settings folder with COM1 unmapped (no port is probed) and no dial-up service;
// into both the stamp of first_paint.cpp is preloaded, which writes a CLOCK_MONOTONIC stamp at
// their first paint to the descriptor named by QUILLMERE_BENCH_FIRST_PAINT, and they are killed
// once it has come.
//
//   startup [runs each]    (default 30)
#include "bench/bench_support.h"
#include "bench/child_process.h"

#include <fcntl.h>
#include <poll.h>

using namespace bench;

namespace {

struct Sample {
    bool ok = false;
    double paintMs = 0;
    double rssMb = 0;
};

Sample StartOnce(const std::string& program, const Sandbox& box) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return {};
    auto env = box.Environment();
    env["QUILLMERE_BENCH_FIRST_PAINT"] = std::to_string(3); // the descriptor given below
    env["LD_PRELOAD"] = FIRST_PAINT_LIBRARY;
    const Child child = Spawn(program, {}, env, {{fds[1], 3}});
    ::close(fds[1]);
    Sample s;
    std::string text;
    const long long deadline = MonotonicNs() + 20'000'000'000LL;
    while (child.pid > 0 && text.find('\n') == std::string::npos && MonotonicNs() < deadline) {
        pollfd pfd{fds[0], POLLIN, 0};
        if (::poll(&pfd, 1, 100) <= 0)
            continue;
        char buf[128];
        const ssize_t n = ::read(fds[0], buf, sizeof buf);
        if (n <= 0)
            break; // it ended without painting
        text.append(buf, static_cast<size_t>(n));
    }
    ::close(fds[0]);
    if (child.pid <= 0)
        return s;
    ::kill(child.pid, SIGKILL);
    const Ended ended = Reap(child);
    long long stamp = 0;
    if (std::sscanf(text.c_str(), "first-paint %lld", &stamp) == 1) {
        s.ok = true;
        s.paintMs = static_cast<double>(stamp - child.startNs) / 1e6;
        s.rssMb = static_cast<double>(ended.maxRssKb) / 1024.0;
    }
    return s;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 30;
    Sandbox box;
    box.WriteSettings("[Ports]\nCOM1=\n\n[Dialup]\nService=none\n");
    const std::string programs[2] = {QUILLMERE_BINARY, BARE_DIALOG_BINARY};
    std::vector<double> paint[2], rss[2];
    int failures = 0;
    // One unmeasured start of each first: the file cache, not the program, would be timed.
    StartOnce(programs[0], box);
    StartOnce(programs[1], box);
    for (int i = 0; i < runs; ++i) {
        for (int k : {i % 2, 1 - i % 2}) {
            const Sample s = StartOnce(programs[k], box);
            if (!s.ok) {
                ++failures;
                continue;
            }
            paint[k].push_back(s.paintMs);
            rss[k].push_back(s.rssMb);
        }
    }
    std::printf("Start-up to the first paint of the main dialog, offscreen, %d runs each, "
                "alternating\n",
                runs);
    std::printf("%-26s %9s %9s %11s %11s\n", "", "paint ms", "p99 ms", "max RSS MB", "RSS p99");
    const char* names[2] = {"Quillmere", "bare Qt dialog"};
    for (int k = 0; k < 2; ++k)
        std::printf("%-26s %9.1f %9.1f %11.1f %11.1f\n", names[k], Median(paint[k]),
                    Percentile(paint[k], 0.99), Median(rss[k]), Percentile(rss[k], 0.99));
    std::printf("%-26s %9.3f %9.3f %11.3f %11.3f\n", "ratio", Median(paint[0]) / Median(paint[1]),
                Percentile(paint[0], 0.99) / Percentile(paint[1], 0.99),
                Median(rss[0]) / Median(rss[1]),
                Percentile(rss[0], 0.99) / Percentile(rss[1], 0.99));
    std::printf("targets: time ratio <= 1.5, memory ratio <= 1.2%s\n",
                failures ? "  (some starts did not paint)" : "");
    return failures ? 1 : 0;
}
