#include "platform/printable_text.h"

#include <cstdio>

namespace {

void AppendEscape(std::string& out, const char* format, unsigned value) {
    char escape[8];
    std::snprintf(escape, sizeof escape, format, value);
    out += escape;
}

// The length of the UTF-8 sequence at text[i] and its code point; 0 when it is none.
std::size_t Utf8Sequence(std::string_view text, std::size_t i, char32_t& cp) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned lead = byte(i);
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || i + length > text.size())
        return 0;
    cp = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    constexpr char32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kShortest[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

std::string PrintableText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            if (c == '\t')
                out += "\\t";
            else if (c == '\n')
                out += "\\n";
            else if (c == '\r')
                out += "\\r";
            else if (c < 0x20 || c == 0x7F)
                AppendEscape(out, "\\x%02x", c);
            else
                out += static_cast<char>(c);
            ++i;
            continue;
        }
        char32_t cp = 0;
        const std::size_t length = Utf8Sequence(text, i, cp);
        if (length == 0) {
            AppendEscape(out, "\\x%02x", c);
            ++i;
        } else if (cp <= 0x9F || cp == 0x2028 || cp == 0x2029) {
            AppendEscape(out, "\\u%04x", static_cast<unsigned>(cp));
            i += length;
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
    }
    return out;
}
