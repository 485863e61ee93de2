// What Qt draws for the program speaks German too, under a session whose locale is plain C.
#include "platform/qt/german_qt_texts.h"
#include "qt_fixture.h"
#include "res/resource.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTreeView>

#include <memory>

namespace {

// Every text a user reads in the window: labels, buttons, list entries, column headings.
QStringList TextsOf(QWidget& window) {
    QStringList texts;
    for (auto* label : window.findChildren<QLabel*>())
        if (label->isVisible())
            texts << label->text();
    for (auto* button : window.findChildren<QAbstractButton*>())
        if (button->isVisible())
            texts << button->text() << button->toolTip();
    for (auto* combo : window.findChildren<QComboBox*>())
        for (int i = 0; combo->isVisible() && i < combo->count(); ++i)
            texts << combo->itemText(i);
    for (auto* tree : window.findChildren<QTreeView*>())
        for (int i = 0; tree->isVisible() && i < tree->model()->columnCount(); ++i)
            texts << tree->model()->headerData(i, Qt::Horizontal).toString();
    texts.removeAll(QString());
    return texts;
}

} // namespace

TEST_F(QtHostTest, QtsOwnTextsAreGermanUnderAPlainLocale) {
    if (!InstallGermanQtTexts(*qApp))
        GTEST_SKIP() << "Qt's German texts are not installed (Debian: qt6-translations-l10n)";
    QStringList chooser, box, menu;
    QString date;
    RunProgram([&](CLinkControlDialog& dlg, DialogWindow& w) {
        w.show();
        WhenShown([](QWidget* top) { return qobject_cast<QFileDialog*>(top) != nullptr; },
                  [&](QWidget* top) {
                      // The list fills from a thread of Qt's; a date is what it shows last.
                      auto* list = top->findChild<QTreeView*>();
                      ASSERT_NE(list, nullptr);
                      ASSERT_TRUE(ServeUntil(
                          [&] { return list->model()->rowCount(list->rootIndex()) > 0; }));
                      date = list->model()->index(0, 3, list->rootIndex()).data().toString();
                      EXPECT_TRUE(SaveScreenshot(*top, "file-chooser.png"));
                      chooser = TextsOf(*top);
                      static_cast<QDialog*>(top)->reject();
                  });
        dlg.OnBrowse();
        WhenShown([](QWidget* top) { return qobject_cast<QMessageBox*>(top) != nullptr; },
                  [&](QWidget* top) {
                      EXPECT_TRUE(SaveScreenshot(*top, "message-box.png"));
                      box = TextsOf(*top);
                      static_cast<QDialog*>(top)->reject();
                  });
        dlg.MessageBox("Transceiver ausschalten", MB_OK);
        auto* edit = Find<QLineEdit>(w, "IDC_RUN_PROGRAM");
        ASSERT_NE(edit, nullptr);
        std::unique_ptr<QMenu> standard(edit->createStandardContextMenu());
        standard->adjustSize();
        EXPECT_TRUE(SaveScreenshot(*standard, "edit-menu.png"));
        for (QAction* action : standard->actions())
            menu << action->text();
    });
    // A sample of each: were the catalogue not loaded, none of them would be there.
    const struct {
        const char* window;
        const QStringList& texts;
        QStringList german;
    } cases[] = {
        {"file chooser",
         chooser,
         {"Suchen in:", "Datei&name:", "Dateien des Typs:", "Alle Dateien (*)", "&Öffnen",
          "Abbrechen", "Größe", "Änderungsdatum", "Zurück", "Neuen Ordner erstellen"}},
        {"message box", box, {"Transceiver ausschalten", "OK"}},
        {"edit box menu",
         menu,
         {"&Rückgängig\tStrg+Z", "&Ausschneiden\tStrg+X", "&Kopieren\tStrg+C", "Einf&ügen\tStrg+V",
          "Löschen", "Alles auswählen\tStrg+A"}},
    };
    // German dates are all digits ("09.12.26 10:24"); the C locale's name the month.
    EXPECT_TRUE(QRegularExpression("^[0-9.: ]+$").match(date).hasMatch()) << date.toStdString();
    for (const auto& c : cases)
        for (const QString& text : c.german)
            EXPECT_TRUE(c.texts.contains(text))
                << c.window << " lacks \"" << text.toStdString() << "\" among \""
                << c.texts.join("\", \"").toStdString() << "\"";
}
