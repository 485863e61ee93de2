// A dialog template in the form the system's dialog manager reads (DLGTEMPLATEEX), made from the
// program's template data, so that the Windows dialogs and the other hosts share one layout.
#pragma once

#include "platform/dialog_template.h"

#include <cstdint>
#include <string>
#include <vector>

class IResourceProvider;

// The template, 32-bit aligned from its first word; pass data() to DialogBoxIndirectParamW. Icon
// controls name their icon by the id resources give for its name.
std::vector<std::uint16_t> BuildDialogResource(const DialogTemplate& tmpl,
                                               const IResourceProvider& resources);

// What the builder writes for a dialog and a control; the tests hold the created windows
// against these.
std::uint32_t DialogWindowStyle(const DialogTemplate& tmpl);
std::uint32_t DialogExStyle(const DialogTemplate& tmpl);
std::uint32_t ControlWindowStyle(const ControlTemplate& c);
std::uint32_t ControlExStyle(const ControlTemplate& c);
// The window class the dialog manager creates for the control, e.g. L"ComboBox".
std::wstring ControlClassName(ControlKind kind);
