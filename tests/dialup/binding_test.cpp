#include "dialup/dialup_service.h"
#include "dialup/ras.h"
#include "dialup/service_binding.h"
#include "platform/profile_store.h"
#include "temp_dir.h"

#include <fstream>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

bool AllBound() {
    return g_pfnRasHangUp && g_pfnRasEnumConnections && g_pfnRasDialDlg;
}
bool NoneBound() {
    return !g_pfnRasHangUp && !g_pfnRasEnumConnections && !g_pfnRasDialDlg;
}

class Binding : public ::testing::Test {
protected:
    MemoryProfileStore profile;
    TempDir dir;
    void SetUp() override {
        // A machine without pppd: only the stand-in, where a test puts it.
        profile.Write("Dialup", "Pppd", dir / "bin/pppd");
        profile.Write("Dialup", "PeersFolder", dir / "peers");
        profile.Write("Dialup", "RunFolder", dir / "run");
        RegisterNetworkManagerBackend([] { return nullptr; }); // not on the bus
    }
    void TearDown() override {
        BindDialupService(nullptr);
        RegisterNetworkManagerBackend(nullptr);
    }
    void InstallPppd() {
        for (const char* sub : {"bin", "peers", "run"})
            std::filesystem::create_directory(dir / sub);
        std::filesystem::create_symlink(FAKE_PPPD, dir / "bin/pppd");
    }
    std::vector<std::string> Listed() {
        std::vector<RASCONN> list;
        EXPECT_TRUE(g_pfnRasEnumConnections(list));
        std::vector<std::string> names;
        for (const auto& c : list)
            names.push_back(c.szEntryName);
        return names;
    }
};

TEST_F(Binding, AServiceThatIsMissingLeavesAllThreeUnbound) {
    for (const std::string choice : {"none", "auto", "", "pppd", "networkmanager", "modem",
                                     "sim:dial=maybe", "sim:log=/nonexistent/x/y"}) {
        BindDialupService(nullptr);
        profile.Write("Dialup", "Service", choice);
        BindDialupFunctions(profile);
        EXPECT_TRUE(NoneBound()) << choice;
    }
}

TEST_F(Binding, TheSimulatorIsBoundWithItsOptionsReadWhole) {
    profile.Write("Dialup", "Service", " sim:entries=Dach West|Mast,active=Mast|Dach West ");
    BindDialupFunctions(profile);
    ASSERT_TRUE(AllBound());
    EXPECT_EQ(Listed(), (std::vector<std::string>{"Mast", "Dach West"}));
    std::vector<RASCONN> list;
    g_pfnRasEnumConnections(list);
    EXPECT_EQ(g_pfnRasHangUp(list[0].hrasconn), 0u);
    EXPECT_EQ(Listed(), std::vector<std::string>{"Dach West"});
}

TEST_F(Binding, PppdIsChosenByNameOrFoundByAuto) {
    InstallPppd();
    for (const std::string choice : {"pppd", "PPPD", "auto"}) {
        BindDialupService(nullptr);
        profile.Write("Dialup", "Service", choice);
        BindDialupFunctions(profile);
        EXPECT_TRUE(AllBound()) << choice;
    }
    std::ofstream(dir / "run/ppp-Mast.pid") << "1\n"; // init is no pppd
    EXPECT_EQ(Listed(), std::vector<std::string>{});
}

TEST_F(Binding, AutoWithNetworkManagerAloneUsesIt) {
    struct NmStandIn : IDialupService {
        std::optional<std::vector<RASCONN>> EnumConnections() override {
            return std::vector<RASCONN>{{9, "Büro"}};
        }
        bool HangUp(HRASCONN) override { return true; }
        DialOutcome Dial(const std::string&, const CancelToken&, const DialProgress&) override {
            return DialOutcome::Ok();
        }
    };
    RegisterNetworkManagerBackend([] { return std::make_shared<NmStandIn>(); });
    BindDialupFunctions(profile);
    ASSERT_TRUE(AllBound());
    EXPECT_EQ(Listed(), std::vector<std::string>{"Büro"});

    InstallPppd(); // both: pppd's connections come first
    std::ofstream(dir / "peers/Mast") << "";
    BindDialupFunctions(profile);
    ASSERT_TRUE(AllBound());
    EXPECT_EQ(Listed(), std::vector<std::string>{"Büro"});
}

} // namespace
