#include "platform/qt/dialog_window.h"
#include "platform/qt/marked_progress_bar.h"

#include "platform/control_label.h"
#include "platform/dialog.h"
#include "platform/qt/icons.h"
#include "platform/qt/marked_progress_bar.h"
#include "platform/resource_provider.h"

#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>

#include <algorithm>

namespace {

// Qt's parent owns its children: they go with the window.
template <class W> W* Child(QWidget* parent) {
    return new W(parent);
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

Qt::WindowFlags FlagsFor(const DialogTemplate& tmpl) {
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint;
    if (tmpl.style & kCaption)
        flags |= Qt::WindowTitleHint;
    if (tmpl.style & kSysMenu)
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (tmpl.style & kMinimizeBox)
        flags |= Qt::WindowMinimizeButtonHint;
    if (tmpl.style & kMaximizeBox)
        flags |= Qt::WindowMaximizeButtonHint;
    return flags;
}

} // namespace

DialogWindow::DialogWindow(CDialog& dlg, QWidget* owner, const IResourceProvider& resources)
    : QDialog(owner, FlagsFor(dlg.Template())), m_dlg(dlg), m_units(DialogFont(dlg.Template())) {
    const DialogTemplate& tmpl = dlg.Template();
    setObjectName(tmpl.name);
    setWindowTitle(Q(tmpl.title));
    setFont(DialogFont(tmpl));
    setFixedSize(m_units.X(tmpl.cx), m_units.Y(tmpl.cy));
    m_menu.push_back({SC_CLOSE, QStringLiteral("Schließen")});

    QWidget* previous = nullptr;
    QWidget* first = nullptr;
    std::vector<QWidget*> built; // in template order
    for (const ControlTemplate& c : tmpl.controls) {
        QWidget* w = Build(c, resources);
        built.push_back(w);
        w->setObjectName(c.name);
        w->setProperty("controlId", c.id);
        if (!c.visible)
            w->hide();
        if (c.id != -1)
            m_items[c.id] = {&c, w};
        if (!(c.style & kTabStop)) {
            w->setFocusPolicy(Qt::NoFocus);
            continue;
        }
        w->setFocusPolicy(Qt::StrongFocus);
        if (previous)
            QWidget::setTabOrder(previous, w);
        else
            first = w;
        previous = w;
    }
    for (std::size_t i = 0; i < built.size(); ++i) {
        const ControlTemplate* label = LabelOf(tmpl, tmpl.controls[i]);
        if (!label)
            continue;
        QWidget* w = built[i];
        w->setAccessibleName(Q(ReadableText(*label)));
        // A screen reader names a combo box by the label whose buddy it is, never by the
        // accessible name; the buddy also takes the label's access key. A label that shows "&"
        // as it is would lose it to the access key.
        if (!(label->style & kNoPrefix) || label->text.find('&') == std::string::npos)
            static_cast<QLabel*>(built[label - tmpl.controls.data()])->setBuddy(w);
    }
    if (first)
        first->setFocus();
}

QWidget* DialogWindow::Build(const ControlTemplate& c, const IResourceProvider& resources) {
    QRect rect = m_units.Map(c.rect);
    const int id = c.id;
    switch (c.kind) {
    case ControlKind::DropDownList:
    case ControlKind::DropDown: {
        auto* combo = Child<QComboBox>(this);
        const bool editable = c.kind == ControlKind::DropDown;
        combo->setEditable(editable);
        if (editable) {
            // As on Windows: Enter adds nothing to the list, and typing is not completed.
            combo->setInsertPolicy(QComboBox::NoInsert);
            combo->setCompleter(nullptr);
            connect(combo->lineEdit(), &QLineEdit::textEdited, this,
                    [this, id] { Notify(id, CBN_EDITCHANGE); });
        }
        for (const auto& item : c.items)
            combo->addItem(Q(item));
        combo->setCurrentIndex(-1);
        if (editable)
            combo->setEditText(Q(c.text));
        // The template's height is that of the dropped list; closed, a combo box is as high as
        // an edit box.
        int closed = std::max(m_units.Y(13), combo->sizeHint().height());
        int lines = (rect.height() - closed) / std::max(1, QFontMetrics(font()).height());
        combo->setMaxVisibleItems(std::max(1, lines));
        combo->setGeometry(rect.x(), rect.y(), rect.width(), closed);
        // Only the user's choice is a selection change; the program's setCurrentIndex is not.
        connect(combo, &QComboBox::activated, this, [this, id] { Notify(id, CBN_SELCHANGE); });
        return combo;
    }
    case ControlKind::Edit: {
        auto* edit = Child<QLineEdit>(this);
        edit->setFrame(c.style & kBorder);
        edit->setText(Q(c.text));
        edit->setCursorPosition(0); // a long text shows its start, as on Windows
        edit->setGeometry(rect);
        // As on Windows, the program's own setText raises the change notification too.
        connect(edit, &QLineEdit::textChanged, this, [this, id] { Notify(id, EN_CHANGE); });
        return edit;
    }
    case ControlKind::PushButton:
    case ControlKind::DefPushButton: {
        auto* button = Child<QPushButton>(this);
        button->setText(Q(c.text));
        bool isDefault = c.kind == ControlKind::DefPushButton;
        button->setAutoDefault(isDefault);
        button->setDefault(isDefault);
        button->setGeometry(rect);
        connect(button, &QAbstractButton::clicked, this, [this, id] { Notify(id, BN_CLICKED); });
        return button;
    }
    case ControlKind::AutoCheckBox: {
        auto* check = Child<QCheckBox>(this);
        check->setText(Q(c.text));
        check->setGeometry(rect);
        // clicked comes after the box has toggled itself, as BN_CLICKED of an automatic box.
        connect(check, &QAbstractButton::clicked, this, [this, id] { Notify(id, BN_CLICKED); });
        return check;
    }
    case ControlKind::ProgressBar: {
        auto* bar = Child<MarkedProgressBar>(this);
        bar->setTextVisible(false);
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setProperty("windowText", Q(c.text));
        bar->setGeometry(rect);
        return bar;
    }
    case ControlKind::StaticText: {
        auto* label = Child<QLabel>(this);
        // Never markup: a status line may carry a command line or a service's error text.
        label->setTextFormat(Qt::PlainText);
        label->setText(Q(c.text));
        if ((c.style & kCenter) && (c.style & kCenterImage))
            label->setAlignment(Qt::AlignCenter);
        else if (c.style & kCenter)
            label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        else
            label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        // A static text with room for two lines or more breaks its text at words, as it does
        // on Windows.
        const bool multiLine =
            !(c.style & kCenterImage) && rect.height() >= 2 * QFontMetrics(font()).lineSpacing();
        label->setWordWrap(multiLine);
        if (c.style & kStaticEdge) {
            label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            label->setLineWidth(1);
        } else if (!(c.style & kCenter) && !multiLine) {
            // The template was measured with a narrower font: a caption that would lose its
            // last letters gets the room it needs, into the free space to its right. Measured
            // as the label lays its text out: the advance alone misses the last glyph's overhang.
            rect.setWidth(std::max(rect.width(), label->sizeHint().width()));
        }
        label->setGeometry(rect);
        return label;
    }
    case ControlKind::StaticIcon: {
        auto* label = Child<QLabel>(this);
        QPixmap pixmap =
            LoadIconPixmap(resources, resources.IconId(c.text), 32, devicePixelRatioF());
        label->setPixmap(pixmap);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        // An icon control takes the icon's size, whatever the template says.
        const QSize icon = pixmap.deviceIndependentSize().toSize();
        label->setGeometry(rect.x(), rect.y(), std::max(rect.width(), icon.width()),
                           std::max(rect.height(), icon.height()));
        return label;
    }
    }
    return Child<QWidget>(this);
}

QWidget* DialogWindow::Control(int id) const {
    auto it = m_items.find(id);
    return it == m_items.end() ? nullptr : it->second.widget;
}

const ControlTemplate* DialogWindow::Template(int id) const {
    auto it = m_items.find(id);
    return it == m_items.end() ? nullptr : it->second.tmpl;
}

void DialogWindow::Notify(int id, int code) {
    m_dlg.OnCmdMsg(id, code);
}

void DialogWindow::accept() {
    m_dlg.OnOK();
}

void DialogWindow::reject() {
    m_dlg.OnCancel();
}

void DialogWindow::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Enter:
    case Qt::Key_Return: {
        // Enter on a push button presses that button; elsewhere it presses the default
        // button, and where there is none it is the OK command.
        auto* focused = qobject_cast<QPushButton*>(focusWidget());
        if (!focused) {
            for (auto* button : findChildren<QPushButton*>())
                if (button->isDefault() && button->isVisible())
                    focused = button;
        }
        if (focused) {
            if (focused->isEnabled())
                focused->click();
        } else {
            accept();
        }
        return;
    }
    case Qt::Key_F1:
        m_dlg.OnHelp();
        return;
    case Qt::Key_F10:
        if (event->modifiers() != Qt::ShiftModifier)
            break;
        [[fallthrough]];
    case Qt::Key_Menu: {
        // The keyboard way to the window menu; it opens below the control in focus.
        QWidget* anchor = focusWidget() ? focusWidget() : this;
        ShowMenu(anchor->mapToGlobal(QPoint(0, anchor->height())));
        return;
    }
    default:
        break;
    }
    QDialog::keyPressEvent(event); // Escape: reject()
}

void DialogWindow::AppendMenuSeparator() {
    m_menu.push_back({0, QString()});
}

void DialogWindow::AppendMenuItem(unsigned command, const QString& text) {
    m_menu.push_back({command, text});
}

void DialogWindow::SetMenuItemState(unsigned command, bool checked, bool enabled,
                                    const QString& why) {
    for (MenuEntry& entry : m_menu) {
        if (entry.command == command && !entry.text.isEmpty()) {
            entry.checked = checked;
            entry.enabled = enabled;
            entry.why = why;
        }
    }
}

std::unique_ptr<QMenu> DialogWindow::BuildMenu() {
    auto menu = std::make_unique<QMenu>(this);
    menu->setObjectName("SystemMenu");
    menu->setToolTipsVisible(true);
    for (const auto& entry : m_menu) {
        if (entry.text.isEmpty()) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(entry.text); // "&" marks the access key
        action->setData(entry.command);
        action->setCheckable(entry.checked.has_value());
        action->setChecked(entry.checked.value_or(false));
        action->setEnabled(entry.enabled);
        action->setToolTip(entry.why.isEmpty() ? QString(entry.text).remove('&') : entry.why);
    }
    return menu;
}

void DialogWindow::ShowMenu(const QPoint& globalPos) {
    std::unique_ptr<QMenu> menu = BuildMenu();
    QAction* chosen = menu->exec(globalPos);
    if (!chosen)
        return;
    unsigned command = chosen->data().toUInt();
    menu.reset();
    m_dlg.OnSysCommand(command, 0);
}

void DialogWindow::contextMenuEvent(QContextMenuEvent* event) {
    ShowMenu(event->globalPos());
    event->accept();
}

void DialogWindow::paintEvent(QPaintEvent* event) {
    m_paintEvent = event;
    m_dlg.OnPaint();
    m_paintEvent = nullptr;
}

void DialogWindow::DefaultPaint() {
    if (m_paintEvent)
        QDialog::paintEvent(m_paintEvent);
}

void DialogWindow::DrawPixmap(int x, int y, const QPixmap& pixmap) {
    if (!m_paintEvent)
        return;
    QPainter painter(this);
    painter.drawPixmap(x, y, pixmap); // at its logical size, whatever its pixel ratio
}
