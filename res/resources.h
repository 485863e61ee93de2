// The program's resources as data: dialog templates, the string table, icons and the version.
#pragma once

#include "platform/dialog_template.h"

#include <optional>
#include <string>

const DialogTemplate& LoadDialogTemplate(int id);

// "" when the table has no such string, as LoadString gives.
std::string LoadResourceString(int id);
// Tests: pretend the table holds text (or nothing) for id; nullopt undoes it.
void OverrideResourceStringForTests(int id, std::optional<std::string> text);

// A 16-colour icon image: one character per pixel, '0'..'9','a'..'f' index the palette, '.' is
// transparent.
struct IconImage {
    int size;                // width = height in pixels
    const char* const* rows; // size rows of size characters
};
struct IconResource {
    int id;
    IconImage large; // 32 x 32
    IconImage small; // 16 x 16
};
const IconResource* LoadIconResource(int id);
// The standard 16-colour palette, 0xRRGGBB.
extern const unsigned kIconPalette[16];

struct VersionInfo {
    const char* fileVersion;    // "1, 0, 0, 1"
    const char* productVersion; // "1, 0, 0, 1"
    const char* versionDotted;  // "1.0.0.1"
    unsigned language;          // 0x0407
    unsigned codePage;          // 1200
    const char* blockKey;       // "040704B0"
    const char* companyName;
    const char* fileDescription;
    const char* internalName;
    const char* legalCopyright;
    const char* legalTrademarks;
    const char* originalFilename;
    const char* productName;
};
const VersionInfo& GetVersionInfo();
