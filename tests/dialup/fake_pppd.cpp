// A stand-in for pppd in tests: started as BASE/bin/pppd, it takes "call NAME updetach linkname
// NAME", reads what to do from BASE/peers/NAME and keeps its pid file in BASE/run, as pppd keeps
// /var/run/ppp-NAME.pid. Lines of the peer file:
//   delay MS   wait that long before the link is "up" (SIGTERM meanwhile: exit 5, as pppd)
//   exit N     end with status N instead of bringing the link up
//   stop MS    once up, take that long to end after SIGTERM
// Every start appends its arguments to BASE/argv.log, one per line, then "pid N" and "--".
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {
std::string g_pidFile;
volatile std::sig_atomic_t g_stopping = 0;

void OnTermAfterDetach(int) {
    g_stopping = 1;
}
void OnTermWhileDialling(int) {
    ::_exit(5);
}
} // namespace

int main(int argc, char** argv) {
    std::string self = argv[0];
    const std::string base = self.substr(0, self.rfind("/bin/pppd"));
    {
        std::ofstream log(base + "/argv.log", std::ios::app);
        for (int i = 0; i < argc; ++i)
            log << argv[i] << "\n";
        log << "pid " << ::getpid() << "\n--\n";
    }
    if (argc != 6 || std::string(argv[1]) != "call" || std::string(argv[3]) != "updetach" ||
        std::string(argv[4]) != "linkname")
        return 2;
    const std::string link = argv[5];
    g_pidFile = base + "/run/ppp-" + link + ".pid";

    int delayMs = 0, status = 0, stopMs = 0;
    std::ifstream peer(base + "/peers/" + std::string(argv[2]));
    if (!peer)
        return 2;
    std::string word;
    while (peer >> word) {
        if (word == "delay")
            peer >> delayMs;
        else if (word == "exit")
            peer >> status;
        else if (word == "stop")
            peer >> stopMs;
    }
    std::signal(SIGTERM, OnTermWhileDialling);
    std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
    if (status != 0)
        return status;

    // updetach: the daemon carries on, the started process ends with 0 once the link is up.
    const pid_t daemon = ::fork();
    if (daemon < 0)
        return 1;
    if (daemon == 0) {
        sigset_t term, others;
        sigemptyset(&term);
        sigaddset(&term, SIGTERM);
        sigprocmask(SIG_BLOCK, &term, &others); // no SIGTERM between the check and the wait
        std::signal(SIGTERM, OnTermAfterDetach);
        ::setsid();
        const std::string tmp = g_pidFile + ".tmp";
        std::FILE* f = std::fopen(tmp.c_str(), "w");
        std::fprintf(f, "%d\nppp0\n", static_cast<int>(::getpid()));
        std::fclose(f);
        std::rename(tmp.c_str(), g_pidFile.c_str());
        while (!g_stopping)
            sigsuspend(&others);
        std::this_thread::sleep_for(std::chrono::milliseconds(stopMs));
        ::unlink(g_pidFile.c_str());
        return 0;
    }
    struct stat st {};
    while (::stat(g_pidFile.c_str(), &st) != 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return 0;
}
