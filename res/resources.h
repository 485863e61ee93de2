// The program's resources as data: dialog templates, the string table, icons and the version.
#pragma once

#include "platform/dialog_template.h"
#include "platform/resource_provider.h"

#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

const DialogTemplate& LoadDialogTemplate(int id);

// "" when the table has no such string, as LoadString gives.
std::string LoadResourceString(int id);
// The string with %1, %2, ... replaced by args in turn; what an argument holds stays as it is.
std::string FormatResourceString(int id, std::initializer_list<std::string_view> args);
// The same for a text already loaded (through a loader of the caller's).
std::string FormatString(std::string_view text, std::initializer_list<std::string_view> args);

// The icon's images (platform/resource_provider.h), nullptr when there is no such icon.
const IconResource* LoadIconResource(int id);

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

// The page a phone's browser shows the alignment readout on: HTML with its script and style.
const char* PhonePage();

// What of these the hosts need, for the program to hand to the host it creates.
const IResourceProvider& ProgramResources();
