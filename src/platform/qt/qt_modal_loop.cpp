// Modal runs of a Qt window, nested as the program opens boxes from boxes,
// and the timers that keep firing beneath them.
#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

#include <algorithm>

#include "platform/qt/qt_window.h"

namespace platform {
namespace {

// The shortest interval Windows timers run at.
constexpr UINT kMinTimerMs = 10;

}  // namespace

void DialogWidget::closeEvent(QCloseEvent* event) {
    // The window closes only when the program ends its modal run; a request
    // to close a window that is not running (the session ending) is ignored.
    event->ignore();
    if (window_.running_) window_.events_.OnSysCommandEvent(SC_CLOSE, 0);
}

void DialogWidget::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() != QEvent::ActivationChange || !isActiveWindow()) return;
    // A window beneath a modal one takes no input; activating it, by a click
    // or by the window manager, brings the modal window forward instead, so
    // the keyboard is never left with a window that ignores it.
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal == this || !modal->isVisible()) return;
    QPointer<QWidget> target(modal);
    QMetaObject::invokeMethod(
        this,
        [target] {
            if (!target || !target->isVisible()) return;
            target->raise();
            target->activateWindow();
        },
        Qt::QueuedConnection);
}

int QtWindow::RunModal() {
    if (!dialog_ || running_) return -1;
    running_ = true;
    QWidget* owner = dialog_->parentWidget();
    dialog_->setWindowModality(owner ? Qt::WindowModal : Qt::NonModal);
    dialog_->show();
    dialog_->raise();
    dialog_->activateWindow();
    if (!ended_) {
        QEventLoop loop;
        loop_ = &loop;
        loop.exec(QEventLoop::DialogExec);
        loop_ = nullptr;
    }
    if (dialog_) dialog_->hide();
    running_ = false;
    ended_ = false;
    return result_;
}

void QtWindow::EndModal(int result) {
    result_ = result;
    ended_ = true;
    if (loop_) loop_->exit(0);
}

bool QtWindow::SetTimer(UINT id, UINT ms) {
    if (!dialog_) return false;
    auto& timer = timers_[id];
    if (!timer) {
        timer = std::make_unique<QTimer>();
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer.get(), &QTimer::timeout, dialog_, [this, id] { events_.OnTimerEvent(id); });
    }
    timer->start(int(std::min<UINT>(std::max(ms, kMinTimerMs), 0x7FFFFFFF)));
    return true;
}

bool QtWindow::KillTimer(UINT id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return false;
    it->second->stop();
    // Deleted later: the timer may be the sender of the running handler.
    it->second.release()->deleteLater();
    timers_.erase(it);
    return true;
}

}  // namespace platform
