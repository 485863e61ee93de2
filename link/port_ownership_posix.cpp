#include "link/port_ownership_posix.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <signal.h>
#include <sstream>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <vector>

namespace {

std::optional<std::string> ReadSmallFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// "4:64", as sysfs gives a tty's device number.
std::optional<dev_t> SysfsDeviceNumber(const std::string& path) {
    const auto text = ReadSmallFile(path);
    unsigned major = 0;
    unsigned minor = 0;
    if (!text || std::sscanf(text->c_str(), "%u:%u", &major, &minor) != 2)
        return std::nullopt;
    return makedev(major, minor);
}

// The kernel's fixed numbers for ttys that are the console, whoever is logged in on them.
bool IsConsoleNumber(dev_t rdev) {
    const unsigned maj = major(rdev);
    const unsigned min = minor(rdev);
    if (maj == 5 && (min == 0 || min == 1)) // /dev/tty, /dev/console
        return true;
    return maj == 4 && min < 64; // virtual consoles
}

} // namespace

std::string ProcessName(pid_t pid) {
    auto comm = ReadSmallFile("/proc/" + std::to_string(pid) + "/comm");
    if (!comm)
        return {};
    while (!comm->empty() && (comm->back() == '\n' || comm->back() == '\r'))
        comm->pop_back();
    return *comm;
}

bool ProcessAlive(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

std::string DescribeProcess(pid_t pid) {
    std::string text = "process " + std::to_string(pid);
    const std::string name = ProcessName(pid);
    if (!name.empty())
        text += " (" + name + ")";
    return text;
}

// A process that has the device open, as far as /proc shows us: some programs take no lock
// at all, and another user's processes stay hidden unless we are root. Only targets in /dev
// are looked at: stat() on a file of a hung network mount would hang with it.
std::optional<pid_t> OtherProcessWithDeviceOpen(dev_t rdev) {
    namespace fs = std::filesystem;
    const std::string self = std::to_string(::getpid());
    std::error_code ec;
    for (fs::directory_iterator proc("/proc", ec), end; !ec && proc != end; proc.increment(ec)) {
        const std::string pid = proc->path().filename().string();
        if (pid == self || pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::error_code fdEc;
        for (fs::directory_iterator fd(proc->path() / "fd", fdEc); !fdEc && fd != end;
             fd.increment(fdEc)) {
            std::error_code linkEc;
            const fs::path target = fs::read_symlink(fd->path(), linkEc);
            struct stat st {};
            if (!linkEc && target.string().starts_with("/dev/") &&
                ::stat(target.c_str(), &st) == 0 && S_ISCHR(st.st_mode) && st.st_rdev == rdev)
                return static_cast<pid_t>(std::stol(pid));
        }
    }
    return std::nullopt;
}

std::string DeviceGroup(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    std::vector<char> buf(16384);
    group grp{};
    group* found = nullptr;
    if (::getgrgid_r(st.st_gid, &grp, buf.data(), buf.size(), &found) != 0 || !found)
        return std::to_string(st.st_gid);
    return found->gr_name;
}

bool IsConsole(const std::string& resolvedDevice, const struct stat& device,
               const PortOwnershipEnvironment& env) {
    namespace fs = std::filesystem;
    if (S_ISCHR(device.st_mode) && IsConsoleNumber(device.st_rdev))
        return true;
    std::vector<std::string> names{"console"};
    const auto firstToken = [](const std::string& text) {
        std::istringstream in(text);
        std::string token;
        in >> token;
        return token;
    };
    if (const auto active = ReadSmallFile(env.sysTtyDir + "/console/active")) {
        std::istringstream in(*active);
        for (std::string token; in >> token;) {
            names.push_back(token);
            // tty0 is "whichever virtual terminal is in front".
            if (token == "tty0")
                if (const auto vt = ReadSmallFile(env.sysTtyDir + "/tty0/active"))
                    if (const std::string name = firstToken(*vt); !name.empty())
                        names.push_back(name);
        }
    }

    for (const auto& name : names) {
        const std::string node = env.devDir + "/" + name;
        if (std::error_code ec; fs::canonical(node, ec).string() == resolvedDevice)
            return true;
        if (!S_ISCHR(device.st_mode))
            continue;
        // Another node for the same device is the same device; sysfs knows its number even
        // where /dev has no node for it.
        struct stat console {};
        if (::stat(node.c_str(), &console) == 0 && S_ISCHR(console.st_mode) &&
            console.st_rdev == device.st_rdev)
            return true;
        if (SysfsDeviceNumber(env.sysTtyDir + "/" + name + "/dev") == device.st_rdev)
            return true;
    }
    return false;
}
