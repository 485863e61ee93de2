#include "qt_fixture.h"
#include "res/resource.h"
#include "res/resources.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <cmath>

namespace {

// Base units worked out here from the window's own font, independently of the host.
struct Base {
    int x, y;
};
Base BaseOf(const QWidget& w) {
    QFontMetrics fm(w.font());
    int width = fm.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    return {static_cast<int>(std::lround(width / 52.0)), fm.height()};
}
int Px(int dlu, int base, int div) {
    return static_cast<int>(std::lround(double(dlu) * base / div));
}
QRect Expected(const DluRect& r, Base b) {
    return {Px(r.x, b.x, 4), Px(r.y, b.y, 8), Px(r.cx, b.x, 4), Px(r.cy, b.y, 8)};
}

std::vector<std::string> Items(QComboBox* combo) {
    std::vector<std::string> items;
    for (int i = 0; i < combo->count(); ++i)
        items.push_back(combo->itemText(i).toStdString());
    return items;
}

// The child built for a template control: by name, or for a label by its text.
QWidget* WidgetFor(QWidget& window, const ControlTemplate& c) {
    if (c.name[0])
        return Find<QWidget>(window, c.name);
    for (auto* label : window.findChildren<QLabel*>())
        if (label->text().toStdString() == c.text)
            return label;
    return nullptr;
}

bool IsKind(QWidget* w, ControlKind kind) {
    switch (kind) {
    case ControlKind::DropDownList:
        return qobject_cast<QComboBox*>(w) && !qobject_cast<QComboBox*>(w)->isEditable();
    case ControlKind::DropDown:
        return qobject_cast<QComboBox*>(w) && qobject_cast<QComboBox*>(w)->isEditable();
    case ControlKind::Edit:
        return qobject_cast<QLineEdit*>(w);
    case ControlKind::PushButton:
        return qobject_cast<QPushButton*>(w) && !qobject_cast<QPushButton*>(w)->isDefault();
    case ControlKind::DefPushButton:
        return qobject_cast<QPushButton*>(w) && qobject_cast<QPushButton*>(w)->isDefault();
    case ControlKind::AutoCheckBox:
        return qobject_cast<QCheckBox*>(w);
    case ControlKind::ProgressBar:
        return qobject_cast<QProgressBar*>(w);
    case ControlKind::StaticText:
        return qobject_cast<QLabel*>(w) && qobject_cast<QLabel*>(w)->pixmap().isNull();
    case ControlKind::StaticIcon:
        return qobject_cast<QLabel*>(w) && !qobject_cast<QLabel*>(w)->pixmap().isNull();
    }
    return false;
}

// Whether a control's whole text is visible in it. Buttons keep a little room for their frame.
std::string Clipped(QWidget& window) {
    std::string out;
    for (QWidget* w : window.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        QFontMetrics fm(w->font());
        int need = 0, room = 0;
        if (auto* label = qobject_cast<QLabel*>(w); label && label->pixmap().isNull()) {
            for (const QString& line : label->text().split('\n'))
                need = std::max(need, fm.horizontalAdvance(line));
            room = label->contentsRect().width();
        } else if (auto* check = qobject_cast<QCheckBox*>(w)) {
            need = check->sizeHint().width();
            room = check->width();
        } else if (auto* button = qobject_cast<QPushButton*>(w)) {
            need = fm.horizontalAdvance(button->text()) + 4;
            room = button->width();
        } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
            for (int i = 0; i < combo->count(); ++i)
                need = std::max(need, fm.horizontalAdvance(combo->itemText(i)));
            need += combo->height(); // the arrow is about as wide as the box is high
            room = combo->width();
        }
        if (need > room)
            out += (w->objectName().isEmpty() ? w->property("text").toString() : w->objectName())
                       .toStdString() +
                   " " + std::to_string(need) + ">" + std::to_string(room) + "; ";
    }
    return out;
}

// Where each control's rectangle sits, as shares of the dialog's client size.
std::vector<QRectF> Shares(QWidget& window) {
    std::vector<QRectF> out;
    const DialogTemplate& tmpl = LoadDialogTemplate(IDD_MAIN);
    for (const auto& c : tmpl.controls) {
        QRect g = WidgetFor(window, c)->geometry();
        out.push_back({double(g.x()) / window.width(), double(g.y()) / window.height(),
                       double(g.width()) / window.width(), double(g.height()) / window.height()});
    }
    return out;
}

} // namespace

TEST_F(QtHostTest, TheMainDialogIsBuiltFromItsTemplate) {
    const DialogTemplate& tmpl = LoadDialogTemplate(IDD_MAIN);
    RunProgram([&](CLinkControlDialog&, DialogWindow& w) {
        EXPECT_EQ(w.windowTitle(), "Quillmere");
        EXPECT_EQ(w.font().pointSize(), 8);
        Base b = BaseOf(w);
        EXPECT_EQ(w.size(), QSize(Px(230, b.x, 4), Px(220, b.y, 8)));
        EXPECT_EQ(w.minimumSize(), w.maximumSize()) << "the dialog cannot be resized";
        EXPECT_FALSE(w.windowFlags() & Qt::WindowMinimizeButtonHint);
        EXPECT_FALSE(w.windowFlags() & Qt::WindowMaximizeButtonHint);
        EXPECT_TRUE(w.windowFlags() & Qt::WindowCloseButtonHint);

        for (const ControlTemplate& c : tmpl.controls) {
            SCOPED_TRACE(c.name[0] ? c.name : c.text);
            QWidget* widget = WidgetFor(w, c);
            ASSERT_NE(widget, nullptr);
            EXPECT_TRUE(IsKind(widget, c.kind));
            EXPECT_EQ(widget->property("controlId").toInt(), c.id);
            EXPECT_EQ(bool(widget->focusPolicy() & Qt::TabFocus), bool(c.style & kTabStop));
            QRect expected = Expected(c.rect, b);
            QRect got = widget->geometry();
            if (c.kind == ControlKind::DropDownList) {
                // The template gives the dropped list's height; closed it is an edit's height.
                EXPECT_EQ(got.topLeft(), expected.topLeft());
                EXPECT_EQ(got.width(), expected.width());
                EXPECT_GE(got.height(), Px(12, b.y, 8));
                EXPECT_GE(got.height(), widget->sizeHint().height());
                EXPECT_LE(got.height(), Px(15, b.y, 8));
            } else if (c.kind == ControlKind::StaticText && c.id == -1) {
                // A caption may take more room to its right, never less.
                EXPECT_EQ(got.topLeft(), expected.topLeft());
                EXPECT_EQ(got.height(), expected.height());
                EXPECT_GE(got.width(), expected.width());
                EXPECT_LT(got.right(), Px(70, b.x, 4)) << "it stops before the controls";
            } else {
                EXPECT_EQ(got, expected);
            }
            if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
                EXPECT_EQ(button->text().toStdString(), c.text);
            }
            if (auto* label = qobject_cast<QLabel*>(widget); label && label->pixmap().isNull()) {
                EXPECT_EQ(label->textFormat(), Qt::PlainText);
                EXPECT_EQ(label->text().toStdString(), c.text);
                if (c.id == -1) {
                    EXPECT_EQ(label->alignment(), Qt::AlignLeft | Qt::AlignTop);
                }
            }
        }

        // The lists in template order; the baud rates unsorted, "115200" last.
        EXPECT_EQ(Items(Find<QComboBox>(w, "IDC_COM_PORT")),
                  (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4"}));
        EXPECT_EQ(Items(Find<QComboBox>(w, "IDC_BAUDRATE")),
                  (std::vector<std::string>{"19200", "38400", "57600", "115200"}));
        EXPECT_EQ(Items(Find<QComboBox>(w, "IDC_SENSITIVITY")),
                  (std::vector<std::string>{"1 - extrem störanfällig", "2 - sehr empfindlich",
                                            "3 - empfindlich", "4 - optimal", "5 - optimal",
                                            "6 - bei Störungen", "7 - bei Störungen"}));
        // Each dropped list shows all its entries.
        EXPECT_GE(Find<QComboBox>(w, "IDC_COM_PORT")->maxVisibleItems(), 4);
        EXPECT_GE(Find<QComboBox>(w, "IDC_SENSITIVITY")->maxVisibleItems(), 7);

        auto* status = Find<QLabel>(w, "IDC_STATUS");
        EXPECT_EQ(status->alignment(), Qt::AlignCenter);
        EXPECT_EQ(status->frameShadow(), QFrame::Sunken);
        EXPECT_FALSE(Find<QProgressBar>(w, "IDC_LINK_QUALITY")->isTextVisible());
        EXPECT_EQ(Find<QLineEdit>(w, "IDC_RAS_LINK_NAME")->maxLength(), QLineEdit().maxLength());
        for (auto* button : w.findChildren<QPushButton*>())
            EXPECT_FALSE(button->autoDefault()) << button->objectName().toStdString();
    });
}

TEST_F(QtHostTest, TabOrderIsTemplateOrder) {
    RunProgram([&](CLinkControlDialog&, DialogWindow& w) {
        std::vector<std::string> order;
        QWidget* first = Find<QWidget>(w, "IDC_COM_PORT");
        QWidget* at = first;
        do {
            if (at->focusPolicy() & Qt::TabFocus && at->parentWidget() == &w)
                order.push_back(at->objectName().toStdString());
            at = at->nextInFocusChain();
        } while (at != first && order.size() < 40);
        std::vector<std::string> expected{"IDC_COM_PORT",      "IDC_BAUDRATE",    "IDC_SENSITIVITY",
                                          "IDC_RAS_LINK_NAME", "IDC_RUN_PROGRAM", "IDC_BROWSE",
                                          "IDC_RUN_INVISIBLE", "IDC_SAVE",        "IDC_CONFIGURE",
                                          "IDC_TEST",          "IDC_CONNECT"};
        EXPECT_EQ(order, expected);
        EXPECT_EQ(w.focusWidget(), first) << "the first tab stop starts with the focus";
    });
}

TEST_F(QtHostTest, ALabelsAccessKeyTakesTheFocusToTheControlItNames) {
    const DialogTemplate tmpl{
        900,
        "IDD_KEYS",
        "Keys",
        120,
        60,
        "MS Sans Serif",
        8,
        kCaption,
        {
            {-1, "", ControlKind::StaticText, "&Port:", {5, 7, 30, 8}, 0, {}},
            {10, "IDC_A", ControlKind::DropDownList, "", {40, 5, 60, 40}, kTabStop, {"x"}},
            {-1, "", ControlKind::StaticText, "&Name:", {5, 25, 30, 8}, 0, {}},
            {11, "IDC_B", ControlKind::Edit, "", {40, 23, 60, 13}, kTabStop, {}},
        }};
    CDialog dlg(host, tmpl);
    RunDialog(dlg, [&](DialogWindow& w) {
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        QTest::keyClick(&w, Qt::Key_N, Qt::AltModifier);
        EXPECT_EQ(w.focusWidget(), w.Control(11));
        QTest::keyClick(&w, Qt::Key_P, Qt::AltModifier);
        EXPECT_EQ(w.focusWidget(), w.Control(10));
    });
}

TEST_F(QtHostTest, TheLoadedSettingsShowInTheWidgets) {
    store->Write("Settings", "Baudrate", "0");
    store->Write("Settings", "COM Port", "9"); // no such entry: no selection
    store->Write("Settings", "RAS Link Name", "Mast Nord");
    store->Write("Settings", "Run Invisible", "1");
    RunProgram([&](CLinkControlDialog&, DialogWindow& w) {
        EXPECT_EQ(Find<QComboBox>(w, "IDC_BAUDRATE")->currentText(), "19200");
        EXPECT_EQ(Find<QComboBox>(w, "IDC_COM_PORT")->currentIndex(), -1);
        EXPECT_EQ(Find<QComboBox>(w, "IDC_SENSITIVITY")->currentText(), "4 - optimal");
        EXPECT_EQ(Find<QLineEdit>(w, "IDC_RAS_LINK_NAME")->text(), "Mast Nord");
        EXPECT_TRUE(Find<QCheckBox>(w, "IDC_RUN_INVISIBLE")->isChecked());
        EXPECT_FALSE(Find<QPushButton>(w, "IDC_SAVE")->isEnabled());
        EXPECT_FALSE(Find<QPushButton>(w, "IDC_CONNECT")->isEnabled());
        auto* bar = Find<QProgressBar>(w, "IDC_LINK_QUALITY");
        EXPECT_EQ(bar->minimum(), 0);
        EXPECT_EQ(bar->maximum(), 256);
        EXPECT_EQ(bar->value(), 0);
    });
}

TEST_F(QtHostTest, ProportionsHoldAtAnotherFontSize) {
    std::vector<QRectF> small;
    std::vector<QRectF> large;
    DialogTemplate big = LoadDialogTemplate(IDD_MAIN);
    big.fontPointSize = 16;
    int smallBase = 0, largeBase = 0;
    {
        CDialog dlg(host, LoadDialogTemplate(IDD_MAIN));
        RunDialog(dlg, [&](DialogWindow& w) {
            small = Shares(w);
            smallBase = BaseOf(w).y;
            EXPECT_EQ(Clipped(w), "");
        });
    }
    {
        CDialog dlg(host, big);
        RunDialog(dlg, [&](DialogWindow& w) {
            large = Shares(w);
            largeBase = BaseOf(w).y;
            Base b = BaseOf(w);
            EXPECT_EQ(w.size(), QSize(Px(230, b.x, 4), Px(220, b.y, 8)));
            EXPECT_EQ(Clipped(w), "");
        });
    }
    EXPECT_GT(largeBase, smallBase * 3 / 2) << "the larger font gave a larger layout";
    ASSERT_EQ(small.size(), large.size());
    const auto& controls = LoadDialogTemplate(IDD_MAIN).controls;
    for (size_t i = 0; i < small.size(); ++i) {
        SCOPED_TRACE(controls[i].name[0] ? controls[i].name : controls[i].text);
        EXPECT_NEAR(large[i].x(), small[i].x(), 0.02);
        EXPECT_NEAR(large[i].y(), small[i].y(), 0.02);
        if (controls[i].id != -1) {
            EXPECT_NEAR(large[i].width(), small[i].width(), 0.02);
        }
        if (controls[i].kind != ControlKind::DropDownList) {
            EXPECT_NEAR(large[i].height(), small[i].height(), 0.02);
        }
    }
}

TEST_F(QtHostTest, TheAboutBoxShowsTheIconTheTextsAndADefaultOk) {
    RunProgram([&](CLinkControlDialog& dlg, DialogWindow& main) {
        WhenShown(Named("IDD_ABOUT"), [&](QWidget* about) {
            EXPECT_EQ(about->windowTitle(), "Info über Quillmere");
            EXPECT_EQ(about->parentWidget(), &main) << "the main dialog owns the About box";
            std::vector<std::string> texts;
            QLabel* icon = nullptr;
            for (auto* label : about->findChildren<QLabel*>()) {
                if (!label->pixmap().isNull())
                    icon = label;
                else
                    texts.push_back(label->text().toStdString());
            }
            ASSERT_NE(icon, nullptr);
            EXPECT_EQ(icon->pixmap().size(), QSize(32, 32));
            EXPECT_EQ(texts, (std::vector<std::string>{"Quillmere Version 1.0",
                                                       "Copyright © 2026 Talvenmark"}));
            auto* ok = Find<QPushButton>(*about, "IDOK");
            ASSERT_NE(ok, nullptr);
            EXPECT_TRUE(ok->isDefault());
            EXPECT_EQ(about->focusWidget(), ok);
            ok->click();
        });
        dlg.OnSysCommand(IDM_ABOUT, 0);
        EXPECT_EQ(host.TopWindow(), &main) << "OK ended the About box";
    });
}
