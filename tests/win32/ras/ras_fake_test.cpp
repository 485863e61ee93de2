// The system's dial-up functions bound from stand-in libraries that answer as the system does.
#include "../../support/app_harness.h"
#include "../../support/wait_until.h"
#include "app/simulators.h"
#include "dialup/ras.h"
#include "dialup/service_binding.h"
#include "platform/profile_store.h"
#include "res/resource.h"
#include "res/resources.h"
#include "tests/support/dialog_test_peer.h"

#include "fake_ras.h"

#include <chrono>
#include <functional>
#include <thread>

namespace {

std::string DialCall(const std::string& utf8Entry, const void* owner) {
    return "dial phonebook=null entry='" + AnsiFromUtf8(utf8Entry) +
           "' phone=null dwSize=" + std::to_string(kRasDialDlgSize) +
           " owner=" + std::to_string(reinterpret_cast<std::uintptr_t>(owner)) +
           " flags=0 subentry=0 reserved=0,0";
}

class SystemRas : public ::testing::Test {
protected:
    MemoryProfileStore profile;
    FakeRas fake;
    SystemClock clock;
    PortOpener ports;
    DialupBackends backends;
    DialupFunctions bound;
    // A dialog without a window of the system's: the dial dialog gets no owner.
    HeadlessHost host;
    CDialog owner{host, LoadDialogTemplate(IDD_MAIN)};

    void SetUp() override {
        RegisterSimulators(ports, backends, [this]() -> IClock& { return clock; });
        profile.Write("Dialup", "Service", "auto");
        Bind();
        ASSERT_TRUE(fake.Attach()) << "the stand-in libraries were not the ones loaded";
        ASSERT_TRUE(fake.HasDialog());
        fake.Reset();
        ASSERT_TRUE(bound.AllBound());
    }
    void Bind() { bound = BindDialupFunctions(backends, profile); }
};

TEST_F(SystemRas, ListsWithOneRecordFirstThenABufferOfExactlyTheSizeAnswered) {
    fake.List(11, "Dach West");
    fake.List(0x7FFF0000FFFF, "Überland");
    fake.List(13, std::string(256, 'x')); // the longest name the record holds
    std::vector<RASCONN> list;
    ASSERT_TRUE(bound.RasEnumConnections(list));
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].szEntryName, "Dach West");
    EXPECT_EQ(list[0].hrasconn, 11u);
    EXPECT_EQ(list[1].szEntryName, "Überland") << "read in the ANSI code page, kept as UTF-8";
    EXPECT_EQ(list[1].hrasconn, 0x7FFF0000FFFFu) << "the whole pointer-sized handle";
    EXPECT_EQ(list[2].szEntryName, std::string(256, 'x'));
    EXPECT_EQ(fake.Calls(), (Lines{EnumCall(kRasConnSize), EnumCall(3 * kRasConnSize)}));
}

TEST_F(SystemRas, NoActiveConnectionTakesOneCallAndListsNone) {
    std::vector<RASCONN> list{{5, "left over"}};
    ASSERT_TRUE(bound.RasEnumConnections(list));
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(fake.Calls(), Lines{EnumCall(kRasConnSize)});
}

TEST_F(SystemRas, AConnectionComingUpBetweenTheTwoCallsMakesTheListFailWithoutRetry) {
    fake.List(21, "Mast");
    fake.List(22, "Dach", 2);
    std::vector<RASCONN> list;
    EXPECT_FALSE(bound.RasEnumConnections(list));
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(fake.Calls(), (Lines{EnumCall(kRasConnSize), EnumCall(kRasConnSize)}));
}

TEST_F(SystemRas, HangUpPassesTheHandleWhole) {
    bound.RasHangUp(0x7FFF0000FFFF);
    EXPECT_EQ(fake.Calls(), Lines{"hangup " + std::to_string(0x7FFF0000FFFFull)});
}

TEST_F(SystemRas, DialPassesTheEntryInTheAnsiCodePageAndAnswersTheDialogsResult) {
    ASSERT_EQ(Utf8FromAnsi(AnsiFromUtf8("Überland")), "Überland") << "no such code page here";
    EXPECT_TRUE(bound.RasDialDlg(owner, "Überland"));
    fake.Reset(0);
    EXPECT_FALSE(bound.RasDialDlg(owner, "Dach West"));
    EXPECT_EQ(fake.DialCalls(), Lines{DialCall("Dach West", nullptr)});
}

TEST_F(SystemRas, OtherServicesAreStillChosenByName) {
    profile.Write("Dialup", "Service", "sim:entries=Mast,active=Mast");
    Bind();
    std::vector<RASCONN> list;
    ASSERT_TRUE(bound.RasEnumConnections && bound.RasEnumConnections(list));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].szEntryName, "Mast");

    profile.Write("Dialup", "Service", "none");
    Bind();
    EXPECT_TRUE(bound.NoneBound());

    profile.Write("Dialup", "Service", " RAS ");
    Bind();
    ASSERT_TRUE(bound.RasEnumConnections && bound.RasEnumConnections(list));
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(fake.Calls(), Lines{EnumCall(kRasConnSize)}) << "the simulator was asked before";
}

// The program itself, started on the headless host, with the system's service chosen.
struct RasApp : AppHarness {
    FakeRas fake;

    void StartWith(const std::function<void(FakeRas&)>& listed, int dialResult = 1) {
        store->Write("Dialup", "Service", "auto");
        // The stand-ins are loaded by the program's start; until then only their names exist.
        ASSERT_TRUE(Load("RASAPI32.DLL"));
        ASSERT_TRUE(Load("RASDLG.DLL"));
        ASSERT_TRUE(fake.Attach() && fake.HasDialog());
        fake.Reset(dialResult);
        listed(fake);
        Start();
    }
    // Types the name as the user would and looks it up with a stale handle in place.
    std::pair<bool, HRASCONN> Lookup(const std::string& name) {
        host.UserType(IDC_RAS_LINK_NAME, name);
        return OnUi([&] {
            DialogPeer::SetRasConn(Dialog(), 4711);
            const bool found = Dialog().FindConnection();
            return std::pair{found, Dialog().RasConn()};
        });
    }
};

TEST(ProgramOnSystemRas, FindsWholeNamesFoldingOnlyAToZAndTheFirstMatchWins) {
    RasApp h;
    h.StartWith([](FakeRas& fake) {
        fake.List(11, "Dach West");
        fake.List(12, "Überland");
        fake.List(13, "DACH WEST");
    });
    EXPECT_TRUE(h.host.Enabled(IDC_CONNECT));
    const std::vector<std::tuple<std::string, bool, HRASCONN>> cases{
        {"dach west", true, 11}, {"Dach", false, 0},     {"Dach West ", false, 0},
        {"Überland", true, 12},  {"ÜBERLAND", true, 12}, {"überland", false, 0},
        {"Uberland", false, 0},  {"", false, 0},
    };
    for (const auto& [name, found, handle] : cases) {
        const auto [result, held] = h.Lookup(name);
        EXPECT_EQ(result, found) << name;
        EXPECT_EQ(held, handle) << name;
    }
}

TEST(ProgramOnSystemRas, AConnectionComingUpBetweenTheCallsIsNotFound) {
    RasApp h;
    h.StartWith([](FakeRas&) {});
    h.fake.Reset();
    const auto calls = h.fake.Calls().size();
    h.fake.List(31, "Mast", 1);
    h.fake.List(32, "Dach", 2);
    EXPECT_EQ(h.Lookup("Mast"), std::pair(false, HRASCONN{0}));
    EXPECT_EQ(h.fake.Calls().size(), calls + 2);
}

TEST(ProgramOnSystemRas, DialsWithTheMainDialogAsOwnerThenHangsUpTheHandleFound) {
    RasApp h;
    h.StartWith([](FakeRas& fake) { fake.List(77, "Dach West"); });
    h.host.UserType(IDC_RAS_LINK_NAME, "Dach West");
    h.host.UserClick(IDC_CONNECT);
    ASSERT_TRUE(h.host.WaitForLine("text IDC_CONNECT \"Trennen\""));
    void* mainWindow = h.OnUi([&] { return h.host.NativeWindow(h.Dialog()); });
    ASSERT_NE(mainWindow, nullptr);
    EXPECT_EQ(h.fake.DialCalls(), Lines{DialCall("Dach West", mainWindow)});
    EXPECT_EQ(h.OnUi([&] { return h.Dialog().RasConn(); }), 77u);
    EXPECT_FALSE(h.host.Enabled(IDC_TEST));

    h.host.UserClick(IDC_CONNECT);
    ASSERT_TRUE(h.host.WaitForLine("text IDC_CONNECT \"Verbinden\""));
    const Lines calls = h.fake.Calls();
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[calls.size() - 2], "hangup 77");
    EXPECT_EQ(calls.back(), EnumCall(kRasConnSize)) << "the lookup after the hang-up";
    EXPECT_TRUE(h.host.Enabled(IDC_TEST));
}

TEST(ProgramOnSystemRas, ACancelledDialChangesNothing) {
    RasApp h;
    h.StartWith([](FakeRas&) {}, 0);
    h.host.UserType(IDC_RAS_LINK_NAME, "Mast");
    const auto lookups = h.fake.Calls().size();
    h.host.UserClick(IDC_CONNECT);
    ASSERT_TRUE(WaitUntil([&] { return h.fake.DialCalls().size() == 1; }));
    h.host.Sync([] {}); // the click's handler has returned
    EXPECT_EQ(h.host.Text(IDC_CONNECT), "Verbinden");
    EXPECT_TRUE(h.host.Enabled(IDC_CONFIGURE));
    EXPECT_EQ(h.fake.Calls().size(), lookups) << "no lookup after a cancelled dial";
}

} // namespace
