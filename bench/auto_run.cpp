// Automatic run overhead: the wall time of a full automatic run of the real program against
// the simulators (transceiver off, an obedient user who switches it on after `react` ms; a
// dial-up simulator that takes `delay` ms), minus what is not the program's:
//   - the line time of every byte in the transceiver's log at the speed it was sent with,
//     except the link test's, which the next item covers;
//   - the simulated user's reaction and the dial delay, once for each "cts on" and "dial" the
//     simulators' logs report;
//   - the program's own fixed waits: the 500 ms pause before the packet, the
//     100 ms read time-out that ends the readiness loop (and the echo check's, if its read came
//     back short), and the link test up to the end of its first cycle at or after 6000 ms, as
//     the trace shows it. The link test's own cycles are measured by link_cycle; the figure
//     "with nominal cycles" counts instead the test as it would run with cycles of exactly one
//     line time, so what the cycles add shows up too (or less when the longer cycles reach
//     6000 ms one cycle sooner).
// The trace (QUILLMERE_TRACE=1), time-stamped here as its lines arrive, divides the run into
// steps, each compared with what it should take.
//
//   auto_run [runs [react ms [delay ms]]]    (default 5, 200, 500)
#include "bench/bench_support.h"
#include "bench/child_process.h"

#include <cmath>
#include <fcntl.h>
#include <mutex>
#include <sstream>

using namespace bench;

namespace {

struct TraceLine {
    long long ns;
    std::string text;
};

std::vector<TraceLine> ReadTrace(int fd) {
    std::vector<TraceLine> lines;
    std::string pending;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        const long long now = MonotonicNs();
        pending.append(buf, static_cast<size_t>(n));
        for (size_t eol; (eol = pending.find('\n')) != std::string::npos;) {
            lines.push_back({now, pending.substr(0, eol)});
            pending.erase(0, eol + 1);
        }
    }
    return lines;
}

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

struct LogFigures {
    double otherLineMs = 0; // line time of everything but the link test
    int linkCycles = 0;
    int switches = 0;
    int dials = 0;
    int shortEchoReads = 0;
};

LogFigures ReadLogs(const std::string& transceiverLog, const std::string& dialLog) {
    LogFigures f;
    std::istringstream in(transceiverLog);
    double speed = 0;
    bool inTest = false;
    bool echoDue = false; // a packet went out: the next line shows whether its echo was whole
    for (std::string line; std::getline(in, line);) {
        const auto bytes = [&] { return (line.size() - 3 + 1) / 3; };
        if (echoDue && !(line.rfind("rx ", 0) == 0 && bytes() == 8))
            ++f.shortEchoReads;
        echoDue = false;
        if (line.rfind("speed ", 0) == 0)
            speed = std::atof(line.c_str() + 6);
        else if (line == "cts on" || line == "cts off")
            ++f.switches;
        else if (line == "purge")
            ++f.linkCycles;
        else if (line.rfind("tx ", 0) == 0) {
            if (line.rfind("tx 54 45 53 54", 0) == 0)
                inTest = true;
            echoDue = speed == 9600 && bytes() == 8;
            if (!inTest && speed > 0)
                f.otherLineMs += static_cast<double>(bytes()) * 10.0 * 1000.0 / speed;
        }
    }
    std::istringstream dial(dialLog);
    for (std::string line; std::getline(dial, line);)
        if (line.rfind("dial ", 0) == 0)
            ++f.dials;
    return f;
}

struct Step {
    const char* name;
    const char* untilLine; // the step ends with the first such trace line after the last step
    double dueMs;          // what it should take; filled in per run where it depends on the logs
};

struct RunResult {
    bool ok = false;
    double wallMs = 0;
    double subtractedMs = 0;
    double overheadMs = 0;
    double overheadNominalMs = 0;
    double testMs = 0;
    std::vector<double> stepMs, stepExcessMs;
    LogFigures logs;
};

constexpr double kLinkRate = 115200;

RunResult RunOnce(const std::string& binary, int reactMs, int delayMs) {
    Sandbox box;
    const std::string tlog = box.Path("transceiver.log");
    const std::string dlog = box.Path("dialup.log");
    box.WriteSettings("[Settings]\nRAS%20Link%20Name=Optolink\nRun%20Program=/bin/true\n\n"
                      "[Ports]\nCOM1=sim:power=off,user=obedient,react=" +
                      std::to_string(reactMs) + ",log=" + tlog +
                      "\n\n[Dialup]\nService=sim:entries=Optolink,delay=" +
                      std::to_string(delayMs) + ",log=" + dlog + "\n");
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return {};
    auto env = box.Environment();
    env["QUILLMERE_TRACE"] = std::to_string(1);
    const Child child = Spawn(binary, {}, env, {{fds[1], 2}});
    ::close(fds[1]);
    std::vector<TraceLine> trace = ReadTrace(fds[0]); // until the program has ended
    ::close(fds[0]);
    const Ended ended = Reap(child);

    RunResult r;
    if (child.pid <= 0 || !WIFEXITED(ended.status) || WEXITSTATUS(ended.status) != 0) {
        std::fprintf(stderr, "the automatic run did not end with 0\n");
        return r;
    }
    r.logs = ReadLogs(Slurp(tlog), Slurp(dlog));
    const double lineMs = 1024.0 * 10.0 * 1000.0 / kLinkRate;
    const double testMs = std::ceil(6000.0 / lineMs) * lineMs;
    const double timeouts = 100.0 + 100.0 * r.logs.shortEchoReads;
    const double readinessLine = r.logs.otherLineMs - 8 * 10 * 1000.0 / 9600;
    r.wallMs = static_cast<double>(ended.endNs - child.startNs) / 1e6;
    const double delays =
        r.logs.otherLineMs + reactMs * r.logs.switches + delayMs * r.logs.dials + 500.0 + timeouts;

    const Step steps[] = {
        {"exec to the main dialog's first control", "trace: open IDD_MAIN", 0},
        {"start-up probe to \"einschalten\"",
         "trace: text IDC_STATUS \"Laser-Transceiver einschalten\"", 0},
        {"user's reaction", "trace: text IDC_STATUS \"Sende Konfigurationsdaten...\"",
         static_cast<double>(reactMs)},
        {"pause + packet + echo",
         "trace: text IDC_STATUS \"Warten, bis Transceiver bereit ist...\"",
         500.0 + 8 * 10 * 1000.0 / 9600 + 100.0 * r.logs.shortEchoReads},
        {"readiness loop + end step + test start",
         "trace: text IDC_STATUS \"Prüfe Link-Qualität...\"", readinessLine + 100.0},
        {"link test", "trace: text IDC_STATUS \"\"", testMs},
        {"test end step to the dial dialog", "trace: open IDD_DIAL", 0},
        {"dial", "trace: text IDC_CONNECT \"Trennen\"", static_cast<double>(delayMs)},
    };
    long long last = child.startNs;
    size_t at = 0;
    for (const Step& s : steps) {
        while (at < trace.size() && trace[at].text != s.untilLine)
            ++at;
        if (at == trace.size()) {
            std::fprintf(stderr, "the trace has no line %s\n", s.untilLine);
            return r;
        }
        const double ms = static_cast<double>(trace[at].ns - last) / 1e6;
        r.stepMs.push_back(ms);
        r.stepExcessMs.push_back(ms - s.dueMs);
        last = trace[at].ns;
    }
    const double ms = static_cast<double>(ended.endNs - last) / 1e6;
    r.stepMs.push_back(ms);
    r.stepExcessMs.push_back(ms);
    r.testMs = r.stepMs[5];
    r.subtractedMs = delays + r.testMs;
    r.overheadMs = r.wallMs - r.subtractedMs;
    r.overheadNominalMs = r.wallMs - (delays + testMs);
    r.ok = true;
    return r;
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int reactMs = argc > 2 ? std::atoi(argv[2]) : 200;
    const int delayMs = argc > 3 ? std::atoi(argv[3]) : 500;
    std::vector<RunResult> results;
    for (int i = 0; i < runs; ++i) {
        RunResult r = RunOnce(QUILLMERE_BINARY, reactMs, delayMs);
        if (!r.ok)
            return 1;
        results.push_back(std::move(r));
    }
    auto column = [&](auto get) {
        std::vector<double> v;
        for (const auto& r : results)
            v.push_back(get(r));
        return v;
    };
    const auto wall = column([](const RunResult& r) { return r.wallMs; });
    const auto sub = column([](const RunResult& r) { return r.subtractedMs; });
    const auto over = column([](const RunResult& r) { return r.overheadMs; });
    const auto nominal = column([](const RunResult& r) { return r.overheadNominalMs; });
    const auto test = column([](const RunResult& r) { return r.testMs; });
    const LogFigures& logs = results.front().logs;
    std::string cycles;
    for (const auto& r : results)
        cycles.append(cycles.empty() ? 0 : 1, ' ').append(std::to_string(r.logs.linkCycles));
    std::printf("Automatic run against the simulators (react=%d ms, dial delay=%d ms), %d runs\n",
                reactMs, delayMs, runs);
    std::printf("logs: %.2f ms line time outside the link test, %d switch(es), %d dial(s), %d "
                "short echo(es); link-test cycles per run: %s\n",
                logs.otherLineMs, logs.switches, logs.dials, logs.shortEchoReads, cycles.c_str());
    std::printf("%-44s %10s %10s\n", "", "median ms", "max ms");
    std::printf("%-44s %10.1f %10.1f\n", "wall time", Median(wall), Percentile(wall, 1.0));
    std::printf("%-44s %10.1f %10.1f\n", "line time + delays + fixed waits", Median(sub),
                Percentile(sub, 1.0));
    std::printf("%-44s %10.1f %10.1f\n", "  of which the link test (traced)", Median(test),
                Percentile(test, 1.0));
    std::printf("%-44s %10.1f %10.1f   (target <= 100 ms; ratio %.2f)\n", "overhead", Median(over),
                Percentile(over, 1.0), Median(over) / 100.0);
    std::printf("%-44s %10.1f %10.1f   (link test as %.0f cycles of %.3f ms)\n",
                "overhead with nominal link-test cycles", Median(nominal), Percentile(nominal, 1.0),
                std::ceil(6000.0 / (1024.0 * 10000.0 / kLinkRate)), 1024.0 * 10000.0 / kLinkRate);
    std::printf("\nwhere it goes (step: measured, and beyond what it should take)\n");
    const char* names[] = {"exec to the main dialog's first control",
                           "start-up probe to \"einschalten\"",
                           "user's reaction",
                           "pause + packet + echo",
                           "readiness loop + end step + test start",
                           "link test",
                           "test end step to the dial dialog",
                           "dial",
                           "dial end to exit (follow-up started)"};
    for (size_t k = 0; k < std::size(names); ++k) {
        const auto ms = column([k](const RunResult& r) { return r.stepMs[k]; });
        const auto excess = column([k](const RunResult& r) { return r.stepExcessMs[k]; });
        std::printf("%-44s %10.1f %10.1f\n", names[k], Median(ms), Median(excess));
    }
    return 0;
}
