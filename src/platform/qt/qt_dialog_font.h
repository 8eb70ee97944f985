#pragma once
// The dialogs' face and their dialog units on Qt.

#include <QFont>
#include <QRect>

#include <string_view>

namespace platform {

// Dialog units to pixels, the way the Win32 dialog manager maps them: the
// horizontal unit is the font's average character width, the vertical its height.
struct DialogBaseUnits {
    int x = 0;
    int y = 0;
};
DialogBaseUnits BaseUnitsOf(const QFont& font);
QRect DialogUnitsToPixels(DialogBaseUnits units, int x, int y, int cx, int cy);

// The installed face that stands in for the template's font.
QFont DialogFont(std::string_view face, int pointSize);

}  // namespace platform
