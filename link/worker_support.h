// What both workers share: raising a failed step's code, the port that stops at the cancel, and
// ending quietly when a wait was woken by the cancel.
#pragma once

#include "link/serial_port.h"

#include <memory>
#include <string>

class CancelToken;

// A serial step of a job failed; code is its number in "Interner Fehler".
struct StepFailed {
    int code;
};

// A failing serial step: StepFailed with its code, unless the failure came from the job's
// cancel, which ends the job quietly (WorkerCancelled) instead.
[[noreturn]] void FailStep(int code, const ISerialPort& port, const CancelToken& cancel);

inline void Check(bool ok, int code, const ISerialPort& port, const CancelToken& cancel) {
    if (!ok)
        FailStep(code, port, cancel);
}

// The port as a worker holds it. Once the worker is cancelled every further call fails without
// reaching the port: a call that does not wait (line settings, modem status, purge) would
// otherwise still go out between the click and the worker's next wait.
std::unique_ptr<ISerialPort> StopAtCancel(std::unique_ptr<ISerialPort> port,
                                          std::shared_ptr<CancelToken> cancel);

// "Interner Fehler 20\n"
std::string InternalErrorText(int code);
