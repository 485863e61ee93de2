#include "platform/qt/readout_window.h"
#include "qt_fixture.h"
#include "res/resource.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QProgressBar>

namespace {

std::vector<ReadoutWindow*> Readouts() {
    std::vector<ReadoutWindow*> found;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* r = dynamic_cast<ReadoutWindow*>(w); r && r->isVisible())
            found.push_back(r);
    return found;
}

// How much of the picture is in the verdict's red.
double RedShare(QWidget& w) {
    const QImage image = w.grab().toImage();
    int red = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            red += image.pixelColor(x, y) == QColor(0xc6, 0x28, 0x28);
    return double(red) / (image.width() * image.height());
}

void Key(QWidget& w, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(&w, &press);
}

} // namespace

// The program against a link of 85 %: its test goes on by hand, cycle after cycle.
TEST_F(QtHostTest, TheReadoutFollowsTheTestFromTheBarsDoubleClickUntilTheDialogCloses) {
    store->Write("Ports", "COM1", "sim:power=on,link=85");
    RunProgram([&](CLinkControlDialog& dlg, DialogWindow& w) {
        ASSERT_TRUE(ServeUntil([&] { return dlg.History().Last().has_value(); }));
        auto* bar = Find<QWidget>(w, "IDC_LINK_QUALITY");
        ASSERT_NE(bar, nullptr);
        QMouseEvent dbl(QEvent::MouseButtonDblClick, QPointF(4, 4), bar->mapToGlobal(QPointF(4, 4)),
                        Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(bar, &dbl);
        ASSERT_EQ(Readouts().size(), 1u);
        ReadoutWindow& r = *Readouts().front();
        EXPECT_EQ(r.windowTitle(), "Ausrichtanzeige");
        EXPECT_EQ(r.Picture().value, "84 %");
        EXPECT_EQ(r.Picture().verdictText, "zu schwach");
        EXPECT_TRUE(r.accessibleDescription().startsWith("84 % zu schwach, Spitze 84 % vor"));
        const double redSmall = RedShare(r);
        EXPECT_GT(redSmall, 0.005) << "the figure is not drawn in the verdict's colour";

        // The next cycle reaches the window without being asked.
        const std::size_t seen = r.Picture().points.size();
        ASSERT_TRUE(ServeUntil([&] { return r.Picture().points.size() > seen; }));

        // The menu's command brings the same window forward; no second one.
        dlg.OnSysCommand(IDM_ALIGNMENT, 0);
        EXPECT_EQ(Readouts().size(), 1u);

        // Full screen and back; the figure grows with the window.
        Key(r, Qt::Key_F11);
        EXPECT_TRUE(r.isFullScreen());
        Key(r, Qt::Key_Escape);
        EXPECT_FALSE(r.isFullScreen());
        const QSize big = r.size() * 2;
        r.resize(big);
        ASSERT_TRUE(ServeUntil([&] { return r.size() == big; }));
        EXPECT_NEAR(RedShare(r), redSmall, redSmall * 0.5) << "the text did not scale";

        // Closed during the test, the test goes on; opened again it is current.
        r.close();
        EXPECT_TRUE(Readouts().empty());
        const std::size_t before = dlg.History().Samples().size();
        ASSERT_TRUE(ServeUntil([&] { return dlg.History().Samples().size() > before; }));
        dlg.OnSysCommand(IDM_ALIGNMENT, 0);
        ASSERT_EQ(Readouts().size(), 1u);
        EXPECT_EQ(Readouts().front()->Picture().points.size(), dlg.History().Samples().size());
    });
    EXPECT_TRUE(Readouts().empty()) << "the readout outlived the main dialog";
}
