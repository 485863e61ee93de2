// The link test's word scan over whatever came back on the line.
#include "fuzz_check.h"
#include "link/transceiver_protocol.h"

#include <algorithm>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::size_t count = std::min(size, kCycleBytes);
    // In a buffer of exactly that size, so that the sanitizer sees any read beyond it.
    std::vector<std::uint8_t> received(data, data + count);
    const unsigned matches = CountMatchWords(received.data(), count);
    FUZZ_CHECK(matches <= count / 4);
    // The words that sit where the pattern puts them are all found: the scan may find more
    // (a word shifted by a lost byte), never fewer.
    unsigned aligned = 0;
    for (std::size_t i = 0; i + 4 <= count; i += 4)
        aligned += std::memcmp(received.data() + i, TestPattern, 4) == 0;
    FUZZ_CHECK(matches >= aligned);
    return 0;
}
