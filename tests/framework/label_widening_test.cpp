// Labels that would lose their end grow into free space, the same on every backend.
#include <gtest/gtest.h>

#include <vector>

#include "framework/label_widening.h"

namespace {

fw::LaidOutControl Label(port::Rect r, int textWidth) {
    fw::LaidOutControl c;
    c.rect = r;
    c.label = true;
    c.textWidth = textWidth;
    return c;
}

fw::LaidOutControl Other(port::Rect r, bool frame = false, bool visible = true) {
    fw::LaidOutControl c;
    c.rect = r;
    c.frame = frame;
    c.visible = visible;
    return c;
}

TEST(LabelWidening, ALabelGrowsToItsTextUpToItsFrameTheNextControlOrTheWindowEdge) {
    std::vector<fw::LaidOutControl> c{
        Other({0, 0, 100, 60}, true),
        Label({10, 10, 40, 20}, 60),    // grows to its text
        Other({50, 20, 90, 30}),        // only touches that label's bottom edge
        Label({10, 25, 40, 35}, 60),    // stops 2 pixels before the button to its right
        Other({50, 25, 90, 35}),
        Label({10, 40, 40, 50}, 100),   // stops 3 pixels inside its frame
        Label({10, 50, 40, 58}, 20),    // fits as it is
        Label({120, 10, 130, 20}, 100), // stops 2 pixels before the window edge
        Other({150, 5, 160, 25}, false, false),  // hidden: takes no room
        Label({120, 30, 140, 40}, 200),
    };
    c[9].visible = false;
    fw::WidenClippedLabels(c, 180);
    EXPECT_EQ(c[1].rect.right, 71);
    EXPECT_EQ(c[3].rect.right, 48);
    EXPECT_EQ(c[5].rect.right, 97);
    EXPECT_EQ(c[6].rect.right, 40);
    EXPECT_EQ(c[7].rect.right, 178);
    EXPECT_EQ(c[9].rect.right, 140);  // hidden labels stay as they are
    // The others are never moved or sized.
    EXPECT_EQ(c[2].rect.right, 90);
    EXPECT_EQ(c[4].rect.left, 50);
}

}  // namespace
