/* Preloaded into Wine for the serial tests: gives pseudo-terminal slaves the modem lines and
 * the output queue a real port has. A pty answers TIOCMGET with ENOTTY, so Wine's
 * GetCommModemStatus and WaitCommEvent(EV_CTS) fail on it; here they read the file named by
 * QM_SERIAL_LINES instead, which the tests replace by rename:
 *
 *     cts 1
 *     outq 0
 *
 * "cts" is the CTS input, "outq" the bytes TIOCOUTQ reports as still to be sent. Without the
 * file (or a line) the device answers for itself. Setting lines on a pty succeeds and does
 * nothing. Every other descriptor and request goes straight to the system.
 *
 * The first answer a process gets is noted in the file QM_SERIAL_SHIM_LOG names, with the
 * process's command line: so the tests see that the shim sits in the process that opened the
 * port, not only somewhere in Wine. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

typedef int (*ioctl_fn)(int, unsigned long, ...);

/* Unix98 pty slaves: majors 136 to 143. */
static int is_pty_slave(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return 0;
    return major(st.st_rdev) >= 136 && major(st.st_rdev) <= 143;
}

/* The value of one line of the file; 0 when found. */
static int read_setting(const char* name, long* value) {
    const char* path = getenv("QM_SERIAL_LINES");
    if (!path || !*path)
        return -1;
    FILE* f = fopen(path, "r");
    if (!f)
        return -1;
    char key[32];
    long v;
    int found = -1;
    while (fscanf(f, "%31s %ld", key, &v) == 2)
        if (strcmp(key, name) == 0) {
            *value = v;
            found = 0;
        }
    fclose(f);
    return found;
}

static void note_answer(void) {
    static int noted;
    const char* path = getenv("QM_SERIAL_SHIM_LOG");
    if (noted || !path || !*path)
        return;
    noted = 1;
    char cmdline[512] = {0};
    FILE* self = fopen("/proc/self/cmdline", "r");
    if (self) {
        size_t n = fread(cmdline, 1, sizeof cmdline - 1, self);
        fclose(self);
        for (size_t i = 0; i < n; ++i)
            if (cmdline[i] == 0)
                cmdline[i] = ' ';
    }
    FILE* log = fopen(path, "a");
    if (log) {
        fprintf(log, "answered %d %s\n", (int)getpid(), cmdline);
        fclose(log);
    }
}

int ioctl(int fd, unsigned long request, ...) {
    static ioctl_fn next;
    if (!next)
        next = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);

    if (request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS || request == TIOCMBIC ||
        request == TIOCOUTQ) {
        if (is_pty_slave(fd)) {
            long value = 0;
            switch (request) {
            case TIOCMGET:
                if (read_setting("cts", &value) == 0) {
                    note_answer();
                    *(int*)arg = TIOCM_DSR | TIOCM_CD | (value ? TIOCM_CTS : 0);
                    return 0;
                }
                break;
            case TIOCOUTQ:
                if (read_setting("outq", &value) == 0) {
                    *(int*)arg = (int)value;
                    return 0;
                }
                break;
            default: /* the pty has no outputs to switch */
                return 0;
            }
        }
    }
    return next(fd, request, arg);
}
