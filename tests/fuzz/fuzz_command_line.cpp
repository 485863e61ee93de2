// The follow-up program's command line: split without a shell, whatever the user typed.
#include "dialup/command_line.h"
#include "dialup/follow_up.h"
#include "fuzz_check.h"

namespace {
// Each word in single quotes, as a shell would need it to get the word back.
std::string Quoted(const std::vector<std::string>& words) {
    std::string line;
    for (const std::string& w : words) {
        line += " '";
        for (char c : w)
            line += c == '\'' ? std::string("'\\''") : std::string(1, c);
        line += '\'';
    }
    return line;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    if (const auto words = SplitCommandLine(text)) {
        for (const std::string& w : *words)
            FUZZ_CHECK(text.empty() || !w.empty() ||
                       text.find_first_of("'\"") != std::string::npos);
        // The words quoted again split into the same words.
        const auto again = SplitCommandLine(Quoted(*words));
        FUZZ_CHECK(again && *again == *words);
    }
    // A line with a NUL cannot name a file; it is never started as a whole.
    if (const auto args = FollowUpArguments(text)) {
        FUZZ_CHECK(!args->empty());
        for (const std::string& a : *args)
            FUZZ_CHECK(a.find('\0') == std::string::npos);
    }
    return 0;
}
