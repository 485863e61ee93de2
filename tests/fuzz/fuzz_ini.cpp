// The settings file loader: any text loads without harm, what the program saves loads back
// the same, and a loaded file saved again is stable.
#include "fuzz_check.h"
#include "platform/ini_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    // A file edited by hand: whatever it holds, saving what was read and reading that again
    // gives the same settings, and saving once more the same bytes.
    const IniDocument loaded = ParseIni(text);
    const std::string saved = FormatIni(loaded);
    const IniDocument reloaded = ParseIni(saved);
    for (const auto& s : loaded.sections)
        for (const auto& e : s.entries) {
            const std::string* again = reloaded.Find(s.name, e.key);
            FUZZ_CHECK(again && *again == e.value);
        }
    FUZZ_CHECK(FormatIni(reloaded) == saved);

    // Values the program writes itself (pieces of the input as group, entry and value) come
    // back unchanged, whatever bytes they hold.
    const std::vector<std::string> parts = SplitInput(data, size);
    IniDocument written;
    for (std::size_t i = 0; i + 2 < parts.size(); i += 3)
        if (!parts[i + 1].empty())
            written.Set(parts[i], parts[i + 1], parts[i + 2]);
    const IniDocument read = ParseIni(FormatIni(written));
    for (const auto& s : written.sections)
        for (const auto& e : s.entries) {
            const std::string* value = read.Find(s.name, e.key);
            FUZZ_CHECK(value && *value == e.value);
        }
    for (const std::string& part : parts) {
        FUZZ_CHECK(UnescapeIniKey(EscapeIniKey(part)) == part);
        FUZZ_CHECK(UnescapeIniValue(EscapeIniValue(part)) == part);
    }
    return 0;
}
