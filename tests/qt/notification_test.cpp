#include "platform/worker_thread.h"
#include "qt_fixture.h"
#include "res/resource.h"
#include "res/resources.h"

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QThread>

#include <atomic>
#include <thread>

namespace {

// A dialog that records what reaches its framework entry points, and closes on Cancel only
// when allowed to: the dialog logic, not the window, decides when it ends.
class RecordingDialog : public CDialog {
public:
    explicit RecordingDialog(IDialogHost& host) : CDialog(host, LoadDialogTemplate(IDD_MAIN)) {}
    std::vector<std::string> calls;
    bool allowCancel = false;

    void OnOK() override { calls.push_back("OnOK"); }
    void OnCancel() override {
        calls.push_back("OnCancel");
        if (allowCancel)
            CDialog::OnCancel();
    }
    void OnHelp() override { calls.push_back("OnHelp"); }
    void OnSysCommand(unsigned nID, std::intptr_t lParam) override {
        calls.push_back("OnSysCommand " + std::to_string(nID));
        CDialog::OnSysCommand(nID, lParam);
    }

protected:
    const MessageMap& GetMessageMap() const override {
        static const MessageMap map{
            ::OnCommand(IDC_SAVE, BN_CLICKED, &RecordingDialog::OnSave),
        };
        return map;
    }
    void OnSave() { calls.push_back("OnSave"); }
};

bool Dirty(CLinkControlDialog& dlg) {
    return dlg.State().dirty;
}

} // namespace

TEST_F(QtHostTest, OnlyTheUsersChoiceIsASelectionChange) {
    RunProgram([&](CLinkControlDialog& dlg, DialogWindow& w) {
        auto* baud = Find<QComboBox>(w, "IDC_BAUDRATE");
        baud->setCurrentIndex(1); // the program's own change
        EXPECT_EQ(dlg.Baudrate(), 3);
        EXPECT_FALSE(Dirty(dlg));

        baud->setFocus();
        QTest::keyClick(baud, Qt::Key_Up); // the user picks the entry above: "19200"
        EXPECT_EQ(baud->currentIndex(), 0);
        EXPECT_EQ(dlg.Baudrate(), 0);
        EXPECT_TRUE(Dirty(dlg));
        EXPECT_TRUE(Find<QPushButton>(w, "IDC_SAVE")->isEnabled());
    });
}

TEST_F(QtHostTest, EditsRaiseTheirChangeNotificationForTypingAndForTheProgram) {
    RunProgram([&](CLinkControlDialog& dlg, DialogWindow& w) {
        auto* name = Find<QLineEdit>(w, "IDC_RAS_LINK_NAME");
        QTest::keyClicks(name, "Dach");
        EXPECT_EQ(dlg.RasLinkName(), "Dach");
        EXPECT_TRUE(Dirty(dlg));

        QTest::mouseClick(Find<QPushButton>(w, "IDC_SAVE"), Qt::LeftButton);
        ASSERT_FALSE(Dirty(dlg));
        dlg.SetDlgItemText(IDC_RUN_PROGRAM, "/usr/bin/xterm -e top");
        EXPECT_EQ(dlg.RunProgram(), "/usr/bin/xterm -e top");
        EXPECT_TRUE(Dirty(dlg));
        EXPECT_EQ(dlg.GetDlgItemText(IDC_RUN_PROGRAM), "/usr/bin/xterm -e top");
    });
}

TEST_F(QtHostTest, ClickingTheCheckBoxReportsTheNewStateTheProgramsCheckNothing) {
    RunProgram([&](CLinkControlDialog& dlg, DialogWindow& w) {
        dlg.CheckDlgButton(IDC_RUN_INVISIBLE, BST_CHECKED);
        EXPECT_EQ(dlg.IsDlgButtonChecked(IDC_RUN_INVISIBLE), BST_CHECKED);
        EXPECT_EQ(dlg.RunInvisible(), 0);
        EXPECT_FALSE(Dirty(dlg));

        QTest::mouseClick(Find<QCheckBox>(w, "IDC_RUN_INVISIBLE"), Qt::LeftButton);
        EXPECT_EQ(dlg.RunInvisible(), 0) << "the box had toggled before the handler read it";
        QTest::mouseClick(Find<QCheckBox>(w, "IDC_RUN_INVISIBLE"), Qt::LeftButton);
        EXPECT_EQ(dlg.RunInvisible(), 1);
        EXPECT_TRUE(Dirty(dlg));
    });
}

TEST_F(QtHostTest, ControlOperationsActOnTheWidgets) {
    RunProgram([&](CLinkControlDialog& dlg, DialogWindow& w) {
        dlg.GetDlgItem(IDC_SENSITIVITY).SetCurSel(7); // past the end: no selection
        EXPECT_EQ(Find<QComboBox>(w, "IDC_SENSITIVITY")->currentIndex(), -1);
        EXPECT_EQ(dlg.GetDlgItem(IDC_SENSITIVITY).GetCurSel(), -1);
        EXPECT_EQ(dlg.GetDlgItemText(IDC_SENSITIVITY), "");
        dlg.GetDlgItem(IDC_SENSITIVITY).SetCurSel(0);
        EXPECT_EQ(dlg.GetDlgItemText(IDC_SENSITIVITY), "1 - extrem störanfällig");

        dlg.GetDlgItem(IDC_LINK_QUALITY).SetPos(200);
        EXPECT_EQ(Find<QProgressBar>(w, "IDC_LINK_QUALITY")->value(), 200);
        EXPECT_EQ(dlg.GetDlgItem(IDC_LINK_QUALITY).GetPos(), 200);
        dlg.GetDlgItem(IDC_LINK_QUALITY).SetPos(300); // kept inside the range
        EXPECT_EQ(dlg.GetDlgItem(IDC_LINK_QUALITY).GetPos(), 256);

        dlg.GetDlgItem(IDC_TEST).EnableWindow(false);
        EXPECT_FALSE(Find<QPushButton>(w, "IDC_TEST")->isEnabled());
        EXPECT_FALSE(dlg.GetDlgItem(IDC_TEST).IsWindowEnabled());
        dlg.SetDlgItemText(IDC_TEST, "Abbrechen");
        EXPECT_EQ(Find<QPushButton>(w, "IDC_TEST")->text(), "Abbrechen");

        host.SetToolTip(dlg, IDC_STATUS, "open /dev/ttyUSB0: Permission denied");
        EXPECT_EQ(Find<QLabel>(w, "IDC_STATUS")->toolTip(), "open /dev/ttyUSB0: Permission denied");
    });
}

TEST_F(QtHostTest, AStatusTextWithMarkupIsShownLiterally) {
    RunProgram([&](CLinkControlDialog& dlg, DialogWindow& w) {
        const std::string text = "pppd: <b>fehlgeschlagen</b> &amp; beendet";
        dlg.SetDlgItemText(IDC_STATUS, text);
        auto* status = Find<QLabel>(w, "IDC_STATUS");
        EXPECT_EQ(status->text().toStdString(), text);
        EXPECT_EQ(dlg.GetDlgItemText(IDC_STATUS), text);
        // Laid out as plain text, the tags take their own room.
        QFontMetrics fm(status->font());
        int plain = fm.horizontalAdvance(QString::fromStdString(text));
        EXPECT_GE(status->sizeHint().width(), plain);
    });
}

TEST_F(QtHostTest, AWorkersControlCallsRunOnTheUiThreadInOrderBeforeTheyReturn) {
    RunProgram([&](CLinkControlDialog& dlg, DialogWindow&) {
        std::vector<std::string> seen; // written on the UI thread only
        std::atomic<int> wrongThread{0};
        std::atomic<int> late{0};
        std::atomic<bool> done{false};
        std::thread worker([&] {
            for (int i = 0; i < 50; ++i) {
                dlg.SetDlgItemText(IDC_STATUS, std::to_string(i));
                // Already there when the call has returned.
                if (dlg.GetDlgItemText(IDC_STATUS) != std::to_string(i))
                    ++late;
                CallOnUi(host, [&] {
                    if (QThread::currentThread() != qApp->thread())
                        ++wrongThread;
                    seen.push_back(dlg.GetDlgItemText(IDC_STATUS));
                });
            }
            done = true;
            host.Post([] {}); // wakes the UI thread's wait
        });
        EXPECT_TRUE(ServeUntil([&] { return done.load(); }));
        worker.join();
        ASSERT_EQ(seen.size(), 50u);
        for (int i = 0; i < 50; ++i)
            EXPECT_EQ(seen[i], std::to_string(i));
        EXPECT_EQ(wrongThread, 0);
        EXPECT_EQ(late, 0);
    });
}

TEST_F(QtHostTest, AFrameworkWorkersCallsReachTheWidgets) {
    RunProgram([&](CLinkControlDialog& dlg, DialogWindow& w) {
        std::atomic<bool> done{false};
        std::atomic<bool> ok{false};
        auto worker = WorkerThread::Start([&](const auto&) {
            dlg.GetDlgItem(IDC_LINK_QUALITY).SetPos(17);
            ok = dlg.GetDlgItem(IDC_LINK_QUALITY).GetPos() == 17;
            done = true;
            host.Post([] {});
        });
        ASSERT_NE(worker, nullptr);
        EXPECT_TRUE(ServeUntil([&] { return done.load(); }));
        EXPECT_TRUE(ok);
        EXPECT_EQ(Find<QProgressBar>(w, "IDC_LINK_QUALITY")->value(), 17);
    });
}

TEST_F(QtHostTest, EscapeAndTheCloseBoxGoThroughOnCancel) {
    RecordingDialog dlg(host);
    int result = RunDialog(dlg, [&](DialogWindow& w) {
        QTest::keyClick(&w, Qt::Key_Escape);
        EXPECT_EQ(dlg.calls, std::vector<std::string>{"OnCancel"});
        EXPECT_FALSE(w.ended) << "the dialog refused: the window stays";
        w.close();
        EXPECT_EQ(dlg.calls, (std::vector<std::string>{"OnCancel", "OnCancel"}));
        EXPECT_FALSE(w.ended);
        dlg.allowCancel = true;
        QTest::keyClick(&w, Qt::Key_Escape);
        EXPECT_TRUE(w.ended);
        EXPECT_FALSE(w.isVisible());
    });
    EXPECT_EQ(result, IDCANCEL);
}

TEST_F(QtHostTest, EnterIsOkUnlessAPushButtonHasTheFocusAndF1IsHelp) {
    RecordingDialog dlg(host);
    RunDialog(dlg, [&](DialogWindow& w) {
        auto* edit = Find<QLineEdit>(w, "IDC_RAS_LINK_NAME");
        QTest::keyClick(edit, Qt::Key_Return);
        auto* combo = Find<QComboBox>(w, "IDC_COM_PORT");
        QTest::keyClick(combo, Qt::Key_Enter);
        EXPECT_EQ(dlg.calls, (std::vector<std::string>{"OnOK", "OnOK"}));

        dlg.calls.clear();
        auto* save = Find<QPushButton>(w, "IDC_SAVE");
        save->setFocus();
        QTest::keyClick(save, Qt::Key_Return);
        EXPECT_EQ(dlg.calls, std::vector<std::string>{"OnSave"});

        dlg.calls.clear();
        QTest::keyClick(edit, Qt::Key_F1);
        EXPECT_EQ(dlg.calls, std::vector<std::string>{"OnHelp"});
    });
}

TEST_F(QtHostTest, TheContextMenuCarriesCloseThenASeparatorAndTheAboutItem) {
    RunProgram([&](CLinkControlDialog&, DialogWindow& w) {
        std::vector<std::string> entries;
        WhenShown([](QWidget* widget) { return qobject_cast<QMenu*>(widget) != nullptr; },
                  [&](QWidget* widget) {
                      auto* menu = qobject_cast<QMenu*>(widget);
                      for (QAction* a : menu->actions())
                          entries.push_back(a->isSeparator() ? "-" : a->text().toStdString());
                      // The user chooses the About item.
                      for (QAction* a : menu->actions())
                          if (a->data().toUInt() == IDM_ABOUT)
                              menu->setActiveAction(a);
                      QTest::keyClick(menu, Qt::Key_Return);
                  });
        bool aboutShown = false;
        WhenShown(Named("IDD_ABOUT"), [&](QWidget* about) {
            aboutShown = true;
            QTest::keyClick(about, Qt::Key_Escape);
        });
        // A right click on a label, which has no menu of its own.
        QWidget* label = Find<QWidget>(w, "IDC_STATUS");
        QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(2, 2),
                                label->mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(label, &click);
        EXPECT_EQ(entries, (std::vector<std::string>{"Schließen", "-", "Aus&richtton\tStrg+T",
                                                     "Ausrichta&nzeige...", "&Protokoll...",
                                                     "Auf dem &Telefon anzeigen...",
                                                     "Inf&o über Quillmere..."}));
        EXPECT_TRUE(aboutShown);
        EXPECT_EQ(host.TopWindow(), &w);
    });
}

TEST_F(QtHostTest, ShiftF10OpensTheMenuAndItsCloseItemEndsTheDialog) {
    RecordingDialog dlg(host);
    dlg.allowCancel = true;
    int result = RunDialog(dlg, [&](DialogWindow& w) {
        WhenShown([](QWidget* widget) { return qobject_cast<QMenu*>(widget) != nullptr; },
                  [&](QWidget* widget) {
                      auto* menu = qobject_cast<QMenu*>(widget);
                      ASSERT_FALSE(menu->actions().isEmpty());
                      menu->setActiveAction(menu->actions().front()); // "Schließen"
                      QTest::keyClick(menu, Qt::Key_Return);
                  });
        QTest::keyClick(Find<QLineEdit>(w, "IDC_RAS_LINK_NAME"), Qt::Key_F10, Qt::ShiftModifier);
        EXPECT_TRUE(w.ended);
    });
    EXPECT_EQ(dlg.calls,
              (std::vector<std::string>{"OnSysCommand " + std::to_string(SC_CLOSE), "OnCancel"}));
    EXPECT_EQ(result, IDCANCEL);
}

TEST_F(QtHostTest, AMessageBoxBelongsToTheMainDialogAndIsCaptionedWithTheAppName) {
    RunProgram([&](CLinkControlDialog& dlg, DialogWindow& w) {
        QString caption, text;
        QWidget* owner = nullptr;
        Qt::TextFormat format = Qt::AutoText;
        WhenShown([](QWidget* widget) { return qobject_cast<QMessageBox*>(widget) != nullptr; },
                  [&](QWidget* widget) {
                      auto* box = qobject_cast<QMessageBox*>(widget);
                      caption = box->windowTitle();
                      text = box->text();
                      format = box->textFormat();
                      owner = box->parentWidget();
                      EXPECT_EQ(box->buttons().size(), 1);
                      box->button(QMessageBox::Ok)->click();
                  });
        EXPECT_EQ(dlg.MessageBox("Interner Fehler 7 <i>\n"), IDOK);
        EXPECT_EQ(caption, "Quillmere");
        EXPECT_EQ(text, "Interner Fehler 7 <i>\n");
        EXPECT_EQ(format, Qt::PlainText);
        EXPECT_EQ(owner, &w);
    });
}

TEST_F(QtHostTest, TheMinimizedDialogPaintsItsIconInTheMiddle) {
    RunProgram([&](CLinkControlDialog&, DialogWindow& w) {
        QPixmap normal(w.size());
        normal.fill(Qt::white);
        w.render(&normal, {}, {}, QWidget::DrawWindowBackground);
        w.setWindowState(Qt::WindowMinimized);
        QPixmap iconic(w.size());
        iconic.fill(Qt::white);
        w.render(&iconic, {}, {}, QWidget::DrawWindowBackground);
        w.setWindowState(Qt::WindowNoState);

        CSize at = IconOrigin({w.width(), w.height()}, {32, 32});
        QImage before = normal.toImage();
        QImage after = iconic.toImage();
        // Row 9 of the icon starts its black outline at column 1; row 10 is grey inside.
        EXPECT_EQ(after.pixel(at.cx + 1, at.cy + 9), qRgb(0, 0, 0));
        EXPECT_EQ(after.pixel(at.cx + 2, at.cy + 10), qRgb(0x80, 0x80, 0x80));
        EXPECT_EQ(after.pixel(at.cx, at.cy), before.pixel(at.cx, at.cy)) << "transparent corner";
        EXPECT_NE(before.pixel(at.cx + 1, at.cy + 9), qRgb(0, 0, 0));
    });
}
