// The dial list: its five-row view, the copy and delete commands, and list files.
#include <cstdio>
#include <cstring>

#include "dial_list/list_file.h"
#include "dialer/dialer_dlg.h"
#include "dialer/fixed_text.h"
#include "settings/profile_keys.h"

namespace {
constexpr const char* kListFilter = "Vantrel Data(*.vtl)|*.vtl|All File(*.*)|*.*||";
constexpr const char* kListDefExt = "*.vtl";
constexpr UINT kListDialogFlags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;

bool IsRow(int s) { return s >= 0 && s < kVisibleRows; }
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

void CDialerDlg::OnSelectRow() { UpdateData(true); }

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
    char question[128];
    std::snprintf(question, sizeof question, "ﾘｽﾄの %d 番目を消去しますか?", p + s + 1);
    if (MessageBox(question, "List Delete", MB_YESNO | MB_ICONEXCLAMATION) == IDNO) return;
    m_szList[p + s][0] = '\0';
    for (int r = 0; r < kVisibleRows; ++r) m_strRow[r] = m_szList[p + r];
    UpdateData(false);
}

void CDialerDlg::LoadListFile(std::string path, int bPrevious) {
    const ListReadResult result = ReadListFile(path, m_szList);
    if (result.status == ListReadStatus::CannotOpen) {
        const char* lead = bPrevious == 1 ? "前回のﾌｧｲﾙ" : "ﾌｧｲﾙ";
        AfxMessageBox(std::string(lead) + "\n  " + path + "\nのｵｰﾌﾟﾝ ｴﾗｰです", MB_OK, 0);
        return;
    }
    if (result.status == ListReadStatus::Empty) {
        MessageBox("ﾃﾞｰﾀﾌｧｲﾙが空です.", nullptr, MB_OK);
        return;
    }
    AfxGetApp()->WriteProfileString(profile_keys::kDialSection, profile_keys::kLoadFile, path);
    m_strFileName = path;
    m_strLoadPath = path;
    m_ctlSlider.SetPos(0);
    RefreshListView();
    UpdateData(false);
}

void CDialerDlg::OnListLoad() {
    CFileDialog dialog(true, kListDefExt, nullptr, kListDialogFlags, kListFilter, this);
    if (dialog.DoModal() != IDOK) return;
    LoadListFile(dialog.GetPathName(), 0);
}

void CDialerDlg::OnListSave() {
    CFileDialog dialog(false, kListDefExt, nullptr, kListDialogFlags, kListFilter, this);
    if (dialog.DoModal() != IDOK) return;
    const std::string path = dialog.GetPathName();
    UpdateData(true);
    // The file is replaced only when every byte has been written, so a failed
    // save leaves the old file, the current list file and the profile as they were.
    bool damaged = false;
    if (!WriteListFile(path, m_szList, &damaged)) {
        if (damaged) {
            // Written in place (a hard-linked file, a folder that takes no new
            // file) and stopped part-way: the old list is gone too, so say so.
            MessageBox("The list file\n  " + path +
                           "\ncould not be written completely and may be damaged. Save the "
                           "list again, or to another file.",
                       nullptr, MB_OK | MB_ICONEXCLAMATION);
        } else {
            MessageBox("ﾌｧｲﾙのｵｰﾌﾟﾝ ｴﾗｰです.", nullptr, MB_OK);
        }
        return;
    }
    AfxGetApp()->WriteProfileString(profile_keys::kDialSection, profile_keys::kLoadFile, path);
    m_strFileName = path;
    m_strLoadPath = path;
    UpdateData(false);
}
