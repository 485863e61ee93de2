// Quillmere.exe's own resources: the version, the string table, and icons that are the pixel
// art of res/icons.cpp.
#include "platform/text_win32.h"
#include "res/icon_file.h"
#include "res/resource.h"
#include "res/resources.h"

#include <vector>

#include "checks.h"

namespace {

void CheckVersion(const std::wstring& exe) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(exe.c_str(), &ignored);
    Check(size > 0, "version resource present");
    if (!size)
        return;
    std::vector<char> data(size);
    ::GetFileVersionInfoW(exe.c_str(), 0, size, data.data());

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    Check(::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) && fixed,
          "fixed file info");
    if (fixed) {
        CheckInt(fixed->dwFileVersionMS, 0x00010000, "file version, high");
        CheckInt(fixed->dwFileVersionLS, 0x00000001, "file version, low");
        CheckInt(fixed->dwProductVersionMS, 0x00010000, "product version, high");
        CheckInt(fixed->dwProductVersionLS, 0x00000001, "product version, low");
    }
    DWORD* translation = nullptr;
    Check(::VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                           reinterpret_cast<void**>(&translation), &length) &&
              length == 4,
          "one translation");
    if (translation)
        CheckInt(*translation, 0x04B00407, "translation: German, code page 1200");

    const VersionInfo& v = GetVersionInfo();
    const std::pair<const wchar_t*, const char*> strings[] = {
        {L"CompanyName", v.companyName},           {L"FileDescription", v.fileDescription},
        {L"FileVersion", v.fileVersion},           {L"InternalName", v.internalName},
        {L"LegalCopyright", v.legalCopyright},     {L"LegalTrademarks", v.legalTrademarks},
        {L"OriginalFilename", v.originalFilename}, {L"ProductName", v.productName},
        {L"ProductVersion", v.productVersion},
    };
    for (const auto& [name, expected] : strings) {
        const std::wstring path = L"\\StringFileInfo\\040704B0\\" + std::wstring(name);
        wchar_t* value = nullptr;
        length = 0;
        const bool found =
            ::VerQueryValueW(data.data(), path.c_str(), reinterpret_cast<void**>(&value), &length);
        Check(found, "version string " + Narrow(name));
        CheckText(found && value ? std::wstring(value) : L"?", WideFromUtf8(expected),
                  "version string " + Narrow(name));
    }
    CheckText(WideFromUtf8(v.fileDescription), L"MFC-Anwendung Quillmere", "file description");
    CheckText(WideFromUtf8(v.originalFilename), L"Quillmere.EXE", "original file name");
}

// Each pixel of the loaded icon against the pixel art: the colour of its palette index, or
// transparent for '.'.
void CheckIconPixels(HMODULE module, int id, const IconImage& art) {
    const std::string what = "icon " + std::to_string(id) + " " + std::to_string(art.size);
    HICON icon = static_cast<HICON>(
        ::LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, art.size, art.size, 0));
    Check(icon != nullptr, what + " loads");
    if (!icon)
        return;
    ICONINFO info{};
    ::GetIconInfo(icon, &info);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = art.size;
    bi.bmiHeader.biHeight = -art.size; // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    std::vector<DWORD> colour(static_cast<size_t>(art.size * art.size));
    std::vector<DWORD> mask(colour.size());
    HDC dc = ::GetDC(nullptr);
    const int colourRows = ::GetDIBits(dc, info.hbmColor, 0, static_cast<UINT>(art.size),
                                       colour.data(), &bi, DIB_RGB_COLORS);
    const int maskRows = ::GetDIBits(dc, info.hbmMask, 0, static_cast<UINT>(art.size), mask.data(),
                                     &bi, DIB_RGB_COLORS);
    ::ReleaseDC(nullptr, dc);
    ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
    ::DestroyIcon(icon);
    Check(colourRows == art.size && maskRows == art.size, what + " bits readable");

    int wrong = 0;
    for (int y = 0; y < art.size; ++y)
        for (int x = 0; x < art.size; ++x) {
            const char c = art.rows[y][x];
            const size_t i = static_cast<size_t>(y * art.size + x);
            const bool transparent = (mask[i] & 0xFFFFFF) != 0;
            if (c == '.') {
                wrong += !transparent;
                continue;
            }
            const int index = c <= '9' ? c - '0' : c - 'a' + 10;
            wrong += transparent || (colour[i] & 0xFFFFFF) != kIconPalette[index];
        }
    CheckInt(wrong, 0, what + ": pixels that differ from the pixel art");
}

// The icon images in the executable are byte for byte what write_icons makes now, so the icon
// files under res/icons/ are not stale.
void CheckIconBytes(HMODULE module, const IconResource& art) {
    const std::string what = "icon group " + std::to_string(art.id);
    const auto* groupType = MAKEINTRESOURCEW(14); // RT_GROUP_ICON
    const auto* iconType = MAKEINTRESOURCEW(3);   // RT_ICON
    HRSRC group = ::FindResourceW(module, MAKEINTRESOURCEW(art.id), groupType);
    Check(group != nullptr, what);
    if (!group)
        return;
    const auto* dir =
        static_cast<const unsigned char*>(::LockResource(::LoadResource(module, group)));
    const int count = dir[4] | dir[5] << 8;
    CheckInt(count, static_cast<int>(std::size(kIconFileSizes)), what + " images");
    for (int i = 0; i < count; ++i) {
        const unsigned char* entry = dir + 6 + 14 * i; // GRPICONDIRENTRY
        const int width = entry[0] ? entry[0] : 256;
        const int resourceId = entry[12] | entry[13] << 8;
        HRSRC image = ::FindResourceW(module, MAKEINTRESOURCEW(resourceId), iconType);
        const std::string bytes = IconImageBytes(IconArtFor(art, width), width);
        const auto* data = static_cast<const char*>(::LockResource(::LoadResource(module, image)));
        Check(image && ::SizeofResource(module, image) == bytes.size() &&
                  std::string(data, bytes.size()) == bytes,
              what + " image " + std::to_string(width) + " equals the pixel art");
    }
}

} // namespace

void CheckQuillmereResources(const std::wstring& exe) {
    CheckVersion(exe);
    HMODULE module = ::LoadLibraryExW(exe.c_str(), nullptr,
                                      LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    Check(module != nullptr, "Quillmere.exe loads as a resource file");
    if (!module)
        return;
    wchar_t text[128] = {};
    ::LoadStringW(module, IDS_ABOUT_MENU, text, 128);
    CheckText(text, L"Inf&o über Quillmere...", "string table entry 101");
    for (int id : {IDI_MAIN, IDI_SECOND}) {
        const IconResource& art = *LoadIconResource(id);
        CheckIconPixels(module, id, art.large);
        CheckIconPixels(module, id, art.small);
        CheckIconBytes(module, art);
    }
    ::FreeLibrary(module);
}
