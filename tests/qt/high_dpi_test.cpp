// The dialogs at the screen scale this process runs with (ctest runs it again with
// QT_SCALE_FACTOR 1.25, 1.5 and 2): every text fits its control, nothing leaves the dialog, and
// nothing overlaps that the template keeps apart.
#include "../support/fake_port_discovery.h"
#include "dialog/ports_dialog.h"
#include "qt_fixture.h"
#include "res/resource.h"
#include "res/resources.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>

#include <algorithm>

namespace {

QString NameOf(const QWidget* w) {
    if (!w->objectName().isEmpty())
        return w->objectName();
    auto* label = qobject_cast<const QLabel*>(w);
    return label ? label->text() : QStringLiteral("?");
}

// Where the text of a button or box is drawn.
QRect TextArea(QAbstractButton* button, QStyle::SubElement element) {
    QStyleOptionButton opt;
    opt.initFrom(button);
    opt.text = button->text();
    return button->style()->subElementRect(element, &opt, button);
}

QRect TextArea(QComboBox* combo) {
    QStyleOptionComboBox opt;
    opt.initFrom(combo);
    opt.editable = combo->isEditable();
    return combo->style()->subControlRect(QStyle::CC_ComboBox, &opt, QStyle::SC_ComboBoxEditField,
                                          combo);
}

// Empty when the text fits the area, else what does not.
QString Misfit(const QRect& area, const QSize& text) {
    if (text.width() <= area.width() && text.height() <= area.height())
        return {};
    return QStringLiteral("needs %1x%2, has %3x%4")
        .arg(text.width())
        .arg(text.height())
        .arg(area.width())
        .arg(area.height());
}

QString TextMisfit(QWidget* w, ControlKind kind) {
    const QFontMetrics fm(w->font());
    switch (kind) {
    case ControlKind::StaticText: {
        auto* label = qobject_cast<QLabel*>(w);
        if (label->wordWrap())
            return label->heightForWidth(label->width()) <= label->height()
                       ? QString()
                       : QStringLiteral("wrapped text too high");
        return Misfit(label->contentsRect(), fm.size(0, label->text()));
    }
    case ControlKind::PushButton:
    case ControlKind::DefPushButton: {
        auto* button = qobject_cast<QPushButton*>(w);
        return Misfit(TextArea(button, QStyle::SE_PushButtonContents),
                      fm.size(Qt::TextShowMnemonic, button->text()));
    }
    case ControlKind::AutoCheckBox: {
        auto* check = qobject_cast<QCheckBox*>(w);
        return Misfit(TextArea(check, QStyle::SE_CheckBoxContents),
                      fm.size(Qt::TextShowMnemonic, check->text()));
    }
    case ControlKind::DropDownList: {
        auto* combo = qobject_cast<QComboBox*>(w);
        for (int i = 0; i < combo->count(); ++i)
            if (QString m = Misfit(TextArea(combo), fm.size(0, combo->itemText(i))); !m.isEmpty())
                return combo->itemText(i) + ": " + m;
        return {};
    }
    case ControlKind::DropDown: // a typed path may be longer than the box: only the height
        return Misfit(TextArea(qobject_cast<QComboBox*>(w)), {0, fm.height()});
    case ControlKind::Edit: {
        auto* edit = qobject_cast<QLineEdit*>(w);
        return Misfit(edit->rect(), {0, edit->minimumSizeHint().height()});
    }
    case ControlKind::ProgressBar:
    case ControlKind::StaticIcon:
        break;
    }
    return {};
}

// A combo box's template rectangle holds its dropped list; closed, it is an edit box's height.
QRect ClosedDlus(const ControlTemplate& c) {
    const bool combo = c.kind == ControlKind::DropDownList || c.kind == ControlKind::DropDown;
    return {c.rect.x, c.rect.y, c.rect.cx, combo ? std::min(c.rect.cy, 13) : c.rect.cy};
}

void ExpectLaidOut(DialogWindow& w) {
    const std::string dialog = w.objectName().toStdString();
    std::vector<QWidget*> widgets;
    for (QWidget* child : w.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (child->property("controlId").isValid())
            widgets.push_back(child);
    const auto& controls = w.Dlg().Template().controls;
    ASSERT_EQ(widgets.size(), controls.size()) << dialog;
    for (size_t i = 0; i < widgets.size(); ++i) {
        const std::string name = dialog + " " + NameOf(widgets[i]).toStdString();
        EXPECT_TRUE(w.rect().contains(widgets[i]->geometry())) << name << " leaves the dialog";
        const QString misfit = TextMisfit(widgets[i], controls[i].kind);
        EXPECT_TRUE(misfit.isEmpty()) << name << ": " << misfit.toStdString();
        for (size_t j = i + 1; j < widgets.size(); ++j) {
            // Position and size round on their own, as on Windows: neighbours that touch in
            // the template may share one pixel.
            const QRect shared = widgets[i]->geometry() & widgets[j]->geometry();
            const bool apart = !ClosedDlus(controls[i]).intersects(ClosedDlus(controls[j]));
            EXPECT_FALSE(apart && std::min(shared.width(), shared.height()) > 1)
                << name << " overlaps " << NameOf(widgets[j]).toStdString();
        }
    }
}

int ScalePercent(const QWidget& w) {
    return qRound(w.devicePixelRatioF() * 100);
}

} // namespace

TEST_F(QtHostTest, TheDialogsFitTheirTextsAtThisScreenScale) {
    store->Write("Settings", "RAS Link Name", "Mast Nord");
    store->Write("Settings", "Run Program", "/usr/local/bin/nach-der-verbindung --protokoll");
    RunProgram([&](CLinkControlDialog& dlg, DialogWindow& w) {
        w.show();
        // The longest line the status shows.
        dlg.SetDlgItemText(IDC_STATUS, "FEHLER: Einstellungen konnten nicht gespeichert werden");
        dlg.GetDlgItem(IDC_LINK_QUALITY).SetPos(160);
        ExpectLaidOut(w);
        EXPECT_TRUE(SaveScreenshot(w, QStringLiteral("main-%1.png").arg(ScalePercent(w))));

        bool aboutShown = false;
        WhenShown(Named("IDD_ABOUT"), [&](QWidget* about) {
            aboutShown = true;
            ExpectLaidOut(*static_cast<DialogWindow*>(about));
            host.EndModal(static_cast<DialogWindow*>(about)->Dlg(), IDOK);
        });
        dlg.OnSysCommand(IDM_ABOUT, 0);
        EXPECT_TRUE(aboutShown);
    });

    CDialog dial(host, LoadDialogTemplate(IDD_DIAL));
    RunDialog(dial, [&](DialogWindow& w) {
        w.show();
        dial.SetDlgItemText(IDC_DIAL_ENTRY, "Mast Nord");
        std::string longest;
        for (int id = IDS_NM_NO_ANSWER; id <= IDS_NM_REASON + 14; ++id)
            if (std::string s = LoadResourceString(id); s.size() > longest.size())
                longest = s;
        dial.SetDlgItemText(IDC_DIAL_STATUS, longest);
        ExpectLaidOut(w);
    });

    FakePortDiscovery discovery(
        {Device("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3D4-if00-port0", "/dev/ttyUSB0",
                "ftdi_sio", "FT232R USB UART")});
    MemoryProfileStore ports;
    CDialog owner(host, LoadDialogTemplate(IDD_ABOUT)); // never shown
    CPortsDialog portsDialog(owner, ports, discovery, &LoadResourceString);
    RunDialog(portsDialog, [&](DialogWindow& w) {
        w.show();
        ExpectLaidOut(w);
    });
}
