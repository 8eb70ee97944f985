// The settings and dial state, loaded when the window opens and saved when it closes.
#include <algorithm>

#include "dialer/dialer_dlg.h"
#include "dialer/fixed_text.h"
#include "settings/profile_keys.h"

void CDialerDlg::LoadProfile() {
    CWinApp* app = AfxGetApp();
    using namespace profile_keys;

    auto wait = [app](const char* section, const char* key, int defaultMs, int maxMs) {
        return std::clamp(app->GetProfileInt(section, key, defaultMs), 0, maxMs);
    };
    m_nPlayWait = wait(kFlagSection, kPlayWait, kDefaultPlayWait, kMaxToneWait);
    m_nCharWait = wait(kFlagSection, kCharWait, kDefaultCharWait, kMaxToneWait);
    m_nMinusWait = wait(kFlagSection, kMinusWait, kDefaultMinusWait, kMaxToneWait);
    m_nTransSelect = app->GetProfileInt(kFlagSection, kTransSelect, 0);
    m_nOutputDevice = app->GetProfileInt(kFlagSection, kOutputDevice, 0);

    // An edited profile may hold more than the buffer takes; the field shows what the buffer holds.
    m_nDialLen = CopyToBuffer(m_szDial, app->GetProfileString(kDialSection, kLastDial));
    m_strDial = m_szDial;

    m_strFileName = app->GetProfileString(kDialSection, kLoadFile);
    m_strLoadPath = m_strFileName;

    if (!m_strLoadPath.empty()) {
        LoadListFile(m_strLoadPath, 1);
    } else {
        for (int n = 0; n < kVisibleRows; ++n) {
            CopyToBuffer(m_szList[n], app->GetProfileString(kDialSection, DialListKey(n)));
            m_strRow[n] = m_szList[n];
        }
    }

    m_nModemInitWait =
        wait(kModemSection, kModemInitWait, kDefaultModemInitWait, kMaxModemInitWait);
    m_nModemPort = app->GetProfileInt(kModemSection, kModemPort, 0);
    CopyToBuffer(m_szModemInit,
                 app->GetProfileString(kModemSection, kModemInitChar, kDefaultModemInit));
    CopyToBuffer(m_szModemDial,
                 app->GetProfileString(kModemSection, kModemDialChar, kDefaultModemDial));
}

void CDialerDlg::SaveDialState(bool withListFile) const {
    CWinApp* app = AfxGetApp();
    using namespace profile_keys;
    app->WriteProfileInt(kFlagSection, kTransSelect, m_nTransSelect);
    app->WriteProfileInt(kFlagSection, kOutputDevice, m_nOutputDevice);
    // The buffer, not the field, which may be showing the modem status text.
    app->WriteProfileString(kDialSection, kLastDial, m_szDial);
    for (int n = 0; n < kVisibleRows; ++n)
        app->WriteProfileString(kDialSection, DialListKey(n), m_strRow[n]);
    if (withListFile) app->WriteProfileString(kDialSection, kLoadFile, m_strLoadPath);
}
