#include "link/transceiver_protocol.h"

#include "link/baud_tables.h"

#include <cstring>

ConfigurationPacket MakeConfigurationPacket(int nSensitivity, int nBaudrate) {
    return {0x0B, 0x51, static_cast<std::uint8_t>('a' + nSensitivity),
            0x70, 0x43, BaudCodeTable[BaudIndex(nBaudrate)],
            0x90, 0x11};
}

unsigned CountMatchWords(const std::uint8_t* data, std::size_t count) {
    unsigned matches = 0;
    std::size_t pos = 0;
    while (count - pos >= 4) {
        if (std::memcmp(data + pos, TestPattern, 4) == 0) {
            ++matches;
            pos += 4;
        } else {
            ++pos;
        }
    }
    return matches;
}
