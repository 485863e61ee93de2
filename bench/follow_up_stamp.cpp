// The follow-up program of the dial benchmark: writes the moment its main() runs
// (CLOCK_MONOTONIC, ns) to the fifo named by its argument, and ends.
#include <cstdio>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

int main(int argc, char** argv) {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    if (argc < 2)
        return 2;
    // The benchmark holds the fifo open: this does not block.
    const int fd = ::open(argv[1], O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return 1;
    const int ok = ::dprintf(fd, "%lld\n", ts.tv_sec * 1000000000LL + ts.tv_nsec) > 0;
    ::close(fd);
    return ok ? 0 : 1;
}
