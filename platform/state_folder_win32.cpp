#include "platform/state_folder.h"

#include "platform/windows_api.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

std::string StateFolder(const std::string& company, const std::string& application) {
    const char* local = std::getenv("LOCALAPPDATA");
    if (!local || !*local)
        return {};
    return std::string(local) + "\\" + company + "\\" + application;
}

std::string HostName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = sizeof name;
    if (!::GetComputerNameA(name, &size))
        return {};
    return std::string(name, size);
}

std::string LocalTimeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_s(&local, &now);
    char text[32] = {};
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    // strftime's %z gives the zone's name here; the offset comes from the system.
    TIME_ZONE_INFORMATION zone{};
    const DWORD kind = ::GetTimeZoneInformation(&zone);
    long bias = -zone.Bias - (kind == TIME_ZONE_ID_DAYLIGHT ? zone.DaylightBias : 0);
    char offset[8] = {};
    std::snprintf(offset, sizeof offset, "%c%02ld%02ld", bias < 0 ? '-' : '+', std::labs(bias) / 60,
                  std::labs(bias) % 60);
    return std::string(text) + offset;
}
