#include "platform/profile_store.h"

#include "platform/diagnostics.h"
#include "platform/unique_fd_posix.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

void Debug(const char* what, const std::string& path) {
    DiagnoseFormat("Quillmere: %s %s: %s", what, path.c_str(), std::strerror(errno));
}

// The whole file, whatever its size: a file cut at load would be saved cut. Only a regular
// file is read; a FIFO or a device put there by mistake would block or never end.
bool ReadWholeFile(const std::string& path, std::string& text, bool& exists) {
    text.clear();
    exists = false;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT)
            return true;
        Debug("cannot read", path);
        return false;
    }
    exists = true;
    if (!S_ISREG(st.st_mode)) {
        DiagnoseFormat("Quillmere: cannot read %s: not a regular file", path.c_str());
        return false;
    }
    // Without blocking even so: it may have been swapped for a FIFO since the stat.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        Debug("cannot read", path);
        return false;
    }
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (!ok)
        DiagnoseFormat("Quillmere: cannot read %s: not a regular file", path.c_str());
    if (ok && st.st_size > 0)
        text.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    while (ok) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            Debug("cannot read", path);
            ok = false;
        }
        if (n <= 0)
            break;
        text.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return ok;
}

// A settings file that is a symbolic link (dotfiles kept in a repository) is saved at its
// target, so that the link stays a link. Empty when the links go round in circles.
std::string FollowLinks(std::string path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return path;
        std::string target(static_cast<size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1, '\0');
        ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n < 0 || static_cast<size_t>(n) >= target.size())
            return path; // changed meanwhile: rename replaces the link, as before
        target.resize(static_cast<size_t>(n));
        size_t slash = path.find_last_of('/');
        if (target.front() == '/' || slash == std::string::npos)
            path = target;
        else
            path = path.substr(0, slash + 1) + target;
    }
    errno = ELOOP;
    return {};
}

bool MakeDirs(const std::string& dir) {
    if (dir.empty())
        return true;
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    size_t slash = dir.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirs(dir.substr(0, slash)))
        return false;
    return ::mkdir(dir.c_str(), 0755) == 0 || errno == EEXIST;
}

bool WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Write to a temporary file beside the target, flush it to disk, then rename it over the
// target: a crash at any moment leaves either the old file or the new one.
bool ReplaceFileAtomically(const std::string& link, const std::string& text) {
    const std::string path = FollowLinks(link);
    if (path.empty()) {
        Debug("cannot follow the links of", link);
        return false;
    }
    size_t slash = path.find_last_of('/');
    std::string dir = slash == std::string::npos ? "." : path.substr(0, slash);
    if (!MakeDirs(dir)) {
        Debug("cannot create folder for", path);
        return false;
    }
    std::string tmp = path + ".XXXXXX";
    int fd = ::mkstemp(tmp.data());
    if (fd < 0) {
        Debug("cannot create temporary file for", path);
        return false;
    }
    mode_t mode = 0644;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    bool ok = ::fchmod(fd, mode) == 0 && WriteAll(fd, text) && ::fsync(fd) == 0;
    if (::close(fd) != 0)
        ok = false;
    if (ok && ::rename(tmp.c_str(), path.c_str()) != 0)
        ok = false;
    if (!ok) {
        Debug("cannot write", path);
        ::unlink(tmp.c_str());
        return false;
    }
    int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
    return true;
}

// Held from reading the file to replacing it, so that two copies of the program saving at once
// do not drop what the other saved. The lock file stays: taking away a file that another copy
// may have open to lock would let a third lock a new one beside it. flock has no deadline of its
// own, and a save runs on the UI thread: it is tried again for lockWait, then the save fails.
UniqueFd LockForSaving(const std::string& path, std::chrono::milliseconds lockWait) {
    const std::string lockPath = path + ".lock";
    size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !MakeDirs(path.substr(0, slash))) {
        Debug("cannot create folder for", path);
        return {};
    }
    UniqueFd fd(::open(lockPath.c_str(),
                       O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0600));
    if (!fd) {
        Debug("cannot lock", lockPath);
        return {};
    }
    const auto deadline = std::chrono::steady_clock::now() + lockWait;
    while (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        if (errno != EWOULDBLOCK) {
            Debug("cannot lock", lockPath);
            return {};
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            DiagnoseFormat("Quillmere: not saving %s: another save of it holds the lock %s for "
                           "more than %lld ms",
                           path.c_str(), lockPath.c_str(),
                           static_cast<long long>(lockWait.count()));
            return {};
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return fd;
}

} // namespace

// XDG_CONFIG_HOME, else HOME, else the account's home folder in the password database; each
// only when absolute. Without any there is no settings file (""): the store reads nothing and a
// save fails, rather than settings landing in whatever folder the program was started in.
std::string ProfilePath(const std::string& company, const std::string& application) {
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
        base = std::string(home) + "/.config";
    } else {
        long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
        std::string buffer(size > 0 ? static_cast<size_t>(size) : 16384, '\0');
        passwd entry{};
        passwd* found = nullptr;
        if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
            found->pw_dir && found->pw_dir[0] == '/') {
            base = std::string(found->pw_dir) + "/.config";
        } else {
            Diagnose("Quillmere: no home folder (HOME is not set and the password database names "
                     "none for this account): the settings are neither read nor saved");
            return {};
        }
    }
    return base + "/" + company + "/" + application + ".conf";
}

IniProfileStore::IniProfileStore(std::string path, std::chrono::milliseconds lockWait,
                                 std::function<void()> merged)
    : m_path(std::move(path)), m_lockWait(lockWait), m_merged(std::move(merged)) {}

void IniProfileStore::LoadOnce() {
    if (m_loaded)
        return;
    m_loaded = true;
    std::string text;
    bool exists = false;
    ReadWholeFile(m_path, text, exists); // says why it failed; what it read is still used
    m_doc = ParseIni(text);
}

std::optional<std::string> IniProfileStore::Read(const std::string& section,
                                                 const std::string& entry) {
    std::lock_guard lock(m_mutex);
    LoadOnce();
    if (const std::string* v = m_doc.Find(section, entry))
        return *v;
    return std::nullopt;
}

void IniProfileStore::Write(const std::string& section, const std::string& entry,
                            const std::string& value) {
    std::lock_guard lock(m_mutex);
    LoadOnce();
    m_doc.Set(section, entry, value);
    m_pending.Set(section, entry, value);
    m_erased.Erase(section, entry);
}

void IniProfileStore::Erase(const std::string& section, const std::string& entry) {
    std::lock_guard lock(m_mutex);
    LoadOnce();
    m_doc.Erase(section, entry);
    m_pending.Erase(section, entry);
    m_erased.Set(section, entry, {});
}

void IniProfileStore::TakeBack(const std::string& section, const std::string& entry,
                               const std::optional<std::string>& before) {
    std::lock_guard lock(m_mutex);
    LoadOnce();
    if (before)
        m_doc.Set(section, entry, *before);
    else
        m_doc.Erase(section, entry);
    m_pending.Erase(section, entry);
    m_erased.Erase(section, entry);
}

bool IniProfileStore::Flush() {
    std::lock_guard lock(m_mutex);
    LoadOnce();
    if (m_path.empty()) { // no home folder: nowhere to save, and never the current folder
        Diagnose("Quillmere: not saving the settings: there is no settings file");
        return false;
    }
    const UniqueFd saving = LockForSaving(m_path, m_lockWait);
    if (!saving)
        return false;
    // Start from the file as it is now, so that groups edited by hand and what other copies
    // saved meanwhile survive: only what this copy staged is merged in.
    std::string text;
    bool exists = false;
    if (!ReadWholeFile(m_path, text, exists)) {
        // Writing now would lose what it holds.
        DiagnoseFormat("Quillmere: not saving %s: it cannot be read", m_path.c_str());
        return false;
    }
    IniDocument merged = ParseIni(text);
    for (const auto& s : m_pending.sections)
        for (const auto& e : s.entries)
            merged.Set(s.name, e.key, e.value);
    for (const auto& s : m_erased.sections)
        for (const auto& e : s.entries)
            merged.Erase(s.name, e.key);
    if (m_merged)
        m_merged();
    if (!ReplaceFileAtomically(m_path, FormatIni(merged)))
        return false;
    m_doc = std::move(merged);
    m_pending = {};
    m_erased = {};
    return true;
}

std::shared_ptr<IProfileStore> OpenUserProfileStore(const std::string& company,
                                                    const std::string& application) {
    return std::make_shared<IniProfileStore>(ProfilePath(company, application));
}
