// Windows only, run under Wine with an English locale: every text the program
// shows has its letters in the font its control draws with, and fits.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/ports.h"
#include "platform/win32/win32_dialog_font.h"
#include "platform/win32/win32_text.h"
#include "platform/win32/win32_window_system.h"
#include "platform/win32/win32_window.h"
#include "resources/resource_ids.h"
#include "support/temp_dir.h"

namespace testing_support {
int RunDialerWindow(port::WindowSystem& windows, const std::string& profilePath,
                    const std::string& helpFile);
}

namespace platform {
namespace {

std::wstring WindowText(HWND w) {
    std::wstring text(size_t(GetWindowTextLengthW(w)) + 1, L'\0');
    text.resize(size_t(GetWindowTextW(w, text.data(), int(text.size()))));
    return text;
}

std::wstring ClassOf(HWND w) {
    wchar_t name[64] = {};
    GetClassNameW(w, name, 64);
    return name;
}

// What is wrong with how `control` shows its text, measured in the font the
// control itself draws with; empty when nothing is.
std::string ShowingProblem(HWND control) {
    const std::wstring text = WindowText(control);
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    const std::wstring cls = ClassOf(control);
    const bool isStatic = lstrcmpiW(cls.c_str(), L"Static") == 0;
    if (text.empty() || (isStatic && (style & SS_TYPEMASK) == SS_ICON)) return {};
    const HDC dc = GetDC(control);
    const auto font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    const HGDIOBJ old = SelectObject(dc, font ? font : GetStockObject(SYSTEM_FONT));

    std::string problem;
    std::vector<WORD> glyphs(text.size());
    GetGlyphIndicesW(dc, text.c_str(), int(text.size()), glyphs.data(), GGI_MARK_NONEXISTING_GLYPHS);
    std::wstring missing;
    for (size_t i = 0; i < text.size(); ++i)
        if (glyphs[i] == 0xFFFF && text[i] >= L' ') missing += text[i];
    if (!missing.empty()) problem += "no glyph for \"" + Narrow(missing) + "\"; ";

    RECT client{};
    GetClientRect(control, &client);
    const bool noPrefix = isStatic && (style & SS_NOPREFIX);
    RECT need{0, 0, client.right, 0};
    const bool isLabel = isStatic && (style & SS_TYPEMASK) <= SS_RIGHT;
    if (isLabel) {
        // A label wraps at its width; what does not fit below is cut.
        DrawTextW(dc, text.c_str(), int(text.size()), &need,
                  DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | (noPrefix ? DT_NOPREFIX : 0));
        if (need.right > client.right || need.bottom > client.bottom)
            problem += "text needs " + std::to_string(need.right) + "x" + std::to_string(need.bottom) +
                       " in " + std::to_string(client.right) + "x" + std::to_string(client.bottom) + "; ";
    } else if (lstrcmpiW(cls.c_str(), L"Button") == 0) {
        DrawTextW(dc, text.c_str(), int(text.size()), &need, DT_CALCRECT | DT_SINGLELINE);
        // Room the button's own drawing takes: its edge, or the radio's circle.
        const LONG type = style & BS_TYPEMASK;
        const int taken = type == BS_AUTORADIOBUTTON || type == BS_RADIOBUTTON
                              ? GetSystemMetrics(SM_CXMENUCHECK) + 2
                              : 2 * GetSystemMetrics(SM_CXEDGE);
        if (need.right > client.right - taken)
            problem += "text needs " + std::to_string(need.right) + " of " +
                       std::to_string(client.right - taken) + "; ";
    }
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return problem.empty() ? problem : "\"" + Narrow(text) + "\": " + problem;
}

// The problems of every visible control of the window.
std::vector<std::string> ShowingProblems(HWND window) {
    std::vector<std::string> problems;
    for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (!(GetWindowLongW(c, GWL_STYLE) & WS_VISIBLE)) continue;
        std::string p = ShowingProblem(c);
        if (!p.empty()) problems.push_back(std::move(p));
    }
    return problems;
}

std::wstring FaceOf(HWND window) {
    const HDC dc = GetDC(window);
    const HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)));
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, face);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    // TMPF_FIXED_PITCH is set for a proportional face.
    return std::wstring(face) + ((tm.tmPitchAndFamily & TMPF_FIXED_PITCH) ? L"" : L" (fixed pitch)");
}

struct NoEvents : port::WindowEvents {
    void OnCommandEvent(int, UINT) override {}
    void OnTimerEvent(UINT) override {}
    void OnSysCommandEvent(UINT, long) override {}
    void OnVScrollEvent(UINT, int) override {}
    void OnPaintEvent() override {}
};

TEST(Win32Legibility, EveryDialogShowsItsLabelsInAProportionalFaceThatHasTheirLetters) {
    const std::wstring templateFace = Widen(res::FindDialogTemplate(res::IDD_DIALER)->fontFace);
    const std::wstring face = DialogFaceFor(templateFace);
    Win32WindowSystem system;
    NoEvents events;
    for (int id : {res::IDD_DIALER, res::IDD_OPTION, res::IDD_ABOUTBOX}) {
        SCOPED_TRACE(id);
        auto window = system.Create(*res::FindDialogTemplate(id), nullptr, events);
        ASSERT_TRUE(window);
        const HWND dlg = dynamic_cast<Win32Window&>(*window).Handle();
        // The chosen face is the one the dialog manager gave the window.
        EXPECT_EQ(FaceOf(dlg), face);
        EXPECT_EQ(ShowingProblems(dlg), std::vector<std::string>{});
        // Every control stands where the template puts it, in that face's
        // dialog units; only a label may have grown to the right, into free
        // room, where this face is wider than the one the template was made for.
        HWND c = GetWindow(dlg, GW_CHILD);
        for (const res::ControlTemplate& t : res::FindDialogTemplate(id)->controls) {
            ASSERT_TRUE(c);
            // Position and size, each converted as the dialog manager does.
            RECT want{t.x, t.y, t.cx, t.cy};
            MapDialogRect(dlg, &want);
            RECT got{};
            GetWindowRect(c, &got);
            MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&got), 2);
            if (t.kind != res::ControlKind::Icon) {
                EXPECT_EQ(got.left, want.left) << t.text;
                EXPECT_EQ(got.top, want.top) << t.text;
                if (t.kind == res::ControlKind::Static)
                    EXPECT_GE(got.right - got.left, want.right) << t.text;
                else
                    EXPECT_EQ(got.right - got.left, want.right) << t.text;
            }
            c = GetWindow(c, GW_HWNDNEXT);
        }
    }

    // The system menu's About item is drawn by the window in the same face.
    auto dialer = system.Create(*res::FindDialogTemplate(res::IDD_DIALER), nullptr, events);
    const HWND dlg = dynamic_cast<Win32Window&>(*dialer).Handle();
    dialer->AppendSystemMenuItem(16, res::LoadStringResource(res::IDS_ABOUTBOX));
    const HMENU menu = GetSystemMenu(dlg, FALSE);
    MENUITEMINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_FTYPE;
    ASSERT_TRUE(GetMenuItemInfoW(menu, 16, FALSE, &info));
    EXPECT_TRUE(info.fType & MFT_OWNERDRAW);
    MEASUREITEMSTRUCT measure{ODT_MENU, 0, 16, 0, 0, 0};
    SendMessageW(dlg, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&measure));
    const HWND probe = CreateWindowW(L"Static", Widen(res::LoadStringResource(res::IDS_ABOUTBOX)).c_str(),
                                     WS_CHILD | SS_LEFT, 0, 0, int(measure.itemWidth),
                                     int(measure.itemHeight), dlg, nullptr, nullptr, nullptr);
    SendMessageW(probe, WM_SETFONT, SendMessageW(dlg, WM_GETFONT, 0, 0), FALSE);
    EXPECT_EQ(ShowingProblem(probe), "");
    // Alt+Space, then A chooses it, as its access key says.
    const LRESULT chosen = SendMessageW(dlg, WM_MENUCHAR, MAKEWPARAM(L'a', MF_SYSMENU),
                                        reinterpret_cast<LPARAM>(menu));
    EXPECT_EQ(HIWORD(chosen), MNC_EXECUTE);
    EXPECT_EQ(GetMenuItemID(menu, LOWORD(chosen)), 16u);
}

// ---------------------------------------------------------------- the real program

// A user at the keyboard, one step per timer tick: each visit does something
// in the top window, waits for the window it opens (by its caption), checks
// every control of it, and closes it or leaves it for the next visit.
struct Visit {
    std::string name;
    std::wstring caption;
    std::function<void(HWND top)> open;  // none: the window comes by itself
    std::function<void(HWND opened)> close;
};

BOOL CALLBACK FindTop(HWND w, LPARAM found) {
    if (!IsWindowVisible(w) || !IsWindowEnabled(w) || ClassOf(w) != L"#32770") return TRUE;
    *reinterpret_cast<HWND*>(found) = w;
    return FALSE;
}

// The window the user works in: the modal one, which alone is enabled.
HWND TopDialog() {
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindTop, reinterpret_cast<LPARAM>(&found));
    return found;
}

// A question is answered No, so that nothing keeps the window from closing.
BOOL CALLBACK CloseOne(HWND w, LPARAM) {
    if (!IsWindowVisible(w)) return TRUE;
    if (GetDlgItem(w, IDNO))
        PostMessageW(w, WM_COMMAND, IDNO, 0);
    else
        PostMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0);
    return TRUE;
}

struct Tour {
    std::vector<Visit> visits;
    size_t next = 0;
    bool opened = false;
    int ticks = 0, waited = 0;
    std::vector<std::string> problems;  // "visit: what"

    void Tick() {
        if (++ticks > 1500) {
            // Lost: close whatever is open, so that the test ends and fails.
            EnumThreadWindows(GetCurrentThreadId(), CloseOne, 0);
            return;
        }
        if (next == visits.size()) return;
        Visit& v = visits[next];
        const HWND top = TopDialog();
        if (v.open && !opened) {
            if (!top) return;
            opened = true;
            waited = 0;
            v.open(top);
            return;
        }
        if (!top || WindowText(top) != v.caption) {
            if (++waited < 150) return;
            problems.push_back(v.name + ": no window \"" + Narrow(v.caption) + "\"");
        } else {
            for (const std::string& p : ShowingProblems(top)) problems.push_back(v.name + ": " + p);
            if (v.close) v.close(top);
        }
        opened = false;
        waited = 0;
        ++next;
    }
};

Tour* tour = nullptr;
void CALLBACK TourTimer(HWND, UINT, UINT_PTR, DWORD) {
    if (tour) tour->Tick();
}

// Runs `body` while the tour goes on underneath, in whatever loop is running.
void WithTour(Tour& t, const std::function<void()>& body) {
    tour = &t;
    const UINT_PTR timer = SetTimer(nullptr, 0, 30, TourTimer);
    body();
    KillTimer(nullptr, timer);
    tour = nullptr;
}

void Click(HWND dlg, int id) { PostMessageW(GetDlgItem(dlg, id), BM_CLICK, 0, 0); }
void PressEsc(HWND) { PostMessageW(GetFocus(), WM_KEYDOWN, VK_ESCAPE, 1); }
void CloseBox(HWND w) { PostMessageW(w, WM_SYSCOMMAND, SC_CLOSE, 0); }

TEST(Win32Legibility, TheProgramsWindowsAndBoxesShowEveryLetterAndOnlyYesDeletes) {
    testing_support::TempDir dir;
    const std::string longDial(255, '1');
    // A remembered list file that is gone: its box comes before the window.
    testing_support::WriteFileBytes(dir / "vantrel.ini",
                                    "[Dial]\r\nLastDial=" + longDial +
                                        "\r\nLoadFile=C:\\nowhere\\\xE9\x9B\xBB\xE8\xA9\xB1.vtl\r\n");
    Win32WindowSystem system;

    HWND dialer = nullptr;
    std::vector<std::string> rows;  // row 1 before each click on Delete, and at the end
    auto row = [&] {
        wchar_t text[300] = {};
        GetDlgItemTextW(dialer, 1026, text, 300);
        rows.push_back(Narrow(text));
    };
    auto askDelete = [&](HWND) {
        row();
        Click(dialer, 1089);
    };
    // OK in the options dialog with one field set (the first timing made valid).
    auto okWith = [](int id, std::wstring text) {
        return [=](HWND options) {
            SetDlgItemTextW(options, 1022, L"10");
            SetDlgItemTextW(options, id, text.c_str());
            Click(options, IDOK);
        };
    };
    const std::wstring name = L"Vantrel", question = L"List Delete";
    Tour t;
    t.visits = {
        {"list file error", name, nullptr, PressEsc},
        {"dialer", L"Vantrel", nullptr, [&](HWND w) { dialer = w; }},
        {"length limit", L"Input charcter length limit", [&](HWND) { Click(dialer, 1000); }, PressEsc},
        {"delete, Esc", question, [&](HWND w) { Click(dialer, 1058); askDelete(w); }, PressEsc},
        {"delete, close box", question, askDelete, CloseBox},
        {"delete, Yes", question, askDelete, [](HWND box) { Click(box, IDYES); }},
        {"options", L"Vantrel Option", [&](HWND) { row(); Click(dialer, 1024); }, nullptr},
        {"integer message", name, okWith(1022, L"x"), PressEsc},
        {"range message", name, okWith(1078, L"5001"), PressEsc},
        {"length message", name, okWith(1076, std::wstring(33, L'A')), PressEsc},
        {"about box", L"About Vantrel32",
         [&](HWND options) {
             Click(options, IDCANCEL);
             PostMessageW(dialer, WM_SYSCOMMAND, 16, 0);
         },
         [](HWND about) { Click(about, IDOK); }},
        {"help error", name, [&](HWND) { Click(dialer, 1025); }, PressEsc},
        {"closing", L"Vantrel", nullptr, [&](HWND) { CloseBox(dialer); }},
        // Where the program asks about a changed list first, No closes it.
        {"unsaved list question", name, nullptr, [](HWND box) { Click(box, IDNO); }},
    };
    // The help page is not there.
    WithTour(t, [&] { testing_support::RunDialerWindow(system, dir / "vantrel.ini", dir / "help/index.html"); });

    EXPECT_EQ(t.problems, std::vector<std::string>{});
    EXPECT_GE(t.next + 1, t.visits.size());
    // The dial string went into row 1; Esc and the close box kept it, Yes emptied it.
    EXPECT_EQ(rows, (std::vector<std::string>{"", longDial, longDial, ""}));
}

TEST(Win32Legibility, BoxesTheProgramCannotBeLedToHereShowEveryLetterToo) {
    // File and port errors that need a file dialog or a device to come about.
    const char* texts[] = {"ﾃﾞｰﾀﾌｧｲﾙが空です.", "ﾌｧｲﾙのｵｰﾌﾟﾝ ｴﾗｰです.", "ﾀｲﾏのｴﾗｰです",
                           "COMﾎﾟｰﾄのｵｰﾌﾟﾝ ｴﾗｰです."};
    Win32WindowSystem system;
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        Tour t;
        t.visits = {{text, L"vantrel", nullptr, PressEsc}};
        int answer = 0;
        WithTour(t, [&] { answer = system.MessageBox(nullptr, text, "vantrel", MB_OK); });
        EXPECT_EQ(t.problems, std::vector<std::string>{});
        EXPECT_EQ(answer, IDOK);
    }
}

}  // namespace
}  // namespace platform

#endif  // _WIN32
