#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "framework/afxwin.h"

namespace {

// The standard validation messages, in the interface's language.
std::string IntegerPrompt() { return "整数を入力してください."; }

std::string RangePrompt(int lo, int hi) {
    return std::to_string(lo) + " から " + std::to_string(hi) + " までの整数を入力してください.";
}

std::string LengthPrompt(int maxChars) {
    return std::to_string(maxChars) + " 文字以内で入力してください.";
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Accepts blanks, an optional sign, digits and trailing blanks, nothing else.
bool ParseInteger(const std::string& text, int& out) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    const char* begin = text.c_str() + i;
    char* end = nullptr;
    errno = 0;
    long value = std::strtol(begin, &end, 10);
    if (end == begin || errno == ERANGE || value < INT_MIN || value > INT_MAX) return false;
    for (const char* p = end; *p; ++p)
        if (!IsBlank(*p)) return false;
    // strtol also skips newlines and other white space before the number.
    for (const char* p = begin; p < end; ++p)
        if (!(*p == '+' || *p == '-' || (*p >= '0' && *p <= '9'))) return false;
    out = static_cast<int>(value);
    return true;
}

port::Window* NativeOf(CDataExchange* pDX) { return pDX->m_pDlgWnd->Native(); }

}  // namespace

void CDataExchange::PrepareCtrl(int id) {
    m_idLastControl = id;
    m_bEditLastControl = false;
}

void CDataExchange::PrepareEditCtrl(int id) {
    m_idLastControl = id;
    m_bEditLastControl = true;
}

void CDataExchange::Fail() {
    if (m_bSaveAndValidate && m_idLastControl != 0) {
        if (port::Window* w = m_pDlgWnd->Native()) {
            w->SetFocus(m_idLastControl);
            if (m_bEditLastControl) w->SelectAll(m_idLastControl);
        }
    }
    m_failed = true;
}

void DDX_Text(CDataExchange* pDX, int id, std::string& value) {
    if (pDX->Failed()) return;
    pDX->PrepareEditCtrl(id);
    if (pDX->m_bSaveAndValidate)
        value = NativeOf(pDX)->Text(id);
    else if (NativeOf(pDX)->Text(id) != value)
        // Set only when it changes: setting a field afresh loses its selection
        // and scrolls it back to the start.
        NativeOf(pDX)->SetText(id, value);
}

void DDX_Text(CDataExchange* pDX, int id, int& value) {
    if (pDX->Failed()) return;
    pDX->PrepareEditCtrl(id);
    if (pDX->m_bSaveAndValidate) {
        if (!ParseInteger(NativeOf(pDX)->Text(id), value)) {
            AfxMessageBox(IntegerPrompt(), MB_OK | MB_ICONEXCLAMATION);
            pDX->Fail();
        }
    } else {
        NativeOf(pDX)->SetText(id, std::to_string(value));
    }
}

void DDX_Radio(CDataExchange* pDX, int firstId, int& value) {
    if (pDX->Failed()) return;
    pDX->PrepareCtrl(firstId);
    const std::vector<int> group = pDX->m_pDlgWnd->RadioGroup(firstId);
    port::Window* w = NativeOf(pDX);
    if (pDX->m_bSaveAndValidate) {
        value = -1;
        for (size_t i = 0; i < group.size(); ++i)
            if (w->Checked(group[i])) {
                value = static_cast<int>(i);
                break;
            }
    } else {
        for (size_t i = 0; i < group.size(); ++i)
            w->SetChecked(group[i], static_cast<int>(i) == value);
    }
}

void DDX_Control(CDataExchange* pDX, int id, CSliderCtrl& control) {
    if (pDX->Failed()) return;
    pDX->PrepareCtrl(id);
    if (!control.IsAttached()) {
        control.m_owner = pDX->m_pDlgWnd;
        control.m_id = id;
    }
}

void DDV_MaxChars(CDataExchange* pDX, const std::string& value, int maxChars) {
    if (pDX->Failed()) return;
    if (pDX->m_bSaveAndValidate) {
        if (static_cast<int>(value.size()) > maxChars) {
            AfxMessageBox(LengthPrompt(maxChars), MB_OK | MB_ICONEXCLAMATION);
            pDX->Fail();
        }
    } else if (pDX->m_idLastControl != 0 && pDX->m_bEditLastControl) {
        NativeOf(pDX)->LimitText(pDX->m_idLastControl, maxChars);
    }
}

void DDV_MinMaxInt(CDataExchange* pDX, int value, int minValue, int maxValue) {
    if (pDX->Failed() || !pDX->m_bSaveAndValidate) return;
    if (value < minValue || value > maxValue) {
        AfxMessageBox(RangePrompt(minValue, maxValue), MB_OK | MB_ICONEXCLAMATION);
        pDX->Fail();
    }
}
