#pragma once
// Telephone numbers as people paste them from Japanese and typeset text:
// full-width digits and letters, ideographic spaces and the many dashes.

#include <string>
#include <string_view>

// The UTF-8 text with the compatibility forms a number may be written in
// folded as Unicode's NFKC folds them (full-width ASCII to ASCII, the wide
// and typographic spaces to a space), and every dash that people put between
// digit groups made a hyphen-minus. Everything else, malformed bytes
// included, is kept as it is.
std::string FoldNumberText(std::string_view text);
