#include "dialup/pppd_service.h"

#include "dialup/entry_name.h"
#include "dialup/spawn.h"
#include "platform/cancel_token.h"
#include "platform/diagnostics.h"
#include "platform/unique_fd_posix.h"
#include "res/resource.h"
#include "res/resources.h"

#include "dialup/pidfd_posix.h"
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <memory>
#include <poll.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using SteadyClock = std::chrono::steady_clock;

struct DirCloser {
    void operator()(DIR* d) const { ::closedir(d); }
};
using Dir = std::unique_ptr<DIR, DirCloser>;

std::string ReadSmallFile(const std::string& path, size_t limit) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    if (!fd)
        return {};
    std::string text(limit, '\0');
    ssize_t n = ::read(fd.Get(), text.data(), limit);
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return text;
}

// The first line of a pid file as a pid; 0 when it is anything but a plain positive number.
pid_t ParsePidFile(const std::string& text) {
    const std::string line = text.substr(0, text.find('\n'));
    if (line.empty() || line.size() > 10)
        return 0;
    long long value = 0;
    for (char c : line) {
        if (c < '0' || c > '9')
            return 0;
        value = value * 10 + (c - '0');
    }
    return value > 1 && value <= INT_MAX ? static_cast<pid_t>(value) : 0;
}

std::vector<std::string> ReadCmdline(pid_t pid) {
    const std::string text = ReadSmallFile("/proc/" + std::to_string(pid) + "/cmdline", 65536);
    std::vector<std::string> args;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\0', start);
        if (end == std::string::npos)
            end = text.size();
        args.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return args;
}

// A pidfd for the link's pppd named in its pid file, or none. The pidfd pins the process: the
// check reads the command line by number, and the signal 0 afterwards proves that the process the
// pidfd holds was still alive then, so the number had not passed to another process meanwhile.
UniqueFd OpenLinkPppd(const std::string& runDir, const std::string& link, pid_t expected = 0) {
    const pid_t pid = ParsePidFile(ReadSmallFile(runDir + "/ppp-" + link + ".pid", 64));
    if (pid == 0 || (expected != 0 && pid != expected))
        return UniqueFd();
    UniqueFd pidfd(PidfdOpen(pid));
    if (!pidfd)
        return UniqueFd(); // gone
    if (!IsPppdOfLink(ReadCmdline(pid), link))
        return UniqueFd(); // a stale file whose number now belongs to someone else, or a zombie
    if (PidfdSendSignal(pidfd.Get(), 0) != 0)
        return UniqueFd();
    return pidfd;
}

bool WaitForExit(int pidfd, std::chrono::milliseconds timeout) {
    const auto deadline = SteadyClock::now() + timeout;
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
        pollfd pfd{pidfd, POLLIN, 0};
        const int rc = ::poll(&pfd, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
        if (rc > 0)
            return true;
        if (rc == 0 || errno != EINTR)
            return false;
    }
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

bool IsUsablePeerName(std::string_view name) {
    return !name.empty() && name.front() != '.' && name.front() != '-' &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

bool IsPppdOfLink(const std::vector<std::string>& cmdline, std::string_view link) {
    if (cmdline.empty())
        return false;
    const std::string& program = cmdline[0];
    const size_t slash = program.rfind('/');
    if (program.substr(slash == std::string::npos ? 0 : slash + 1) != "pppd")
        return false;
    for (size_t i = 1; i + 1 < cmdline.size(); ++i)
        if ((cmdline[i] == "linkname" || cmdline[i] == "call") && cmdline[i + 1] == link)
            return true;
    return false;
}

std::string MissingDeviceOfPeersFile(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream words(line.substr(0, line.find('#')));
        std::string word;
        struct stat st;
        while (words >> word)
            if (word.rfind("/dev/", 0) == 0 && ::stat(word.c_str(), &st) != 0)
                return word;
    }
    return {};
}

std::string PppdExitText(int status) {
    return status >= 1 && status <= 19
               ? LoadResourceString(IDS_PPPD_EXIT + status)
               : FormatResourceString(IDS_PPPD_EXIT_OTHER, {std::to_string(status)});
}

PppdService::PppdService(PppdConfig config) : m_config(std::move(config)) {}

bool PppdService::Installed() const {
    return IsRegularFile(m_config.program) && ::access(m_config.program.c_str(), X_OK) == 0;
}

std::string PppdService::ResolvePeer(const std::string& entry) const {
    if (!IsUsablePeerName(entry))
        return {};
    if (IsRegularFile(m_config.peersDir + "/" + entry))
        return entry;
    Dir dir(::opendir(m_config.peersDir.c_str()));
    if (!dir)
        return {};
    std::vector<std::string> peers;
    while (const dirent* e = ::readdir(dir.get())) {
        const std::string name = e->d_name;
        if (IsUsablePeerName(name) && IsRegularFile(m_config.peersDir + "/" + name))
            peers.push_back(name);
    }
    // Two files that differ only in case: which one was meant cannot be told.
    const auto found = FindEntry(peers, entry, CaseFolded::Only);
    return found == peers.end() ? std::string() : *found;
}

std::optional<std::vector<RASCONN>> PppdService::EnumConnections() {
    Dir dir(::opendir(m_config.runDir.c_str()));
    if (!dir) {
        DiagnoseFormat("Quillmere: cannot read %s: %s", m_config.runDir.c_str(),
                       std::strerror(errno));
        return std::nullopt;
    }
    std::vector<std::string> links;
    while (const dirent* e = ::readdir(dir.get())) {
        const std::string_view name = e->d_name;
        if (name.size() > 8 && name.starts_with("ppp-") && name.ends_with(".pid")) {
            std::string link(name.substr(4, name.size() - 8));
            if (IsUsablePeerName(link))
                links.push_back(std::move(link));
        }
    }
    std::sort(links.begin(), links.end());
    std::vector<RASCONN> active;
    for (const std::string& link : links) {
        UniqueFd pidfd = OpenLinkPppd(m_config.runDir, link);
        if (!pidfd)
            continue;
        const pid_t pid =
            ParsePidFile(ReadSmallFile(m_config.runDir + "/ppp-" + link + ".pid", 64));
        active.push_back({m_handles.Handle({link, pid}), link});
    }
    return active;
}

bool PppdService::HangUp(HRASCONN handle) {
    const auto key = m_handles.Find(handle);
    if (!key)
        return true;
    const auto& [link, pid] = *key;
    UniqueFd pidfd = OpenLinkPppd(m_config.runDir, link, pid);
    if (!pidfd)
        return true; // that pppd is gone already; whatever holds its number is left alone
    if (PidfdSendSignal(pidfd.Get(), SIGTERM) != 0) {
        DiagnoseFormat("Quillmere: cannot stop pppd %d: %s", static_cast<int>(pid),
                       std::strerror(errno));
        return false;
    }
    return WaitForExit(pidfd.Get(), kServiceDeadline);
}

DialOutcome PppdService::Dial(const std::string& entry, const CancelToken& cancel,
                              const DialProgress& progress) {
    if (!IsUsablePeerName(entry))
        return DialOutcome::Fail(FormatResourceString(IDS_PPPD_BAD_NAME, {entry}));
    const std::string peer = ResolvePeer(entry);
    if (peer.empty())
        return DialOutcome::Fail(
            FormatResourceString(IDS_PPPD_NO_PEER, {entry, m_config.peersDir}));
    if (progress)
        progress(FormatResourceString(IDS_DIAL_DIALING, {peer}));

    SpawnOptions options;
    options.searchPath = false;
    options.newSession = true; // the link outlives us and ignores our terminal's signals
    options.nullStdin = true;
    // Until it detaches pppd reports on standard output, its errors included.
    options.stdoutToStderr = true;
    const SpawnResult started =
        SpawnProcess({m_config.program, "call", peer, "updetach", "linkname", peer}, options);
    if (started.pid < 0) {
        DiagnoseFormat("Quillmere: cannot start %s: %s", m_config.program.c_str(),
                       std::strerror(started.error));
        return DialOutcome::Fail(LoadResourceString(IDS_PPPD_NOT_STARTED));
    }
    const pid_t pid = started.pid;
    // Our own unreaped child: its number cannot pass to another process before waitpid.
    UniqueFd pidfd(PidfdOpen(pid));

    bool cancelled = false;
    std::optional<int> status;
    while (!status) {
        pollfd fds[2] = {{pidfd.Get(), POLLIN, 0}, {cancel.Fd(), POLLIN, 0}};
        // Without a pidfd (an old kernel) the child is looked at every 100 ms.
        ::poll(fds, 2, pidfd ? -1 : 100);
        if (cancel.IsCancelled()) {
            cancelled = true;
            ::kill(pid, SIGTERM); // still our unreaped child: the number is its own
            if (!pidfd || !WaitForExit(pidfd.Get(), std::chrono::milliseconds(3000)))
                ::kill(pid, SIGKILL);
        }
        int st = 0;
        pid_t r;
        do
            r = ::waitpid(pid, &st, cancelled ? 0 : WNOHANG);
        while (r < 0 && errno == EINTR);
        if (r == pid || r < 0)
            status = r == pid ? st : -1;
    }
    if (cancelled)
        return DialOutcome::Cancel();
    if (WIFEXITED(*status) && WEXITSTATUS(*status) == 0)
        return DialOutcome::Ok();
    if (*status >= 0 && WIFEXITED(*status)) {
        // pppd's own words went to standard error before: this says which dial they belong to.
        const std::string said =
            "pppd call " + peer + ": exit status " + std::to_string(WEXITSTATUS(*status));
        DiagnoseFormat("Quillmere: %s", said.c_str());
        // pppd takes a device path that does not exist for an unknown option: most often the
        // adapter is not plugged in, which the user can mend.
        const std::string missing = WEXITSTATUS(*status) == 2
                                        ? MissingDeviceOfPeersFile(m_config.peersDir + "/" + peer)
                                        : std::string();
        if (!missing.empty())
            return DialOutcome::Fail(FormatResourceString(IDS_PPPD_NO_DEVICE, {missing}), said);
        return DialOutcome::Fail(PppdExitText(WEXITSTATUS(*status)), said);
    }
    DiagnoseFormat("Quillmere: pppd call %s ended abnormally (wait status %d)", peer.c_str(),
                   *status);
    return DialOutcome::Fail(LoadResourceString(IDS_PPPD_CRASHED));
}
