#include "res/resources.h"

const VersionInfo& GetVersionInfo() {
    static const VersionInfo info{
        "1, 0, 0, 1",
        "1, 0, 0, 1",
        "1.0.0.1",
        0x0407,
        1200,
        "040704B0",
        "",
        "MFC-Anwendung Quillmere",
        "Quillmere",
        "Copyright © 2026 Talvenmark",
        "",
        "Quillmere.EXE",
        "Anwendung Quillmere",
    };
    return info;
}
