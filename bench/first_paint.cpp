// The start-up measurement's stamp, preloaded (LD_PRELOAD) into the program it measures, so that
// the program itself carries nothing for it: when the program makes its QApplication, an event
// filter goes onto the whole application, and the first paint of a top-level window writes
// "first-paint <ns>\n", CLOCK_MONOTONIC, to the descriptor numbered by
// QUILLMERE_BENCH_FIRST_PAINT. Without the variable nothing is installed.
#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include <cstdlib>
#include <ctime>
#include <string>
#include <unistd.h>

namespace {

class FirstPaintStamp : public QObject {
public:
    explicit FirstPaintStamp(int fd) : QObject(QCoreApplication::instance()), m_fd(fd) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->isWindow()) {
            timespec ts{};
            ::clock_gettime(CLOCK_MONOTONIC, &ts);
            const std::string line =
                "first-paint " + std::to_string(ts.tv_sec * 1000000000LL + ts.tv_nsec) + "\n";
            [[maybe_unused]] ssize_t n = ::write(m_fd, line.data(), line.size());
            QCoreApplication::instance()->removeEventFilter(this);
            deleteLater();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    int m_fd;
};

void InstallFirstPaintStamp() {
    const char* fd = std::getenv("QUILLMERE_BENCH_FIRST_PAINT");
    if (!fd || !*fd)
        return;
    QCoreApplication::instance()->installEventFilter(new FirstPaintStamp(std::atoi(fd)));
}

} // namespace

// Runs in QCoreApplication's constructor, whichever program made it.
Q_COREAPP_STARTUP_FUNCTION(InstallFirstPaintStamp)
