// The dial list: its five-row view, the copy and delete commands, and list files.
#include <cstdio>
#include <cstring>

#include "dial_list/list_file.h"
#include "dialer/dialer_dlg.h"
#include "dialer/fixed_text.h"
#include "framework/file_system.h"
#include "settings/profile_keys.h"

namespace {
constexpr const char* kListFilter = "Vantrel Data(*.vtl)|*.vtl|All File(*.*)|*.*||";
constexpr const char* kListDefExt = "*.vtl";
constexpr UINT kListDialogFlags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;

bool IsRow(int s) { return s >= 0 && s < kVisibleRows; }

// The controls that make up the five rows: radio button, entry and number.
bool IsRowControl(int id) {
    for (int first : {IDC_ROW_SELECT_0, IDC_ROW_0, IDC_ROW_NO_0})
        if (id >= first && id < first + kVisibleRows) return true;
    return false;
}

constexpr const char* kPathNotKept =
    "The list file's path holds a line break, which the settings file cannot keep. "
    "The list file is in use now, but Vantrel will not open it by itself at the next start.";
constexpr const char* kUnsavedListQuestion =
    "The dial list has changed since it was last loaded or saved, and closing now would lose "
    "the changes.\n\nSave the list to a file before closing?";
constexpr const char* kUnsavedListLoadQuestion =
    "The dial list has changed since it was last loaded or saved, and loading another list file "
    "would lose the changes.\n\nSave the list to a file before loading?";

// The settings file keeps one line per value.
bool ProfileCanHold(const std::string& path) {
    return path.find_first_of("\r\n") == std::string::npos;
}

// A refused line as the user can read it in a message: control bytes shown as
// '?', a long line cut.
std::string Printable(const std::string& line) {
    constexpr size_t kShown = 40;
    std::string out;
    for (size_t i = 0; i < line.size() && i < kShown; ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        out += c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c);
    }
    if (line.size() > kShown) out += "...";
    return out;
}

std::string RefusedEntriesMessage(const ListReadResult& result) {
    const int n = result.refusedCount;
    std::string text =
        n == 1 ? fw::TrFormat("%d entry of the list file could not be loaded, because it holds "
                              "characters other than 0-9, A-D, *, #, - and the comma:\n",
                              n)
               : fw::TrFormat("%d entries of the list file could not be loaded, because they hold "
                              "characters other than 0-9, A-D, *, #, - and the comma:\n",
                              n);
    for (const RefusedEntry& e : result.refused)
        text += fw::TrFormat("\n  entry %d: %s", e.index + 1, Printable(e.line).c_str());
    if (n > static_cast<int>(result.refused.size()))
        text += fw::TrFormat("\n  and %d more", n - static_cast<int>(result.refused.size()));
    text += fw::Tr("\n\nThey are empty in the list now. Saving the list over this file would "
                   "replace them with empty lines.");
    return text;
}
}  // namespace

void CDialerDlg::RefreshListView() {
    const int p = m_ctlSlider.GetPos();
    for (int r = 0; r < kVisibleRows; ++r) m_strRowNo[r] = std::to_string(p + 1 + r);
    for (int r = 0; r < kVisibleRows; ++r) m_strRow[r] = m_szList[p + r];
    UpdateData(false);
}

void CDialerDlg::OnVScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar) {
    // Every notification, drag steps included, so the rows follow the thumb.
    RefreshListView();
    CDialog::OnVScroll(nSBCode, nPos, pScrollBar);
}

bool CDialerDlg::OnMouseWheel(int nCtrlId, int zDelta) {
    if (!IsRowControl(nCtrlId)) return false;
    // The rows scroll by what the slider's own wheel moves it, and through its notifications.
    m_ctlSlider.TurnWheel(zDelta);
    return true;
}

void CDialerDlg::OnSelectRow() { UpdateData(true); }

void CDialerDlg::OnRowClicked(UINT nID) {
    // As a click on the row's radio button: it checks itself, clearing the others.
    const int row = static_cast<int>(nID) - IDC_ROW_0;
    CheckRadioButton(IDC_ROW_SELECT_0, IDC_ROW_SELECT_0 + kVisibleRows - 1, IDC_ROW_SELECT_0 + row);
    OnSelectRow();
}

void CDialerDlg::OnDialCopy() {
    UpdateData(true);
    const int p = m_ctlSlider.GetPos();
    const int s = m_nTransSelect;
    if (IsRow(s)) {
        CopyToBuffer(m_szList[p + s], m_szDial);
        m_strRow[s] = m_szList[p + s];
    }
    UpdateData(false);
}

void CDialerDlg::OnListCopy() {
    UpdateData(true);
    const int p = m_ctlSlider.GetPos();
    const int s = m_nTransSelect;
    // With no row selected there is no entry to copy.
    if (!IsRow(s)) return;
    m_strDial = m_szList[p + s];
    m_nDialLen = CopyToBuffer(m_szDial, m_strDial);
    UpdateData(false);
}

void CDialerDlg::OnListDelete() {
    UpdateData(true);
    const int p = m_ctlSlider.GetPos();
    const int s = m_nTransSelect;
    if (!IsRow(s)) return;
    const std::string question = fw::TrFormat("ﾘｽﾄの %d 番目を消去しますか?", p + s + 1);
    // Only Yes empties the entry: a box closed any other way answers No.
    if (MessageBox(question, "List Delete", MB_YESNO | MB_ICONEXCLAMATION) != IDYES) return;
    m_szList[p + s][0] = '\0';
    for (int r = 0; r < kVisibleRows; ++r) m_strRow[r] = m_szList[p + r];
    UpdateData(false);
}

void CDialerDlg::LoadListFile(std::string path, int bPrevious) {
    const ListReadResult result = ReadListFile(path, m_szList);
    if (result.status == ListReadStatus::CannotOpen) {
        const char* format = bPrevious == 1 ? "前回のﾌｧｲﾙ\n  %s\nのｵｰﾌﾟﾝ ｴﾗｰです"
                                            : "ﾌｧｲﾙ\n  %s\nのｵｰﾌﾟﾝ ｴﾗｰです";
        AfxMessageBox(fw::TrFormat(format, path.c_str()), MB_OK, 0);
        return;
    }
    if (result.status == ListReadStatus::Empty) {
        MessageBox(fw::Tr("ﾃﾞｰﾀﾌｧｲﾙが空です."), nullptr, MB_OK);
        return;
    }
    SetListFile(path);
    m_ctlSlider.SetPos(0);
    RefreshListView();
    UpdateData(false);
    if (!ProfileCanHold(path)) MessageBox(fw::Tr(kPathNotKept), nullptr, MB_OK | MB_ICONEXCLAMATION);
    if (result.refusedCount > 0)
        MessageBox(RefusedEntriesMessage(result), nullptr, MB_OK | MB_ICONEXCLAMATION);
}

void CDialerDlg::OnListLoad() {
    // A load replaces the list, so changes not in a file yet would be gone.
    if (ListChanged() && !AskToSaveList(kUnsavedListLoadQuestion)) return;
    CFileDialog dialog(true, kListDefExt, nullptr, kListDialogFlags, fw::Tr(kListFilter).data(), this);
    // Where the current list file is: other lists are usually kept beside it.
    if (!m_strFileName.empty()) dialog.SetInitialFolder(fsys::ParentDirectory(m_strFileName));
    if (dialog.DoModal() != IDOK) return;
    LoadListFile(dialog.GetPathName(), 0);
}

void CDialerDlg::OnListSave() { SaveListAs(); }

bool CDialerDlg::SaveListAs() {
    // The current list file is proposed; without one the dialog starts in the
    // user's documents folder.
    CFileDialog dialog(false, kListDefExt, m_strFileName.empty() ? nullptr : m_strFileName.c_str(),
                       kListDialogFlags, fw::Tr(kListFilter).data(), this);
    if (dialog.DoModal() != IDOK) return false;
    const std::string path = dialog.GetPathName();
    UpdateData(true);
    // The file is replaced only when every byte has been written, so a failed
    // save leaves the old file, the current list file and the profile as they were.
    bool damaged = false;
    bool refused = false;
    if (!WriteListFile(path, m_szList, &damaged, &refused)) {
        if (damaged) {
            // Written in place (a hard-linked file, a folder that takes no new
            // file) and stopped part-way: the old list is gone too, so say so.
            MessageBox(fw::TrFormat("The list file\n  %s\ncould not be written completely and may "
                                    "be damaged. Save the list again, or to another file.",
                                    path.c_str()),
                       nullptr, MB_OK | MB_ICONEXCLAMATION);
        } else if (refused) {
            // The link may have been laid to make the save overwrite another file.
            MessageBox(fw::TrFormat("The list file\n  %s\nleads through a symbolic link that "
                                    "another user owns in a shared folder, so the list was not "
                                    "saved there. Save the list to another file.",
                                    path.c_str()),
                       nullptr, MB_OK | MB_ICONEXCLAMATION);
        } else {
            MessageBox(fw::Tr("ﾌｧｲﾙのｵｰﾌﾟﾝ ｴﾗｰです."), nullptr, MB_OK);
        }
        return false;
    }
    SetListFile(path);
    UpdateData(false);
    if (!ProfileCanHold(path)) MessageBox(fw::Tr(kPathNotKept), nullptr, MB_OK | MB_ICONEXCLAMATION);
    return true;
}

void CDialerDlg::SetListFile(const std::string& path) {
    m_strFileName = path;
    // A path the settings file would change must not be remembered at all:
    // the next start would open another file, or none, under its name.
    m_strLoadPath = ProfileCanHold(path) ? path : std::string();
    AfxGetApp()->WriteProfileString(profile_keys::kDialSection, profile_keys::kLoadFile,
                                    m_strLoadPath);
    KeepListState();
}

void CDialerDlg::KeepListState() { std::memcpy(m_szListKept, m_szList, sizeof m_szList); }

bool CDialerDlg::ListChanged() const {
    for (int i = 0; i < kListSize; ++i)
        if (std::strcmp(m_szList[i], m_szListKept[i]) != 0) return true;
    return false;
}

bool CDialerDlg::ListChangesWouldBeLost() const {
    if (!ListChanged()) return false;
    // With a list file the next start reads that file again.
    if (!m_strLoadPath.empty()) return true;
    // Without one it has the five rows on view as entries 1 to 5, and nothing else.
    const int p = m_ctlSlider.GetPos();
    for (int i = 0; i < kListSize; ++i) {
        const char* next = i < kVisibleRows ? m_szList[p + i] : "";
        if (std::strcmp(m_szList[i], next) != 0) return true;
    }
    return false;
}

bool CDialerDlg::AskToSaveList(const char* question) {
    const int answer = MessageBox(fw::Tr(question), nullptr, MB_YESNOCANCEL | MB_ICONEXCLAMATION);
    if (answer == IDNO) return true;
    return answer == IDYES && SaveListAs();
}

bool CDialerDlg::ConfirmListBeforeClose() {
    if (!ListChangesWouldBeLost() || AskToSaveList(kUnsavedListQuestion)) return true;
    // The window goes on as before the close was asked for: Esc is ignored again.
    m_bSysClose = 0;
    return false;
}
