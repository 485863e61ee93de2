// What the program needs from a dial-up service: the active connections, hanging one up, and
// dialling an entry. The three bound dial-up functions are built on it; pppd, NetworkManager and
// the simulator implement it.
#pragma once

#include "dialup/ras.h"

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class CancelToken;

// How long an enumeration or a hang-up may take before the service counts as not answering.
inline constexpr std::chrono::milliseconds kServiceDeadline{5000};

struct DialOutcome {
    enum Kind { Connected, Failed, Cancelled };
    Kind kind = Failed;
    std::string error;  // for Failed: one German sentence for the dial dialog
    std::string detail; // what the service itself said, for the tooltip; may be empty

    static DialOutcome Ok() { return {Connected, {}, {}}; }
    static DialOutcome Fail(std::string text, std::string detail = {}) {
        return {Failed, std::move(text), std::move(detail)};
    }
    static DialOutcome Cancel() { return {Cancelled, {}, {}}; }
};

// Progress for the dial dialog, in German. Called only on the thread that called Dial.
using DialProgress = std::function<void(const std::string& text)>;

class IDialupService {
public:
    virtual ~IDialupService() = default;
    // The active connections in the service's order; nothing when it could not tell in time.
    virtual std::optional<std::vector<RASCONN>> EnumConnections() = 0;
    // Asks the service to end the connection, then waits until the service no longer lists it,
    // at most kServiceDeadline. True when it is gone.
    virtual bool HangUp(HRASCONN handle) = 0;
    // Dials the entry and returns when it is up, has failed, or cancel was given.
    virtual DialOutcome Dial(const std::string& entry, const CancelToken& cancel,
                             const DialProgress& progress) = 0;
};
