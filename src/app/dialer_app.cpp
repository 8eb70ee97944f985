#include "app/dialer_app.h"

#include "dialer/dialer_dlg.h"

CDialerApp::CDialerApp() = default;

bool CDialerApp::InitInstance() {
    Enable3dControls();

    CDialerDlg dlg;
    m_pMainWnd = &dlg;
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
