#include "platform/profile_store.h"

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

bool MemoryProfileStore::Flush() {
    std::lock_guard lock(m_mutex);
    ++flushes;
    if (failFlush)
        return false;
    saved = m_doc;
    return true;
}
