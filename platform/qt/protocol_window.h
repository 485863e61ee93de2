// The recorded link tests as a Qt window: the list, the chosen test's plot as the report draws
// it, and the buttons that save its report. What is listed and what a button does are the
// dialog's; the window only shows and hands back.
#pragma once

#include "platform/protocol_view.h"

#include <QDialog>

class QPushButton;
class QTreeWidget;
class ReportPreview;

class ProtocolWindow final : public QDialog {
public:
    ProtocolWindow(QWidget* owner, IProtocolActions& actions);
    void SetView(const ProtocolView& view);
    // The row chosen, -1 for none.
    int CurrentRow() const;
    void SelectRow(int row);

private:
    void RowChanged();

    IProtocolActions& m_actions;
    QTreeWidget* m_list;
    ReportPreview* m_preview;
    QPushButton* m_savePdf;
    QPushButton* m_saveCsv;
};
