#pragma once
// The dialog framework the program is written against: an application object,
// modal dialogs with command tables and data exchange, and the few controls and
// common dialogs the windows use. It speaks only to the ports in ports.h.

#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "framework/ports.h"
#include "framework/translation.h"
#include "framework/win_types.h"

class CDialog;
class CDataExchange;
class CScrollBar;  // never defined: scroll messages carry no scroll-bar object here
namespace fw {
class ProfileStore;
}

using HICON = int;  // an icon resource number; 0 for none
using HCURSOR = HICON;

class CWinApp {
public:
    // The application's name titles message boxes without a caption of their own;
    // without one it is the program file's name.
    explicit CWinApp(const char* appName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual bool InitInstance();
    virtual int ExitInstance();
    // Calls InitInstance; returns the program's exit code.
    int Start();

    // Wiring done by main() or a test before Start().
    void AttachPlatform(port::WindowSystem* windows, port::SoundOutput* sound,
                        port::SerialPorts* serial);
    // Where the tone clips come from when the platform carries them; none by default.
    void AttachSoundClips(port::SoundClips* clips) { m_clips = clips; }
    void SetProfilePath(const std::string& path);
    void SetHelpFile(const std::string& path);

    port::WindowSystem& Windows() const { return *m_windows; }
    port::SoundOutput* Sound() const { return m_sound; }
    port::SerialPorts* Serial() const { return m_serial; }
    port::SoundClips* Clips() const { return m_clips; }
    const std::string& HelpFile() const { return m_helpFile; }
    const fw::ProfileStore* Profile() const { return m_profile.get(); }

    bool Enable3dControls() { return true; }
    HICON LoadIcon(int resourceId) const { return resourceId; }

    int GetProfileInt(std::string_view section, std::string_view entry, int defaultValue) const;
    std::string GetProfileString(std::string_view section, std::string_view entry,
                                 std::string_view defaultValue = {}) const;
    // Virtual so that a test can see every write in its order.
    virtual bool WriteProfileInt(std::string_view section, std::string_view entry, int value);
    virtual bool WriteProfileString(std::string_view section, std::string_view entry,
                                    std::string_view value);

    // Shows help topic `data`; a missing help file is reported in a message box.
    virtual void WinHelp(unsigned long data, UINT cmd = HELP_CONTEXT);
    // Shows the program's about box, which only the application knows; none by default.
    virtual void OnAppAbout() {}

    std::string m_pszAppName;
    CDialog* m_pMainWnd = nullptr;

private:
    port::WindowSystem* m_windows = nullptr;
    port::SoundOutput* m_sound = nullptr;
    port::SerialPorts* m_serial = nullptr;
    port::SoundClips* m_clips = nullptr;
    // Says once, until a write gets through again, that writes are refused.
    bool NoteProfileWrite(bool written);

    std::unique_ptr<fw::ProfileStore> m_profile;
    bool m_lockRefusalReported = false;
    bool m_limitRefusalReported = false;
    std::string m_helpFile;
};

// The application object constructed last (there is one per program).
CWinApp* AfxGetApp();

int AfxMessageBox(std::string_view text, UINT type = MB_OK, UINT helpId = 0);

// ---------------------------------------------------------------- command tables

// A handler of each signature the command tables use; the message decides which.
using AfxPmsg = void (CDialog::*)();
using AfxPmsgTimer = void (CDialog::*)(UINT);
using AfxPmsgSysCommand = void (CDialog::*)(UINT, long);
using AfxPmsgScroll = void (CDialog::*)(UINT, UINT, CScrollBar*);
using AfxPmsgQueryIcon = HCURSOR (CDialog::*)();
using AfxPmsgWheel = bool (CDialog::*)(int, int);
// A command handler told which control of its range sent the notification;
// the same signature as the timer's.
using AfxPmsgId = AfxPmsgTimer;
using AfxHandler = std::variant<std::monostate, AfxPmsg, AfxPmsgTimer, AfxPmsgSysCommand,
                                AfxPmsgScroll, AfxPmsgQueryIcon, AfxPmsgWheel>;

// The notification of a click into an edit field. The platform's edit
// controls send none; the backends report the click and the framework passes
// it on under this code, outside the range of the platform's own.
constexpr UINT EN_CLICKED = 0x8001;

struct MessageMapEntry {
    UINT message;  // WM_COMMAND, WM_TIMER, ...; 0 ends the table
    int firstId;   // control range for WM_COMMAND
    int lastId;
    AfxHandler pfn;
    UINT code = BN_CLICKED;  // the notification a WM_COMMAND entry takes
};

struct MessageMap {
    const MessageMap* (*base)();
    const MessageMapEntry* entries;
};

#define DECLARE_MESSAGE_MAP()                         \
public:                                               \
    static const MessageMap* GetThisMessageMap();     \
    const MessageMap* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                 \
    const MessageMap* theClass::GetMessageMap() const {                        \
        return GetThisMessageMap();                                            \
    }                                                                          \
    const MessageMap* theClass::GetThisMessageMap() {                          \
        using ThisClass = theClass;                                            \
        const MessageMap* (*const baseMap)() = &baseClass::GetThisMessageMap; \
        static const MessageMapEntry entries[] = {
#define END_MESSAGE_MAP()                          \
    {0, 0, 0, std::monostate{}}};                  \
    static const MessageMap map{baseMap, entries}; \
    return &map;                                   \
    }

#define ON_BN_CLICKED(id, fn) {WM_COMMAND, id, id, static_cast<AfxPmsg>(&ThisClass::fn)},
#define ON_COMMAND_RANGE(first, last, fn) \
    {WM_COMMAND, first, last, static_cast<AfxPmsg>(&ThisClass::fn)},
// fn(UINT id) for notification `code` from any control in the range.
#define ON_CONTROL_RANGE(code, first, last, fn) \
    {WM_COMMAND, first, last, static_cast<AfxPmsgId>(&ThisClass::fn), code},
#define ON_WM_TIMER() {WM_TIMER, 0, 0, static_cast<AfxPmsgTimer>(&ThisClass::OnTimer)},
#define ON_WM_SYSCOMMAND() \
    {WM_SYSCOMMAND, 0, 0, static_cast<AfxPmsgSysCommand>(&ThisClass::OnSysCommand)},
#define ON_WM_VSCROLL() {WM_VSCROLL, 0, 0, static_cast<AfxPmsgScroll>(&ThisClass::OnVScroll)},
#define ON_WM_PAINT() {WM_PAINT, 0, 0, static_cast<AfxPmsg>(&ThisClass::OnPaint)},
// fn(int ctrlId, int delta) -> bool: the wheel over control ctrlId (0: none),
// which does not take it itself; true when taken.
#define ON_WM_MOUSEWHEEL() \
    {WM_MOUSEWHEEL, 0, 0, static_cast<AfxPmsgWheel>(&ThisClass::OnMouseWheel)},
#define ON_WM_QUERYDRAGICON() \
    {WM_QUERYDRAGICON, 0, 0, static_cast<AfxPmsgQueryIcon>(&ThisClass::OnQueryDragIcon)},

// ---------------------------------------------------------------- controls

// A slider (trackbar) control of a dialog, attached by DDX_Control.
class CSliderCtrl {
public:
    bool IsAttached() const { return m_owner != nullptr; }
    int GetDlgCtrlID() const { return m_id; }
    void SetRangeMax(int max, bool redraw = false);
    void SetPageSize(int size);
    int GetPos() const;
    void SetPos(int pos);
    // Moves the slider as the wheel turned over it would, notifications included.
    void TurnWheel(int delta);

private:
    friend void DDX_Control(CDataExchange*, int, CSliderCtrl&);
    CDialog* m_owner = nullptr;
    int m_id = 0;
};

// ---------------------------------------------------------------- dialogs

class CDialog : public port::WindowEvents {
public:
    CDialog(int templateId, CDialog* parent = nullptr);
    ~CDialog() override;
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // IDOK or IDCANCEL as the dialog ended, -1 when its window cannot be created.
    virtual int DoModal();
    void EndDialog(int result);

    bool UpdateData(bool saveAndValidate = true);

    UINT SetTimer(UINT id, UINT elapseMs, void* timerProc = nullptr);
    bool KillTimer(UINT id);

    int MessageBox(std::string_view text, const char* caption = nullptr, UINT type = MB_OK);

    // Queues a click of control `id`, handled once the running loop is idle, as a
    // posted WM_COMMAND is.
    void PostCommand(int id);
    // Restores the window if minimised and raises and activates it.
    void SetForegroundWindow();

    int GetFocusId() const;  // identifier of the control with the keyboard focus, 0 if none
    void GotoDlgCtrl(int id);
    // Checks radio button `checkId` and clears the others from first to last.
    void CheckRadioButton(int firstId, int lastId, int checkId);
    bool IsIconic() const;
    port::Rect GetClientRect() const;
    HCURSOR SendQueryDragIcon();

    port::Window* Native() const { return m_native.get(); }
    int TemplateId() const { return m_nIDTemplate; }
    const res::DialogTemplate* Template() const { return m_template; }
    // The radio buttons of the group that starts at `firstId`, in template order.
    std::vector<int> RadioGroup(int firstId) const;

    static const MessageMap* GetThisMessageMap();
    virtual const MessageMap* GetMessageMap() const;

protected:
    virtual bool OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    virtual void DoDataExchange(CDataExchange* pDX);

    // Default handling of the window messages a derived table may take over.
    void OnSysCommand(UINT nID, long lParam);
    void OnTimer(UINT nIDEvent);
    void OnVScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    bool OnMouseWheel(int nCtrlId, int zDelta);

    // Keys the window may take before its focused control does; none by default.
    virtual bool PreTranslateChar(char c);
    virtual bool PreTranslateEditKey(port::EditKey key);
    // Runs the command table's handler for control `id`, as its click would.
    void SendCommand(int id);

    CDialog* m_pParentWnd;

private:
    // port::WindowEvents
    void OnCommandEvent(int id, UINT code) override;
    void OnTimerEvent(UINT id) override;
    void OnSysCommandEvent(UINT cmd, long param) override;
    void OnVScrollEvent(UINT code, int pos) override;
    void OnPaintEvent() override;
    bool OnCharEvent(char c) override;
    bool OnEditKeyEvent(port::EditKey key) override;
    void OnFieldClickEvent(int id) override;
    bool OnMouseWheelEvent(int id, int delta) override;

    const MessageMapEntry* FindEntry(UINT message, int id, UINT code = BN_CLICKED) const;
    int FirstTabStop() const;

    int m_nIDTemplate;
    const res::DialogTemplate* m_template = nullptr;
    std::unique_ptr<port::Window> m_native;
    bool m_ended = false;
    int m_result = -1;
};

// Paint context for WM_PAINT handlers.
class CPaintDC {
public:
    explicit CPaintDC(CDialog* wnd) : m_wnd(wnd) {}
    void DrawIcon(int x, int y, HICON icon);
    CDialog* Window() const { return m_wnd; }

private:
    CDialog* m_wnd;
};

int GetSystemMetrics(int index);

// ---------------------------------------------------------------- data exchange

class CDataExchange {
public:
    CDataExchange(CDialog* dlg, bool saveAndValidate) : m_pDlgWnd(dlg), m_bSaveAndValidate(saveAndValidate) {}
    void PrepareCtrl(int id);
    void PrepareEditCtrl(int id);
    // Moves the focus to the last control (selecting an edit's text) and stops the exchange.
    void Fail();
    bool Failed() const { return m_failed; }

    CDialog* m_pDlgWnd;
    bool m_bSaveAndValidate;
    int m_idLastControl = 0;
    bool m_bEditLastControl = false;

private:
    bool m_failed = false;
};

void DDX_Text(CDataExchange* pDX, int id, std::string& value);
void DDX_Text(CDataExchange* pDX, int id, int& value);
void DDX_Radio(CDataExchange* pDX, int firstId, int& value);
void DDX_Control(CDataExchange* pDX, int id, CSliderCtrl& control);
// Limits are counted in bytes of the stored (UTF-8) text.
void DDV_MaxChars(CDataExchange* pDX, const std::string& value, int maxChars);
void DDV_MinMaxInt(CDataExchange* pDX, int value, int minValue, int maxValue);

// ---------------------------------------------------------------- common dialogs

constexpr UINT OFN_HIDEREADONLY = 0x4;
constexpr UINT OFN_PATHMUSTEXIST = 0x800;
constexpr UINT OFN_FILEMUSTEXIST = 0x1000;
constexpr UINT OFN_OVERWRITEPROMPT = 0x2;

// Starts in the folder of `fileName` when it is a path, showing its name;
// otherwise in the initial folder when one is set, else in the user's
// documents folder.
class CFileDialog {
public:
    CFileDialog(bool openFileDialog, const char* defExt = nullptr, const char* fileName = nullptr,
                UINT flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, const char* filter = nullptr,
                CDialog* parent = nullptr);
    void SetInitialFolder(std::string folder) { m_request.folder = std::move(folder); }
    int DoModal();
    std::string GetPathName() const { return m_path; }

private:
    port::FileDialogRequest m_request;
    CDialog* m_parent;
    std::string m_path;
};
