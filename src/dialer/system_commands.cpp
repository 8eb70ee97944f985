// The window frame: system menu, minimised icon, help, and the options dialog.
#include "dialer/dialer_dlg.h"
#include "dialer/fixed_text.h"
#include "settings/option_dlg.h"
#include "settings/profile_keys.h"

void CDialerDlg::OnSysCommand(UINT nID, long lParam) {
    const UINT command = nID & 0xFFF0;
    if (command == IDM_ABOUTBOX) {
        AfxGetApp()->OnAppAbout();
    } else if (command == SC_CLOSE) {
        m_bSysClose = 1;
    }
    CDialog::OnSysCommand(nID, lParam);
}

void CDialerDlg::OnPaint() {
    if (!IsIconic()) {
        CDialog::OnPaint();
        return;
    }
    CPaintDC dc(this);
    Native()->EraseIconBackground();
    const int cxIcon = GetSystemMetrics(SM_CXICON);
    const int cyIcon = GetSystemMetrics(SM_CYICON);
    const port::Rect rect = GetClientRect();
    const int x = (rect.Width() - cxIcon + 1) / 2;
    const int y = (rect.Height() - cyIcon + 1) / 2;
    dc.DrawIcon(x, y, m_hIcon);
}

HCURSOR CDialerDlg::OnQueryDragIcon() { return m_hIcon; }

void CDialerDlg::OnHelpButton() { AfxGetApp()->WinHelp(1, HELP_CONTEXT); }

void CDialerDlg::OnOption() { RunOptions(0); }

bool CDialerDlg::RunOptions(int focusId) {
    CWinApp* app = AfxGetApp();
    using namespace profile_keys;
    COptionDlg dlg;
    dlg.m_nInitialFocus = focusId;
    dlg.m_nPlayWait = m_nPlayWait;
    dlg.m_nCharWait = m_nCharWait;
    dlg.m_nMinusWait = m_nMinusWait;
    dlg.m_nModemInitWait = m_nModemInitWait;
    dlg.m_nModemPort = m_nModemPort;
    dlg.m_strModemInit = m_szModemInit;
    dlg.m_strModemDial = m_szModemDial;
    // Not a field of the window: it is read where a number needs it.
    const std::string intlPrefix = app->GetProfileString(kDialSection, kIntlPrefix);
    dlg.m_strIntlPrefix = intlPrefix;
    if (dlg.DoModal() != IDOK) return false;

    m_nPlayWait = dlg.m_nPlayWait;
    m_nCharWait = dlg.m_nCharWait;
    m_nMinusWait = dlg.m_nMinusWait;
    m_nModemInitWait = dlg.m_nModemInitWait;
    m_nModemPort = dlg.m_nModemPort;
    CopyToBuffer(m_szModemInit, dlg.m_strModemInit);
    CopyToBuffer(m_szModemDial, dlg.m_strModemDial);

    app->WriteProfileInt(kFlagSection, kPlayWait, m_nPlayWait);
    app->WriteProfileInt(kFlagSection, kCharWait, m_nCharWait);
    app->WriteProfileInt(kFlagSection, kMinusWait, m_nMinusWait);
    app->WriteProfileInt(kModemSection, kModemPort, m_nModemPort);
    app->WriteProfileInt(kModemSection, kModemInitWait, m_nModemInitWait);
    app->WriteProfileString(kModemSection, kModemInitChar, m_szModemInit);
    app->WriteProfileString(kModemSection, kModemDialChar, m_szModemDial);
    // Written only when changed: a profile without the key stays without it.
    if (dlg.m_strIntlPrefix != intlPrefix)
        app->WriteProfileString(kDialSection, kIntlPrefix, dlg.m_strIntlPrefix);
    return true;
}
