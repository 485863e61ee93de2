/* The far end of the serial tests in the role of the optical-link transceiver: holds the master
 * of a pseudo-terminal whose slave Wine sees as COM1.
 *
 *     transceiver_peer NAME_FILE LINES_FILE READY LOG_FILE
 *
 * It is on while LINES_FILE says "cts 1" (the tests' user switches it there). At 9600 baud it
 * echoes a configuration packet and takes the operating rate from it; at that rate it then
 * echoes READY single bytes and falls silent; once the port is closed (or the power switched)
 * it echoes whatever arrives at the operating rate: the link test's pattern. Bytes at any other
 * speed come back as garbage, as a receiver at the wrong speed sees them.
 *
 * A pty has no line time: the link test's 1 ms read sees the echo only if it is back before
 * the read starts. So this runs at real-time priority with its memory locked, and answers
 * before it writes its log. Writes the slave's path to NAME_FILE once ready; runs until killed.
 */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sched.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

enum phase { LINK, READINESS, SILENT };

struct transceiver {
    const char* lines_file;
    int ready;
    FILE* log;
    int rate;
    enum phase phase;
    int ready_left;
    unsigned char pending[8];
    size_t pending_len;
    int was_on;
};

static int powered(const char* lines_file) {
    FILE* f = fopen(lines_file, "r");
    if (!f)
        return 0;
    char key[32];
    long value;
    int on = 0;
    while (fscanf(f, "%31s %ld", key, &value) == 2)
        if (strcmp(key, "cts") == 0)
            on = value == 1;
    fclose(f);
    return on;
}

static int rate_for_code(unsigned char code) {
    switch (code) {
    case 0x8B:
        return 19200;
    case 0x89:
        return 38400;
    case 0x83:
        return 57600;
    case 0x81:
        return 115200;
    default:
        return 0;
    }
}

static int line_speed(int fd) {
    struct termios t;
    if (tcgetattr(fd, &t) != 0)
        return 0;
    switch (cfgetospeed(&t)) {
    case B1200:
        return 1200;
    case B9600:
        return 9600;
    case B19200:
        return 19200;
    case B38400:
        return 38400;
    case B57600:
        return 57600;
    case B115200:
        return 115200;
    default:
        return 0;
    }
}

/* What goes back for data that arrived at speed; its length. */
static size_t answer(struct transceiver* t, const unsigned char* data, size_t n, int speed,
                     unsigned char* out) {
    int on = powered(t->lines_file);
    if (on != t->was_on) {
        t->was_on = on;
        t->phase = LINK;
    }
    if (!on)
        return 0;
    if (speed == 9600) {
        /* The 8 bytes of a packet may come in more than one read. */
        size_t take = n < 8 - t->pending_len ? n : 8 - t->pending_len;
        memcpy(t->pending + t->pending_len, data, take);
        t->pending_len += take;
        if (t->pending_len < 8)
            return 0;
        t->pending_len = 0;
        const unsigned char* p = t->pending;
        if (p[0] == 0x0B && p[1] == 0x51 && rate_for_code(p[5])) {
            t->rate = rate_for_code(p[5]);
            t->ready_left = t->ready;
            t->phase = t->ready ? READINESS : SILENT;
            fprintf(t->log, "configured %d\n", t->rate);
        }
        memcpy(out, p, 8);
        return 8;
    }
    t->pending_len = 0;
    if (speed != t->rate) {
        for (size_t i = 0; i < n; ++i)
            out[i] = data[i] < 0x80 ? 0xFF : 0x00;
        return n;
    }
    if (t->phase == SILENT)
        return 0;
    if (t->phase == READINESS) {
        size_t k = n < (size_t)t->ready_left ? n : (size_t)t->ready_left;
        t->ready_left -= (int)k;
        if (t->ready_left == 0)
            t->phase = SILENT;
        memcpy(out, data, k);
        return k;
    }
    memcpy(out, data, n);
    return n;
}

static void write_all(int fd, const unsigned char* data, size_t n) {
    while (n > 0) {
        ssize_t w = write(fd, data, n);
        if (w < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return; /* the slave went away: the program sees no echo, as with a real line */
        }
        data += w;
        n -= (size_t)w;
    }
}

/* One fwrite for a whole chunk: the next echo waits while this runs. */
static void log_hex(FILE* log, const unsigned char* data, size_t n) {
    static const char digits[] = "0123456789abcdef";
    static char text[3 * 4096];
    size_t len = 0;
    for (size_t i = 0; i < n; ++i) {
        if (i)
            text[len++] = ' ';
        text[len++] = digits[data[i] >> 4];
        text[len++] = digits[data[i] & 15];
    }
    fwrite(text, 1, len, log);
}

static void pause_ms(long ms) {
    struct timespec ts = {0, ms * 1000000L};
    nanosleep(&ts, NULL);
}

int main(int argc, char** argv) {
    if (argc != 5) {
        fprintf(stderr, "usage: %s NAME_FILE LINES_FILE READY LOG_FILE\n", argv[0]);
        return 2;
    }
    const char* name_file = argv[1];
    struct transceiver t = {argv[2], atoi(argv[3]), NULL, 115200, LINK, 0, {0}, 0, 0};
    t.log = fopen(argv[4], "a");
    if (!t.log) {
        perror(argv[4]);
        return 1;
    }
    setvbuf(t.log, NULL, _IOLBF, 0);
    t.was_on = powered(t.lines_file);

    /* Refused without the privilege: the peer still works, only less far ahead of a busy
     * machine. */
    struct sched_param sp = {.sched_priority = 10};
    if (sched_setscheduler(0, SCHED_FIFO, &sp) != 0)
        fprintf(stderr, "transceiver_peer: no real-time priority: %s\n", strerror(errno));
    if (mlockall(MCL_CURRENT | MCL_FUTURE) != 0)
        fprintf(stderr, "transceiver_peer: memory not locked: %s\n", strerror(errno));

    int master, slave;
    char name[256];
    if (openpty(&master, &slave, name, NULL, NULL) != 0) {
        perror("openpty");
        return 1;
    }
    /* Nothing may happen to the bytes on the way: the program's own line settings should see
     * to that too, but the peer must not depend on them. */
    struct termios attrs;
    tcgetattr(slave, &attrs);
    attrs.c_iflag = 0;
    attrs.c_oflag = 0;
    attrs.c_lflag = 0;
    tcsetattr(slave, TCSANOW, &attrs);
    close(slave); /* from now on only the program opens it; its close reads as a hang-up */

    char tmp[4096];
    snprintf(tmp, sizeof tmp, "%s.tmp", name_file);
    FILE* f = fopen(tmp, "w");
    if (!f || fprintf(f, "%s\n", name) < 0 || fclose(f) != 0 || rename(tmp, name_file) != 0) {
        perror(name_file);
        return 1;
    }

    int hung_up = 1;
    static unsigned char data[4096], out[4096];
    for (;;) {
        struct pollfd p = {master, POLLIN, 0};
        int ready = poll(&p, 1, 50);
        if (ready <= 0)
            continue;
        ssize_t n = read(master, data, sizeof data);
        if (n <= 0) {
            /* No slave open: the program has closed the port (or not opened it yet). */
            if (!hung_up) {
                t.phase = LINK;
                t.pending_len = 0;
                fprintf(t.log, "close\n");
            }
            hung_up = 1;
            /* Without a slave the master polls as hung up at once: a pause, not a wait for
             * anything, so that this loop does not spin. */
            pause_ms(2);
            continue;
        }
        if (hung_up) {
            hung_up = 0;
            fprintf(t.log, "open\n");
        }
        int speed = line_speed(master);
        size_t m = answer(&t, data, (size_t)n, speed, out);
        write_all(master, out, m);
        fprintf(t.log, "rx %d ", speed);
        log_hex(t.log, data, (size_t)n);
        fprintf(t.log, " -> ");
        log_hex(t.log, out, m);
        fprintf(t.log, "\n");
    }
}
