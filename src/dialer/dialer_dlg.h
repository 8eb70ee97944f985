#pragma once
// The dialer window: the program's one main window and the owner of all its state.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "dialer/dial_request.h"
#include "dialer/number_text.h"
#include "framework/afxwin.h"
#include "output/modem_lines.h"

// Control identifiers of the dialer window.
enum : int {
    IDC_KEY_1 = 1000, IDC_KEY_2, IDC_KEY_3, IDC_KEY_4, IDC_KEY_5, IDC_KEY_6, IDC_KEY_7,
    IDC_KEY_8, IDC_KEY_9, IDC_KEY_0, IDC_KEY_STAR, IDC_KEY_SHARP, IDC_KEY_A, IDC_KEY_B,
    IDC_KEY_C,
    IDC_DIAL_FIELD = 1015,
    IDC_KEY_D = 1016,
    IDC_KEY_CLEAR = 1017,
    IDC_KEY_WAIT = 1018,
    IDC_DIAL = 1019,
    IDC_STOP = 1020,
    IDC_KEY_BS = 1021,
    IDC_OPTION = 1024,
    IDC_HELP_BUTTON = 1025,
    IDC_ROW_0 = 1026,  // to 1030
    IDC_ROW_SELECT_0 = 1051,  // to 1055
    IDC_KEY_MINUS = 1056,
    IDC_LIST_COPY = 1057,
    IDC_DIAL_COPY = 1058,
    IDC_LIST_SAVE = 1059,
    IDC_LIST_LOAD = 1060,
    IDC_FILE_NAME = 1065,
    IDC_SPEAKER = 1066,
    IDC_MODEM = 1067,
    IDC_LIST_DELETE = 1089,
    IDC_LIST_SLIDER = 1091,
    IDC_ROW_NO_0 = 1092,  // to 1096
};

// The keypad button a dial character stands for; 0 for none.
int KeypadButtonFor(char c);

constexpr UINT TIMER_DIAL = 1;
// While the modem's line is held or its result is on view: reads the line and
// times the result. Never runs a dial step.
constexpr UINT TIMER_MODEM_LINE = 2;
// The guard times of a hang-up after CONNECT, one at a time.
constexpr UINT TIMER_HANGUP = 3;
constexpr UINT IDM_ABOUTBOX = 0x0010;
constexpr int kDialChars = 255;  // the dial string and each list entry, without the terminator
constexpr int kListSize = 100;
constexpr int kVisibleRows = 5;
constexpr int kModemCommandChars = 32;

class CDialerDlg : public CDialog {
public:
    explicit CDialerDlg(CDialog* pParent = nullptr);
    ~CDialerDlg() override;

    // The state record, in its order.
    char m_szDial[kDialChars + 1];
    int m_nDialLen;
    char m_szList[kListSize][kDialChars + 1];
    char m_szModemDial[kModemCommandChars + 1];
    char m_szModemInit[kModemCommandChars + 1];
    int m_nDialPos;
    int m_nPlayWait;
    int m_nCharWait;
    int m_nMinusWait;
    int m_nModemInitWait;
    int m_nModemPort;
    int m_bDialing;
    int m_bTimerSet;
    int m_nModemPhase;
    int m_bSysClose;
    std::string m_strSavedDial;
    std::string m_strLoadPath;
    CSliderCtrl m_ctlSlider;
    std::string m_strDial;
    std::string m_strRow[kVisibleRows];
    int m_nTransSelect;
    std::string m_strFileName;
    int m_nOutputDevice;
    std::string m_strRowNo[kVisibleRows];
    HICON m_hIcon;

    // Dial string editing.
    void AddDialChar(char c, UINT clipId);
    void OnKey0();
    void OnKey1();
    void OnKey2();
    void OnKey3();
    void OnKey4();
    void OnKey5();
    void OnKey6();
    void OnKey7();
    void OnKey8();
    void OnKey9();
    void OnKeyA();
    void OnKeyB();
    void OnKeyC();
    void OnKeyD();
    void OnKeyStar();
    void OnKeySharp();
    void OnKeyMinus();
    void OnKeyWait();
    void OnKeyBs();
    void OnKeyClear();
    // The keyboard and the clipboard: typed keys stand for keypad buttons; a
    // pasted number is appended whole or not at all; Ctrl+C copies the dial string.
    void PressKeypadButton(int id);
    void PasteNumber();
    void CopyDialString();

    // Dialing.
    void OnDial();
    void OnTimer(UINT nIDEvent);
    void OnStop();
    void OnSpeaker();
    void OnModem();
    // Ends the modem exchange when the window closes.
    int DoModal() override;
    // A dial stopped where it was, waiting for Stop: the step that would have
    // gone on could not (the port did not open, the timer could not be armed).
    bool DialHalted() const { return m_bDialing == 1 && m_bTimerSet == 0; }

    // The dial list and its files.
    void RefreshListView();
    void OnVScroll(UINT nSBCode, UINT nPos, CScrollBar* pScrollBar);
    void OnSelectRow();
    void OnRowClicked(UINT nID);
    bool OnMouseWheel(int nCtrlId, int zDelta);
    void OnDialCopy();
    void OnListCopy();
    void OnListDelete();
    void LoadListFile(std::string path, int bPrevious);
    void OnListLoad();
    void OnListSave();
    // Runs the save dialog and saves the list; false when cancelled or failed.
    bool SaveListAs();
    // Takes the list as it is now for the one last loaded or saved.
    void KeepListState();

    // Settings.
    void OnOption();
    // Runs the options dialog, its focus first in control focusId (0: as it
    // opens by itself); true when it ended with OK and its settings were taken.
    bool RunOptions(int focusId);
    // The dial state written at closing; the list-file path only when asked.
    void SaveDialState(bool withListFile) const;

    // A number from outside the window. Before the window is up it takes the
    // place of the last dial string the window starts with; afterwards it
    // replaces the dial string on view. A number the dial string cannot take is
    // reported and changes nothing.
    void TakeNumber(DialRequest request);

    // Window frame, about box and help.
    void OnSysCommand(UINT nID, long lParam);
    void OnPaint();
    HCURSOR OnQueryDragIcon();
    void OnHelpButton();

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    bool OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    bool PreTranslateChar(char c) override;
    bool PreTranslateEditKey(port::EditKey key) override;

private:
    // The profile half of the initialisation.
    void LoadProfile();
    // The closing gate: open for the command's own button, or after the system Close.
    bool CloseGateOpen(int ownButton) const;
    void PutNumber(const DialRequest& request);
    // Shows the box for a number not taken. One is shown at a time: a refusal
    // while one is open waits for it, in place of any waiting before, so numbers
    // handed over by the thousand never stack boxes inside boxes.
    void SayNotTaken(std::function<void()> showBox);
    // The message for a dial string that would pass its limit.
    void SayLengthLimit();
    // A number from outside the keypad, as the dial string takes it, with the
    // profile's IntlPrefix for a leading "+".
    NormalizedNumber TakeAsDialString(const std::string& text) const;
    // Shows a refusal for want of IntlPrefix with the offer to set it in the
    // options; true when it has been set there, so the number can be taken now.
    bool OfferIntlPrefix(const std::string& refusal);
    // One step of a speaker dial, or of the modem exchange when Modem is chosen.
    void DialStep(UINT nIDEvent);
    void ModemStep();
    void ModemStop();
    // Where the dial is: the characters dialled so far shown selected in the
    // dial field, while the field shows the dial string.
    int DialledCount() const;
    void SelectDialled(int count);
    void ShowDialProgress() { SelectDialled(DialledCount()); }
    // Says once, until a play succeeds again, that the sound device failed.
    // pressedButton: a keypad button shown held down, let go before the message.
    void SaySoundFailure(int pressedButton);
    // Dial while a dial runs or the modem's line is up.
    void SayDialBusy();
    // The title bar says what the modem's line and a halted dial are doing.
    void UpdateStatusCaption();
    // Connected, the modem takes every byte as data: only the escape between
    // two guard times of silence brings back its commands, then ATH.
    void StartHangUp();
    // Closing while the line is up hangs up first, as Stop does; true when the
    // window is to close once that is done (with result).
    bool HangUpBeforeClose(int result);
    void CloseOnceHungUp();
    // Puts the dial string back in the field when a dial no longer runs the modem exchange.
    void LeaveModemExchange();
    // Makes path the current list file, remembered in the profile when it can
    // be, and the list as it stands what that file holds.
    void SetListFile(const std::string& path);
    // Whether the list differs from what the last load or save left.
    bool ListChanged() const;
    // Whether closing now would lose changes to the list made since then.
    bool ListChangesWouldBeLost() const;
    // Asks whether to save the changed list first: true to go on (No, or Yes
    // and saved), false to leave everything as it is.
    bool AskToSaveList(const char* question);
    // Asks before such a close; false when the window is to stay open.
    bool ConfirmListBeforeClose();
    // The modem's held line, opened now when there is none; on failure the
    // open-error box has been shown, its text is kept for a halted dial, and
    // the result is nullptr.
    port::SerialLine* ModemLine();
    void PollModemLine();
    void HangUpStep();
    // Acts on one line from the modem, keeping a result code in latest; false
    // when it ended the exchange.
    bool HandleModemReply(const std::string& line, std::string& latest);
    void ShowModemResult(const std::string& text);
    void EndModemExchange();
    // Arms TIMER_MODEM_LINE while there is something for it to do, stops it after.
    void UpdateModemTimer();

    // The modem exchange: its line is held from the initialisation line until a
    // final result, Stop, or kModemAnswerMs after the dial line; after a CONNECT,
    // or an OK to a voice dial, until the call ends or Stop.
    std::unique_ptr<port::SerialLine> m_modemLine;
    ModemReplyLines m_modemReplies;
    bool m_bAwaitingResult = false;   // the dial line is out, no final result yet
    int m_nAnswersDue = 0;            // command lines written whose final result is to come
    int m_nAnswerLeftMs = 0;
    bool m_bConnected = false;        // the modem said CONNECT on this line
    bool m_bVoiceCall = false;        // the dial line ended in ";": an OK leaves the call up
    int m_nHangUpStage = 0;           // 0 none, 1 before the escape, 2 after it
    bool m_bModemTimerSet = false;
    std::string m_strShownResult;     // what the dial field shows of a result, "" when none
    int m_nResultLeftMs = 0;
    std::string m_strHaltMessage;     // the open error that halted the dial at its first step
    std::string m_strLineUp;          // the result that brought the line up; "" while it is not
    int m_nSentChars = 0;             // characters of the dial string in the dial line sent
    int m_nCloseAfterHangUp = 0;      // IDOK or IDCANCEL: the window closes once the line is down
    std::string m_strCaption;         // as last set

    // Numbers from outside wait here until the profile has been read.
    bool m_bTakesNumbers = false;
    std::optional<DialRequest> m_pendingNumber;
    bool m_bSayingNotTaken = false;
    std::function<void()> m_sayNotTaken;

    char m_szListKept[kListSize][kDialChars + 1];

    DECLARE_MESSAGE_MAP()
};
