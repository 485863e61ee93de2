// Writes the icon files of the resource script from the pixel art:
//   write_icons res/icons
#include "platform/diagnostics.h"
#include "res/icon_file.h"
#include "res/resource.h"

#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        DiagnoseFormat("usage: %s DIRECTORY", argv[0]);
        return 2;
    }
    const std::pair<int, const char*> files[] = {{IDI_MAIN, "quillmere.ico"},
                                                 {IDI_SECOND, "second.ico"}};
    for (const auto& [id, name] : files) {
        const std::string path = std::string(argv[1]) + "/" + name;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << IconFileBytes(*LoadIconResource(id));
        if (!out.flush()) {
            DiagnoseFormat("%s: cannot write", path.c_str());
            return 1;
        }
    }
    return 0;
}
