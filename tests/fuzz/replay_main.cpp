// A fuzz target without the fuzzer: runs it once on every file named or found in the folders
// named, so that the seed corpora and the inputs that once failed run in every build.
#include "fuzz_check.h"

#include <filesystem>
#include <fstream>
#include <iterator>

int main(int argc, char** argv) {
    std::size_t runs = 0;
    for (int i = 1; i < argc; ++i) {
        std::vector<std::filesystem::path> files;
        if (std::filesystem::is_directory(argv[i])) {
            for (const auto& e : std::filesystem::directory_iterator(argv[i]))
                if (e.is_regular_file())
                    files.push_back(e.path());
        } else {
            files.emplace_back(argv[i]);
        }
        for (const auto& f : files) {
            std::ifstream in(f, std::ios::binary);
            if (!in) {
                std::fprintf(stderr, "cannot read %s\n", f.c_str());
                return 2;
            }
            const std::string bytes{std::istreambuf_iterator<char>(in), {}};
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                   bytes.size());
            ++runs;
        }
    }
    std::printf("%zu inputs ran clean\n", runs);
    // A folder that lost its files must not pass as clean.
    return runs > 0 ? 0 : 1;
}
