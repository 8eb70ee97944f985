#include "platform/win32/win32_window_system.h"
#include "platform/win32/win32_window.h"

#include <commctrl.h>
#include <commdlg.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstring>

#include "platform/win32/win32_dialog_font.h"
#include "platform/win32/win32_message_box.h"
#include "platform/win32/win32_text.h"
#include "resources/resource_ids.h"

namespace platform {
namespace {

// Room for any path the file dialogs can give back.
constexpr DWORD kPathBufferChars = 32768;

Win32Window* AsWin32(port::Window* window) { return dynamic_cast<Win32Window*>(window); }

HWND HandleOf(port::Window* window) {
    Win32Window* w = AsWin32(window);
    return w ? w->Handle() : nullptr;
}

bool IsDirectory(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

Win32WindowSystem::Win32WindowSystem() {
    // The list view's slider is a common control; its class must be registered
    // before the first template that names it.
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
}

Win32WindowSystem::~Win32WindowSystem() {
    if (clipboardOwner_) DestroyWindow(static_cast<HWND>(clipboardOwner_));
}

std::unique_ptr<port::Window> Win32WindowSystem::Create(const res::DialogTemplate& tmpl,
                                                        port::Window* owner,
                                                        port::WindowEvents& events) {
    auto window = std::make_unique<Win32Window>(GetModuleHandleW(nullptr), events);
    if (!window->CreateFrom(tmpl, HandleOf(owner))) return nullptr;
    return window;
}

int Win32WindowSystem::RunModal(port::Window& window) {
    Win32Window* w = AsWin32(&window);
    return w ? w->RunModal() : -1;
}

void Win32WindowSystem::EndModal(port::Window& window, int result) {
    if (Win32Window* w = AsWin32(&window)) w->EndModal(result);
}

int Win32WindowSystem::MessageBox(port::Window* owner, std::string_view text,
                                  std::string_view caption, UINT style) {
    const std::wstring wtext = Widen(text);
    const std::wstring wcaption = Widen(caption);
    // In the dialogs' face, so that the program's texts show on any system.
    const res::DialogTemplate& main = *res::FindDialogTemplate(res::IDD_DIALER);
    int answer = ShowMessageDialog(HandleOf(owner), wtext, wcaption, style,
                                   DialogFaceFor(Widen(main.fontFace)), main.pointSize);
    if (answer == 0) answer = MessageBoxW(HandleOf(owner), wtext.c_str(), wcaption.c_str(), style);
    // 0 only when the box could not be shown: as if it were dismissed.
    if (answer != 0) return answer;
    return (style & MB_TYPEMASK) == MB_YESNO ? IDNO : IDCANCEL;
}

std::optional<std::string> Win32WindowSystem::FileDialog(port::Window* owner,
                                                         const port::FileDialogRequest& request) {
    const std::wstring filter = ToWin32FileFilter(request.filter);
    const std::wstring defExt = ToWin32DefaultExt(request.defaultExt);
    std::wstring path(kPathBufferChars, L'\0');
    // A folder that has gone since (a list file moved away) gives way to the documents folder.
    std::wstring folder = Widen(request.folder);
    std::replace(folder.begin(), folder.end(), L'/', L'\\');
    if (folder.empty() || !IsDirectory(folder)) folder = Widen(DocumentsFolder());
    const std::wstring name = Widen(request.fileName);
    if (name.size() < kPathBufferChars) std::copy(name.begin(), name.end(), path.begin());

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = HandleOf(owner);
    ofn.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = path.data();
    ofn.nMaxFile = kPathBufferChars;
    ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    ofn.Flags = request.flags;
    ofn.lpstrDefExt = defExt.empty() ? nullptr : defExt.c_str();

    const BOOL chosen = request.open ? GetOpenFileNameW(&ofn) : GetSaveFileNameW(&ofn);
    if (!chosen) return std::nullopt;
    path.resize(wcsnlen(path.c_str(), path.size()));
    if (path.empty()) return std::nullopt;
    return Narrow(path);
}

int Win32WindowSystem::SystemMetric(int index) const { return GetSystemMetrics(index); }

std::string Win32WindowSystem::DocumentsFolder() const {
    // FOLDERID_Documents, spelt out: MinGW's headers declare it without defining it.
    static const GUID kDocuments = {0xFDD39AD0, 0x238F, 0x46AF, {0xAD, 0xB4, 0x6C, 0x85, 0x48, 0x03, 0x69, 0xC7}};
    std::string folder;
    PWSTR known = nullptr;
    if (SUCCEEDED(SHGetKnownFolderPath(kDocuments, 0, nullptr, &known)) && known) folder = Narrow(known);
    CoTaskMemFree(known);
    if (folder.empty()) {
        wchar_t buffer[MAX_PATH] = {};
        if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, buffer)))
            folder = Narrow(buffer);
    }
    return folder;
}

bool Win32WindowSystem::OpenHelp(const std::string& path, std::function<void()>) {
    // The shell answers at once: there is nothing to learn later.
    const std::wstring file = Widen(path);
    const HINSTANCE r = ShellExecuteW(nullptr, L"open", file.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    // Values up to 32 are the shell's error codes.
    return reinterpret_cast<INT_PTR>(r) > 32;
}

std::optional<std::string> Win32WindowSystem::ClipboardText() {
    if (!IsClipboardFormatAvailable(CF_UNICODETEXT) || !OpenClipboard(nullptr)) return std::nullopt;
    std::optional<std::string> text;
    if (const HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
            const SIZE_T capacity = GlobalSize(data) / sizeof(wchar_t);
            text = Narrow(std::wstring(chars, wcsnlen(chars, capacity)));
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

void Win32WindowSystem::SetClipboardText(std::string_view text) {
    // The clipboard takes data only from an owner window.
    if (!clipboardOwner_)
        clipboardOwner_ = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                          GetModuleHandleW(nullptr), nullptr);
    const HWND owner = static_cast<HWND>(clipboardOwner_);
    if (!owner || !OpenClipboard(owner)) return;
    const std::wstring wide = Widen(text);
    const SIZE_T bytes = (wide.size() + 1) * sizeof(wchar_t);
    if (HGLOBAL data = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
        if (void* p = GlobalLock(data)) {
            std::memcpy(p, wide.c_str(), bytes);
            GlobalUnlock(data);
            EmptyClipboard();
            // On success the clipboard owns the memory.
            if (!SetClipboardData(CF_UNICODETEXT, data)) GlobalFree(data);
        } else {
            GlobalFree(data);
        }
    }
    CloseClipboard();
}

}  // namespace platform
