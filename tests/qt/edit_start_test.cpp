// A text the program puts into an edit box shows its start, as on Windows: a long path is
// recognised by its beginning. What the user types keeps the cursor where the typing is.
#include "qt_fixture.h"
#include "res/resource.h"
#include "res/resources.h"

#include <QLineEdit>
#include <QTest>

namespace {

const std::string kLongPath =
    "/opt/quillmere/werkzeuge/nach-der-verbindung/bin/protokoll-schreiben --ausfuehrlich "
    "--datei /var/log/quillmere/verbindungen.log";

} // namespace

TEST_F(QtHostTest, AProgramSetLongPathShowsItsStartAndTypingKeepsTheCursor) {
    store->Write("Settings", "Run Program", kLongPath);
    RunProgram([&](CLinkControlDialog& dlg, DialogWindow& w) {
        w.show();
        auto* edit = Find<QLineEdit>(w, "IDC_RUN_PROGRAM");
        ASSERT_NE(edit, nullptr);
        ASSERT_EQ(edit->text().toStdString(), kLongPath);
        EXPECT_EQ(edit->cursorPosition(), 0) << "from the settings";

        edit->setFocus();
        edit->end(false);
        QTest::keyClicks(edit, " -x");
        EXPECT_EQ(edit->cursorPosition(), edit->text().size()) << "after typing at the end";

        dlg.SetDlgItemText(IDC_RUN_PROGRAM, kLongPath + " -y");
        EXPECT_EQ(edit->cursorPosition(), 0) << "set again by the program";
    });

    DialogTemplate tmpl = LoadDialogTemplate(IDD_MAIN);
    for (ControlTemplate& c : tmpl.controls)
        if (c.id == IDC_RUN_PROGRAM)
            c.text = kLongPath;
    CDialog bare(host, tmpl);
    RunDialog(bare, [&](DialogWindow& w) {
        EXPECT_EQ(Find<QLineEdit>(w, "IDC_RUN_PROGRAM")->cursorPosition(), 0) << "the template's";
    });
}
