// Which device stands behind "COM1:" to "COM9:", and the port's name as the user sees it.
//
// The name is the six-byte text "COM?:" with the byte '1' + nComPort over the '?', computed
// as an 8-bit character: it wraps, so every stored index gives some name (2 -> "COM3:",
// 255 -> "COM0:", 207 -> "COMÿ:"). A byte of 0x80 and above is the Windows-1252 character of
// that byte, in UTF-8; the five bytes that code page leaves undefined (0x81, 0x8D, 0x8F, 0x90,
// 0x9D) become the C1 control of the same number, as Windows converts them.
//
// The NUL byte (nComPort -49, 207 + 256k...) ends a C string: there the name is "COM" and the
// digit is empty, so the message reads "COM: ist nicht verfügbar" rather than stopping short.
#pragma once

#include "link/port_discovery.h"

#include <optional>
#include <string>
#include <vector>

class IProfileStore;

// "COM3:" for 2.
std::string ComPortName(int nComPort);
// The text that replaces the '?' of "COM?:" in the messages: "3" for 2.
std::string ComPortDigit(int nComPort);
// One Windows-1252 byte as UTF-8.
std::string Cp1252ToUtf8(unsigned char byte);

// What stands behind a COM port, and why.
struct ComPortBinding {
    enum class Source {
        Settings, // an entry in [Ports], which always wins
        Default,  // no entry: the port's default device
    };
    Source source = Source::Default;
    // What the jobs open: a device path, a "sim:..." value, or "" for no port at all.
    std::string value;
    // The discovered device that value names (by its stable name or its node), if it is there.
    std::optional<SerialDevice> device;
};
ComPortBinding BindComPort(IProfileStore& store, int nComPort,
                           const std::vector<SerialDevice>& devices);
// What would stand behind the port without an entry.
ComPortBinding DefaultComPortBinding(int nComPort, const std::vector<SerialDevice>& devices);

// The device or "sim:..." value for nComPort: entry "COM<digit>" of group "Ports" (e.g. "COM1"
// for 0), read whole, commas and all. Without an entry: DefaultPortDevice for COM1 to COM9 (on
// Linux the n-th of the discovered devices, "COM1:" on Windows, for 0), and "" (no port) for
// any other index, whose digit is no digit. An entry that is present but empty also means no
// port.
std::string ResolveComPort(IProfileStore& store, int nComPort,
                           const std::vector<SerialDevice>& devices = {});
