// The start-up probe on a real serial device: a pseudo-terminal, which has no modem lines.
#include "sequence_support.h"

#include "res/resource.h"

#include <pty.h>
#include <unistd.h>

TEST_F(StartMode, APortWithoutModemLinesGivesManualModeAndStartsNothing) {
    int master = -1, slave = -1;
    char name[128] = {};
    ASSERT_EQ(::openpty(&master, &slave, name, nullptr, nullptr), 0);
    AppHarness h;
    h.store->Write("Ports", "COM1", name);
    h.Start();
    h.host.Sync([] {});
    EXPECT_EQ(h.host.Text(IDC_CONFIGURE), "Konfigurieren");
    EXPECT_EQ(h.host.Text(IDC_TEST), "Testen");
    EXPECT_EQ(h.host.Text(IDC_STATUS), "");
    EXPECT_FALSE(h.OnUi([&] { return h.Dialog().State().autoMode; }));
    EXPECT_EQ(h.OnUi([&] { return h.Dialog().Port(); }), PortState::Closed);
    h.Close();
    ::close(master);
    ::close(slave);
}
