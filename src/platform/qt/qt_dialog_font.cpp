#include "platform/qt/qt_dialog_font.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QStringList>

#include "platform/qt/qt_text.h"

namespace platform {
namespace {

// Rounds half away from zero, as Windows' MulDiv does.
int MulDiv(int a, int b, int c) {
    const long long p = static_cast<long long>(a) * b;
    return p >= 0 ? int((p + c / 2) / c) : -int((-p + c / 2) / c);
}

}  // namespace

DialogBaseUnits BaseUnitsOf(const QFont& font) {
    const QFontMetrics fm(font);
    const int width =
        fm.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(width / 26 + 1) / 2, fm.height()};
}

QRect DialogUnitsToPixels(DialogBaseUnits u, int x, int y, int cx, int cy) {
    return QRect(MulDiv(x, u.x, 4), MulDiv(y, u.y, 8), MulDiv(cx, u.x, 4), MulDiv(cy, u.y, 8));
}

QFont DialogFont(std::string_view face, int pointSize) {
    const QStringList installed = QFontDatabase::families();
    QStringList candidates{FromUtf8(face)};
    // The Japanese system faces the templates name are not on this desktop;
    // a gothic face of the same kind reads the same. Proportional first for a
    // proportional template face ("Ｐ").
    const bool proportional = FromUtf8(face).contains(QChar(0xFF30)) || face.find('P') != face.npos;
    if (proportional)
        candidates << "IPAPGothic" << "IPA Pゴシック" << "IPAGothic" << "IPAゴシック";
    else
        candidates << "IPAGothic" << "IPAゴシック" << "IPAPGothic" << "IPA Pゴシック";
    candidates << "Noto Sans CJK JP" << "VL PGothic" << "TakaoPGothic" << "Droid Sans Fallback";
    QFont font = QApplication::font();
    for (const QString& name : candidates) {
        if (installed.contains(name, Qt::CaseInsensitive)) {
            font = QFont(name);
            break;
        }
    }
    font.setPointSize(pointSize > 0 ? pointSize : 9);
    return font;
}

}  // namespace platform
