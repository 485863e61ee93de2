#include "dialup/command_line.h"

#include <utility>

std::optional<std::vector<std::string>> SplitCommandLine(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false; // "" is a word of its own
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == ' ' || c == '\t' || c == '\n') {
            if (inWord)
                words.push_back(std::exchange(word, {}));
            inWord = false;
            ++i;
        } else if (c == '\'') {
            const size_t end = text.find('\'', i + 1);
            if (end == std::string_view::npos)
                return std::nullopt;
            word.append(text.substr(i + 1, end - i - 1));
            inWord = true;
            i = end + 1;
        } else if (c == '"') {
            ++i;
            for (;;) {
                if (i >= text.size())
                    return std::nullopt;
                const char d = text[i];
                if (d == '"') {
                    ++i;
                    break;
                }
                if (d == '\\' && i + 1 < text.size()) {
                    const char next = text[i + 1];
                    if (next == '\n') {
                        i += 2;
                        continue;
                    }
                    if (next == '$' || next == '`' || next == '"' || next == '\\') {
                        word += next;
                        i += 2;
                        continue;
                    }
                }
                word += d;
                ++i;
            }
            inWord = true;
        } else if (c == '\\') {
            if (i + 1 >= text.size()) {
                word += c; // a trailing backslash stays, as bash leaves it
                inWord = true;
                ++i;
            } else if (text[i + 1] == '\n') {
                i += 2; // line continuation
            } else {
                word += text[i + 1];
                inWord = true;
                i += 2;
            }
        } else {
            word += c;
            inWord = true;
            ++i;
        }
    }
    if (inWord)
        words.push_back(std::move(word));
    return words;
}
