#include "dialog/phone_readout.h"

#include "dialog/alignment_tone.h"
#include "platform/diagnostics.h"
#include "platform/dialog_host.h"
#include "res/resource.h"
#include "res/resources.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string Quoted(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

std::string Number(float value) {
    char text[16];
    std::snprintf(text, sizeof text, "%.3f", double(value));
    return text;
}

const char* VerdictName(ReadoutPicture::Verdict verdict) {
    switch (verdict) {
    case ReadoutPicture::Verdict::Good:
        return "\"good\"";
    case ReadoutPicture::Verdict::Bad:
        return "\"bad\"";
    case ReadoutPicture::Verdict::None:
        break;
    }
    return "\"none\"";
}

} // namespace

std::string PhoneState(const LinkHistory& history, const ReadoutTexts& texts,
                       const std::string& status) {
    const ReadoutPicture p = ReadoutFor(history, texts);
    const std::optional<LinkSample> last = history.Last();
    // The desktop's tone falls silent when the test ends: so does the phone's.
    const ToneSetting tone = history.Running() && last ? ToneFor(*last) : ToneSetting{};
    std::string points;
    for (const auto& [x, y] : p.points)
        points += (points.empty() ? "[" : ",[") + Number(x) + "," + Number(y) + "]";
    return "{\"value\":" + Quoted(p.value) + ",\"verdict\":" + VerdictName(p.verdict) +
           ",\"verdictText\":" + Quoted(p.verdictText) + ",\"peak\":" + Quoted(p.peak) +
           ",\"points\":[" + points + "],\"threshold\":" + Number(p.threshold) +
           ",\"status\":" + Quoted(status) +
           ",\"running\":" + (history.Running() ? "true" : "false") + ",\"test\":" +
           Quoted(texts(history.Running() ? IDS_PHONE_TEST_RUNS : IDS_PHONE_NO_TEST)) +
           ",\"tone\":{\"hz\":" + std::to_string(tone.hz) +
           ",\"pulsed\":" + (tone.pulsed ? "true" : "false") +
           "},\"cycleMs\":" + std::to_string(last ? last->elapsedMs : 0) + "}";
}

void PhoneReadout::Attach(IWebReadout* server, const LinkHistory& history) {
    m_server = server;
    Publish(history);
}

void PhoneReadout::Publish(const LinkHistory& history) {
    if (m_server)
        m_server->Publish(PhoneState(history, m_texts, m_status ? m_status() : std::string()));
}

std::string PhoneCountText(int clients, const ReadoutTexts& texts) {
    if (clients == 0)
        return texts(IDS_PHONE_NONE);
    if (clients == 1)
        return texts(IDS_PHONE_ONE);
    return FormatString(texts(IDS_PHONE_MANY), {std::to_string(clients)});
}

CPhoneDialog::CPhoneDialog(CDialog& parent, IWebReadoutService& service, PhoneReadout& readout,
                           const LinkHistory& history, ReadoutTexts texts)
    : CDialog(parent.Host(), LoadDialogTemplate(IDD_PHONE), &parent), m_service(service),
      m_readout(readout), m_history(history), m_texts(std::move(texts)) {}

CPhoneDialog::~CPhoneDialog() {
    Stop();
}

const MessageMap& CPhoneDialog::GetMessageMap() const {
    using D = CPhoneDialog;
    static const MessageMap map{
        ::OnCommand(IDC_PHONE_ADDRESS, CBN_SELCHANGE, &D::OnSelchangeAddress),
    };
    return map;
}

bool CPhoneDialog::Start(std::string& why) {
    WebReadoutOptions options;
    options.page = PhonePage();
    IDialogHost& host = Host();
    // A server thread's news: the count is read again on the UI thread, so that late news
    // cannot show an old count.
    options.clientsChanged = [&host, this, alive = std::weak_ptr<int>(m_lifetime)](int) {
        host.Post([this, alive] {
            if (alive.lock())
                ShowClients();
        });
    };
    m_server = m_service.Start(std::move(options), why);
    if (!m_server)
        return false;
    m_addresses = m_service.Addresses();
    m_readout.Attach(m_server.get(), m_history);
    return true;
}

bool CPhoneDialog::OnInitDialog() {
    CDialog::OnInitDialog();
    m_bShown = true;
    CDlgItem list = GetDlgItem(IDC_PHONE_ADDRESS);
    for (const std::string& address : m_addresses)
        list.AddString(address);
    list.SetCurSel(0);
    // One address is no choice.
    GetDlgItem(IDC_PHONE_ADDRESS).EnableWindow(m_addresses.size() > 1);
    ShowAddress();
    ShowClients();
    return true;
}

void CPhoneDialog::OnSelchangeAddress() {
    ShowAddress();
}

void CPhoneDialog::ShowAddress() {
    if (!m_server || m_addresses.empty())
        return;
    const int chosen = std::max(0, GetDlgItem(IDC_PHONE_ADDRESS).GetCurSel());
    const std::string url = "http://" + m_addresses[std::size_t(chosen)] + ":" +
                            std::to_string(m_server->Port()) + m_server->Path();
    SetDlgItemText(IDC_PHONE_URL, url);
    MonoImage code = m_service.QrCode(url);
    code.name = FormatString(m_texts(IDS_PHONE_QR_NAME), {url});
    Host().SetImage(*this, IDC_PHONE_QR, code);
    Diagnose(FormatString(m_texts(IDS_PHONE_STARTED), {url}));
}

void CPhoneDialog::ShowClients() {
    if (m_bShown && m_server)
        SetDlgItemText(IDC_PHONE_STATE, PhoneCountText(m_server->Clients(), m_texts));
}

void CPhoneDialog::OnCancel() {
    Stop();
    CDialog::OnCancel();
}

void CPhoneDialog::Stop() {
    if (!m_server)
        return;
    m_readout.Attach(nullptr, m_history);
    m_server.reset();
}
