#include "binding_support.h"

namespace {

TEST_F(Binding, AServiceThatIsMissingLeavesAllThreeUnbound) {
    for (const std::string choice :
         {"none", "networkmanager", "modem", "sim:dial=maybe", "sim:log=/nonexistent/x/y"}) {
        profile.Write("Dialup", "Service", choice);
        Bind();
        EXPECT_TRUE(NoneBound()) << choice;
    }
}

TEST_F(Binding, TheSimulatorIsBoundWithItsOptionsReadWhole) {
    profile.Write("Dialup", "Service", " sim:entries=Dach West|Mast,active=Mast|Dach West ");
    Bind();
    ASSERT_TRUE(AllBound());
    EXPECT_EQ(Listed(), (std::vector<std::string>{"Mast", "Dach West"}));
    std::vector<RASCONN> list;
    bound.RasEnumConnections(list);
    EXPECT_EQ(bound.RasHangUp(list[0].hrasconn), 0u);
    EXPECT_EQ(Listed(), std::vector<std::string>{"Dach West"});
}

} // namespace
