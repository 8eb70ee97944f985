#pragma once
#include <optional>

#include "dialer/dial_request.h"
#include "framework/afxwin.h"

class CDialerApp : public CWinApp {
public:
    CDialerApp();
    bool InitInstance() override;
    void OnAppAbout() override;

    // The number the command line gave, for the window to start with.
    void SetStartNumber(DialRequest request) { m_startNumber = std::move(request); }
    // Whether a dialer window runs that can take a number from another copy.
    bool CanTakeNumber() const;
    // A number another copy of the program was started with: the running window
    // comes to the front and takes it. Nothing happens when no window runs.
    void HandOver(const DialRequest& request);

    // The result of the dialer window's modal run, for whoever started the program.
    int LastDialogResult() const { return m_lastResult; }

private:
    int m_lastResult = 0;
    std::optional<DialRequest> m_startNumber;
};
