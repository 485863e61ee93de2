#include "dialog/dialog_state.h"

// While a job runs nothing else may start and no setting may change under it; only its own
// button, which cancels it, stays. A connection shown as up leaves only hanging it up, and the
// dial-up worker changes no control: its buttons start nothing while it runs.
ControlStates ControlsFor(const DialogState& state) {
    const bool configuring = state.activity == Activity::Configuring;
    const bool testing = state.activity == Activity::Testing;
    const bool job = configuring || testing;
    ControlStates controls;
    controls.settings = !job;
    controls.save = !job && state.dirty;
    controls.configure = {configuring || (!testing && !state.connected),
                          configuring ? "Abbrechen" : "Konfigurieren"};
    controls.test = {testing || (!configuring && !state.connected),
                     testing ? "Abbrechen" : "Testen"};
    controls.connect = {!job && !state.connectWithheld, state.connected ? "Trennen" : "Verbinden"};
    return controls;
}
