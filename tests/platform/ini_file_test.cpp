#include "platform/ini_file.h"

#include <gtest/gtest.h>

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
