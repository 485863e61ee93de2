#include "binding_support.h"

namespace {

TEST_F(Binding, AServiceThatIsMissingLeavesAllThreeUnbound) {
    for (const std::string choice :
         {"none", "networkmanager", "modem", "sim:dial=maybe", "sim:log=/nonexistent/x/y"}) {
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

} // namespace
