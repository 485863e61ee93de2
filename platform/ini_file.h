// The settings file's text format: INI as QSettings writes it (groups, %-escaped keys, quoted
// values with backslash escapes), read leniently so that values written by hand stay whole:
// an unquoted value is taken literally, commas and all.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct IniDocument {
    struct Entry {
        std::string key;   // unescaped
        std::string value; // unescaped
    };
    struct Section {
        std::string name; // unescaped; "General" for entries before any group
        std::vector<Entry> entries;
    };
    std::vector<Section> sections;
    // How the file was written, kept when it is saved again: editors elsewhere begin with a
    // UTF-8 byte-order mark and end lines with CR LF.
    bool byteOrderMark = false;
    bool crlf = false;

    const std::string* Find(std::string_view section, std::string_view key) const;
    void Set(std::string_view section, std::string_view key, std::string_view value);
    // A group left empty goes too.
    void Erase(std::string_view section, std::string_view key);
};

// Never fails: lines that make no sense are skipped. Takes time linear in the text's length.
IniDocument ParseIni(std::string_view text);
std::string FormatIni(const IniDocument& doc);

std::string EscapeIniKey(std::string_view key);
std::string UnescapeIniKey(std::string_view key);
std::string EscapeIniValue(std::string_view value);
std::string UnescapeIniValue(std::string_view value);
