#include "platform/ini_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

TEST(IniFile, HandWrittenValuesAreReadWholeCommasAndAll) {
    IniDocument doc = ParseIni("[Ports]\n"
                               "COM1=sim:power=off,user=obedient,log=/tmp/q.log\n"
                               "COM2 = /dev/serial/by-id/usb-Adapter_A1-if00-port0  \n"
                               "[Settings]\n"
                               "RAS Link Name=Dach West\n");
    EXPECT_EQ(*doc.Find("Ports", "COM1"), "sim:power=off,user=obedient,log=/tmp/q.log");
    EXPECT_EQ(*doc.Find("Ports", "COM2"), "/dev/serial/by-id/usb-Adapter_A1-if00-port0");
    EXPECT_EQ(*doc.Find("Settings", "RAS Link Name"), "Dach West");
}

TEST(IniFile, KeysAreReadEscapedOrPlain) {
    IniDocument doc = ParseIni("[Settings]\nCOM%20Port=2\nRun Invisible=1\n");
    EXPECT_EQ(*doc.Find("Settings", "COM Port"), "2");
    EXPECT_EQ(*doc.Find("Settings", "Run Invisible"), "1");
    EXPECT_EQ(EscapeIniKey("RAS Link Name"), "RAS%20Link%20Name");
}

TEST(IniFile, CommentsGarbageAndEntriesBeforeAnyGroupAreHandled) {
    IniDocument doc = ParseIni("; a comment\n# another\nloose=1\n[broken\nno equals sign\n=nokey\n"
                               "[Settings]\r\nBaudrate=0\r\n");
    EXPECT_EQ(*doc.Find("General", "loose"), "1");
    EXPECT_EQ(*doc.Find("Settings", "Baudrate"), "0");
    EXPECT_EQ(doc.Find("Settings", "nokey"), nullptr);
}

TEST(IniFile, LaterDuplicateWins) {
    IniDocument doc = ParseIni("[Settings]\nBaudrate=1\nBaudrate=2\n");
    EXPECT_EQ(*doc.Find("Settings", "Baudrate"), "2");
}

TEST(IniFile, EveryValueSurvivesWriteAndRead) {
    const std::string values[] = {"",
                                  "plain",
                                  " leading and trailing ",
                                  "a,b;c=d",
                                  "quote \" and backslash \\",
                                  "line\nbreak\ttab\rreturn",
                                  "@starts with at",
                                  "@@two",
                                  "\x01\x1f control",
                                  "Ümläut ß",
                                  "Dach S\xFC"
                                  "d", // Latin-1, not UTF-8
                                  "/opt/Mein Programm/start.sh --fast \"x y\""};
    IniDocument doc;
    for (size_t i = 0; i < std::size(values); ++i)
        doc.Set("Settings", "Key " + std::to_string(i), values[i]);
    IniDocument back = ParseIni(FormatIni(doc));
    for (size_t i = 0; i < std::size(values); ++i) {
        const std::string* v = back.Find("Settings", "Key " + std::to_string(i));
        ASSERT_NE(v, nullptr) << i;
        EXPECT_EQ(*v, values[i]) << "value " << i << " written as " << FormatIni(doc);
    }
}

TEST(IniFile, IntegersAreWrittenPlainAndSpecialStringsQuoted) {
    IniDocument doc;
    doc.Set("Settings", "COM Port", "0");
    doc.Set("Settings", "Run Program", "a,b");
    EXPECT_EQ(FormatIni(doc), "[Settings]\nCOM%20Port=0\nRun%20Program=\"a,b\"\n");
}

TEST(IniFile, AByteOrderMarkAndCrLfLineEndsAreReadAndWrittenBackAsFound) {
    const std::string texts[] = {
        "[Ports]\nCOM1=/dev/ttyUSB1\n",
        "\xEF\xBB\xBF[Ports]\nCOM1=/dev/ttyUSB1\n",
        "[Ports]\r\nCOM1=/dev/ttyUSB1\r\n\r\n[Settings]\r\nBaudrate=2\r\n",
        "\xEF\xBB\xBF[Ports]\r\nCOM1=/dev/ttyUSB1\r\n",
    };
    for (const auto& text : texts) {
        IniDocument doc = ParseIni(text);
        const std::string* com1 = doc.Find("Ports", "COM1");
        ASSERT_NE(com1, nullptr) << text;
        EXPECT_EQ(*com1, "/dev/ttyUSB1") << text;
        EXPECT_EQ(FormatIni(doc), text);
    }
}

// Sixteen times the keys may take sixteen times as long, give or take a lot; a search per key
// would take 256 times as long.
TEST(IniFile, LoadingTakesTimeInProportionToTheFile) {
    auto text = [](size_t keys) {
        std::string t = "[Notes]\n";
        for (size_t i = 0; i < keys; ++i)
            t += "Entry" + std::to_string(i) + "=v\n";
        return t;
    };
    const std::string small = text(250), large = text(4000); // both well inside any cache
    auto seconds = [](const std::string& t, int times) {
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < times; ++i) {
            IniDocument doc = ParseIni(t);
            EXPECT_EQ(doc.sections.size(), 1u);
        }
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    // The small file sixteen times against the large one once: runs of the same length, which a
    // busy machine interrupts alike. The fastest of many each, taken in turns.
    double fastestSmall = 1e9, fastestLarge = 1e9;
    for (int run = 0; run < 15; ++run) {
        fastestSmall = std::min(fastestSmall, seconds(small, 16));
        fastestLarge = std::min(fastestLarge, seconds(large, 1));
    }
    EXPECT_LT(fastestLarge, 5 * fastestSmall) << "250 keys sixteen times in " << fastestSmall
                                              << " s, 4,000 once in " << fastestLarge << " s";
}
