// Composing the dial string on the keypad, from the keyboard and from the clipboard.
#include "dialer/dialer_dlg.h"

#include <cstring>
#include <optional>

#include "dialer/number_text.h"
#include "output/dtmf_playback.h"
#include "settings/option_dlg.h"
#include "settings/profile_keys.h"

void CDialerDlg::SayLengthLimit() {
    MessageBox(fw::Tr("これ以上は入力できません."), "Input charcter length limit", MB_OK);
}

NormalizedNumber CDialerDlg::TakeAsDialString(const std::string& text) const {
    return NormalizeNumber(
        text, AfxGetApp()->GetProfileString(profile_keys::kDialSection, profile_keys::kIntlPrefix));
}

bool CDialerDlg::OfferIntlPrefix(const std::string& refusal) {
    // The prefix is set once and for all, so the refusal leads to where it is set.
    const std::string question =
        refusal + std::string(fw::Tr("\n\nSet the prefix in the options now? The number is then "
                                     "taken with it."));
    if (MessageBox(question, nullptr, MB_YESNO | MB_ICONEXCLAMATION) != IDYES) return false;
    return RunOptions(IDC_OPT_INTL_PREFIX) &&
           !AfxGetApp()->GetProfileString(profile_keys::kDialSection, profile_keys::kIntlPrefix).empty();
}

void CDialerDlg::AddDialChar(char c, UINT clipId) {
    if (m_nDialLen >= kDialChars) {
        SayLengthLimit();
        return;
    }
    m_szDial[m_nDialLen] = c;
    ++m_nDialLen;
    m_szDial[m_nDialLen] = '\0';
    m_strDial = m_szDial;
    UpdateData(false);
    ShowDialProgress();
    // Heard after the field shows the new character, and at once: a key
    // press keeps no time with the tone before it.
    if (clipId == 0) return;
    PlayDtmfSound(clipId, std::nullopt);
    SaySoundFailure(KeypadButtonFor(c));
}

void CDialerDlg::OnKey0() { AddDialChar('0', 2001); }
void CDialerDlg::OnKey1() { AddDialChar('1', 2002); }
void CDialerDlg::OnKey2() { AddDialChar('2', 2003); }
void CDialerDlg::OnKey3() { AddDialChar('3', 2004); }
void CDialerDlg::OnKey4() { AddDialChar('4', 2005); }
void CDialerDlg::OnKey5() { AddDialChar('5', 2006); }
void CDialerDlg::OnKey6() { AddDialChar('6', 2007); }
void CDialerDlg::OnKey7() { AddDialChar('7', 2008); }
void CDialerDlg::OnKey8() { AddDialChar('8', 2009); }
void CDialerDlg::OnKey9() { AddDialChar('9', 2010); }
void CDialerDlg::OnKeyA() { AddDialChar('A', 2011); }
void CDialerDlg::OnKeyB() { AddDialChar('B', 2012); }
void CDialerDlg::OnKeyC() { AddDialChar('C', 2013); }
void CDialerDlg::OnKeyD() { AddDialChar('D', 2014); }
void CDialerDlg::OnKeyStar() { AddDialChar('*', 2015); }
void CDialerDlg::OnKeySharp() { AddDialChar('#', 2016); }
void CDialerDlg::OnKeyMinus() { AddDialChar('-', 0); }
void CDialerDlg::OnKeyWait() { AddDialChar(',', 0); }

void CDialerDlg::OnKeyBs() {
    if (m_nDialLen <= 0) return;
    --m_nDialLen;
    m_szDial[m_nDialLen] = '\0';
    m_strDial = m_szDial;
    UpdateData(false);
    ShowDialProgress();
}

void CDialerDlg::OnKeyClear() {
    m_szDial[0] = '\0';
    m_nDialLen = 0;
    m_strDial = m_szDial;
    UpdateData(false);
}

// ---------------------------------------------------------------- keyboard and clipboard

int KeypadButtonFor(char c) {
    if (c >= '1' && c <= '9') return IDC_KEY_1 + (c - '1');
    if (c >= 'a' && c <= 'd') c = static_cast<char>(c - 'a' + 'A');
    switch (c) {
        case '0': return IDC_KEY_0;
        case '*': return IDC_KEY_STAR;
        case '#': return IDC_KEY_SHARP;
        case 'A': return IDC_KEY_A;
        case 'B': return IDC_KEY_B;
        case 'C': return IDC_KEY_C;
        case 'D': return IDC_KEY_D;
        case ',': return IDC_KEY_WAIT;
        case '-': return IDC_KEY_MINUS;
        default: return 0;
    }
}

bool CDialerDlg::PreTranslateChar(char c) {
    const int id = KeypadButtonFor(c);
    if (id == 0) return false;
    PressKeypadButton(id);
    return true;
}

bool CDialerDlg::PreTranslateEditKey(port::EditKey key) {
    switch (key) {
        case port::EditKey::Backspace: PressKeypadButton(IDC_KEY_BS); return true;
        case port::EditKey::Delete: PressKeypadButton(IDC_KEY_CLEAR); return true;
        case port::EditKey::Paste: PasteNumber(); return true;
        case port::EditKey::Copy: CopyDialString(); return true;
    }
    return false;
}

void CDialerDlg::PressKeypadButton(int id) {
    // The button looks pressed while its tone plays, as under a click; not
    // under the limit message, which a click would not hold it down for either.
    const bool appends = id != IDC_KEY_BS && id != IDC_KEY_CLEAR;
    const bool showPressed = !appends || m_nDialLen < kDialChars;
    if (showPressed) Native()->ShowPressed(id, true);
    SendCommand(id);
    if (showPressed && Native()) Native()->ShowPressed(id, false);
}

void CDialerDlg::PasteNumber() {
    CWinApp* app = AfxGetApp();
    const std::optional<std::string> text = app->Windows().ClipboardText();
    if (!text) return;  // nothing that could be a number
    NormalizedNumber number = TakeAsDialString(*text);
    if (number.needsIntlPrefix) {
        if (!OfferIntlPrefix(number.message)) return;
        number = TakeAsDialString(*text);
    }
    if (!number.ok) {
        MessageBox(number.message, nullptr, MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    if (m_nDialLen + number.dial.size() > size_t(kDialChars)) {
        SayLengthLimit();
        return;
    }
    // Appended silently: a pasted number is not being keyed in.
    std::memcpy(m_szDial + m_nDialLen, number.dial.data(), number.dial.size());
    m_nDialLen += static_cast<int>(number.dial.size());
    m_szDial[m_nDialLen] = '\0';
    m_strDial = m_szDial;
    UpdateData(false);
    ShowDialProgress();
    if (!number.note.empty()) MessageBox(number.note, nullptr, MB_OK | MB_ICONINFORMATION);
}

void CDialerDlg::CopyDialString() {
    // The buffer, not the field, which may be showing the modem status text.
    AfxGetApp()->Windows().SetClipboardText(m_szDial);
}
