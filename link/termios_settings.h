// Line settings as termios sees them: pure helpers that only fill a struct, so that what the
// port gets can be checked without a device.
#pragma once

#include "link/serial_port.h"

#include <optional>
#include <termios.h>

inline constexpr BYTE ODDPARITY = 1;
inline constexpr BYTE EVENPARITY = 2;
inline constexpr BYTE MARKPARITY = 3;
inline constexpr BYTE SPACEPARITY = 4;
inline constexpr BYTE ONE5STOPBITS = 1;
inline constexpr BYTE TWOSTOPBITS = 2;

// The baud rates termios has a constant for; others cannot be set through this layer.
std::optional<speed_t> SpeedFromBaud(DWORD baud);
std::optional<DWORD> BaudFromSpeed(speed_t speed);

// Changes t in place: raw mode (no echo, no signals, no canonical lines, no translation,
// stripping, dropping or marking of any byte, no XON/XOFF, no parity check), the receiver on,
// modem control lines ignored, reads that never block by themselves (VMIN = VTIME = 0: the
// time-outs are ours), and the frame and speed of dcb. Flags the DCB has no word for (HUPCL,
// the line discipline) stay as they were. False when dcb asks for something termios cannot do
// (a speed without a constant, 9 data bits, 1.5 stop bits); t is then unchanged.
//
// DTR and RTS are modem lines, not termios flags: the port sets them apart (TIOCMBIC/TIOCMBIS).
bool ApplyDcbToTermios(const DCB& dcb, termios& t);

// The DCB that t describes; BaudRate is 0 for a speed without a known baud number.
DCB DcbFromTermios(const termios& t);
