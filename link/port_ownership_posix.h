// Who else may own a tty: the system console, other processes that have it open, and what to
// tell the user about them. The UUCP lock files are in uucp_lock_posix.h.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

// Where the checks of ownership look; production takes the defaults, tests point them at
// temporary folders and stand-ins.
struct PortOwnershipEnvironment {
    // UUCP lock files. A folder we cannot write is no reason to refuse the port.
    std::string lockDir;
    // sysfs tty class: console/active names the console devices, tty0/active the foreground
    // virtual terminal.
    std::string sysTtyDir = "/sys/class/tty";
    // Where the console's device names live.
    std::string devDir = "/dev";
    // Runs when a UUCP lock file has been judged stale, before it is taken over: lets a test
    // play another program that takes it over first.
    std::function<void()> beforeStaleLockTakeOver;
};

// Whether the resolved device, as stat() describes it, is one the kernel writes its console to
// or one that is the console by its number: /dev/tty, /dev/console, the virtual consoles, each
// device of console/active, and for tty0 the virtual terminal in front.
bool IsConsole(const std::string& resolvedDevice, const struct stat& device,
               const PortOwnershipEnvironment& env);

// A process other than ours that has the device open, as far as /proc shows us.
std::optional<pid_t> OtherProcessWithDeviceOpen(dev_t rdev);

// Whether the process exists, ours to signal or not.
bool ProcessAlive(pid_t pid);

// The process's name as /proc gives it ("minicom"), "" when it cannot be read.
std::string ProcessName(pid_t pid);

// "process 4711 (minicom)", for the reason a port is busy.
std::string DescribeProcess(pid_t pid);

// The name of the group the device belongs to (its number when it has none), for the reason a
// port may not be opened; "" when the device cannot be looked at.
std::string DeviceGroup(const std::string& path);
