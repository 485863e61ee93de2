// Every serial step that can fail, made to fail through the fault-injecting port: the user sees
// "Interner Fehler N" once in a message box, and the program ends with exit code 1 without
// giving the dialog back.
#include "link/step_codes.h"
#include "tests/support/fault_port.h"
#include "worker_rig.h"

#include <gmock/gmock.h>

#include <regex>

namespace {

struct Failure {
    const char* name;
    StepCode code;
    int button;
    const char* options;
    PortFault fault;
};

void PrintTo(const Failure& f, std::ostream* os) {
    *os << f.name;
}

struct Ending {
    bool ended = false;
    bool portFreeAtBox = false; // another program may take the port while the box waits
    int exitCode = -1;
    std::vector<std::string> transcript;
    std::string err;
};

MATCHER_P(ReportsInternalErrorOnce, stepCode, "") {
    const int code = Number(stepCode);
    const Ending& e = arg;
    if (!e.ended || e.exitCode != 1) {
        *result_listener << (e.ended ? "ended with " + std::to_string(e.exitCode) : "never ended");
        return false;
    }
    const std::string box = "messagebox \"Interner Fehler " + std::to_string(code) + "\\n\"";
    const auto& lines = e.transcript;
    const auto boxes = std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
        return l.rfind("messagebox", 0) == 0;
    });
    if (boxes != 1 || std::find(lines.begin(), lines.end(), box) == lines.end()) {
        *result_listener << "expected exactly one message box " << box;
        return false;
    }
    if (!e.portFreeAtBox) {
        *result_listener << "the port was still held while the box showed";
        return false;
    }
    // No end step: the dialog is not given back before the program ends.
    for (const char* restored : {"enable IDC_COM_PORT 1", "text IDC_CONFIGURE \"Konfigurieren\"",
                                 "text IDC_TEST \"Testen\""})
        if (std::find(lines.begin(), lines.end(), restored) != lines.end()) {
            *result_listener << "the dialog was given back: " << restored;
            return false;
        }
    const std::string step = "serial step " + std::to_string(code) + " failed";
    if (e.err.find(step) == std::string::npos) {
        *result_listener << "the failed step is not on standard error";
        return false;
    }
    return true;
}

Ending RunUntilTheProgramEnds(const Failure& f) {
    ManualClock clock;
    // A transceiver of its own: one lives per option text, and its power outlasts the port.
    static int runs = 0;
    WorkerRig rig(clock, std::string(++runs, ' ') + f.options, false);
    rig.Start();
    ScopedPortFaults faults(rig.h.app.Ports(), {f.fault});
    Ending e;
    rig.h.host.OnRecord([&](const std::string& line) {
        if (line.starts_with("messagebox"))
            e.portFreeAtBox = rig.PortOpensAgain();
    });
    ::testing::internal::CaptureStderr();
    rig.Click(f.button);
    e.ended = rig.h.WaitForEnd(std::chrono::seconds(20));
    e.err = ::testing::internal::GetCapturedStderr();
    e.exitCode = rig.h.ExitCode();
    e.transcript = rig.Transcript();
    if (e.ended) {
        EXPECT_EQ(LiveWorkerThreads(), 0) << "the dialog joined its worker before it closed";
        EXPECT_TRUE(rig.PortOpensAgain()) << "the failed job's port is closed";
    }
    return e;
}

void PrintTo(const Ending& e, std::ostream* os) {
    *os << (e.ended ? "ended with " + std::to_string(e.exitCode) : "still running") << "\n";
    for (const auto& line : e.transcript)
        *os << "  " << line << "\n";
    *os << e.err;
}

class FailingStep : public ::testing::TestWithParam<Failure> {};

} // namespace

TEST_P(FailingStep, ShowsItsCodeOnceAndEndsTheProgramWithExitCode1) {
    const Failure& f = GetParam();
    EXPECT_THAT(RunUntilTheProgramEnds(f), ReportsInternalErrorOnce(f.code));
}

namespace {
constexpr int C = IDC_CONFIGURE;
constexpr int T = IDC_TEST;
using P = PortCall;
using enum StepCode;
} // namespace

INSTANTIATE_TEST_SUITE_P(
    Configuration, FailingStep,
    ::testing::Values(
        Failure{"FirstCtsRead", ConfigureReadCts, C, "power=off", {P::ReadCts, 1}},
        Failure{"WaitForOff", ConfigureWaitCtsOff, C, "power=on", {P::WaitForCts, 1}},
        Failure{"WaitForOn", ConfigureWaitCtsOn, C, "power=off", {P::WaitForCts, 1}},
        Failure{"WaitForOnAfterOff", ConfigureWaitCtsOn, C, "power=on", {P::WaitForCts, 2}},
        Failure{"SetLine9600", ConfigureSetLine, C, "power=off", {P::SetLine, 1}},
        Failure{"SetLineOperatingRate", ConfigureSetLine, C, "power=off", {P::SetLine, 2}},
        Failure{"WritePacket", ConfigureWritePacket, C, "power=off", {P::Write, 1}},
        Failure{"WritePacketShort", ConfigureWritePacket, C, "power=off", {P::Write, 1, true}},
        Failure{"ReadEcho", ConfigureReadEcho, C, "power=off", {P::Read, 1}},
        Failure{"WriteReadinessByte", ConfigureWriteReadinessByte, C, "power=off", {P::Write, 2}},
        Failure{"WriteReadinessByteNone",
                ConfigureWriteReadinessByte,
                C,
                "power=off",
                {P::Write, 5, true}},
        Failure{"ReadReadinessByte", ConfigureReadReadinessByte, C, "power=off", {P::Read, 2}},
        Failure{
            "ReadLaterReadinessByte", ConfigureReadReadinessByte, C, "power=off", {P::Read, 7}}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    LinkTest, FailingStep,
    ::testing::Values(Failure{"CtsRead", TestReadCts, T, "power=on", {P::ReadCts, 1}},
                      Failure{"SetLine", TestSetLine, T, "power=on", {P::SetLine, 1}},
                      Failure{"FirstWrite", TestWritePattern, T, "power=on", {P::Write, 1}},
                      Failure{
                          "WriteInThirdCycle", TestWritePattern, T, "power=on", {P::Write, 150}},
                      Failure{"Read", TestReadEcho, T, "power=on", {P::Read, 1}},
                      Failure{"ReadInFifthCycle", TestReadEcho, T, "power=on", {P::Read, 5}},
                      Failure{"Purge", TestPurge, T, "power=on", {P::Purge, 1}},
                      Failure{"PurgeInSecondCycle", TestPurge, T, "power=on", {P::Purge, 2}}),
    [](const auto& info) { return std::string(info.param.name); });
