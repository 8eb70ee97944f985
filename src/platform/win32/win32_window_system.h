#pragma once
// The window system on the Win32 dialog manager: every window is a modeless
// dialog made from an in-memory template, run modally by a message loop of
// our own, so the dialog manager supplies the keyboard behaviour (Enter, Esc,
// Tab, arrow keys in radio groups) and the system menu. This header stays free
// of the Win32 headers, whose macros clash with the framework's names.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/ports.h"

namespace platform {

class Win32WindowSystem : public port::WindowSystem {
public:
    // Icons come from the program's own resources.
    Win32WindowSystem();
    ~Win32WindowSystem() override;

    std::unique_ptr<port::Window> Create(const res::DialogTemplate& tmpl, port::Window* owner,
                                         port::WindowEvents& events) override;
    int RunModal(port::Window& window) override;
    void EndModal(port::Window& window, int result) override;
    int MessageBox(port::Window* owner, std::string_view text, std::string_view caption,
                   UINT style) override;
    std::optional<std::string> FileDialog(port::Window* owner,
                                          const port::FileDialogRequest& request) override;
    int SystemMetric(int index) const override;
    std::string DocumentsFolder() const override;
    bool OpenHelp(const std::string& path, std::function<void()> failedLater) override;
    std::optional<std::string> ClipboardText() override;
    void SetClipboardText(std::string_view text) override;

private:
    void* clipboardOwner_ = nullptr;  // a message-only window, made when first needed
};

}  // namespace platform
