// The window of one dialog: built from its template, it passes what the user does to the
// CDialog as the framework would (notifications, OK, Cancel, Help, the window menu, painting).
#pragma once

#include "platform/dialog_template.h"
#include "platform/dialog_types.h"
#include "platform/qt/dialog_units.h"

#include <QDialog>
#include <QMenu>

#include <map>
#include <memory>
#include <optional>
#include <vector>

class CDialog;
class IResourceProvider;

class DialogWindow : public QDialog {
public:
    // The icon controls' images come from resources.
    DialogWindow(CDialog& dlg, QWidget* owner, const IResourceProvider& resources);

    CDialog& Dlg() const { return m_dlg; }
    const DialogUnits& Units() const { return m_units; }
    // The control with that id and its template; nullptr when the dialog has none.
    QWidget* Control(int id) const;
    const ControlTemplate* Template(int id) const;

    // The stand-in for the window menu: the dialog's context menu. It starts with the close
    // command; the dialog appends its own items.
    void AppendMenuSeparator();
    void AppendMenuItem(unsigned command, const QString& text);
    void SetMenuItemState(unsigned command, bool checked, bool enabled, const QString& why);
    std::unique_ptr<QMenu> BuildMenu();
    void ShowMenu(const QPoint& globalPos);

    // Painting, valid only while OnPaint runs inside a paint event.
    void DefaultPaint();
    void DrawPixmap(int x, int y, const QPixmap& pixmap);

    // Set by EndModal; a dialog may end before its modal loop has even started.
    bool ended = false;
    int result = 0;

    // OK and Cancel go to the dialog, which decides through EndModal whether the window closes.
    void accept() override;
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    struct Item {
        const ControlTemplate* tmpl;
        QWidget* widget;
    };
    struct MenuEntry {
        unsigned command; // 0 with an empty text: a separator
        QString text;
        std::optional<bool> checked = {}; // checkable once it has a state
        bool enabled = true;
        QString why = {};
    };

    QWidget* Build(const ControlTemplate& c, const IResourceProvider& resources);
    void Notify(int id, int code);

    CDialog& m_dlg;
    DialogUnits m_units;
    std::map<int, Item> m_items;
    std::vector<MenuEntry> m_menu;
    QPaintEvent* m_paintEvent = nullptr;
};
