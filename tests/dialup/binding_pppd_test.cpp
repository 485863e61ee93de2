// Binding on this system: pppd (here a stand-in) and NetworkManager, alone or together.
#include "binding_support.h"

#include <filesystem>
#include <fstream>

namespace {

void InstallPppd(const TempDir& dir) {
    for (const char* sub : {"bin", "peers", "run"})
        std::filesystem::create_directory(dir / sub);
    std::filesystem::create_symlink(FAKE_PPPD, dir / "bin/pppd");
}

TEST_F(Binding, WithoutPppdTheSystemChoicesLeaveAllThreeUnbound) {
    for (const std::string choice : {"auto", "", "pppd"}) {
        profile.Write("Dialup", "Service", choice);
        Bind();
        EXPECT_TRUE(NoneBound()) << choice;
    }
}

TEST_F(Binding, PppdIsChosenByNameOrFoundByAuto) {
    InstallPppd(dir);
    for (const std::string choice : {"pppd", "PPPD", "auto"}) {
        profile.Write("Dialup", "Service", choice);
        Bind();
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
    backends.Register("networkmanager", [](const std::string&, std::string&) {
        return std::shared_ptr<IDialupService>(std::make_shared<NmStandIn>());
    });
    Bind();
    ASSERT_TRUE(AllBound());
    EXPECT_EQ(Listed(), std::vector<std::string>{"Büro"});

    InstallPppd(dir); // both: pppd's connections come first
    std::ofstream(dir / "peers/Mast") << "";
    Bind();
    ASSERT_TRUE(AllBound());
    EXPECT_EQ(Listed(), std::vector<std::string>{"Büro"});
}

} // namespace
