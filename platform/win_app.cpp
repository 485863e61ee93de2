#include "platform/win_app.h"

#include "platform/profile_store.h"

CWinApp::CWinApp(const char* pszAppName) {
    if (pszAppName)
        m_pszAppName = pszAppName;
}

CWinApp::~CWinApp() = default;

void CWinApp::SetStartup(int argc, const char* const* argv) {
    if (m_pszAppName.empty())
        m_pszAppName = AppNameFromPath(argc > 0 && argv[0] ? argv[0] : "");
    m_lpCmdLine = CommandLineTail(argc, argv);
}

void CWinApp::SetRegistryKey(const char* company) {
    m_pszRegistryKey = company;
    if (!m_profile)
        m_profile = OpenUserProfileStore(company, m_pszAppName);
}

unsigned CWinApp::GetProfileInt(const char* section, const char* entry, int nDefault) {
    int value = nDefault;
    if (auto text = m_profile->Read(section, entry); text && ParseProfileInt(*text, value))
        return static_cast<unsigned>(value);
    return static_cast<unsigned>(nDefault);
}

std::string CWinApp::GetProfileString(const char* section, const char* entry,
                                      const char* lpszDefault) {
    if (auto text = m_profile->Read(section, entry))
        return *text;
    return lpszDefault;
}

bool CWinApp::WriteProfileInt(const char* section, const char* entry, int nValue) {
    m_profile->WriteInt(section, entry, nValue);
    return true;
}

bool CWinApp::WriteProfileString(const char* section, const char* entry, const std::string& value) {
    m_profile->Write(section, entry, value);
    return true;
}

bool CWinApp::FlushProfile() {
    return m_profile->Flush();
}

std::string AppNameFromPath(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = base.find_last_of('.');
    if (dot != std::string::npos && dot > 0)
        base.erase(dot);
    return base.empty() ? "Quillmere" : base;
}

std::string CommandLineTail(int argc, const char* const* argv) {
    std::string tail;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            tail += ' ';
        tail += argv[i] ? argv[i] : "";
    }
    return tail;
}
