// What both workers share: raising a failed step's code, the line set-up, and ending quietly
// when a wait was woken by the cancel.
#pragma once

#include "link/serial_port.h"

#include <string>

// A failing serial step: its code, unless the failure came from the worker's cancel, which
// ends the worker quietly (WorkerCancelled) instead.
[[noreturn]] void RaiseWorkerError(int code, const ISerialPort* port);

inline void Check(bool ok, int code, const ISerialPort& port) {
    if (!ok)
        RaiseWorkerError(code, &port);
}

// Eight data bits, no parity, one stop bit, no flow control of any kind, DTR and RTS off.
void SetLineSettings(DCB& dcb, DWORD baudRate);

// "Interner Fehler 20\n"
std::string InternalErrorText(int code);
