#include "platform/qt/qt_host.h"

#include "platform/dialog.h"
#include "platform/qt/dialog_window.h"
#include "platform/qt/file_list_texts.h"
#include "platform/qt/icons.h"
#include "platform/qt/marked_progress_bar.h"
#include "platform/qt/protocol_window.h"
#include "platform/qt/qt_tone.h"
#include "platform/qt/readout_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QImage>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTextDocument>
#include <QThread>

#include <algorithm>
#include <memory>
#include <string>

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// Takes the window off the modal stack however RunModal is left.
class StackEntry {
public:
    StackEntry(std::vector<DialogWindow*>& stack, DialogWindow* window)
        : m_stack(stack), m_window(window) {
        m_stack.push_back(window);
    }
    ~StackEntry() { std::erase(m_stack, m_window); }
    StackEntry(const StackEntry&) = delete;
    StackEntry& operator=(const StackEntry&) = delete;

private:
    std::vector<DialogWindow*>& m_stack;
    DialogWindow* m_window;
};

} // namespace

QtHost::QtHost(const IResourceProvider& resources) : m_resources(resources) {}
QtHost::~QtHost() = default;

// --- queue ---------------------------------------------------------------------------------

void QtHost::Post(std::function<void()> fn) {
    // Queued calls to one receiver are delivered in posting order, from any thread.
    QMetaObject::invokeMethod(qApp, std::move(fn), Qt::QueuedConnection);
}

bool QtHost::IsUiThread() const {
    return qApp && QThread::currentThread() == qApp->thread();
}

// --- modal run -----------------------------------------------------------------------------

DialogWindow* QtHost::WindowOf(const CDialog& dlg) const {
    for (DialogWindow* w : m_windows)
        if (&w->Dlg() == &dlg)
            return w;
    return nullptr;
}

DialogWindow* QtHost::TopWindow() const {
    return m_windows.empty() ? nullptr : m_windows.back();
}

// A dialog without a parent is owned by the window the user is working in: the topmost one.
QWidget* QtHost::OwnerFor(CDialog* dlg) const {
    if (dlg)
        if (DialogWindow* w = WindowOf(*dlg))
            return w;
    return TopWindow();
}

int QtHost::RunModal(CDialog& dlg) {
    auto window = std::make_unique<DialogWindow>(dlg, OwnerFor(dlg.Parent()), m_resources);
    StackEntry entry(m_windows, window.get());
    dlg.OnInitDialog();
    // OnInitDialog may already have ended the dialog; then it is never shown.
    if (!window->ended)
        window->exec();
    return window->result;
}

void QtHost::EndModal(CDialog& dlg, int result) {
    DialogWindow* w = WindowOf(dlg);
    if (!w)
        return;
    w->ended = true;
    w->result = result;
    w->done(result);
}

template <class W> W* QtHost::ControlOf(CDialog& dlg, int id) const {
    DialogWindow* w = WindowOf(dlg);
    return w ? qobject_cast<W*>(w->Control(id)) : nullptr;
}

// --- control operations ------------------------------------------------------------------

void QtHost::EnableItem(CDialog& dlg, int id, bool enable) {
    if (QWidget* c = ControlOf<QWidget>(dlg, id))
        c->setEnabled(enable);
}

bool QtHost::IsItemEnabled(CDialog& dlg, int id) {
    QWidget* c = ControlOf<QWidget>(dlg, id);
    // The control's own state, not whether a modal dialog above blocks its window.
    return c && c->isEnabledTo(c->window());
}

void QtHost::SetItemText(CDialog& dlg, int id, const std::string& text) {
    QWidget* c = ControlOf<QWidget>(dlg, id);
    if (!c)
        return;
    QString t = Q(text);
    if (auto* edit = qobject_cast<QLineEdit*>(c)) {
        edit->setText(t);           // raises EN_CHANGE when the text differs
        edit->setCursorPosition(0); // the start of a long path, as on Windows
    } else if (auto* label = qobject_cast<QLabel*>(c))
        label->setText(t);
    else if (auto* button = qobject_cast<QAbstractButton*>(c))
        button->setText(t);
    else if (auto* combo = qobject_cast<QComboBox*>(c)) {
        if (combo->isEditable()) {
            combo->setEditText(t);
            combo->lineEdit()->setCursorPosition(0); // the start of a long path, as on Windows
        } else {
            combo->setCurrentIndex(
                combo->findText(t, Qt::MatchFixedString | Qt::MatchCaseSensitive));
        }
    } else
        c->setProperty("windowText", t);
}

std::string QtHost::GetItemText(CDialog& dlg, int id) {
    QWidget* c = ControlOf<QWidget>(dlg, id);
    if (!c)
        return {};
    if (auto* edit = qobject_cast<QLineEdit*>(c))
        return edit->text().toStdString();
    if (auto* label = qobject_cast<QLabel*>(c))
        return label->text().toStdString();
    if (auto* button = qobject_cast<QAbstractButton*>(c))
        return button->text().toStdString();
    if (auto* combo = qobject_cast<QComboBox*>(c))
        return combo->currentText().toStdString();
    return c->property("windowText").toString().toStdString();
}

void QtHost::SetCheck(CDialog& dlg, int id, unsigned state) {
    if (auto* check = ControlOf<QAbstractButton>(dlg, id); check && check->isCheckable())
        check->setChecked(state != BST_UNCHECKED); // raises no BN_CLICKED
}

unsigned QtHost::GetCheck(CDialog& dlg, int id) {
    auto* check = ControlOf<QAbstractButton>(dlg, id);
    return check && check->isChecked() ? BST_CHECKED : BST_UNCHECKED;
}

void QtHost::SetCurSel(CDialog& dlg, int id, int index) {
    auto* combo = ControlOf<QComboBox>(dlg, id);
    if (!combo)
        return;
    // As CB_SETCURSEL: an index outside the list leaves no selection.
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

int QtHost::GetCurSel(CDialog& dlg, int id) {
    auto* combo = ControlOf<QComboBox>(dlg, id);
    return combo ? combo->currentIndex() : -1;
}

void QtHost::ResetContent(CDialog& dlg, int id) {
    if (auto* combo = ControlOf<QComboBox>(dlg, id)) {
        combo->clear();
        if (combo->isEditable())
            combo->clearEditText();
    }
}

void QtHost::AddString(CDialog& dlg, int id, const std::string& text) {
    if (auto* combo = ControlOf<QComboBox>(dlg, id))
        combo->addItem(Q(text));
}

void QtHost::SetRange(CDialog& dlg, int id, int lower, int upper) {
    if (auto* bar = ControlOf<QProgressBar>(dlg, id))
        bar->setRange(lower, upper);
}

void QtHost::SetPos(CDialog& dlg, int id, int pos) {
    // A progress bar keeps its position inside its range, as PBM_SETPOS does; QProgressBar
    // would ignore a value outside it instead.
    if (auto* bar = ControlOf<QProgressBar>(dlg, id))
        bar->setValue(std::clamp(pos, bar->minimum(), bar->maximum()));
}

void QtHost::SetMark(CDialog& dlg, int id, int pos) {
    if (auto* bar = dynamic_cast<MarkedProgressBar*>(ControlOf<QWidget>(dlg, id)))
        bar->SetMark(pos);
}

// Whole device pixels a module, so that no module blurs into its neighbour for a camera.
void QtHost::SetImage(CDialog& dlg, int id, const MonoImage& image) {
    auto* label = ControlOf<QLabel>(dlg, id);
    if (!label || image.size == 0)
        return;
    constexpr int kQuiet = 4;
    const int modules = image.size + 2 * kQuiet;
    const qreal ratio = label->devicePixelRatioF();
    const int scale = std::max(1, int(std::min(label->width(), label->height()) * ratio) / modules);
    QImage picture(modules * scale, modules * scale, QImage::Format_RGB32);
    picture.fill(Qt::white);
    for (int y = 0; y < image.size; ++y)
        for (int x = 0; x < image.size; ++x)
            if (image.Dark(x, y))
                for (int dy = 0; dy < scale; ++dy)
                    for (int dx = 0; dx < scale; ++dx)
                        picture.setPixel((x + kQuiet) * scale + dx, (y + kQuiet) * scale + dy,
                                         qRgb(0, 0, 0));
    QPixmap pixmap = QPixmap::fromImage(picture);
    pixmap.setDevicePixelRatio(ratio);
    label->setAlignment(Qt::AlignCenter);
    label->setPixmap(pixmap);
    label->setAccessibleName(Q(image.name));
}

int QtHost::GetPos(CDialog& dlg, int id) {
    auto* bar = ControlOf<QProgressBar>(dlg, id);
    return bar ? bar->value() : 0;
}

// A tooltip renders what looks like markup as markup, and a tooltip shows a device's name or a
// service's error: such a text goes as HTML that shows it literally, line breaks kept. Screen
// readers read the tooltip as it is, so they get the words as their description.
void QtHost::SetToolTip(CDialog& dlg, int id, const std::string& text) {
    QWidget* c = ControlOf<QWidget>(dlg, id);
    if (!c)
        return;
    const QString plain = Q(text);
    const bool looksRich = Qt::mightBeRichText(plain);
    c->setToolTip(looksRich ? "<p style='white-space:pre-wrap'>" + plain.toHtmlEscaped() + "</p>"
                            : plain);
    c->setAccessibleDescription(looksRich ? plain : QString());
    // A bar's number alone says little: its reading with the verdict is what a screen reader
    // should give.
    if (auto* bar = qobject_cast<QProgressBar*>(c)) {
        bar->setFormat(plain);
        bar->setAccessibleDescription(plain);
    }
}

// --- window furniture ----------------------------------------------------------------------

bool QtHost::HasSystemMenu(CDialog& dlg) {
    return dlg.Template().style & kSysMenu;
}

void QtHost::AppendSystemMenuSeparator(CDialog& dlg) {
    if (DialogWindow* w = WindowOf(dlg))
        w->AppendMenuSeparator();
}

void QtHost::AppendSystemMenuItem(CDialog& dlg, unsigned command, const std::string& text) {
    if (DialogWindow* w = WindowOf(dlg))
        w->AppendMenuItem(command, Q(text));
}

void QtHost::SetSystemMenuItemState(CDialog& dlg, unsigned command, bool checked, bool enabled,
                                    const std::string& why) {
    if (DialogWindow* w = WindowOf(dlg))
        w->SetMenuItemState(command, checked, enabled, Q(why));
}

void QtHost::AddShortcut(CDialog& dlg, char ctrlLetter, unsigned command) {
    DialogWindow* w = WindowOf(dlg);
    if (!w)
        return;
    auto* shortcut =
        new QShortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_A + (ctrlLetter - 'A'))), w);
    QObject::connect(shortcut, &QShortcut::activated, w,
                     [w, command] { w->Dlg().OnSysCommand(command, 0); });
}

std::string QtHost::ToneUnavailable() {
    return Tone().Unavailable();
}

void QtHost::SetTone(int hz, bool pulsed) {
    Tone().Set(hz, pulsed);
}

void QtHost::ShowReadout(CDialog& owner, const ReadoutPicture& picture) {
    if (!m_readout) {
        m_readout = new ReadoutWindow(WindowOf(owner), Q(picture.title));
        m_readout->show();
    }
    m_readout->SetPicture(picture);
    m_readout->raise();
    m_readout->activateWindow();
}

void QtHost::ShowProtocol(CDialog& owner, const ProtocolView& view, IProtocolActions& actions) {
    if (!m_protocol) {
        // Filled before it shows, so that its first layout fits the buttons' texts.
        m_protocol = new ProtocolWindow(WindowOf(owner), actions);
        m_protocol->SetView(view);
        m_protocol->show();
    } else {
        m_protocol->SetView(view);
    }
    m_protocol->raise();
    m_protocol->activateWindow();
}

ProtocolWindow* QtHost::Protocol() const {
    return m_protocol.data();
}

bool QtHost::IsProtocolShown() {
    return !m_protocol.isNull();
}

void QtHost::CloseProtocol() {
    delete m_protocol.data();
}

bool QtHost::IsReadoutShown() {
    return !m_readout.isNull();
}

void QtHost::UpdateReadout(const ReadoutPicture& picture) {
    if (m_readout)
        m_readout->SetPicture(picture);
}

void QtHost::CloseReadout() {
    delete m_readout.data();
}

// Double-clicks reach the control's own handler first: an event filter sees them before it.
void QtHost::SetDoubleClickCommand(CDialog& dlg, int id, unsigned command) {
    QWidget* c = ControlOf<QWidget>(dlg, id);
    if (!c)
        return;
    struct Filter final : QObject {
        Filter(QObject* parent, CDialog& dlg, unsigned command)
            : QObject(parent), dlg(dlg), command(command) {}
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() != QEvent::MouseButtonDblClick)
                return false;
            dlg.OnSysCommand(command, 0);
            return true;
        }
        CDialog& dlg;
        unsigned command;
    };
    c->installEventFilter(new Filter(c, dlg, command));
}

QtTone& QtHost::Tone() {
    if (!m_tone)
        m_tone = std::make_unique<QtTone>();
    return *m_tone;
}

void QtHost::SetIcon(CDialog& dlg, int iconId, bool) {
    // One icon holds every size; the window system picks the one it needs.
    QIcon icon = LoadIcon(m_resources, iconId);
    if (DialogWindow* w = WindowOf(dlg))
        w->setWindowIcon(icon);
    QApplication::setWindowIcon(icon);
}

bool QtHost::IsIconic(CDialog& dlg) {
    DialogWindow* w = WindowOf(dlg);
    return w && (w->windowState() & Qt::WindowMinimized);
}

CSize QtHost::ClientSize(CDialog& dlg) {
    DialogWindow* w = WindowOf(dlg);
    return w ? CSize{w->width(), w->height()} : CSize{};
}

void QtHost::DrawIcon(CDialog& dlg, int x, int y, int iconId) {
    if (DialogWindow* w = WindowOf(dlg))
        w->DrawPixmap(x, y,
                      LoadIconPixmap(m_resources, iconId, IconSize().cx, w->devicePixelRatioF()));
}

void QtHost::DefaultPaint(CDialog& dlg) {
    if (DialogWindow* w = WindowOf(dlg))
        w->DefaultPaint();
}

// --- message box and file chooser ----------------------------------------------------------

int QtHost::MessageBox(CDialog* owner, const std::string& text, unsigned) {
    QMessageBox box(OwnerFor(owner));
    box.setWindowTitle(QApplication::applicationName());
    box.setTextFormat(Qt::PlainText);
    box.setText(Q(text));
    box.setIcon(QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return IDOK;
}

// Over the protocol window when it is open: that is where the save was asked.
std::optional<std::string> QtHost::ChooseSaveFile(CDialog* owner, const std::string& title,
                                                  const std::string& initialName,
                                                  const std::string& filter) {
    if (m_answerSaveFile)
        return m_answerSaveFile(initialName);
    QWidget* parent = m_protocol ? m_protocol.data() : OwnerFor(owner);
    QFileDialog chooser(parent, Q(title));
    chooser.setAcceptMode(QFileDialog::AcceptSave);
    chooser.setFileMode(QFileDialog::AnyFile);
    chooser.setNameFilter(Q(filter));
    chooser.setProxyModel(new FileListTexts(&chooser));
    chooser.selectFile(Q(initialName));
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty())
        return std::nullopt;
    return chooser.selectedFiles().front().toStdString();
}

std::optional<std::string> QtHost::AskText(CDialog* owner, const std::string& title,
                                           const std::string& prompt) {
    if (m_answerText)
        return m_answerText(prompt);
    QInputDialog ask(m_protocol ? m_protocol.data() : OwnerFor(owner));
    ask.setWindowTitle(Q(title));
    ask.setLabelText(Q(prompt));
    ask.setInputMode(QInputDialog::TextInput);
    ask.setOkButtonText(QStringLiteral("OK"));
    ask.setCancelButtonText(QStringLiteral("Abbrechen"));
    if (ask.exec() != QDialog::Accepted)
        return std::nullopt;
    return ask.textValue().trimmed().toStdString();
}

std::optional<std::string> QtHost::ChooseFile(CDialog* owner, const std::string& title,
                                              const std::string& initialName) {
    QFileDialog chooser(OwnerFor(owner), Q(title));
    chooser.setAcceptMode(QFileDialog::AcceptOpen);
    // Only OFN_HIDEREADONLY: a name that does not exist yet may be typed in.
    chooser.setFileMode(QFileDialog::AnyFile);
    // Owned by the chooser; a chooser of the desktop's own ignores it.
    chooser.setProxyModel(new FileListTexts(&chooser));
    if (!initialName.empty()) {
        QFileInfo initial(Q(initialName));
        if (initialName.find('/') != std::string::npos && initial.dir().exists())
            chooser.setDirectory(initial.dir());
        chooser.selectFile(initial.fileName());
    }
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty())
        return std::nullopt;
    return chooser.selectedFiles().front().toStdString();
}
