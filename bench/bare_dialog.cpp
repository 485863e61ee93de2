// The reference for the start-up measurement: a bare Qt dialog with about as many widgets as
// the main dialog. The measurement stamps its first paint as the program's (first_paint.cpp).
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

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
    return dialog.exec();
}
