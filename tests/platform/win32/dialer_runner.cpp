// The real dialer window on a given window system, for the Windows tests. Kept
// apart from them: the framework's names and the Win32 headers do not mix.
#ifdef _WIN32

#include <string>

#include "app/dialer_app.h"
#include "dialer/dialer_dlg.h"

namespace testing_support {

int RunDialerWindow(port::WindowSystem& windows, const std::string& profilePath,
                    const std::string& helpFile) {
    CDialerApp app;
    app.AttachPlatform(&windows, nullptr, nullptr);
    app.SetProfilePath(profilePath);
    app.SetHelpFile(helpFile);
    CDialerDlg dlg;
    app.m_pMainWnd = &dlg;
    return dlg.DoModal();
}

}  // namespace testing_support

#endif  // _WIN32
