#include "platform/win32/win32_dialog_font.h"

#include <windows.h>

#include <algorithm>
#include <map>
#include <vector>

namespace platform {
namespace {

// Letters of every kind the program's texts use: half-width katakana with
// their sound marks, hiragana, katakana, kanji and the full-width tilde of the
// ranges. A face that lacks one of them would show a box in its place.
constexpr wchar_t kProbe[] =
    L"\uFF8A\uFF9E\uFF70\uFF7C\uFF9E\uFF6E\uFF9D\uFF77\uFF6C\uFF9D\uFF7E\uFF99"  // ﾊﾞｰｼﾞｮﾝｷｬﾝｾﾙ
    L"\u3092\u3066\u304F\u3060\u3055\u3044"                                      // をてください
    L"\u30AD\u30E3\u30E9\u30AF\u30BF\u30FC\u30DD"                                // キャラクターポ
    L"\u60C5\u5831\u8A2D\u5B9A\u6D88\u53BB\u6574\u6570\u5165\u529B\u6587\u5B57"  // 情報設定消去整数入力文字
    L"\uFF5E";                                                                   // ～

// Known faces made for screens, in the order they are preferred: the
// template's own face under its English name first, then the faces Windows
// ships for its interface, then those of the usual Linux font packages.
constexpr const wchar_t* kPreferred[] = {
    L"MS PGothic",      L"Yu Gothic UI",      L"Meiryo UI",   L"MS UI Gothic",
    L"Meiryo",          L"Yu Gothic",         L"IPAPGothic",  L"Noto Sans CJK JP",
    L"Noto Sans JP",    L"Source Han Sans JP", L"VL PGothic", L"TakaoPGothic",
};

struct Face {
    std::wstring name;
    bool proportionalSans = false;
};

int CALLBACK CollectFace(const LOGFONTW* lf, const TEXTMETRICW* tm, DWORD type, LPARAM param) {
    auto& faces = *reinterpret_cast<std::vector<Face>*>(param);
    // '@' names the same face turned for vertical writing.
    if (lf->lfFaceName[0] == L'@' || (type & RASTER_FONTTYPE)) return 1;
    for (const Face& f : faces)
        if (lstrcmpiW(f.name.c_str(), lf->lfFaceName) == 0) return 1;
    // TMPF_FIXED_PITCH is set for a proportional face, despite its name.
    const bool proportional = (tm->tmPitchAndFamily & TMPF_FIXED_PITCH) != 0;
    const BYTE family = tm->tmPitchAndFamily & 0xF0;
    const bool sans = family != FF_ROMAN && family != FF_SCRIPT && family != FF_DECORATIVE;
    faces.push_back({lf->lfFaceName, proportional && sans});
    return 1;
}

std::vector<Face> JapaneseFaces(HDC dc, std::wstring_view name) {
    LOGFONTW lf{};
    lf.lfCharSet = SHIFTJIS_CHARSET;
    name.copy(lf.lfFaceName, std::min<size_t>(name.size(), LF_FACESIZE - 1));
    std::vector<Face> faces;
    EnumFontFamiliesExW(dc, &lf, reinterpret_cast<FONTENUMPROCW>(CollectFace),
                        reinterpret_cast<LPARAM>(&faces), 0);
    return faces;
}

bool HasProbeLetters(HDC dc, const std::wstring& face) {
    LOGFONTW lf{};
    lf.lfHeight = -12;
    lf.lfCharSet = SHIFTJIS_CHARSET;
    face.copy(lf.lfFaceName, std::min<size_t>(face.size(), LF_FACESIZE - 1));
    const HFONT font = CreateFontIndirectW(&lf);
    if (!font) return false;
    const HGDIOBJ old = SelectObject(dc, font);
    // The mapper may still have given another face; only the asked one counts.
    wchar_t selected[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, selected);
    WORD glyphs[std::size(kProbe)] = {};
    const int n = int(std::size(kProbe)) - 1;
    bool ok = lstrcmpiW(selected, face.c_str()) == 0 &&
              GetGlyphIndicesW(dc, kProbe, n, glyphs, GGI_MARK_NONEXISTING_GLYPHS) == DWORD(n);
    for (int i = 0; ok && i < n; ++i) ok = glyphs[i] != 0xFFFF;
    SelectObject(dc, old);
    DeleteObject(font);
    return ok;
}

}  // namespace

std::wstring ChooseDialogFace(std::wstring_view templateFace) {
    const HDC dc = GetDC(nullptr);
    std::wstring chosen;
    if (!JapaneseFaces(dc, templateFace).empty() && HasProbeLetters(dc, std::wstring(templateFace))) {
        chosen = templateFace;
    } else {
        std::vector<Face> faces = JapaneseFaces(dc, L"");
        // The order of enumeration is the system's; the choice should not be.
        std::stable_sort(faces.begin(), faces.end(), [](const Face& a, const Face& b) {
            return lstrcmpiW(a.name.c_str(), b.name.c_str()) < 0;
        });
        auto usable = [&](const Face& f) { return f.proportionalSans && HasProbeLetters(dc, f.name); };
        for (const wchar_t* name : kPreferred) {
            auto it = std::find_if(faces.begin(), faces.end(), [&](const Face& f) {
                return lstrcmpiW(f.name.c_str(), name) == 0;
            });
            if (it != faces.end() && usable(*it)) {
                chosen = it->name;
                break;
            }
        }
        if (chosen.empty()) {
            auto it = std::find_if(faces.begin(), faces.end(), usable);
            chosen = it != faces.end() ? it->name : std::wstring(templateFace);
        }
    }
    ReleaseDC(nullptr, dc);
    return chosen;
}

const std::wstring& DialogFaceFor(std::wstring_view templateFace) {
    // One thread shows every window, so no lock is needed.
    static std::map<std::wstring, std::wstring, std::less<>> chosen;
    auto it = chosen.find(templateFace);
    if (it == chosen.end())
        it = chosen.emplace(std::wstring(templateFace), ChooseDialogFace(templateFace)).first;
    return it->second;
}

}  // namespace platform
