#include "platform/control_label.h"

bool TakesNameFromLabel(ControlKind kind) {
    switch (kind) {
    case ControlKind::DropDownList:
    case ControlKind::DropDown:
    case ControlKind::Edit:
    case ControlKind::ProgressBar:
        return true;
    default:
        return false;
    }
}

const ControlTemplate* LabelOf(const DialogTemplate& tmpl, const ControlTemplate& control) {
    if (!TakesNameFromLabel(control.kind))
        return nullptr;
    const ControlTemplate* label = nullptr;
    for (const ControlTemplate& c : tmpl.controls) {
        if (&c == &control)
            return label;
        if (c.kind == ControlKind::StaticText)
            label = &c;
    }
    return nullptr; // not one of this template's controls
}

std::string ReadableText(const ControlTemplate& control) {
    if (control.kind == ControlKind::StaticIcon)
        return {};
    if (control.style & kNoPrefix)
        return control.text;
    std::string out;
    for (size_t i = 0; i < control.text.size(); ++i) {
        if (control.text[i] == '&' && ++i == control.text.size())
            break;
        out += control.text[i];
    }
    return out;
}
