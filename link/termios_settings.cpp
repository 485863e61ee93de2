#include "link/termios_settings.h"

namespace {

struct SpeedEntry {
    std::uint32_t baud;
    speed_t speed;
};

// The high rates are Linux and BSD extras; test for the constant, not for the system.
constexpr SpeedEntry kSpeeds[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B500000
    {500000, B500000},   {576000, B576000},   {921600, B921600},   {1000000, B1000000},
    {1152000, B1152000}, {1500000, B1500000}, {2000000, B2000000},
#endif
#ifdef B4000000
    {2500000, B2500000}, {3000000, B3000000}, {3500000, B3500000}, {4000000, B4000000},
#endif
};

} // namespace

std::optional<speed_t> SpeedFromBaud(std::uint32_t baud) {
    for (const auto& e : kSpeeds)
        if (e.baud == baud)
            return e.speed;
    return std::nullopt;
}

std::optional<std::uint32_t> BaudFromSpeed(speed_t speed) {
    for (const auto& e : kSpeeds)
        if (e.speed == speed)
            return e.baud;
    return std::nullopt;
}

bool ApplyLineToTermios(const LineSettings& line, termios& t) {
    const auto speed = SpeedFromBaud(line.baudRate);
    if (!speed)
        return false;

    termios n = t;
    // IGNPAR would drop bytes with framing errors and PARMRK would insert marks: the echo is
    // compared byte for byte, so every byte must arrive as it was received.
    n.c_iflag &= ~(IGNBRK | BRKINT | IGNPAR | PARMRK | INPCK | ISTRIP | INLCR | IGNCR | ICRNL |
                   IXON | IXOFF | IXANY | IMAXBEL);
#ifdef IUCLC
    n.c_iflag &= ~IUCLC;
#endif
#ifdef IUTF8
    n.c_iflag &= ~IUTF8;
#endif
    n.c_oflag &= ~OPOST;
    n.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);

    n.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
#ifdef CMSPAR
    n.c_cflag &= ~CMSPAR;
#endif
    n.c_cflag |= CLOCAL | CREAD | CS8;

    n.c_cc[VMIN] = 0;
    n.c_cc[VTIME] = 0;

    if (::cfsetospeed(&n, *speed) != 0 || ::cfsetispeed(&n, *speed) != 0)
        return false;
    t = n;
    return true;
}
