// What goes over the line to the transceiver: the configuration packet and the test pattern.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

using ConfigurationPacket = std::array<std::uint8_t, 8>;

// 0x0B 'Q' sensitivity 'p' 'C' baud-code 0x90 0x11. The sensitivity letter is 'a' + index as an
// 8-bit value, whatever index is stored; the baud code is read through BaudIndex.
ConfigurationPacket MakeConfigurationPacket(int nSensitivity, int nBaudrate);

// "TESTTESTTESTTEST"
inline constexpr std::uint8_t TestPattern[] = {'T', 'E', 'S', 'T', 'T', 'E', 'S', 'T',
                                               'T', 'E', 'S', 'T', 'T', 'E', 'S', 'T'};
inline constexpr std::size_t kTestPatternSize = sizeof TestPattern;
inline constexpr int kWritesPerCycle = 64;
inline constexpr std::size_t kCycleBytes = kTestPatternSize * kWritesPerCycle; // 1024
inline constexpr unsigned kExpectedWords = kCycleBytes / 4;                    // 256

// Counts the words "TEST" in what came back: a match advances by four, anything else by one;
// fewer than four bytes left at the end are ignored.
unsigned CountMatchWords(const std::uint8_t* data, std::size_t count);

// Below 90 percent, in unsigned integer arithmetic: 230 words are bad, 231 good.
inline constexpr bool IsBadCycle(unsigned matches) {
    return matches * 100 / kExpectedWords < 90;
}
// The fewest words of a good cycle: where the quality bar draws its threshold.
inline constexpr int kGoodMatches = (90 * kExpectedWords + 99) / 100;
static_assert(!IsBadCycle(kGoodMatches) && IsBadCycle(kGoodMatches - 1));
