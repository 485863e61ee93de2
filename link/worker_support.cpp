#include "link/worker_support.h"

#include "platform/cancel_token.h"
#include "platform/win_thread.h"

#include <cstdio>

void RaiseWorkerError(int code, const ISerialPort* port) {
    auto token = CurrentCancelToken();
    if (token && token->IsCancelled())
        throw WorkerCancelled{};
    std::fprintf(stderr, "Quillmere: serial step %d failed: %s\n", code,
                 port ? port->LastError().c_str() : "");
    throw code;
}

void SetLineSettings(DCB& dcb, DWORD baudRate) {
    dcb.BaudRate = baudRate;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fOutxCtsFlow = false;
    dcb.fOutxDsrFlow = false;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fOutX = false;
    dcb.fInX = false;
    dcb.fNull = false;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
}

std::string InternalErrorText(int code) {
    char text[40];
    std::snprintf(text, sizeof text, "Interner Fehler %d\n", code);
    return text;
}
