#include "platform/qt/qt_tone.h"

#include "platform/diagnostics.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>
#include <QMetaObject>
#include <QTimer>

namespace {

// 40 ms: a new pitch is heard within one buffer of being set, and a loaded machine does not
// starve the sink.
constexpr int kBufferBytes = ToneSynth::kSampleRate / 25 * 2;
// The sink is topped up this often, on the tone's thread.
constexpr int kFeedMs = 5;

} // namespace

QtTone::QtTone() {
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        m_unavailable = "no audio output device";
        return;
    }
    QAudioFormat format;
    format.setSampleRate(ToneSynth::kSampleRate);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format)) {
        m_unavailable = "the audio output " + device.description().toStdString() +
                        " does not take 48 kHz mono 16 bit";
        return;
    }
    m_thread.setObjectName(QStringLiteral("tone"));
    m_onThread.moveToThread(&m_thread);
    m_thread.start();
    // Made on the thread that pulls: the sink's timer and readData run there.
    QMetaObject::invokeMethod(
        &m_onThread,
        [this, device, format] {
            m_sink = new QAudioSink(device, format);
            m_sink->setBufferSize(kBufferBytes);
            m_feed = new QTimer;
            m_feed->setTimerType(Qt::PreciseTimer);
            QObject::connect(m_feed, &QTimer::timeout, m_feed, [this] { Feed(); });
            // Opening the server's stream takes a second or more: it is opened here, once the
            // user wants the tone, and plays silence until a test runs.
            m_out = m_sink->start();
            if (!m_out) {
                m_unavailable = "the audio output " + device.description().toStdString() +
                                " does not start (error " +
                                std::to_string(static_cast<int>(m_sink->error())) + ")";
                return;
            }
            Feed();
            m_feed->start(kFeedMs);
        },
        Qt::BlockingQueuedConnection);
}

QtTone::~QtTone() {
    if (!m_thread.isRunning())
        return;
    QMetaObject::invokeMethod(
        &m_onThread,
        [this] {
            delete m_feed;
            m_sink->stop();
            delete m_sink;
        },
        Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
}

void QtTone::Set(int hz, bool pulsed) {
    m_synth.Set(hz, pulsed); // the next feed, at most 5 ms away, plays it
}

// Tops the sink's buffer up with fresh samples: at most one buffer ahead of what is heard.
void QtTone::Feed() {
    const qsizetype free = m_sink->bytesFree() / 2;
    if (free <= 0)
        return;
    m_samples.resize(static_cast<std::size_t>(free));
    m_synth.Fill(m_samples.data(), m_samples.size());
    m_out->write(reinterpret_cast<const char*>(m_samples.data()), free * 2);
}
