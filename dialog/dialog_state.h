// What the main dialog is doing, and the one rule that turns it into the states and texts of its
// buttons. No host and no I/O here: the dialog applies the result.
#pragma once

#include <string_view>

// What runs. A job (configuring, testing) holds the serial port on a worker of its own; the
// dial-up worker hangs up, or looks the connection up after a dial.
enum class Activity { Idle, Configuring, Testing, HangingUp, Dialling };

struct DialogState {
    Activity activity = Activity::Idle;
    // The automatic sequence runs: a step's success starts the next one. Its steps look to the
    // user as the same steps by hand do.
    bool autoMode = false;
    bool dirty = false; // settings edited since they were loaded or saved
    // The connection is shown as up: "Verbinden" reads "Trennen". Set after every dial, also one
    // whose connection the lookup did not find (a click then dials again), and at the start when
    // the port is busy with the connection; cleared by a hang-up after which it is gone.
    bool connected = false;
    // The start withholds "Verbinden" when the dial-up service is not fully bound. The end step
    // of a configuration or link test gives the button back all the same, as it always did: a
    // click then calls what of the service is bound, which may be nothing.
    bool connectWithheld = false;
};

struct ButtonState {
    bool enabled = true;
    std::string_view text;
    bool operator==(const ButtonState&) const = default;
};

// Default-constructed: what the dialog template shows before anything is applied.
struct ControlStates {
    // IDC_COM_PORT, IDC_BAUDRATE, IDC_SENSITIVITY, IDC_RAS_LINK_NAME, IDC_RUN_PROGRAM,
    // IDC_BROWSE and IDC_RUN_INVISIBLE alike.
    bool settings = true;
    bool save = true;
    ButtonState configure{true, "Konfigurieren"};
    ButtonState test{true, "Testen"};
    ButtonState connect{true, "Verbinden"};
    bool operator==(const ControlStates&) const = default;
};

ControlStates ControlsFor(const DialogState& state);
