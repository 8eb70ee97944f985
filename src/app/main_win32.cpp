// The Windows program: the dialer on Win32 dialogs, multimedia sound and the
// COM ports. This file includes no Win32 header (their macros clash with the
// framework's names); the GUI subsystem's start-up calls main() like WinMain.
#include "app/dialer_app.h"
#include "framework/profile_store.h"
#include "platform/win32/win32_paths.h"
#include "platform/win32/win32_serial_ports.h"
#include "platform/win32/win32_sound.h"
#include "platform/win32/win32_window_system.h"

namespace {

CDialerApp theApp;

}  // namespace

int main() {
    platform::Win32WindowSystem windows;
    platform::Win32SoundOutput sound;
    platform::Win32ResourceClips clips;
    // A port's speed can be set in the profile, section "Ports" (COM1Speed=115200).
    platform::Win32SerialPorts serial(nullptr, 3000, [](std::string_view name) {
        return theApp.GetProfileString("Ports", std::string(name) + "Speed");
    });

    theApp.AttachPlatform(&windows, &sound, &serial);
    theApp.AttachSoundClips(&clips);
    // %APPDATA%\vantrel.ini
    theApp.SetProfilePath(fw::DefaultProfilePath("vantrel"));
    theApp.SetHelpFile(platform::ProgramDirectory() + "\\help\\index.html");
    return theApp.Start();
}
