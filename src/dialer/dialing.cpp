// Dial and Stop: the speaker sequencer and the modem exchange, paced by TIMER_DIAL.
#include <algorithm>
#include <cstring>
#include <optional>

#include "dialer/dialer_dlg.h"
#include "output/dial_step.h"
#include "output/dtmf_playback.h"
#include "output/modem_lines.h"

namespace {
constexpr const char* kTimerError = "ﾀｲﾏのｴﾗｰです";
constexpr const char* kPortOpenError = "COMﾎﾟｰﾄのｵｰﾌﾟﾝ ｴﾗｰです.";
constexpr const char* kModemStatus = "Modem initializing...";
constexpr const char* kHaltedLine = "The dial is halted: Stop ends it, then Dial tries again.";
constexpr const char* kNoPortLine = "No port is chosen: choose COM1 to COM4 under Option.";
constexpr const char* kResultPrefix = "Modem: ";
constexpr const char* kDialRunningLine = "A dial is in progress: Stop ends it.";
constexpr const char* kNoAnswer = "no answer from the modem";
constexpr const char* kSoundFailureHint =
    "Keys and dials go on without sound. Help (Troubleshooting) says what to check.";

constexpr UINT kModemPollMs = 100;
constexpr int kResultShownMs = 3000;
// A modem that has not answered the dial line by then never will.
constexpr int kModemAnswerMs = 60000;
// Read per tick, so that a device that never stops sending cannot hold the window.
constexpr size_t kModemReadPerTick = 4096;
}  // namespace

void CDialerDlg::OnDial() {
    if (m_nCloseAfterHangUp != 0) return;  // the window is closing
    UpdateData(true);
    if (m_nOutputDevice == 0 && m_bDialing == 0) {
        m_nDialPos = 0;
        m_bDialing = 1;
        OnTimer(TIMER_DIAL);
    } else if (m_nOutputDevice == 1 && m_bDialing == 0 && m_strLineUp.empty()) {
        m_bDialing = 1;
        OnTimer(TIMER_DIAL);
    } else if (m_bDialing == 1 || !m_strLineUp.empty()) {
        SayDialBusy();
    }
    UpdateStatusCaption();
}

void CDialerDlg::SayDialBusy() {
    if (m_bDialing != 1) {
        // Dialing now would send the commands down the call as data.
        MessageBox("The modem's line is up (" + m_strLineUp + "): Stop hangs up, then Dial dials again.");
    } else if (!DialHalted()) {
        MessageBox(kDialRunningLine);
    } else {
        // Halted: say so again rather than seem dead.
        MessageBox(m_strHaltMessage.empty() ? kHaltedLine : m_strHaltMessage + "\n" + kHaltedLine);
    }
}

void CDialerDlg::OnTimer(UINT nIDEvent) {
    if (nIDEvent == TIMER_MODEM_LINE)
        PollModemLine();
    else if (nIDEvent == TIMER_HANGUP)
        HangUpStep();
    else
        DialStep(nIDEvent);
    CloseOnceHungUp();
    UpdateStatusCaption();
}

void CDialerDlg::DialStep(UINT nIDEvent) {
    UpdateData(true);
    if (m_nOutputDevice != 1) LeaveModemExchange();
    if (m_nOutputDevice == 1) {
        ModemStep();
        CDialog::OnTimer(nIDEvent);
        return;
    }
    if (m_nOutputDevice != 0 || m_bDialing != 1) {
        CDialog::OnTimer(nIDEvent);
        return;
    }

    // Each armed timer is stopped by the step it triggers, so it acts as a one-shot.
    if (m_bTimerSet == 1) KillTimer(TIMER_DIAL);
    m_bTimerSet = 0;

    if (m_nDialPos >= static_cast<int>(std::strlen(m_szDial))) {
        m_bDialing = 0;
        ShowDialProgress();
        return;
    }

    const char c = m_szDial[m_nDialPos];
    DialStepDecision step = DecideDialStep(c, m_nPlayWait, m_nCharWait, m_nMinusWait);
    // The character in hand counts as dialled while it sounds or pauses.
    SelectDialled(m_nDialPos + 1);
    if (step.clipId != 0) {
        // Its keypad button looks pressed while the tone plays, as for a typed key.
        const int button = KeypadButtonFor(c);
        if (button != 0) Native()->ShowPressed(button, true);
        // The dial's first tone sounds at once; the others keep the time
        // planned since the tone before, though a timer message come late.
        PlayDtmfSound(step.clipId, PlannedSilenceBefore(m_szDial, static_cast<size_t>(m_nDialPos),
                                                        m_nPlayWait, m_nCharWait, m_nMinusWait));
        if (button != 0 && Native()) Native()->ShowPressed(button, false);
        // Two equal tones too close together are heard as one digit.
        step.waitMs = GapAfterTone(c, m_szDial + m_nDialPos + 1, m_nPlayWait, m_nCharWait,
                                   m_nMinusWait);
    }
    ++m_nDialPos;

    if (step.ownWait || step.waitMs != 0) {
        if (SetTimer(TIMER_DIAL, static_cast<UINT>(step.waitMs), nullptr) == 0) {
            MessageBox(kTimerError);
            return;
        }
        m_bTimerSet = 1;
        // Said with the next step armed: the dial goes on under the message.
        SaySoundFailure(0);
        if (step.ownWait) return;
    } else {
        DialStep(nIDEvent);  // no gap: the next character at once
        SaySoundFailure(0);
    }
    CDialog::OnTimer(nIDEvent);
}

int CDialerDlg::DialledCount() const {
    if (m_bDialing == 1 && m_nOutputDevice == 0) return m_nDialPos;
    if (m_bAwaitingResult) return m_nSentChars;  // the modem is dialling what it was sent
    return 0;
}

void CDialerDlg::SelectDialled(int count) {
    // A status text or a result on view has nothing to show it on.
    if (!Native() || m_strDial != m_szDial) return;
    count = std::clamp(count, 0, static_cast<int>(m_strDial.size()));
    Native()->SelectText(IDC_DIAL_FIELD, 0, count);
}

void CDialerDlg::SaySoundFailure(int pressedButton) {
    port::SoundOutput* sound = AfxGetApp()->Sound();
    const std::optional<std::string> why = sound ? sound->TakeFailure() : std::nullopt;
    if (!why) return;
    if (pressedButton != 0 && Native()) Native()->ShowPressed(pressedButton, false);
    MessageBox("No sound: " + *why + ".\n" + kSoundFailureHint, nullptr, MB_OK | MB_ICONEXCLAMATION);
}

void CDialerDlg::UpdateStatusCaption() {
    if (!Native() || !Template()) return;
    std::string caption(Template()->caption);
    if (m_nCloseAfterHangUp != 0)
        caption += " - hanging up before closing";
    else if (m_nHangUpStage != 0)
        caption += " - hanging up";
    else if (!m_strLineUp.empty())
        caption += " - line up: " + m_strLineUp + " (Stop hangs up)";
    else if (DialHalted())
        caption += " - dial halted: press Stop";
    if (caption == m_strCaption) return;
    m_strCaption = caption;
    Native()->SetCaption(caption);
}

void CDialerDlg::OnStop() {
    if (m_nOutputDevice == 0 && m_bDialing == 1) {
        if (m_bTimerSet == 1) KillTimer(TIMER_DIAL);
        m_nDialPos = 0;
        m_bDialing = 0;
        m_bTimerSet = 0;
        ShowDialProgress();
    }
    if (m_nOutputDevice == 1)
        ModemStop();
    else
        LeaveModemExchange();
    UpdateStatusCaption();
}

void CDialerDlg::LeaveModemExchange() {
    // Speaker chosen while the modem wait runs: the status text must not stay,
    // and the next modem dial must start again with the initialisation line.
    if (m_nModemPhase == 0) return;
    m_nModemPhase = 0;
    EndModemExchange();
    m_strDial = m_szDial;
    UpdateData(false);
}

void CDialerDlg::OnSpeaker() { UpdateData(true); }

void CDialerDlg::OnModem() { UpdateData(true); }

int CDialerDlg::DoModal() {
    const int result = CDialog::DoModal();
    // The window's timers have gone with it.
    EndModemExchange();
    m_bModemTimerSet = false;
    m_nResultLeftMs = 0;
    m_strShownResult.clear();
    m_nCloseAfterHangUp = 0;
    m_strCaption.clear();
    return result;
}

port::SerialLine* CDialerDlg::ModemLine() {
    if (m_modemLine) return m_modemLine.get();
    port::SerialPorts* ports = AfxGetApp()->Serial();
    const std::string name = ModemPortName(m_nModemPort);
    if (ports && !name.empty()) m_modemLine = ports->Open(name);
    if (m_modemLine) {
        m_modemReplies.Clear();
        return m_modemLine.get();
    }
    std::string text = kPortOpenError;
    if (name.empty()) {
        text += std::string("\n") + kNoPortLine;
    } else if (ports) {
        const port::SerialOpenFailure why = ports->LastFailure();
        if (!why.reason.empty())
            text += "\n" + (why.device.empty() ? why.reason : why.device + ": " + why.reason) + ".";
    }
    if (m_bDialing == 1 && m_nModemPhase == 0) m_strHaltMessage = text;
    UpdateStatusCaption();
    MessageBox(text);
    return nullptr;
}

void CDialerDlg::ModemStep() {
    if (m_bDialing != 1) return;
    port::SerialLine* port = ModemLine();
    if (!port) return;  // at the second step the armed timer retries on its next tick
    m_strHaltMessage.clear();

    if (m_nModemPhase == 0) {
        m_strSavedDial = m_strDial;
        m_strDial = kModemStatus;
        UpdateData(false);
        // A new exchange on a line still held: what came before is forgotten,
        // and a hang-up under way gives way to it.
        m_bAwaitingResult = false;
        m_bVoiceCall = false;
        m_nAnswersDue = ModemAnswersLine(m_szModemInit) ? 1 : 0;
        if (m_nHangUpStage != 0) {
            KillTimer(TIMER_HANGUP);
            m_nHangUpStage = 0;
        }
        // Results of writing are not looked at: the dial goes on either way, and a
        // modem that heard nothing does not answer.
        port->Write(ComposeModemInitLine(m_szModemInit));
        if (SetTimer(TIMER_DIAL, static_cast<UINT>(m_nModemInitWait), nullptr) == 0) {
            UpdateModemTimer();
            MessageBox(kTimerError);
            return;
        }
        m_bTimerSet = 1;
        m_nModemPhase = 1;
        UpdateModemTimer();
    } else if (m_nModemPhase == 1) {
        // The field shows the dial string as it is now, keys pressed during the wait included.
        m_strDial = m_szDial;
        UpdateData(false);
        if (m_bTimerSet == 1) {
            KillTimer(TIMER_DIAL);
            m_bTimerSet = 0;
        }
        port->Write(ComposeModemDialLine(m_szModemDial, m_szDial));
        m_bDialing = 0;
        m_nModemPhase = 0;
        // The line stays up while the modem dials: closing it would drop DTR,
        // and a modem in its factory setting abandons the call when it drops.
        m_bAwaitingResult = true;
        m_bVoiceCall = ModemDialIsVoiceCall(std::string(m_szModemDial) + m_szDial);
        m_nAnswerLeftMs = kModemAnswerMs;
        if (ModemAnswersLine(m_szModemDial)) ++m_nAnswersDue;
        m_nSentChars = static_cast<int>(std::strlen(m_szDial));
        ShowDialProgress();
        UpdateModemTimer();
    }
}

void CDialerDlg::ModemStop() {
    if (m_bDialing == 1) {
        m_strDial = m_szDial;
        UpdateData(false);
        if (m_bTimerSet == 1) KillTimer(TIMER_DIAL);
        m_nDialPos = 0;
        m_bDialing = 0;
        m_bTimerSet = 0;
    }
    // The next modem dial always starts with the initialisation line, even when
    // the port cannot be opened now.
    m_nModemPhase = 0;
    m_strHaltMessage.clear();
    m_bAwaitingResult = false;
    ShowDialProgress();
    // A hang-up under way needs its silence: a line now would go down the call.
    if (m_nHangUpStage != 0) return;
    port::SerialLine* port = ModemLine();
    if (!port) return;
    const bool written = port->Write(ComposeModemEmptyLine());
    if (!m_bConnected || !written) {
        EndModemExchange();
        return;
    }
    StartHangUp();
}

void CDialerDlg::StartHangUp() {
    m_nHangUpStage = 1;
    if (SetTimer(TIMER_HANGUP, kModemGuardMs, nullptr) == 0) EndModemExchange();
}

void CDialerDlg::HangUpStep() {
    KillTimer(TIMER_HANGUP);
    if (!m_modemLine || m_nHangUpStage == 0) return;
    // A device that does not take the bytes ends it: the hang-up, and a close
    // waiting for it, take no longer than one write's time-out more.
    if (m_nHangUpStage == 1) {
        m_nHangUpStage = 2;
        if (m_modemLine->Write(kModemEscape) && SetTimer(TIMER_HANGUP, kModemGuardMs, nullptr) != 0)
            return;
    } else {
        m_modemLine->Write(ComposeModemHangUpLine());
    }
    EndModemExchange();
}

bool CDialerDlg::HangUpBeforeClose(int result) {
    if (m_bConnected && m_nHangUpStage == 0 && m_modemLine) {
        if (m_modemLine->Write(ComposeModemEmptyLine()))
            StartHangUp();
        else
            EndModemExchange();
    } else if (!m_strLineUp.empty() && m_nHangUpStage == 0 && m_modemLine) {
        // A voice call in the handset's hands: the empty line, then closing the
        // port drops DTR, as Stop does.
        m_modemLine->Write(ComposeModemEmptyLine());
        EndModemExchange();
    }
    if (m_nHangUpStage == 0) return false;
    m_nCloseAfterHangUp = result;
    UpdateStatusCaption();
    return true;
}

void CDialerDlg::CloseOnceHungUp() {
    if (m_nCloseAfterHangUp == 0 || m_nHangUpStage != 0) return;
    const int result = m_nCloseAfterHangUp;
    m_nCloseAfterHangUp = 0;
    UpdateData(true);
    SaveDialState(true);
    if (result == IDOK)
        CDialog::OnOK();
    else
        CDialog::OnCancel();
}

void CDialerDlg::PollModemLine() {
    if (m_modemLine) {
        std::string bytes;
        const bool alive = m_modemLine->Read(bytes, kModemReadPerTick);
        // Only the latest result is shown: a chattering modem costs one redraw a tick.
        std::string latest;
        for (const std::string& line : m_modemReplies.Feed(bytes)) {
            if (!HandleModemReply(line, latest)) break;  // the exchange is over
        }
        if (!latest.empty()) ShowModemResult(latest);
        if (m_modemLine && !alive) {
            EndModemExchange();  // unplugged or hung up; the next step opens it again
        } else if (m_modemLine && m_bAwaitingResult) {
            m_nAnswerLeftMs -= static_cast<int>(kModemPollMs);
            if (m_nAnswerLeftMs <= 0) {
                EndModemExchange();
                ShowModemResult(kNoAnswer);
            }
        }
    }
    if (m_nResultLeftMs > 0) {
        m_nResultLeftMs -= static_cast<int>(kModemPollMs);
        if (m_nResultLeftMs <= 0) {
            // Put back what the result covered, unless something else has been shown since.
            UpdateData(true);
            if (m_strDial == m_strShownResult) {
                m_strDial = m_bDialing == 1 && m_nModemPhase == 1 ? kModemStatus : m_szDial;
                UpdateData(false);
                ShowDialProgress();
            }
            m_strShownResult.clear();
        }
    }
    UpdateModemTimer();
}

bool CDialerDlg::HandleModemReply(const std::string& line, std::string& latest) {
    const std::optional<ModemResult> result = ParseModemResult(line);
    if (!result) return true;
    if (m_bConnected && !m_bAwaitingResult) {
        // Connected, the line carries the other end's data; only the modem's
        // word that the call has gone counts.
        if (result->text != "NO CARRIER") return true;
        latest = result->text;
        EndModemExchange();
        return false;
    }
    latest = result->text;
    if (!result->final) return true;
    // Each command gets one final result, in order: an OK or ERROR that
    // answers the initialisation late, after the dial line, does not end the
    // dial. The other results only ever answer a dial.
    const bool answersAnyCommand = result->text == "OK" || result->text == "ERROR";
    if (!m_bAwaitingResult || (m_nAnswersDue > 1 && answersAnyCommand)) {
        if (m_nAnswersDue > 0) --m_nAnswersDue;
        return true;
    }
    m_bAwaitingResult = false;
    if (result->connect) {
        m_bConnected = true;  // the line is held until Stop hangs up
        m_strLineUp = result->text;
        return true;
    }
    // The handset has the call now; closing the port would drop DTR under
    // it, so the line is held until Stop.
    if (m_bVoiceCall && result->text == "OK") {
        m_strLineUp = "voice call";
        return true;
    }
    EndModemExchange();
    return false;
}

void CDialerDlg::ShowModemResult(const std::string& text) {
    UpdateData(true);
    m_strShownResult = kResultPrefix + text;
    m_strDial = m_strShownResult;
    UpdateData(false);
    m_nResultLeftMs = kResultShownMs;
}

void CDialerDlg::EndModemExchange() {
    if (m_nHangUpStage != 0) KillTimer(TIMER_HANGUP);
    m_nHangUpStage = 0;
    m_modemLine.reset();
    m_modemReplies.Clear();
    m_bAwaitingResult = false;
    m_nAnswersDue = 0;
    m_bConnected = false;
    m_bVoiceCall = false;
    m_strLineUp.clear();
    m_nSentChars = 0;
    UpdateModemTimer();
}

void CDialerDlg::UpdateModemTimer() {
    const bool needed = m_modemLine || m_nResultLeftMs > 0;
    if (needed && !m_bModemTimerSet) {
        m_bModemTimerSet = SetTimer(TIMER_MODEM_LINE, kModemPollMs, nullptr) != 0;
    } else if (!needed && m_bModemTimerSet) {
        KillTimer(TIMER_MODEM_LINE);
        m_bModemTimerSet = false;
    }
}
