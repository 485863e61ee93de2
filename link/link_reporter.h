// What a job on the transceiver link tells whoever started it. Called on the job's thread; the
// receiver gets each report to its own thread and may end the job there (WorkerCancelled) once
// it has been cancelled.
#pragma once

#include "link/serial_port.h"

#include <cstdint>
#include <string>

class ILinkReporter {
public:
    virtual ~ILinkReporter() = default;
    virtual void Status(const std::string& text) = 0;
    // Detail beside the status line: why a port is not available.
    virtual void StatusDetail(const PortRefusal& why) = 0;
    // The job holds the port (true) or has let it go (false).
    virtual void PortOpen(bool open) = 0;
    // Words that came back in the last link-test cycle, and when it ended, counted from the
    // test's start.
    virtual void Progress(std::uint32_t elapsedMs, int matches) = 0;
    // The automatic link test found the link bad: from now on it runs as by hand, with this
    // warning shown. Both happen in one step of the receiver.
    virtual void LeaveAutomaticMode(const std::string& warning) = 0;
    // The job's end step, with the port closed; not called after InternalError or a cancel.
    virtual void Finished(bool success) = 0;
    // A serial step failed in a way the job cannot handle; its port is closed already.
    virtual void InternalError(int code) = 0;
};

// The port a job works on: its name as the user knows it and what stands behind it.
struct LinkPort {
    std::string name;  // "COM1"
    std::string value; // a device path, "sim:..." or "" for none
};
