// Receives an active connection's StateChanged signal, which carries why an activation ended.
#pragma once

#include <QObject>

class NmStateWatch : public QObject {
    Q_OBJECT
public:
    bool HasReason() const { return m_hasReason; }
    unsigned Reason() const { return m_reason; }

public slots:
    void OnStateChanged(uint state, uint reason) {
        if (state == 4) { // deactivated
            m_hasReason = true;
            m_reason = reason;
        }
    }

private:
    bool m_hasReason = false;
    unsigned m_reason = 0;
};
