#include "settings/option_dlg.h"

#include "resources/resource_ids.h"
#include "settings/profile_keys.h"

namespace {
using profile_keys::kMaxModemInitWait;
using profile_keys::kMaxToneWait;
constexpr int kMaxCommandBytes = 32;  // the dialer keeps each command in 33 bytes
constexpr int kMaxIntlPrefixBytes = 16;

bool IsDialChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'D') || c == '*' || c == '#' || c == '-' ||
           c == ',';
}

// The prefix takes the place of a "+" in the dial string, so it holds what the
// keypad can dial and nothing else.
void DDV_DialChars(CDataExchange* pDX, const std::string& value) {
    if (pDX->Failed() || !pDX->m_bSaveAndValidate) return;
    for (char c : value) {
        if (IsDialChar(c)) continue;
        AfxMessageBox(fw::Tr("0～9, A～D, *, #, - と , (カンマ) だけを入力してください."),
                      MB_OK | MB_ICONEXCLAMATION);
        pDX->Fail();
        return;
    }
}
}  // namespace

COptionDlg::COptionDlg(CDialog* pParent) : CDialog(res::IDD_OPTION, pParent) {}

void COptionDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Text(pDX, IDC_OPT_CHAR_WAIT, m_nCharWait);
    DDV_MinMaxInt(pDX, m_nCharWait, 0, kMaxToneWait);
    DDX_Text(pDX, IDC_OPT_PLAY_WAIT, m_nPlayWait);
    DDV_MinMaxInt(pDX, m_nPlayWait, 0, kMaxToneWait);
    DDX_Text(pDX, IDC_OPT_MINUS_WAIT, m_nMinusWait);
    DDV_MinMaxInt(pDX, m_nMinusWait, 0, kMaxToneWait);
    DDX_Radio(pDX, IDC_OPT_COM1, m_nModemPort);
    DDX_Text(pDX, IDC_OPT_MODEM_DIAL, m_strModemDial);
    DDV_MaxChars(pDX, m_strModemDial, kMaxCommandBytes);
    DDX_Text(pDX, IDC_OPT_MODEM_INIT, m_strModemInit);
    DDV_MaxChars(pDX, m_strModemInit, kMaxCommandBytes);
    DDX_Text(pDX, IDC_OPT_MODEM_INIT_WAIT, m_nModemInitWait);
    DDV_MinMaxInt(pDX, m_nModemInitWait, 0, kMaxModemInitWait);
    DDX_Text(pDX, IDC_OPT_INTL_PREFIX, m_strIntlPrefix);
    DDV_MaxChars(pDX, m_strIntlPrefix, kMaxIntlPrefixBytes);
    DDV_DialChars(pDX, m_strIntlPrefix);
}

bool COptionDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    // The buttons only say COM1 to COM4; the device behind each is what the user looks for.
    if (port::SerialPorts* ports = AfxGetApp()->Serial()) {
        for (int i = 0; i < 4; ++i) {
            const std::string path = ports->DevicePath("COM" + std::to_string(i + 1));
            if (!path.empty()) Native()->SetToolTip(IDC_OPT_COM1 + i, path);
        }
    }
    Native()->SetToolTip(IDC_OPT_INTL_PREFIX,
                         fw::Tr("番号の先頭の + の代わりにダイアルする番号 (日本 010, 北米 011, 欧州の多く 00)"));
    if (m_nInitialFocus == 0) return true;
    GotoDlgCtrl(m_nInitialFocus);
    return false;
}
