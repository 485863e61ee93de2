// The port map and the options of a simulated transceiver, as read from a settings file.
#include "fuzz_check.h"
#include "link/port_map.h"
#include "platform/profile_store.h"
#include "sim/sim_options.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> parts = SplitInput(data, size);

    // "sim:" options: a list that reads is one whose log name, if any, holds no comma; one that
    // does not read says why.
    const SimOptionsParse parsed = ParseSimOptions(parts[0]);
    if (parsed.error.empty()) {
        FUZZ_CHECK(parsed.options.logPath.find(',') == std::string::npos);
        FUZZ_CHECK(parsed.options.linkPercent <= 100);
    }

    // The port map: a stored index of any value names some port, and the entry for it is read
    // whole; an index without an entry leads to the device found at its place, or to nothing.
    MemoryProfileStore store;
    int index = 0;
    if (parts.size() > 1)
        for (unsigned char c : parts[1].substr(0, 4))
            index = static_cast<int>(static_cast<unsigned>(index) << 8 | c);
    const std::string name = ComPortName(index);
    FUZZ_CHECK(name.rfind("COM", 0) == 0);
    std::vector<SerialDevice> found(2);
    found[0].path = "/dev/serial/by-id/a";
    found[1].path = "/dev/ttyS1";
    const std::string unmapped = ResolveComPort(store, index, found);
    FUZZ_CHECK(unmapped.empty() ||
               (index >= 0 && index < 2 && unmapped == found[static_cast<size_t>(index)].path));
    store.Write("Ports", "COM" + ComPortDigit(index), parts[0]);
    FUZZ_CHECK(ResolveComPort(store, index, found) == parts[0]);
    return 0;
}
