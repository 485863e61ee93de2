#include "dialog/port_refusal_text.h"

#include "res/resource.h"

#include <initializer_list>
#include <string_view>

namespace {

// The string with %1, %2, ... replaced by args in turn.
std::string Say(const StringLoader& load, int id, std::initializer_list<std::string_view> args) {
    const std::string text = load ? load(id) : std::string();
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::size_t arg = i + 1 < text.size() ? text[i + 1] - '1' : args.size();
        if (text[i] == '%' && arg < args.size()) {
            out += args.begin()[arg];
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

std::string PortRefusalText(const PortRefusal& why, const StringLoader& load) {
    using Kind = PortRefusal::Kind;
    const std::string& device = why.device;
    std::string text;
    switch (why.kind) {
    case Kind::Other:
        text = Say(load, IDS_PORT_REFUSED_OTHER, {device});
        break;
    case Kind::NotMapped:
        text = Say(load, IDS_PORT_REFUSED_NOT_MAPPED, {});
        break;
    case Kind::Absent:
        text = Say(load, IDS_PORT_REFUSED_ABSENT, {device});
        break;
    case Kind::Busy:
        text = why.pid == 0 ? Say(load, IDS_PORT_REFUSED_BUSY, {device})
               : why.program.empty()
                   ? Say(load, IDS_PORT_REFUSED_BUSY_PID, {device, std::to_string(why.pid)})
                   : Say(load, IDS_PORT_REFUSED_BUSY_PROCESS,
                         {device, std::to_string(why.pid), why.program});
        break;
    case Kind::NotPermitted:
        text = why.group.empty()
                   ? Say(load, IDS_PORT_REFUSED_NOT_PERMITTED, {device})
                   : Say(load, IDS_PORT_REFUSED_NOT_PERMITTED_GROUP, {device, why.group});
        break;
    case Kind::Console:
        text = Say(load, IDS_PORT_REFUSED_CONSOLE, {device});
        break;
    case Kind::NotSerial:
        text = Say(load, IDS_PORT_REFUSED_NOT_SERIAL, {device});
        break;
    case Kind::LockNotFile:
        // What stands there instead goes to standard error; here the file is what counts.
        return Say(load, IDS_PORT_REFUSED_LOCK_NOT_FILE, {why.lockFile});
    }
    return why.systemText.empty() ? text : text + " (" + why.systemText + ")";
}
