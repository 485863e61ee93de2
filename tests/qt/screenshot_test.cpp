// Pictures of the dialogs for a person to look at: written into the build folder.
#include "qt_fixture.h"
#include "res/resource.h"
#include "res/resources.h"

#include <QDir>

namespace {

bool Save(QWidget& w, const QString& name) {
    QDir().mkpath(QM_SCREENSHOT_DIR);
    QPixmap shot = w.grab();
    return !shot.isNull() && shot.size() == w.size() &&
           shot.save(QString(QM_SCREENSHOT_DIR) + "/" + name, "PNG");
}

} // namespace

TEST_F(QtHostTest, ScreenshotsOfTheDialogs) {
    store->Write("Settings", "RAS Link Name", "Mast Nord");
    RunProgram([&](CLinkControlDialog& dlg, DialogWindow& w) {
        w.show();
        EXPECT_TRUE(Save(w, "main-defaults.png"));
        dlg.SetDlgItemText(IDC_STATUS, "Bitte Transceiver einschalten <jetzt>");
        dlg.GetDlgItem(IDC_LINK_QUALITY).SetPos(160);
        dlg.SetDlgItemText(IDC_TEST, "Abbrechen");
        EXPECT_TRUE(Save(w, "main-status.png"));

        WhenShown(Named("IDD_ABOUT"), [&](QWidget* about) {
            EXPECT_TRUE(Save(*about, "about.png"));
            host.EndModal(static_cast<DialogWindow*>(about)->Dlg(), IDOK);
        });
        dlg.OnSysCommand(IDM_ABOUT, 0);
    });

    DialogTemplate big = LoadDialogTemplate(IDD_MAIN);
    big.fontPointSize = 12;
    CDialog large(host, big);
    RunDialog(large, [&](DialogWindow& w) {
        w.show();
        EXPECT_TRUE(Save(w, "main-12pt.png"));
    });
}
