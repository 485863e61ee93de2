#include "dialup/networkmanager/nm_service.h"

#include "dialup/entry_name.h"
#include "dialup/handle_table.h"
#include "dialup/networkmanager/bus_probe.h"
#include "dialup/networkmanager/nm_state_watch.h"
#include "dialup/service_binding.h"
#include "platform/cancel_token.h"
#include "platform/diagnostics.h"
#include "res/resource.h"
#include "res/resources.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>

using NmSettings = QMap<QString, QVariantMap>;
Q_DECLARE_METATYPE(NmSettings)

namespace {

using SteadyClock = std::chrono::steady_clock;

const QString kService = QStringLiteral("org.freedesktop.NetworkManager");
const QString kManagerPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString kManagerIface = QStringLiteral("org.freedesktop.NetworkManager");
const QString kSettingsPath = QStringLiteral("/org/freedesktop/NetworkManager/Settings");
const QString kSettingsIface = QStringLiteral("org.freedesktop.NetworkManager.Settings");
const QString kConnectionIface =
    QStringLiteral("org.freedesktop.NetworkManager.Settings.Connection");
const QString kActiveIface = QStringLiteral("org.freedesktop.NetworkManager.Connection.Active");
const QString kDeviceIface = QStringLiteral("org.freedesktop.NetworkManager.Device");
const QString kWiredIface = QStringLiteral("org.freedesktop.NetworkManager.Device.Wired");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

constexpr unsigned kActivating = 1, kActivated = 2, kDeactivated = NmStateWatch::kDeactivated;
constexpr unsigned kReasonDeviceDisconnected = 3, kReasonConnectTimeout = 6, kLastReason = 14;

// NMActiveConnectionStateReason, for the tooltip: a name the user can look up.
std::string ReasonName(unsigned reason) {
    static const char* const names[] = {"UNKNOWN",
                                        "NONE",
                                        "USER_DISCONNECTED",
                                        "DEVICE_DISCONNECTED",
                                        "SERVICE_STOPPED",
                                        "IP_CONFIG_INVALID",
                                        "CONNECT_TIMEOUT",
                                        "SERVICE_START_TIMEOUT",
                                        "SERVICE_START_FAILED",
                                        "NO_SECRETS",
                                        "LOGIN_FAILED",
                                        "CONNECTION_REMOVED",
                                        "DEPENDENCY_FAILED",
                                        "DEVICE_REALIZE_FAILED",
                                        "DEVICE_REMOVED"};
    std::string text = std::to_string(reason);
    if (reason < std::size(names))
        text += std::string(" (") + names[reason] + ")";
    return text;
}

std::string UnknownConnectionText(const std::string& entry) {
    return FormatResourceString(IDS_NM_UNKNOWN_CONNECTION, {entry});
}

// How long the start waits for the bus: the main window must not wait for a frozen bus daemon.
constexpr std::chrono::milliseconds kBusProbeDeadline{800};

// How long NetworkManager may take to answer ActivateConnection (the system's authorisation
// service may ask the user first), and then to bring the connection up.
constexpr std::chrono::milliseconds kActivateDeadline{120000};

std::string Utf8(const QString& s) {
    return s.toUtf8().toStdString();
}

int Remaining(SteadyClock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    return static_cast<int>(std::max<long long>(left.count(), 1));
}

enum class Wake { Done, Cancelled, Expired };

// Runs this thread's events until done() holds, the cancel comes or the deadline passes. Woken by
// the watch's signals, the call's answer, the cancel's descriptor or a timer: nothing is polled.
Wake WaitFor(NmStateWatch* watch, QDBusPendingCallWatcher* call, const CancelToken* cancel,
             SteadyClock::time_point deadline, const std::function<bool()>& done) {
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (watch)
        QObject::connect(watch, &NmStateWatch::Changed, &loop, &QEventLoop::quit);
    if (call)
        QObject::connect(call, &QDBusPendingCallWatcher::finished, &loop, &QEventLoop::quit);
    std::optional<QSocketNotifier> cancelled;
    if (cancel) {
        cancelled.emplace(cancel->Fd(), QSocketNotifier::Read);
        QObject::connect(&*cancelled, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
    }
    for (;;) {
        if (done())
            return Wake::Done;
        if (cancel && cancel->IsCancelled())
            return Wake::Cancelled;
        if (SteadyClock::now() >= deadline)
            return Wake::Expired;
        timer.start(Remaining(deadline));
        // Should the caller be a UI thread, its user's input waits for the service.
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
}

bool IsRefusal(const QString& errorName) {
    return errorName == QLatin1String("org.freedesktop.NetworkManager.PermissionDenied") ||
           errorName == QLatin1String("org.freedesktop.DBus.Error.AccessDenied") ||
           errorName.startsWith(QLatin1String("org.freedesktop.PolicyKit1.Error"));
}

bool IsGone(const QString& errorName) {
    return errorName == QLatin1String("org.freedesktop.DBus.Error.UnknownObject") ||
           errorName == QLatin1String("org.freedesktop.DBus.Error.UnknownMethod") ||
           errorName == QLatin1String("org.freedesktop.DBus.Error.UnknownInterface") ||
           errorName == QLatin1String("org.freedesktop.DBus.Error.InvalidArgs");
}

class NetworkManagerService : public IDialupService {
public:
    NetworkManagerService()
        : m_name(QStringLiteral("quillmere-nm-%1").arg(s_count.fetch_add(1))),
          m_bus(Connect(m_name)) {}
    ~NetworkManagerService() override { QDBusConnection::disconnectFromBus(m_name); }

    bool Reachable() {
        if (!m_bus.isConnected())
            return false;
        QDBusMessage msg = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
        msg << kService;
        QDBusMessage reply = m_bus.call(msg, QDBus::Block, kDeadlineMs);
        return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
    }

    std::optional<std::vector<RASCONN>> EnumConnections() override {
        const auto deadline = SteadyClock::now() + kServiceDeadline;
        auto paths = ActivePaths(deadline);
        if (!paths)
            return std::nullopt;
        std::vector<RASCONN> active;
        for (const QString& path : *paths) {
            QDBusMessage reply = GetAll(path, kActiveIface, deadline);
            if (reply.type() == QDBusMessage::ErrorMessage) {
                if (IsGone(reply.errorName()))
                    continue; // ended between the two questions
                Report("Id of " + Utf8(path), reply);
                return std::nullopt;
            }
            const QVariantMap properties = qdbus_cast<QVariantMap>(reply.arguments().value(0));
            const QString id = properties.value(QStringLiteral("Id")).toString();
            if (IsLoopback(id, properties.value(QStringLiteral("Type")).toString()))
                continue;
            active.push_back({m_handles.Handle(path), Utf8(id)});
        }
        return active;
    }

    bool HangUp(HRASCONN handle) override {
        const auto path = m_handles.Find(handle);
        if (!path)
            return true;
        const auto deadline = SteadyClock::now() + kServiceDeadline;
        NmStateWatch watch;
        Subscribe(watch);
        QDBusMessage msg = QDBusMessage::createMethodCall(kService, kManagerPath, kManagerIface,
                                                          QStringLiteral("DeactivateConnection"));
        msg << QVariant::fromValue(QDBusObjectPath(*path));
        QDBusMessage reply = m_bus.call(msg, QDBus::Block, Remaining(deadline));
        if (reply.type() == QDBusMessage::ErrorMessage)
            Report("DeactivateConnection", reply); // perhaps ended already: the list decides
        // Read once, for a connection that went before the watch was connected; from then on the
        // manager's signal tells.
        const auto paths = ActivePaths(deadline);
        if (paths && !paths->contains(*path))
            return true;
        return WaitFor(&watch, nullptr, nullptr, deadline, [&] {
                   const auto& list = watch.ActiveList();
                   return list && !list->contains(*path);
               }) == Wake::Done;
    }

    DialOutcome Dial(const std::string& entry, const CancelToken& cancel,
                     const DialProgress& progress) override {
        if (progress)
            progress(FormatResourceString(IDS_DIAL_DIALING, {entry}));
        QString connection;
        std::string error;
        switch (FindSavedConnection(entry, cancel, connection, error)) {
        case Lookup::Cancelled:
            return DialOutcome::Cancel();
        case Lookup::NoAnswer:
            return DialOutcome::Fail(LoadResourceString(IDS_NM_NO_ANSWER), error);
        case Lookup::Done:
            break;
        }
        if (connection.isEmpty())
            return DialOutcome::Fail(UnknownConnectionText(entry));

        // Connected before the call: a failure that follows its answer at once keeps its reason.
        NmStateWatch watch;
        Subscribe(watch);

        QDBusMessage msg = QDBusMessage::createMethodCall(kService, kManagerPath, kManagerIface,
                                                          QStringLiteral("ActivateConnection"));
        msg << QVariant::fromValue(QDBusObjectPath(connection))
            << QVariant::fromValue(QDBusObjectPath(QStringLiteral("/")))
            << QVariant::fromValue(QDBusObjectPath(QStringLiteral("/")));
        QDBusPendingCallWatcher call(
            m_bus.asyncCall(msg, static_cast<int>(kActivateDeadline.count())));
        // Qt ends the call with an error at kActivateDeadline; the margin lets that error come.
        const Wake answered = WaitFor(&watch, &call, &cancel,
                                      SteadyClock::now() + kActivateDeadline + kServiceDeadline,
                                      [&] { return call.isFinished(); });
        if (answered == Wake::Cancelled) {
            DeactivateWhenAnswered(call, watch);
            return DialOutcome::Cancel();
        }
        if (answered == Wake::Expired)
            return Failure(LoadResourceString(IDS_NM_NO_ANSWER), "ActivateConnection", "no answer");
        const QDBusMessage reply = call.reply();
        if (reply.type() != QDBusMessage::ReplyMessage)
            return Refused(entry, reply);
        const QString active = qdbus_cast<QDBusObjectPath>(reply.arguments().value(0)).path();
        return FollowActivation(entry, active, watch, cancel, progress);
    }

private:
    static constexpr int kDeadlineMs = static_cast<int>(kServiceDeadline.count());
    static inline std::atomic<int> s_count{0};

    static QDBusConnection Connect(const QString& name) {
        return QDBusConnection::connectToBus(QString::fromStdString(SystemBusAddress()), name);
    }

    static QVariant Unwrap(const QDBusMessage& reply) {
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }

    static std::string ErrorText(const QDBusMessage& reply) {
        return Utf8(reply.errorName()) + ": " + Utf8(reply.errorMessage());
    }

    // Passes the service's error to the diagnostics and returns it.
    static std::string Report(const std::string& what, const QDBusMessage& reply) {
        std::string text = ErrorText(reply);
        DiagnoseFormat("Quillmere: NetworkManager %s: %s", what.c_str(), text.c_str());
        return text;
    }

    // The sentence for the dial dialog; what the service said goes to the tooltip and the
    // diagnostics.
    static DialOutcome Failure(std::string sentence, const std::string& what, std::string detail) {
        DiagnoseFormat("Quillmere: NetworkManager %s: %s", what.c_str(), detail.c_str());
        return DialOutcome::Fail(std::move(sentence), std::move(detail));
    }

    // The loopback device shows as a connection that is always up: it is never the user's.
    // NetworkManager before 1.42 gives it the generic type.
    static bool IsLoopback(const QString& id, const QString& type) {
        return type == QLatin1String("loopback") ||
               (type == QLatin1String("generic") && id == QLatin1String("lo"));
    }

    // Every active connection's StateChanged, every device's StateChanged and the manager's
    // PropertiesChanged, whatever the path: the watch sorts them out.
    void Subscribe(NmStateWatch& watch) {
        const bool all =
            m_bus.connect(kService, QString(), kActiveIface, QStringLiteral("StateChanged"), &watch,
                          SLOT(OnActiveStateChanged(QDBusMessage))) &&
            m_bus.connect(kService, QString(), kDeviceIface, QStringLiteral("StateChanged"), &watch,
                          SLOT(OnDeviceStateChanged(QDBusMessage))) &&
            m_bus.connect(kService, kManagerPath, kProperties, QStringLiteral("PropertiesChanged"),
                          &watch, SLOT(OnManagerPropertiesChanged(QDBusMessage)));
        if (!all) // the waits then end at their deadlines
            DiagnoseFormat("Quillmere: NetworkManager: signals not connected: %s",
                           Utf8(m_bus.lastError().message()).c_str());
    }

    DialOutcome Refused(const std::string& entry, const QDBusMessage& reply) {
        const QString name = reply.errorName();
        int sentence = IDS_NM_REFUSED;
        if (IsRefusal(name))
            sentence = IDS_NM_NOT_AUTHORISED;
        else if (name == QLatin1String("org.freedesktop.NetworkManager.UnknownDevice"))
            sentence = reply.errorMessage().contains(QLatin1String("no carrier"))
                           ? IDS_NM_NO_CARRIER
                           : IDS_NM_NO_DEVICE;
        else if (name == QLatin1String("org.freedesktop.NetworkManager.UnknownConnection"))
            return Failure(UnknownConnectionText(entry), "ActivateConnection", ErrorText(reply));
        else if (name == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
                 name == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
                 name == QLatin1String("org.freedesktop.DBus.Error.Disconnected"))
            sentence = IDS_NM_NO_ANSWER;
        return Failure(LoadResourceString(sentence), "ActivateConnection", ErrorText(reply));
    }

    // Follows the accepted activation by its signals until it is up, has ended or was cancelled.
    DialOutcome FollowActivation(const std::string& entry, const QString& active,
                                 NmStateWatch& watch, const CancelToken& cancel,
                                 const DialProgress& progress) {
        const std::string what = "activation of \"" + entry + "\"";
        // One read closes the race with a state that was reached before the answer came.
        const auto read =
            Ask(GetAllCall(active, kActiveIface), SteadyClock::now() + kServiceDeadline, cancel);
        if (!read) {
            Deactivate(active);
            return DialOutcome::Cancel();
        }
        unsigned state = kDeactivated;
        QStringList devices;
        if (read->type() == QDBusMessage::ErrorMessage) {
            if (!IsGone(read->errorName())) {
                std::string error = Report("State of " + Utf8(active), *read);
                Deactivate(active);
                return DialOutcome::Fail(LoadResourceString(IDS_NM_NO_ANSWER), std::move(error));
            }
        } else {
            const QVariantMap properties = qdbus_cast<QVariantMap>(read->arguments().value(0));
            state = properties.value(QStringLiteral("State")).toUInt();
            for (const QDBusObjectPath& p :
                 qdbus_cast<QList<QDBusObjectPath>>(properties.value(QStringLiteral("Devices"))))
                devices << p.path();
        }
        const auto deadline = SteadyClock::now() + kActivateDeadline;
        bool announced = false;
        for (;;) {
            if (const auto signalled = watch.State(active))
                state = *signalled;
            const auto& list = watch.ActiveList();
            if (list && !list->contains(active))
                state = kDeactivated;
            if (state == kActivated)
                return DialOutcome::Ok();
            if (state == kDeactivated)
                return Ended(what, active, devices, watch);
            if (state == kActivating && !announced && progress) {
                progress(LoadResourceString(IDS_NM_ACTIVATING));
                announced = true;
            }
            const unsigned seen = state;
            const Wake woken = WaitFor(&watch, nullptr, &cancel, deadline, [&] {
                const auto& now = watch.ActiveList();
                return watch.State(active).value_or(seen) != seen ||
                       (now && !now->contains(active));
            });
            if (woken == Wake::Cancelled) {
                Deactivate(active);
                return DialOutcome::Cancel();
            }
            if (woken == Wake::Expired) {
                Deactivate(active);
                return Failure(NetworkManagerReasonText(kReasonConnectTimeout), what,
                               "not activated within " +
                                   std::to_string(kActivateDeadline.count() / 1000) + " s");
            }
        }
    }

    // The activation ended without the connection coming up: why, as precisely as the service
    // tells. The device's own reason says more than "device disconnected".
    DialOutcome Ended(const std::string& what, const QString& active, const QStringList& devices,
                      NmStateWatch& watch) {
        // DEACTIVATED and its reason come in one signal, before the object goes.
        WaitFor(&watch, nullptr, nullptr, SteadyClock::now() + kServiceDeadline,
                [&] { return watch.EndReason(active).has_value(); });
        const auto reason = watch.EndReason(active);
        if (!reason)
            return Failure(LoadResourceString(IDS_NM_NOT_UP), what, "ended without a reason");
        std::string detail = "StateChanged DEACTIVATED, reason " + ReasonName(*reason);
        if (*reason != kReasonDeviceDisconnected)
            return Failure(NetworkManagerReasonText(*reason), what, detail);
        std::optional<unsigned> deviceReason =
            devices.isEmpty() ? watch.AnyDeviceFailure() : watch.DeviceFailure(devices.front());
        if (deviceReason) {
            const DeviceReason known = KnownDeviceReason(*deviceReason);
            detail += "; device StateChanged, reason " + std::to_string(*deviceReason);
            if (known.sentence)
                return Failure(LoadResourceString(known.sentence), what,
                               detail + " (" + known.name + ")");
        } else if (!devices.isEmpty() && !HasCarrier(devices.front())) {
            // Waiting for a carrier that did not come ends the same way, with no word from
            // the device.
            return Failure(LoadResourceString(IDS_NM_NO_CARRIER), what,
                           detail + "; device Carrier false");
        }
        return Failure(NetworkManagerReasonText(*reason), what, detail);
    }

    // The NMDeviceStateReason values that say more than the active connection's reason.
    struct DeviceReason {
        const char* name;
        int sentence; // 0: none
    };
    static DeviceReason KnownDeviceReason(unsigned reason) {
        switch (reason) {
        case 5: // no address came, a DHCP time-out among others
            return {"IP_CONFIG_UNAVAILABLE", IDS_NM_NO_ADDRESS};
        case 15:
            return {"DHCP_START_FAILED", IDS_NM_NO_ADDRESS};
        case 16:
            return {"DHCP_ERROR", IDS_NM_NO_ADDRESS};
        case 17:
            return {"DHCP_FAILED", IDS_NM_NO_ADDRESS};
        case 40:
            return {"CARRIER", IDS_NM_NO_CARRIER};
        }
        return {"", 0};
    }

    // False only when the device says it has none; a device without the property counts as
    // having one.
    bool HasCarrier(const QString& device) {
        QDBusMessage reply = GetProperty(device, kWiredIface, QStringLiteral("Carrier"),
                                         SteadyClock::now() + kServiceDeadline);
        return reply.type() != QDBusMessage::ReplyMessage || Unwrap(reply).toBool();
    }

    QDBusMessage GetProperty(const QString& path, const QString& iface, const QString& name,
                             SteadyClock::time_point deadline) {
        QDBusMessage msg =
            QDBusMessage::createMethodCall(kService, path, kProperties, QStringLiteral("Get"));
        msg << iface << name;
        return m_bus.call(msg, QDBus::Block, Remaining(deadline));
    }

    static QDBusMessage GetAllCall(const QString& path, const QString& iface) {
        QDBusMessage msg =
            QDBusMessage::createMethodCall(kService, path, kProperties, QStringLiteral("GetAll"));
        msg << iface;
        return msg;
    }

    QDBusMessage GetAll(const QString& path, const QString& iface,
                        SteadyClock::time_point deadline) {
        return m_bus.call(GetAllCall(path, iface), QDBus::Block, Remaining(deadline));
    }

    std::optional<QStringList> ActivePaths(SteadyClock::time_point deadline) {
        QDBusMessage reply =
            GetProperty(kManagerPath, kManagerIface, QStringLiteral("ActiveConnections"), deadline);
        if (reply.type() != QDBusMessage::ReplyMessage) {
            Report("ActiveConnections", reply);
            return std::nullopt;
        }
        QStringList paths;
        const QDBusArgument arg = Unwrap(reply).value<QDBusArgument>();
        for (const QDBusObjectPath& p : qdbus_cast<QList<QDBusObjectPath>>(arg))
            paths << p.path();
        return paths;
    }

    // The call, its answer awaited within the deadline on this thread's events, which the cancel
    // ends: nothing then. No answer in time is NoReply (Qt's own time-out comes later).
    std::optional<QDBusMessage> Ask(const QDBusMessage& msg, SteadyClock::time_point deadline,
                                    const CancelToken& cancel) {
        QDBusPendingCallWatcher call(m_bus.asyncCall(msg, Remaining(deadline) + 1000));
        if (WaitFor(nullptr, &call, &cancel, deadline, [&] { return call.isFinished(); }) ==
            Wake::Cancelled)
            return std::nullopt;
        if (!call.isFinished())
            return msg.createErrorReply(
                QStringLiteral("org.freedesktop.DBus.Error.NoReply"),
                QStringLiteral("no answer within %1 s").arg(kServiceDeadline.count() / 1000));
        return call.reply();
    }

    enum class Lookup { Done, NoAnswer, Cancelled };

    // The saved connection whose Id is the entry (FindEntry, one of them only when they differ in
    // case), or none. Every connection is asked: one that does not answer may be the one named,
    // so that the lookup then has no answer rather than no connection.
    Lookup FindSavedConnection(const std::string& entry, const CancelToken& cancel, QString& found,
                               std::string& error) {
        const auto deadline = SteadyClock::now() + kServiceDeadline;
        const auto list =
            Ask(QDBusMessage::createMethodCall(kService, kSettingsPath, kSettingsIface,
                                               QStringLiteral("ListConnections")),
                deadline, cancel);
        if (!list)
            return Lookup::Cancelled;
        if (list->type() != QDBusMessage::ReplyMessage) {
            error = "ListConnections: " + Report("ListConnections", *list);
            return Lookup::NoAnswer;
        }
        std::vector<std::pair<QString, std::string>> ids; // path, Id
        for (const QDBusObjectPath& p :
             qdbus_cast<QList<QDBusObjectPath>>(list->arguments().value(0))) {
            const auto settings =
                Ask(QDBusMessage::createMethodCall(kService, p.path(), kConnectionIface,
                                                   QStringLiteral("GetSettings")),
                    deadline, cancel);
            if (!settings)
                return Lookup::Cancelled;
            if (settings->type() != QDBusMessage::ReplyMessage) {
                const std::string what = "GetSettings of " + Utf8(p.path());
                if (IsGone(settings->errorName()) || IsRefusal(settings->errorName())) {
                    Report(what, *settings); // removed meanwhile, or not the user's to see
                    continue;
                }
                error = what + ": " + Report(what, *settings);
                return Lookup::NoAnswer;
            }
            const auto map = qdbus_cast<NmSettings>(settings->arguments().value(0));
            ids.emplace_back(p.path(), Utf8(map.value(QStringLiteral("connection"))
                                                .value(QStringLiteral("id"))
                                                .toString()));
        }
        const auto match = FindEntry(ids, entry, CaseFolded::Only,
                                     [](const auto& id) -> std::string_view { return id.second; });
        if (match != ids.end())
            found = match->first;
        return Lookup::Done;
    }

    // Cancelled while the activation is still pending: the service may already be bringing the
    // connection up, and it must not stay up behind the user's back. Takes the answer, within
    // the service deadline, and deactivates what it names.
    void DeactivateWhenAnswered(QDBusPendingCallWatcher& call, NmStateWatch& watch) {
        WaitFor(&watch, &call, nullptr, SteadyClock::now() + kServiceDeadline,
                [&] { return call.isFinished(); });
        const QDBusMessage reply = call.reply();
        if (call.isFinished() && reply.type() == QDBusMessage::ReplyMessage)
            Deactivate(qdbus_cast<QDBusObjectPath>(reply.arguments().value(0)).path());
    }

    void Deactivate(const QString& active) {
        QDBusMessage msg = QDBusMessage::createMethodCall(kService, kManagerPath, kManagerIface,
                                                          QStringLiteral("DeactivateConnection"));
        msg << QVariant::fromValue(QDBusObjectPath(active));
        m_bus.call(msg, QDBus::Block, kDeadlineMs);
    }

    const QString m_name;
    QDBusConnection m_bus;
    HandleTable<QString> m_handles;
};

} // namespace

std::string NetworkManagerReasonText(unsigned reason) {
    std::string text =
        reason <= kLastReason ? LoadResourceString(IDS_NM_REASON + static_cast<int>(reason)) : "";
    return text.empty() ? LoadResourceString(IDS_NM_NOT_UP) : text;
}

std::shared_ptr<IDialupService> MakeNetworkManagerService() {
    if (!QCoreApplication::instance())
        return nullptr; // Qt's D-Bus needs the caller's application object
    static const bool registered = [] {
        qDBusRegisterMetaType<NmSettings>();
        return true;
    }();
    (void)registered;
    // Only a bus that has just answered gets a Qt connection: Qt connects on its own thread and
    // waits for it without a deadline of ours.
    const BusProbeResult probe = ProbeBus(SystemBusAddress(), Utf8(kService), kBusProbeDeadline);
    if (probe.connected && !probe.answered)
        DiagnoseFormat("Quillmere: NetworkManager not used: system bus: %s", probe.reason.c_str());
    if (!probe.hasOwner)
        return nullptr;
    auto service = std::make_shared<NetworkManagerService>();
    return service->Reachable() ? service : nullptr;
}

void InstallNetworkManagerBackend(DialupBackends& backends) {
    backends.Register("networkmanager",
                      [](const std::string&, std::string&) { return MakeNetworkManagerService(); });
}
