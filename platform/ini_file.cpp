#include "platform/ini_file.h"

#include <cstdio>
#include <unordered_map>

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool KeepsPlain(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-' || c == '.';
}

} // namespace

const std::string* IniDocument::Find(std::string_view section, std::string_view key) const {
    for (const auto& s : sections)
        if (s.name == section)
            for (const auto& e : s.entries)
                if (e.key == key)
                    return &e.value;
    return nullptr;
}

void IniDocument::Set(std::string_view section, std::string_view key, std::string_view value) {
    Section* target = nullptr;
    for (auto& s : sections)
        if (s.name == section) {
            target = &s;
            break;
        }
    if (!target) {
        sections.push_back({std::string(section), {}});
        target = &sections.back();
    }
    for (auto& e : target->entries)
        if (e.key == key) {
            e.value = value;
            return;
        }
    target->entries.push_back({std::string(key), std::string(value)});
}

void IniDocument::Erase(std::string_view section, std::string_view key) {
    for (auto s = sections.begin(); s != sections.end(); ++s)
        if (s->name == section) {
            std::erase_if(s->entries, [key](const Entry& e) { return e.key == key; });
            if (s->entries.empty())
                sections.erase(s);
            return;
        }
}

std::string EscapeIniKey(std::string_view key) {
    std::string out;
    for (unsigned char c : key) {
        if (c == '/') {
            out += '\\';
        } else if (KeepsPlain(c)) {
            out += static_cast<char>(c);
        } else {
            char buf[4];
            std::snprintf(buf, sizeof buf, "%%%02X", c);
            out += buf;
        }
    }
    return out;
}

std::string UnescapeIniKey(std::string_view key) {
    std::string out;
    for (size_t i = 0; i < key.size(); ++i) {
        char c = key[i];
        if (c == '%' && i + 2 < key.size()) {
            int hi = HexValue(key[i + 1]), lo = HexValue(key[i + 2]);
            if (hi >= 0 && lo >= 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += c == '\\' ? '/' : c;
    }
    return out;
}

std::string EscapeIniValue(std::string_view value) {
    bool quote = !value.empty() && (IsSpace(value.front()) || IsSpace(value.back()));
    std::string body;
    if (!value.empty() && value.front() == '@')
        body += '@';
    for (unsigned char c : value) {
        switch (c) {
        case '"':
            body += "\\\"";
            quote = true;
            break;
        case '\\':
            body += "\\\\";
            quote = true;
            break;
        case '\n':
            body += "\\n";
            quote = true;
            break;
        case '\r':
            body += "\\r";
            quote = true;
            break;
        case '\t':
            body += "\\t";
            quote = true;
            break;
        case ',':
        case ';':
        case '=':
            body += static_cast<char>(c);
            quote = true;
            break;
        default:
            if (c < 0x20 || c == 0x7F) {
                char buf[5];
                std::snprintf(buf, sizeof buf, "\\x%02x", c);
                body += buf;
                quote = true;
            } else {
                body += static_cast<char>(c);
            }
        }
    }
    return quote ? "\"" + body + "\"" : body;
}

std::string UnescapeIniValue(std::string_view raw) {
    std::string_view v = Trim(raw);
    std::string out;
    bool quoted = false;
    for (size_t i = 0; i < v.size(); ++i) {
        char c = v[i];
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (c != '\\' || !quoted || i + 1 >= v.size()) {
            out += c;
            continue;
        }
        char e = v[++i];
        switch (e) {
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case 'a':
            out += '\a';
            break;
        case 'b':
            out += '\b';
            break;
        case 'f':
            out += '\f';
            break;
        case 'v':
            out += '\v';
            break;
        case 'x': {
            int value = 0, digits = 0;
            while (digits < 2 && i + 1 < v.size() && HexValue(v[i + 1]) >= 0) {
                value = value * 16 + HexValue(v[++i]);
                ++digits;
            }
            if (digits == 0)
                out += 'x';
            else
                out += static_cast<char>(value);
            break;
        }
        default:
            out += e; // \" \\ \; \, \= and anything unknown stand for themselves
        }
    }
    if (out.starts_with("@@")) // QSettings doubles a leading '@' that is not a type tag
        out.erase(0, 1);
    return out;
}

IniDocument ParseIni(std::string_view text) {
    IniDocument doc;
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.starts_with(kByteOrderMark)) {
        doc.byteOrderMark = true;
        text.remove_prefix(kByteOrderMark.size());
    }
    const size_t firstEnd = text.find('\n');
    doc.crlf = firstEnd != std::string_view::npos && firstEnd > 0 && text[firstEnd - 1] == '\r';

    // Set searches linearly; a file of many thousands of keys needs an index while it loads.
    std::unordered_map<std::string, size_t> sectionIndex;
    std::vector<std::unordered_map<std::string, size_t>> entryIndex;
    size_t current = 0;
    bool haveSection = false;
    std::string sectionName = "General";
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty() || line.front() == ';' || line.front() == '#')
            continue;
        if (line.front() == '[') {
            size_t close = line.find(']');
            if (close != std::string_view::npos) {
                sectionName = UnescapeIniKey(Trim(line.substr(1, close - 1)));
                haveSection = false;
            }
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string_view::npos)
            continue;
        std::string key = UnescapeIniKey(Trim(line.substr(0, eq)));
        if (key.empty())
            continue;
        if (!haveSection) {
            auto [it, added] = sectionIndex.try_emplace(sectionName, doc.sections.size());
            if (added) {
                doc.sections.push_back({sectionName, {}});
                entryIndex.emplace_back();
            }
            current = it->second;
            haveSection = true;
        }
        auto& entries = doc.sections[current].entries;
        auto [it, added] = entryIndex[current].try_emplace(key, entries.size());
        std::string value = UnescapeIniValue(line.substr(eq + 1));
        if (added)
            entries.push_back({std::move(key), std::move(value)});
        else
            entries[it->second].value = std::move(value);
    }
    return doc;
}

std::string FormatIni(const IniDocument& doc) {
    const std::string_view newline = doc.crlf ? "\r\n" : "\n";
    std::string out;
    if (doc.byteOrderMark)
        out += "\xEF\xBB\xBF";
    bool first = true;
    for (const auto& s : doc.sections) {
        if (!first)
            out += newline;
        first = false;
        out += '[';
        out += EscapeIniKey(s.name);
        out += ']';
        out += newline;
        for (const auto& e : s.entries) {
            out += EscapeIniKey(e.key);
            out += '=';
            out += EscapeIniValue(e.value);
            out += newline;
        }
    }
    return out;
}
