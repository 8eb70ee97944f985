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
    }
}

void CDialerDlg::OnTimer(UINT nIDEvent) {
    UpdateData(true);
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
        PlayDtmfSound(step.clipId);
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
    if (m_nOutputDevice == 1) ModemStop();
}

void CDialerDlg::OnSpeaker() { UpdateData(true); }

void CDialerDlg::OnModem() { UpdateData(true); }

std::unique_ptr<port::SerialLine> CDialerDlg::OpenModemPort() {
    port::SerialPorts* ports = AfxGetApp()->Serial();
    const std::string name = ModemPortName(m_nModemPort);
    std::unique_ptr<port::SerialLine> line =
        ports && !name.empty() ? ports->Open(name) : nullptr;
    if (!line) MessageBox(kPortOpenError);
    return line;
}

void CDialerDlg::ModemStep() {
    if (m_bDialing != 1) return;
    std::unique_ptr<port::SerialLine> port = OpenModemPort();
    if (!port) return;  // at the second step the armed timer retries on its next tick

    if (m_nModemPhase == 0) {
        m_strSavedDial = m_strDial;
        m_strDial = kModemStatus;
        UpdateData(false);
        // Results of writing are not looked at, as with the original stream.
        port->Write(ComposeModemInitLine(m_szModemInit));
        port.reset();
        if (SetTimer(TIMER_DIAL, static_cast<UINT>(m_nModemInitWait), nullptr) == 0) {
            MessageBox(kTimerError);
            return;
        }
        m_bTimerSet = 1;
        m_nModemPhase = 1;
    } else if (m_nModemPhase == 1) {
        // The field shows the dial string as it is now, keys pressed during the wait included.
        m_strDial = m_szDial;
        UpdateData(false);
        if (m_bTimerSet == 1) {
            KillTimer(TIMER_DIAL);
            m_bTimerSet = 0;
        }
        port->Write(ComposeModemDialLine(m_szModemDial, m_szDial));
        port.reset();
        m_bDialing = 0;
        m_nModemPhase = 0;
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
    std::unique_ptr<port::SerialLine> port = OpenModemPort();
    if (!port) return;
    port->Write(ComposeModemEmptyLine());
}
