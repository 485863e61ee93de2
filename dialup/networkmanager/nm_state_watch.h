// What NetworkManager's signals said, kept on the thread that waits for them: the states of the
// active connections and why each ended, why a device gave up, and the list of active
// connections. Connected before the call whose outcome they tell, so that no early word is lost.
#pragma once

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QMap>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

#include <optional>

class NmStateWatch : public QObject {
    Q_OBJECT
public:
    static constexpr unsigned kDeactivated = 4; // NMActiveConnectionState
    static constexpr unsigned kDeviceUnavailable = 20, kDeviceFailed = 120; // NMDeviceState

    // The last state StateChanged gave the active connection; nothing before the first.
    std::optional<unsigned> State(const QString& active) const {
        const auto it = m_states.find(active);
        return it == m_states.end() ? std::nullopt : std::optional(it->first);
    }
    // The reason that came with DEACTIVATED.
    std::optional<unsigned> EndReason(const QString& active) const {
        const auto it = m_states.find(active);
        if (it == m_states.end() || it->first != kDeactivated)
            return std::nullopt;
        return it->second;
    }
    // The reason of the device's last fall to FAILED or UNAVAILABLE.
    std::optional<unsigned> DeviceFailure(const QString& device) const {
        const auto it = m_deviceFailures.find(device);
        return it == m_deviceFailures.end() ? std::nullopt : std::optional(*it);
    }
    // Any device's, for an activation whose devices could not be read.
    std::optional<unsigned> AnyDeviceFailure() const { return m_lastDeviceFailure; }
    // The manager's ActiveConnections as its last PropertiesChanged gave them.
    const std::optional<QStringList>& ActiveList() const { return m_active; }

signals:
    void Changed();

public slots:
    void OnActiveStateChanged(const QDBusMessage& msg) {
        const QVariantList args = msg.arguments();
        m_states[msg.path()] = {args.value(0).toUInt(), args.value(1).toUInt()};
        emit Changed();
    }
    void OnDeviceStateChanged(const QDBusMessage& msg) {
        const QVariantList args = msg.arguments(); // new state, old state, reason
        const unsigned state = args.value(0).toUInt();
        if (state == kDeviceFailed || state == kDeviceUnavailable) {
            m_deviceFailures[msg.path()] = args.value(2).toUInt();
            m_lastDeviceFailure = args.value(2).toUInt();
        }
        emit Changed();
    }
    void OnManagerPropertiesChanged(const QDBusMessage& msg) {
        const QVariantMap changed = qdbus_cast<QVariantMap>(msg.arguments().value(1));
        const auto it = changed.find(QStringLiteral("ActiveConnections"));
        if (it == changed.end())
            return;
        QStringList paths;
        for (const QDBusObjectPath& p : qdbus_cast<QList<QDBusObjectPath>>(*it))
            paths << p.path();
        m_active = paths;
        emit Changed();
    }

private:
    QMap<QString, std::pair<unsigned, unsigned>> m_states; // state, reason
    QMap<QString, unsigned> m_deviceFailures;
    std::optional<unsigned> m_lastDeviceFailure;
    std::optional<QStringList> m_active;
};
