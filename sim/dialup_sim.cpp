#include "sim/dialup_sim.h"

#include "dialup/entry_name.h"
#include "platform/cancel_token.h"
#include "platform/clock.h"
#include "res/resource.h"
#include "res/resources.h"
#include "sim/option_list.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <set>

namespace {

// "A|B" -> {"A", "B"}; names keep their case and inner blanks, empty ones are dropped.
std::vector<std::string> SplitNames(std::string_view value) {
    std::vector<std::string> names;
    while (true) {
        const size_t bar = value.find('|');
        const std::string_view name = TrimBlanks(value.substr(0, bar));
        if (!name.empty())
            names.emplace_back(name);
        if (bar == std::string_view::npos)
            return names;
        value.remove_prefix(bar + 1);
    }
}

std::string Apply(std::string_view key, std::string_view value, DialupSimOptions& o) {
    if (key == "entries") {
        o.entries = SplitNames(value);
    } else if (key == "active") {
        o.active = SplitNames(value);
    } else if (key == "dial") {
        if (value == "ok")
            o.dial = SimDialResult::Ok;
        else if (value == "fail")
            o.dial = SimDialResult::Fail;
        else if (value == "cancel")
            o.dial = SimDialResult::Cancel;
        else
            return "bad value '" + std::string(value) + "' for option 'dial' (ok, fail or cancel)";
    } else if (key == "delay") {
        std::uint32_t n = 0;
        if (!ParseOptionNumber(value, n))
            return "bad value '" + std::string(value) + "' for option 'delay' (milliseconds)";
        o.delayMs = n;
    } else if (key == "log") {
        if (value.empty())
            return "option 'log' needs a file name";
        o.logPath = value;
    } else {
        return "unknown option '" + std::string(key) + "'";
    }
    return {};
}

} // namespace

DialupSimParse ParseDialupSimOptions(std::string_view text) {
    DialupSimParse result;
    result.error = ForEachOption(text, [&](std::string_view key, std::string_view value) {
        return Apply(key, value, result.options);
    });
    if (!result.error.empty())
        return result;
    // What is connected is in the phonebook too.
    for (const auto& name : result.options.active)
        if (std::find(result.options.entries.begin(), result.options.entries.end(), name) ==
            result.options.entries.end())
            result.options.entries.push_back(name);
    return result;
}

std::unique_ptr<DialupSim> DialupSim::Open(std::string_view options, std::string& error,
                                           IClock& clock) {
    DialupSimParse parsed = ParseDialupSimOptions(options);
    if (!parsed.error.empty()) {
        error = parsed.error;
        return nullptr;
    }
    LineLog log;
    if (!log.Open(parsed.options.logPath, error)) {
        error = "cannot open log " + parsed.options.logPath + ": " + error;
        return nullptr;
    }
    return std::make_unique<DialupSim>(Private{}, std::move(parsed.options), std::move(log), clock);
}

DialupSim::DialupSim(Private, DialupSimOptions options, LineLog log, IClock& clock)
    : m_options(std::move(options)), m_log(std::move(log)), m_clock(clock),
      m_active(m_options.active) {}

DialupSim::~DialupSim() = default;

// One write per line, straight to the file: the log is whole even when the process ends abruptly.
void DialupSim::Log(const std::string& line) {
    m_log.Write(line);
}

std::vector<std::string> DialupSim::Active() {
    std::lock_guard lock(m_mutex);
    return m_active;
}

std::optional<std::vector<RASCONN>> DialupSim::EnumConnections() {
    Log("enum");
    std::vector<RASCONN> connections;
    for (const auto& name : Active())
        connections.push_back({m_handles.Handle(name), name});
    return connections;
}

bool DialupSim::HangUp(HRASCONN handle) {
    const auto name = m_handles.Find(handle);
    if (!name)
        return true;
    Log("hangup " + *name);
    std::lock_guard lock(m_mutex);
    std::erase(m_active, *name);
    return true;
}

DialOutcome DialupSim::Dial(const std::string& entry, const CancelToken& cancel,
                            const DialProgress& progress) {
    // As the real services look their entries up: the exact name, else the only one that
    // differs in the case of A to Z.
    const auto found = FindEntry(m_options.entries, entry, CaseFolded::Only);
    if (found == m_options.entries.end()) {
        Log("dial " + entry + " fail");
        return DialOutcome::Fail(FormatResourceString(IDS_SIM_NO_ENTRY, {entry}));
    }
    const std::string name = *found;
    if (progress)
        progress(FormatResourceString(IDS_DIAL_DIALING, {name}));
    if (!m_clock.Sleep(m_options.delayMs, &cancel)) {
        Log("dial " + entry + " cancel");
        return DialOutcome::Cancel();
    }
    switch (m_options.dial) {
    case SimDialResult::Ok: {
        Log("dial " + entry + " ok");
        std::lock_guard lock(m_mutex);
        if (std::find(m_active.begin(), m_active.end(), name) == m_active.end())
            m_active.push_back(name);
        return DialOutcome::Ok();
    }
    case SimDialResult::Fail:
        Log("dial " + entry + " fail");
        return DialOutcome::Fail(LoadResourceString(IDS_SIM_NO_ANSWER));
    case SimDialResult::Cancel:
        break;
    }
    // The simulated user pressed "Abbrechen".
    Log("dial " + entry + " cancel");
    return DialOutcome::Cancel();
}
