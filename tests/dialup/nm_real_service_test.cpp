// The NetworkManager backend against a real NetworkManager (tests/dialup/real_nm.h): which saved
// connection an entry names, dialling it up and hanging it up, with nmcli reading the state.
#include "dialup/networkmanager/nm_service.h"
#include "platform/cancel_token.h"
#include "tests/dialup/real_nm.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <algorithm>
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
            EXPECT_EQ(outcome.error, std::string("Der NetworkManager kennt keine Verbindung \"") +
                                         c.entry + "\".");
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
    ASSERT_EQ(nm.Nmcli({"connection", "up", "Optolink Dach"}).exitCode, 0);
    const auto list = service->EnumConnections();
    ASSERT_TRUE(list.has_value());
    std::vector<std::string> names;
    for (const auto& c : *list)
        names.push_back(c.szEntryName);
    // The loopback device shows as a connection NetworkManager found already up.
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Optolink Dach", "lo"}));
    EXPECT_TRUE(service->HangUp(HandleOf("Optolink Dach")));
    EXPECT_EQ(nm.State("Optolink Dach"), "");
}

// What the backend makes today of what NetworkManager says when v0 has no carrier. In order: the
// first activation is still taken and ends deactivated (reason 3) once NetworkManager stops
// waiting for the carrier, about 6 s later; from then on one needing DHCP is refused at once
// (UnknownDevice), while a static one comes up without carrier.
TEST_F(RealNetworkManagerBackend, WithoutCarrierWhatTheServiceSaysIsPassedOn) {
    ASSERT_TRUE(nm.AddDhcpProfile("Dach DHCP"));
    ASSERT_TRUE(nm.SetCarrier(false));
    const struct {
        const char* entry;
        DialOutcome::Kind kind;
        const char* error;
    } steps[] = {
        {"Dach DHCP", DialOutcome::Failed, "Das Gerät der Verbindung wurde getrennt."},
        {"Dach DHCP", DialOutcome::Failed, "Der NetworkManager hat das Verbinden abgelehnt."},
        {"Optolink Dach", DialOutcome::Connected, ""},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.entry);
        CancelToken token;
        const DialOutcome outcome = service->Dial(step.entry, token, nullptr);
        EXPECT_EQ(outcome.kind, step.kind);
        EXPECT_EQ(outcome.error, step.error);
    }
    EXPECT_EQ(nm.State("Dach DHCP"), "");
    EXPECT_EQ(nm.State("Optolink Dach"), "activated");
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
