#pragma once
// Turning telephone numbers written for people (clipboard text, tel: links,
// command-line arguments) into dial characters.

#include <string>
#include <string_view>

// What a pasted or linked telephone number becomes in the dial string.
struct NormalizedNumber {
    bool ok = false;
    std::string dial;     // the dial characters, when ok
    std::string message;  // why it was refused, for a message box, when !ok
    // When ok: what of a tel: link was left out of the dial string, for the
    // user to know (an extension, say, is theirs to dial); "" when nothing was.
    std::string note;
    bool needsIntlPrefix = false;  // refused at a leading "+" for want of IntlPrefix
};

// text: clipboard text or a tel: URI / command-line number; intlPrefix: the
// profile's [Dial] IntlPrefix ("" when not set).
NormalizedNumber NormalizeNumber(std::string_view text, std::string_view intlPrefix);
