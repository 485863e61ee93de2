// The signals that ask the program to end: SIGTERM (logout, kill), SIGINT (Ctrl+C) and SIGHUP
// (the terminal went away). The first one is handed on so that the program can end in order; a
// second one ends the process at once.
#pragma once

#include <atomic>
#include <functional>
#include <thread>

class TerminationSignals {
public:
    // onSignal runs on a thread of its own with the first signal's number; it only hands the
    // request on (to the UI thread).
    explicit TerminationSignals(std::function<void(int signal)> onSignal);
    // Gives the signals their default actions back and joins the thread.
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // The first signal that came, 0 for none.
    int Received() const;

private:
    std::function<void(int)> m_onSignal;
    std::thread m_thread;
};
