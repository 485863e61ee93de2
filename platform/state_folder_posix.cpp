#include "platform/state_folder.h"

#include <climits>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

std::string StateFolder(const std::string& company, const std::string& application) {
    std::string base;
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg && xdg[0] == '/')
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && home[0] == '/')
        base = std::string(home) + "/.local/state";
    else
        return {};
    return base + "/" + company + "/" + application;
}

std::string HostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
}

std::string LocalTimeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[40] = {};
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
    return text;
}
