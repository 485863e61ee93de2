#include "platform/qt/protocol_window.h"

#include "platform/qt/pdf_report.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPainter>
#include <QPushButton>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

const QColor kDamaged(0xc6, 0x28, 0x28);

} // namespace

class ReportPreview final : public QWidget {
public:
    explicit ReportPreview(QWidget* parent) : QWidget(parent) {
        setObjectName(QStringLiteral("Vorschau"));
        setMinimumSize(320, 160);
    }
    void SetPage(ReportPage page, QString empty) {
        m_page = std::move(page);
        m_empty = std::move(empty);
        setAccessibleDescription(Q(m_page.verdict));
        update();
    }
    const ReportPage& Page() const { return m_page; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillRect(rect(), palette().color(QPalette::Base));
        const int line = fontMetrics().height();
        if (m_page.title.empty()) {
            p.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, m_empty);
            return;
        }
        // The verdict above the curve: the list says what ended it, this says how good it was.
        QRect used;
        p.drawText(rect().adjusted(line / 2, line / 2, -line / 2, 0),
                   Qt::AlignLeft | Qt::TextWordWrap, Q(m_page.verdict), &used);
        DrawReportPlot(p, m_page, rect().adjusted(line / 2, used.bottom() + line / 2, -line, 0),
                       line);
    }

private:
    ReportPage m_page;
    QString m_empty;
};

ProtocolWindow::ProtocolWindow(QWidget* owner, IProtocolActions& actions)
    : QDialog(owner), m_actions(actions), m_list(new QTreeWidget(this)),
      m_preview(new ReportPreview(this)), m_savePdf(new QPushButton(this)),
      m_saveCsv(new QPushButton(this)) {
    setObjectName(QStringLiteral("Protokoll"));
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    m_list->setObjectName(QStringLiteral("Linktests"));
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setAllColumnsShowFocus(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_savePdf->setObjectName(QStringLiteral("IDS_PROTOCOL_SAVE_PDF"));
    m_saveCsv->setObjectName(QStringLiteral("IDS_PROTOCOL_SAVE_CSV"));

    auto* splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(m_list);
    splitter->addWidget(m_preview);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 1);
    splitter->setChildrenCollapsible(false);

    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(m_savePdf, QDialogButtonBox::ActionRole);
    buttons->addButton(m_saveCsv, QDialogButtonBox::ActionRole);
    QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
    close->setObjectName(QStringLiteral("IDS_PROTOCOL_CLOSE"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    connect(m_savePdf, &QPushButton::clicked, this, [this] {
        if (CurrentRow() >= 0)
            m_actions.SavePdf(static_cast<std::size_t>(CurrentRow()));
    });
    connect(m_saveCsv, &QPushButton::clicked, this, [this] {
        if (CurrentRow() >= 0)
            m_actions.SaveCsv(static_cast<std::size_t>(CurrentRow()));
    });
    connect(m_list, &QTreeWidget::currentItemChanged, this, [this] { RowChanged(); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(splitter, 1);
    layout->addWidget(buttons);
    resize(640, 560);
}

void ProtocolWindow::SetView(const ProtocolView& view) {
    setWindowTitle(Q(view.title));
    m_savePdf->setText(Q(view.savePdf));
    m_savePdf->setVisible(!view.savePdf.empty());
    m_saveCsv->setText(Q(view.saveCsv));
    if (QAbstractButton* close = findChild<QAbstractButton*>(QStringLiteral("IDS_PROTOCOL_CLOSE")))
        close->setText(Q(view.close));
    m_list->clear();
    QStringList headers;
    for (const std::string& column : view.columns)
        headers << Q(column);
    m_list->setHeaderLabels(headers);
    for (const ProtocolView::Row& row : view.rows) {
        auto* item = new QTreeWidgetItem(m_list);
        for (std::size_t i = 0; i < row.cells.size(); ++i) {
            item->setText(static_cast<int>(i), Q(row.cells[i]));
            if (row.damaged)
                item->setForeground(static_cast<int>(i), kDamaged);
        }
    }
    for (int i = 0; i < m_list->columnCount(); ++i)
        m_list->resizeColumnToContents(i);
    m_preview->SetPage({}, Q(view.empty));
    SelectRow(view.rows.empty() ? -1 : 0);
    RowChanged();
}

int ProtocolWindow::CurrentRow() const {
    QTreeWidgetItem* item = m_list->currentItem();
    return item ? m_list->indexOfTopLevelItem(item) : -1;
}

void ProtocolWindow::SelectRow(int row) {
    m_list->setCurrentItem(row >= 0 ? m_list->topLevelItem(row) : nullptr);
}

void ProtocolWindow::RowChanged() {
    const int row = CurrentRow();
    m_savePdf->setEnabled(row >= 0);
    m_saveCsv->setEnabled(row >= 0);
    if (row >= 0)
        m_preview->SetPage(m_actions.Preview(static_cast<std::size_t>(row)), {});
}
