// A headless window's controls as plain state, and what the program does to its frame.
#include "platform/headless/headless_window.h"

#include <algorithm>

#include "platform/headless/headless.h"

namespace headless {
namespace {

constexpr int kHorizontalBase = 7;  // pixels per 4 dialog units
constexpr int kVerticalBase = 14;   // pixels per 8 dialog units

}  // namespace

HeadlessWindow::HeadlessWindow(HeadlessSystem& system, const res::DialogTemplate& tmpl,
                               port::Window* owner, port::WindowEvents& events)
    : system_(system),
      tmpl_(tmpl),
      owner_(owner),
      events_(events),
      clientWidth_(tmpl.cx * kHorizontalBase / 4),
      clientHeight_(tmpl.cy * kVerticalBase / 8),
      caption_(tmpl.caption) {
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
    // As an edit set afresh, it shows nothing selected.
    if (ControlState* c = Find(id)) {
        c->text = std::string(text);
        c->selStart = c->selEnd = 0;
    }
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

void HeadlessWindow::SelectText(int id, int start, int end) {
    ControlState* c = Find(id);
    if (!c || c->kind != res::ControlKind::Edit) return;
    const int size = static_cast<int>(c->text.size());
    c->selStart = std::clamp(start, 0, size);
    c->selEnd = std::clamp(end, c->selStart, size);
}

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
    if (ControlState* c = Find(id); c && c->IsPushButton()) c->pressed = pressed;
}


}  // namespace headless
