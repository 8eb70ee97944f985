#include "framework/label_widening.h"

#include <algorithm>

namespace fw {

void WidenClippedLabels(std::vector<LaidOutControl>& controls, int clientWidth) {
    for (LaidOutControl& label : controls) {
        if (!label.label || !label.visible) continue;
        const port::Rect r = label.rect;
        const int needed = label.textWidth + 1;
        if (needed <= r.Width()) continue;
        int limit = clientWidth - r.left - 2;
        for (const LaidOutControl& other : controls) {
            if (&other == &label || !other.visible) continue;
            const port::Rect o = other.rect;
            if (other.frame) {
                if (o.left <= r.left && o.right >= r.right && o.top <= r.top && o.bottom >= r.bottom)
                    limit = std::min(limit, o.right - 3 - r.left);
            } else if (o.left >= r.right && o.top < r.bottom && o.bottom > r.top) {
                limit = std::min(limit, o.left - 2 - r.left);
            }
        }
        if (limit > r.Width()) label.rect.right = r.left + std::min(needed, limit);
    }
}

}  // namespace fw
