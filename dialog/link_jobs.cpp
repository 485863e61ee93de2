// The buttons of the transceiver link: each starts its job from link/ on a worker of its own,
// or cancels it while it runs. What a job reports reaches the dialog through the UI thread, and
// its end step decides the next step of the automatic sequence.
#include "dialog/link_control_dialog.h"
#include "dialog/port_refusal_text.h"
#include "link/baud_tables.h"
#include "link/configuration.h"
#include "link/link_test.h"
#include "link/port_map.h"
#include "link/start_probe.h"
#include "link/worker_support.h"
#include "platform/cancel_token.h"
#include "platform/clock.h"
#include "platform/dialog_host.h"
#include "platform/ui_queue.h"
#include "platform/win_app.h"
#include "platform/worker_thread.h"
#include "res/resource.h"
#include "res/resources.h"

// Carries a job's reports to the dialog. Called on the job's thread: every call goes through
// the UI thread, and once the job is cancelled it is dropped there and ends the job.
class CLinkControlDialog::JobReporter final : public ILinkReporter {
public:
    enum class Job { Configure, Test };
    JobReporter(CLinkControlDialog& dlg, Job job, std::shared_ptr<CancelToken> cancel)
        : m_dlg(dlg), m_job(job), m_cancel(std::move(cancel)) {}

    void Status(const std::string& text) override {
        CallOnUi(m_dlg.Host(), [&] {
            m_dlg.SetDlgItemText(IDC_STATUS, text);
            m_dlg.m_phone.Publish(m_dlg.m_linkHistory);
        });
    }
    void StatusDetail(const PortRefusal& why) override {
        CallOnUi(m_dlg.Host(), [&] {
            m_dlg.m_strStatusDetail = PortRefusalText(why, m_dlg.m_context.loadString);
            m_dlg.ShowStatusToolTip();
        });
    }
    void PortOpen(bool open) override {
        CallOnUi(m_dlg.Host(), [&] {
            m_dlg.m_hPort = open ? PortState::Open : PortState::Closed;
            m_dlg.m_bTestPortOpened |= open && m_job == Job::Test;
            if (open) {
                m_dlg.m_strStatusDetail.clear();
                m_dlg.ShowStatusToolTip();
            }
        });
    }
    void Progress(std::uint32_t elapsedMs, int matches) override {
        m_dlg.GetDlgItem(IDC_LINK_QUALITY).SetPos(matches);
        CallOnUi(m_dlg.Host(), [&] { m_dlg.LinkCycle({elapsedMs, matches}); });
    }
    void LeaveAutomaticMode(const std::string& warning) override {
        CallOnUi(m_dlg.Host(), [&] {
            m_dlg.m_bAutoMode = false;
            m_dlg.m_bTestTurnedManual = true;
            m_dlg.SetDlgItemText(IDC_STATUS, warning);
        });
    }
    // The end step runs on the UI thread, so that no click lands in the middle of it, nor
    // between it and the next step of the automatic sequence. The job does not wait for it: it
    // ends, and the end step joins it. A cancel given before the step runs drops it.
    void Finished(bool success) override {
        CLinkControlDialog* dlg = &m_dlg;
        m_dlg.Host().Post([dlg, alive = std::weak_ptr<int>(m_dlg.m_lifetime), cancel = m_cancel,
                           job = m_job, success] {
            if (!alive.lock() || (cancel && cancel->IsCancelled()))
                return;
            if (job == Job::Configure)
                dlg->ConfigureFinished(success);
            else
                dlg->TestFinished(success);
        });
    }
    void InternalError(int code) override {
        CallOnUi(m_dlg.Host(), [&] { m_dlg.FatalError(InternalErrorText(code)); });
    }

private:
    CLinkControlDialog& m_dlg;
    const Job m_job;
    const std::shared_ptr<CancelToken> m_cancel;
};

LinkPort CLinkControlDialog::SelectedPort() const {
    // Looked up afresh for every job: an adapter plugged in since the start counts.
    const std::vector<SerialDevice> devices =
        m_context.discovery ? m_context.discovery->Devices() : std::vector<SerialDevice>();
    return {"COM" + ComPortDigit(m_nComPort),
            ResolveComPort(m_context.app.Profile(), m_nComPort, devices)};
}

void CLinkControlDialog::OnConfigure() {
    if (!m_pConfigureThread) {
        if (m_pDialupThread)
            return; // the connection button's operation runs
        TransceiverConfiguration job({SelectedPort(), m_nSensitivity, m_nBaudrate}, m_context.ports,
                                     m_context.clock);
        m_pConfigureThread = WorkerThread::Start([this, job](const auto& cancel) {
            JobReporter reporter(*this, JobReporter::Job::Configure, cancel);
            job.Run(cancel, reporter);
        });
        m_activity = Activity::Configuring;
        ApplyControls(kResendJobStart);
        if (!m_pConfigureThread)
            ConfigureFinished(false); // no thread to be had: the operation fails at once
        return;
    }
    // When this returns the worker has stopped and its port is closed.
    std::unique_ptr<WorkerThread> worker = std::move(m_pConfigureThread);
    worker->CancelAndJoin();
    m_hPort = PortState::Closed;
    ConfigureFinished(false);
    SetDlgItemText(IDC_STATUS, "");
}

void CLinkControlDialog::ConfigureFinished(bool bSuccess) {
    m_pConfigureThread.reset(); // it has ended, or ends right after its report
    m_activity = Activity::Idle;
    m_bConnectWithheld = false;
    ApplyControls();
    if (bSuccess && m_bAutoMode)
        OnTest(); // the automatic sequence goes on with the link test
    else
        m_bAutoMode = false;
}

void CLinkControlDialog::OnTest() {
    if (!m_pTestThread) {
        if (m_pDialupThread)
            return; // the connection button's operation runs
        const LinkPort port = SelectedPort();
        m_bTestPortOpened = false;
        m_bTestTurnedManual = false;
        m_bTestCancelled = false;
        LinkTest job({port, m_nBaudrate, m_bAutoMode}, m_context.ports, m_context.clock);
        m_pTestThread = WorkerThread::Start([this, job](const auto& cancel) {
            JobReporter reporter(*this, JobReporter::Job::Test, cancel);
            job.Run(cancel, reporter);
        });
        m_activity = Activity::Testing;
        ApplyControls(kResendJobStart);
        m_linkHistory.Start(
            {"", port.name, port.value, static_cast<int>(BaudRateTable[BaudIndex(m_nBaudrate)]),
             m_nSensitivity, m_bAutoMode ? LinkTestStart::Automatic : LinkTestStart::ByHand,
             BindComPort(m_context.app.Profile(), m_nComPort, m_devices).device},
            m_context.clock.Now());
        for (ILinkTestObserver* observer : m_linkObservers)
            observer->TestStarted(m_linkHistory);
        if (!m_pTestThread)
            TestFinished(false);
        return;
    }
    std::unique_ptr<WorkerThread> worker = std::move(m_pTestThread);
    worker->CancelAndJoin();
    m_hPort = PortState::Closed;
    m_bTestCancelled = true;
    TestFinished(false);
    SetDlgItemText(IDC_STATUS, "");
}

void CLinkControlDialog::TestFinished(bool bSuccess) {
    m_pTestThread.reset(); // it has ended, or ends right after its report
    GetDlgItem(IDC_LINK_QUALITY).SetPos(0);
    if (m_linkHistory.Running()) {
        LinkTestEnd end = LinkTestEnd::Failed;
        if (bSuccess)
            end = LinkTestEnd::Passed;
        else if (m_bTestCancelled)
            end = m_bTestTurnedManual ? LinkTestEnd::ManualThenCancelled : LinkTestEnd::Cancelled;
        else if (!m_bTestPortOpened)
            end = LinkTestEnd::PortMissing;
        m_linkHistory.End(end, m_context.clock.Now());
        for (ILinkTestObserver* observer : m_linkObservers)
            observer->TestEnded(m_linkHistory);
    }
    m_activity = Activity::Idle;
    m_bConnectWithheld = false;
    ApplyControls();
    if (bSuccess && m_bAutoMode)
        OnConnect(); // the automatic sequence dials
    else
        m_bAutoMode = false;
}

void CLinkControlDialog::LinkCycle(LinkSample sample) {
    if (!m_linkHistory.Running())
        return; // a report that was on its way when the test ended
    m_linkHistory.Add(sample);
    const std::string verdict =
        FormatString(TableString(sample.Good() ? IDS_QUALITY_GOOD : IDS_QUALITY_BAD),
                     {std::to_string(sample.Percent())});
    if (verdict != m_strQualityToolTip) {
        m_strQualityToolTip = verdict;
        Host().SetToolTip(*this, IDC_LINK_QUALITY, verdict);
    }
    for (ILinkTestObserver* observer : m_linkObservers)
        observer->Cycle(m_linkHistory);
}

void CLinkControlDialog::AddLinkObserver(ILinkTestObserver& observer) {
    m_linkObservers.push_back(&observer);
}

// The last step of the initialisation decides how the program runs: hang up and leave ("/d"),
// the automatic sequence (the port answers), or manual mode.
void CLinkControlDialog::DecideStartMode() {
    // Exactly "/d": a trailing blank, a second argument or a capital D start normally.
    if (m_context.app.m_lpCmdLine == "/d") {
        if (FindConnection() && m_context.dialup.RasHangUp)
            m_context.dialup.RasHangUp(m_hRasConn);
        EndProgram(0);
        return;
    }

    const StartProbe probe = ProbeLinkPort(m_context.ports, SelectedPort());
    if (probe == StartProbe::NotAvailable) {
        // The port is busy, perhaps with the connection itself: offer to hang it up.
        if (FindConnection()) {
            m_bConnected = true;
            ApplyControls();
        }
        return;
    }
    // The port opened, as a job's does: no detail of a failed open stays under the status line.
    m_strStatusDetail.clear();
    ShowStatusToolTip();
    if (probe == StartProbe::NoModemStatus)
        return;
    m_bAutoMode = true;
    if (probe == StartProbe::CtsOn)
        OnTest(); // already switched on: no configuration needed
    else
        OnConfigure();
}
