// The diagnostics log on Windows.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string_view>

// Appends text to file. When the file would grow past bound bytes it first becomes file.1,
// replacing the older one, so that both together never hold much more than twice the bound.
// Threads and processes may append at once: each text arrives whole.
void AppendToBoundedLog(const std::filesystem::path& file, std::string_view text,
                        std::uintmax_t bound);
