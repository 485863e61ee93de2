// Reading a file's text and looking into it, as the tests do all the time.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

// The whole file, empty when it cannot be read.
inline std::string ReadText(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}
