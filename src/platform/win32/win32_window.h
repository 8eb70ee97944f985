#pragma once
// One dialog window of the Win32 backend. Include after the framework's
// headers: the Win32 headers' macros would otherwise rename their constants.

#include "framework/ports.h"

#include <windows.h>
#undef MessageBox

#include <map>
#include <string>
#include <string_view>

namespace platform {

class Win32WindowSystem;

// A window's text as it holds it.
std::wstring WindowText(HWND window);

class Win32Window final : public port::Window {
public:
    Win32Window(HINSTANCE module, port::WindowEvents& events);
    ~Win32Window() override;
    Win32Window(const Win32Window&) = delete;
    Win32Window& operator=(const Win32Window&) = delete;

    // False when the dialog manager could not make the window.
    bool CreateFrom(const res::DialogTemplate& tmpl, HWND owner);
    HWND Handle() const { return hwnd_; }

    std::string Text(int id) const override;
    void SetText(int id, std::string_view text) override;
    bool Checked(int id) const override;
    void SetChecked(int id, bool checked) override;
    void LimitText(int id, int bytes) override;
    int FocusId() const override;
    void SetFocus(int id) override;
    void SelectAll(int id) override;
    void SelectText(int id, int start, int end) override;

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
    void SetCaption(std::string_view text) override;
    void DefaultSysCommand(UINT cmd, long param) override;
    bool IsIconic() const override;
    port::Rect ClientRect() const override;
    void EraseIconBackground() override;
    void DrawIcon(int x, int y, int iconId) override;
    void PostCommand(int id) override;
    void BringToFront() override;
    void ShowPressed(int id, bool pressed) override;

    int RunModal();
    void EndModal(int result);

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT msg, WPARAM wParam, LPARAM lParam);
    HWND Item(int id) const;
    HICON LoadIconResource(int iconId, int size) const;
    // Holds a limited field to its limit after the user changed it.
    void KeepWithinLimit(int id);

    // win32_modal_loop.cpp
    void PlaceBeforeFirstShow(HWND owner);
    // win32_keyboard.cpp
    // Typed characters and editing keys meant for this window, offered to the
    // program before the dialog manager; true when the program took the key.
    bool OfferKeyToProgram(const MSG& msg);
    // The wheel turns the slider under the pointer, or is offered to the
    // program for any other control; true when it was used up.
    bool OfferWheelToProgram(const MSG& msg);
    // The edit field of this window a left click goes to; 0 for none. Edits
    // report no clicks, so the loop tells the program once the field has it.
    int FieldClickedBy(const MSG& msg) const;

    struct TextSet {
        std::string bytes;   // as the program gave them
        std::wstring shown;  // as the control then held them
    };

    HINSTANCE module_;
    port::WindowEvents& events_;
    HWND hwnd_ = nullptr;
    HWND pendingFocus_ = nullptr;  // asked for before the window was shown
    HWND savedFocus_ = nullptr;    // the control that had the focus when the window lost it
    HDC paintDC_ = nullptr;        // only while a paint event runs
    HICON bigIcon_ = nullptr;
    bool running_ = false;
    bool ended_ = false;
    bool shownOnce_ = false;
    int result_ = 0;
    int wheelRemainder_ = 0;  // wheel turned by less than a line, kept for the next turn
    std::map<int, TextSet> setTexts_;
    struct LimitedField {
        int bytes;
        std::wstring last;  // what it held after the last change it took
    };
    std::map<int, LimitedField> limits_;
    bool settingText_ = false;  // a change the program or the limit makes itself
};

}  // namespace platform
