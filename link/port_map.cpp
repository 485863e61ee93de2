#include "link/port_map.h"

#include "link/system_serial_port.h"
#include "platform/profile_store.h"

#include <algorithm>

namespace {

// Code points of 0x80..0x9F; the undefined bytes keep their own number (C1 controls).
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

unsigned char DigitByte(int nComPort) {
    // '1' + nComPort stored into a char: modulo 256, with no overflow for any int.
    return static_cast<unsigned char>((static_cast<unsigned>(nComPort) + '1') & 0xFFu);
}

} // namespace

std::string Cp1252ToUtf8(unsigned char byte) {
    const char32_t cp = byte >= 0x80 && byte < 0xA0 ? kCp1252High[byte - 0x80] : byte;
    std::string out;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

std::string ComPortDigit(int nComPort) {
    const unsigned char byte = DigitByte(nComPort);
    return byte == 0 ? std::string() : Cp1252ToUtf8(byte);
}

std::string ComPortName(int nComPort) {
    if (DigitByte(nComPort) == 0)
        return "COM";
    return "COM" + ComPortDigit(nComPort) + ":";
}

namespace {

ComPortBinding Bind(ComPortBinding::Source source, std::string value,
                    const std::vector<SerialDevice>& devices) {
    ComPortBinding binding{source, std::move(value), std::nullopt};
    if (!binding.value.empty()) {
        const auto named = std::find_if(devices.begin(), devices.end(), [&](const auto& d) {
            return d.path == binding.value || d.node == binding.value;
        });
        if (named != devices.end())
            binding.device = *named;
    }
    return binding;
}

} // namespace

ComPortBinding BindComPort(IProfileStore& store, int nComPort,
                           const std::vector<SerialDevice>& devices) {
    if (auto value = store.Read("Ports", "COM" + ComPortDigit(nComPort)))
        return Bind(ComPortBinding::Source::Settings, std::move(*value), devices);
    return DefaultComPortBinding(nComPort, devices);
}

ComPortBinding DefaultComPortBinding(int nComPort, const std::vector<SerialDevice>& devices) {
    return Bind(ComPortBinding::Source::Default, DefaultPortDevice(nComPort, devices), devices);
}

std::string ResolveComPort(IProfileStore& store, int nComPort,
                           const std::vector<SerialDevice>& devices) {
    return BindComPort(store, nComPort, devices).value;
}
