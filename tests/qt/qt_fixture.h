// Runs the real application object on the Qt host, on the test's own (main) thread: the test's
// steps run inside the main dialog's modal loop, from a timer, as a user's input would.
#pragma once

#include "app/link_control_app.h"
#include "dialog/link_control_dialog.h"
#include "platform/profile_store.h"
#include "platform/qt/dialog_units.h"
#include "platform/qt/dialog_window.h"
#include "platform/qt/qt_host.h"
#include "platform/worker_thread.h"
#include "res/resources.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QtHostTest : public ::testing::Test {
protected:
    QtHost host{ProgramResources()};
    CLinkControlApp app;
    std::shared_ptr<MemoryProfileStore> store = std::make_shared<MemoryProfileStore>();

    QtHostTest() {
        app.SetHost(&host);
        app.m_pszAppName = "Quillmere";
        // As the start-up does: message boxes take their caption from it.
        QApplication::setApplicationName("Quillmere");
        // No real device is ever opened: every port name maps to none.
        for (int i = 1; i <= 9; ++i)
            store->Write("Ports", "COM" + std::to_string(i), "");
        // Nor is the machine's own dial-up service asked: whether pppd is installed is not
        // the test's business.
        store->Write("Dialup", "Service", "none");
        // Nor the machine's list of serial devices.
        app.SetPortDiscovery(nullptr);
        app.SetProfileStore(store);
    }
    // Starts the program; steps run once its main dialog is open, then every dialog still open
    // is ended and the program's start-up returns.
    void RunProgram(const std::function<void(CLinkControlDialog&, DialogWindow&)>& steps) {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            auto& dlg = *static_cast<CLinkControlDialog*>(app.m_pMainWnd);
            steps(dlg, *host.WindowOf(dlg));
            ran = true;
            EndAll();
        });
        const char* argv[] = {"/usr/bin/Quillmere"};
        app.SetStartup(1, argv);
        app.InitInstance();
        EXPECT_TRUE(ran) << "the main dialog's loop never ran the test";
    }

    // The same for a bare dialog on its own template.
    int RunDialog(CDialog& dlg, const std::function<void(DialogWindow&)>& steps) {
        QTimer::singleShot(0, [&] {
            steps(*host.WindowOf(dlg));
            EndAll();
        });
        return dlg.DoModal();
    }

    void EndAll() {
        for (DialogWindow* w : std::vector<DialogWindow*>(host.Windows()))
            if (!w->ended)
                host.EndModal(w->Dlg(), IDCANCEL);
    }

    // Once a visible top-level widget satisfies match, act runs on it, inside whatever modal
    // loop shows it. Gives up after five seconds.
    void WhenShown(std::function<bool(QWidget*)> match, std::function<void(QWidget*)> act) {
        auto& timer = m_timers.emplace_back(std::make_unique<QTimer>());
        QTimer* t = timer.get();
        auto tries = std::make_shared<int>(0);
        QObject::connect(t, &QTimer::timeout, [t, tries, match, act] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->isVisible() && match(w)) {
                    t->stop();
                    act(w);
                    return;
                }
            if (++*tries > 500) {
                t->stop();
                ADD_FAILURE() << "the expected window never showed";
            }
        });
        t->start(10);
    }

    // Serves the UI thread's queue until done() holds; the worker posts after each step, so
    // the wait wakes at once. False after ten seconds.
    static bool ServeUntil(const std::function<bool()>& done) {
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            if (clock.elapsed() > 10000)
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        }
        return true;
    }

    static std::function<bool(QWidget*)> Named(const char* objectName) {
        return [objectName](QWidget* w) { return w->objectName() == objectName; };
    }

private:
    std::vector<std::unique_ptr<QTimer>> m_timers;
};

template <class W> W* Find(QWidget& window, const char* objectName) {
    return window.findChild<W*>(objectName, Qt::FindDirectChildrenOnly);
}

// A picture of the window for a person to look at, in the build's screenshot folder; true when
// it holds the whole window.
inline bool SaveScreenshot(QWidget& w, const QString& name) {
    QDir().mkpath(QM_SCREENSHOT_DIR);
    const QPixmap shot = w.grab();
    return !shot.isNull() && shot.size() == w.size() * shot.devicePixelRatio() &&
           shot.save(QString(QM_SCREENSHOT_DIR) + "/" + name, "PNG");
}
