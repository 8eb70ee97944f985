#include "app/dialer_app.h"

#include "app/about_dlg.h"
#include "app/startup_files.h"
#include "dialer/dialer_dlg.h"

// Titles every message box that has no caption of its own.
CDialerApp::CDialerApp() : CWinApp("Vantrel") {}

bool CDialerApp::InitInstance() {
    Enable3dControls();
    PrepareFilesAtStartUp(*this);

    CDialerDlg dlg;
    m_pMainWnd = &dlg;
    if (m_startNumber) dlg.TakeNumber(*m_startNumber);
    const int nResponse = dlg.DoModal();
    m_lastResult = nResponse;
    if (nResponse == IDOK) {
        // The window has just saved these; an Exit writes the dial state once more,
        // all but the list-file path.
        dlg.SaveDialState(false);
    }
    m_pMainWnd = nullptr;
    return false;
}

void CDialerApp::OnAppAbout() {
    CAboutDlg about;
    about.DoModal();
}

bool CDialerApp::CanTakeNumber() const {
    auto* dlg = dynamic_cast<CDialerDlg*>(m_pMainWnd);
    return dlg && dlg->Native();
}

void CDialerApp::HandOver(const DialRequest& request) {
    if (!CanTakeNumber()) return;
    auto* dlg = static_cast<CDialerDlg*>(m_pMainWnd);
    dlg->SetForegroundWindow();
    dlg->TakeNumber(request);
}
