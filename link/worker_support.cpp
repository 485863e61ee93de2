#include "link/worker_support.h"

#include "platform/cancel_token.h"

#include <cstdio>

void FailStep(int code, const ISerialPort& port, const CancelToken& cancel) {
    if (cancel.IsCancelled())
        throw WorkerCancelled{};
    std::fprintf(stderr, "Quillmere: serial step %d failed: %s\n", code, port.LastError().c_str());
    throw StepFailed{code};
}

namespace {

class CancelGate final : public ISerialPort {
public:
    CancelGate(std::unique_ptr<ISerialPort> port, std::shared_ptr<CancelToken> cancel)
        : m_port(std::move(port)), m_cancel(std::move(cancel)) {}

    bool GetCommState(DCB& dcb) override { return Open() && m_port->GetCommState(dcb); }
    bool SetCommState(const DCB& dcb) override { return Open() && m_port->SetCommState(dcb); }
    bool SetCommTimeouts(const COMMTIMEOUTS& timeouts) override {
        return Open() && m_port->SetCommTimeouts(timeouts);
    }
    bool SetCommMask(DWORD mask) override { return Open() && m_port->SetCommMask(mask); }
    bool WaitCommEvent(DWORD& eventMask) override {
        eventMask = 0;
        return Open() && m_port->WaitCommEvent(eventMask);
    }
    bool GetCommModemStatus(DWORD& modemStatus) override {
        modemStatus = 0;
        return Open() && m_port->GetCommModemStatus(modemStatus);
    }
    bool WriteFile(const void* buffer, DWORD count, DWORD& written) override {
        written = 0;
        return Open() && m_port->WriteFile(buffer, count, written);
    }
    bool ReadFile(void* buffer, DWORD count, DWORD& read) override {
        read = 0;
        return Open() && m_port->ReadFile(buffer, count, read);
    }
    bool PurgeComm(DWORD flags) override { return Open() && m_port->PurgeComm(flags); }
    std::string LastError() const override {
        return m_cancel->IsCancelled() ? "cancelled" : m_port->LastError();
    }

private:
    bool Open() const { return !m_cancel->IsCancelled(); }

    std::unique_ptr<ISerialPort> m_port;
    std::shared_ptr<CancelToken> m_cancel;
};

} // namespace

std::unique_ptr<ISerialPort> StopAtCancel(std::unique_ptr<ISerialPort> port,
                                          std::shared_ptr<CancelToken> cancel) {
    if (!port || !cancel)
        return port;
    return std::make_unique<CancelGate>(std::move(port), std::move(cancel));
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
