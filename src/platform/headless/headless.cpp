#include "platform/headless/headless.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "framework/file_system.h"

namespace headless {
namespace {

constexpr int kHorizontalBase = 7;  // pixels per 4 dialog units
constexpr int kVerticalBase = 14;   // pixels per 8 dialog units

uint32_t ReadLe32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Length of a PCM WAVE image in milliseconds; nullopt when it is not one.
std::optional<int64_t> WaveDurationMs(const uint8_t* data, size_t size) {
    if (size < 12 || std::memcmp(data, "RIFF", 4) != 0 || std::memcmp(data + 8, "WAVE", 4) != 0)
        return std::nullopt;
    uint32_t byteRate = 0;
    size_t pos = 12;
    while (pos + 8 <= size) {
        uint32_t chunkSize = ReadLe32(data + pos + 4);
        if (std::memcmp(data + pos, "fmt ", 4) == 0 && chunkSize >= 16 && pos + 8 + 16 <= size) {
            byteRate = ReadLe32(data + pos + 8 + 8);
        } else if (std::memcmp(data + pos, "data", 4) == 0) {
            if (byteRate == 0) return std::nullopt;
            uint64_t bytes = std::min<uint64_t>(chunkSize, size - pos - 8);
            return static_cast<int64_t>((bytes * 1000 + byteRate / 2) / byteRate);
        }
        pos += 8 + chunkSize + (chunkSize & 1);
    }
    return std::nullopt;
}

bool IsPushButton(const ControlState& c) { return c.kind == res::ControlKind::PushButton; }

std::string CutUtf8(std::string text, size_t maxBytes) {
    if (text.size() <= maxBytes) return text;
    size_t n = maxBytes;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
    text.resize(n);
    return text;
}

}  // namespace

// ---------------------------------------------------------------- window

HeadlessWindow::HeadlessWindow(HeadlessSystem& system, const res::DialogTemplate& tmpl,
                               port::Window* owner, port::WindowEvents& events)
    : system_(system),
      tmpl_(tmpl),
      owner_(owner),
      events_(events),
      clientWidth_(tmpl.cx * kHorizontalBase / 4),
      clientHeight_(tmpl.cy * kVerticalBase / 8) {
    for (const auto& c : tmpl.controls) {
        if (c.id <= 0 && c.id != IDOK && c.id != IDCANCEL) continue;
        ControlState s{c.kind, c.style, std::string(c.text)};
        controls_.emplace(c.id, s);
    }
    system_.windows_.push_back(this);
}

HeadlessWindow::~HeadlessWindow() {
    auto& w = system_.windows_;
    w.erase(std::remove(w.begin(), w.end(), this), w.end());
}

ControlState* HeadlessWindow::Find(int id) {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : &it->second;
}

const ControlState& HeadlessWindow::Control(int id) const {
    static const ControlState missing{res::ControlKind::Static, 0, "<no such control>"};
    auto it = controls_.find(id);
    return it == controls_.end() ? missing : it->second;
}

std::string HeadlessWindow::Text(int id) const { return Control(id).text; }

void HeadlessWindow::SetText(int id, std::string_view text) {
    if (ControlState* c = Find(id)) c->text = std::string(text);
}

bool HeadlessWindow::Checked(int id) const { return Control(id).checked; }

void HeadlessWindow::SetChecked(int id, bool checked) {
    if (ControlState* c = Find(id)) c->checked = checked;
}

void HeadlessWindow::LimitText(int id, int bytes) {
    if (ControlState* c = Find(id)) c->limit = bytes;
}

void HeadlessWindow::SetFocus(int id) {
    const ControlState* c = Find(id);
    if (c && c->Visible() && c->enabled) focus_ = id;
}

void HeadlessWindow::SelectAll(int id) { selectAllId_ = id; }

void HeadlessWindow::SetToolTip(int id, std::string_view text) {
    if (ControlState* c = Find(id)) c->toolTip = std::string(text);
}

void HeadlessWindow::SliderSetRangeMax(int id, int max, bool) {
    if (ControlState* c = Find(id)) {
        c->sliderMax = max;
        c->sliderPos = std::clamp(c->sliderPos, c->sliderMin, std::max(c->sliderMin, max));
    }
}

void HeadlessWindow::SliderSetPageSize(int id, int size) {
    if (ControlState* c = Find(id)) c->sliderPage = size;
}

int HeadlessWindow::SliderPos(int id) const { return Control(id).sliderPos; }

void HeadlessWindow::SliderSetPos(int id, int pos, bool) {
    if (ControlState* c = Find(id)) c->sliderPos = std::clamp(pos, c->sliderMin, c->sliderMax);
}

void HeadlessWindow::SliderWheel(int id, int delta) {
    ControlState* c = Find(id);
    if (!c || c->kind != res::ControlKind::Slider) return;
    // As the desktops' sliders do: three lines a notch, towards the top when
    // the wheel turns away from the user, then the end of the scroll.
    constexpr int kLinesPerNotch = 3;
    const int from = c->sliderPos;
    c->sliderPos = std::clamp(from - delta * kLinesPerNotch / WHEEL_DELTA, c->sliderMin, c->sliderMax);
    if (c->sliderPos != from) events_.OnVScrollEvent(c->sliderPos < from ? SB_LINEUP : SB_LINEDOWN, c->sliderPos);
    events_.OnVScrollEvent(SB_ENDSCROLL, c->sliderPos);
}

bool HeadlessWindow::SetTimer(UINT id, UINT ms) {
    if (system_.failSetTimers_ > 0) {
        --system_.failSetTimers_;
        return false;
    }
    timers[id] = TimerState{ms, system_.now_ + ms};
    return true;
}

bool HeadlessWindow::KillTimer(UINT id) { return timers.erase(id) != 0; }

void HeadlessWindow::AppendSystemMenuSeparator() { systemMenu_.push_back({true, 0, {}}); }

void HeadlessWindow::AppendSystemMenuItem(UINT cmd, std::string_view text) {
    systemMenu_.push_back({false, cmd, std::string(text)});
}

void HeadlessWindow::SetIcon(int iconId, bool big) { icons[big] = iconId; }

void HeadlessWindow::DefaultSysCommand(UINT cmd, long) {
    switch (cmd & 0xFFF0) {
        case SC_CLOSE: events_.OnCommandEvent(IDCANCEL, BN_CLICKED); break;
        case SC_MINIMIZE: iconic_ = true; break;
        case SC_RESTORE: iconic_ = false; break;
        default: break;  // Move and the program's own items change nothing here
    }
}

void HeadlessWindow::DrawIcon(int x, int y, int iconId) { drawnIcons.push_back({x, y, iconId}); }

void HeadlessWindow::ShowPressed(int id, bool pressed) {
    if (ControlState* c = Find(id); c && IsPushButton(*c)) c->pressed = pressed;
}

// ---------------------------------------------------------------- system

HeadlessSystem::HeadlessSystem() = default;
HeadlessSystem::~HeadlessSystem() = default;

namespace {
Action Act(Action::Kind kind, int id = 0, int value = 0, int pos = 0, std::string text = {}) {
    Action a;
    a.kind = kind;
    a.id = id;
    a.value = value;
    a.pos = pos;
    a.text = std::move(text);
    return a;
}
}  // namespace

HeadlessSystem& HeadlessSystem::Push(Action a) {
    script_.push_back(std::move(a));
    return *this;
}

HeadlessSystem& HeadlessSystem::Click(int id) { return Push(Act(Action::Kind::Click, id)); }
HeadlessSystem& HeadlessSystem::Press(Key key) {
    return Push(Act(Action::Kind::PressKey, 0, static_cast<int>(key)));
}
HeadlessSystem& HeadlessSystem::SysCommand(UINT cmd) {
    return Push(Act(Action::Kind::SysCommand, 0, static_cast<int>(cmd)));
}
HeadlessSystem& HeadlessSystem::Scroll(UINT code, int pos) {
    return Push(Act(Action::Kind::Scroll, 1091, static_cast<int>(code), pos));
}
HeadlessSystem& HeadlessSystem::Wheel(int id, int delta) {
    return Push(Act(Action::Kind::Wheel, id, delta));
}
HeadlessSystem& HeadlessSystem::Focus(int id) { return Push(Act(Action::Kind::Focus, id)); }
HeadlessSystem& HeadlessSystem::Type(int id, std::string text) {
    return Push(Act(Action::Kind::Type, id, 0, 0, std::move(text)));
}
HeadlessSystem& HeadlessSystem::Wait(int ms) { return Push(Act(Action::Kind::Wait, 0, ms)); }
HeadlessSystem& HeadlessSystem::WaitUntil(int64_t ms) {
    Action a = Act(Action::Kind::WaitUntil);
    a.at = ms;
    return Push(std::move(a));
}
HeadlessSystem& HeadlessSystem::Answer(int button) {
    return Push(Act(Action::Kind::Answer, 0, button));
}
HeadlessSystem& HeadlessSystem::PickFile(std::string path) {
    return Push(Act(Action::Kind::PickFile, 0, 0, 0, std::move(path)));
}
HeadlessSystem& HeadlessSystem::CancelFile() { return Push(Act(Action::Kind::CancelFile)); }
HeadlessSystem& HeadlessSystem::Then(std::function<void()> inspect) {
    Action a = Act(Action::Kind::Inspect);
    a.inspect = std::move(inspect);
    return Push(std::move(a));
}
HeadlessSystem& HeadlessSystem::Paint() { return Push(Act(Action::Kind::Paint)); }
HeadlessSystem& HeadlessSystem::Keys(std::string chars) {
    for (char c : chars) Push(Act(Action::Kind::Char, 0, static_cast<unsigned char>(c)));
    return *this;
}

HeadlessWindow* HeadlessSystem::Top() const {
    for (auto it = frames_.rbegin(); it != frames_.rend(); ++it)
        if ((*it)->kind == FrameKind::Dialog) return (*it)->window;
    return windows_.empty() ? nullptr : windows_.back();
}

int HeadlessSystem::OpenMessageBoxes() const {
    return static_cast<int>(std::count_if(frames_.begin(), frames_.end(),
                                          [](Frame* f) { return f->kind == FrameKind::Box; }));
}

void HeadlessSystem::Problem(std::string what) { problems_.push_back(std::move(what)); }

std::unique_ptr<port::Window> HeadlessSystem::Create(const res::DialogTemplate& tmpl,
                                                     port::Window* owner,
                                                     port::WindowEvents& events) {
    return std::make_unique<HeadlessWindow>(*this, tmpl, owner, events);
}

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

int HeadlessSystem::SystemMetric(int index) const {
    if (index == SM_CXICON) return iconCx_;
    if (index == SM_CYICON) return iconCy_;
    return 0;
}

bool HeadlessSystem::OpenHelp(const std::string& path) {
    helpRequests_.push_back(path);
    return true;
}

void HeadlessSystem::PlayWave(const uint8_t* data, size_t size) {
    const bool afresh = std::exchange(afresh_, false);
    const std::optional<int> plannedGap = std::exchange(plannedGap_, std::nullopt);
    auto duration = WaveDurationMs(data, size);
    if (!duration) return;  // nothing can be played
    int pressed = 0;
    if (HeadlessWindow* top = Top())
        for (const auto& [id, c] : top->controls_)
            if (c.pressed) pressed = id;
    sounds_.push_back({now_, *duration, std::vector<uint8_t>(data, data + size), pressed, afresh, plannedGap});
    now_ += *duration;
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

bool HeadlessSystem::Step(Frame& frame) {
    WatchClock();
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

void HeadlessSystem::Apply(Frame& frame, Action& a) {
    using K = Action::Kind;
    switch (a.kind) {
        case K::Wait: waitUntil_ = now_ + a.value; return;
        case K::WaitUntil: waitUntil_ = std::max(now_, a.at); return;
        case K::Inspect: a.inspect(); return;
        default: break;
    }
    switch (frame.kind) {
        case FrameKind::Dialog: ApplyToDialog(*frame.window, a); return;
        case FrameKind::Box:
            if (a.kind == K::Answer) {
                const UINT type = frame.style & MB_TYPEMASK;
                // A Yes/No box closed by Esc or its close box may come back as
                // Cancel on some platforms; the program must take that as No.
                bool valid = type == MB_YESNO         ? (a.value == IDYES || a.value == IDNO ||
                                                         a.value == IDCANCEL)
                             : type == MB_YESNOCANCEL ? (a.value == IDYES || a.value == IDNO ||
                                                         a.value == IDCANCEL)
                                                      : a.value == IDOK;
                if (!valid) Problem("answer " + std::to_string(a.value) + " is not a button of the box");
                frame.result = a.value;
                frame.done = true;
                return;
            }
            break;
        case FrameKind::File:
            if (a.kind == K::PickFile || a.kind == K::CancelFile) {
                if (a.kind == K::PickFile) frame.path = a.text;
                frame.done = true;
                return;
            }
            break;
    }
    Problem("action " + std::to_string(static_cast<int>(a.kind)) +
            " cannot be taken by the open " +
            (frame.kind == FrameKind::Box ? "message box" : "file dialog"));
}

void HeadlessSystem::ApplyToDialog(HeadlessWindow& w, Action& a) {
    using K = Action::Kind;
    port::WindowEvents& ev = w.Events();
    switch (a.kind) {
        case K::Click: {
            ControlState* c = w.Find(a.id);
            if (!c || !c->Visible() || !c->enabled) {
                Problem("cannot click control " + std::to_string(a.id));
                return;
            }
            if (c->kind == res::ControlKind::RadioButton) {
                // Automatic radio buttons check themselves and clear their group.
                for (int member : res::RadioGroupOf(w.Template(), a.id))
                    w.Find(member)->checked = member == a.id;
            }
            // A click gives the control the focus; buttons then notify the window.
            w.SetFocus(a.id);
            if (c->kind == res::ControlKind::PushButton || c->kind == res::ControlKind::RadioButton)
                ev.OnCommandEvent(a.id, BN_CLICKED);
            if (c->kind == res::ControlKind::Edit) ev.OnFieldClickEvent(a.id);
            return;
        }
        case K::PressKey:
            switch (static_cast<Key>(a.value)) {
                case Key::Enter: {
                    const ControlState* f = w.focus_ ? w.Find(w.focus_) : nullptr;
                    ev.OnCommandEvent(f && IsPushButton(*f) ? w.focus_ : IDOK, BN_CLICKED);
                    return;
                }
                case Key::Space: {
                    const ControlState* f = w.focus_ ? w.Find(w.focus_) : nullptr;
                    if (f && IsPushButton(*f)) ev.OnCommandEvent(w.focus_, BN_CLICKED);
                    return;
                }
                case Key::Escape: ev.OnCommandEvent(IDCANCEL, BN_CLICKED); return;
                case Key::AltF4: ev.OnSysCommandEvent(SC_CLOSE, 0); return;
                // Taken by the window or else by the focused control, which
                // here edits nothing: the fields a script types into are set whole.
                case Key::Backspace: ev.OnEditKeyEvent(port::EditKey::Backspace); return;
                case Key::Delete: ev.OnEditKeyEvent(port::EditKey::Delete); return;
                case Key::CtrlV:
                case Key::ShiftInsert: ev.OnEditKeyEvent(port::EditKey::Paste); return;
                case Key::CtrlC: ev.OnEditKeyEvent(port::EditKey::Copy); return;
                case Key::Tab: {
                    // A checked radio button is a tab stop too.
                    std::vector<int> stops;
                    for (const auto& t : w.Template().controls)
                        if (t.id > 0 && (t.style & WS_VISIBLE) &&
                            ((t.style & WS_TABSTOP) ||
                             (t.kind == res::ControlKind::RadioButton && w.Control(t.id).checked)))
                            stops.push_back(t.id);
                    if (stops.empty()) return;
                    auto it = std::find(stops.begin(), stops.end(), w.focus_);
                    w.focus_ = (it == stops.end() || std::next(it) == stops.end()) ? stops.front()
                                                                                   : *std::next(it);
                    return;
                }
            }
            return;
        case K::SysCommand: ev.OnSysCommandEvent(static_cast<UINT>(a.value), 0); return;
        case K::Scroll: {
            ControlState* c = w.Find(a.id);
            if (!c) {
                Problem("no slider");
                return;
            }
            c->sliderPos = std::clamp(a.pos, c->sliderMin, c->sliderMax);
            w.SetFocus(a.id);
            ev.OnVScrollEvent(static_cast<UINT>(a.value), c->sliderPos);
            return;
        }
        case K::Wheel: {
            const ControlState* c = w.Find(a.id);
            // A slider takes the wheel itself; over anything else the window may.
            if (c && c->kind == res::ControlKind::Slider)
                w.SliderWheel(a.id, a.value);
            else
                ev.OnMouseWheelEvent(c ? a.id : 0, a.value);
            return;
        }
        case K::Focus: w.SetFocus(a.id); return;
        case K::Type: {
            ControlState* c = w.Find(a.id);
            if (!c || c->kind != res::ControlKind::Edit || (c->style & ES_READONLY)) {
                Problem("cannot type into control " + std::to_string(a.id));
                return;
            }
            w.SetFocus(a.id);
            c->text = c->limit > 0 ? CutUtf8(a.text, size_t(c->limit)) : a.text;
            return;
        }
        case K::Paint: ev.OnPaintEvent(); return;
        case K::Char: ev.OnCharEvent(static_cast<char>(a.value)); return;
        default:
            Problem("action " + std::to_string(static_cast<int>(a.kind)) +
                    " cannot be taken by a dialog");
            return;
    }
}

}  // namespace headless
