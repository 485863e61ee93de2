// What the main dialog's controls show in each state it can be in.
#include "dialog/dialog_state.h"
#include "res/resource.h"
#include "res/resources.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The seven settings controls and "Speichern" on (+) or off (-), then each button with its text.
std::string Shown(const ControlStates& c) {
    auto button = [](const ButtonState& b) {
        return (b.enabled ? " +" : " -") + std::string(b.text);
    };
    return std::string(c.settings ? "+settings" : "-settings") + (c.save ? " +save" : " -save") +
           button(c.configure) + button(c.test) + button(c.connect);
}

using A = Activity;
constexpr bool on = true, off = false;

struct Row {
    DialogState state; // activity, automatic, dirty, connected, connect withheld
    const char* shown;
};

const Row kRows[] = {
    {{A::Idle}, "+settings -save +Konfigurieren +Testen +Verbinden"},
    {{A::Idle, off, on}, "+settings +save +Konfigurieren +Testen +Verbinden"},
    {{A::Idle, off, off, off, on}, "+settings -save +Konfigurieren +Testen -Verbinden"},
    {{A::Idle, off, off, on}, "+settings -save -Konfigurieren -Testen +Trennen"},
    {{A::Idle, off, on, on, on}, "+settings +save -Konfigurieren -Testen -Trennen"},
    {{A::Configuring}, "-settings -save +Abbrechen -Testen -Verbinden"},
    {{A::Configuring, on, on, off, on}, "-settings -save +Abbrechen -Testen -Verbinden"},
    {{A::Testing}, "-settings -save -Konfigurieren +Abbrechen -Verbinden"},
    {{A::Testing, on, on, off, on}, "-settings -save -Konfigurieren +Abbrechen -Verbinden"},
    // No job starts while the connection is shown as up; should one run, it can be cancelled.
    {{A::Testing, off, off, on}, "-settings -save -Konfigurieren +Abbrechen -Trennen"},
    {{A::HangingUp, off, off, on}, "+settings -save -Konfigurieren -Testen +Trennen"},
    {{A::HangingUp, off, on, on}, "+settings +save -Konfigurieren -Testen +Trennen"},
    {{A::Dialling, on}, "+settings -save +Konfigurieren +Testen +Verbinden"},
    // A dial again after one whose connection the lookup did not find.
    {{A::Dialling, off, off, on}, "+settings -save -Konfigurieren -Testen +Trennen"},
};

} // namespace

TEST(DialogState, EachStateShowsItsControls) {
    for (const Row& row : kRows)
        EXPECT_EQ(Shown(ControlsFor(row.state)), row.shown) << "row " << &row - kRows;
}

// The dialog sets only what differs from what the controls show; before the first step they
// show the template.
TEST(DialogState, NothingAppliedIsWhatTheTemplateShows) {
    const DialogTemplate& main = LoadDialogTemplate(IDD_MAIN);
    const ControlStates shown;
    EXPECT_EQ(main.Find(IDC_CONFIGURE)->text, shown.configure.text);
    EXPECT_EQ(main.Find(IDC_TEST)->text, shown.test.text);
    EXPECT_EQ(main.Find(IDC_CONNECT)->text, shown.connect.text);
}
