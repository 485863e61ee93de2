#include "tests/dialup/real_nm.h"

#include "dialup/pidfd_posix.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

const char* const kSystemBusConf = R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=@DIR@/system_bus_socket</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow user="*"/>
    <deny own="*"/>
    <deny send_type="method_call"/>
    <allow send_type="signal"/>
    <allow send_requested_reply="true" send_type="method_return"/>
    <allow send_requested_reply="true" send_type="error"/>
    <allow receive_type="method_call"/>
    <allow receive_type="method_return"/>
    <allow receive_type="error"/>
    <allow receive_type="signal"/>
    <allow send_destination="org.freedesktop.DBus" send_interface="org.freedesktop.DBus"/>
    <allow send_destination="org.freedesktop.DBus"
           send_interface="org.freedesktop.DBus.Introspectable"/>
    <allow send_destination="org.freedesktop.DBus"
           send_interface="org.freedesktop.DBus.Properties"/>
  </policy>
  <include>/usr/share/dbus-1/system.d/org.freedesktop.NetworkManager.conf</include>
</busconfig>
)";

// Without dns=none and rc-manager=unmanaged it rewrites the host's /etc/resolv.conf.
const char* const kNmConf = R"([main]
plugins=keyfile
auth-polkit=false
dns=none
rc-manager=unmanaged
systemd-resolved=false
hostname-mode=none
no-auto-default=*

[connectivity]
enabled=false

[keyfile]
path=@DIR@/system-connections
)";

std::string WithDir(std::string text, const std::string& dir) {
    for (size_t at; (at = text.find("@DIR@")) != std::string::npos;)
        text.replace(at, 5, dir);
    return text;
}

bool IsExecutable(const char* path) {
    return ::access(path, X_OK) == 0;
}

// Starts args[0] with stdin from /dev/null, stdout to outFd (else to logPath) and stderr to
// logPath (else to outFd).
pid_t Spawn(const std::vector<std::string>& args, int outFd, const std::string& logPath = {}) {
    std::vector<char*> argv;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, 0, "/dev/null", O_RDONLY, 0);
    if (!logPath.empty())
        posix_spawn_file_actions_addopen(&files, 2, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0600);
    else
        posix_spawn_file_actions_adddup2(&files, outFd, 2);
    if (outFd >= 0)
        posix_spawn_file_actions_adddup2(&files, outFd, 1);
    else
        posix_spawn_file_actions_adddup2(&files, 2, 1);
    pid_t pid = -1;
    if (posix_spawn(&pid, argv[0], &files, nullptr, argv.data(), environ) != 0)
        pid = -1;
    posix_spawn_file_actions_destroy(&files);
    return pid;
}

// Waits for pid to end within ms; true (and reaped, status set) when it did.
bool ReapWithin(pid_t pid, int ms, int& status) {
    const int fd = PidfdOpen(pid);
    if (fd >= 0) {
        pollfd pfd{fd, POLLIN, 0};
        ::poll(&pfd, 1, ms);
        ::close(fd);
    }
    return ::waitpid(pid, &status, WNOHANG) == pid;
}

// SIGTERM, then SIGKILL when it has not ended within graceMs; reaped either way.
void Stop(pid_t& pid, int graceMs) {
    if (pid <= 0)
        return;
    int status = 0;
    ::kill(pid, SIGTERM);
    if (!ReapWithin(pid, graceMs, status)) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
    pid = -1;
}

// Reads what fd delivers until it closes or the deadline passes.
std::string ReadUntilClosed(int fd, Clock::time_point deadline, bool firstLineOnly = false) {
    std::string text;
    char buf[4096];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        pollfd pfd{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) <= 0)
            break;
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            break;
        text.append(buf, static_cast<size_t>(n));
        if (firstLineOnly && text.find('\n') != std::string::npos)
            break;
    }
    return text;
}

std::string Chomp(std::string s) {
    while (!s.empty() && s.back() == '\n')
        s.pop_back();
    return s;
}

} // namespace

CommandResult RunCommand(const std::vector<std::string>& args, int limitMs) {
    CommandResult result;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return result;
    const pid_t pid = Spawn(args, fds[1]);
    ::close(fds[1]);
    const auto deadline = Clock::now() + std::chrono::milliseconds(limitMs);
    result.output = ReadUntilClosed(fds[0], deadline);
    ::close(fds[0]);
    if (pid <= 0)
        return result;
    int status = 0;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (!ReapWithin(pid, static_cast<int>(std::max<long long>(left, 0)), status)) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        result.output += "\n(killed after " + std::to_string(limitMs) + " ms)";
        return result;
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string RealNetworkManager::Unavailable() {
    if (::geteuid() != 0)
        return "a real NetworkManager needs root for its network namespace";
    for (const char* program : {"/usr/sbin/NetworkManager", "/usr/bin/nmcli", "/usr/bin/nm-online",
                                "/usr/bin/dbus-daemon", "/usr/bin/unshare", "/usr/sbin/ip"})
        if (!IsExecutable(program))
            return std::string(program) + " is not installed (scripts/setup.sh --services)";
    return {};
}

std::string RealNetworkManager::Start() {
    const std::string& dir = m_dir.Path();
    if (dir.empty())
        return "no temporary folder";
    ::mkdir((m_dir / "lib").c_str(), 0700);
    ::mkdir((m_dir / "conf.d").c_str(), 0700);
    ::mkdir((m_dir / "system-connections").c_str(), 0700);
    m_dir.Write("system-bus.conf", WithDir(kSystemBusConf, dir));
    m_dir.Write("nm.conf", WithDir(kNmConf, dir));

    // The bus daemon prints its address once it listens.
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return std::string("pipe: ") + std::strerror(errno);
    m_bus = Spawn({"/usr/bin/dbus-daemon", "--config-file=" + (m_dir / "system-bus.conf"),
                   "--nofork", "--print-address=1"},
                  fds[1], m_dir / "bus.log");
    ::close(fds[1]);
    const std::string address =
        Chomp(ReadUntilClosed(fds[0], Clock::now() + std::chrono::seconds(5), true));
    ::close(fds[0]);
    if (m_bus <= 0 || address.empty())
        return "the private bus did not start";
    SetEnv("DBUS_SYSTEM_BUS_ADDRESS", address);

    m_nm = Spawn(
        {"/usr/bin/unshare", "-n", "-m", "--propagation", "private", REAL_NM_NETNS_SCRIPT, dir}, -1,
        m_dir / "nm.log");
    if (m_nm <= 0)
        return "NetworkManager did not start";
    // Returns once startup is complete: v0 is managed.
    const CommandResult online = RunCommand({"/usr/bin/nm-online", "-s", "-q", "-t", "10"}, 12000);
    if (online.exitCode != 0)
        return "NetworkManager did not come up: " + online.output;
    return {};
}

RealNetworkManager::~RealNetworkManager() {
    // It takes a second or two to end on SIGTERM; its namespace and the veth pair go with it.
    Stop(m_nm, 3000);
    Stop(m_bus, 1000);
    UnsetEnv("DBUS_SYSTEM_BUS_ADDRESS");
}

CommandResult RealNetworkManager::Nmcli(std::vector<std::string> args) const {
    args.insert(args.begin(), {"/usr/bin/nmcli", "--wait", "10"});
    CommandResult r = RunCommand(args, 12000);
    r.output = Chomp(r.output);
    return r;
}

bool RealNetworkManager::AddProfile(const std::string& name) const {
    return Nmcli({"connection", "add", "type", "ethernet", "con-name", name, "ifname", "v0",
                  "autoconnect", "no", "ipv4.method", "manual", "ipv4.addresses", "192.168.77.1/24",
                  "ipv6.method", "disabled"})
               .exitCode == 0;
}

bool RealNetworkManager::AddDhcpProfile(const std::string& name, int timeoutSeconds) const {
    return Nmcli({"connection", "add", "type", "ethernet", "con-name", name, "ifname", "v0",
                  "autoconnect", "no", "ipv4.method", "auto", "ipv4.dhcp-timeout",
                  std::to_string(timeoutSeconds), "ipv6.method", "disabled"})
               .exitCode == 0;
}

bool RealNetworkManager::SetCarrier(bool on) const {
    // NetworkManager learns of a link change on its own time, and while a device is still
    // failing or deactivating it defers the change: the link changes once v0 has settled
    // (unavailable or disconnected), and a dial waits until NetworkManager has seen the change.
    const auto device = [&](const std::function<bool(const std::string&)>& ready) {
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (Clock::now() < deadline) {
            if (ready(
                    Nmcli({"-g", "GENERAL.STATE,WIRED-PROPERTIES.CARRIER", "device", "show", "v0"})
                        .output))
                return true;
            ::usleep(20000);
        }
        return false;
    };
    return device(
               [](const std::string& s) { return s.starts_with("20 ") || s.starts_with("30 "); }) &&
           RunCommand({"/usr/bin/nsenter", "-t", std::to_string(m_nm), "-n", "/usr/sbin/ip", "link",
                       "set", "v1", on ? "up" : "down"},
                      5000)
                   .exitCode == 0 &&
           device([on](const std::string& s) { return s.ends_with(on ? "\non" : "\noff"); });
}

std::string RealNetworkManager::State(const std::string& name) const {
    return Nmcli({"-g", "GENERAL.STATE", "connection", "show", name}).output;
}

std::string RealNetworkManager::Logs() const {
    return m_dir.Read("bus.log") + m_dir.Read("nm.log");
}
