#pragma once
// The form of a dialog template: every control with its identifier, kind,
// text, rectangle in dialog units and styles, in template order. Every backend
// builds its windows from such tables, so a coordinate is stated once, in the
// program's resources (resources/), which the framework finds by number.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace res {

enum class ControlKind { PushButton, Edit, Static, GroupBox, RadioButton, Slider, Icon };

struct ControlTemplate {
    int id;  // -1 for controls the program never addresses
    ControlKind kind;
    std::string_view text;  // for an icon picture: the icon's resource number as text
    int x, y, cx, cy;       // dialog units
    uint32_t style;         // WS_/BS_/ES_/SS_/TBS_ bits
};

struct DialogTemplate {
    int id;
    std::string_view caption;
    int cx, cy;  // dialog units
    std::string_view fontFace;
    int pointSize;
    uint32_t style;
    uint32_t exStyle;
    std::span<const ControlTemplate> controls;
};

// The radio buttons of the group that holds control `id`, in template order: a
// group runs from a control with the group style to the next one.
std::vector<int> RadioGroupOf(const DialogTemplate& tmpl, int id);

// The program's own resources, by number: defined with the tables in
// resources/, looked up here as a resource file is by its program.
// nullptr when the program has no template of that number.
const DialogTemplate* FindDialogTemplate(int id);
// The string table; empty for an unknown id.
std::string_view LoadStringResource(int id);

}  // namespace res
