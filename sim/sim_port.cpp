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

    SerialResult SetLine(const LineSettings& line) override {
        if (Vanished())
            return Gone();
        if (line.baudRate == 0)
            return SerialResult::Failed("invalid baud rate 0");
        m_transceiver->SetLine(line);
        return {};
    }

    SerialResult ReadCts(bool& on) override {
        on = false;
        if (Vanished())
            return Gone();
        on = m_transceiver->PowerOn();
        return {};
    }

    SerialResult WaitForCts(bool on, Timeout timeout) override {
        if (Vanished())
            return Gone();
        if (m_cancel->IsCancelled())
            return SerialResult::Cancelled();
        const auto woke = m_transceiver->WaitForPower(on, *m_cancel, timeout, m_clock);
        if (Vanished())
            return Gone();
        switch (woke) {
        case Transceiver::PowerWait::Reached:
            return {};
        case Transceiver::PowerWait::TimedOut:
            return SerialResult::TimedOut();
        case Transceiver::PowerWait::Cancelled:
            break;
        }
        return SerialResult::Cancelled();
    }

    SerialResult Write(std::span<const std::uint8_t> data, std::size_t& written,
                       Timeout timeout) override {
        written = 0;
        if (Vanished())
            return Gone();
        if (m_cancel->IsCancelled())
            return SerialResult::Cancelled();
        if (data.empty())
            return {};
        m_transceiver->Log("tx " + HexBytes(data));
        bool cutShort = false;
        if (m_transceiver->Options().timing == SimTiming::Real) {
            std::uint32_t ms = LineTime(data.size(), m_transceiver->Line().baudRate);
            // The driver has the bytes at once; a time-out only ends the wait for them to go.
            if (timeout && timeout->count() < std::int64_t{ms}) {
                ms = static_cast<std::uint32_t>(std::max<std::int64_t>(timeout->count(), 0));
                cutShort = true;
            }
            if (ms > 0 && !m_clock.Sleep(ms, m_cancel.get()))
                return SerialResult::Cancelled();
            if (Vanished())
                return Gone();
            m_lineWriterBack = m_clock.Now();
        }
        // The echo arrives while the bytes are on the line, so it is there when the write ends.
        for (std::uint8_t b : m_transceiver->Transmit(data, m_clock.Now())) {
            if (m_rx.size() < kReceiveQueueSize)
                m_rx.push_back(b);
        }
        written = data.size();
        return cutShort ? SerialResult::TimedOut() : SerialResult{};
    }

    SerialResult Read(std::span<std::uint8_t> buffer, std::size_t& got, Timeout timeout) override {
        got = 0;
        if (Vanished())
            return Gone();
        if (m_cancel->IsCancelled())
            return SerialResult::Cancelled();
        if (buffer.empty())
            return {};
        // Nothing else arrives while we wait; a short queue means the full time-out passes.
        if (m_rx.size() < buffer.size()) {
            if (!timeout) {
                m_cancel->Wait([&] { return m_transceiver->Vanished(); });
                return Vanished() ? Gone() : SerialResult::Cancelled();
            }
            const auto ms = static_cast<std::uint32_t>(std::max<std::int64_t>(timeout->count(), 0));
            if (ms > 0 && !m_clock.Sleep(ms, m_cancel.get()))
                return SerialResult::Cancelled();
        }
        if (Vanished())
            return Gone();
        const std::size_t n = std::min(buffer.size(), m_rx.size());
        std::copy_n(m_rx.begin(), n, buffer.begin());
        m_rx.erase(m_rx.begin(), m_rx.begin() + static_cast<std::ptrdiff_t>(n));
        got = n;
        if (n > 0)
            m_transceiver->Log("rx " + HexBytes(buffer.first(n)));
        return n < buffer.size() ? SerialResult::TimedOut() : SerialResult{};
    }

    SerialResult Purge() override {
        if (Vanished())
            return Gone();
        m_rx.clear();
        m_transceiver->Purge();
        return {};
    }

private:
    bool Vanished() const { return m_transceiver->Vanished(); }
    // A pulled adapter: the system answers every call with EIO.
    static SerialResult Gone() { return SerialResult::Failed(std::strerror(EIO)); }

    // 10 bit times per byte (start, 8 data, stop), as a schedule of the line: a write starts
    // when the line is free, and the writer sleeps until its last bit is out. Fractions of a
    // millisecond are carried to the next write, so 64 writes of 16 bytes take as long as one
    // of 1024; a sleep that overruns (ours, not the program's) shortens the next one instead of
    // adding up over the 64 writes of a link-test cycle. A write that comes within the clock's
    // millisecond after the last one returned continues the schedule (a UART's transmit FIFO
    // bridges as much); after a longer pause of the program it starts anew. Returns the time
    // to sleep.
    std::uint32_t LineTime(std::size_t count, std::uint32_t baud) {
        const std::uint32_t now = m_clock.Now();
        // Signed difference: right across the wrap of the millisecond counter.
        if (baud != m_lineBaud || static_cast<std::int32_t>(now - m_lineWriterBack) > 1) {
            m_lineBaud = baud;
            m_lineFreeAt = now;
            m_lineFraction = 0;
        }
        const std::uint64_t total = m_lineFraction + std::uint64_t{count} * 10 * 1000;
        m_lineFreeAt += static_cast<std::uint32_t>(total / baud);
        m_lineFraction = total % baud;
        const auto left = static_cast<std::int32_t>(m_lineFreeAt - now);
        return left > 0 ? static_cast<std::uint32_t>(left) : 0;
    }

    const std::shared_ptr<Transceiver> m_transceiver;
    const std::shared_ptr<CancelToken> m_cancel;
    IClock& m_clock;
    std::deque<std::uint8_t> m_rx;
    std::uint32_t m_lineBaud = 0;
    std::uint32_t m_lineFreeAt = 0;     // the program's clock, ms
    std::uint64_t m_lineFraction = 0;   // beyond m_lineFreeAt, in units of 1/baud ms
    std::uint32_t m_lineWriterBack = 0; // when the last write returned to the program
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
                return {nullptr,
                        name + ": cannot open log " + parsed.options.logPath + ": " + error};
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
