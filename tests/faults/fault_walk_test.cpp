// Every serial call of a whole configuration and a whole link test, made to fail one at a time:
// first a clean run counts the calls, then call N fails for N = 1..count, as a failure, as a
// short write, and as the adapter vanishing just before it. Each ends in exactly one defined
// outcome: the step's "Interner Fehler" once and the program ending with exit code 1, or (a short
// write the step does not check) the operation running to its normal end. Never a hang, a second
// message or a crash.
#include "link/step_codes.h"
#include "tests/support/fault_port.h"
#include "tests/workers/worker_rig.h"

#include <gmock/gmock.h>

#include <optional>
#include <sstream>

namespace {

struct Call {
    PortCall kind;
    int nth; // among the calls of its kind
};

enum class Fault { Fail, ShortWrite, Vanish };

struct Operation {
    const char* name;
    int button;
    const char* options;
    bool autoMode;
    int baudrate; // the setting's index; 0 (19200 baud) keeps the link test's cycles few
};

// The configuration with the transceiver off at the start, the one with it on (so the user
// switches it off first), and the automatic link test until it passes after six seconds.
const Operation kConfigureFromOff{"configuration from off", IDC_CONFIGURE, "power=off", false, 3};
const Operation kConfigureFromOn{"configuration from on", IDC_CONFIGURE, "power=on", false, 3};
const Operation kLinkTest{"automatic link test", IDC_TEST, "power=on,rate=19200", true, 0};

// The step a failure of this call reports: the one the call belongs to.
std::optional<StepCode> CodeFor(const Operation& run, Call c) {
    using enum StepCode;
    if (run.button == IDC_TEST) {
        switch (c.kind) {
        case PortCall::ReadCts:
            return TestReadCts;
        case PortCall::SetLine:
            return TestSetLine;
        case PortCall::Write:
            return TestWritePattern;
        case PortCall::Read:
            return TestReadEcho;
        case PortCall::Purge:
            return TestPurge;
        default:
            return std::nullopt;
        }
    }
    const bool fromOn = std::string(run.options) == "power=on";
    switch (c.kind) {
    case PortCall::ReadCts:
        return ConfigureReadCts;
    case PortCall::WaitForCts:
        return fromOn && c.nth == 1 ? ConfigureWaitCtsOff : ConfigureWaitCtsOn;
    case PortCall::SetLine:
        return ConfigureSetLine;
    case PortCall::Write:
        return c.nth == 1 ? ConfigureWritePacket : ConfigureWriteReadinessByte;
    case PortCall::Read:
        return c.nth == 1 ? ConfigureReadEcho : ConfigureReadReadinessByte;
    default:
        return std::nullopt;
    }
}

// Options that give a run a fresh transceiver of its own: one lives per option text.
std::string Fresh(const char* options) {
    static int runs = 0;
    return std::string(++runs, ' ') + options;
}

// How a run ended: the program itself with its exit code, or the operation, giving the dialog
// back with every worker joined.
struct Outcome {
    bool ended = false;
    int exitCode = -1;
    bool idle = false;
    std::vector<std::string> transcript;
};

void PrintTo(const Outcome& o, std::ostream* os) {
    *os << (o.ended ? "ended with " + std::to_string(o.exitCode) : o.idle ? "idle" : "hang");
    for (const auto& line : o.transcript)
        *os << "\n  " << line;
}

// Waits until the operation has given the dialog back (endLine) or the program has ended.
Outcome AwaitOutcome(WorkerRig& rig, const std::string& endLine) {
    Outcome o;
    rig.h.host.WaitFor(
        [&](const std::string& l) { return l == endLine || l.rfind("end IDD_MAIN", 0) == 0; },
        std::chrono::seconds(20));
    if (!rig.h.host.Lines("end IDD_MAIN").empty()) {
        o.ended = rig.h.WaitForEnd();
        o.exitCode = rig.h.ExitCode();
    } else if (!rig.h.host.Lines(endLine).empty()) {
        o.idle = rig.WorkersGone();
    }
    o.transcript = rig.Transcript();
    return o;
}

void StartRun(WorkerRig& rig, const Operation& run) {
    rig.Start({{"Baudrate", std::to_string(run.baudrate)}});
    if (run.autoMode)
        rig.SetAutoMode();
}

// The line that says the operation has given the dialog back.
std::string EndLine(const Operation& run) {
    return run.button == IDC_TEST ? "text IDC_TEST \"Testen\""
                                  : "text IDC_CONFIGURE \"Konfigurieren\"";
}

// Every call of a clean run, in order.
std::vector<Call> CleanRun(const Operation& run) {
    std::vector<Call> calls;
    std::mutex m;
    ManualClock clock;
    WorkerRig rig(clock, Fresh(run.options), false);
    ScopedPortFaults record(rig.h.app.Ports(), {}, {}, [&](PortCall kind, int nth) {
        std::lock_guard lock(m);
        calls.push_back({kind, nth});
    });
    StartRun(rig, run);
    rig.Click(run.button);
    EXPECT_TRUE(rig.WaitLine(EndLine(run), std::chrono::seconds(60)));
    EXPECT_TRUE(rig.WorkersGone());
    EXPECT_TRUE(rig.h.host.Lines("messagebox").empty());
    std::lock_guard lock(m);
    return calls;
}

Outcome RunWithFault(const Operation& run, Call call, Fault fault) {
    ManualClock clock;
    WorkerRig rig(clock, Fresh(run.options), false);
    StartRun(rig, run);
    std::vector<PortFault> faults;
    if (fault != Fault::Vanish)
        faults.push_back({call.kind, call.nth, fault == Fault::ShortWrite});
    CallHook pull;
    if (fault == Fault::Vanish)
        pull = [&rig, call](PortCall kind, int nth) {
            if (kind == call.kind && nth == call.nth)
                rig.Sim()->Vanish();
        };
    ScopedPortFaults inject(rig.h.app.Ports(), faults, {}, pull);
    rig.Click(run.button);
    return AwaitOutcome(rig, EndLine(run));
}

MATCHER_P(OneInternalError, step, "") {
    const Outcome& o = arg;
    const std::optional<StepCode> code = step;
    if (!code) {
        *result_listener << "the call belongs to no step";
        return false;
    }
    if (!o.ended || o.exitCode != 1) {
        *result_listener << "the program did not end with 1";
        return false;
    }
    const auto& lines = o.transcript;
    const auto boxes = std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
        return l.rfind("messagebox", 0) == 0;
    });
    const std::string box =
        "messagebox \"Interner Fehler " + std::to_string(Number(*code)) + "\\n\"";
    if (boxes != 1 || std::find(lines.begin(), lines.end(), box) == lines.end()) {
        *result_listener << "expected exactly one " << box;
        return false;
    }
    return true;
}

MATCHER(RanToItsEnd, "") {
    const Outcome& o = arg;
    for (const auto& l : o.transcript)
        if (l.rfind("messagebox", 0) == 0) {
            *result_listener << "a message: " << l;
            return false;
        }
    return !o.ended && o.idle;
}

class FaultWalk : public ::testing::TestWithParam<Operation> {};

void PrintTo(const Operation& r, std::ostream* os) {
    *os << r.name;
}

} // namespace

TEST_P(FaultWalk, EveryCallFailingEndsInItsInternalError) {
    const Operation& run = GetParam();
    const std::vector<Call> calls = CleanRun(run);
    ASSERT_GT(calls.size(), 10u);
    for (std::size_t i = 0; i < calls.size(); ++i) {
        const Call c = calls[i];
        SCOPED_TRACE("call " + std::to_string(i + 1) + " of " + std::to_string(calls.size()) +
                     ": " + ToString(c.kind) + " #" + std::to_string(c.nth));
        EXPECT_THAT(RunWithFault(run, c, Fault::Fail), OneInternalError(CodeFor(run, c)));
        if (HasFatalFailure() || HasNonfatalFailure())
            return; // one story is enough
    }
    std::printf("%s: %zu calls, each failed once\n", run.name, calls.size());
}

TEST_P(FaultWalk, EveryWriteCutShortEndsInItsErrorOrIsNoFailure) {
    const Operation& run = GetParam();
    const std::vector<Call> calls = CleanRun(run);
    std::size_t writes = 0;
    for (const Call& c : calls) {
        if (c.kind != PortCall::Write)
            continue;
        ++writes;
        SCOPED_TRACE("Write #" + std::to_string(c.nth));
        if (run.button == IDC_CONFIGURE) {
            // The packet and each readiness byte must go out whole.
            EXPECT_THAT(RunWithFault(run, c, Fault::ShortWrite), OneInternalError(CodeFor(run, c)));
        } else {
            // The link test counts what comes back; a byte lost on the way is a worse cycle.
            EXPECT_THAT(RunWithFault(run, c, Fault::ShortWrite), RanToItsEnd());
        }
        if (HasFatalFailure() || HasNonfatalFailure())
            return;
    }
    std::printf("%s: %zu writes, each cut short once\n", run.name, writes);
}

TEST_P(FaultWalk, TheAdapterVanishingBeforeAnyCallEndsInThatCallsError) {
    const Operation& run = GetParam();
    const std::vector<Call> calls = CleanRun(run);
    for (std::size_t i = 0; i < calls.size(); ++i) {
        const Call c = calls[i];
        SCOPED_TRACE("vanished before call " + std::to_string(i + 1) + ": " + ToString(c.kind) +
                     " #" + std::to_string(c.nth));
        EXPECT_THAT(RunWithFault(run, c, Fault::Vanish), OneInternalError(CodeFor(run, c)));
        if (HasFatalFailure() || HasNonfatalFailure())
            return;
    }
    std::printf("%s: vanished before each of %zu calls\n", run.name, calls.size());
}

INSTANTIATE_TEST_SUITE_P(Whole, FaultWalk,
                         ::testing::Values(kConfigureFromOff, kConfigureFromOn, kLinkTest),
                         [](const auto& info) {
                             return std::string(info.index == 0   ? "ConfigurationFromOff"
                                                : info.index == 1 ? "ConfigurationFromOn"
                                                                  : "AutomaticLinkTest");
                         });

namespace {

Outcome VanishWhileWaiting(const char* options, int button, const char* status) {
    ManualClock clock;
    WorkerRig rig(clock, Fresh(options), false);
    rig.Start();
    rig.Click(button);
    EXPECT_TRUE(rig.WaitStatus(status)) << status;
    rig.Sim()->Vanish();
    return AwaitOutcome(rig, "the operation ends only through its error");
}

} // namespace

// Pulled out while the worker waits for the user, or while the link test runs by hand: the
// wait ends at once with the step's error.
TEST(VanishWhileWaiting, TheWaitEndsInItsInternalError) {
    EXPECT_THAT(
        VanishWhileWaiting("power=off,user=absent", IDC_CONFIGURE, "Laser-Transceiver einschalten"),
        OneInternalError(StepCode::ConfigureWaitCtsOn));
    EXPECT_THAT(VanishWhileWaiting("power=on,user=absent", IDC_CONFIGURE,
                                   "Laser-Transceiver zuerst ausschalten"),
                OneInternalError(StepCode::ConfigureWaitCtsOff));
    // By hand the test writes, reads and purges in turn; it fails in whichever comes next.
    EXPECT_THAT(VanishWhileWaiting("power=on", IDC_TEST, "Der Laser ist eingeschaltet"),
                ::testing::AnyOf(OneInternalError(StepCode::TestWritePattern),
                                 OneInternalError(StepCode::TestReadEcho),
                                 OneInternalError(StepCode::TestPurge)));
}
