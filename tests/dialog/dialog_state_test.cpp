// What the main dialog's controls show in each state it can be in.
#include "dialog/dialog_state.h"
#include "res/resource.h"
#include "res/resources.h"

#include <gtest/gtest.h>

#include <ostream>

void PrintTo(const ControlStates& c, std::ostream* os) {
    auto button = [&](const ButtonState& b) { *os << " " << (b.enabled ? "+" : "-") << b.text; };
    *os << (c.settings ? "settings" : "-settings") << (c.save ? " save" : " -save");
    button(c.configure);
    button(c.test);
    button(c.connect);
}

namespace {

using A = Activity;
constexpr bool on = true, off = false;
constexpr std::string_view kConfigure = "Konfigurieren", kTest = "Testen", kCancel = "Abbrechen",
                           kConnect = "Verbinden", kHangUp = "Trennen";

struct Row {
    const char* name;
    DialogState state; // activity, autoMode, dirty, connected, connectWithheld
    ControlStates controls;
};

const Row kRows[] = {
    {"idle", {A::Idle}, {on, off, {on, kConfigure}, {on, kTest}, {on, kConnect}}},
    {"idle, edited", {A::Idle, off, on}, {on, on, {on, kConfigure}, {on, kTest}, {on, kConnect}}},
    {"idle, service not bound at the start",
     {A::Idle, off, off, off, on},
     {on, off, {on, kConfigure}, {on, kTest}, {off, kConnect}}},
    {"connected",
     {A::Idle, off, off, on},
     {on, off, {off, kConfigure}, {off, kTest}, {on, kHangUp}}},
    {"connected, edited, the hang-up not bound",
     {A::Idle, off, on, on, on},
     {on, on, {off, kConfigure}, {off, kTest}, {off, kHangUp}}},
    {"configuring", {A::Configuring}, {off, off, {on, kCancel}, {off, kTest}, {off, kConnect}}},
    {"configuring, edited, automatic, service not bound",
     {A::Configuring, on, on, off, on},
     {off, off, {on, kCancel}, {off, kTest}, {off, kConnect}}},
    {"testing", {A::Testing}, {off, off, {off, kConfigure}, {on, kCancel}, {off, kConnect}}},
    {"testing, edited, automatic, service not bound",
     {A::Testing, on, on, off, on},
     {off, off, {off, kConfigure}, {on, kCancel}, {off, kConnect}}},
    {"hanging up",
     {A::HangingUp, off, off, on},
     {on, off, {off, kConfigure}, {off, kTest}, {on, kHangUp}}},
    {"hanging up, edited",
     {A::HangingUp, off, on, on},
     {on, on, {off, kConfigure}, {off, kTest}, {on, kHangUp}}},
    {"looking up after a dial, automatic",
     {A::Dialling, on},
     {on, off, {on, kConfigure}, {on, kTest}, {on, kConnect}}},
    {"looking up after a dial that found nothing before",
     {A::Dialling, off, off, on},
     {on, off, {off, kConfigure}, {off, kTest}, {on, kHangUp}}},
};

} // namespace

TEST(DialogState, EachStateShowsItsControls) {
    for (const Row& row : kRows)
        EXPECT_EQ(ControlsFor(row.state), row.controls) << row.name;
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
