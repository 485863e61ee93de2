// The reference for the start-up measurement: a bare Qt dialog with about as many widgets as
// the main dialog, stamped at its first paint the same way (QUILLMERE_BENCH_FIRST_PAINT).
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

#include <cstdlib>
#include <ctime>
#include <string>
#include <unistd.h>

namespace {

class FirstPaintStamp : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            timespec ts{};
            ::clock_gettime(CLOCK_MONOTONIC, &ts);
            const std::string line =
                "first-paint " + std::to_string(ts.tv_sec * 1000000000LL + ts.tv_nsec) + "\n";
            if (const char* fd = std::getenv("QUILLMERE_BENCH_FIRST_PAINT")) [[maybe_unused]]
                ssize_t n = ::write(std::atoi(fd), line.data(), line.size());
            watched->removeEventFilter(this);
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Bare"));
    auto* grid = new QGridLayout(&dialog);
    auto* port = new QComboBox;
    port->addItems({"COM1:", "COM2:", "COM3:", "COM4:"});
    auto* baud = new QComboBox;
    baud->addItems({"19200", "38400", "57600", "115200"});
    auto* sensitivity = new QComboBox;
    sensitivity->addItems({"niedrig", "mittel", "hoch"});
    grid->addWidget(new QLabel(QStringLiteral("Port:")), 0, 0);
    grid->addWidget(port, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("Baudrate:")), 1, 0);
    grid->addWidget(baud, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Empfindlichkeit:")), 2, 0);
    grid->addWidget(sensitivity, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("Verbindung:")), 3, 0);
    grid->addWidget(new QLineEdit, 3, 1);
    grid->addWidget(new QLabel(QStringLiteral("Programm:")), 4, 0);
    grid->addWidget(new QLineEdit, 4, 1);
    grid->addWidget(new QPushButton(QStringLiteral("...")), 4, 2);
    grid->addWidget(new QCheckBox(QStringLiteral("unsichtbar")), 5, 1);
    auto* bar = new QProgressBar;
    bar->setRange(0, 256);
    grid->addWidget(bar, 6, 0, 1, 3);
    grid->addWidget(new QLabel, 7, 0, 1, 3);
    grid->addWidget(new QPushButton(QStringLiteral("Konfigurieren")), 8, 0);
    grid->addWidget(new QPushButton(QStringLiteral("Testen")), 8, 1);
    grid->addWidget(new QPushButton(QStringLiteral("Verbinden")), 8, 2);
    grid->addWidget(new QPushButton(QStringLiteral("Speichern")), 9, 0);
    grid->addWidget(new QPushButton(QStringLiteral("Beenden")), 9, 2);
    FirstPaintStamp stamp;
    dialog.installEventFilter(&stamp);
    return dialog.exec();
}
