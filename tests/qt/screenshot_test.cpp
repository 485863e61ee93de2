// Pictures of the dialogs for a person to look at: written into the build folder.
#include "qt_fixture.h"
#include "res/resource.h"
#include "res/resources.h"

#include <QLabel>

TEST_F(QtHostTest, ScreenshotsOfTheDialogs) {
    store->Write("Settings", "RAS Link Name", "Mast Nord");
    RunProgram([&](CLinkControlDialog& dlg, DialogWindow& w) {
        w.show();
        EXPECT_TRUE(SaveScreenshot(w, "main-defaults.png"));
        dlg.SetDlgItemText(IDC_STATUS, "Bitte Transceiver einschalten <jetzt>");
        dlg.GetDlgItem(IDC_LINK_QUALITY).SetPos(160);
        dlg.SetDlgItemText(IDC_TEST, "Abbrechen");
        EXPECT_TRUE(SaveScreenshot(w, "main-status.png"));

        WhenShown(Named("IDD_ABOUT"), [&](QWidget* about) {
            EXPECT_TRUE(SaveScreenshot(*about, "about.png"));
            host.EndModal(static_cast<DialogWindow*>(about)->Dlg(), IDOK);
        });
        dlg.OnSysCommand(IDM_ABOUT, 0);
    });

    // The longest failure sentence the dial dialog shows must fit whole.
    CDialog dial(host, LoadDialogTemplate(IDD_DIAL));
    RunDialog(dial, [&](DialogWindow& w) {
        w.show();
        dial.SetDlgItemText(IDC_DIAL_ENTRY, "Mast Nord");
        dial.SetDlgItemText(IDC_DIAL_STATUS, LoadResourceString(IDS_NM_NO_ADDRESS));
        EXPECT_TRUE(SaveScreenshot(w, "dial-failed.png"));
        auto* status = Find<QLabel>(w, "IDC_DIAL_STATUS");
        ASSERT_TRUE(status->wordWrap());
        EXPECT_LE(status->heightForWidth(status->width()), status->height());
    });

    DialogTemplate big = LoadDialogTemplate(IDD_MAIN);
    big.fontPointSize = 12;
    CDialog large(host, big);
    RunDialog(large, [&](DialogWindow& w) {
        w.show();
        EXPECT_TRUE(SaveScreenshot(w, "main-12pt.png"));
    });
}
