// What `Quillmere --list-ports` prints: one line per discovered device, then what stands behind
// COM1 to COM4, tab-separated, for scripts as much as for people.
//
//     device <TAB> path <TAB> node <TAB> driver <TAB> vendor <TAB> product <TAB> serial <TAB> name
//     COM1 <TAB> value <TAB> settings|default|none
//
// Fields a device does not have are empty; a control character inside a field is shown as an
// escape ("\t", "\x1b", "\u2028", see platform/printable_text.h).
#pragma once

#include "link/port_discovery.h"

#include <string>
#include <vector>

class IProfileStore;

std::string PortListing(IProfileStore& store, const std::vector<SerialDevice>& devices);
