// The serial port on a POSIX tty.
//
// How it works: the port is one non-blocking descriptor. Every blocking call is a loop around
// poll() on that descriptor and the worker's cancel descriptor, with one deadline per call, so
// a cancel wakes any wait at once and the call ends as Cancelled. termios is set raw with
// VMIN = VTIME = 0; the read time-outs are ours. A write returns once the driver's output
// queue is empty (TIOCOUTQ polled every few milliseconds, since tcdrain() cannot be woken).
// CTS is watched by reading the modem lines every few milliseconds: TIOCMIWAIT cannot be
// cancelled and many USB adapters lack it; the level is what counts.
//
// Exclusive open, in this order, anything failing undoing what was taken. Before open(), since
// opening a serial port already raises DTR: the device must be a character device and neither
// the console nor a pseudo-terminal master, and the UUCP lock file that pppd and terminal
// programs honour is taken (named after the resolved device, so that a /dev/serial/by-id/ link
// and its target lock the same port). Then open(), a check that it is a terminal that no other
// process has open (for programs that take no lock) and nobody holds exclusively, flock()
// before any termios change (TIOCEXCL alone does not hold back root), and TIOCEXCL.
#pragma once

#include "link/port_ownership_posix.h"
#include "link/serial_port.h"

#include <functional>
#include <memory>
#include <string>

// Where the open looks and what it asks the device.
struct PosixPortEnvironment : PortOwnershipEnvironment {
    // TIOCMGET. Returns 0 or an errno; a pseudo-terminal answers ENOTTY.
    std::function<int(int fd, int& lines)> readModemLines;
    // TIOCOUTQ: bytes still waiting to be sent. Returns 0 or an errno.
    std::function<int(int fd, int& queued)> readOutputQueue;
};

// lockDir from $QUILLMERE_LOCK_DIR, else /var/lock; the ioctls themselves.
PosixPortEnvironment DefaultPosixPortEnvironment();

// Opens device exclusively. On failure the result has no port and a reason in the system's
// words: absent, busy (by which process when a lock file tells), not permitted (and the
// device's group), the system console. cancel may be null: then nothing wakes a wait but its
// own end.
OpenResult OpenPosixSerialPort(const std::string& device, std::shared_ptr<CancelToken> cancel,
                               const PosixPortEnvironment& env = DefaultPosixPortEnvironment());
