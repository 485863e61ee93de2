// A screen reader names a combo box, an edit box or a progress bar by the static text before it
// in the template (Windows does so itself): that has to be the label the eye sees beside it.
#include "platform/control_label.h"
#include "res/resource.h"
#include "res/resources.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

// The static text laid out as the control's label: the nearest one to its left whose first line
// is level with the control's first line.
const ControlTemplate* LabelBeside(const DialogTemplate& tmpl, const ControlTemplate& control) {
    constexpr int kLine = 13; // an edit box's height, and a closed combo box's
    const ControlTemplate* beside = nullptr;
    for (const ControlTemplate& c : tmpl.controls) {
        const bool level = c.rect.y >= control.rect.y && c.rect.y < control.rect.y + kLine;
        const bool left = c.rect.x + c.rect.cx <= control.rect.x;
        if (c.kind == ControlKind::StaticText && level && left &&
            (!beside || c.rect.x > beside->rect.x))
            beside = &c;
    }
    return beside;
}

// The controls a screen reader would name wrongly, or not at all.
std::vector<std::string> Misnamed(const DialogTemplate& tmpl) {
    std::vector<std::string> out;
    for (const ControlTemplate& c : tmpl.controls) {
        if (!TakesNameFromLabel(c.kind))
            continue;
        const ControlTemplate* beside = LabelBeside(tmpl, c);
        if (!beside || LabelOf(tmpl, c) != beside)
            out.push_back(c.name);
    }
    return out;
}

} // namespace

TEST(ControlLabels, EveryControlIsNamedByTheLabelBesideIt) {
    for (int id : {IDD_MAIN, IDD_ABOUT, IDD_DIAL, IDD_PORTS}) {
        const DialogTemplate& tmpl = LoadDialogTemplate(id);
        EXPECT_EQ(Misnamed(tmpl), std::vector<std::string>{}) << tmpl.name;
    }
    const DialogTemplate& main = LoadDialogTemplate(IDD_MAIN);
    const ControlTemplate* label = LabelOf(main, *main.Find(IDC_COM_PORT));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(ReadableText(*label), "Serieller Port:");
}

TEST(ControlLabels, AReorderedTemplateIsCaught) {
    struct Case {
        int dialog;
        size_t a, b; // the controls swapped
        std::vector<std::string> misnamed;
    };
    const Case cases[] = {
        {IDD_MAIN, 0, 1, {"IDC_COM_PORT"}},                      // a box before its label
        {IDD_MAIN, 2, 16, {"IDC_BAUDRATE", "IDC_LINK_QUALITY"}}, // two labels swapped
        {IDD_PORTS, 3, 6, {"IDC_PORT_COM2", "IDC_PORT_COM3"}},
    };
    for (const Case& c : cases) {
        DialogTemplate tmpl = LoadDialogTemplate(c.dialog);
        std::swap(tmpl.controls[c.a], tmpl.controls[c.b]);
        EXPECT_EQ(Misnamed(tmpl), c.misnamed) << tmpl.name << " " << c.a << " with " << c.b;
    }
}

TEST(ControlLabels, AccessKeyMarkersAreDroppedUnlessTheTextShowsThemAsTheyAre) {
    const std::pair<ControlTemplate, std::string> cases[] = {
        {{-1, "", ControlKind::StaticText, "&Port:", {}, 0, {}}, "Port:"},
        {{-1, "", ControlKind::StaticText, "A && B&", {}, 0, {}}, "A & B"},
        {{-1, "", ControlKind::StaticText, "A & B", {}, kNoPrefix, {}}, "A & B"},
        {{1, "IDOK", ControlKind::PushButton, "&OK", {}, 0, {}}, "OK"},
    };
    for (const auto& [control, read] : cases)
        EXPECT_EQ(ReadableText(control), read) << control.text;
}
