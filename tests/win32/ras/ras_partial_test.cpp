// A system whose RASAPI32.DLL lacks RasHangUpA and which has no RASDLG.DLL at all: only the
// listing is bound, and the connect button's two branches do nothing.
#include "../../support/app_harness.h"
#include "dialup/ras.h"
#include "dialup/service_binding.h"
#include "platform/profile_store.h"
#include "res/resource.h"
#include "tests/support/dialog_test_peer.h"

#include "fake_ras.h"

namespace {

TEST(PartialSystemRas, AMissingLibraryOrEntryLeavesJustThatFunctionUnbound) {
    MemoryProfileStore profile;
    const DialupFunctions bound = BindDialupFunctions(DialupBackends(), profile); // "auto"
    ASSERT_FALSE(IsLoaded("RASDLG.DLL"));
    FakeRas fake;
    ASSERT_TRUE(fake.Attach()) << "the stand-in RASAPI32.DLL was not the one loaded";
    fake.Reset();
    EXPECT_FALSE(bound.RasHangUp);
    EXPECT_FALSE(bound.RasDialDlg);
    ASSERT_TRUE(bound.RasEnumConnections);
    fake.List(5, "Mast");
    std::vector<RASCONN> list;
    ASSERT_TRUE(bound.RasEnumConnections(list));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].hrasconn, 5u);
}

TEST(PartialSystemRas, TheConnectButtonStartsDisabledAndItsBranchesDoNothing) {
    AppHarness h;
    h.store->Write("Dialup", "Service", "auto");
    ASSERT_TRUE(Load("RASAPI32.DLL"));
    FakeRas fake;
    ASSERT_TRUE(fake.Attach());
    fake.Reset();
    fake.List(5, "Mast");
    h.Set("RAS Link Name", "Mast");
    h.Start();
    EXPECT_FALSE(h.host.Enabled(IDC_CONNECT));

    // The automatic sequence calls the handler directly, whatever the button says.
    struct After {
        HRASCONN handle;
        bool autoMode;
        std::string status, connect;
    };
    auto connect = [&](HRASCONN held) {
        return h.OnUi([&] {
            CLinkControlDialog& d = h.Dialog();
            DialogPeer::SetRasConn(d, held);
            DialogPeer::SetAutoMode(d, true);
            d.SetDlgItemText(IDC_STATUS, "vorher");
            d.OnConnect();
            return After{d.RasConn(), d.State().autoMode, d.GetDlgItemText(IDC_STATUS),
                         d.GetDlgItemText(IDC_CONNECT)};
        });
    };
    const Lines before = fake.Calls();
    // With no port to open the start has looked the connection up: it shows "Trennen".
    const std::string shown = h.host.Text(IDC_CONNECT);
    for (HRASCONN held : {HRASCONN{5}, HRASCONN{0}}) {
        const After after = connect(held);
        EXPECT_EQ(after.handle, held) << "no lookup ran";
        EXPECT_FALSE(after.autoMode);
        EXPECT_EQ(after.status, "vorher");
        EXPECT_EQ(after.connect, shown);
    }
    EXPECT_EQ(fake.Calls(), before);
    EXPECT_FALSE(h.Done()) << "the program did not end";
}

} // namespace
