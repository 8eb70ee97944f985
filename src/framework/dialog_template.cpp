#include "framework/dialog_template.h"

#include "framework/win_types.h"

namespace res {

std::vector<int> RadioGroupOf(const DialogTemplate& tmpl, int id) {
    const auto& controls = tmpl.controls;
    size_t at = 0;
    while (at < controls.size() && controls[at].id != id) ++at;
    if (at == controls.size()) return {};
    size_t start = at;
    while (start > 0 && !(controls[start].style & WS_GROUP)) --start;
    std::vector<int> group;
    for (size_t i = start; i < controls.size(); ++i) {
        if (i != start && (controls[i].style & WS_GROUP)) break;
        if (controls[i].kind == ControlKind::RadioButton) group.push_back(controls[i].id);
    }
    return group;
}

}  // namespace res
