// A fresh folder under the system's temporary folder, removed with everything in it at the end.
#pragma once

#include "tests/support/test_env.h"

#include <filesystem>
#include <fstream>
#include <string>

class TempDir {
public:
    TempDir() : m_path(MakeTempDir("quillmere-dialup-")) {}
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "/" + name; }

    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(m_path + "/" + name) << text;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(m_path + "/" + name);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    std::string m_path;
};
