// The binding tests' fixture: a profile whose pppd settings lead into a folder of the test's own,
// and NetworkManager registered but not on the bus.
#pragma once

#include "dialup/dialup_service.h"
#include "dialup/ras.h"
#include "dialup/service_binding.h"
#include "platform/profile_store.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

inline bool AllBound() {
    return g_pfnRasHangUp && g_pfnRasEnumConnections && g_pfnRasDialDlg;
}
inline bool NoneBound() {
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
    std::vector<std::string> Listed() {
        std::vector<RASCONN> list;
        EXPECT_TRUE(g_pfnRasEnumConnections(list));
        std::vector<std::string> names;
        for (const auto& c : list)
            names.push_back(c.szEntryName);
        return names;
    }
};
