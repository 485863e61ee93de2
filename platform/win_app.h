// The application object: start-up arguments, the profile store and the host that runs dialogs.
#pragma once

#include "platform/dialog_types.h"

#include <memory>
#include <string>

class CDialog;
class IDialogHost;
class IProfileStore;

class CWinApp {
public:
    // With no name the application is named after the executable it was started as.
    explicit CWinApp(const char* pszAppName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Returns whether to run a message loop afterwards; dialog programs return false.
    virtual bool InitInstance() { return false; }
    // The code the process ends with once InitInstance has returned.
    int ExitCode() const { return m_nExitCode; }

    // Start-up, before InitInstance: the arguments as the system gave them (argv[0] names the
    // program), and the host that will run the dialogs.
    void SetStartup(int argc, const char* const* argv);
    void SetHost(IDialogHost* host) { m_pHost = host; }
    IDialogHost& Host() const { return *m_pHost; }
    // A store given here is kept by SetRegistryKey (tests); otherwise it opens the user's file.
    void SetProfileStore(std::shared_ptr<IProfileStore> store) { m_profile = std::move(store); }
    IProfileStore& Profile() const { return *m_profile; }

    void SetRegistryKey(const char* company);
    unsigned GetProfileInt(const char* section, const char* entry, int nDefault);
    std::string GetProfileString(const char* section, const char* entry,
                                 const char* lpszDefault = "");
    bool WriteProfileInt(const char* section, const char* entry, int nValue);
    bool WriteProfileString(const char* section, const char* entry, const std::string& value);
    // True when everything written so far is in the file. A save asks, so that a failed one is
    // never taken for a success.
    bool FlushProfile();

    std::string m_pszAppName;
    std::string m_pszRegistryKey;
    // The arguments after the program name, joined by single blanks.
    std::string m_lpCmdLine;
    CDialog* m_pMainWnd = nullptr;

protected:
    int m_nExitCode = 0;

private:
    IDialogHost* m_pHost = nullptr;
    std::shared_ptr<IProfileStore> m_profile;
};

// "/usr/bin/Quillmere" -> "Quillmere", "C:\\x\\Quillmere.EXE" -> "Quillmere".
std::string AppNameFromPath(const std::string& path);
// The arguments after the program name joined by single blanks.
std::string CommandLineTail(int argc, const char* const* argv);
