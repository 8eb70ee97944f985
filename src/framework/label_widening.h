#pragma once
// The templates were measured with the Japanese Windows face they name. Where
// another face stands in with wider letters, a one-line label would lose its
// end; it grows to the right into free space instead, up to the frame around
// it or the next control, so that it stays readable. The geometry is decided
// here once; each backend only measures its labels' text and applies the widths.

#include <vector>

#include "framework/ports.h"

namespace fw {

// One control of a dialog as laid out, in pixels of the client area (right
// and bottom exclusive).
struct LaidOutControl {
    port::Rect rect;
    bool visible = true;
    bool frame = false;  // a group box: a label inside it stays inside
    bool label = false;  // a one-line text label, which may grow
    int textWidth = 0;   // a label's: the width its text takes, as its face draws it
};

// Widens the visible labels whose text does not fit, in template order, each
// seeing the ones before it as they have grown; never narrows one.
void WidenClippedLabels(std::vector<LaidOutControl>& controls, int clientWidth);

}  // namespace fw
