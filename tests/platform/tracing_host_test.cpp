// The trace around a host: every call reaches the host inside, and each operation is told once,
// in the words of the headless host's transcript, which the trace's readers rely on.
#include "platform/dialog.h"
#include "platform/headless_host.h"
#include "platform/tracing_host.h"
#include "platform/ui_queue.h"
#include "platform/win_app.h"
#include "tests/support/test_env.h"
#include "tests/support/text.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

const DialogTemplate kProbe{
    7,
    "IDD_PROBE",
    "Probe",
    100,
    60,
    "MS Sans Serif",
    8,
    kSysMenu,
    {{10, "IDC_NAME", ControlKind::Edit, "", {0, 0, 50, 10}, 0, {}},
     {11, "IDC_SPEED", ControlKind::DropDownList, "", {0, 12, 50, 40}, 0, {"9600", "19200"}},
     {12, "IDC_QUIET", ControlKind::AutoCheckBox, "Leise", {0, 24, 50, 10}, 0, {}},
     {13, "IDC_LEVEL", ControlKind::ProgressBar, "", {0, 36, 50, 8}, 0, {}},
     {14, "", ControlKind::StaticText, "", {60, 0, 40, 10}, 0, {}}}};

// Asks everything of its host once, reads it back, and closes.
class ProbeDialog : public CDialog {
public:
    explicit ProbeDialog(IDialogHost& host) : CDialog(host, kProbe) {}
    std::string readBack;

    bool OnInitDialog() override {
        SetDlgItemText(10, "a \"b\"\nc");
        GetDlgItem(10).EnableWindow(false);
        GetDlgItem(11).SetCurSel(1);
        CheckDlgButton(12, BST_CHECKED);
        GetDlgItem(13).SetRange(0, 256);
        GetDlgItem(13).SetPos(64);
        SetDlgItemText(14, "ohne Namen");
        Host().SetToolTip(*this, 10, "warum");
        Host().AppendSystemMenuSeparator(*this);
        Host().AppendSystemMenuItem(*this, 0x10, "Info...");
        Host().SetIcon(*this, 128, true);
        Host().DrawIcon(*this, 2, 3, 128);
        MessageBox("Fertig");
        Host().ChooseFile(this, "Wählen", "x.exe");
        readBack = GetDlgItemText(10) + "|" + GetDlgItem(11).GetWindowText() + "|" +
                   std::to_string(IsDlgButtonChecked(12)) + "|" +
                   std::to_string(GetDlgItem(13).GetPos()) + "|" +
                   std::to_string(GetDlgItem(10).IsWindowEnabled());
        EndDialog(IDOK);
        return true;
    }
};

} // namespace

TEST(TracingHost, TellsEachOperationInTheTranscriptsWordsAndPassesEveryCallOn) {
    HeadlessHost headless;
    std::vector<std::string> traced;
    TracingHost tracing(headless, [&](const std::string& line) { traced.push_back(line); });
    ProbeDialog dlg(tracing);
    EXPECT_EQ(dlg.DoModal(), IDOK);

    EXPECT_EQ(dlg.readBack, "a \"b\"\nc|19200|1|64|0");
    const std::vector<std::string> expected = {
        "open IDD_PROBE",
        R"(text IDC_NAME "a \"b\"\nc")",
        "enable IDC_NAME 0",
        "select IDC_SPEED 1",
        "check IDC_QUIET 1",
        "range IDC_LEVEL 0 256",
        "pos IDC_LEVEL 64",
        R"(text 14 "ohne Namen")",
        R"(tooltip IDC_NAME "warum")",
        "menu separator",
        R"(menu 16 "Info...")",
        "icon 128 big",
        "drawicon 128 2 3",
        R"(messagebox "Fertig")",
        R"(choosefile "Wählen" "x.exe")",
        "end IDD_PROBE 1",
    };
    EXPECT_EQ(traced, expected);
    // The headless host words the same operations the same way; only it sees the dialog ready.
    std::vector<std::string> transcript = headless.Transcript();
    std::erase(transcript, "ready IDD_PROBE");
    EXPECT_EQ(transcript, expected);
}

TEST(TracingHost, IsPutAroundTheProgramsHostOnlyWhenTheVariableAsksForIt) {
    const struct {
        const char* value; // nullptr: not set
        bool traced;
    } cases[] = {{nullptr, false}, {"", false}, {"0", false}, {"1", true}, {"yes", true}};
    UnsetEnv("QUILLMERE_TRACE_FILE");
    HeadlessHost headless;
    for (const auto& c : cases) {
        if (c.value)
            SetEnv("QUILLMERE_TRACE", c.value);
        else
            UnsetEnv("QUILLMERE_TRACE");
        std::optional<TracingHost> slot;
        IDialogHost& host = TracedIfRequested(headless, slot);
        EXPECT_EQ(&host != &headless, c.traced) << (c.value ? c.value : "unset");
        if (c.traced) {
            EXPECT_EQ(&slot->Inner(), &headless);
        }
    }
    UnsetEnv("QUILLMERE_TRACE");
}

TEST(TracingHost, TraceFileTakesTheLinesInsteadOfStandardError) {
    const std::string dir = MakeTempDir("qm-trace");
    ASSERT_FALSE(dir.empty());
    const std::string path = dir + "/trace.txt";
    const struct {
        const char* trace; // QUILLMERE_TRACE; nullptr: not set
        std::string file;
        bool toFile;
    } cases[] = {{nullptr, path, true}, {"0", path, true}, {"1", dir + "/no/such/trace", false}};
    for (const auto& c : cases) {
        std::filesystem::remove(path);
        if (c.trace)
            SetEnv("QUILLMERE_TRACE", c.trace);
        else
            UnsetEnv("QUILLMERE_TRACE");
        SetEnv("QUILLMERE_TRACE_FILE", c.file);
        HeadlessHost headless;
        std::optional<TracingHost> slot;
        IDialogHost& host = TracedIfRequested(headless, slot);
        EXPECT_NE(&host, &headless) << c.file;
        ProbeDialog dlg(host);
        dlg.DoModal();
        // Each line is there at once, while the program runs on.
        const std::string text = ReadText(path);
        EXPECT_EQ(Contains(text, "trace: open IDD_PROBE\n"), c.toFile) << text;
        EXPECT_EQ(Contains(text, "trace: end IDD_PROBE 1\n"), c.toFile) << text;
    }
    UnsetEnv("QUILLMERE_TRACE");
    UnsetEnv("QUILLMERE_TRACE_FILE");
    std::filesystem::remove_all(dir);
}
