// Dial and Stop: the speaker sequencer and the modem exchange, paced by TIMER_DIAL.
#include <cstring>

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

constexpr UINT kModemPollMs = 100;
constexpr int kResultShownMs = 3000;
// A modem that has not answered the dial line by then never will.
constexpr int kModemAnswerMs = 60000;
// Read per tick, so that a device that never stops sending cannot hold the window.
constexpr size_t kModemReadPerTick = 4096;
}  // namespace

void CDialerDlg::OnDial() {
    UpdateData(true);
    if (m_nOutputDevice == 0 && m_bDialing == 0) {
        m_nDialPos = 0;
        m_bDialing = 1;
        OnTimer(TIMER_DIAL);
    } else if (m_nOutputDevice == 1 && m_bDialing == 0) {
        m_bDialing = 1;
        OnTimer(TIMER_DIAL);
    } else if (m_nOutputDevice == 1 && m_bTimerSet == 0 && m_nModemPhase == 0 &&
               !m_strHaltMessage.empty()) {
        // Halted at its first step: say so again rather than seem dead.
        MessageBox(m_strHaltMessage + "\n" + kHaltedLine);
    }
}

void CDialerDlg::OnTimer(UINT nIDEvent) {
    if (nIDEvent == TIMER_MODEM_LINE) return PollModemLine();
    if (nIDEvent == TIMER_HANGUP) return HangUpStep();
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
        return;
    }

    const char c = m_szDial[m_nDialPos];
    DialStepDecision step = DecideDialStep(c, m_nPlayWait, m_nCharWait, m_nMinusWait);
    if (step.clipId != 0) {
        // The dial's first tone sounds at once; the others keep the time
        // planned since the tone before, though a timer message come late.
        PlayDtmfSound(step.clipId, PlannedSilenceBefore(m_szDial, static_cast<size_t>(m_nDialPos),
                                                        m_nPlayWait, m_nCharWait, m_nMinusWait));
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
        if (step.ownWait) return;
    } else {
        OnTimer(nIDEvent);  // no gap: the next character at once
    }
    CDialog::OnTimer(nIDEvent);
}

void CDialerDlg::OnStop() {
    if (m_nOutputDevice == 0 && m_bDialing == 1) {
        if (m_bTimerSet == 1) KillTimer(TIMER_DIAL);
        m_nDialPos = 0;
        m_bDialing = 0;
        m_bTimerSet = 0;
    }
    if (m_nOutputDevice == 1)
        ModemStop();
    else
        LeaveModemExchange();
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
    port::SerialLine* port = ModemLine();
    if (!port) return;
    port->Write(ComposeModemEmptyLine());
    if (!m_bConnected) {
        EndModemExchange();
        return;
    }
    // Connected, the modem takes everything as data for the other end: only
    // the escape between two guard times of silence brings back its commands.
    m_nHangUpStage = 1;
    if (SetTimer(TIMER_HANGUP, kModemGuardMs, nullptr) == 0) EndModemExchange();
}

void CDialerDlg::HangUpStep() {
    KillTimer(TIMER_HANGUP);
    if (!m_modemLine || m_nHangUpStage == 0) return;
    if (m_nHangUpStage == 1) {
        m_modemLine->Write(kModemEscape);
        m_nHangUpStage = 2;
        if (SetTimer(TIMER_HANGUP, kModemGuardMs, nullptr) != 0) return;
    } else {
        m_modemLine->Write(ComposeModemHangUpLine());
    }
    EndModemExchange();
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
            if (m_nAnswerLeftMs <= 0) EndModemExchange();
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
        return true;
    }
    // The handset has the call now; closing the port would drop DTR under
    // it, so the line is held until Stop.
    if (m_bVoiceCall && result->text == "OK") return true;
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
