#include <algorithm>

#include "framework/afxwin.h"
#include "framework/file_system.h"

namespace {
// Windows raises shorter intervals to this; timers of 0 ms would
// otherwise fire without pause.
constexpr UINT kMinimumTimerMs = 10;
}  // namespace

CDialog::CDialog(int templateId, CDialog* parent) : m_pParentWnd(parent), m_nIDTemplate(templateId) {}

CDialog::~CDialog() = default;

const MessageMap* CDialog::GetThisMessageMap() {
    static const MessageMapEntry entries[] = {
        {WM_COMMAND, IDOK, IDOK, static_cast<AfxPmsg>(&CDialog::OnOK)},
        {WM_COMMAND, IDCANCEL, IDCANCEL, static_cast<AfxPmsg>(&CDialog::OnCancel)},
        {0, 0, 0, std::monostate{}}};
    static const MessageMap map{nullptr, entries};
    return &map;
}

const MessageMap* CDialog::GetMessageMap() const { return GetThisMessageMap(); }

int CDialog::DoModal() {
    m_template = fw::TranslatedTemplate(m_nIDTemplate);
    CWinApp* app = AfxGetApp();
    if (!m_template || !app) return -1;

    port::Window* owner = nullptr;
    if (m_pParentWnd) {
        owner = m_pParentWnd->Native();
    } else if (app->m_pMainWnd && app->m_pMainWnd != this) {
        owner = app->m_pMainWnd->Native();
    }
    m_native = app->Windows().Create(*m_template, owner, *this);
    if (!m_native) return -1;

    m_ended = false;
    m_result = -1;
    if (OnInitDialog()) {
        int first = FirstTabStop();
        if (first != 0) m_native->SetFocus(first);
    }
    int result = m_ended ? m_result : app->Windows().RunModal(*m_native);
    m_native.reset();  // its timers go with it
    return result;
}

void CDialog::EndDialog(int result) {
    m_ended = true;
    m_result = result;
    if (m_native) AfxGetApp()->Windows().EndModal(*m_native, result);
}

int CDialog::FirstTabStop() const {
    for (const auto& c : m_template->controls)
        if ((c.style & WS_TABSTOP) && (c.style & WS_VISIBLE) && c.id > 0) return c.id;
    return 0;
}

std::vector<int> CDialog::RadioGroup(int firstId) const {
    return m_template ? res::RadioGroupOf(*m_template, firstId) : std::vector<int>{};
}

bool CDialog::OnInitDialog() {
    UpdateData(false);
    return true;
}

void CDialog::OnOK() {
    if (!UpdateData(true)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::DoDataExchange(CDataExchange*) {}

bool CDialog::UpdateData(bool saveAndValidate) {
    if (!m_native) return false;
    CDataExchange dx(this, saveAndValidate);
    DoDataExchange(&dx);
    return !dx.Failed();
}

UINT CDialog::SetTimer(UINT id, UINT elapseMs, void*) {
    if (!m_native) return 0;
    return m_native->SetTimer(id, std::max(elapseMs, kMinimumTimerMs)) ? id : 0;
}

bool CDialog::KillTimer(UINT id) { return m_native && m_native->KillTimer(id); }

int CDialog::MessageBox(std::string_view text, const char* caption, UINT type) {
    CWinApp* app = AfxGetApp();
    std::string_view title = fw::Tr(caption ? std::string_view(caption) : app->m_pszAppName);
    return app->Windows().MessageBox(m_native.get(), text, title, type);
}

void CDialog::PostCommand(int id) {
    if (m_native) m_native->PostCommand(id);
}

void CDialog::SetForegroundWindow() {
    if (m_native) m_native->BringToFront();
}

int CDialog::GetFocusId() const { return m_native ? m_native->FocusId() : 0; }

void CDialog::GotoDlgCtrl(int id) {
    if (m_native) m_native->SetFocus(id);
}

void CDialog::CheckRadioButton(int firstId, int lastId, int checkId) {
    if (!m_native) return;
    for (int id = firstId; id <= lastId; ++id) m_native->SetChecked(id, id == checkId);
}

bool CDialog::IsIconic() const { return m_native && m_native->IsIconic(); }

port::Rect CDialog::GetClientRect() const { return m_native ? m_native->ClientRect() : port::Rect{}; }

void CDialog::OnSysCommand(UINT nID, long lParam) {
    if (m_native) m_native->DefaultSysCommand(nID, lParam);
}

void CDialog::OnTimer(UINT) {}

void CDialog::OnVScroll(UINT, UINT, CScrollBar*) {}

void CDialog::OnPaint() {}

HCURSOR CDialog::OnQueryDragIcon() { return 0; }

bool CDialog::OnMouseWheel(int, int) { return false; }

const MessageMapEntry* CDialog::FindEntry(UINT message, int id, UINT code) const {
    for (const MessageMap* map = GetMessageMap(); map; map = map->base ? map->base() : nullptr) {
        for (const MessageMapEntry* e = map->entries; e->message != 0; ++e) {
            if (e->message != message) continue;
            if (message != WM_COMMAND) return e;
            if (id >= e->firstId && id <= e->lastId && e->code == code) return e;
        }
    }
    return nullptr;
}

// The handler of `message`, when the table has one of the signature that message carries.
template <class Pmsg>
static Pmsg HandlerOf(const MessageMapEntry* e) {
    const Pmsg* pfn = e ? std::get_if<Pmsg>(&e->pfn) : nullptr;
    return pfn ? *pfn : nullptr;
}

void CDialog::OnCommandEvent(int id, UINT code) {
    const MessageMapEntry* e = FindEntry(WM_COMMAND, id, code);
    if (AfxPmsg pfn = HandlerOf<AfxPmsg>(e))
        (this->*pfn)();
    else if (AfxPmsgId pfnId = HandlerOf<AfxPmsgId>(e))
        (this->*pfnId)(static_cast<UINT>(id));
}

void CDialog::OnFieldClickEvent(int id) { OnCommandEvent(id, EN_CLICKED); }

bool CDialog::OnMouseWheelEvent(int id, int delta) {
    if (AfxPmsgWheel pfn = HandlerOf<AfxPmsgWheel>(FindEntry(WM_MOUSEWHEEL, 0)))
        return (this->*pfn)(id, delta);
    return OnMouseWheel(id, delta);
}

void CDialog::OnTimerEvent(UINT id) {
    if (AfxPmsgTimer pfn = HandlerOf<AfxPmsgTimer>(FindEntry(WM_TIMER, 0))) (this->*pfn)(id);
}

void CDialog::OnSysCommandEvent(UINT cmd, long param) {
    if (AfxPmsgSysCommand pfn = HandlerOf<AfxPmsgSysCommand>(FindEntry(WM_SYSCOMMAND, 0)))
        (this->*pfn)(cmd, param);
    else
        CDialog::OnSysCommand(cmd, param);
}

void CDialog::OnVScrollEvent(UINT code, int pos) {
    if (AfxPmsgScroll pfn = HandlerOf<AfxPmsgScroll>(FindEntry(WM_VSCROLL, 0)))
        (this->*pfn)(code, static_cast<UINT>(pos), nullptr);
}

void CDialog::OnPaintEvent() {
    if (AfxPmsg pfn = HandlerOf<AfxPmsg>(FindEntry(WM_PAINT, 0))) (this->*pfn)();
}

bool CDialog::OnCharEvent(char c) { return PreTranslateChar(c); }

bool CDialog::OnEditKeyEvent(port::EditKey key) { return PreTranslateEditKey(key); }

bool CDialog::PreTranslateChar(char) { return false; }

bool CDialog::PreTranslateEditKey(port::EditKey) { return false; }

void CDialog::SendCommand(int id) { OnCommandEvent(id, BN_CLICKED); }

HCURSOR CDialog::SendQueryDragIcon() {
    if (AfxPmsgQueryIcon pfn = HandlerOf<AfxPmsgQueryIcon>(FindEntry(WM_QUERYDRAGICON, 0)))
        return (this->*pfn)();
    return OnQueryDragIcon();
}

void CPaintDC::DrawIcon(int x, int y, HICON icon) {
    if (m_wnd->Native()) m_wnd->Native()->DrawIcon(x, y, icon);
}

int GetSystemMetrics(int index) { return AfxGetApp()->Windows().SystemMetric(index); }

// ---------------------------------------------------------------- slider

void CSliderCtrl::SetRangeMax(int max, bool redraw) {
    if (m_owner && m_owner->Native()) m_owner->Native()->SliderSetRangeMax(m_id, max, redraw);
}

void CSliderCtrl::SetPageSize(int size) {
    if (m_owner && m_owner->Native()) m_owner->Native()->SliderSetPageSize(m_id, size);
}

int CSliderCtrl::GetPos() const {
    return m_owner && m_owner->Native() ? m_owner->Native()->SliderPos(m_id) : 0;
}

void CSliderCtrl::SetPos(int pos) {
    if (m_owner && m_owner->Native()) m_owner->Native()->SliderSetPos(m_id, pos, true);
}

void CSliderCtrl::TurnWheel(int delta) {
    if (m_owner && m_owner->Native()) m_owner->Native()->SliderWheel(m_id, delta);
}

// ---------------------------------------------------------------- file dialog

CFileDialog::CFileDialog(bool openFileDialog, const char* defExt, const char* fileName,
                         UINT flags, const char* filter, CDialog* parent)
    : m_parent(parent) {
    m_request.open = openFileDialog;
    m_request.defaultExt = defExt ? defExt : "";
    m_request.filter = filter ? filter : "";
    m_request.flags = flags;
    if (fileName && *fileName) {
        m_request.fileName = fsys::BaseName(fileName);
        m_request.folder = fsys::ParentDirectory(fileName);
    }
}

int CFileDialog::DoModal() {
    CWinApp* app = AfxGetApp();
    CDialog* owner = m_parent ? m_parent : app->m_pMainWnd;
    // Not the working folder, which for a program started from a menu means nothing to the user.
    if (m_request.folder.empty()) m_request.folder = app->Windows().DocumentsFolder();
    auto path = app->Windows().FileDialog(owner ? owner->Native() : nullptr, m_request);
    if (!path) return IDCANCEL;
    m_path = *path;
    return IDOK;
}
