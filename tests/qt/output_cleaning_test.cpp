// Text from outside (a USB device's name, a service's error) on its way out: no control character
// reaches a terminal, every record stays one line, and no tooltip renders it as markup.
#include "../support/fake_port_discovery.h"
#include "app/port_listing.h"
#include "platform/diagnostics.h"
#include "platform/transcript.h"
#include "qt_fixture.h"
#include "res/resource.h"

#include <QLabel>
#include <QTextDocument>

TEST_F(QtHostTest, OutsideTextReachesNoTerminalAsControlsAndNoTooltipAsMarkup) {
    const struct {
        std::string outside, printed;
    } cases[] = {
        {"FT232R\x1b]0;pwned\x07\x1b[2J", "FT232R\\x1b]0;pwned\\x07\\x1b[2J"}, // title, clear
        {"failed\r\nQuillmere: all good", "failed\\r\\nQuillmere: all good"},  // a forged line
        {"a\u0085b\u009b2J", "a\\u0085b\\u009b2J"},                            // C1
        {"a\u2028b\u2029c", "a\\u2028b\\u2029c"},
        {"a\vb\fc\td\x7f", "a\\x0bb\\x0cc\\td\\x7f"},
        {"x\x9b!", "x\\x9b!"}, // a C1 byte that is no UTF-8
        {"<b>Größe</b> &amp; <br>", "<b>Größe</b> &amp; <br>"},
    };
    RunProgram([&](CLinkControlDialog& dlg, DialogWindow& w) {
        for (const auto& c : cases) {
            SerialDevice device = Device("/dev/serial/by-id/usb-x", "/dev/ttyUSB0", "ftdi_sio");
            device.product = c.outside;
            const std::string listing = PortListing(*store, {device});
            EXPECT_EQ(listing.substr(0, listing.find("\nCOM1")),
                      "device\t/dev/serial/by-id/usb-x\t/dev/ttyUSB0\tftdi_sio\t\t\t\t" +
                          c.printed);
            EXPECT_EQ(DiagnosticText("Quillmere: " + c.outside), "Quillmere: " + c.printed + "\n");
            EXPECT_EQ(transcript::Quote(c.outside), "\"" + c.printed + "\"");

            // What a tooltip shows, as QToolTip decides between rich and plain text.
            const std::string tip = "COM1: " + c.outside + "\nzweite Zeile";
            host.SetToolTip(dlg, IDC_STATUS, tip);
            const QString shown = Find<QLabel>(w, "IDC_STATUS")->toolTip();
            QTextDocument rendered, plain;
            Qt::mightBeRichText(shown) ? rendered.setHtml(shown) : rendered.setPlainText(shown);
            plain.setPlainText(QString::fromStdString(tip));
            EXPECT_EQ(rendered.toPlainText().toStdString(), plain.toPlainText().toStdString());
        }
    });
}
