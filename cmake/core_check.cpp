// Links the platform-independent core for Windows: every symbol the program's
// logic needs resolves without a window-system backend.
#include "app/dialer_app.h"
#include "framework/file_system.h"
#include "framework/profile_store.h"

int main() {
    CDialerApp app;
    app.SetProfilePath(fw::DefaultProfilePath("vantrel"));
    return fsys::UserConfigDirectory().empty() ? 1 : 0;
}
