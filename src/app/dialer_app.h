#pragma once
#include "framework/afxwin.h"

class CDialerApp : public CWinApp {
public:
    CDialerApp();
    bool InitInstance() override;

    // The result of the dialer window's modal run, for whoever started the program.
    int LastDialogResult() const { return m_lastResult; }

private:
    int m_lastResult = 0;
};
