// The modal loops of the headless backend: whichever runs innermost takes the
// next posted click, due timer or scripted action, and time moves only when
// the script waits or a sound plays.
#include <algorithm>
#include <string>

#include "framework/file_system.h"
#include "platform/headless/headless.h"

namespace headless {

int HeadlessSystem::RunModal(port::Window& window) {
    auto& w = static_cast<HeadlessWindow&>(window);
    auto* owner = static_cast<HeadlessWindow*>(w.Owner());
    if (owner) owner->enabled = false;
    Frame frame;
    frame.kind = FrameKind::Dialog;
    frame.window = &w;
    frames_.push_back(&frame);
    while (!w.ended) {
        if (!Step(frame)) {
            Problem("script ran out while dialog " + std::to_string(w.Template().id) + " was open");
            w.ended = true;
            w.result = -1;
        }
    }
    frames_.pop_back();
    if (owner) owner->enabled = true;
    return w.result;
}

void HeadlessSystem::EndModal(port::Window& window, int result) {
    auto& w = static_cast<HeadlessWindow&>(window);
    w.ended = true;
    w.result = result;
}

int HeadlessSystem::MessageBox(port::Window*, std::string_view text, std::string_view caption,
                               UINT style) {
    boxes_.push_back({now_, std::string(text), std::string(caption), style});
    size_t index = boxes_.size() - 1;
    Frame frame;
    frame.kind = FrameKind::Box;
    frame.style = style;
    frames_.push_back(&frame);
    while (!frame.done) {
        if (!Step(frame)) {
            Problem("script ran out while a message box was open: " + std::string(text));
            frame.done = true;
            const UINT type = style & MB_TYPEMASK;
            frame.result = type == MB_YESNO ? IDNO : type == MB_YESNOCANCEL ? IDCANCEL : IDOK;
        }
    }
    frames_.pop_back();
    boxes_[index].answer = frame.result;
    return frame.result;
}

std::optional<std::string> HeadlessSystem::FileDialog(port::Window*,
                                                      const port::FileDialogRequest& request) {
    fileDialogs_.push_back({now_, request});
    Frame frame;
    frame.kind = FrameKind::File;
    frames_.push_back(&frame);
    while (!frame.done) {
        if (!Step(frame)) {
            Problem("script ran out while a file dialog was open");
            frame.done = true;
        }
    }
    frames_.pop_back();
    // As the platforms' save dialogs do: a new name typed without an extension
    // gets the default one; an existing file chosen as it is stays that file.
    std::string ext = request.defaultExt;
    if (ext.rfind("*.", 0) == 0) ext.erase(0, 2);
    if (frame.path && !request.open && !ext.empty() && !fsys::Exists(*frame.path) &&
        fsys::BaseName(*frame.path).find('.') == std::string::npos)
        *frame.path += "." + ext;
    return frame.path;
}

bool HeadlessSystem::Step(Frame& frame) {
    WatchClock();
    if (!later_.empty()) {
        const std::function<void()> task = std::move(later_.front());
        later_.pop_front();
        task();
        return true;
    }
    if (DeliverPosted()) return true;
    if (now_ < waitUntil_) {
        if (!FireNextTimer(waitUntil_)) now_ = waitUntil_;
        return true;
    }
    if (FireNextTimer(now_)) return true;
    if (script_.empty()) return false;
    Action a = std::move(script_.front());
    script_.pop_front();
    Apply(frame, a);
    return true;
}

bool HeadlessSystem::FireNextTimer(int64_t limit) {
    HeadlessWindow* best = nullptr;
    UINT bestId = 0;
    int64_t bestDue = 0;
    for (HeadlessWindow* w : windows_)
        for (auto& [id, t] : w->timers)
            if (t.due <= limit && (!best || t.due < bestDue)) {
                best = w, bestId = id, bestDue = t.due;
            }
    if (!best) return false;
    now_ = std::max(now_, bestDue);
    WatchClock();
    TimerState& t = best->timers[bestId];
    t.due = now_ + t.interval;  // periodic until killed or re-armed
    best->Events().OnTimerEvent(bestId);
    return true;
}

bool HeadlessSystem::DeliverPosted() {
    for (HeadlessWindow* w : windows_) {
        if (w->posted.empty()) continue;
        const int id = w->posted.front();
        w->posted.pop_front();
        w->Events().OnCommandEvent(id, BN_CLICKED);
        return true;
    }
    return false;
}

void HeadlessSystem::WatchClock() {
    if (clockWatcher_) clockWatcher_(now_);
}

}  // namespace headless
