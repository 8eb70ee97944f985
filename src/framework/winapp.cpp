#include <cstdio>

#include "framework/afxwin.h"
#include "framework/file_system.h"
#include "framework/profile_store.h"

namespace {
CWinApp* g_app = nullptr;
}  // namespace

CWinApp::CWinApp(const char* appName) : m_pszAppName(appName ? appName : "vantrel") {
    g_app = this;
}

CWinApp::~CWinApp() {
    if (g_app == this) g_app = nullptr;
}

CWinApp* AfxGetApp() { return g_app; }

bool CWinApp::InitInstance() { return true; }

int CWinApp::ExitInstance() { return 0; }

int CWinApp::Start() {
    // A dialog-based program does all its work inside InitInstance and returns
    // FALSE, so there is no message loop of the application's own.
    InitInstance();
    return ExitInstance();
}

void CWinApp::AttachPlatform(port::WindowSystem* windows, port::SoundOutput* sound,
                             port::SerialPorts* serial) {
    m_windows = windows;
    m_sound = sound;
    m_serial = serial;
}

void CWinApp::SetProfilePath(const std::string& path) {
    m_profile = std::make_unique<fw::ProfileStore>(path);
}

void CWinApp::SetHelpFile(const std::string& path) { m_helpFile = path; }

int CWinApp::GetProfileInt(std::string_view section, std::string_view entry,
                           int defaultValue) const {
    return m_profile ? m_profile->GetInt(section, entry, defaultValue) : defaultValue;
}

std::string CWinApp::GetProfileString(std::string_view section, std::string_view entry,
                                      std::string_view defaultValue) const {
    return m_profile ? m_profile->GetString(section, entry, defaultValue)
                     : std::string(defaultValue);
}

bool CWinApp::WriteProfileInt(std::string_view section, std::string_view entry, int value) {
    return m_profile && NoteProfileWrite(m_profile->WriteInt(section, entry, value));
}

bool CWinApp::WriteProfileString(std::string_view section, std::string_view entry,
                                 std::string_view value) {
    return m_profile && NoteProfileWrite(m_profile->WriteString(section, entry, value));
}

bool CWinApp::NoteProfileWrite(bool written) {
    using Result = fw::ProfileStore::WriteResult;
    auto TellOnce = [](bool& told, const std::string& text) {
        if (told) return;
        told = true;
        AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION);
    };
    // Several keys are written at a time (closing writes eight, an Exit twice);
    // one box is enough. A key that held its value already shows the lock
    // free again, but not that the profile has room to grow.
    switch (m_profile->LastWriteResult()) {
        case Result::Written:
            m_lockRefusalReported = m_limitRefusalReported = false;
            break;
        case Result::Unchanged:
            m_lockRefusalReported = false;
            break;
        case Result::LockBusy:
            TellOnce(m_lockRefusalReported,
                     fw::TrFormat("The settings were not saved: another program holds the "
                                  "lock file\n  %s\nClose any other Vantrel window (or end a "
                                  "copy that has stopped responding) and try again.",
                                  m_profile->LockPath().c_str()));
            break;
        case Result::PastLimit:
            TellOnce(m_limitRefusalReported,
                     fw::TrFormat("The settings were not saved: the settings file\n  %s\nwould "
                                  "grow past 1 MiB, the most Vantrel reads. Remove what it "
                                  "does not need (long comments, other programs' sections) "
                                  "and try again.",
                                  m_profile->Path().c_str()));
            break;
        default: break;
    }
    return written;
}

void CWinApp::WinHelp(unsigned long /*data*/, UINT /*cmd*/) {
    // Every topic lives in the one help page; the desktop's browser shows it.
    // Named in full, so that the user can open it some other way.
    auto sayCannotOpen = [file = m_helpFile] {
        if (!AfxGetApp()) return;
        AfxMessageBox(fw::TrFormat("ヘルプファイル\n  %s\nを開けません.", file.c_str()),
                      MB_OK | MB_ICONEXCLAMATION);
    };
    if (!fsys::IsRegularFile(m_helpFile) || !m_windows->OpenHelp(m_helpFile, sayCannotOpen))
        sayCannotOpen();
}

int AfxMessageBox(std::string_view text, UINT type, UINT /*helpId*/) {
    CWinApp* app = AfxGetApp();
    port::Window* owner = app->m_pMainWnd ? app->m_pMainWnd->Native() : nullptr;
    return app->Windows().MessageBox(owner, text, fw::Tr(app->m_pszAppName), type);
}
