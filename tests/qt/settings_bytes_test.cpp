// Settings that are not UTF-8 (a name or path in Latin-1) pass through the Unicode edit boxes.
#include "qt_fixture.h"
#include "res/resource.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

TEST_F(QtHostTest, BytesThatAreNotUtf8SurviveTheBoxesUntilTheUserEditsThem) {
    const std::string name = "Dach S\xFC"
                             "d";
    const std::string program = "/opt/S\xFC"
                                "d/start";
    store->Write("Settings", "RAS Link Name", name);
    store->Write("Settings", "Run Program", program);
    RunProgram([&](CLinkControlDialog& dlg, DialogWindow& w) {
        EXPECT_EQ(Find<QLineEdit>(w, "IDC_RAS_LINK_NAME")->text(),
                  QString::fromUtf8("Dach S\uFFFDd"));
        EXPECT_EQ(dlg.RunProgram(), program); // what the follow-up program is started with

        auto* baud = Find<QComboBox>(w, "IDC_BAUDRATE");
        baud->setFocus();
        QTest::keyClick(baud, Qt::Key_Up);
        QTest::mouseClick(Find<QPushButton>(w, "IDC_SAVE"), Qt::LeftButton);
        ASSERT_EQ(store->flushes, 1);
        EXPECT_EQ(*store->saved.Find("Settings", "RAS Link Name"), name);
        EXPECT_EQ(*store->saved.Find("Settings", "Run Program"), program);

        // Typed over, the box's text is the value: the user has seen and kept what it shows.
        auto* nameBox = Find<QLineEdit>(w, "IDC_RAS_LINK_NAME");
        QTest::keyClick(nameBox, Qt::Key_End); // the program's text shows its start
        QTest::keyClicks(nameBox, " West");
        EXPECT_EQ(dlg.RasLinkName(), "Dach S\uFFFDd West");
        EXPECT_EQ(dlg.RunProgram(), program);
    });
}
