// The system's own libraries as Wine has them: they load and list no connection. Wine's
// RasDialDlgA is not implemented and must never be called.
#include "../../support/app_harness.h"
#include "dialup/ras.h"
#include "dialup/service_binding.h"
#include "platform/profile_store.h"
#include "res/resource.h"

#include "fake_ras.h"

namespace {

TEST(WineRas, BindsAllThreeAndListsNoConnection) {
    MemoryProfileStore profile;
    profile.Write("Dialup", "Service", "auto");
    const DialupFunctions bound = BindDialupFunctions(DialupBackends(), profile);
    ASSERT_TRUE(IsLoaded("RASAPI32.DLL") && IsLoaded("RASDLG.DLL"));
    ASSERT_FALSE(IsStandIn("RASAPI32.DLL") || IsStandIn("RASDLG.DLL"))
        << "a stand-in was loaded instead of the system's library";
    EXPECT_TRUE(bound.AllBound());
    std::vector<RASCONN> list{{1, "left over"}};
    ASSERT_TRUE(bound.RasEnumConnections && bound.RasEnumConnections(list));
    EXPECT_TRUE(list.empty());
}

TEST(WineRas, TheProgramFindsNoConnectionAndOffersToConnect) {
    AppHarness h;
    h.store->Write("Dialup", "Service", "auto");
    h.Set("RAS Link Name", "Dach West");
    h.Start();
    EXPECT_TRUE(h.host.Enabled(IDC_CONNECT));
    EXPECT_EQ(h.host.Text(IDC_CONNECT), "Verbinden");
    EXPECT_FALSE(h.OnUi([&] { return h.Dialog().FindConnection(); }));
}

} // namespace
