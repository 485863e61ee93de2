#include "app/port_listing.h"

#include "link/port_map.h"
#include "platform/printable_text.h"

namespace {

// A device names itself: its name and serial may hold anything, escape sequences for the
// terminal included. As escapes they keep the line and its columns.
std::string Field(const std::string& text) {
    return PrintableText(text);
}

// Fields may be empty: the tabs still stand, so that every line has its columns.
std::string Line(std::initializer_list<std::string> fields) {
    std::string line;
    for (const std::string& f : fields) {
        if (&f != fields.begin())
            line += '\t';
        line += Field(f);
    }
    line += '\n';
    return line;
}

} // namespace

std::string PortListing(IProfileStore& store, const std::vector<SerialDevice>& devices) {
    std::string out;
    for (const SerialDevice& d : devices)
        out += Line(
            {"device", d.path, d.node, d.driver, d.vendorId, d.productId, d.serial, d.product});
    for (int nComPort = 0; nComPort < 4; ++nComPort) {
        const ComPortBinding b = BindComPort(store, nComPort, devices);
        const char* source = b.value.empty()                                ? "none"
                             : b.source == ComPortBinding::Source::Settings ? "settings"
                                                                            : "default";
        out += Line({"COM" + ComPortDigit(nComPort), b.value, source});
    }
    return out;
}
