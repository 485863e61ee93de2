// Preloaded into the program under test: a pseudo-terminal has no modem lines, so TIOCMGET on one
// answers "all lines off" instead of failing, as a serial port with the transceiver off does.
// With QM_SERIAL_LINES naming a file, its line "cts 1" turns CTS on: the test is the user who
// switches the transceiver on, and replaces the file by rename to do so.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <sys/ioctl.h>

namespace {

bool CtsOn() {
    const char* path = std::getenv("QM_SERIAL_LINES");
    FILE* f = path && *path ? std::fopen(path, "r") : nullptr;
    if (!f)
        return false;
    char key[32];
    long value = 0;
    bool on = false;
    while (std::fscanf(f, "%31s %ld", key, &value) == 2)
        if (std::strcmp(key, "cts") == 0)
            on = value == 1;
    std::fclose(f);
    return on;
}

} // namespace

extern "C" int ioctl(int fd, unsigned long request, ...) {
    va_list args;
    va_start(args, request);
    void* argument = va_arg(args, void*);
    va_end(args);
    using Ioctl = int (*)(int, unsigned long, void*);
    static const auto real = reinterpret_cast<Ioctl>(::dlsym(RTLD_NEXT, "ioctl"));
    const int result = real(fd, request, argument);
    if (result != 0 && request == TIOCMGET && (errno == ENOTTY || errno == EINVAL)) {
        *static_cast<int*>(argument) = CtsOn() ? TIOCM_CTS | TIOCM_DSR | TIOCM_CD : 0;
        return 0;
    }
    return result;
}
