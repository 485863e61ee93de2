#include "../support/wait_until.h"
#include "fake_service.h"
#include "res/resource.h"
#include "temp_dir.h"
#include "tests/support/dialog_test_peer.h"

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <utility>

namespace {

using Lines = std::vector<std::string>;
using Dialling = FakeDialupService::Dialling;

struct Found {
    bool result;
    HRASCONN handle;
};

// Types the entry name as the user would, then runs the lookup with a stale handle in place.
Found Lookup(DialupHarness& h, const std::string& name) {
    h.host.UserType(IDC_RAS_LINK_NAME, name);
    return h.OnUi([&] {
        DialogPeer::SetRasConn(h.Dialog(), 4711);
        const bool found = h.Dialog().FindConnection();
        return Found{found, h.Dialog().RasConn()};
    });
}

// Started while connected to "Mast" with handle: the port does not open, so the start looks the
// connection up and offers to hang it up.
void StartConnected(DialupHarness& h, HRASCONN handle) {
    h.service->active = {{handle, "Mast"}};
    h.Set("RAS Link Name", "Mast");
    h.Start();
    ASSERT_EQ(h.host.Text(IDC_CONNECT), "Trennen");
    h.host.ClearTranscript();
}

// The buttons once a hang-up has ended the connection: the link's buttons work again.
void ExpectDisconnected(DialupHarness& h) {
    EXPECT_EQ(h.host.Text(IDC_CONNECT), "Verbinden");
    EXPECT_TRUE(h.host.Enabled(IDC_CONFIGURE));
    EXPECT_TRUE(h.host.Enabled(IDC_TEST));
    EXPECT_EQ(h.OnUi([&] { return h.Dialog().RasConn(); }), 0u);
}

// Connected, then "Trennen" clicked: the hang-up is held by the service until the test
// releases it.
void StartHeldHangUp(DialupHarness& h, HRASCONN handle) {
    h.service->hangUpWaits = true;
    StartConnected(h, handle);
    h.host.UserClick(IDC_CONNECT);
    ASSERT_TRUE(WaitUntil([&] { return h.service->HangUpInFlight(); }));
}

TEST(FindConnection, ComparesWholeNamesFoldingOnlyTheLettersAToZ) {
    DialupHarness h;
    h.service->active = {{11, "Dach West"}, {12, "Überland"}, {13, "mast-2"}};
    h.Start();
    const std::vector<std::tuple<std::string, bool, HRASCONN>> cases{
        {"Dach West", true, 11},  {"dACH wEST", true, 11},  {"Dach", false, 0},
        {"Dach West ", false, 0}, {"Dach  West", false, 0}, {"Überland", true, 12},
        {"überland", false, 0},   {"ÜBERLAND", true, 12},   {"MAST-2", true, 13},
        {"", false, 0},
    };
    for (const auto& [name, found, handle] : cases) {
        Found f = Lookup(h, name);
        EXPECT_EQ(f.result, found) << name;
        EXPECT_EQ(f.handle, handle) << name;
    }
}

// As the dial finds its entry: "/d Mast" hangs up "Mast", not "mast" listed before it.
TEST(FindConnection, TheExactNameElseTheFirstThatDiffersInCaseInTheServicesOrder) {
    DialupHarness h;
    h.service->active = {{21, "funk"}, {22, "Funk"}, {23, "FUNK"}};
    h.Start();
    const std::vector<std::pair<std::string, HRASCONN>> cases{
        {"funk", 21}, {"Funk", 22}, {"FUNK", 23}, {"fUnK", 21}};
    for (const auto& [name, handle] : cases)
        EXPECT_EQ(Lookup(h, name).handle, handle) << name;
}

TEST(FindConnection, AnEnumerationThatFailsOrIsNotBoundMeansNone) {
    {
        DialupHarness h;
        h.service->active = {{31, "Mast"}};
        h.service->failEnum = true;
        h.Start();
        Found f = Lookup(h, "Mast");
        EXPECT_FALSE(f.result);
        EXPECT_EQ(f.handle, 0u);
    }
    {
        DialupHarness h("none");
        h.Start();
        Found f = Lookup(h, "Mast");
        EXPECT_FALSE(f.result);
        EXPECT_EQ(f.handle, 0u);
        EXPECT_FALSE(h.host.Enabled(IDC_CONNECT)) << "nothing bound: no connection button";
    }
}

TEST(OnConnect, WithNothingBoundBothBranchesOnlyEndTheAutomaticRun) {
    DialupHarness h("none");
    h.Start();
    h.host.ClearTranscript();
    for (HRASCONN handle : {HRASCONN{0}, HRASCONN{5}}) {
        const bool autoMode = h.OnUi([&] {
            DialogPeer::SetRasConn(h.Dialog(), handle);
            DialogPeer::SetAutoMode(h.Dialog(), true);
            h.Dialog().OnConnect();
            return h.Dialog().State().autoMode;
        });
        EXPECT_FALSE(autoMode);
    }
    EXPECT_EQ(h.host.Transcript(), Lines{}) << "no dialog, no status, no button change";
}

TEST(OnConnect, HangUpShowsItsStatusThenTheDisconnectedState) {
    DialupHarness h;
    StartConnected(h, 41);
    h.host.UserClick(IDC_CONNECT);
    ASSERT_TRUE(h.host.WaitForLine("text IDC_CONNECT \"Verbinden\""));
    EXPECT_EQ(h.Seen({"text IDC_STATUS"}),
              (Lines{"text IDC_STATUS \"Trenne Verbindung...\"", "text IDC_STATUS \"\""}));
    ExpectDisconnected(h);
    const Lines calls = h.service->Calls();
    EXPECT_EQ(Lines(calls.end() - 2, calls.end()), (Lines{"hangup 41", "enum"}));
}

TEST(OnConnect, AHangUpThatLeavesTheConnectionListedKeepsItAndHangsUpAgain) {
    DialupHarness h;
    h.service->hangUpLeavesListed = true;
    StartConnected(h, 51);
    for (size_t n : {1, 2}) {
        h.host.UserClick(IDC_CONNECT);
        ASSERT_TRUE(WaitUntil([&] { return h.Seen({"text IDC_STATUS \"\""}).size() == n; }));
    }
    h.OnUi([] { return 0; });
    EXPECT_EQ(h.Seen({"enable", "text IDC_CONNECT"}), Lines{});
    EXPECT_EQ(h.host.Text(IDC_CONNECT), "Trennen");
    EXPECT_EQ(h.OnUi([&] { return h.Dialog().RasConn(); }), 51u);
    const Lines calls = h.service->Calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "hangup 51"), 2);
}

// A hang-up the test holds: the dialog stays responsive and shows it, and no button starts
// anything until it ends as any hang-up does.
TEST(OnConnect, AHangUpInFlightShowsItsStatusAndIgnoresTheButtons) {
    DialupHarness h;
    StartHeldHangUp(h, 61);
    if (HasFatalFailure())
        return;
    const auto [status, inFlight] = h.OnUi([&] {
        return std::pair(h.Dialog().GetDlgItemText(IDC_STATUS), h.service->HangUpInFlight());
    });
    EXPECT_EQ(status, "Trenne Verbindung...");
    EXPECT_TRUE(inFlight) << "the UI thread waited for the hang-up";
    for (int id : {IDC_CONNECT, IDC_CONFIGURE, IDC_TEST})
        h.host.UserClick(id);
    h.OnUi([] { return 0; });
    h.service->Release();
    ASSERT_TRUE(h.host.WaitForLine("text IDC_CONNECT \"Verbinden\""));
    EXPECT_EQ(h.Seen({"text IDC_STATUS"}),
              (Lines{"text IDC_STATUS \"Trenne Verbindung...\"", "text IDC_STATUS \"\""}));
    ExpectDisconnected(h);
    const Lines calls = h.service->Calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "hangup 61"), 1);
}

TEST(OnConnect, ClosingDuringAHangUpLetsItFinishAndShowsNothingAfterwards) {
    DialupHarness h;
    StartHeldHangUp(h, 62);
    if (HasFatalFailure())
        return;
    h.host.UserPressEscape();
    h.service->Release();
    ASSERT_TRUE(h.WaitForEnd());
    EXPECT_EQ(LiveWorkerThreads(), 0);
    EXPECT_EQ(h.Seen({"enable", "text IDC_CONNECT"}), Lines{}) << "the end step was dropped";
    EXPECT_EQ(h.host.Lines("end IDD_MAIN"), Lines{"end IDD_MAIN 2"});
}

// The lookup after a successful dial runs on a worker: closing meanwhile waits for it, drops its
// end step and ends the program as a close at rest does.
TEST(OnConnect, ClosingDuringTheLookupAfterADialEndsAsAnyClose) {
    std::pair<int, Lines> atRest;
    {
        DialupHarness h;
        h.Start();
        h.host.UserPressEscape();
        ASSERT_TRUE(h.WaitForEnd());
        atRest = {h.ExitCode(), h.host.Lines("end IDD_MAIN")};
    }
    DialupHarness h;
    h.Start();
    h.service->HoldLookups();
    h.host.ClearTranscript();
    h.host.UserClick(IDC_CONNECT);
    ASSERT_TRUE(h.host.WaitForLine("end IDD_DIAL 1"));
    ASSERT_TRUE(WaitUntil([&] { return h.service->LookupInFlight(); }));
    for (int id : {IDC_CONFIGURE, IDC_TEST, IDC_CONNECT}) // they start nothing meanwhile
        h.host.UserClick(id);
    h.host.UserPressEscape();
    ASSERT_TRUE(h.host.WaitForLine("user escape"));
    EXPECT_FALSE(h.Done()) << "ended before the lookup did";
    h.service->Release();
    ASSERT_TRUE(h.WaitForEnd(std::chrono::seconds(5)));
    EXPECT_EQ(std::pair(h.ExitCode(), h.host.Lines("end IDD_MAIN")), atRest);
    EXPECT_EQ(h.Seen({"enable", "text IDC_CONNECT"}), Lines{}) << "the end step ran after all";
    EXPECT_EQ(h.host.Lines("open IDD_DIAL").size(), 1u);
    EXPECT_EQ(LiveWorkerThreads(), 0);
}

TEST(OnConnect, ASuccessfulDialShowsTheConnectedStateAndKeepsTheDialogOpen) {
    DialupHarness h;
    h.Set("RAS Link Name", "Dach West");
    h.Start();
    h.host.ClearTranscript();
    h.host.UserClick(IDC_CONNECT);
    ASSERT_TRUE(h.host.WaitForLine("text IDC_CONNECT \"Trennen\""));
    EXPECT_EQ(h.Seen({"open", "text", "end"}),
              (Lines{"open IDD_DIAL", "text IDC_DIAL_ENTRY \"Dach West\"",
                     "text IDC_DIAL_STATUS \"Verbindung wird hergestellt...\"",
                     "text IDC_DIAL_STATUS \"Wähle Dach West...\"", "end IDD_DIAL 1",
                     "text IDC_CONNECT \"Trennen\""}));
    EXPECT_FALSE(h.host.Enabled(IDC_CONFIGURE));
    EXPECT_FALSE(h.host.Enabled(IDC_TEST));
    EXPECT_EQ(h.OnUi([&] { return h.Dialog().RasConn(); }), 77u);
    EXPECT_EQ(h.host.ModalDepth(), 1);
    EXPECT_FALSE(h.Done());
}

TEST(OnConnect, NoDialWorkerIsLeftRunningOnceTheDialHasReturned) {
    DialupHarness h;
    h.Set("RAS Link Name", "Dach West");
    h.Start();
    // The lookup after the dial is what an exit right after the dial waits for: besides its own
    // worker, nothing may be left.
    h.service->onEnum = [] { return LiveWorkerThreads(); };
    h.host.UserClick(IDC_CONNECT);
    ASSERT_TRUE(h.host.WaitForLine("text IDC_CONNECT \"Trennen\""));
    EXPECT_EQ(h.service->Calls().back(), "enum with 1 workers");
}

TEST(OnConnect, ASuccessfulDialStartsTheFollowUpProgram) {
    TempDir dir;
    DialupHarness h;
    h.Set("Run Program", TouchCommand(dir / "gestartet nach Dach"));
    h.Start();
    h.host.UserClick(IDC_CONNECT);
    ASSERT_TRUE(h.host.WaitForLine("text IDC_CONNECT \"Trennen\""));
    EXPECT_TRUE(WaitUntil([&] { return std::filesystem::exists(dir / "gestartet nach Dach"); }));
}

TEST(OnConnect, ADialWhoseConnectionIsNotFoundShowsTrennenAndDialsAgainNextTime) {
    DialupHarness h;
    h.service->dialling = Dialling::ConnectsUnlisted;
    h.Start();
    h.host.UserClick(IDC_CONNECT);
    ASSERT_TRUE(h.host.WaitForLine("text IDC_CONNECT \"Trennen\""));
    EXPECT_EQ(h.OnUi([&] { return h.Dialog().RasConn(); }), 0u);
    h.host.ClearTranscript();
    h.host.UserClick(IDC_CONNECT);
    // The second dial's end step names the button again, as every dial's does.
    ASSERT_TRUE(h.host.WaitForLine("text IDC_CONNECT \"Trennen\""));
    const Lines calls = h.service->Calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "dial "), 2);
}

TEST(DialDialog, AbbrechenStopsTheDialAndChangesNothingButTheAutomaticRun) {
    TempDir dir;
    DialupHarness h;
    h.service->dialling = Dialling::WaitsForCancel;
    h.Set("Run Program", TouchCommand(dir / "started"));
    h.Start();
    h.host.Sync([&] { DialogPeer::SetAutoMode(h.Dialog(), true); });
    h.host.ClearTranscript();
    h.host.UserClick(IDC_CONNECT);
    ASSERT_TRUE(h.host.WaitForLine("text IDC_DIAL_STATUS \"Wähle ...\""));
    EXPECT_EQ(h.host.Text(IDCANCEL), "Abbrechen");
    h.host.UserClick(IDCANCEL);
    ASSERT_TRUE(h.host.WaitForLine("end IDD_DIAL 2"));
    EXPECT_EQ(h.service->Calls().back(), "cancelled") << "the service saw the cancel";
    EXPECT_FALSE(h.OnUi([&] { return h.Dialog().State().autoMode; }));
    EXPECT_EQ(h.Seen({"enable", "text IDC_CONNECT", "text IDC_STATUS"}), Lines{});
    EXPECT_EQ(h.host.Text(IDC_CONNECT), "Verbinden");
    EXPECT_FALSE(std::filesystem::exists(dir / "started"));
    EXPECT_FALSE(h.Done());
}

TEST(DialDialog, AFailureIsShownWithTheServicesWordsUntilTheUserClosesTheDialog) {
    DialupHarness h;
    h.service->dialling = Dialling::Fails;
    h.Start();
    h.host.UserClick(IDC_CONNECT);
    ASSERT_TRUE(h.host.WaitForLine("text IDCANCEL \"Schließen\""));
    EXPECT_EQ(h.host.Text(IDC_DIAL_STATUS), "Die Gegenstelle antwortet nicht.");
    EXPECT_EQ(h.host.Lines("tooltip IDC_DIAL_STATUS"),
              Lines{"tooltip IDC_DIAL_STATUS \"peer: no answer\""});
    EXPECT_EQ(h.host.ModalDepth(), 2) << "the dialog waits for the user";
    h.host.UserClick(IDCANCEL);
    ASSERT_TRUE(h.host.WaitForLine("end IDD_DIAL 2"));
    EXPECT_EQ(h.host.Text(IDC_CONNECT), "Verbinden");
    EXPECT_TRUE(h.host.Enabled(IDC_CONFIGURE));
}

TEST(OnConnect, ASuccessfulAutomaticDialStartsTheProgramThenEndsWithZero) {
    TempDir dir;
    DialupHarness h;
    h.Set("Run Program", TouchCommand(dir / "started"));
    h.Start();
    h.host.Sync([&] { DialogPeer::SetAutoMode(h.Dialog(), true); });
    h.host.UserClick(IDC_CONNECT);
    ASSERT_TRUE(h.WaitForEnd());
    EXPECT_EQ(h.ExitCode(), 0);
    EXPECT_TRUE(WaitUntil([&] { return std::filesystem::exists(dir / "started"); }));
}

// A follow-up program that cannot start ends the program with 1 and says so: the command line
// as it is, or its first 100 characters and "…" (the whole on standard error). Blanks alone name
// no program: as with an empty line, the automatic run ends with 0.
TEST(OnConnect, AFollowUpProgramThatCannotStartEndsTheProgramWithOne) {
    std::string manyA;
    for (int i = 0; i < 300; ++i)
        manyA += "ä";
    const std::string tool = "/nonexistent/dach-tool ";
    const struct {
        std::string line;
        bool autoMode;
        int exitCode;
        Lines boxes;
    } cases[] = {
        {tool + "--now", false, 1, {"messagebox \"Kann " + tool + "--now nicht ausführen!\\n\""}},
        {tool + "--now", true, 1, {"messagebox \"Kann " + tool + "--now nicht ausführen!\\n\""}},
        {" \t ", true, 0, {}},
        {tool + manyA,
         true,
         1,
         {"messagebox \"Kann " + tool + manyA.substr(0, 2 * (100 - tool.size())) +
          "… nicht ausführen!\\n\""}},
    };
    for (const auto& c : cases) {
        DialupHarness h;
        h.Set("Run Program", c.line);
        h.Start();
        h.host.Sync([&] { DialogPeer::SetAutoMode(h.Dialog(), c.autoMode); });
        ::testing::internal::CaptureStderr();
        h.host.UserClick(IDC_CONNECT);
        const bool ended = h.WaitForEnd();
        const std::string err = ::testing::internal::GetCapturedStderr();
        ASSERT_TRUE(ended) << c.line;
        EXPECT_EQ(h.ExitCode(), c.exitCode) << c.line;
        EXPECT_EQ(h.host.Lines("messagebox"), c.boxes);
        EXPECT_TRUE(c.line.size() <= 100 || err.find(c.line) != std::string::npos) << err.size();
    }
}

} // namespace
