#include "dialup/networkmanager/nm_service.h"

#include "dialup/entry_name.h"
#include "dialup/handle_table.h"
#include "dialup/networkmanager/bus_probe.h"
#include "dialup/networkmanager/nm_state_watch.h"
#include "dialup/service_binding.h"
#include "platform/cancel_token.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QEventLoop>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <poll.h>

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
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");

constexpr unsigned kActivating = 1, kActivated = 2, kDeactivated = 4;

// How long the start waits for the bus: the main window must not wait for a frozen bus daemon.
constexpr std::chrono::milliseconds kBusProbeDeadline{800};

// How long NetworkManager may take to answer ActivateConnection: the system's authorisation
// service may ask the user first.
constexpr std::chrono::milliseconds kActivateDeadline{120000};

std::string Utf8(const QString& s) {
    return s.toUtf8().toStdString();
}

int Remaining(SteadyClock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    return static_cast<int>(std::max<long long>(left.count(), 1));
}

// Waits up to ms for the cancel; true when it came.
bool CancelledWithin(const CancelToken& cancel, int ms) {
    pollfd pfd{cancel.Fd(), POLLIN, 0};
    ::poll(&pfd, 1, ms);
    return cancel.IsCancelled();
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
            QDBusMessage reply = GetProperty(path, kActiveIface, QStringLiteral("Id"), deadline);
            if (reply.type() == QDBusMessage::ErrorMessage) {
                if (IsGone(reply.errorName()))
                    continue; // ended between the two questions
                Report("Id of " + Utf8(path), reply);
                return std::nullopt;
            }
            active.push_back({m_handles.Handle(path), Utf8(Unwrap(reply).toString())});
        }
        return active;
    }

    bool HangUp(HRASCONN handle) override {
        const auto path = m_handles.Find(handle);
        if (!path)
            return true;
        const auto deadline = SteadyClock::now() + kServiceDeadline;
        QDBusMessage msg = QDBusMessage::createMethodCall(kService, kManagerPath, kManagerIface,
                                                          QStringLiteral("DeactivateConnection"));
        msg << QVariant::fromValue(QDBusObjectPath(*path));
        QDBusMessage reply = m_bus.call(msg, QDBus::Block, Remaining(deadline));
        if (reply.type() == QDBusMessage::ErrorMessage)
            Report("DeactivateConnection", reply); // perhaps ended already: the list decides
        while (SteadyClock::now() < deadline) {
            auto paths = ActivePaths(deadline);
            if (paths && !paths->contains(*path))
                return true;
            ::poll(nullptr, 0, 50);
        }
        return false;
    }

    DialOutcome Dial(const std::string& entry, const CancelToken& cancel,
                     const DialProgress& progress) override {
        if (progress)
            progress("Wähle " + entry + "...");
        const auto deadline = SteadyClock::now() + kServiceDeadline;
        QString connection;
        if (!FindSavedConnection(entry, deadline, connection))
            return DialOutcome::Fail("Der NetworkManager gibt keine Auskunft.");
        if (connection.isEmpty())
            return DialOutcome::Fail("Der NetworkManager kennt keine Verbindung \"" + entry +
                                     "\".");

        // Signals reach this thread only through an event loop of its own.
        QEventLoop events;
        NmStateWatch watch;

        QDBusMessage msg = QDBusMessage::createMethodCall(kService, kManagerPath, kManagerIface,
                                                          QStringLiteral("ActivateConnection"));
        msg << QVariant::fromValue(QDBusObjectPath(connection))
            << QVariant::fromValue(QDBusObjectPath(QStringLiteral("/")))
            << QVariant::fromValue(QDBusObjectPath(QStringLiteral("/")));
        QDBusPendingCall pending =
            m_bus.asyncCall(msg, static_cast<int>(kActivateDeadline.count()));
        while (!pending.isFinished()) {
            if (CancelledWithin(cancel, 20)) {
                DeactivateWhenAnswered(pending, events);
                return DialOutcome::Cancel();
            }
            events.processEvents();
        }
        const QDBusMessage reply = pending.reply();
        if (reply.type() != QDBusMessage::ReplyMessage) {
            Report("ActivateConnection", reply);
            if (IsRefusal(reply.errorName()))
                return DialOutcome::Fail("Keine Berechtigung: Die Rechteverwaltung des Systems "
                                         "hat das Verbinden abgelehnt.");
            return DialOutcome::Fail("Der NetworkManager hat das Verbinden abgelehnt.");
        }
        const QString active = qdbus_cast<QDBusObjectPath>(reply.arguments().value(0)).path();
        m_bus.connect(kService, active, kActiveIface, QStringLiteral("StateChanged"), &watch,
                      SLOT(OnStateChanged(uint, uint)));

        bool announced = false;
        for (;;) {
            events.processEvents();
            const auto stepDeadline = SteadyClock::now() + kServiceDeadline;
            QDBusMessage state =
                GetProperty(active, kActiveIface, QStringLiteral("State"), stepDeadline);
            unsigned value = kDeactivated;
            if (state.type() == QDBusMessage::ErrorMessage) {
                if (!IsGone(state.errorName())) {
                    Report("State of " + Utf8(active), state);
                    Deactivate(active);
                    return DialOutcome::Fail("Der NetworkManager gibt keine Auskunft.");
                }
            } else {
                value = Unwrap(state).toUInt();
            }
            if (value == kActivated)
                return DialOutcome::Ok();
            if (value == kDeactivated) {
                events.processEvents(); // a StateChanged that came with it
                return DialOutcome::Fail(watch.HasReason()
                                             ? NetworkManagerReasonText(watch.Reason())
                                             : "Die Verbindung ist nicht zustande gekommen.");
            }
            if (value == kActivating && !announced && progress) {
                progress("Verbindung wird aufgebaut...");
                announced = true;
            }
            if (CancelledWithin(cancel, 100)) {
                Deactivate(active);
                return DialOutcome::Cancel();
            }
        }
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

    static void Report(const std::string& what, const QDBusMessage& reply) {
        std::fprintf(stderr, "Quillmere: NetworkManager %s: %s: %s\n", what.c_str(),
                     Utf8(reply.errorName()).c_str(), Utf8(reply.errorMessage()).c_str());
    }

    QDBusMessage GetProperty(const QString& path, const QString& iface, const QString& name,
                             SteadyClock::time_point deadline) {
        QDBusMessage msg =
            QDBusMessage::createMethodCall(kService, path, kProperties, QStringLiteral("Get"));
        msg << iface << name;
        return m_bus.call(msg, QDBus::Block, Remaining(deadline));
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

    // The saved connection whose Id is the entry: the exact name, else the only one that differs
    // in the case of A to Z. False when NetworkManager did not answer.
    bool FindSavedConnection(const std::string& entry, SteadyClock::time_point deadline,
                             QString& found) {
        QDBusMessage list =
            m_bus.call(QDBusMessage::createMethodCall(kService, kSettingsPath, kSettingsIface,
                                                      QStringLiteral("ListConnections")),
                       QDBus::Block, Remaining(deadline));
        if (list.type() != QDBusMessage::ReplyMessage) {
            Report("ListConnections", list);
            return false;
        }
        QStringList folded;
        const auto paths = qdbus_cast<QList<QDBusObjectPath>>(list.arguments().value(0));
        for (const QDBusObjectPath& p : paths) {
            QDBusMessage settings =
                m_bus.call(QDBusMessage::createMethodCall(kService, p.path(), kConnectionIface,
                                                          QStringLiteral("GetSettings")),
                           QDBus::Block, Remaining(deadline));
            if (settings.type() != QDBusMessage::ReplyMessage)
                continue;
            const auto map = qdbus_cast<NmSettings>(settings.arguments().value(0));
            const std::string id = Utf8(
                map.value(QStringLiteral("connection")).value(QStringLiteral("id")).toString());
            if (id == entry) {
                found = p.path();
                return true;
            }
            if (EntryNamesEqual(id, entry))
                folded << p.path();
        }
        if (folded.size() == 1)
            found = folded.front();
        return true;
    }

    // Cancelled while the activation is still pending: the service may already be bringing the
    // connection up, and it must not stay up behind the user's back. Takes the answer, within
    // the service deadline, and deactivates what it names.
    void DeactivateWhenAnswered(QDBusPendingCall& pending, QEventLoop& events) {
        const auto deadline = SteadyClock::now() + kServiceDeadline;
        while (!pending.isFinished() && SteadyClock::now() < deadline) {
            ::poll(nullptr, 0, 10);
            events.processEvents();
        }
        const QDBusMessage reply = pending.reply();
        if (pending.isFinished() && reply.type() == QDBusMessage::ReplyMessage)
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
    switch (reason) {
    case 2:
        return "Die Verbindung wurde getrennt.";
    case 3:
        return "Das Gerät der Verbindung wurde getrennt.";
    case 4:
        return "Der Dienst der Verbindung wurde beendet.";
    case 5:
        return "Die Verbindung hat keine gültige IP-Konfiguration erhalten.";
    case 6:
        return "Die Verbindung kam nicht rechtzeitig zustande.";
    case 7:
    case 8:
        return "Der Dienst der Verbindung konnte nicht gestartet werden.";
    case 9:
        return "Es fehlt ein Kennwort für die Verbindung.";
    case 10:
        return "Die Anmeldung bei der Gegenstelle ist fehlgeschlagen.";
    case 11:
        return "Die Verbindung wurde gelöscht.";
    case 12:
        return "Eine Verbindung, von der sie abhängt, ist fehlgeschlagen.";
    case 13:
    case 14:
        return "Das Gerät der Verbindung ist nicht verfügbar.";
    }
    return "Die Verbindung ist nicht zustande gekommen.";
}

std::shared_ptr<IDialupService> MakeNetworkManagerService() {
    // The program's "/d" start runs without any Qt application object; D-Bus needs one.
    static std::unique_ptr<QCoreApplication> ownApp;
    if (!QCoreApplication::instance()) {
        static int argc = 1;
        static char name[] = "Quillmere";
        static char* argv[] = {name, nullptr};
        ownApp = std::make_unique<QCoreApplication>(argc, argv);
    }
    static const bool registered = [] {
        qDBusRegisterMetaType<NmSettings>();
        return true;
    }();
    (void)registered;
    // Only a bus that has just answered gets a Qt connection: Qt connects on its own thread and
    // waits for it without a deadline of ours.
    const BusProbeResult probe = ProbeBus(SystemBusAddress(), Utf8(kService), kBusProbeDeadline);
    if (probe.connected && !probe.answered)
        std::fprintf(stderr, "Quillmere: NetworkManager not used: system bus: %s\n",
                     probe.reason.c_str());
    if (!probe.hasOwner)
        return nullptr;
    // Should the bus stop answering between the probe and Qt's Hello, libdbus gives up after 25 s
    // and Qt drops the private connection unclosed, which libdbus treats as a fatal misuse and
    // aborts on. Read by libdbus at its first warning; a value the user set stays.
    ::setenv("DBUS_FATAL_WARNINGS", "0", 0);
    auto service = std::make_shared<NetworkManagerService>();
    return service->Reachable() ? service : nullptr;
}

void InstallNetworkManagerBackend(DialupBackends& backends) {
    backends.Register("networkmanager",
                      [](const std::string&, std::string&) { return MakeNetworkManagerService(); });
}
