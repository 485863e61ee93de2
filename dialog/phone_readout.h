// "Auf dem Telefon anzeigen": the alignment readout in a phone's browser, for the installer at
// the head while the PC stays indoors. The dialog shows the address as a QR code and how many
// phones follow; while it is open, a small web server in the program sends every cycle's
// state to them. Read-only: a phone can change nothing here.
#pragma once

#include "dialog/alignment_readout.h"
#include "link/link_history.h"
#include "platform/dialog.h"
#include "platform/web_readout.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// One moment of the link test as the phone's page shows it, in one line of JSON: the readout's
// texts and plot as ReadoutFor makes them, the tone as ToneFor sets it, the status line as the
// dialog shows it, and whether a test runs.
std::string PhoneState(const LinkHistory& history, const ReadoutTexts& texts,
                       const std::string& status);

// Follows the link test for whichever server is attached; the UI thread only.
class PhoneReadout final : public ILinkTestObserver {
public:
    PhoneReadout(ReadoutTexts texts, std::function<std::string()> status)
        : m_texts(std::move(texts)), m_status(std::move(status)) {}

    // Null detaches. The server hears the current state at once.
    void Attach(IWebReadout* server, const LinkHistory& history);
    void Publish(const LinkHistory& history);

    void TestStarted(const LinkHistory& history) override { Publish(history); }
    void Cycle(const LinkHistory& history) override { Publish(history); }
    void TestEnded(const LinkHistory& history) override { Publish(history); }

private:
    ReadoutTexts m_texts;
    std::function<std::string()> m_status;
    IWebReadout* m_server = nullptr;
};

// "2 Telefone verbunden".
std::string PhoneCountText(int clients, const ReadoutTexts& texts);

class CPhoneDialog : public CDialog {
public:
    CPhoneDialog(CDialog& parent, IWebReadoutService& service, PhoneReadout& readout,
                 const LinkHistory& history, ReadoutTexts texts);
    ~CPhoneDialog() override;

    // Starts the server before the dialog shows; false, with the system's reason, if it cannot.
    bool Start(std::string& why);

    bool OnInitDialog() override;
    void OnCancel() override;
    void OnSelchangeAddress();

protected:
    const MessageMap& GetMessageMap() const override;

private:
    void ShowAddress();
    void ShowClients();
    // Closing drops every phone: the port is closed when this returns.
    void Stop();

    IWebReadoutService& m_service;
    PhoneReadout& m_readout;
    const LinkHistory& m_history;
    ReadoutTexts m_texts;
    std::unique_ptr<IWebReadout> m_server;
    std::vector<std::string> m_addresses;
    bool m_bShown = false;
    // Lets a server thread's news, posted to the UI thread, see whether the dialog is there.
    std::shared_ptr<int> m_lifetime = std::make_shared<int>(0);
};
