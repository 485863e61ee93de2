#include "link/worker_support.h"

#include "platform/cancel_token.h"
#include "platform/diagnostics.h"

#include <cstdio>

namespace {

[[noreturn]] void FailStep(int code, const std::string& error) {
    DiagnoseFormat("Quillmere: serial step %d failed: %s", code, error.c_str());
    throw StepFailed{code};
}

} // namespace

void Check(const SerialResult& result, StepCode code) {
    switch (result.status) {
    case SerialStatus::Ok:
    case SerialStatus::TimedOut:
        return;
    case SerialStatus::Cancelled:
        throw WorkerCancelled{};
    case SerialStatus::Failed:
        FailStep(Number(code), result.error);
    }
}

void CheckWhole(std::size_t written, std::size_t size, StepCode code) {
    if (written < size)
        FailStep(Number(code), "Write: " + std::to_string(written) + " of " + std::to_string(size) +
                                   " bytes taken");
}

namespace {

class CancelGate final : public ISerialPort {
public:
    CancelGate(std::unique_ptr<ISerialPort> port, std::shared_ptr<CancelToken> cancel)
        : m_port(std::move(port)), m_cancel(std::move(cancel)) {}

    SerialResult SetLine(const LineSettings& line) override {
        return Pass([&] { return m_port->SetLine(line); });
    }
    SerialResult ReadCts(bool& on) override {
        on = false;
        return Pass([&] { return m_port->ReadCts(on); });
    }
    SerialResult WaitForCts(bool on, Timeout timeout) override {
        return Pass([&] { return m_port->WaitForCts(on, timeout); });
    }
    SerialResult Write(std::span<const std::uint8_t> data, std::size_t& written,
                       Timeout timeout) override {
        written = 0;
        return Pass([&] { return m_port->Write(data, written, timeout); });
    }
    SerialResult Read(std::span<std::uint8_t> buffer, std::size_t& got, Timeout timeout) override {
        got = 0;
        return Pass([&] { return m_port->Read(buffer, got, timeout); });
    }
    SerialResult Purge() override {
        return Pass([&] { return m_port->Purge(); });
    }

private:
    template <typename Call> SerialResult Pass(const Call& call) {
        if (m_cancel->IsCancelled())
            return SerialResult::Cancelled();
        SerialResult result = call();
        if (result.status == SerialStatus::Failed && m_cancel->IsCancelled())
            return SerialResult::Cancelled();
        return result;
    }

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
