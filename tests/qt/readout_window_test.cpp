#include "dialog/alignment_readout.h"
#include "platform/qt/readout_window.h"
#include "qt_fixture.h"
#include "res/resource.h"
#include "res/resources.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QProgressBar>
#include <QScreen>
#include <QTest>

#include <algorithm>
#include <numeric>

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

namespace {

// Pixels that carry the ink or the frame: grey, and clearly darker than the window's base.
bool IsGreyInk(QColor c) {
    return std::abs(c.red() - c.green()) < 24 && std::abs(c.green() - c.blue()) < 24 &&
           c.lightness() < 235;
}

} // namespace

// A known test as the screen shows it: the readout alone, fed a fixed history, grabbed from the
// screen (a real X server when the suite runs under Xvfb).
TEST(ReadoutScreenshot, AKnownHistoryShowsItsFigureColourThresholdAndPeak) {
    LinkHistory history;
    history.Start();
    // 97 % (249 words) at 10 s is the peak; the test is at 84 % (216 words) 12 s later.
    for (const LinkSample s : {LinkSample{0, 240},
                               {4000, 244},
                               {10000, 249},
                               {13000, 245},
                               {15000, 238},
                               {17000, 231},
                               {19000, 230},
                               {20500, 224},
                               {22000, 216}})
        history.Add(s);

    ReadoutWindow r(nullptr, "Ausrichtanzeige");
    r.SetPicture(ReadoutFor(history, LoadResourceString));
    r.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&r));
    EXPECT_EQ(r.accessibleDescription(), "84 % zu schwach, Spitze 97 % vor 12 s");
    const QImage shot = r.screen()->grabWindow(r.winId()).toImage();
    ASSERT_EQ(shot.size(), r.size() * shot.devicePixelRatio());
    SaveScreenshot(r, "readout-known.png");

    // Per row: the verdict's red, any green, and the grey of ink and frame.
    const int w = shot.width(), h = shot.height();
    std::vector<int> red(h), green(h), grey(h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const QColor c = shot.pixelColor(x, y);
            red[y] += c == QColor(0xc6, 0x28, 0x28);
            green[y] += c == QColor(0x1b, 0x7f, 0x3b);
            grey[y] += IsGreyInk(c);
        }
    // The figure, in the upper part, is in the bad verdict's red; no green anywhere.
    EXPECT_GT(std::accumulate(red.begin(), red.begin() + h * 4 / 10, 0), w * h / 100);
    EXPECT_EQ(std::accumulate(green.begin(), green.end(), 0), 0);

    // The plot's frame: its top and bottom edges are the first and last lower rows grey nearly
    // across (the dashed line may be so too).
    std::vector<int> edges;
    for (int y = h / 2; y < h; ++y)
        if (grey[y] > w * 8 / 10)
            edges.push_back(y);
    ASSERT_GE(edges.size(), 2u) << "no plot frame";
    const int top = edges.front(), bottom = edges.back();
    // The dashed 90 % line: the row inside with the most grey. The plot spans 50 % to 105 %.
    const auto line = std::max_element(grey.begin() + top + 3, grey.begin() + bottom - 2);
    EXPECT_GT(*line, w / 4) << "no threshold line";
    const double expected = bottom - (231.0 / 256 - 0.5) / 0.55 * (bottom - top);
    EXPECT_NEAR(line - grey.begin(), expected, 2.0);

    // The peak line is the only ink above the plot: the figure and the verdict are red.
    EXPECT_GT(std::accumulate(grey.begin() + h / 3, grey.begin() + top - 2, 0), w / 20)
        << "no peak text";
}
