#include "platform/profile_store.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

std::optional<std::string> MemoryProfileStore::Read(const std::string& section,
                                                    const std::string& entry) {
    std::lock_guard lock(m_mutex);
    if (const std::string* v = m_doc.Find(section, entry))
        return *v;
    return std::nullopt;
}

void MemoryProfileStore::Write(const std::string& section, const std::string& entry,
                               const std::string& value) {
    std::lock_guard lock(m_mutex);
    m_doc.Set(section, entry, value);
    writes.push_back(section + "/" + entry + "=" + value);
}

void MemoryProfileStore::Erase(const std::string& section, const std::string& entry) {
    std::lock_guard lock(m_mutex);
    m_doc.Erase(section, entry);
}

bool MemoryProfileStore::Flush() {
    std::lock_guard lock(m_mutex);
    ++flushes;
    if (failFlush)
        return false;
    saved = m_doc;
    return true;
}

bool ParseProfileInt(const std::string& text, int& value) {
    size_t b = text.find_first_not_of(" \t");
    size_t e = text.find_last_not_of(" \t");
    if (b == std::string::npos)
        return false;
    std::string digits = text.substr(b, e - b + 1);
    size_t i = (digits[0] == '-' || digits[0] == '+') ? 1 : 0;
    if (i == digits.size())
        return false;
    for (size_t k = i; k < digits.size(); ++k)
        if (digits[k] < '0' || digits[k] > '9')
            return false;
    errno = 0;
    long long v = std::strtoll(digits.c_str(), nullptr, 10);
    if (errno == ERANGE || v < INT_MIN || v > INT_MAX)
        return false;
    value = static_cast<int>(v);
    return true;
}
