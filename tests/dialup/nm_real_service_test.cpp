// The NetworkManager backend against a real NetworkManager (tests/dialup/real_nm.h): which saved
// connection an entry names, dialling it up and hanging it up, with nmcli reading the state.
#include "dialup/networkmanager/nm_service.h"
#include "platform/cancel_token.h"
#include "tests/dialup/real_nm.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

class RealNetworkManagerBackend : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string unavailable = RealNetworkManager::Unavailable();
        if (!unavailable.empty())
            GTEST_SKIP() << unavailable;
        const std::string failed = nm.Start();
        ASSERT_EQ(failed, "") << nm.Logs();
        for (const char* name : {"Optolink Dach", "Mast", "MAST", "Süd"})
            ASSERT_TRUE(nm.AddProfile(name)) << name;
        service = MakeNetworkManagerService();
        ASSERT_NE(service, nullptr);
    }

    HRASCONN HandleOf(const std::string& name) {
        const auto list = service->EnumConnections();
        EXPECT_TRUE(list.has_value());
        for (const auto& c : list.value_or(std::vector<RASCONN>{}))
            if (c.szEntryName == name)
                return c.hrasconn;
        return 0;
    }

    RealNetworkManager nm;
    std::shared_ptr<IDialupService> service;
};

TEST_F(RealNetworkManagerBackend, AnEntryDialsTheSavedConnectionItNamesAndHangsItUp) {
    const struct {
        const char* entry;
        const char* dialled; // nullptr: no connection is named
    } cases[] = {
        {"Optolink Dach", "Optolink Dach"},
        {"OPTOLINK DACH", "Optolink Dach"}, // letter case of A to Z aside
        {"Mast", "Mast"},                   // the exact name before one differing in case
        {"mast", nullptr},                  // two differ only in case: neither
        {"Optolink", nullptr},              // a prefix
        {"SÜD", nullptr},                   // umlauts match exactly
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.entry);
        CancelToken token;
        std::vector<std::string> progress;
        const DialOutcome outcome = service->Dial(
            c.entry, token, [&](const std::string& text) { progress.push_back(text); });
        ASSERT_FALSE(progress.empty());
        EXPECT_EQ(progress.front(), std::string("Wähle ") + c.entry + "...");
        if (!c.dialled) {
            EXPECT_EQ(outcome.kind, DialOutcome::Failed);
            EXPECT_EQ(outcome.error,
                      std::string("Der NetworkManager kennt keine Verbindung „") + c.entry + "“.");
            EXPECT_EQ(nm.Nmcli({"-g", "NAME", "connection", "show", "--active"}).output, "lo");
            continue;
        }
        ASSERT_EQ(outcome.kind, DialOutcome::Connected) << outcome.error;
        EXPECT_EQ(nm.State(c.dialled), "activated");
        const HRASCONN handle = HandleOf(c.dialled);
        ASSERT_NE(handle, 0u);
        EXPECT_EQ(HandleOf(c.dialled), handle) << "a connection keeps its handle";
        EXPECT_TRUE(service->HangUp(handle));
        EXPECT_EQ(HandleOf(c.dialled), 0u) << "listed right after the hang-up";
        EXPECT_EQ(nm.State(c.dialled), "");
    }
}

TEST_F(RealNetworkManagerBackend, AConnectionBroughtUpElsewhereIsListedAndHungUp) {
    // NetworkManager lists the loopback device as a connection that is up; it is never offered.
    const auto none = service->EnumConnections();
    ASSERT_TRUE(none.has_value());
    EXPECT_TRUE(none->empty());
    ASSERT_EQ(nm.Nmcli({"connection", "up", "Optolink Dach"}).exitCode, 0);
    const auto list = service->EnumConnections();
    ASSERT_TRUE(list.has_value());
    ASSERT_EQ(list->size(), 1u);
    EXPECT_EQ(list->front().szEntryName, "Optolink Dach");
    EXPECT_TRUE(service->HangUp(list->front().hrasconn));
    EXPECT_EQ(nm.State("Optolink Dach"), "");
}

// In order, as NetworkManager behaves: with carrier but no DHCP server the device gives up on its
// address; without carrier the first activation is still taken and ends (reason 3) once
// NetworkManager stops waiting for the carrier, about 6 s later, and from then on one needing
// DHCP is refused at once; a static one comes up without carrier.
TEST_F(RealNetworkManagerBackend, WhatTheServiceSaysReachesTheUserInGerman) {
    ASSERT_TRUE(nm.AddDhcpProfile("Dach DHCP", 2));
    const char* const noCarrier = "Keine Verbindung zum Laser-Transceiver: Das Gerät hat keinen "
                                  "Träger. Prüfen Sie Kabel und Ausrichtung.";
    const struct {
        const char* entry;
        bool carrier;
        const char* error; // nullptr: it comes up
        const char* detail;
    } steps[] = {
        {"Dach DHCP", true,
         "Die Gegenstelle hat keine IP-Adresse vergeben. Prüfen Sie, ob sie Adressen vergibt "
         "(DHCP), oder geben Sie der Verbindung eine feste Adresse.",
         "reason 3 (DEVICE_DISCONNECTED); device StateChanged, reason 5"},
        {"Dach DHCP", false, noCarrier, "reason 3 (DEVICE_DISCONNECTED); device Carrier false"},
        {"Dach DHCP", false, noCarrier,
         "org.freedesktop.NetworkManager.UnknownDevice: No suitable device found for this "
         "connection (device v0 not available because device has no carrier)."},
        {"Optolink Dach", false, nullptr, ""},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.detail);
        ASSERT_TRUE(nm.SetCarrier(step.carrier));
        CancelToken token;
        const DialOutcome outcome = service->Dial(step.entry, token, nullptr);
        if (!step.error) {
            EXPECT_EQ(outcome.kind, DialOutcome::Connected) << outcome.error;
            EXPECT_EQ(nm.State(step.entry), "activated");
            continue;
        }
        EXPECT_EQ(outcome.kind, DialOutcome::Failed);
        EXPECT_EQ(outcome.error, step.error);
        EXPECT_NE(outcome.detail.find(step.detail), std::string::npos) << outcome.detail;
        EXPECT_EQ(nm.State(step.entry), "");
    }
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::setenv("DBUS_FATAL_WARNINGS", "0", 0); // as the program does before Qt starts
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
