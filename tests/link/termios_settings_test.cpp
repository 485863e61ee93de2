#include "link/termios_settings.h"

#include <gtest/gtest.h>

namespace {

// What a freshly opened tty typically has: a cooked terminal that would eat or change bytes.
termios CookedTerminal() {
    termios t{};
    t.c_iflag = ICRNL | IXON | IXOFF | IXANY | ISTRIP | INLCR | IGNCR | IGNPAR | PARMRK | INPCK |
                BRKINT | IMAXBEL;
    t.c_oflag = OPOST | ONLCR;
    t.c_lflag = ECHO | ECHOE | ECHOK | ICANON | ISIG | IEXTEN;
    t.c_cflag = CS7 | PARENB | PARODD | CSTOPB | CRTSCTS | HUPCL;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 5;
    cfsetospeed(&t, B38400);
    cfsetispeed(&t, B38400);
    return t;
}

TEST(TermiosSettings, LineSettingsMakeARawEightBitLine) {
    termios t = CookedTerminal();
    ASSERT_TRUE(ApplyLineToTermios({9600}, t));

    // Nothing may translate, strip, drop, mark or hold back a byte (0x11 and 0x13 included).
    EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IGNPAR | PARMRK | INPCK | BRKINT), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY), 0u);
    EXPECT_EQ(t.c_oflag & OPOST, 0u);
    EXPECT_EQ(t.c_lflag & (ECHO | ICANON | ISIG | IEXTEN), 0u);

    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B9600));
    EXPECT_EQ(cfgetispeed(&t), speed_t(B9600));

    // What the line settings have no word for stays as the driver had it.
    EXPECT_NE(t.c_cflag & HUPCL, 0u);
}

TEST(TermiosSettings, RefusesASpeedWithoutAConstantAndLeavesTheSettingsAlone) {
    const termios before = CookedTerminal();
    for (std::uint32_t baud : {12345u, 14400u, 0u}) {
        termios t = before;
        EXPECT_FALSE(ApplyLineToTermios({baud}, t)) << baud;
        EXPECT_EQ(t.c_iflag, before.c_iflag);
        EXPECT_EQ(t.c_lflag, before.c_lflag);
        EXPECT_EQ(t.c_cflag, before.c_cflag);
        EXPECT_EQ(cfgetospeed(&t), cfgetospeed(&before));
    }
}

TEST(TermiosSettings, EveryLinkRateHasASpeedAndBack) {
    for (std::uint32_t baud : {9600u, 19200u, 38400u, 57600u, 115200u, 50u, 300u, 2400u, 230400u}) {
        const auto speed = SpeedFromBaud(baud);
        ASSERT_TRUE(speed.has_value()) << baud;
        EXPECT_EQ(BaudFromSpeed(*speed), baud);
    }
    EXPECT_EQ(SpeedFromBaud(9600), speed_t(B9600));
    EXPECT_EQ(SpeedFromBaud(115200), speed_t(B115200));
    EXPECT_FALSE(SpeedFromBaud(0).has_value()); // B0 would hang up the line
    EXPECT_FALSE(SpeedFromBaud(14400).has_value());
    EXPECT_FALSE(BaudFromSpeed(B0).has_value());
}

} // namespace
