// Line settings as termios sees them: pure helpers that only fill a struct, so that what the
// port gets can be checked without a device.
#pragma once

#include "link/serial_port.h"

#include <cstdint>
#include <optional>
#include <termios.h>

// The baud rates termios has a constant for; others cannot be set through this layer.
std::optional<speed_t> SpeedFromBaud(std::uint32_t baud);
std::optional<std::uint32_t> BaudFromSpeed(speed_t speed);

// Changes t in place: raw mode (no echo, no signals, no canonical lines, no translation,
// stripping, dropping or marking of any byte, no XON/XOFF, no parity check), the receiver on,
// modem control lines ignored, reads that never block by themselves (VMIN = VTIME = 0: the
// time-outs are ours), eight data bits, no parity, one stop bit, no RTS/CTS flow control, and
// the speed of line. Flags the line settings have no word for (HUPCL, the line discipline) stay
// as they were. False for a speed without a constant; t is then unchanged.
//
// DTR and RTS are modem lines, not termios flags: the port clears them apart (TIOCMBIC).
bool ApplyLineToTermios(const LineSettings& line, termios& t);
