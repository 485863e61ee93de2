#include "sim/sim_options.h"

#include <gtest/gtest.h>

namespace {

SimOptions Parsed(std::string_view text) {
    const SimOptionsParse p = ParseSimOptions(text);
    EXPECT_EQ(p.error, "") << "for '" << text << "'";
    return p.options;
}

TEST(SimOptions, EmptyListGivesTheDefaults) {
    const SimOptions o = Parsed("");
    EXPECT_FALSE(o.powerOn);
    EXPECT_EQ(o.rate, 115200u);
    EXPECT_EQ(o.user, SimUser::Obedient);
    EXPECT_EQ(o.reactMs, 300u);
    EXPECT_EQ(o.echo, SimEcho::Good);
    EXPECT_EQ(o.readyBytes, 20u);
    EXPECT_FALSE(o.readyForever);
    EXPECT_EQ(o.linkPercent, 100u);
    EXPECT_EQ(o.timing, SimTiming::Real);
    EXPECT_EQ(o.logPath, "");
    EXPECT_EQ(Parsed(" , ,"), SimOptions{}) << "empty items are ignored";
}

TEST(SimOptions, EachOptionChangesItsOwnField) {
    struct Case {
        const char* text;
        void (*expect)(SimOptions&);
    };
    const Case cases[] = {
        {"power=on", [](SimOptions& o) { o.powerOn = true; }},
        {"power=off", [](SimOptions& o) { o.powerOn = false; }},
        {"rate=19200", [](SimOptions& o) { o.rate = 19200; }},
        {"rate=38400", [](SimOptions& o) { o.rate = 38400; }},
        {"rate=57600", [](SimOptions& o) { o.rate = 57600; }},
        {"user=absent", [](SimOptions& o) { o.user = SimUser::Absent; }},
        {"react=0", [](SimOptions& o) { o.reactMs = 0; }},
        {"react=4294967295", [](SimOptions& o) { o.reactMs = 4294967295u; }},
        {"echo=none", [](SimOptions& o) { o.echo = SimEcho::None; }},
        {"echo=short", [](SimOptions& o) { o.echo = SimEcho::Short; }},
        {"echo=corrupt", [](SimOptions& o) { o.echo = SimEcho::Corrupt; }},
        {"ready=0", [](SimOptions& o) { o.readyBytes = 0; }},
        {"ready=forever", [](SimOptions& o) { o.readyForever = true; }},
        {"link=0", [](SimOptions& o) { o.linkPercent = 0; }},
        {"link=90", [](SimOptions& o) { o.linkPercent = 90; }},
        {"link=sweep", [](SimOptions& o) { o.linkSweep = true; }},
        {"timing=none", [](SimOptions& o) { o.timing = SimTiming::None; }},
        {"log=/tmp/q.log", [](SimOptions& o) { o.logPath = "/tmp/q.log"; }},
    };
    for (const Case& c : cases) {
        SimOptions expected;
        c.expect(expected);
        EXPECT_EQ(Parsed(c.text), expected) << c.text;
    }
}

TEST(SimOptions, HandWrittenListsAreReadWhole) {
    SimOptions expected;
    expected.powerOn = true;
    expected.user = SimUser::Absent;
    expected.reactMs = 1500;
    expected.echo = SimEcho::Short;
    expected.linkPercent = 90;
    expected.logPath = "/tmp/dir with blank/q.log";
    EXPECT_EQ(Parsed(" power = on ,user=absent,\treact=1500, echo=short,link=90 ,"
                     "log= /tmp/dir with blank/q.log "),
              expected);

    SimOptions other;
    other.rate = 19200;
    other.readyForever = true;
    other.timing = SimTiming::None;
    EXPECT_EQ(Parsed("rate=19200,ready=forever,timing=none"), other);
}

TEST(SimOptions, MalformedListsSayWhatIsWrong) {
    struct Case {
        const char* text;
        const char* reasonPart;
    };
    const Case cases[] = {
        {"colour=red", "unknown option 'colour'"},
        {"power", "option 'power' has no value"},
        {"=on", "option without a name"},
        {"power=yes", "bad value 'yes' for option 'power'"},
        {"power=ON", "bad value 'ON' for option 'power'"},
        {"rate=9600", "bad value '9600' for option 'rate'"},
        {"rate=", "bad value '' for option 'rate'"},
        {"user=lazy", "option 'user'"},
        {"react=-5", "bad value '-5' for option 'react'"},
        {"react=5s", "bad value '5s' for option 'react'"},
        {"react=4294967296", "option 'react'"},
        {"echo=loud", "option 'echo'"},
        {"ready=never", "option 'ready'"},
        {"link=101", "bad value '101' for option 'link'"},
        {"link=9 0", "option 'link'"},
        {"timing=fast", "option 'timing'"},
        {"log=", "option 'log' needs a file name"},
        {"power=on,power=off", "option 'power' given twice"},
        {"power=on,link=90,colour=red", "unknown option 'colour'"},
    };
    for (const Case& c : cases) {
        const SimOptionsParse p = ParseSimOptions(c.text);
        EXPECT_NE(p.error.find(c.reasonPart), std::string::npos)
            << "'" << c.text << "' gave '" << p.error << "'";
    }
}

} // namespace
