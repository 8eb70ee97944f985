// The desktop program: the dialer on Qt windows, ALSA sound and POSIX serial ports.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QString>

#include "app/dialer_app.h"
#include "framework/profile_store.h"
#include "platform/alsa/alsa_sound.h"
#include "platform/posix/serial_ports.h"
#include "platform/qt/qt_window_system.h"
#include "resources/dialog_template.h"
#include "settings/profile_keys.h"

namespace {

CDialerApp theApp;

// The first of the program's data directories that holds `relative`: installed
// beside the program, installed under the configured prefix, or the source tree.
std::string FindData(const QString& relative) {
    const QString besideProgram = QCoreApplication::applicationDirPath() + "/../share/vantrel/";
    for (const QString& dir : {besideProgram, QStringLiteral(VANTREL_DATA_DIR "/"),
                               QStringLiteral(VANTREL_SOURCE_RESOURCE_DIR "/")}) {
        QFileInfo info(dir + relative);
        if (info.exists()) return QDir::cleanPath(info.absoluteFilePath()).toStdString();
    }
    return (besideProgram + relative).toStdString();
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication qtApp(argc, argv);
    QApplication::setApplicationName("vantrel");
    QApplication::setDesktopFileName("vantrel");

    platform::QtWindowSystem windows;
    windows.SetIconPath(res::IDR_MAINFRAME, FindData("icons/vantrel-256.png"));
    platform::AlsaSoundOutput sound;
    // The device behind each port name can be set in the profile, section "Ports".
    PosixSerialPorts serial([](std::string_view name) {
        const std::string port(name);
        return theApp.GetProfileString(profile_keys::kPortsSection, port, DefaultSerialDevice(port));
    });

    theApp.AttachPlatform(&windows, &sound, &serial);
    theApp.SetProfilePath(fw::DefaultProfilePath("vantrel"));
    theApp.SetHelpFile(FindData("help/index.html"));
    return theApp.Start();
}
