// The program's dialog templates 100, 102 and 129 and its string table, as data.
#include <array>

#include "framework/dialog_template.h"
#include "framework/win_types.h"
#include "resources/resource_ids.h"
#include "resources/version.h"

namespace res {
namespace {

using K = ControlKind;

constexpr uint32_t V = WS_VISIBLE;
constexpr uint32_t kButton = V | WS_TABSTOP | BS_PUSHBUTTON;
constexpr uint32_t kReadOnlyField = V | WS_BORDER | ES_READONLY | ES_AUTOHSCROLL;
constexpr uint32_t kRowNumber = V | ES_RIGHT | ES_MULTILINE | ES_READONLY;
constexpr uint32_t kRadio = V | BS_AUTORADIOBUTTON;
constexpr uint32_t kFrame = V | BS_GROUPBOX;
constexpr uint32_t kLabel = V | SS_LEFT;
constexpr uint32_t kOptionEdit = V | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;

// Template order is also the tab order.
constexpr std::array kDialer{
    ControlTemplate{1000, K::PushButton, "1", 249, 58, 16, 16, kButton},
    ControlTemplate{1001, K::PushButton, "2", 265, 58, 16, 16, kButton},
    ControlTemplate{1002, K::PushButton, "3", 281, 58, 16, 16, kButton},
    ControlTemplate{1003, K::PushButton, "4", 249, 74, 16, 16, kButton},
    ControlTemplate{1004, K::PushButton, "5", 265, 74, 16, 16, kButton},
    ControlTemplate{1005, K::PushButton, "6", 281, 74, 16, 16, kButton},
    ControlTemplate{1006, K::PushButton, "7", 249, 90, 16, 16, kButton},
    ControlTemplate{1007, K::PushButton, "8", 265, 90, 16, 16, kButton},
    ControlTemplate{1008, K::PushButton, "9", 281, 90, 16, 16, kButton},
    ControlTemplate{1009, K::PushButton, "0", 265, 106, 16, 16, kButton},
    ControlTemplate{1010, K::PushButton, "*", 249, 106, 16, 16, kButton},
    ControlTemplate{1011, K::PushButton, "#", 281, 106, 16, 16, kButton},
    ControlTemplate{1012, K::PushButton, "A", 300, 58, 16, 16, kButton},
    ControlTemplate{1013, K::PushButton, "B", 300, 74, 16, 16, kButton},
    ControlTemplate{1014, K::PushButton, "C", 300, 90, 16, 16, kButton},
    ControlTemplate{1016, K::PushButton, "D", 300, 106, 16, 16, kButton},
    ControlTemplate{1021, K::PushButton, "BS", 321, 58, 22, 16, kButton},
    ControlTemplate{1017, K::PushButton, "Clear", 321, 74, 22, 16, kButton},
    ControlTemplate{1056, K::PushButton, "-", 321, 90, 22, 16, kButton},
    ControlTemplate{1018, K::PushButton, "Wait", 321, 106, 22, 16, kButton},
    ControlTemplate{-1, K::GroupBox, " Number Key", 242, 44, 108, 88, kFrame},
    ControlTemplate{1019, K::PushButton, "Dial", 259, 19, 22, 12, kButton},
    ControlTemplate{1020, K::PushButton, "Stop", 287, 19, 22, 12, kButton},
    ControlTemplate{1058, K::PushButton, "Copy", 321, 19, 22, 12, kButton},
    // Its selection shows how far a dial has got, whichever control has the focus.
    ControlTemplate{1015, K::Edit, "", 13, 19, 240, 12, kReadOnlyField | ES_NOHIDESEL},
    ControlTemplate{-1, K::GroupBox, " Dial ", 7, 7, 343, 32, kFrame},
    ControlTemplate{1051, K::RadioButton, "", 26, 82, 8, 8, kRadio | WS_GROUP},
    ControlTemplate{1052, K::RadioButton, "", 26, 98, 8, 8, kRadio},
    ControlTemplate{1053, K::RadioButton, "", 26, 114, 8, 8, kRadio},
    ControlTemplate{1054, K::RadioButton, "", 26, 130, 8, 8, kRadio},
    ControlTemplate{1055, K::RadioButton, "", 26, 146, 8, 8, kRadio},
    // Invisible: it only ends the row radio group.
    ControlTemplate{-1, K::GroupBox, "", 25, 72, 10, 86, BS_GROUPBOX | WS_GROUP},
    ControlTemplate{1026, K::Edit, "", 36, 80, 180, 12, kReadOnlyField},
    ControlTemplate{1027, K::Edit, "", 36, 96, 180, 12, kReadOnlyField},
    ControlTemplate{1028, K::Edit, "", 36, 112, 180, 12, kReadOnlyField},
    ControlTemplate{1029, K::Edit, "", 36, 128, 180, 12, kReadOnlyField},
    ControlTemplate{1030, K::Edit, "", 36, 144, 180, 12, kReadOnlyField},
    ControlTemplate{1065, K::Edit, "", 36, 62, 190, 12, V | ES_READONLY | ES_AUTOHSCROLL},
    ControlTemplate{-1, K::Static, "File :", 14, 62, 18, 8, kLabel},
    ControlTemplate{1057, K::PushButton, "Copy", 25, 163, 40, 12, kButton},
    ControlTemplate{1089, K::PushButton, "Delete", 73, 163, 40, 12, kButton},
    ControlTemplate{1059, K::PushButton, "Save", 137, 163, 40, 12, kButton},
    ControlTemplate{1060, K::PushButton, "Load", 185, 163, 40, 12, kButton},
    ControlTemplate{-1, K::GroupBox, " Dial List ", 7, 44, 226, 139, kFrame},
    ControlTemplate{1066, K::RadioButton, "Speaker", 249, 149, 39, 8, kRadio | WS_GROUP},
    ControlTemplate{1067, K::RadioButton, "Modem", 299, 149, 37, 8, kRadio},
    ControlTemplate{-1, K::GroupBox, " Output Device ", 242, 137, 108, 25, kFrame | WS_GROUP},
    ControlTemplate{1024, K::PushButton, "Option", 242, 171, 30, 12, kButton},
    ControlTemplate{1025, K::PushButton, "Help", 278, 171, 30, 12, kButton},
    ControlTemplate{IDOK, K::PushButton, "Exit", 320, 171, 30, 12, kButton},
    // Never visible, so it never takes the focus.
    ControlTemplate{IDCANCEL, K::PushButton, "ESC", 7, 173, 15, 10, WS_TABSTOP | BS_PUSHBUTTON},
    ControlTemplate{1091, K::Slider, "", 218, 74, 10, 87,
                    V | WS_TABSTOP | TBS_VERT | TBS_BOTH | TBS_NOTICKS},
    ControlTemplate{1092, K::Edit, "", 11, 81, 14, 12, kRowNumber},
    ControlTemplate{1093, K::Edit, "", 11, 97, 14, 12, kRowNumber},
    ControlTemplate{1094, K::Edit, "", 11, 113, 14, 12, kRowNumber},
    ControlTemplate{1095, K::Edit, "", 11, 129, 14, 12, kRowNumber},
    ControlTemplate{1096, K::Edit, "", 11, 145, 14, 12, kRowNumber},
};

constexpr std::array kOption{
    ControlTemplate{-1, K::Static, "再生間隔 (0～1000msec)", 13, 22, 75, 8, kLabel},
    ControlTemplate{1022, K::Edit, "", 17, 34, 40, 12, kOptionEdit},
    ControlTemplate{-1, K::Static, "ms", 61, 36, 10, 8, kLabel},
    ControlTemplate{-1, K::Static, "WAITキャラクタ (0～1000msec)", 13, 54, 92, 8, kLabel},
    ControlTemplate{1023, K::Edit, "", 17, 66, 40, 12, kOptionEdit},
    ControlTemplate{-1, K::Static, "ms", 61, 67, 10, 8, kLabel},
    ControlTemplate{-1, K::Static, "ハイフンキャラクタ (0～1000msec)", 13, 87, 101, 8, kLabel},
    ControlTemplate{1024, K::Edit, "", 17, 100, 40, 12, kOptionEdit},
    ControlTemplate{-1, K::GroupBox, "WAITの設定", 7, 7, 115, 112, kFrame},
    ControlTemplate{1072, K::RadioButton, "COM1", 144, 37, 32, 8, kRadio | WS_GROUP},
    ControlTemplate{1073, K::RadioButton, "COM2", 144, 54, 32, 8, kRadio},
    ControlTemplate{1074, K::RadioButton, "COM3", 144, 71, 32, 8, kRadio},
    ControlTemplate{1075, K::RadioButton, "COM4", 144, 88, 32, 8, kRadio},
    ControlTemplate{-1, K::GroupBox, "ポート", 136, 21, 48, 88, kFrame | WS_GROUP},
    ControlTemplate{-1, K::Static, "初期化ATコマンド", 196, 22, 63, 8, kLabel},
    ControlTemplate{1076, K::Edit, "", 199, 34, 50, 12, kOptionEdit},
    ControlTemplate{-1, K::Static, "ダイアルATコマンド", 196, 54, 63, 8, kLabel},
    ControlTemplate{1077, K::Edit, "", 199, 66, 50, 12, kOptionEdit},
    ControlTemplate{-1, K::Static, "初期化待機時間(0～5000)", 196, 87, 78, 8, kLabel},
    ControlTemplate{1078, K::Edit, "", 199, 100, 40, 12, kOptionEdit},
    ControlTemplate{-1, K::Static, "ms", 243, 101, 10, 8, kLabel},
    ControlTemplate{-1, K::GroupBox, "モデムの設定", 127, 7, 157, 112, kFrame},
    // In the free corner beside the buttons, so that everything else keeps its place.
    ControlTemplate{-1, K::Static, "国際識別番号 (+)", 13, 131, 62, 8, kLabel},
    ControlTemplate{1079, K::Edit, "", 78, 129, 40, 12, kOptionEdit},
    ControlTemplate{IDOK, K::PushButton, "OK", 127, 128, 75, 14, V | WS_TABSTOP | BS_DEFPUSHBUTTON},
    ControlTemplate{IDCANCEL, K::PushButton, "ｷｬﾝｾﾙ", 209, 128, 75, 14, kButton},
};

constexpr std::array kAbout{
    ControlTemplate{-1, K::Icon, "128", 7, 7, 0, 0, V | SS_ICON},
    ControlTemplate{-1, K::Static, VANTREL_ABOUT_TEXT, 35, 7, 97, 8,
                    V | SS_LEFT | SS_NOPREFIX | WS_GROUP},
    ControlTemplate{IDOK, K::PushButton, "OK", 141, 45, 65, 12,
                    V | WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON},
};

constexpr std::string_view kFont = "ＭＳ Ｐゴシック";

constexpr std::array kDialogs{
    DialogTemplate{IDD_DIALER, "Vantrel", 359, 190, kFont, 9,
                   WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_SETFONT,
                   WS_EX_APPWINDOW, kDialer},
    DialogTemplate{IDD_OPTION, "Vantrel Option", 291, 149, kFont, 9,
                   DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT, 0, kOption},
    DialogTemplate{IDD_ABOUTBOX, "About Vantrel32", 213, 64, kFont, 9,
                   DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT, 0, kAbout},
};

}  // namespace

const DialogTemplate* FindDialogTemplate(int id) {
    for (const auto& d : kDialogs)
        if (d.id == id) return &d;
    return nullptr;
}

std::string_view LoadStringResource(int id) {
    if (id == IDS_ABOUTBOX) return "ﾊﾞｰｼﾞｮﾝ情報(Vantrel) (&A)...";
    return {};
}

}  // namespace res
