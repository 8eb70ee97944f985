// Numbers handed to the window from outside: the command line and tel: links,
// at start or while the window runs.
#include <functional>
#include <string>
#include <utility>

#include "dialer/dialer_dlg.h"
#include "dialer/fixed_text.h"
#include "dialer/number_text.h"

namespace {
// The number as the user gave it, short enough for a message box.
std::string Quoted(const std::string& text) {
    char shown[61];
    const int n = CopyToBuffer(shown, text);
    // Built step by step: GCC 12 warns falsely (-Wrestrict) about one concatenation.
    std::string quoted = "\"";
    quoted += shown;
    if (static_cast<size_t>(n) < text.size()) quoted += "...";
    quoted += '"';
    return quoted;
}
}  // namespace

void CDialerDlg::TakeNumber(DialRequest request) {
    if (!m_bTakesNumbers) {
        m_pendingNumber = std::move(request);  // the latest wins
        return;
    }
    PutNumber(request);
}

void CDialerDlg::PutNumber(const DialRequest& request) {
    if (m_bDialing == 1) {
        // Changing the string under the sequencer would send a mix of both
        // numbers. Said as the title bar says it while the dial is halted.
        const std::string text = fw::TrFormat(
            DialHalted() ? "The dial is halted, so the number %s was not taken. Press Stop, then "
                           "open the number again."
                         : "A dial is in progress, so the number %s was not taken. Press Stop, "
                           "then open the number again.",
            Quoted(request.number).c_str());
        SayNotTaken([this, text] { MessageBox(text, nullptr, MB_OK | MB_ICONEXCLAMATION); });
        return;
    }
    const NormalizedNumber number = TakeAsDialString(request.number);
    if (!number.ok) {
        const std::string text =
            fw::TrFormat("The number %s was not taken.\n", Quoted(request.number).c_str()) +
            number.message;
        if (number.needsIntlPrefix) {
            // Taken once the prefix is set; the window may have started a dial meanwhile.
            SayNotTaken([this, text, request] {
                if (OfferIntlPrefix(text)) PutNumber(request);
            });
        } else {
            SayNotTaken([this, text] { MessageBox(text, nullptr, MB_OK | MB_ICONEXCLAMATION); });
        }
        return;
    }
    if (number.dial.size() > static_cast<size_t>(kDialChars)) {
        SayNotTaken([this] { SayLengthLimit(); });
        return;
    }
    m_nDialLen = CopyToBuffer(m_szDial, number.dial);
    m_strDial = m_szDial;
    UpdateData(false);
    // As a click would, once the window shows the number.
    if (request.dialNow) PostCommand(IDC_DIAL);
    // Shown while the dial goes on: an extension is dialed once the call is answered.
    if (!number.note.empty()) MessageBox(number.note, nullptr, MB_OK | MB_ICONINFORMATION);
}

void CDialerDlg::SayNotTaken(std::function<void()> showBox) {
    m_sayNotTaken = std::move(showBox);
    if (m_bSayingNotTaken) return;  // the open box's loop shows it next
    m_bSayingNotTaken = true;
    while (m_sayNotTaken) std::exchange(m_sayNotTaken, nullptr)();
    m_bSayingNotTaken = false;
}
