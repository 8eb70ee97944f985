// A Qt window's controls by identifier: their texts, checks, focus and
// sliders, its icon and painting. Building it from its template, its keys, its
// system menu and its modal runs are in the qt_*.cpp files named for them.
#include "platform/qt/qt_window.h"

#include <algorithm>

#include <QButtonGroup>
#include <QCoreApplication>
#include <QEventLoop>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <QValidator>
#include <QWheelEvent>

#include "platform/qt/qt_dialog_font.h"
#include "platform/qt/qt_text.h"
#include "platform/qt/qt_window_system.h"
#include "resources/resource_ids.h"

namespace platform {
namespace {

// Turns a quiet flag on for the lifetime of a programmatic change.
class QuietScope {
public:
    explicit QuietScope(bool& flag) : flag_(flag), saved_(flag) { flag_ = true; }
    ~QuietScope() { flag_ = saved_; }

private:
    bool& flag_;
    bool saved_;
};

}  // namespace

DialogWidget::DialogWidget(QtWindow& window, QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags), window_(window) {}

void DialogWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    window_.painter_ = &painter;
    window_.events_.OnPaintEvent();
    window_.painter_ = nullptr;
}

// ---------------------------------------------------------------------------

QtWindow::QtWindow(QtWindowSystem& system, const res::DialogTemplate& tmpl, QtWindow* owner,
                   port::WindowEvents& events)
    : system_(system), events_(events) {
    const bool appWindow = (tmpl.exStyle & WS_EX_APPWINDOW) != 0;
    minimizeBox_ = (tmpl.style & WS_CAPTION) == WS_CAPTION && (tmpl.style & WS_MINIMIZEBOX) != 0;
    Qt::WindowFlags flags = (appWindow ? Qt::Window : Qt::Dialog) | Qt::CustomizeWindowHint |
                            Qt::WindowTitleHint;
    if (tmpl.style & WS_SYSMENU) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (minimizeBox_) flags |= Qt::WindowMinimizeButtonHint;

    // An owned window is a transient child of its owner: it stays above it,
    // is centred over it and has no taskbar entry of its own.
    dialog_ = new DialogWidget(*this, owner ? owner->Dialog() : nullptr, flags);
    dialog_->setAttribute(Qt::WA_DeleteOnClose, false);
    dialog_->setWindowTitle(FromUtf8(tmpl.caption));
    dialog_->setSizeGripEnabled(false);
    dialog_->setWindowIcon(system_.Icon(res::IDR_MAINFRAME));
    dialog_->setFont(DialogFont(tmpl.fontFace, tmpl.pointSize));
    dialog_->installEventFilter(dialog_);

    const DialogBaseUnits units = BaseUnitsOf(dialog_->font());
    const QRect client = DialogUnitsToPixels(units, 0, 0, tmpl.cx, tmpl.cy);
    dialog_->setFixedSize(client.size());
    BuildControls(tmpl, units);
}

QtWindow::~QtWindow() {
    if (loop_) loop_->exit(0);
    timers_.clear();
    if (!dialog_) return;
    // Windows owned by this one outlive it as independent windows rather
    // than being taken down with it.
    for (QObject* child : dialog_->children()) {
        auto* w = qobject_cast<QWidget*>(child);
        if (w && w->isWindow() && dynamic_cast<DialogWidget*>(w)) w->setParent(nullptr, w->windowFlags());
    }
    delete dialog_.data();
}

void QtWindow::SendScroll(UINT code, int pos) {
    if (!quiet_) events_.OnVScrollEvent(code, pos);
}

bool QtWindow::OfferMouseToProgram(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::MouseButtonPress && event->type() != QEvent::Wheel) return false;
    const int id = watched == dialog_ ? 0 : IdOf(qobject_cast<QWidget*>(watched));
    if (id == 0) return false;
    if (event->type() == QEvent::MouseButtonPress) {
        // Qt has given the field the focus by now, as a click does.
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
            qobject_cast<QLineEdit*>(watched))
            events_.OnFieldClickEvent(id);
        return false;
    }
    // A slider turns with the wheel itself; the other controls offer it to the window.
    if (qobject_cast<QSlider*>(watched)) return false;
    const int delta = static_cast<QWheelEvent*>(event)->angleDelta().y();
    return delta != 0 && events_.OnMouseWheelEvent(id, delta);
}

void QtWindow::OnRadioClicked(size_t index) {
    ControlEntry& entry = controls_[index];
    auto* clicked = static_cast<QRadioButton*>(entry.widget);
    if (entry.group) {
        // An automatic radio button unchecks every other button of its group,
        // even when the program had checked several.
        entry.group->setExclusive(false);
        clicked->setChecked(true);
        for (QAbstractButton* b : entry.group->buttons())
            if (b != clicked) b->setChecked(false);
        entry.group->setExclusive(true);
    }
    events_.OnCommandEvent(entry.id, BN_CLICKED);
}

QtWindow::ControlEntry* QtWindow::Entry(int id) {
    for (auto& e : controls_)
        if (e.id == id) return &e;
    return nullptr;
}

const QtWindow::ControlEntry* QtWindow::Entry(int id) const {
    for (const auto& e : controls_)
        if (e.id == id) return &e;
    return nullptr;
}

QWidget* QtWindow::Control(int id) const {
    const ControlEntry* e = Entry(id);
    return e ? e->widget : nullptr;
}

int QtWindow::IdOf(const QWidget* widget) const {
    if (!widget) return 0;
    for (const auto& e : controls_)
        if (e.widget == widget) return e.id;
    return 0;
}

std::string QtWindow::Text(int id) const {
    const ControlEntry* e = Entry(id);
    if (!e) return {};
    QString text;
    if (auto* edit = qobject_cast<QLineEdit*>(e->widget))
        text = edit->text();
    else if (auto* button = qobject_cast<QAbstractButton*>(e->widget))
        text = button->text();
    else if (auto* group = qobject_cast<QGroupBox*>(e->widget))
        text = group->title();
    else if (auto* label = qobject_cast<QLabel*>(e->widget))
        text = label->text();
    // Untouched since the program set it: exactly the bytes it set, whatever
    // the toolkit made of them on the way.
    if (e->textSet && text == e->shownText) return e->setBytes;
    return ToBytes(text);
}

void QtWindow::SetText(int id, std::string_view text) {
    ControlEntry* e = Entry(id);
    if (!e) return;
    QuietScope quiet(quiet_);
    const QString t = FromBytes(text);
    if (auto* edit = qobject_cast<QLineEdit*>(e->widget)) {
        edit->setText(t);
        edit->setCursorPosition(0);
        e->shownText = edit->text();
    } else if (auto* button = qobject_cast<QAbstractButton*>(e->widget)) {
        button->setText(t);
        e->shownText = button->text();
    } else if (auto* group = qobject_cast<QGroupBox*>(e->widget)) {
        group->setTitle(t);
        e->shownText = group->title();
    } else if (auto* label = qobject_cast<QLabel*>(e->widget); label && e->kind == res::ControlKind::Static) {
        label->setText(t);
        e->shownText = label->text();
    } else {
        return;
    }
    e->setBytes = std::string(text);
    e->textSet = true;
}

bool QtWindow::Checked(int id) const {
    const ControlEntry* e = Entry(id);
    auto* button = e ? qobject_cast<QAbstractButton*>(e->widget) : nullptr;
    return button && button->isCheckable() && button->isChecked();
}

void QtWindow::SetChecked(int id, bool checked) {
    ControlEntry* e = Entry(id);
    auto* button = e ? qobject_cast<QAbstractButton*>(e->widget) : nullptr;
    if (!button || !button->isCheckable()) return;
    QuietScope quiet(quiet_);
    // Like the Win32 check message, this touches one button only; the
    // group's exclusivity would otherwise refuse to leave none checked.
    if (e->group) e->group->setExclusive(false);
    button->setChecked(checked);
    if (e->group) e->group->setExclusive(true);
}

void QtWindow::LimitText(int id, int bytes) {
    ControlEntry* e = Entry(id);
    auto* edit = e ? qobject_cast<QLineEdit*>(e->widget) : nullptr;
    if (!edit) return;
    const QValidator* old = edit->validator();
    edit->setValidator(bytes > 0 ? NewByteLimitValidator(bytes, edit->text(), quiet_, edit) : nullptr);
    delete old;
}

int QtWindow::FocusId() const {
    if (!dialog_) return 0;
    // The window's own record of its focused control: it stays right while
    // another window (a message box) is in front.
    QWidget* focus = dialog_->focusWidget();
    if (!focus || !focus->isVisibleTo(dialog_)) return 0;
    return IdOf(focus);
}

void QtWindow::SetFocus(int id) {
    ControlEntry* e = Entry(id);
    if (!e || e->widget->focusPolicy() == Qt::NoFocus || !e->widget->isEnabled()) return;
    // Before the window is first shown every child counts as hidden; only
    // controls hidden in their own right refuse the focus.
    if (!(e->style & WS_VISIBLE) || !e->widget->isVisibleTo(dialog_)) return;
    e->widget->setFocus(Qt::OtherFocusReason);
}

void QtWindow::SelectAll(int id) {
    ControlEntry* e = Entry(id);
    if (auto* edit = e ? qobject_cast<QLineEdit*>(e->widget) : nullptr) edit->selectAll();
}

void QtWindow::SelectText(int id, int start, int end) {
    ControlEntry* e = Entry(id);
    auto* edit = e ? qobject_cast<QLineEdit*>(e->widget) : nullptr;
    if (!edit) return;
    // Byte offsets of the program's text, as characters of the widget's.
    const std::string bytes = Text(id);
    auto chars = [&bytes](int n) {
        const size_t cut = std::min(static_cast<size_t>(std::max(n, 0)), bytes.size());
        return static_cast<int>(FromBytes(std::string_view(bytes).substr(0, cut)).size());
    };
    const int from = chars(start), to = chars(end);
    QuietScope quiet(quiet_);
    if (to > from) {
        // The cursor goes to the selection's end, so that a long number
        // scrolls to show where the dial has got to.
        edit->setSelection(from, to - from);
    } else {
        edit->deselect();
        edit->setCursorPosition(0);
    }
    // Drawn now: the program may hold the thread (a tone playing) before the
    // event loop would get round to it. A line edit shows its selection
    // without the focus too.
    if (edit->isVisible()) edit->repaint();
}

void QtWindow::SetToolTip(int id, std::string_view text) {
    if (QWidget* w = Control(id)) w->setToolTip(QString::fromUtf8(text.data(), qsizetype(text.size())));
}

void QtWindow::SliderSetRangeMax(int id, int max, bool) {
    ControlEntry* e = Entry(id);
    auto* slider = e ? qobject_cast<QSlider*>(e->widget) : nullptr;
    if (!slider) return;
    QuietScope quiet(quiet_);
    slider->setMaximum(max);
}

void QtWindow::SliderSetPageSize(int id, int size) {
    ControlEntry* e = Entry(id);
    auto* slider = e ? qobject_cast<QSlider*>(e->widget) : nullptr;
    if (!slider) return;
    QuietScope quiet(quiet_);
    slider->setPageStep(size);
}

int QtWindow::SliderPos(int id) const {
    const ControlEntry* e = Entry(id);
    auto* slider = e ? qobject_cast<QSlider*>(e->widget) : nullptr;
    return slider ? slider->value() : 0;
}

void QtWindow::SliderSetPos(int id, int pos, bool) {
    ControlEntry* e = Entry(id);
    auto* slider = e ? qobject_cast<QSlider*>(e->widget) : nullptr;
    if (!slider) return;
    QuietScope quiet(quiet_);
    slider->setValue(pos);  // clamped to the range, as a Win32 trackbar does
    e->scrollActionPending = false;
}

void QtWindow::SliderWheel(int id, int delta) {
    ControlEntry* e = Entry(id);
    auto* slider = e ? qobject_cast<QSlider*>(e->widget) : nullptr;
    if (!slider || delta == 0) return;
    // The slider's own handling of a wheel turned over it, notifications included.
    const QPointF centre = QRectF(slider->rect()).center();
    QWheelEvent wheel(centre, slider->mapToGlobal(centre), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(slider, &wheel);
}

void QtWindow::SetIcon(int iconId, bool) {
    if (dialog_) dialog_->setWindowIcon(system_.Icon(iconId));
}

void QtWindow::SetCaption(std::string_view text) {
    if (dialog_) dialog_->setWindowTitle(FromUtf8(text));
}

bool QtWindow::IsIconic() const { return dialog_ && dialog_->isMinimized(); }

port::Rect QtWindow::ClientRect() const {
    if (!dialog_) return {};
    return {0, 0, dialog_->width(), dialog_->height()};
}

void QtWindow::EraseIconBackground() {
    if (painter_) painter_->fillRect(dialog_->rect(), dialog_->palette().window());
}

void QtWindow::DrawIcon(int x, int y, int iconId) {
    if (painter_) painter_->drawPixmap(x, y, system_.Icon(iconId).pixmap(32, 32));
}

void QtWindow::PostCommand(int id) {
    if (!dialog_) return;
    // Queued on the dialog, so it is dropped with the window.
    QMetaObject::invokeMethod(
        dialog_.data(), [this, id] { events_.OnCommandEvent(id, BN_CLICKED); },
        Qt::QueuedConnection);
}

void QtWindow::BringToFront() {
    if (!dialog_ || !dialog_->isVisible()) return;
    if (dialog_->isMinimized()) dialog_->showNormal();
    dialog_->raise();
    dialog_->activateWindow();
}

void QtWindow::ShowPressed(int id, bool pressed) {
    auto* button = qobject_cast<QPushButton*>(Control(id));
    if (!button) return;
    button->setDown(pressed);
    // Drawn now: the program may hold the thread (a tone playing) before the
    // event loop would get round to it.
    if (pressed && button->isVisible()) button->repaint();
}

}  // namespace platform
