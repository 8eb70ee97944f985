// The dialer window's state record, its exchange, its command table, its
// initialisation and its closing gate.
#include "dialer/dialer_dlg.h"

#include <cstring>
#include <utility>

#include "resources/resource_ids.h"

CDialerDlg::CDialerDlg(CDialog* pParent)
    : CDialog(res::IDD_DIALER, pParent),
      m_nTransSelect(-1),
      m_nOutputDevice(-1),
      m_hIcon(AfxGetApp()->LoadIcon(res::IDR_MAINFRAME)) {
    // The working state is set by the initialisation; zeroing it here only keeps
    // a window that never opens from holding garbage.
    std::memset(m_szDial, 0, sizeof m_szDial);
    m_nDialLen = 0;
    std::memset(m_szList, 0, sizeof m_szList);
    std::memset(m_szListKept, 0, sizeof m_szListKept);
    std::memset(m_szModemDial, 0, sizeof m_szModemDial);
    std::memset(m_szModemInit, 0, sizeof m_szModemInit);
    m_nDialPos = m_nPlayWait = m_nCharWait = m_nMinusWait = 0;
    m_nModemInitWait = m_nModemPort = 0;
    m_bDialing = m_bTimerSet = m_nModemPhase = m_bSysClose = 0;
}

CDialerDlg::~CDialerDlg() = default;

void CDialerDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_LIST_SLIDER, m_ctlSlider);
    DDX_Text(pDX, IDC_DIAL_FIELD, m_strDial);
    DDV_MaxChars(pDX, m_strDial, kDialChars);
    for (int k = 0; k < kVisibleRows; ++k) {
        DDX_Text(pDX, IDC_ROW_0 + k, m_strRow[k]);
        DDV_MaxChars(pDX, m_strRow[k], kDialChars);
    }
    DDX_Radio(pDX, IDC_ROW_SELECT_0, m_nTransSelect);
    // The File field is read-only: a path of any length must never stop the exchange.
    DDX_Text(pDX, IDC_FILE_NAME, m_strFileName);
    DDX_Radio(pDX, IDC_SPEAKER, m_nOutputDevice);
    for (int k = 0; k < kVisibleRows; ++k) DDX_Text(pDX, IDC_ROW_NO_0 + k, m_strRowNo[k]);
}

BEGIN_MESSAGE_MAP(CDialerDlg, CDialog)
    ON_WM_SYSCOMMAND()
    ON_WM_PAINT()
    ON_WM_QUERYDRAGICON()
    ON_BN_CLICKED(IDC_KEY_0, OnKey0)
    ON_BN_CLICKED(IDC_KEY_1, OnKey1)
    ON_BN_CLICKED(IDC_KEY_2, OnKey2)
    ON_BN_CLICKED(IDC_KEY_3, OnKey3)
    ON_BN_CLICKED(IDC_KEY_4, OnKey4)
    ON_BN_CLICKED(IDC_KEY_5, OnKey5)
    ON_BN_CLICKED(IDC_KEY_6, OnKey6)
    ON_BN_CLICKED(IDC_KEY_7, OnKey7)
    ON_BN_CLICKED(IDC_KEY_8, OnKey8)
    ON_BN_CLICKED(IDC_KEY_9, OnKey9)
    ON_BN_CLICKED(IDC_KEY_A, OnKeyA)
    ON_BN_CLICKED(IDC_KEY_STAR, OnKeyStar)
    ON_BN_CLICKED(IDC_KEY_B, OnKeyB)
    ON_BN_CLICKED(IDC_KEY_C, OnKeyC)
    ON_BN_CLICKED(IDC_KEY_D, OnKeyD)
    ON_BN_CLICKED(IDC_KEY_SHARP, OnKeySharp)
    ON_BN_CLICKED(IDC_KEY_CLEAR, OnKeyClear)
    ON_BN_CLICKED(IDC_KEY_WAIT, OnKeyWait)
    ON_BN_CLICKED(IDC_DIAL, OnDial)
    ON_WM_TIMER()
    ON_BN_CLICKED(IDC_STOP, OnStop)
    ON_BN_CLICKED(IDC_KEY_BS, OnKeyBs)
    ON_BN_CLICKED(IDC_OPTION, OnOption)
    ON_COMMAND_RANGE(IDC_ROW_SELECT_0, IDC_ROW_SELECT_0 + kVisibleRows - 1, OnSelectRow)
    ON_CONTROL_RANGE(EN_CLICKED, IDC_ROW_0, IDC_ROW_0 + kVisibleRows - 1, OnRowClicked)
    ON_BN_CLICKED(IDC_KEY_MINUS, OnKeyMinus)
    ON_BN_CLICKED(IDC_DIAL_COPY, OnDialCopy)
    ON_BN_CLICKED(IDC_LIST_COPY, OnListCopy)
    ON_BN_CLICKED(IDC_LIST_LOAD, OnListLoad)
    ON_BN_CLICKED(IDC_LIST_SAVE, OnListSave)
    ON_BN_CLICKED(IDC_SPEAKER, OnSpeaker)
    ON_BN_CLICKED(IDC_MODEM, OnModem)
    ON_BN_CLICKED(IDC_LIST_DELETE, OnListDelete)
    ON_BN_CLICKED(IDC_HELP_BUTTON, OnHelpButton)
    ON_WM_VSCROLL()
    ON_WM_MOUSEWHEEL()
END_MESSAGE_MAP()

bool CDialerDlg::OnInitDialog() {
    CDialog::OnInitDialog();  // attaches the slider before it is set up below

    std::string_view about = fw::Tr(res::LoadStringResource(res::IDS_ABOUTBOX));
    if (!about.empty()) {
        Native()->AppendSystemMenuSeparator();
        Native()->AppendSystemMenuItem(IDM_ABOUTBOX, about);
    }

    Native()->SetIcon(m_hIcon, true);
    Native()->SetIcon(m_hIcon, false);

    for (auto& entry : m_szList) entry[0] = '\0';
    m_szDial[0] = '\0';
    m_nDialLen = 0;

    m_nDialPos = 0;
    m_bDialing = 0;
    m_bTimerSet = 0;
    m_nModemPhase = 0;
    m_bSysClose = 0;

    m_ctlSlider.SetRangeMax(kListSize - kVisibleRows, false);
    m_ctlSlider.SetPageSize(kVisibleRows);

    LoadProfile();
    KeepListState();
    // A number from the command line, or one that arrived during the profile's
    // messages, replaces the stored last dial string.
    m_bTakesNumbers = true;
    if (m_pendingNumber) PutNumber(*std::exchange(m_pendingNumber, std::nullopt));

    for (int k = 0; k < kVisibleRows; ++k) m_strRowNo[k] = std::to_string(k + 1);

    UpdateData(false);
    return true;
}

bool CDialerDlg::CloseGateOpen(int ownButton) const {
    return GetFocusId() == ownButton || m_bSysClose == 1;
}

void CDialerDlg::OnOK() {
    if (!CloseGateOpen(IDOK) || m_nCloseAfterHangUp != 0) return;
    if (!ConfirmListBeforeClose()) return;
    if (HangUpBeforeClose(IDOK)) return;
    UpdateData(true);
    SaveDialState(true);
    CDialog::OnOK();
}

void CDialerDlg::OnCancel() {
    if (!CloseGateOpen(IDCANCEL) || m_nCloseAfterHangUp != 0) return;
    if (!ConfirmListBeforeClose()) return;
    if (HangUpBeforeClose(IDCANCEL)) return;
    UpdateData(true);
    SaveDialState(true);
    CDialog::OnCancel();
}
