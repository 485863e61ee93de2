// A dial-up service the test controls completely, bound through the application's own start-up.
#pragma once

#include "../support/app_harness.h"
#include "dialup/dialup_service.h"
#include "dialup/service_binding.h"
#include "platform/cancel_token.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

class FakeDialupService : public IDialupService {
public:
    enum class Dialling { Connects, ConnectsUnlisted, Fails, WaitsForCancel };

    std::optional<std::vector<RASCONN>> EnumConnections() override {
        std::unique_lock lock(m_mutex);
        m_calls.push_back(onEnum ? "enum with " + std::to_string(onEnum()) + " workers" : "enum");
        m_enumInFlight = true;
        m_released.wait_for(lock, kServiceDeadline, [&] { return !m_enumWaits; });
        m_enumInFlight = false;
        if (failEnum)
            return std::nullopt;
        return active;
    }
    bool HangUp(HRASCONN handle) override {
        std::unique_lock lock(m_mutex);
        m_calls.push_back("hangup " + std::to_string(handle));
        // Held until the test lets go, at most as long as a service may take.
        m_hangUpInFlight = true;
        m_released.wait_for(lock, kServiceDeadline, [&] { return !hangUpWaits; });
        m_hangUpInFlight = false;
        if (hangUpLeavesListed)
            return false;
        std::erase_if(active, [&](const RASCONN& c) { return c.hrasconn == handle; });
        return true;
    }
    DialOutcome Dial(const std::string& entry, const CancelToken& cancel,
                     const DialProgress& progress) override {
        Dialling how;
        {
            std::lock_guard lock(m_mutex);
            m_calls.push_back("dial " + entry);
            how = dialling;
        }
        progress("Wähle " + entry + "...");
        switch (how) {
        case Dialling::Connects: {
            std::lock_guard lock(m_mutex);
            active.push_back({77, entry});
            return DialOutcome::Ok();
        }
        case Dialling::ConnectsUnlisted:
            return DialOutcome::Ok();
        case Dialling::Fails:
            return DialOutcome::Fail("Die Gegenstelle antwortet nicht.", "peer: no answer");
        case Dialling::WaitsForCancel:
            break;
        }
        cancel.WaitFor(std::chrono::seconds(20), [] { return false; });
        std::lock_guard lock(m_mutex);
        m_calls.push_back(cancel.IsCancelled() ? "cancelled" : "timed out");
        return DialOutcome::Cancel();
    }

    // Lookups from now on are held until Release().
    void HoldLookups() {
        std::lock_guard lock(m_mutex);
        m_enumWaits = true;
    }
    void Release() {
        {
            std::lock_guard lock(m_mutex);
            hangUpWaits = m_enumWaits = false;
        }
        m_released.notify_all();
    }
    bool HangUpInFlight() {
        std::lock_guard lock(m_mutex);
        return m_hangUpInFlight;
    }
    bool LookupInFlight() {
        std::lock_guard lock(m_mutex);
        return m_enumInFlight;
    }

    std::vector<std::string> Calls() {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }

    // Set before the program starts.
    std::function<int()> onEnum; // a count to note with each listing
    std::vector<RASCONN> active;
    bool failEnum = false;
    bool hangUpLeavesListed = false;
    bool hangUpWaits = false; // until Release()
    Dialling dialling = Dialling::Connects;

private:
    std::mutex m_mutex;
    std::vector<std::string> m_calls;
    std::condition_variable m_released;
    bool m_hangUpInFlight = false;
    bool m_enumWaits = false;
    bool m_enumInFlight = false;
};

// The harness with the fake as the chosen service and every port on a device that is not there,
// so that the start never touches a real port.
struct DialupHarness : AppHarness {
    std::shared_ptr<FakeDialupService> service = std::make_shared<FakeDialupService>();

    explicit DialupHarness(const std::string& serviceName = "fake") {
        app.Backends().Register("fake", [s = service](const std::string&, std::string&) {
            return std::shared_ptr<IDialupService>(s);
        });
        store->Write("Dialup", "Service", serviceName);
        for (const char* port : {"COM1", "COM2", "COM3", "COM4"})
            store->Write("Ports", port, "/nonexistent/quillmere-test-port");
    }

    // Transcript lines from now on with these prefixes.
    std::vector<std::string> Seen(const std::vector<std::string>& prefixes) {
        std::vector<std::string> out;
        for (const auto& line : host.Transcript())
            for (const auto& p : prefixes)
                if (line.rfind(p, 0) == 0) {
                    out.push_back(line);
                    break;
                }
        return out;
    }
};
