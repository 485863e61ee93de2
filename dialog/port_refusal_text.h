// The sentence beside the status line that says why the selected port is not available.
#pragma once

#include "dialog/link_control_context.h"
#include "link/serial_port.h"

#include <string>

// In German from the string table, naming the device as the user named it, with the system's
// own words in parentheses after it when it gave any: "Das Gerät /dev/ttyUSB0 gibt es nicht –
// ist der Adapter eingesteckt? (No such file or directory)".
std::string PortRefusalText(const PortRefusal& why, const StringLoader& load);
