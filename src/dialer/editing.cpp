// Composing the dial string on the keypad.
#include "dialer/dialer_dlg.h"
#include "output/dtmf_playback.h"

void CDialerDlg::AddDialChar(char c, UINT clipId) {
    if (m_nDialLen >= kDialChars) {
        MessageBox("これ以上は入力できません.", "Input charcter length limit", MB_OK);
        return;
    }
    m_szDial[m_nDialLen] = c;
    ++m_nDialLen;
    m_szDial[m_nDialLen] = '\0';
    m_strDial = m_szDial;
    UpdateData(false);
    // Heard after the field shows the new character.
    if (clipId != 0) PlayDtmfSound(clipId);
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
}

void CDialerDlg::OnKeyClear() {
    m_szDial[0] = '\0';
    m_nDialLen = 0;
    m_strDial = m_szDial;
    UpdateData(false);
}
