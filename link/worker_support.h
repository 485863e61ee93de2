// What both workers share: ending a job at a serial step that did not go through, the port that
// stops at the cancel, and the text of an internal error.
#pragma once

#include "link/serial_port.h"
#include "link/step_codes.h"

#include <cstddef>
#include <memory>
#include <string>

class CancelToken;

// A serial step of a job failed; code is its number in "Interner Fehler".
struct StepFailed {
    int code;
};

// Ends the job unless the step went through: quietly on a cancel (WorkerCancelled), with the
// step's code on a failure (StepFailed). A time-out is the step's own to judge.
void Check(const SerialResult& result, StepCode code);

// For a write that must hand over every byte: a short count fails the step too.
void CheckWhole(std::size_t written, std::size_t size, StepCode code);

// The port as a worker holds it. Once the worker is cancelled every further call ends as
// Cancelled without reaching the port: a call that does not wait (line settings, modem status,
// purge) would otherwise still go out between the click and the worker's next wait. A failure
// that comes after the cancel is the cancel's too: the job has been stopped already.
std::unique_ptr<ISerialPort> StopAtCancel(std::unique_ptr<ISerialPort> port,
                                          std::shared_ptr<CancelToken> cancel);

// "Interner Fehler 20\n"
std::string InternalErrorText(int code);
