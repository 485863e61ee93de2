// The operating baud rates and the transceiver's code for each, indexed alike.
#pragma once

#include <cstdint>

inline constexpr std::uint32_t BaudRateTable[4] = {19200, 38400, 57600, 115200};
inline constexpr std::uint8_t BaudCodeTable[4] = {0x8B, 0x89, 0x83, 0x81};

// A stored "Baudrate" is not validated on load, so an index outside the tables is corrected
// where the tables are read: it means the default, 115200 baud (index 3).
inline constexpr int BaudIndex(int nBaudrate) {
    return nBaudrate >= 0 && nBaudrate <= 3 ? nBaudrate : 3;
}
