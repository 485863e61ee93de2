// Which text a screen reader reads for a control of a dialog template. Windows finds it in the
// template itself; the other hosts follow the same rule so that both say the same.
#pragma once

#include "platform/dialog_template.h"

#include <string>

// Whether the control shows no text of its own and takes its name from a label: combo boxes,
// edit boxes and progress bars.
bool TakesNameFromLabel(ControlKind kind);

// The label of such a control: the nearest static text before it in template order; nullptr
// when none comes before it, or for a control that has its own text.
const ControlTemplate* LabelOf(const DialogTemplate& tmpl, const ControlTemplate& control);

// A static text or button text as read: "&" marks the access key and is dropped, "&&" is one
// "&"; a static text with kNoPrefix shows its text as it is.
std::string ReadableText(const ControlTemplate& control);
