// What both workers share: raising a failed step's code, the port that stops at the cancel, and
// ending quietly when a wait was woken by the cancel.
#pragma once

#include "link/serial_port.h"

#include <memory>
#include <string>

class CancelToken;

// A failing serial step: its code, unless the failure came from the worker's cancel, which
// ends the worker quietly (WorkerCancelled) instead.
[[noreturn]] void RaiseWorkerError(int code, const ISerialPort* port);

inline void Check(bool ok, int code, const ISerialPort& port) {
    if (!ok)
        RaiseWorkerError(code, &port);
}

// The port as a worker holds it. Once the worker is cancelled every further call fails without
// reaching the port: a call that does not wait (line settings, modem status, purge) would
// otherwise still go out between the click and the worker's next wait.
std::unique_ptr<ISerialPort> StopAtCancel(std::unique_ptr<ISerialPort> port,
                                          std::shared_ptr<CancelToken> cancel);

// "Interner Fehler 20\n"
std::string InternalErrorText(int code);
