// The scripted user: the actions a test queues, and what each does to the
// window, box or file dialog whose loop takes it.
#include <algorithm>
#include <string>
#include <utility>

#include "framework/byte_text.h"
#include "framework/edit_limit.h"
#include "platform/headless/headless.h"

namespace headless {
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

// What a field keeps of a text typed into it whole, as framework/edit_limit.h says.
std::string TypedWithinLimit(std::string_view text, int limit) {
    const std::u16string typed = fw::BytesToUtf16(text);
    return fw::Utf16ToBytes(fw::FitEditToLimit(u"", typed, typed.size(), limit).text);
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
                    ev.OnCommandEvent(f && f->IsPushButton() ? w.focus_ : IDOK, BN_CLICKED);
                    return;
                }
                case Key::Space: {
                    const ControlState* f = w.focus_ ? w.Find(w.focus_) : nullptr;
                    if (f && f->IsPushButton()) ev.OnCommandEvent(w.focus_, BN_CLICKED);
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
            c->text = TypedWithinLimit(a.text, c->limit);
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
