#pragma once
// The window system on Qt 6 Widgets: real windows built from the dialog
// template tables. A QApplication must exist before the first call.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <QIcon>
#include <QObject>

#include "framework/ports.h"

class QWidget;

namespace platform {

class QtWindow;

class QtWindowSystem : public port::WindowSystem {
public:
    QtWindowSystem();  // requires an existing QApplication
    ~QtWindowSystem() override;

    // Where an icon's picture lives on disk; without one a telephone is drawn.
    void SetIconPath(int iconId, std::string path);
    QIcon Icon(int iconId) const;

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
    void Reactivate(QWidget* owner) const;

    std::map<int, std::string> iconPaths_;
    mutable std::map<int, QIcon> icons_;
    std::vector<QtWindow*> running_;  // modal runs, innermost last
    std::unique_ptr<QObject> openers_;  // parent of the help openers still running
};

// "Name|pattern|Name|pattern||" as Qt's "Name (pattern);;Name (pattern)".
std::string ToQtFileFilter(std::string_view filter);

}  // namespace platform
