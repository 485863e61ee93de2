// The Anschlüsse dialog as Qt widgets: editable boxes a user can type into, lists that follow
// the devices, and OK storing what was typed.
#include "../support/fake_port_discovery.h"
#include "dialog/ports_dialog.h"
#include "qt_fixture.h"
#include "res/resource.h"
#include "res/resources.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

TEST_F(QtHostTest, ThePortsDialogTakesTypedPathsWhileTheListsFollowTheDevices) {
    const SerialDevice ftdi =
        Device("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3D4-if00-port0", "/dev/ttyUSB0",
               "ftdi_sio", "FT232R USB UART");
    const SerialDevice acm =
        Device("/dev/serial/by-id/usb-Quill_Modem-if00", "/dev/ttyACM0", "cdc_acm");
    const QString ftdiText = QString::fromStdString(ftdi.path) + " (FT232R USB UART)";
    FakePortDiscovery discovery({ftdi});
    MemoryProfileStore ports; // of its own: the fixture's maps every port to none
    ports.Write("Ports", "COM3", ftdi.path);
    CDialog owner(host, LoadDialogTemplate(IDD_ABOUT)); // never shown
    CPortsDialog dlg(owner, ports, discovery, &LoadResourceString);

    const int result = RunDialog(dlg, [&](DialogWindow& w) {
        w.show();
        EXPECT_EQ(w.windowTitle(), "Anschlüsse");
        std::vector<QComboBox*> boxes;
        for (const char* name :
             {"IDC_PORT_COM1", "IDC_PORT_COM2", "IDC_PORT_COM3", "IDC_PORT_COM4"})
            boxes.push_back(Find<QComboBox>(w, name));
        for (QComboBox* box : boxes) {
            ASSERT_NE(box, nullptr);
            EXPECT_TRUE(box->isEditable());
            EXPECT_TRUE(w.rect().contains(box->geometry())) << box->objectName().toStdString();
        }
        EXPECT_EQ(boxes[0]->currentText(), "Standard: " + ftdiText);
        EXPECT_EQ(boxes[2]->currentText(), ftdiText);
        EXPECT_EQ(boxes[2]->count(), 2) << "the default, then the device";

        boxes[3]->lineEdit()->setFocus();
        boxes[3]->lineEdit()->selectAll();
        QTest::keyClicks(boxes[3]->lineEdit(), "/dev/ttyUSB5");
        QTest::keyClick(boxes[3]->lineEdit(), Qt::Key_Tab);
        EXPECT_EQ(boxes[3]->count(), 2) << "typing adds nothing to the list";

        ASSERT_TRUE(discovery.WaitForWaiters(1));
        discovery.Change({ftdi, acm});
        ASSERT_TRUE(ServeUntil([&] { return boxes[0]->count() == 3; }));
        EXPECT_EQ(boxes[3]->currentText(), "/dev/ttyUSB5");
        // Kept, and said to be missing beside the row, readable whole.
        auto* missing = Find<QLabel>(w, "IDC_PORT_MISSING4");
        ASSERT_NE(missing, nullptr);
        EXPECT_EQ(missing->text(), "nicht vorhanden");
        EXPECT_TRUE(w.rect().contains(missing->geometry()));
        EXPECT_FALSE(missing->geometry().intersects(boxes[3]->geometry()));
        EXPECT_GE(missing->width(), missing->sizeHint().width());
        EXPECT_TRUE(SaveScreenshot(w, "ports.png"));

        Find<QPushButton>(w, "IDOK")->click();
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(ports.writes,
              (std::vector<std::string>{"Ports/COM3=" + ftdi.path, "Ports/COM4=/dev/ttyUSB5"}));
}
