// A simulated dial-up service for tests and the demo, chosen in the settings as
// [Dialup] Service=sim:entries=Dach West|Mast,active=Mast,dial=ok,delay=500,log=/tmp/d.log
// Its phonebook, what is connected at start, how a dial ends and how long it takes are given as
// comma-separated key=value options; a log shows every call the program made.
#pragma once

#include "dialup/dialup_service.h"
#include "dialup/handle_table.h"
#include "platform/line_log.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

class IClock;

enum class SimDialResult { Ok, Fail, Cancel };

struct DialupSimOptions {
    std::vector<std::string> entries; // the phonebook
    std::vector<std::string> active;  // connected at start, in this order
    SimDialResult dial = SimDialResult::Ok;
    std::uint32_t delayMs = 500; // how long a dial takes, on the program's clock
    std::string logPath;         // empty: no log
};

struct DialupSimParse {
    DialupSimOptions options; // meaningful only when error is empty
    std::string error;        // in plain English; empty when the list is fine
};

// The text after "sim:". Never throws: it comes from a file people edit by hand.
DialupSimParse ParseDialupSimOptions(std::string_view text);

class DialupSim : public IDialupService {
public:
    // Nothing, with the reason, when the options cannot be read or the log cannot be opened.
    // Its dials take their time on clock.
    static std::unique_ptr<DialupSim> Open(std::string_view options, std::string& error,
                                           IClock& clock);
    ~DialupSim() override;

    std::optional<std::vector<RASCONN>> EnumConnections() override;
    bool HangUp(HRASCONN handle) override;
    DialOutcome Dial(const std::string& entry, const CancelToken& cancel,
                     const DialProgress& progress) override;

    // What is connected now, in order.
    std::vector<std::string> Active();

    struct Private {};
    DialupSim(Private, DialupSimOptions options, LineLog log, IClock& clock);

private:
    void Log(const std::string& line);

    const DialupSimOptions m_options;
    const LineLog m_log;
    IClock& m_clock;
    std::mutex m_mutex;
    std::vector<std::string> m_active; // guarded by m_mutex
    HandleTable<std::string> m_handles;
};
