#pragma once
// The options dialog: the three tone timings and the four modem settings.
#include <string>

#include "framework/afxwin.h"

enum : int {
    IDC_OPT_PLAY_WAIT = 1022,
    IDC_OPT_CHAR_WAIT = 1023,
    IDC_OPT_MINUS_WAIT = 1024,
    IDC_OPT_COM1 = 1072,  // to 1075
    IDC_OPT_MODEM_INIT = 1076,
    IDC_OPT_MODEM_DIAL = 1077,
    IDC_OPT_MODEM_INIT_WAIT = 1078,
    IDC_OPT_INTL_PREFIX = 1079,
};

class COptionDlg : public CDialog {
public:
    explicit COptionDlg(CDialog* pParent = nullptr);

    int m_nCharWait = 0;
    int m_nPlayWait = 0;
    int m_nMinusWait = 0;
    int m_nModemPort = -1;
    std::string m_strModemDial;
    std::string m_strModemInit;
    int m_nModemInitWait = 0;
    std::string m_strIntlPrefix;  // what a leading "+" of a number becomes
    int m_nInitialFocus = 0;      // the control the focus starts in; 0: the first tab stop

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    // Shows each port button's device as its tooltip, and puts the focus
    // where it was asked for.
    bool OnInitDialog() override;
};
