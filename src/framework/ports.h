#pragma once
// What the program needs of its platform, as three small ports. Backends in
// platform/ implement them; nothing above the framework sees a toolkit type.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "framework/dialog_template.h"
#include "framework/win_types.h"

namespace port {

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
};

// Editing keys a window may take for itself before its focused control sees them.
enum class EditKey { Backspace, Delete, Paste, Copy };

// Implemented once, by the framework's dialog class. Backends deliver events
// through it and never call a handler directly.
class WindowEvents {
public:
    virtual ~WindowEvents() = default;
    virtual void OnCommandEvent(int id, UINT code) = 0;
    virtual void OnTimerEvent(UINT id) = 0;
    virtual void OnSysCommandEvent(UINT cmd, long param) = 0;
    virtual void OnVScrollEvent(UINT code, int pos) = 0;
    virtual void OnPaintEvent() = 0;
    // Keys typed while this window has the keyboard, before the focused control
    // gets them: a printable ASCII character other than the space (typed
    // without Ctrl or Alt), or an editing key (Backspace, Delete, Ctrl+V or
    // Shift+Insert, Ctrl+C). True when the window took the key; false lets the
    // control have it as usual.
    virtual bool OnCharEvent(char) { return false; }
    virtual bool OnEditKeyEvent(EditKey) { return false; }
    // A click into edit field `id`, after the field has taken the focus: the
    // platform's edit controls report no clicks of their own.
    virtual void OnFieldClickEvent(int) {}
    // The mouse wheel turned by `delta` (120 a notch, positive away from the
    // user) over control `id` (0: over none), which does not take the wheel
    // itself. True when the window took it.
    virtual bool OnMouseWheelEvent(int id, int delta) {
        (void)id;
        (void)delta;
        return false;
    }
};

// One dialog window created from a template.
class Window {
public:
    virtual ~Window() = default;

    // Controls, addressed by identifier.
    virtual std::string Text(int id) const = 0;
    virtual void SetText(int id, std::string_view text) = 0;
    virtual bool Checked(int id) const = 0;
    virtual void SetChecked(int id, bool checked) = 0;
    virtual void LimitText(int id, int bytes) = 0;  // typing beyond this many bytes is refused
    virtual int FocusId() const = 0;                // 0 when no control of this window has it
    virtual void SetFocus(int id) = 0;
    virtual void SelectAll(int id) = 0;
    // Shows bytes [start, end) of an edit's text selected, even while another
    // control has the focus, and draws it at once: the program may hold the
    // thread (a tone playing) before the event loop would. start == end
    // selects nothing.
    virtual void SelectText(int id, int start, int end) = 0;
    // A hint shown when the pointer rests on the control; backends without one ignore it.
    virtual void SetToolTip(int id, std::string_view text) {
        (void)id;
        (void)text;
    }

    // Slider (trackbar) messages.
    virtual void SliderSetRangeMax(int id, int max, bool redraw) = 0;
    virtual void SliderSetPageSize(int id, int size) = 0;
    virtual int SliderPos(int id) const = 0;
    virtual void SliderSetPos(int id, int pos, bool redraw) = 0;
    // Turns the wheel by `delta` as if over the slider: it moves and notifies
    // the window exactly as for a wheel turned over it.
    virtual void SliderWheel(int id, int delta) = 0;

    // Periodic timer; arming an id again replaces its interval. False on failure.
    virtual bool SetTimer(UINT id, UINT ms) = 0;
    virtual bool KillTimer(UINT id) = 0;

    // Window frame.
    virtual void AppendSystemMenuSeparator() = 0;
    virtual void AppendSystemMenuItem(UINT cmd, std::string_view text) = 0;
    virtual void SetIcon(int iconId, bool big) = 0;
    // The title bar's text.
    virtual void SetCaption(std::string_view text) = 0;
    virtual void DefaultSysCommand(UINT cmd, long param) = 0;  // Close issues IDCANCEL
    virtual bool IsIconic() const = 0;
    virtual Rect ClientRect() const = 0;
    virtual void EraseIconBackground() = 0;  // only while painting
    virtual void DrawIcon(int x, int y, int iconId) = 0;  // only while painting

    // Queues a click of control `id`, delivered by whichever loop runs next.
    virtual void PostCommand(int id) = 0;
    // Restores the window if minimised and asks the desktop to raise and activate it.
    virtual void BringToFront() = 0;
    // Shows a push button pressed (or released again) as a click would, at
    // once: a key that stands for the button keeps it down while its tone plays.
    virtual void ShowPressed(int id, bool pressed) = 0;
};

struct FileDialogRequest {
    bool open = true;                    // Open (true) or Save As (false)
    std::string defaultExt;              // as the program gives it, e.g. "*.vtl"
    std::string filter;                  // "Name|pattern|Name|pattern||"
    UINT flags = 0;
    std::string folder;                  // where the dialog starts
    std::string fileName;                // the name it shows to begin with, if any
};

class WindowSystem {
public:
    virtual ~WindowSystem() = default;
    // nullptr when the window cannot be created.
    virtual std::unique_ptr<Window> Create(const res::DialogTemplate& tmpl, Window* owner,
                                           WindowEvents& events) = 0;
    // Shows the window and runs a nested loop until EndModal; the owner is disabled meanwhile
    // and timers of every window go on firing.
    virtual int RunModal(Window& window) = 0;
    virtual void EndModal(Window& window, int result) = 0;
    virtual int MessageBox(Window* owner, std::string_view text, std::string_view caption,
                           UINT style) = 0;
    virtual std::optional<std::string> FileDialog(Window* owner,
                                                  const FileDialogRequest& request) = 0;
    virtual int SystemMetric(int index) const = 0;
    // The user's documents folder, as the desktop names it.
    virtual std::string DocumentsFolder() const = 0;
    // Asks the desktop to show a help page; false when it cannot. A desktop
    // that learns only later that it could not (its opener gave up) calls
    // failedLater then, from the event loop.
    virtual bool OpenHelp(const std::string& path, std::function<void()> failedLater) = 0;
    // The desktop's clipboard as UTF-8 text; nullopt when it holds no text.
    virtual std::optional<std::string> ClipboardText() = 0;
    virtual void SetClipboardText(std::string_view text) = 0;
};

// Plays a complete RIFF WAVE image synchronously: returns when the last sample
// has been played; plays nothing and returns promptly when it cannot.
class SoundOutput {
public:
    virtual ~SoundOutput() = default;
    virtual void PlayWave(const uint8_t* data, size_t size) = 0;
    // The next play keeps no time with the one before (a keypad key, a dial's
    // first tone): it is heard as soon as it can be, though never over what is
    // still heard of the last. Outputs with no timeline of their own ignore it.
    virtual void StartAfresh() {}
    // The silence the caller plans between the last play's return and the
    // next play (a dial's gap). A caller that comes later than that, as when
    // a timer message is delivered late, is still heard after this much where
    // the output can do so. Outputs with no timeline of their own ignore it.
    virtual void PlanGap(int ms) { (void)ms; }
    // Why the sound device failed, once: a failure is told by the first call
    // after it and not again until a play has succeeded (the device is tried
    // afresh by every play meanwhile). Nothing when there is nothing new.
    virtual std::optional<std::string> TakeFailure() { return std::nullopt; }
};

// The program's sound clips where the platform carries them itself, in its
// executable's resources: each play looks its clip up, hands the image to the
// sound output and releases it again. Without one, the clips built into the
// program are played.
class SoundClips {
public:
    virtual ~SoundClips() = default;
    // Plays clip `id` through out; false, having played nothing, when there is no such clip.
    virtual bool Play(UINT id, SoundOutput& out) = 0;
};

class SerialLine {
public:
    virtual ~SerialLine() = default;
    // Writes every byte, exactly as given; false when the write failed.
    virtual bool Write(std::string_view bytes) = 0;
    // Appends what the device has sent since the last call, at most maxBytes,
    // without waiting; false when the device has gone (hung up, unplugged).
    virtual bool Read(std::string& out, size_t maxBytes) {
        (void)out;
        (void)maxBytes;
        return true;
    }
};

// Why a port could not be opened, for the user: the device tried and the
// reason in plain words (both empty when unknown).
struct SerialOpenFailure {
    std::string device;
    std::string reason;
};

// The speeds a port can be set to, in baud.
inline constexpr int kLineSpeeds[] = {300,   600,   1200,   2400,   4800,   9600,  19200,
                                      38400, 57600, 115200, 230400, 460800, 921600};

// A port's speed as the profile gives it ("COM1Speed=115200"): one of
// kLineSpeeds written in plain decimal, or 0 when the text is empty or "0",
// which leave the line's settings alone. Anything else (a hexadecimal or
// negative number, too many digits, a word) is nullopt: a modem at a speed
// nobody chose would only answer noise.
inline std::optional<int> ParseLineSpeed(std::string_view text) {
    if (text.empty() || text == "0") return 0;
    for (int baud : kLineSpeeds)
        if (text == std::to_string(baud)) return baud;
    return std::nullopt;
}

// Why a port was not opened at the speed its setting gives.
inline std::string LineSpeedRefusal(std::string_view portName, std::string_view text) {
    // An edited profile may hold anything: the message shows enough to recognise it.
    std::string shown(text);
    if (size_t cut = 24; text.size() > cut) {
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
        shown = std::string(text.substr(0, cut)) + "...";
    }
    return "the speed " + shown + " (" + std::string(portName) +
           "Speed in [Ports]) is not a standard rate";
}

// Serial ports by name ("COM1" to "COM4"). Opening never blocks.
class SerialPorts {
public:
    virtual ~SerialPorts() = default;
    virtual std::unique_ptr<SerialLine> Open(std::string_view name) = 0;  // nullptr on failure
    // Why the last Open gave nullptr.
    virtual SerialOpenFailure LastFailure() const { return {}; }
    // The device a port name stands for, as the user would name it; "" when unknown.
    virtual std::string DevicePath(std::string_view name) const {
        (void)name;
        return {};
    }
};

}  // namespace port
