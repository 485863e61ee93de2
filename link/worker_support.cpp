#include "link/worker_support.h"

#include "platform/cancel_token.h"
#include "platform/diagnostics.h"

#include <cstdio>

void FailStep(int code, const ISerialPort& port, const CancelToken& cancel) {
    if (cancel.IsCancelled())
        throw WorkerCancelled{};
    DiagnoseFormat("Quillmere: serial step %d failed: %s", code, port.LastError().c_str());
    throw StepFailed{code};
}

namespace {

class CancelGate final : public ISerialPort {
public:
    CancelGate(std::unique_ptr<ISerialPort> port, std::shared_ptr<CancelToken> cancel)
        : m_port(std::move(port)), m_cancel(std::move(cancel)) {}

    bool SetLine(const LineSettings& line) override { return Open() && m_port->SetLine(line); }
    bool ReadCts(bool& on) override {
        on = false;
        return Open() && m_port->ReadCts(on);
    }
    bool WaitForCts(bool on, Timeout timeout) override {
        return Open() && m_port->WaitForCts(on, timeout);
    }
    bool Write(std::span<const std::uint8_t> data, std::size_t& written, Timeout timeout) override {
        written = 0;
        return Open() && m_port->Write(data, written, timeout);
    }
    bool Read(std::span<std::uint8_t> buffer, std::size_t& got, Timeout timeout) override {
        got = 0;
        return Open() && m_port->Read(buffer, got, timeout);
    }
    bool Purge() override { return Open() && m_port->Purge(); }
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

std::string InternalErrorText(int code) {
    char text[40];
    std::snprintf(text, sizeof text, "Interner Fehler %d\n", code);
    return text;
}
