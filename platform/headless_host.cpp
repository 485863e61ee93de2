#include "platform/headless_host.h"

#include "platform/diagnostics.h"
#include "platform/dialog.h"
#include "platform/transcript.h"

#include <algorithm>

HeadlessHost::HeadlessHost() = default;
HeadlessHost::~HeadlessHost() = default;

std::string HeadlessHost::Quote(const std::string& text) {
    return transcript::Quote(text);
}

// --- queue ---------------------------------------------------------------------------------

void HeadlessHost::Post(std::function<void()> fn) {
    {
        std::lock_guard lock(m_queueMutex);
        m_queue.push_back(std::move(fn));
    }
    m_queueCv.notify_all();
}

bool HeadlessHost::IsUiThread() const {
    return std::this_thread::get_id() == m_uiThread.load();
}

void HeadlessHost::RunOne(std::unique_lock<std::mutex>& lock) {
    std::function<void()> fn = std::move(m_queue.front());
    m_queue.pop_front();
    lock.unlock();
    fn();
    lock.lock();
}

void HeadlessHost::Drain() {
    std::unique_lock lock(m_queueMutex);
    while (!m_queue.empty())
        RunOne(lock);
}

void HeadlessHost::Sync(const std::function<void()>& fn) {
    if (IsUiThread()) {
        fn();
        return;
    }
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    Post([&] {
        fn();
        std::lock_guard lock(m);
        done = true;
        cv.notify_all();
    });
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return done; });
}

// --- modal run -----------------------------------------------------------------------------

int HeadlessHost::RunModal(CDialog& dlg) {
    if (m_uiThread.load() == std::thread::id{})
        m_uiThread.store(std::this_thread::get_id());
    auto window = std::make_unique<Window>();
    window->dlg = &dlg;
    for (const auto& c : dlg.Template().controls) {
        if (c.id == -1)
            continue;
        Control& control = window->controls[c.id];
        control.tmpl = &c;
        control.text = c.kind == ControlKind::DropDownList ? "" : c.text;
        control.items = c.items;
    }
    Window* w = window.get();
    m_windows.push_back(std::move(window));
    Record(transcript::Open(dlg));
    dlg.OnInitDialog();
    Record(transcript::Ready(dlg));
    {
        std::unique_lock lock(m_queueMutex);
        while (!w->ended) {
            if (m_queue.empty()) {
                m_queueCv.wait(lock);
                continue;
            }
            RunOne(lock);
        }
    }
    int result = w->result;
    std::erase_if(m_windows, [w](const auto& p) { return p.get() == w; });
    return result;
}

void HeadlessHost::EndModal(CDialog& dlg, int result) {
    if (Window* w = Find(dlg)) {
        Record(transcript::End(dlg, result));
        std::lock_guard lock(m_queueMutex); // the loop tests `ended` under this mutex
        w->ended = true;
        w->result = result;
    }
    m_queueCv.notify_all();
}

HeadlessHost::Window* HeadlessHost::Find(CDialog& dlg) {
    for (auto& w : m_windows)
        if (w->dlg == &dlg)
            return w.get();
    return nullptr;
}

HeadlessHost::Control* HeadlessHost::FindControl(CDialog& dlg, int id) {
    Window* w = Find(dlg);
    if (!w)
        return nullptr;
    auto it = w->controls.find(id);
    return it == w->controls.end() ? nullptr : &it->second;
}

// --- control operations ------------------------------------------------------------------

void HeadlessHost::EnableItem(CDialog& dlg, int id, bool enable) {
    if (Control* c = FindControl(dlg, id)) {
        c->enabled = enable;
        Record(transcript::Enable(dlg, id, enable));
    }
}

bool HeadlessHost::IsItemEnabled(CDialog& dlg, int id) {
    Control* c = FindControl(dlg, id);
    return c && c->enabled;
}

void HeadlessHost::SetItemText(CDialog& dlg, int id, const std::string& text) {
    Control* c = FindControl(dlg, id);
    if (!c)
        return;
    bool changed = c->text != text;
    c->text = text;
    Record(transcript::Text(dlg, id, text));
    if (c->tmpl->kind == ControlKind::DropDown) {
        // An editable box's text selects the item that has it, if any.
        const auto it = std::find(c->items.begin(), c->items.end(), text);
        c->curSel = it == c->items.end() ? -1 : static_cast<int>(it - c->items.begin());
    }
    if (changed && c->tmpl->kind == ControlKind::Edit)
        dlg.OnCmdMsg(id, EN_CHANGE);
}

std::string HeadlessHost::GetItemText(CDialog& dlg, int id) {
    Control* c = FindControl(dlg, id);
    return c ? c->text : std::string();
}

void HeadlessHost::SetCheck(CDialog& dlg, int id, unsigned state) {
    if (Control* c = FindControl(dlg, id)) {
        c->check = state;
        Record(transcript::Check(dlg, id, state));
    }
}

unsigned HeadlessHost::GetCheck(CDialog& dlg, int id) {
    Control* c = FindControl(dlg, id);
    return c ? c->check : 0;
}

void HeadlessHost::SetCurSel(CDialog& dlg, int id, int index) {
    Control* c = FindControl(dlg, id);
    if (!c)
        return;
    // As CB_SETCURSEL: an index outside the list leaves no selection.
    int count = static_cast<int>(c->items.size());
    c->curSel = index >= 0 && index < count ? index : -1;
    c->text = c->curSel >= 0 ? c->items[static_cast<size_t>(c->curSel)] : "";
    Record(transcript::Select(dlg, id, index));
}

void HeadlessHost::ResetContent(CDialog& dlg, int id) {
    if (Control* c = FindControl(dlg, id)) {
        c->items.clear();
        c->curSel = -1;
        c->text.clear();
        Record(transcript::Reset(dlg, id));
    }
}

void HeadlessHost::AddString(CDialog& dlg, int id, const std::string& text) {
    if (Control* c = FindControl(dlg, id)) {
        c->items.push_back(text);
        Record(transcript::AddItem(dlg, id, text));
    }
}

int HeadlessHost::GetCurSel(CDialog& dlg, int id) {
    Control* c = FindControl(dlg, id);
    return c ? c->curSel : -1;
}

void HeadlessHost::SetRange(CDialog& dlg, int id, int lower, int upper) {
    if (Control* c = FindControl(dlg, id)) {
        c->lower = lower;
        c->upper = upper;
        Record(transcript::Range(dlg, id, lower, upper));
    }
}

void HeadlessHost::SetPos(CDialog& dlg, int id, int pos) {
    if (Control* c = FindControl(dlg, id)) {
        c->pos = pos;
        Record(transcript::Pos(dlg, id, pos));
    }
}

void HeadlessHost::SetMark(CDialog&, int, int) {} // nothing is drawn here
void HeadlessHost::SetImage(CDialog&, int, const MonoImage&) {}

int HeadlessHost::GetPos(CDialog& dlg, int id) {
    Control* c = FindControl(dlg, id);
    return c ? c->pos : 0;
}

void HeadlessHost::SetToolTip(CDialog& dlg, int id, const std::string& text) {
    if (Control* c = FindControl(dlg, id)) {
        c->tooltip = text;
        Record(transcript::ToolTip(dlg, id, text));
    }
}

bool HeadlessHost::HasSystemMenu(CDialog& dlg) {
    return dlg.Template().style & kSysMenu;
}

void HeadlessHost::AppendSystemMenuSeparator(CDialog& dlg) {
    if (Window* w = Find(dlg)) {
        w->menu.push_back("separator");
        Record(transcript::MenuSeparator());
    }
}

void HeadlessHost::SetSystemMenuItemState(CDialog&, unsigned, bool, bool, const std::string&) {}
void HeadlessHost::AddShortcut(CDialog&, char, unsigned) {}
// Plays into the transcript: the tests hear the tone there.
std::string HeadlessHost::ToneUnavailable() {
    return {};
}
void HeadlessHost::SetTone(int hz, bool pulsed) {
    Record(transcript::Tone(hz, pulsed));
}

// The readout as its state: the tests see it open and close in the transcript.
void HeadlessHost::ShowReadout(CDialog&, const ReadoutPicture& picture) {
    if (!m_readout)
        Record("readout open");
    m_readout = picture;
}
bool HeadlessHost::IsReadoutShown() {
    return m_readout.has_value();
}
void HeadlessHost::UpdateReadout(const ReadoutPicture& picture) {
    if (m_readout)
        m_readout = picture;
}
void HeadlessHost::ShowProtocol(CDialog&, const ProtocolView& view, IProtocolActions& actions) {
    if (!m_protocol)
        Record("protocol open");
    m_protocol = view;
    m_protocolActions = &actions;
}

void HeadlessHost::CloseProtocol() {
    if (m_protocol)
        Record("protocol close");
    m_protocol.reset();
    m_protocolActions = nullptr;
}

void HeadlessHost::CloseReadout() {
    if (m_readout)
        Record("readout close");
    m_readout.reset();
}
void HeadlessHost::SetDoubleClickCommand(CDialog&, int, unsigned) {}

void HeadlessHost::AppendSystemMenuItem(CDialog& dlg, unsigned command, const std::string& text) {
    if (Window* w = Find(dlg)) {
        w->menu.push_back(text);
        Record(transcript::MenuItem(command, text));
    }
}

void HeadlessHost::SetIcon(CDialog&, int iconId, bool big) {
    Record(transcript::Icon(iconId, big));
}

bool HeadlessHost::IsIconic(CDialog& dlg) {
    Window* w = Find(dlg);
    return w && w->iconic;
}

CSize HeadlessHost::ClientSize(CDialog& dlg) {
    Window* w = Find(dlg);
    return w ? w->client : CSize{};
}

void HeadlessHost::DrawIcon(CDialog&, int x, int y, int iconId) {
    Record(transcript::DrawIcon(iconId, x, y));
}

int HeadlessHost::MessageBox(CDialog*, const std::string& text, unsigned) {
    Record(transcript::MessageBox(text));
    // A text that ends its line itself gets no second newline.
    const bool ended = !text.empty() && text.back() == '\n';
    DiagnoseFormat("Quillmere: %.*s", static_cast<int>(text.size() - (ended ? 1 : 0)),
                   text.c_str());
    std::function<int(const std::string&)> answer;
    {
        std::lock_guard lock(m_scriptMutex);
        answer = m_onMessageBox;
    }
    return answer ? answer(text) : IDOK;
}

// The next answer a test queued, nothing (the user cancelled) when none is left.
std::optional<std::string>
HeadlessHost::NextScripted(std::deque<std::optional<std::string>>& queue) {
    std::lock_guard lock(m_scriptMutex);
    if (queue.empty())
        return std::nullopt;
    std::optional<std::string> next = std::move(queue.front());
    queue.pop_front();
    return next;
}

std::optional<std::string> HeadlessHost::ChooseSaveFile(CDialog*, const std::string& title,
                                                        const std::string& initialName,
                                                        const std::string&) {
    Record(transcript::ChooseSaveFile(title, initialName));
    return NextScripted(m_fileChoices);
}

std::optional<std::string> HeadlessHost::AskText(CDialog*, const std::string&,
                                                 const std::string& prompt) {
    Record(transcript::AskText(prompt));
    return NextScripted(m_textAnswers);
}

std::optional<std::string> HeadlessHost::ChooseFile(CDialog*, const std::string& title,
                                                    const std::string& initialName) {
    Record(transcript::ChooseFile(title, initialName));
    return NextScripted(m_fileChoices);
}

// --- the user ------------------------------------------------------------------------------

void HeadlessHost::PostInput(std::function<void(Window&)> fn) {
    Post([this, fn] {
        if (m_windows.empty())
            return;
        fn(*m_windows.back());
    });
}

void HeadlessHost::UserClick(int id) {
    PostInput([this, id](Window& w) {
        auto it = w.controls.find(id);
        std::string name = transcript::ControlName(*w.dlg, id);
        if (it == w.controls.end() || !it->second.enabled) {
            RecordUser("user click " + name + " ignored");
            return;
        }
        RecordUser("user click " + name);
        if (it->second.tmpl->kind == ControlKind::AutoCheckBox)
            it->second.check = it->second.check ? 0 : 1;
        w.dlg->OnCmdMsg(id, BN_CLICKED);
    });
}

void HeadlessHost::UserSelect(int id, int index) {
    PostInput([this, id, index](Window& w) {
        auto it = w.controls.find(id);
        std::string name = transcript::ControlName(*w.dlg, id);
        if (it == w.controls.end() || !it->second.enabled ||
            index >= static_cast<int>(it->second.items.size()) || index < 0) {
            RecordUser("user select " + name + " " + std::to_string(index) + " ignored");
            return;
        }
        RecordUser("user select " + name + " " + std::to_string(index));
        it->second.curSel = index;
        it->second.text = it->second.items[static_cast<size_t>(index)];
        w.dlg->OnCmdMsg(id, CBN_SELCHANGE);
    });
}

void HeadlessHost::UserType(int id, const std::string& text) {
    PostInput([this, id, text](Window& w) {
        auto it = w.controls.find(id);
        std::string name = transcript::ControlName(*w.dlg, id);
        if (it == w.controls.end() || !it->second.enabled) {
            RecordUser("user type " + name + " ignored");
            return;
        }
        RecordUser("user type " + name + " " + transcript::Quote(text));
        it->second.text = text;
        if (it->second.tmpl->kind == ControlKind::DropDown) {
            it->second.curSel = -1;
            w.dlg->OnCmdMsg(id, CBN_EDITCHANGE);
            return;
        }
        w.dlg->OnCmdMsg(id, EN_CHANGE);
    });
}

void HeadlessHost::UserSysCommand(unsigned command) {
    PostInput([this, command](Window& w) {
        RecordUser("user syscommand " + std::to_string(command));
        w.dlg->OnSysCommand(command, 0);
    });
}

void HeadlessHost::UserPressEscape() {
    PostInput([this](Window& w) {
        RecordUser("user escape");
        w.dlg->OnCancel();
    });
}

void HeadlessHost::UserMinimize(bool iconic, CSize client) {
    PostInput([this, iconic, client](Window& w) {
        RecordUser(iconic ? "user minimize" : "user restore");
        w.iconic = iconic;
        w.client = client;
        w.dlg->OnPaint();
    });
}

void HeadlessHost::UserHelp() {
    PostInput([this](Window& w) {
        RecordUser("user help");
        w.dlg->OnHelp();
    });
}

// --- script and transcript -----------------------------------------------------------------

void HeadlessHost::QueueFileChoice(std::optional<std::string> path) {
    std::lock_guard lock(m_scriptMutex);
    m_fileChoices.push_back(std::move(path));
}

void HeadlessHost::QueueTextAnswer(std::optional<std::string> text) {
    std::lock_guard lock(m_scriptMutex);
    m_textAnswers.push_back(std::move(text));
}

void HeadlessHost::OnMessageBox(std::function<int(const std::string&)> fn) {
    std::lock_guard lock(m_scriptMutex);
    m_onMessageBox = std::move(fn);
}

void HeadlessHost::OnRecord(std::function<void(const std::string&)> fn) {
    std::lock_guard lock(m_scriptMutex);
    m_onRecord = std::move(fn);
}

void HeadlessHost::Record(const std::string& line) {
    {
        std::lock_guard lock(m_logMutex);
        m_transcript.push_back(line);
    }
    m_logCv.notify_all();
    std::function<void(const std::string&)> hook;
    {
        std::lock_guard lock(m_scriptMutex);
        hook = m_onRecord;
    }
    if (hook)
        hook(line);
}

void HeadlessHost::RecordUser(const std::string& line) {
    {
        std::lock_guard lock(m_logMutex);
        m_transcript.push_back(line);
    }
    m_logCv.notify_all();
}

std::vector<std::string> HeadlessHost::Transcript() const {
    std::lock_guard lock(m_logMutex);
    return m_transcript;
}

std::vector<std::string> HeadlessHost::Lines(const std::string& prefix) const {
    std::lock_guard lock(m_logMutex);
    std::vector<std::string> out;
    for (const auto& line : m_transcript)
        if (line.rfind(prefix, 0) == 0)
            out.push_back(line);
    return out;
}

void HeadlessHost::ClearTranscript() {
    std::lock_guard lock(m_logMutex);
    m_transcript.clear();
}

bool HeadlessHost::WaitFor(const std::function<bool(const std::string&)>& pred,
                           std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_logMutex);
    size_t seen = 0;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        for (; seen < m_transcript.size(); ++seen)
            if (pred(m_transcript[seen]))
                return true;
        if (m_logCv.wait_until(lock, deadline) == std::cv_status::timeout &&
            seen == m_transcript.size())
            return false;
    }
}

bool HeadlessHost::WaitForLine(const std::string& line, std::chrono::milliseconds timeout) {
    return WaitFor([&](const std::string& l) { return l == line; }, timeout);
}

namespace {
template <class T, class F> T ReadTop(HeadlessHost& host, F f) {
    T value{};
    host.Sync([&] { value = f(); });
    return value;
}
} // namespace

std::string HeadlessHost::Text(int id) {
    return ReadTop<std::string>(*this, [&] {
        return m_windows.empty() ? std::string() : GetItemText(*m_windows.back()->dlg, id);
    });
}
bool HeadlessHost::Enabled(int id) {
    return ReadTop<bool>(
        *this, [&] { return !m_windows.empty() && IsItemEnabled(*m_windows.back()->dlg, id); });
}
int HeadlessHost::Pos(int id) {
    return ReadTop<int>(*this,
                        [&] { return m_windows.empty() ? 0 : GetPos(*m_windows.back()->dlg, id); });
}
int HeadlessHost::CurSel(int id) {
    return ReadTop<int>(
        *this, [&] { return m_windows.empty() ? -1 : GetCurSel(*m_windows.back()->dlg, id); });
}
std::vector<std::string> HeadlessHost::Items(int id) {
    return ReadTop<std::vector<std::string>>(*this, [&] {
        if (m_windows.empty())
            return std::vector<std::string>();
        const Control* c = FindControl(*m_windows.back()->dlg, id);
        return c ? c->items : std::vector<std::string>();
    });
}
unsigned HeadlessHost::Check(int id) {
    return ReadTop<unsigned>(
        *this, [&] { return m_windows.empty() ? 0u : GetCheck(*m_windows.back()->dlg, id); });
}
int HeadlessHost::ModalDepth() {
    return ReadTop<int>(*this, [&] { return static_cast<int>(m_windows.size()); });
}
