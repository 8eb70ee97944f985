// Windows only: built into the cross-compiled test program and run under Wine
// (with an X display: the dialogs are real windows).
#ifdef _WIN32

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "framework/ports.h"
#include "platform/win32/win32_window_system.h"
#include "platform/win32/win32_window.h"
#include "resources/resource_ids.h"

#include <commctrl.h>

namespace platform {
namespace {

constexpr UINT kScriptTimer = 7;

// Records what the window reports; `step` runs at each tick of the script timer.
struct Recorder : port::WindowEvents {
    std::vector<std::string> log;
    std::function<void()> step;
    std::function<void(int)> onCommand;
    std::function<void(UINT)> onSysCommand;
    std::function<void()> onPaint;
    int ticks = 0;

    void OnCommandEvent(int id, UINT code) override {
        log.push_back("command " + std::to_string(id) + " " + std::to_string(code));
        if (onCommand) onCommand(id);
    }
    void OnTimerEvent(UINT id) override {
        if (id == kScriptTimer) {
            ++ticks;
            if (step) step();
            return;
        }
        log.push_back("timer " + std::to_string(id));
    }
    void OnSysCommandEvent(UINT cmd, long) override {
        log.push_back("syscommand " + std::to_string(cmd));
        if (onSysCommand) onSysCommand(cmd);
    }
    void OnVScrollEvent(UINT code, int pos) override {
        log.push_back("vscroll " + std::to_string(code) + " " + std::to_string(pos));
    }
    void OnPaintEvent() override {
        if (onPaint) onPaint();
    }
    // Digits are taken; every editing key is.
    bool OnCharEvent(char c) override {
        log.push_back(std::string("char ") + c);
        return c >= '0' && c <= '9';
    }
    bool OnEditKeyEvent(port::EditKey key) override {
        log.push_back("edit " + std::to_string(int(key)));
        return true;
    }
    void OnFieldClickEvent(int id) override { log.push_back("field " + std::to_string(id)); }
    std::function<bool(int, int)> onWheel;
    bool OnMouseWheelEvent(int id, int delta) override {
        log.push_back("wheel " + std::to_string(id) + " " + std::to_string(delta));
        return onWheel && onWheel(id, delta);
    }
};

const res::DialogTemplate& Dialer() { return *res::FindDialogTemplate(res::IDD_DIALER); }

HWND HandleOf(port::Window& w) { return dynamic_cast<Win32Window&>(w).Handle(); }

std::wstring ClassOf(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return name;
}

TEST(Win32Window, TheDialerTemplateBecomesItsControlsAtTheirDialogUnitRectangles) {
    Win32WindowSystem system;
    Recorder events;
    auto window = system.Create(Dialer(), nullptr, events);
    ASSERT_TRUE(window);
    const HWND dlg = HandleOf(*window);
    EXPECT_FALSE(IsWindowVisible(dlg));  // until its run starts
    wchar_t caption[32] = {};
    GetWindowTextW(dlg, caption, 32);
    EXPECT_STREQ(caption, L"Vantrel");

    int addressed = 0;
    for (const res::ControlTemplate& c : Dialer().controls) {
        if (c.id < 0) continue;
        SCOPED_TRACE(c.id);
        const HWND item = GetDlgItem(dlg, c.id);
        ASSERT_TRUE(item);
        ++addressed;
        const std::wstring cls = ClassOf(item);
        const wchar_t* expectedClass = c.kind == res::ControlKind::Edit     ? L"Edit"
                                       : c.kind == res::ControlKind::Slider ? TRACKBAR_CLASSW
                                                                            : L"Button";
        EXPECT_EQ(_wcsicmp(cls.c_str(), expectedClass), 0) << c.id;
        // Position and size are each converted from dialog units, as the dialog manager does.
        RECT expected{c.x, c.y, c.cx, c.cy};
        MapDialogRect(dlg, &expected);
        RECT actual{};
        GetWindowRect(item, &actual);
        MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(actual.left, expected.left);
        EXPECT_EQ(actual.top, expected.top);
        EXPECT_EQ(actual.right - actual.left, expected.right);
        EXPECT_EQ(actual.bottom - actual.top, expected.bottom);
        EXPECT_EQ((GetWindowLongW(item, GWL_STYLE) & WS_VISIBLE) != 0, (c.style & WS_VISIBLE) != 0);
    }
    EXPECT_EQ(addressed, 51);
    // The hidden "ESC" button exists but never shows.
    EXPECT_FALSE(GetWindowLongW(GetDlgItem(dlg, IDCANCEL), GWL_STYLE) & WS_VISIBLE);
}

TEST(Win32Window, ControlsCarryUtf8TextChecksSliderAndLimits) {
    Win32WindowSystem system;
    Recorder events;
    auto window = system.Create(Dialer(), nullptr, events);
    ASSERT_TRUE(window);
    const HWND dlg = HandleOf(*window);

    const std::string japanese = "ﾀﾞｲｱﾙ 電話 0123";
    window->SetText(1015, japanese);
    EXPECT_EQ(window->Text(1015), japanese);
    wchar_t wide[32] = {};
    GetDlgItemTextW(dlg, 1015, wide, 32);
    EXPECT_STREQ(wide, L"\uFF80\uFF9E\uFF72\uFF71\uFF99 \u96FB\u8A71 0123");
    window->SetText(1015, "");
    EXPECT_EQ(window->Text(1015), "");
    EXPECT_EQ(window->Text(4242), "");  // no such control

    // Bytes that are not UTF-8 (a legacy code page row) come back as they went
    // in, also around text the user changed.
    const std::string legacy = std::string(100, '\xB1') + "\x82\xA0";
    window->SetText(1026, legacy);
    EXPECT_EQ(window->Text(1026), legacy);
    window->SetText(1015, "AT\xB1");
    wchar_t shown[8] = {};
    GetDlgItemTextW(dlg, 1015, shown, 8);
    SetDlgItemTextW(dlg, 1015, (std::wstring(shown) + L"Z").c_str());
    EXPECT_EQ(window->Text(1015), "AT\xB1Z");

    // One button at a time, as the check message does: the group is the program's.
    window->SetChecked(1051, true);
    window->SetChecked(1053, true);
    EXPECT_TRUE(window->Checked(1051));
    EXPECT_TRUE(window->Checked(1053));
    window->SetChecked(1051, false);
    EXPECT_FALSE(window->Checked(1051));
    EXPECT_FALSE(window->Checked(1015));  // not a button

    window->SliderSetRangeMax(1091, 95, false);
    window->SliderSetPageSize(1091, 5);
    EXPECT_EQ(SendDlgItemMessageW(dlg, 1091, TBM_GETRANGEMAX, 0, 0), 95);
    EXPECT_EQ(SendDlgItemMessageW(dlg, 1091, TBM_GETPAGESIZE, 0, 0), 5);
    EXPECT_EQ(window->SliderPos(1091), 0);
    window->SliderSetPos(1091, 40, true);
    EXPECT_EQ(window->SliderPos(1091), 40);
    window->SliderSetPos(1091, 400, true);
    EXPECT_EQ(window->SliderPos(1091), 95);  // clamped to the range

    window->LimitText(1015, 255);
    EXPECT_EQ(SendDlgItemMessageW(dlg, 1015, EM_GETLIMITTEXT, 0, 0), 255);

    // Setting texts and checks reports nothing to the program.
    EXPECT_TRUE(events.log.empty());
}

TEST(Win32Window, TheDialFieldShowsASelectionWithoutTheFocusAndTheCaptionChanges) {
    Win32WindowSystem system;
    Recorder events;
    auto window = system.Create(Dialer(), nullptr, events);
    ASSERT_TRUE(window);
    const HWND dlg = HandleOf(*window);
    const HWND field = GetDlgItem(dlg, 1015);
    EXPECT_NE(GetWindowLongW(field, GWL_STYLE) & ES_NOHIDESEL, 0);

    // Byte offsets of the program's text: "電" is three bytes and one unit.
    window->SetText(1015, "\xE9\x9B\xBB" "12,3");
    window->SetFocus(1019);
    window->SelectText(1015, 0, 5);
    DWORD from = 1, to = 0;
    SendMessageW(field, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    EXPECT_EQ(from, 0u);
    EXPECT_EQ(to, 3u);
    window->SelectText(1015, 0, 0);
    SendMessageW(field, EM_GETSEL, reinterpret_cast<WPARAM>(&from), reinterpret_cast<LPARAM>(&to));
    EXPECT_EQ(to, from);

    window->SetCaption("Vantrel - line up: CONNECT 9600 (Stop hangs up)");
    wchar_t caption[64] = {};
    GetWindowTextW(dlg, caption, 64);
    EXPECT_STREQ(caption, L"Vantrel - line up: CONNECT 9600 (Stop hangs up)");
}

TEST(Win32Window, SystemMenuItemsIconsAndTheDragIcon) {
    Win32WindowSystem system;
    Recorder events;
    auto window = system.Create(Dialer(), nullptr, events);
    ASSERT_TRUE(window);
    const HWND dlg = HandleOf(*window);
    const HMENU menu = GetSystemMenu(dlg, FALSE);
    const int before = GetMenuItemCount(menu);
    window->AppendSystemMenuSeparator();
    window->AppendSystemMenuItem(16, "ﾊﾞｰｼﾞｮﾝ情報(Vantrel) (&A)...");
    ASSERT_EQ(GetMenuItemCount(menu), before + 2);
    EXPECT_TRUE(GetMenuState(menu, before, MF_BYPOSITION) & MF_SEPARATOR);
    EXPECT_EQ(GetMenuItemID(menu, before + 1), 16u);
    wchar_t text[64] = {};
    GetMenuStringW(menu, 16, text, 64, MF_BYCOMMAND);
    EXPECT_STREQ(text, L"\uFF8A\uFF9E\uFF70\uFF7C\uFF9E\uFF6E\uFF9D\u60C5\u5831(Vantrel) (&A)...");

    // The program's icon comes from its own resources.
    window->SetIcon(res::IDR_MAINFRAME, true);
    window->SetIcon(res::IDR_MAINFRAME, false);
    const auto big = SendMessageW(dlg, WM_GETICON, ICON_BIG, 0);
    EXPECT_NE(big, 0);
    EXPECT_NE(SendMessageW(dlg, WM_GETICON, ICON_SMALL, 0), 0);
    EXPECT_EQ(SendMessageW(dlg, WM_QUERYDRAGICON, 0, 0), big);
}

TEST(Win32Window, TheCheckedRadioButtonOfEachGroupIsItsTabStop) {
    Win32WindowSystem system;
    Recorder events;
    auto window = system.Create(Dialer(), nullptr, events);
    ASSERT_TRUE(window);
    const HWND dlg = HandleOf(*window);
    auto next = [&](int id) { return GetDlgCtrlID(GetNextDlgTabItem(dlg, GetDlgItem(dlg, id), FALSE)); };
    // No radio button is checked yet: Tab goes from button to button.
    EXPECT_EQ(next(1058), 1057);
    EXPECT_EQ(next(1060), 1024);
    window->SetChecked(1053, true);
    window->SetChecked(1066, true);
    EXPECT_EQ(next(1058), 1053);
    EXPECT_EQ(next(1053), 1057);
    EXPECT_EQ(next(1060), 1066);
    // The stop moves with the check.
    window->SetChecked(1053, false);
    window->SetChecked(1051, true);
    EXPECT_EQ(next(1058), 1051);
}

TEST(Win32Window, DialogKeysTimerScrollAndCloseReachTheProgramInOrder) {
    Win32WindowSystem system;
    Recorder events;
    auto window = system.Create(Dialer(), nullptr, events);
    ASSERT_TRUE(window);
    const HWND dlg = HandleOf(*window);
    window->SliderSetRangeMax(1091, 95, false);
    // Asked for before the window shows: kept and placed when it does.
    window->SetFocus(1000);
    EXPECT_EQ(window->FocusId(), 1000);
    window->SetFocus(IDCANCEL);  // hidden: refused
    EXPECT_EQ(window->FocusId(), 1000);

    auto press = [](UINT vk) { PostMessageW(GetFocus(), WM_KEYDOWN, vk, 1); };
    std::vector<int> focusSeen;
    int stage = 0;
    events.step = [&] {
        switch (stage++) {
        case 0:
            focusSeen.push_back(window->FocusId());
            press(VK_RETURN);  // a focused push button takes Enter for itself
            break;
        case 1:
            press(VK_ESCAPE);  // Esc means IDCANCEL, whatever has the focus
            break;
        case 2:
            window->SetFocus(1091);
            focusSeen.push_back(window->FocusId());
            press(VK_DOWN);  // the slider moves one line and says so
            break;
        case 3:
            press(VK_RETURN);  // no default button: Enter elsewhere means IDOK
            break;
        case 4:
            window->SetTimer(3, 10);
            break;
        case 6:
            window->KillTimer(3);
            PostMessageW(dlg, WM_SYSCOMMAND, SC_CLOSE, 0);
            break;
        default:
            break;
        }
    };
    events.onSysCommand = [&](UINT cmd) { window->DefaultSysCommand(cmd, 0); };
    events.onCommand = [&](int id) {
        // The Close command's own IDCANCEL ends the run.
        if (id == IDCANCEL && stage > 6) system.EndModal(*window, 42);
    };
    ASSERT_TRUE(window->SetTimer(kScriptTimer, 20));
    EXPECT_EQ(system.RunModal(*window), 42);
    EXPECT_FALSE(IsWindowVisible(dlg));

    EXPECT_EQ(focusSeen, (std::vector<int>{1000, 1091}));
    // Timer 3 fired at least once between its arming and its end.
    std::vector<std::string> log;
    bool timerSeen = false;
    for (const std::string& e : events.log) {
        if (e == "timer 3") {
            timerSeen = true;
            continue;
        }
        log.push_back(e);
    }
    EXPECT_TRUE(timerSeen);
    EXPECT_EQ(log, (std::vector<std::string>{"command 1000 0", "command 2 0", "vscroll 1 1",
                                             "command 1 0", "syscommand 61536", "command 2 0"}));
}

TEST(Win32Window, TypedCharactersAndEditingKeysGoToTheProgramFirst) {
    Win32WindowSystem system;
    Recorder events;
    auto window = system.Create(Dialer(), nullptr, events);
    ASSERT_TRUE(window);
    window->SetFocus(1000);
    // Modifier keys as the thread sees them when the key's message is handled.
    auto hold = [](std::initializer_list<int> keys) {
        BYTE state[256] = {};
        for (int vk : keys) state[vk] = 0x80;
        SetKeyboardState(state);
    };
    auto post = [](UINT msg, WPARAM wParam) { PostMessageW(GetFocus(), msg, wParam, 1); };
    int stage = 0;
    events.step = [&] {
        switch (stage++) {
        case 0:
            post(WM_CHAR, '5');
            post(WM_CHAR, 'x');  // not taken: the button has it, and does nothing
            post(WM_CHAR, ' ');  // the space is the focused button's, as ever
            post(WM_KEYDOWN, VK_BACK);
            post(WM_KEYDOWN, VK_DELETE);
            post(WM_KEYDOWN, 'V');  // without Ctrl, at most the letter it types
            break;
        case 1:
            hold({VK_CONTROL});
            post(WM_KEYDOWN, 'V');
            post(WM_KEYDOWN, 'C');
            break;
        case 2:
            hold({VK_SHIFT});
            post(WM_KEYDOWN, VK_INSERT);
            break;
        case 3:
            hold({});
            system.EndModal(*window, 1);
            break;
        default:
            break;
        }
    };
    ASSERT_TRUE(window->SetTimer(kScriptTimer, 20));
    EXPECT_EQ(system.RunModal(*window), 1);
    std::vector<std::string> log;
    for (const std::string& e : events.log)
        if (e != "char v" && e != "char V") log.push_back(e);
    EXPECT_EQ(log, (std::vector<std::string>{"char 5", "char x", "edit 0", "edit 1", "edit 2",
                                             "edit 3", "edit 2"}));

    // A key's button is shown pressed while the program holds it down.
    const HWND five = GetDlgItem(HandleOf(*window), 1004);
    window->ShowPressed(1004, true);
    EXPECT_TRUE(SendMessageW(five, BM_GETSTATE, 0, 0) & BST_PUSHED);
    window->ShowPressed(1004, false);
    EXPECT_FALSE(SendMessageW(five, BM_GETSTATE, 0, 0) & BST_PUSHED);

    // The clipboard carries UTF-8 text both ways.
    const std::string text = "+81 3-1234-5678 \xE2\x98\x8E";
    system.SetClipboardText(text);
    EXPECT_EQ(system.ClipboardText(), text);
}

TEST(Win32Window, TheWheelOverAControlAndAClickIntoAFieldReachTheProgram) {
    Win32WindowSystem system;
    Recorder events;
    auto window = system.Create(Dialer(), nullptr, events);
    ASSERT_TRUE(window);
    const HWND dlg = HandleOf(*window);
    window->SliderSetRangeMax(1091, 95, false);
    window->SliderSetPageSize(1091, 5);
    window->SetFocus(1000);
    // The window takes the wheel over the rows by turning the slider.
    events.onWheel = [&](int id, int delta) {
        if (id < 1026 || id > 1030) return false;
        window->SliderWheel(1091, delta);
        return true;
    };
    auto centre = [&](int id) {
        RECT r{};
        GetWindowRect(GetDlgItem(dlg, id), &r);
        return POINT{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    };
    // Wherever the pointer is, the message goes to the control with the focus.
    auto wheel = [&](int over, int delta) {
        const POINT at = centre(over);
        PostMessageW(GetFocus(), WM_MOUSEWHEEL, MAKEWPARAM(0, WORD(short(delta))), MAKELPARAM(at.x, at.y));
    };
    std::vector<int> positions;
    int stage = 0;
    events.step = [&] {
        positions.push_back(window->SliderPos(1091));
        switch (stage++) {
        case 0: wheel(1028, -WHEEL_DELTA); break;  // over an entry: the slider turns
        case 1: wheel(1091, -WHEEL_DELTA); break;  // over the slider itself: it turns by itself
        case 2: wheel(1015, -WHEEL_DELTA); break;  // offered, not taken: nothing moves
        case 3: {
            const POINT at = centre(1029);
            POINT client = at;
            ScreenToClient(GetDlgItem(dlg, 1029), &client);
            PostMessageW(GetDlgItem(dlg, 1029), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(client.x, client.y));
            PostMessageW(GetDlgItem(dlg, 1029), WM_LBUTTONUP, 0, MAKELPARAM(client.x, client.y));
            break;
        }
        case 4:
            EXPECT_EQ(window->FocusId(), 1029);
            system.EndModal(*window, 1);
            break;
        default: break;
        }
    };
    ASSERT_TRUE(window->SetTimer(kScriptTimer, 30));
    EXPECT_EQ(system.RunModal(*window), 1);
    ASSERT_GE(positions.size(), 4u);
    const int step = positions[1] - positions[0];
    EXPECT_GT(step, 0);  // towards the user: down the list
    EXPECT_EQ(positions[2] - positions[1], step);  // as far as over the slider
    EXPECT_EQ(positions[3], positions[2]);
    std::vector<std::string> offered;
    for (const std::string& e : events.log)
        if (e.rfind("wheel", 0) == 0 || e.rfind("field", 0) == 0) offered.push_back(e);
    EXPECT_EQ(offered, (std::vector<std::string>{"wheel 1028 -120", "wheel 1015 -120", "field 1029"}));
}

TEST(Win32Window, FileDialogsStartInTheUsersDocumentsFolder) {
    Win32WindowSystem system;
    const std::string documents = system.DocumentsFolder();
    ASSERT_FALSE(documents.empty());
    const DWORD attributes = GetFileAttributesA(documents.c_str());
    EXPECT_NE(attributes, INVALID_FILE_ATTRIBUTES) << documents;
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY) << documents;
}

TEST(Win32Window, NestedRunDisablesItsOwnerWhoseTimersGoOn) {
    Win32WindowSystem system;
    Recorder outerEvents;
    Recorder innerEvents;
    auto outer = system.Create(Dialer(), nullptr, outerEvents);
    ASSERT_TRUE(outer);
    auto inner = system.Create(*res::FindDialogTemplate(res::IDD_ABOUTBOX), outer.get(), innerEvents);
    ASSERT_TRUE(inner);
    const HWND outerHwnd = HandleOf(*outer);
    const HWND innerHwnd = HandleOf(*inner);
    EXPECT_EQ(GetWindow(innerHwnd, GW_OWNER), outerHwnd);

    int innerResult = 0;
    int outerTicksDuringInner = 0;
    bool ownerDisabledDuringInner = false;
    bool ownerEnabledAfter = false;
    bool innerRunning = false;
    outerEvents.step = [&] {
        if (innerRunning) {
            ownerDisabledDuringInner = !IsWindowEnabled(outerHwnd);
            if (++outerTicksDuringInner == 3) system.EndModal(*inner, IDOK);
            return;
        }
        if (outerEvents.ticks == 1) {
            innerRunning = true;
            innerResult = system.RunModal(*inner);
            innerRunning = false;
            ownerEnabledAfter = IsWindowEnabled(outerHwnd) != 0;
            system.EndModal(*outer, IDCANCEL);
        }
    };
    ASSERT_TRUE(outer->SetTimer(kScriptTimer, 15));
    EXPECT_EQ(system.RunModal(*outer), IDCANCEL);
    EXPECT_EQ(innerResult, IDOK);
    EXPECT_EQ(outerTicksDuringInner, 3);
    EXPECT_TRUE(ownerDisabledDuringInner);
    EXPECT_TRUE(ownerEnabledAfter);
}

TEST(Win32Window, PaintingHappensInsideThePaintEventOnly) {
    Win32WindowSystem system;
    Recorder events;
    auto window = system.Create(*res::FindDialogTemplate(res::IDD_ABOUTBOX), nullptr, events);
    ASSERT_TRUE(window);
    const HWND dlg = HandleOf(*window);
    ShowWindow(dlg, SW_SHOWNA);
    UpdateWindow(dlg);

    const int cx = system.SystemMetric(SM_CXICON);
    EXPECT_EQ(cx, GetSystemMetrics(SM_CXICON));
    const port::Rect client = window->ClientRect();
    EXPECT_GT(client.Width(), cx);
    // The icon is drawn over the dialog's face in the paint event's own context.
    int paints = 0;
    events.onPaint = [&] {
        ++paints;
        window->EraseIconBackground();
        window->DrawIcon(0, 0, res::IDR_MAINFRAME);
    };
    RedrawWindow(dlg, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    EXPECT_GE(paints, 1);
    // Nothing has been left to paint.
    EXPECT_FALSE(GetUpdateRect(dlg, nullptr, FALSE));
    // Outside a paint event, drawing does nothing and does not fail.
    window->DrawIcon(0, 0, res::IDR_MAINFRAME);
    window->EraseIconBackground();
    EXPECT_FALSE(window->IsIconic());
}

}  // namespace
}  // namespace platform

#endif  // _WIN32
