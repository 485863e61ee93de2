// The serial devices from udev's database. Everything here reads sysfs and the database only:
// no device node is ever opened, so a phantom UART or the console cannot hang or disturb us.
#include "link/port_discovery.h"

#include "platform/cancel_token.h"

#include <libudev.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <mutex>
#include <poll.h>
#include <set>
#include <sstream>
#include <string_view>
#include <tuple>
#include <utility>

namespace {

struct UdevDeleter {
    void operator()(udev* p) const { udev_unref(p); }
    void operator()(udev_device* p) const { udev_device_unref(p); }
    void operator()(udev_enumerate* p) const { udev_enumerate_unref(p); }
    void operator()(udev_monitor* p) const { udev_monitor_unref(p); }
};
template <class T> using UdevPtr = std::unique_ptr<T, UdevDeleter>;

std::string Text(const char* value) {
    return value ? value : "";
}

std::string Attribute(udev_device* dev, const char* name) {
    std::string value = Text(udev_device_get_sysattr_value(dev, name));
    while (!value.empty() && (value.back() == '\n' || value.back() == ' '))
        value.pop_back();
    return value;
}

std::string Property(udev_device* dev, const char* name) {
    return Text(udev_device_get_property_value(dev, name));
}

// The tty names the kernel writes its console to ("ttyS0" or "tty0 ttyS0,115200").
std::set<std::string> ConsoleNames(udev* ctx) {
    std::set<std::string> names;
    UdevPtr<udev_device> console(udev_device_new_from_subsystem_sysname(ctx, "tty", "console"));
    if (!console)
        return names;
    std::istringstream active(Attribute(console.get(), "active"));
    for (std::string name; active >> name;)
        names.insert(name.substr(0, name.find(',')));
    return names;
}

// The driver of the nearest parent that has one. Newer kernels put serial-core's own "ctrl" and
// "port" devices between the tty and the UART's device; their drivers say nothing.
std::string ParentDriver(udev_device* dev) {
    for (udev_device* p = udev_device_get_parent(dev); p; p = udev_device_get_parent(p)) {
        if (std::string_view(Text(udev_device_get_subsystem(p))) == "serial-base")
            continue;
        if (const char* driver = udev_device_get_driver(p))
            return driver;
    }
    return {};
}

// DEVLINKS is the property form of udev's symlinks, the same list the database keeps.
std::string StablePath(udev_device* dev, const std::string& node) {
    std::istringstream links(Property(dev, "DEVLINKS"));
    std::string byPath;
    for (std::string link; links >> link;) {
        if (link.starts_with("/dev/serial/by-id/"))
            return link;
        if (byPath.empty() && link.starts_with("/dev/serial/by-path/"))
            byPath = link;
    }
    return byPath.empty() ? node : byPath;
}

// A device worth listing: hardware behind it, a UART where the port says so, not the console.
bool Listable(udev_device* dev, const std::set<std::string>& console) {
    if (!udev_device_get_parent(dev) || !udev_device_get_devnode(dev))
        return false;
    if (Attribute(dev, "type") == "0")
        return false; // serial core's PORT_UNKNOWN: a port with no UART answering
    return !console.contains(Text(udev_device_get_sysname(dev)));
}

SerialDevice Describe(udev_device* dev) {
    SerialDevice d;
    d.node = Text(udev_device_get_devnode(dev));
    d.path = StablePath(dev, d.node);
    d.driver = ParentDriver(dev);
    udev_device* usb = udev_device_get_parent_with_subsystem_devtype(dev, "usb", "usb_device");
    d.onBoard = usb == nullptr;
    if (usb) {
        const auto pick = [&](const char* attribute, const char* property) {
            std::string value = Attribute(usb, attribute);
            return value.empty() ? Property(dev, property) : value;
        };
        d.vendorId = pick("idVendor", "ID_VENDOR_ID");
        d.productId = pick("idProduct", "ID_MODEL_ID");
        d.serial = pick("serial", "ID_SERIAL_SHORT");
        d.product = pick("product", "ID_MODEL");
    }
    return d;
}

// "ttyS10" after "ttyS9": the name's letters, then its number (shorter is smaller).
bool ByNumber(const std::string& a, const std::string& b) {
    const auto split = [](const std::string& s) {
        size_t digits = s.size();
        while (digits > 0 && std::isdigit(static_cast<unsigned char>(s[digits - 1])))
            --digits;
        return std::tuple(std::string_view(s).substr(0, digits), s.size() - digits,
                          std::string_view(s).substr(digits));
    };
    return split(a) < split(b);
}

class UdevPortDiscovery final : public IPortDiscovery {
public:
    explicit UdevPortDiscovery(UdevPtr<udev> ctx) : m_udev(std::move(ctx)) {
        // Made at once, so that nothing that comes or goes after the first listing is missed.
        m_monitor.reset(udev_monitor_new_from_netlink(m_udev.get(), "udev"));
        if (m_monitor &&
            (udev_monitor_filter_add_match_subsystem_devtype(m_monitor.get(), "tty", nullptr) < 0 ||
             udev_monitor_enable_receiving(m_monitor.get()) < 0))
            m_monitor.reset();
    }

    std::vector<SerialDevice> Devices() override {
        const std::lock_guard lock(m_mutex);
        std::vector<SerialDevice> devices;
        UdevPtr<udev_enumerate> scan(udev_enumerate_new(m_udev.get()));
        if (!scan || udev_enumerate_add_match_subsystem(scan.get(), "tty") < 0 ||
            udev_enumerate_scan_devices(scan.get()) < 0)
            return devices;
        const std::set<std::string> console = ConsoleNames(m_udev.get());
        for (udev_list_entry* e = udev_enumerate_get_list_entry(scan.get()); e;
             e = udev_list_entry_get_next(e)) {
            UdevPtr<udev_device> dev(
                udev_device_new_from_syspath(m_udev.get(), udev_list_entry_get_name(e)));
            if (dev && Listable(dev.get(), console))
                devices.push_back(Describe(dev.get()));
        }
        std::sort(devices.begin(), devices.end(), [](const SerialDevice& a, const SerialDevice& b) {
            if (a.onBoard != b.onBoard)
                return a.onBoard;
            return a.onBoard ? ByNumber(a.node, b.node) : a.path < b.path;
        });
        return devices;
    }

    bool WaitForChange(const CancelToken& cancel) override {
        for (;;) {
            pollfd fds[2] = {{cancel.Fd(), POLLIN, 0}, {-1, POLLIN, 0}};
            if (m_monitor)
                fds[1].fd = udev_monitor_get_fd(m_monitor.get());
            if (::poll(fds, 2, -1) < 0 && errno != EINTR)
                return false;
            // Events already there count even when the cancel came with them: the caller
            // learns of a change it would otherwise miss, and the next wait ends at once.
            if (fds[1].revents && Changed())
                return true;
            if (cancel.IsCancelled() || fds[0].revents)
                return false;
        }
    }

private:
    // Takes every event that is there; true if one of them is a listable device that came or
    // went. A removed device's sysfs folder may already be gone, so its parent is judged from
    // where it lived: devices without hardware live under /devices/virtual.
    bool Changed() {
        const std::lock_guard lock(m_mutex);
        bool changed = false;
        while (UdevPtr<udev_device> dev{udev_monitor_receive_device(m_monitor.get())}) {
            const std::string action = Text(udev_device_get_action(dev.get()));
            if (action == "add")
                changed |= Listable(dev.get(), ConsoleNames(m_udev.get()));
            else if (action == "remove")
                changed |= udev_device_get_devnode(dev.get()) &&
                           !std::string_view(Text(udev_device_get_devpath(dev.get())))
                                .starts_with("/devices/virtual/");
        }
        return changed;
    }

    // libudev objects are for one thread at a time; the dialog lists while a worker waits.
    std::mutex m_mutex;
    UdevPtr<udev> m_udev;
    UdevPtr<udev_monitor> m_monitor;
};

} // namespace

std::unique_ptr<IPortDiscovery> MakeSystemPortDiscovery() {
    UdevPtr<udev> ctx(udev_new());
    if (!ctx)
        return nullptr;
    return std::make_unique<UdevPortDiscovery>(std::move(ctx));
}
