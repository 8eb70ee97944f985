#pragma once
// One dialog window of the headless backend: its controls as plain state that
// a test reads back, and what the program did to its frame.

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "framework/ports.h"

namespace headless {

class HeadlessSystem;

struct ControlState {
    res::ControlKind kind;
    uint32_t style;
    std::string text;
    bool checked = false;
    int limit = 0;  // 0: no limit
    int sliderMin = 0, sliderMax = 100, sliderPage = 10, sliderPos = 0;
    bool enabled = true;
    bool pressed = false;  // a push button shown held down
    int selStart = 0, selEnd = 0;  // an edit's text shown selected, in bytes
    std::string toolTip{};
    bool Visible() const { return (style & WS_VISIBLE) != 0; }
    bool IsPushButton() const { return kind == res::ControlKind::PushButton; }
};

struct TimerState {
    UINT interval;
    int64_t due;
};

class HeadlessWindow : public port::Window {
public:
    HeadlessWindow(HeadlessSystem& system, const res::DialogTemplate& tmpl, port::Window* owner,
                   port::WindowEvents& events);
    ~HeadlessWindow() override;

    std::string Text(int id) const override;
    void SetText(int id, std::string_view text) override;
    bool Checked(int id) const override;
    void SetChecked(int id, bool checked) override;
    void LimitText(int id, int bytes) override;
    int FocusId() const override { return focus_; }
    void SetFocus(int id) override;
    void SelectAll(int id) override;
    void SelectText(int id, int start, int end) override;
    void SetToolTip(int id, std::string_view text) override;
    void SliderSetRangeMax(int id, int max, bool redraw) override;
    void SliderSetPageSize(int id, int size) override;
    int SliderPos(int id) const override;
    void SliderSetPos(int id, int pos, bool redraw) override;
    void SliderWheel(int id, int delta) override;
    bool SetTimer(UINT id, UINT ms) override;
    bool KillTimer(UINT id) override;
    void AppendSystemMenuSeparator() override;
    void AppendSystemMenuItem(UINT cmd, std::string_view text) override;
    void SetIcon(int iconId, bool big) override;
    void SetCaption(std::string_view text) override { caption_ = std::string(text); }
    void DefaultSysCommand(UINT cmd, long param) override;
    bool IsIconic() const override { return iconic_; }
    port::Rect ClientRect() const override { return {0, 0, clientWidth_, clientHeight_}; }
    void EraseIconBackground() override { ++iconBackgroundErases_; }
    void DrawIcon(int x, int y, int iconId) override;
    void PostCommand(int id) override { posted.push_back(id); }
    void BringToFront() override { ++broughtToFront; }
    void ShowPressed(int id, bool pressed) override;

    // What a test can look at.
    const res::DialogTemplate& Template() const { return tmpl_; }
    const ControlState& Control(int id) const;
    bool HasControl(int id) const { return controls_.count(id) != 0; }
    int SelectedAllOf() const { return selectAllId_; }
    const std::string& Caption() const { return caption_; }
    struct MenuItem {
        bool separator;
        UINT cmd;
        std::string text;
    };
    const std::vector<MenuItem>& SystemMenu() const { return systemMenu_; }
    std::map<bool, int> icons;  // big -> icon id
    struct DrawnIcon {
        int x, y, icon;
    };
    std::vector<DrawnIcon> drawnIcons;
    int IconBackgroundErases() const { return iconBackgroundErases_; }
    void SetClientSize(int w, int h) {
        clientWidth_ = w;
        clientHeight_ = h;
    }
    port::Window* Owner() const { return owner_; }
    port::WindowEvents& Events() { return events_; }

    bool ended = false;
    int result = -1;
    std::map<UINT, TimerState> timers;
    bool enabled = true;
    std::deque<int> posted;  // clicks queued by PostCommand, delivered before timers and the script
    int broughtToFront = 0;

private:
    friend class HeadlessSystem;
    ControlState* Find(int id);
    HeadlessSystem& system_;
    const res::DialogTemplate& tmpl_;
    port::Window* owner_;
    port::WindowEvents& events_;
    std::map<int, ControlState> controls_;
    int focus_ = 0;
    int selectAllId_ = 0;
    std::vector<MenuItem> systemMenu_;
    bool iconic_ = false;
    int clientWidth_, clientHeight_;
    int iconBackgroundErases_ = 0;
    std::string caption_;
};

}  // namespace headless
