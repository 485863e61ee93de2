// A serial call's outcome in a test's checks: compared with the status it should have, and shown
// with the system's words when it has another.
#pragma once

#include "link/serial_port.h"

#include <ostream>

inline bool operator==(const SerialResult& result, SerialStatus status) {
    return result.status == status;
}

inline void PrintTo(SerialStatus status, std::ostream* os) {
    static const char* const names[] = {"Ok", "TimedOut", "Cancelled", "Failed"};
    *os << names[static_cast<int>(status)];
}

inline void PrintTo(const SerialResult& result, std::ostream* os) {
    PrintTo(result.status, os);
    if (!result.error.empty())
        *os << " (" << result.error << ")";
}
