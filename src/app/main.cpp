// The desktop program: the dialer on Qt windows, ALSA sound and POSIX serial ports.
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QString>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/dialer_app.h"
#include "framework/file_system.h"
#include "framework/profile_store.h"
#include "platform/alsa/alsa_sound.h"
#include "platform/posix/serial_ports.h"
#include "platform/qt/qt_instance_channel.h"
#include "platform/qt/qt_window_system.h"
#include "resources/resource_ids.h"
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

// Help, version and a wrong command line are answered without a display; the
// exit code, or nothing when the program is to run.
std::optional<int> AnswerWithoutWindow(const CommandLine& commandLine) {
    switch (commandLine.action) {
    case CommandLine::Action::Help:
        std::fputs(HelpText().c_str(), stdout);
        return 0;
    case CommandLine::Action::Version:
        std::fputs(VersionLine().c_str(), stdout);
        return 0;
    case CommandLine::Action::Usage:
        std::fprintf(stderr, "vantrel: %s\n%sTry 'vantrel --help' for more information.\n",
                     commandLine.error.c_str(), UsageLine().c_str());
        return 2;
    case CommandLine::Action::Run:
        break;
    }
    return std::nullopt;
}

// How long a new copy waits for the running one to take its number before it
// opens a window of its own: longer than a busy copy keeps anyone waiting, so
// that only a stopped or hung one is given up on.
constexpr int kHandOverTimeoutMs = 10000;
constexpr char kNoAnswerText[] =
    "Vantrel is already running but did not answer within 10 seconds, so the number "
    "opens in a new window. The window already open will not take it.";

}  // namespace

int main(int argc, char* argv[]) {
    const CommandLine commandLine =
        ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (std::optional<int> exitCode = AnswerWithoutWindow(commandLine)) return *exitCode;

    // The arguments are the program's own; Qt is given none to interpret.
    int qtArgc = 1;
    QApplication qtApp(qtArgc, argv);
    // Stopped during a save, the program leaves no temporary file behind.
    fsys::RemoveTempFilesOnSignals();
    QApplication::setApplicationName("vantrel");
    QApplication::setDesktopFileName("vantrel");

    platform::QtWindowSystem windows;
    windows.SetIconPath(res::IDR_MAINFRAME, FindData("icons/vantrel-256.png"));
    platform::AlsaSoundOutput sound;
    // The device behind each port name and its speed can be set in the profile,
    // section "Ports" (COM1=/dev/ttyACM0, COM1Speed=115200).
    PosixSerialPorts serial(
        [](std::string_view name) {
            const std::string port(name);
            return theApp.GetProfileString(profile_keys::kPortsSection, port,
                                           DefaultSerialDevice(port));
        },
        [](std::string_view name) {
            return theApp.GetProfileString(profile_keys::kPortsSection, std::string(name) + "Speed");
        });

    // A number goes to the window this user already has, if one runs; a copy
    // started without one always opens its own window, and serves numbers only
    // once no other copy does.
    platform::QtInstanceChannel instances(platform::QtInstanceChannel::DefaultSocketPath());
    if (commandLine.number) {
        const DialRequest& number = *commandLine.number;
        using Sent = platform::QtInstanceChannel::Sent;
        const Sent sent = instances.Forward(number.number, number.dialNow, kHandOverTimeoutMs);
        if (sent == Sent::Taken) return 0;
        if (sent == Sent::NoAnswer)
            windows.MessageBox(nullptr, kNoAnswerText, theApp.m_pszAppName,
                               MB_OK | MB_ICONEXCLAMATION);
        theApp.SetStartNumber(number);
    }
    instances.Listen({[] { return theApp.CanTakeNumber(); },
                      [](const std::string& number, bool dialNow) {
                          theApp.HandOver(DialRequest{number, dialNow});
                      }});

    theApp.AttachPlatform(&windows, &sound, &serial);
    theApp.SetProfilePath(fw::DefaultProfilePath("vantrel"));
    theApp.SetHelpFile(FindData("help/index.html"));
    return theApp.Start();
}
