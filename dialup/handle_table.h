// Connection handles handed out by a service: a small number per connection, the same number
// each time the same connection is listed, never 0, never reused.
#pragma once

#include "dialup/ras.h"

#include <mutex>
#include <optional>
#include <utility>
#include <vector>

template <class Key> class HandleTable {
public:
    HRASCONN Handle(const Key& key) {
        std::lock_guard lock(m_mutex);
        for (const auto& [handle, k] : m_entries)
            if (k == key)
                return handle;
        m_entries.emplace_back(m_next, key);
        return m_next++;
    }

    std::optional<Key> Find(HRASCONN handle) const {
        std::lock_guard lock(m_mutex);
        for (const auto& [h, key] : m_entries)
            if (h == handle)
                return key;
        return std::nullopt;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::pair<HRASCONN, Key>> m_entries;
    HRASCONN m_next = 1;
};
