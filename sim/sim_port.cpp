#include "sim/sim_port.h"

#include "platform/cancel_token.h"
#include "platform/clock.h"
#include "sim/transceiver.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <span>

namespace {

// What a typical UART driver buffers; the link test needs 1024. Bytes beyond it are lost.
constexpr std::size_t kReceiveQueueSize = 4096;

class SimPort final : public ISerialPort {
public:
    SimPort(std::shared_ptr<Transceiver> transceiver, std::shared_ptr<CancelToken> cancel,
            IClock& clock)
        : m_transceiver(std::move(transceiver)), m_cancel(std::move(cancel)), m_clock(clock) {}
    ~SimPort() override { m_transceiver->Detach(); }
    SimPort(const SimPort&) = delete;
    SimPort& operator=(const SimPort&) = delete;

    bool GetCommState(DCB& dcb) override {
        if (Gone())
            return false;
        dcb = m_transceiver->LineSettings();
        return true;
    }

    bool SetCommState(const DCB& dcb) override {
        if (Gone())
            return false;
        if (dcb.BaudRate == 0)
            return Fail("invalid baud rate 0");
        m_transceiver->SetLineSettings(dcb);
        return true;
    }

    bool SetCommTimeouts(const COMMTIMEOUTS& timeouts) override {
        if (Gone())
            return false;
        m_timeouts = timeouts;
        return true;
    }

    bool SetCommMask(DWORD mask) override {
        if (Gone())
            return false;
        m_mask = mask;
        return true;
    }

    bool WaitCommEvent(DWORD& eventMask) override {
        eventMask = 0;
        if (Gone())
            return false;
        if (m_cancel->IsCancelled())
            return Fail("cancelled");
        // Without EV_CTS in the mask no event can come: wait like the real port would.
        if ((m_mask & EV_CTS) == 0) {
            m_cancel->Wait([] { return false; });
            return Fail("cancelled");
        }
        const bool switched = m_transceiver->WaitForSwitch(*m_cancel, m_clock);
        if (Gone())
            return false;
        if (!switched)
            return Fail("cancelled");
        eventMask = EV_CTS;
        return true;
    }

    bool GetCommModemStatus(DWORD& modemStatus) override {
        modemStatus = 0;
        if (Gone())
            return false;
        modemStatus = m_transceiver->PowerOn() ? MS_CTS_ON : 0;
        return true;
    }

    bool WriteFile(const void* buffer, DWORD count, DWORD& written) override {
        written = 0;
        if (Gone())
            return false;
        if (m_cancel->IsCancelled())
            return Fail("cancelled");
        if (count == 0)
            return true;
        const std::span<const BYTE> bytes(static_cast<const BYTE*>(buffer), count);
        m_transceiver->Log("tx " + HexBytes(bytes));
        if (m_transceiver->Options().timing == SimTiming::Real) {
            const DWORD ms = LineTime(count, m_transceiver->LineSettings().BaudRate);
            if (ms > 0 && !m_clock.Sleep(ms, m_cancel.get()))
                return Fail("cancelled");
            if (Gone())
                return false;
            m_lineWriterBack = m_clock.Now();
        }
        // The echo arrives while the bytes are on the line, so it is there when the write ends.
        for (BYTE b : m_transceiver->Transmit(bytes)) {
            if (m_rx.size() < kReceiveQueueSize)
                m_rx.push_back(b);
        }
        written = count;
        return true;
    }

    bool ReadFile(void* buffer, DWORD count, DWORD& read) override {
        read = 0;
        if (Gone())
            return false;
        if (m_cancel->IsCancelled())
            return Fail("cancelled");
        if (count == 0)
            return true;
        // Nothing else arrives while we wait; a short queue means the full time-out passes.
        const DWORD timeout = m_timeouts.ReadTotalTimeoutConstant;
        if (m_rx.size() < count && timeout > 0 && !m_clock.Sleep(timeout, m_cancel.get()))
            return Fail("cancelled");
        if (Gone())
            return false;
        const std::size_t n = std::min<std::size_t>(count, m_rx.size());
        std::copy_n(m_rx.begin(), n, static_cast<BYTE*>(buffer));
        m_rx.erase(m_rx.begin(), m_rx.begin() + static_cast<std::ptrdiff_t>(n));
        read = static_cast<DWORD>(n);
        if (n > 0)
            m_transceiver->Log("rx " + HexBytes({static_cast<const BYTE*>(buffer), n}));
        return true;
    }

    bool PurgeComm(DWORD flags) override {
        if (Gone())
            return false;
        if (flags & PURGE_RXCLEAR)
            m_rx.clear();
        m_transceiver->Purge();
        return true;
    }

    std::string LastError() const override { return m_lastError; }

private:
    // A pulled adapter: the system answers every call with EIO.
    bool Gone() {
        if (!m_transceiver->Vanished())
            return false;
        m_lastError = std::strerror(EIO);
        return true;
    }

    bool Fail(std::string why) {
        m_lastError = std::move(why);
        return false;
    }

    // 10 bit times per byte (start, 8 data, stop), as a schedule of the line: a write starts
    // when the line is free, and the writer sleeps until its last bit is out. Fractions of a
    // millisecond are carried to the next write, so 64 writes of 16 bytes take as long as one
    // of 1024; a sleep that overruns (ours, not the program's) shortens the next one instead of
    // adding up over the 64 writes of a link-test cycle. A write that comes within the clock's
    // millisecond after the last one returned continues the schedule (a UART's transmit FIFO
    // bridges as much); after a longer pause of the program it starts anew. Returns the time
    // to sleep.
    DWORD LineTime(DWORD count, DWORD baud) {
        const DWORD now = m_clock.Now();
        // Signed difference: right across the wrap of the millisecond counter.
        if (baud != m_lineBaud || static_cast<std::int32_t>(now - m_lineWriterBack) > 1) {
            m_lineBaud = baud;
            m_lineFreeAt = now;
            m_lineFraction = 0;
        }
        const std::uint64_t total = m_lineFraction + std::uint64_t{count} * 10 * 1000;
        m_lineFreeAt += static_cast<DWORD>(total / baud);
        m_lineFraction = total % baud;
        const auto left = static_cast<std::int32_t>(m_lineFreeAt - now);
        return left > 0 ? static_cast<DWORD>(left) : 0;
    }

    const std::shared_ptr<Transceiver> m_transceiver;
    const std::shared_ptr<CancelToken> m_cancel;
    IClock& m_clock;
    COMMTIMEOUTS m_timeouts;
    DWORD m_mask = 0;
    std::deque<BYTE> m_rx;
    DWORD m_lineBaud = 0;
    DWORD m_lineFreeAt = 0;           // the program's clock, ms
    std::uint64_t m_lineFraction = 0; // beyond m_lineFreeAt, in units of 1/baud ms
    DWORD m_lineWriterBack = 0;       // when the last write returned to the program
    std::string m_lastError;
};

struct Registry {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<Transceiver>, std::less<>> transceivers;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

} // namespace

OpenResult OpenSimulatedPort(const std::string& options, std::shared_ptr<CancelToken> cancel,
                             IClock& clock) {
    const std::string name = "sim:" + options;
    SimOptionsParse parsed = ParseSimOptions(options);
    if (!parsed.error.empty())
        return {nullptr, name + ": " + parsed.error};

    std::shared_ptr<Transceiver> transceiver;
    {
        Registry& registry = TheRegistry();
        std::lock_guard lock(registry.mutex);
        auto& slot = registry.transceivers[options];
        if (!slot) {
            TrafficLog log;
            std::string error;
            if (!log.Open(parsed.options.logPath, error)) {
                registry.transceivers.erase(options);
                return {nullptr, name + ": " + error};
            }
            slot = std::make_shared<Transceiver>(std::move(parsed.options), std::move(log));
        }
        transceiver = slot;
    }

    if (!cancel)
        cancel = std::make_shared<CancelToken>();
    if (!transceiver->Attach(cancel))
        return {nullptr, name + ": busy, the port is already open"};
    return {std::make_unique<SimPort>(std::move(transceiver), std::move(cancel), clock), {}};
}

std::shared_ptr<Transceiver> FindSimulatedTransceiver(const std::string& options) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    const auto it = registry.transceivers.find(options);
    return it == registry.transceivers.end() ? nullptr : it->second;
}
