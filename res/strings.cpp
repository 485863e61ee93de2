#include "res/resource.h"
#include "res/resources.h"

#include <map>
#include <mutex>

namespace {
std::mutex g_mutex;
std::map<int, std::string> g_overrides;
} // namespace

std::string LoadResourceString(int id) {
    {
        std::lock_guard lock(g_mutex);
        if (auto it = g_overrides.find(id); it != g_overrides.end())
            return it->second;
    }
    switch (id) {
    case IDS_ABOUT_MENU:
        return "Inf&o über Quillmere...";
    }
    return {};
}

void OverrideResourceStringForTests(int id, std::optional<std::string> text) {
    std::lock_guard lock(g_mutex);
    if (text)
        g_overrides[id] = *text;
    else
        g_overrides.erase(id);
}
