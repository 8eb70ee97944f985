// The system menu, which Qt leaves to the window manager: emulated as a menu
// of the window's own, opened by Alt+Space or a right click on the background.
#include <QContextMenuEvent>
#include <QMenu>

#include "platform/qt/qt_text.h"
#include "platform/qt/qt_window.h"

namespace platform {
namespace {

constexpr UINT kSysCommandMask = 0xFFF0u;

}  // namespace

void DialogWidget::contextMenuEvent(QContextMenuEvent* event) {
    // Group frames and labels let the mouse through, so only the background is left.
    if (event->reason() == QContextMenuEvent::Mouse && childAt(event->pos()) == nullptr) {
        window_.ShowSystemMenu(event->globalPos());
        return;
    }
    event->ignore();
}

void QtWindow::AppendSystemMenuSeparator() { extraMenu_.push_back({true, 0, {}}); }

void QtWindow::AppendSystemMenuItem(UINT cmd, std::string_view text) {
    // The Windows access key marker is also Qt's, so "&A" keeps working.
    extraMenu_.push_back({false, cmd, FromUtf8(text)});
}

std::unique_ptr<QMenu> QtWindow::BuildSystemMenu(QWidget* parent) {
    auto menu = std::make_unique<QMenu>(parent);
    const bool iconic = IsIconic();
    auto add = [&](const QString& text, UINT cmd, bool enabled) {
        QAction* a = menu->addAction(text);
        a->setData(cmd);
        a->setEnabled(enabled);
    };
    add(QStringLiteral("&Restore"), SC_RESTORE, iconic);
    add(QStringLiteral("&Move"), SC_MOVE, !iconic);
    add(QStringLiteral("Mi&nimize"), SC_MINIMIZE, minimizeBox_ && !iconic);
    menu->addSeparator();
    add(QStringLiteral("&Close\tAlt+F4"), SC_CLOSE, true);
    for (const MenuItem& item : extraMenu_) {
        if (item.separator)
            menu->addSeparator();
        else
            add(item.text, item.cmd, true);
    }
    return menu;
}

void QtWindow::ShowSystemMenu(const QPoint& globalPos) {
    if (!dialog_) return;
    std::unique_ptr<QMenu> menu = BuildSystemMenu(dialog_);
    QAction* chosen = menu->exec(globalPos);
    if (!chosen) return;
    const UINT cmd = chosen->data().toUInt();
    menu.reset();
    events_.OnSysCommandEvent(cmd, 0);
}

void QtWindow::DefaultSysCommand(UINT cmd, long) {
    if (!dialog_) return;
    switch (cmd & kSysCommandMask) {
    case SC_CLOSE:
        events_.OnCommandEvent(IDCANCEL, BN_CLICKED);
        break;
    case SC_MINIMIZE:
        if (minimizeBox_) dialog_->showMinimized();
        break;
    case SC_RESTORE:
        if (dialog_->isMinimized()) dialog_->showNormal();
        break;
    default:
        // Moving is the window manager's; the rest does not apply to a fixed dialog.
        break;
    }
}

}  // namespace platform
