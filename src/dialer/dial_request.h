#pragma once
#include <string>

// A number handed to the dialer from outside its window: the command line, a
// tel: link, or another copy of the program started with one.
struct DialRequest {
    std::string number;    // as given: "+1 (555) 010-9999", "tel:+1-555-010-9999;ext=12"
    bool dialNow = false;  // press Dial once the number is in
};
