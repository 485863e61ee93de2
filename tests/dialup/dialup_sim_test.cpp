#include "platform/cancel_token.h"
#include "platform/clock.h"
#include "sim/dialup_sim.h"
#include "temp_dir.h"
#include "tests/support/announcing_clock.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using Names = std::vector<std::string>;

TEST(DialupSimOptions, ReadsEveryOptionAndHandWrittenValuesWhole) {
    DialupSimParse p = ParseDialupSimOptions(
        " entries = Dach West|Mast | Ölberg ,active=Mast,dial=fail, delay=1500,log=/tmp/a b.log");
    ASSERT_EQ(p.error, "");
    EXPECT_EQ(p.options.entries, (Names{"Dach West", "Mast", "Ölberg"}));
    EXPECT_EQ(p.options.active, Names{"Mast"});
    EXPECT_EQ(p.options.dial, SimDialResult::Fail);
    EXPECT_EQ(p.options.delayMs, 1500u);
    EXPECT_EQ(p.options.logPath, "/tmp/a b.log");

    DialupSimParse defaults = ParseDialupSimOptions("");
    ASSERT_EQ(defaults.error, "");
    EXPECT_TRUE(defaults.options.entries.empty());
    EXPECT_EQ(defaults.options.dial, SimDialResult::Ok);

    EXPECT_EQ(ParseDialupSimOptions("entries=A, ,").error, "") << "empty items are harmless";

    DialupSimParse activeOnly = ParseDialupSimOptions("active=B");
    EXPECT_EQ(activeOnly.options.entries, Names{"B"}) << "what is connected is in the phonebook";
}

TEST(DialupSimOptions, WhatCannotBeReadIsRefusedWithAReason) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"dial=maybe", "bad value 'maybe' for option 'dial' (ok, fail or cancel)"},
        {"delay=-5", "bad value '-5' for option 'delay' (milliseconds)"},
        {"delay=99999999999", "bad value '99999999999' for option 'delay' (milliseconds)"},
        {"colour=red", "unknown option 'colour'"},
        {"entries=A,entries=B", "option 'entries' given twice"},
        {"entries=A,dial", "option 'dial' has no value (key=value)"},
        {"entries=A,=ok", "option without a name in '=ok'"},
        {"log=", "option 'log' needs a file name"},
    };
    for (const auto& [text, reason] : cases)
        EXPECT_EQ(ParseDialupSimOptions(text).error, reason) << text;
}

class DialupSimService : public ::testing::Test {
protected:
    ManualClock clock{1000};
    IClock* used = &clock;
    TempDir dir;

    std::unique_ptr<DialupSim> Open(const std::string& options) {
        std::string error;
        auto sim = DialupSim::Open(options + ",log=" + dir / "log", error, *used);
        EXPECT_EQ(error, "");
        return sim;
    }
    std::string Log() { return dir.Read("log"); }
};

TEST_F(DialupSimService, ListsHangsUpAndDialsAndLogsEachCall) {
    auto sim = Open("entries=A|B,active=B|A,delay=2500");
    auto listed = sim->EnumConnections();
    ASSERT_EQ(listed.value().size(), 2u);
    EXPECT_EQ(listed.value()[0].szEntryName, "B");
    EXPECT_EQ(listed.value()[1].szEntryName, "A");
    EXPECT_NE(listed.value()[0].hrasconn, 0u);
    EXPECT_TRUE(sim->HangUp(listed.value()[0].hrasconn));
    EXPECT_EQ(sim->Active(), Names{"A"});

    CancelToken token;
    std::vector<std::string> progress;
    DialOutcome outcome =
        sim->Dial("B", token, [&](const std::string& text) { progress.push_back(text); });
    EXPECT_EQ(outcome.kind, DialOutcome::Connected);
    EXPECT_EQ(clock.Now(), 3500u) << "dialling takes its delay on the program's clock";
    EXPECT_EQ(progress, Names{"Wähle B..."});
    EXPECT_EQ(sim->Active(), (Names{"A", "B"}));
    EXPECT_EQ(Log(), "enum\nhangup B\ndial B ok\n");
}

TEST_F(DialupSimService, FailureAndTheSimulatedCancelAreOutcomesOfTheirOwn) {
    auto failing = Open("entries=A,dial=fail");
    CancelToken token;
    DialOutcome failed = failing->Dial("A", token, nullptr);
    EXPECT_EQ(failed.kind, DialOutcome::Failed);
    EXPECT_EQ(failed.error, "Die Gegenstelle antwortet nicht.");
    DialOutcome unknown = failing->Dial("Ä", token, nullptr);
    EXPECT_EQ(unknown.kind, DialOutcome::Failed);
    EXPECT_EQ(unknown.error, "Die DFÜ-Verbindung „Ä“ gibt es nicht.");

    auto cancelling = Open("entries=A,dial=cancel");
    EXPECT_EQ(cancelling->Dial("A", token, nullptr).kind, DialOutcome::Cancelled);
    EXPECT_TRUE(cancelling->Active().empty());
    EXPECT_EQ(Log(), "dial A fail\ndial Ä fail\ndial A cancel\n");
}

TEST_F(DialupSimService, ADialFindsItsEntryAsTheRealServicesDo) {
    auto sim = Open("entries=Mast|Funk|FUNK,delay=0");
    CancelToken token;
    std::vector<std::string> progress;
    const DialProgress record = [&](const std::string& text) { progress.push_back(text); };
    EXPECT_EQ(sim->Dial("mAST", token, record).kind, DialOutcome::Connected);
    EXPECT_EQ(sim->Dial("funk", token, record).kind, DialOutcome::Failed) << "which one?";
    EXPECT_EQ(sim->Dial("FUNK", token, record).kind, DialOutcome::Connected) << "exact first";
    EXPECT_EQ(sim->Active(), (Names{"Mast", "FUNK"}));
    EXPECT_EQ(progress, (Names{"Wähle Mast...", "Wähle FUNK..."}));
    EXPECT_EQ(Log(), "dial mAST ok\ndial funk fail\ndial FUNK ok\n");
}

TEST_F(DialupSimService, ACancelDuringTheDelayEndsTheDial) {
    AnnouncingClock announcing; // real time: only the cancel ends the minute early
    used = &announcing;
    auto sim = Open("entries=A,delay=60000");
    CancelToken token;
    std::thread canceller([&] {
        EXPECT_TRUE(announcing.WaitForSleep()) << "the dial never began its delay";
        token.Cancel();
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(sim->Dial("A", token, nullptr).kind, DialOutcome::Cancelled);
    canceller.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    EXPECT_EQ(Log(), "dial A cancel\n");
}

TEST_F(DialupSimService, ALogThatCannotBeOpenedRefusesTheService) {
    std::string error;
    EXPECT_EQ(DialupSim::Open("log=" + dir / "no/such/folder/log", error, clock), nullptr);
    EXPECT_NE(error.find("cannot open log"), std::string::npos) << error;
}

} // namespace
