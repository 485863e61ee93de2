// The binding tests' fixture: a profile whose pppd settings lead into a folder of the test's own,
// and NetworkManager registered but not on the bus.
#pragma once

#include "app/simulators.h"
#include "dialup/dialup_service.h"
#include "dialup/ras.h"
#include "dialup/service_binding.h"
#include "link/port_open.h"
#include "platform/clock.h"
#include "platform/profile_store.h"
#include "temp_dir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

class Binding : public ::testing::Test {
protected:
    MemoryProfileStore profile;
    TempDir dir;
    SystemClock clock;
    PortOpener ports;
    DialupBackends backends;
    DialupFunctions bound;
    void SetUp() override {
        // A machine without pppd: only the stand-in, where a test puts it.
        profile.Write("Dialup", "Pppd", dir / "bin/pppd");
        profile.Write("Dialup", "PeersFolder", dir / "peers");
        profile.Write("Dialup", "RunFolder", dir / "run");
        // The program's simulators; NetworkManager registered but not on the bus.
        RegisterSimulators(ports, backends, [this]() -> IClock& { return clock; });
        backends.Register("networkmanager", [](const std::string&, std::string&) {
            return std::shared_ptr<IDialupService>();
        });
    }
    void Bind() { bound = BindDialupFunctions(backends, profile); }
    bool AllBound() const { return bound.AllBound(); }
    bool NoneBound() const { return bound.NoneBound(); }
    std::vector<std::string> Listed() {
        std::vector<RASCONN> list;
        EXPECT_TRUE(bound.RasEnumConnections(list));
        std::vector<std::string> names;
        for (const auto& c : list)
            names.push_back(c.szEntryName);
        return names;
    }
};
