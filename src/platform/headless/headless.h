#pragma once
// A whole window system in memory, with a virtual clock, driven by a scripted
// user. Every behaviour test runs the real dialogs on it.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "framework/ports.h"
#include "platform/headless/headless_window.h"

namespace headless {

enum class Key { Enter, Escape, Tab, Space, AltF4, Backspace, Delete, CtrlV, ShiftInsert, CtrlC };

// One thing the person at the keyboard does.
struct Action {
    enum class Kind {
        Click, PressKey, SysCommand, Scroll, Focus, Type, Wait, WaitUntil, Answer, PickFile, CancelFile,
        Inspect, Paint, Char, Wheel
    };
    Kind kind = Kind::Inspect;
    int id = 0;
    int value = 0;  // key, command, scroll code, milliseconds, button
    int pos = 0;
    std::string text;
    std::function<void()> inspect;
    int64_t at = 0;
};

struct MessageBoxRecord {
    int64_t at;
    std::string text;
    std::string caption;
    UINT style;
    int answer = 0;
};

struct FileDialogRecord {
    int64_t at;
    port::FileDialogRequest request;
};

struct SoundRecord {
    int64_t start;
    int64_t duration;
    std::vector<uint8_t> wave;
    int pressedButton = 0;  // the push button shown held down while it played, if any
    bool afresh = false;    // asked to keep no time with the sound before
    std::optional<int> plannedGapMs;  // the silence planned since the sound before
};

class HeadlessSystem : public port::WindowSystem, public port::SoundOutput {
public:
    HeadlessSystem();
    ~HeadlessSystem() override;

    // ---- the script
    HeadlessSystem& Click(int id);
    HeadlessSystem& Press(Key key);
    HeadlessSystem& SysCommand(UINT cmd);
    HeadlessSystem& Scroll(UINT code, int pos);  // moves the slider 1091 to pos, then notifies
    // Turns the mouse wheel over control id by delta (120 a notch, positive away from the user).
    HeadlessSystem& Wheel(int id, int delta);
    HeadlessSystem& Focus(int id);
    HeadlessSystem& Type(int id, std::string text);  // replaces an edit's text as typed
    HeadlessSystem& Wait(int ms);
    HeadlessSystem& WaitUntil(int64_t ms);  // until the clock reads ms (at once if it has passed)
    HeadlessSystem& Answer(int button);
    HeadlessSystem& PickFile(std::string path);
    HeadlessSystem& CancelFile();
    HeadlessSystem& Then(std::function<void()> inspect);
    HeadlessSystem& Paint();
    // Characters typed on the keyboard, one key each, to whatever window has it.
    HeadlessSystem& Keys(std::string chars);
    // What the desktop's clipboard holds now (nullopt: no text).
    void SetClipboard(std::optional<std::string> text) { clipboard_ = std::move(text); }
    const std::optional<std::string>& Clipboard() const { return clipboard_; }

    // ---- what a test reads back
    int64_t Now() const { return now_; }
    HeadlessWindow* Top() const;  // the innermost dialog window, if any
    const std::vector<MessageBoxRecord>& MessageBoxes() const { return boxes_; }
    const std::vector<FileDialogRecord>& FileDialogs() const { return fileDialogs_; }
    const std::vector<SoundRecord>& Sounds() const { return sounds_; }
    const std::vector<std::string>& HelpRequests() const { return helpRequests_; }
    // Script problems: an action the running loop cannot take, or a script that ran out.
    const std::vector<std::string>& Problems() const { return problems_; }
    bool ScriptDone() const { return script_.empty(); }
    int OpenMessageBoxes() const;

    // Called with the time before each unit of work (a timer, a scripted
    // action): how a scripted device, a modem on a pty, hears what was written
    // and answers at exact virtual moments.
    void SetClockWatcher(std::function<void(int64_t now)> watcher) { clockWatcher_ = std::move(watcher); }

    // ---- fault injection
    void FailNextSetTimers(int count) { failSetTimers_ = count; }
    // While set, sound plays nothing and takes no time, and the output says
    // why once, as a device that cannot be opened does.
    void FailSound(std::optional<std::string> why) { soundFailure_ = std::move(why); }
    // The desktop takes help requests, then finds it cannot show them.
    void FailHelpLater(bool fail) { helpFailsLater_ = fail; }
    void SetIconMetric(int cx, int cy) { iconCx_ = cx, iconCy_ = cy; }
    void SetDocumentsFolder(std::string folder) { documents_ = std::move(folder); }

    // ---- port::WindowSystem
    std::unique_ptr<port::Window> Create(const res::DialogTemplate& tmpl, port::Window* owner,
                                         port::WindowEvents& events) override;
    int RunModal(port::Window& window) override;
    void EndModal(port::Window& window, int result) override;
    int MessageBox(port::Window* owner, std::string_view text, std::string_view caption,
                   UINT style) override;
    std::optional<std::string> FileDialog(port::Window* owner,
                                          const port::FileDialogRequest& request) override;
    int SystemMetric(int index) const override;
    std::string DocumentsFolder() const override { return documents_; }
    bool OpenHelp(const std::string& path, std::function<void()> failedLater) override;
    std::optional<std::string> ClipboardText() override { return clipboard_; }
    void SetClipboardText(std::string_view text) override { clipboard_ = std::string(text); }

    // ---- port::SoundOutput: advances the clock by the clip's length
    void PlayWave(const uint8_t* data, size_t size) override;
    void StartAfresh() override { afresh_ = true; }
    void PlanGap(int ms) override { plannedGap_ = ms; }
    std::optional<std::string> TakeFailure() override { return std::exchange(untoldFailure_, std::nullopt); }

private:
    friend class HeadlessWindow;
    enum class FrameKind { Dialog, Box, File };
    struct Frame {
        FrameKind kind = FrameKind::Dialog;
        HeadlessWindow* window = nullptr;
        bool done = false;
        int result = 0;
        std::optional<std::string> path;
        UINT style = 0;
    };
    HeadlessSystem& Push(Action a);
    // Runs one unit of work for the innermost loop; false when the script ran out.
    bool Step(Frame& frame);
    bool FireNextTimer(int64_t limit);
    bool DeliverPosted();
    void Apply(Frame& frame, Action& a);
    void ApplyToDialog(HeadlessWindow& w, Action& a);
    void Problem(std::string what);

    int64_t now_ = 0;
    int64_t waitUntil_ = 0;
    std::deque<Action> script_;
    std::vector<Frame*> frames_;
    std::vector<HeadlessWindow*> windows_;
    std::vector<MessageBoxRecord> boxes_;
    std::vector<FileDialogRecord> fileDialogs_;
    std::vector<SoundRecord> sounds_;
    bool afresh_ = false;
    std::optional<int> plannedGap_;
    std::vector<std::string> helpRequests_;
    bool helpFailsLater_ = false;
    std::deque<std::function<void()>> later_;  // run by the loop before posted clicks
    std::optional<std::string> soundFailure_;
    bool soundFailed_ = false;  // told, and not again until a play succeeds
    std::optional<std::string> untoldFailure_;
    std::vector<std::string> problems_;
    std::optional<std::string> clipboard_;
    int failSetTimers_ = 0;
    int iconCx_ = 32, iconCy_ = 32;
    std::string documents_ = "/home/user/Documents";
    uint64_t timerSequence_ = 0;
    std::function<void(int64_t)> clockWatcher_;
    void WatchClock();
};

}  // namespace headless
