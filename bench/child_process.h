// Starting the real program (or another) as the benchmarks need it: a private settings folder,
// offscreen, an extra descriptor passed down, and its rusage when it has ended.
#pragma once

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace bench {

inline long long MonotonicNs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec * 1000000000LL + ts.tv_nsec;
}

// A folder of its own: settings (config/Talvenmark), a 0700 runtime folder, a lock folder.
class Sandbox {
public:
    Sandbox() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qm-bench-XXXXXX");
        dir = ::mkdtemp(pattern.data()) ? pattern : std::string();
        std::filesystem::create_directories(dir / "config" / "Talvenmark");
        std::filesystem::create_directories(dir / "run");
        std::filesystem::permissions(dir / "run", std::filesystem::perms::owner_all);
        std::filesystem::create_directories(dir / "lock");
    }
    ~Sandbox() {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    void WriteSettings(const std::string& text) const {
        std::ofstream(dir / "config" / "Talvenmark" / "Quillmere.conf") << text;
    }
    std::string Path(const std::string& name) const { return (dir / name).string(); }

    std::map<std::string, std::string> Environment() const {
        std::map<std::string, std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string kv = *e;
            const auto eq = kv.find('=');
            env[kv.substr(0, eq)] = eq == std::string::npos ? "" : kv.substr(eq + 1);
        }
        env["XDG_CONFIG_HOME"] = (dir / "config").string();
        env["XDG_STATE_HOME"] = (dir / "state").string();
        env["XDG_RUNTIME_DIR"] = (dir / "run").string();
        env["QUILLMERE_LOCK_DIR"] = (dir / "lock").string();
        env["QT_QPA_PLATFORM"] = "offscreen";
        env.erase("QUILLMERE_TRACE");
        return env;
    }

    std::filesystem::path dir;
};

struct Child {
    pid_t pid = -1;
    long long startNs = 0; // just before the spawn
};

// Starts program with env; `give` maps descriptors of ours to numbers in the child
// (e.g. a pipe's write end to 3, or to 2 for standard error). Standard input, and standard
// error unless given, are /dev/null.
inline Child Spawn(const std::string& program, const std::vector<std::string>& args,
                   const std::map<std::string, std::string>& env,
                   const std::map<int, int>& give = {}) {
    std::vector<std::string> envStrings;
    for (const auto& [k, v] : env)
        envStrings.push_back(k + "=" + v);
    std::vector<char*> envp;
    for (auto& s : envStrings)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    std::vector<std::string> argStrings{program};
    argStrings.insert(argStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argStrings)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (std::none_of(give.begin(), give.end(), [](const auto& g) { return g.second == 2; }))
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    for (const auto& [ours, theirs] : give)
        posix_spawn_file_actions_adddup2(&actions, ours, theirs);
    Child child;
    child.startNs = MonotonicNs();
    if (posix_spawn(&child.pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
        child.pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return child;
}

struct Ended {
    int status = 0;
    long maxRssKb = 0;
    long long endNs = 0;
};

inline Ended Reap(const Child& child) {
    Ended e;
    rusage usage{};
    while (::wait4(child.pid, &e.status, 0, &usage) < 0 && errno == EINTR) {
    }
    e.endNs = MonotonicNs();
    e.maxRssKb = usage.ru_maxrss;
    return e;
}

} // namespace bench
