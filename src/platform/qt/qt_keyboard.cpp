// The keyboard in a Qt window, as the Win32 dialog manager has it: Enter,
// Esc, Alt+F4 and Alt+Space, arrows within radio groups and on sliders, and
// the typed characters and editing keys the program sees first.
#include <QAbstractSlider>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include <vector>

#include "platform/qt/qt_window.h"

namespace platform {
namespace {

bool IsEnter(const QKeyEvent* key) {
    const auto mods = key->modifiers() & ~Qt::KeypadModifier;
    return (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
           mods == Qt::NoModifier;
}

bool IsSliderKey(int key) {
    switch (key) {
    case Qt::Key_Up: case Qt::Key_Down: case Qt::Key_Left: case Qt::Key_Right:
    case Qt::Key_PageUp: case Qt::Key_PageDown: case Qt::Key_Home: case Qt::Key_End:
        return true;
    default:
        return false;
    }
}

}  // namespace

bool DialogWidget::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress &&
        window_.HandleDialogKey(watched, static_cast<QKeyEvent*>(event)))
        return true;
    if (window_.OfferMouseToProgram(watched, event)) return true;
    if (event->type() == QEvent::KeyRelease) {
        auto* key = static_cast<QKeyEvent*>(event);
        auto* slider = qobject_cast<QSlider*>(watched);
        if (slider && !key->isAutoRepeat() && IsSliderKey(key->key()))
            window_.SendScroll(SB_ENDSCROLL, slider->value());
    }
    const bool wheel = event->type() == QEvent::Wheel;
    const bool leftRelease = event->type() == QEvent::MouseButtonRelease &&
                             static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
    if (wheel || leftRelease) {
        if (auto* slider = qobject_cast<QSlider*>(watched)) {
            // The release is processed first: a drag ends with the final position.
            QPointer<QSlider> guard(slider);
            QMetaObject::invokeMethod(
                slider,
                [this, guard] {
                    if (guard) window_.SendScroll(SB_ENDSCROLL, guard->value());
                },
                Qt::QueuedConnection);
        }
    }
    return QDialog::eventFilter(watched, event);
}

void DialogWidget::keyPressEvent(QKeyEvent* event) {
    if (!window_.HandleDialogKey(this, event)) event->ignore();
}

bool QtWindow::HandleDialogKey(QObject* watched, QKeyEvent* key) {
    const auto mods = key->modifiers() & ~Qt::KeypadModifier;
    if (key->key() == Qt::Key_Space && mods == Qt::AltModifier) {
        ShowSystemMenu(dialog_->mapToGlobal(QPoint(0, 0)));
        return true;
    }
    if (key->key() == Qt::Key_F4 && mods == Qt::AltModifier) {
        events_.OnSysCommandEvent(SC_CLOSE, 0);
        return true;
    }
    if (key->key() == Qt::Key_Escape && mods == Qt::NoModifier) {
        events_.OnCommandEvent(IDCANCEL, BN_CLICKED);
        return true;
    }
    if ((key->key() == Qt::Key_Left || key->key() == Qt::Key_Right) && mods == Qt::NoModifier) {
        // A Win32 trackbar takes Right as Down and Left as Up whatever
        // its orientation; Qt's inverted controls would swap the pair.
        if (auto* slider = qobject_cast<QSlider*>(watched); slider && slider->invertedControls()) {
            slider->triggerAction(key->key() == Qt::Key_Right ? QAbstractSlider::SliderSingleStepAdd
                                                              : QAbstractSlider::SliderSingleStepSub);
            return true;
        }
    }
    if (IsEnter(key)) {
        // A focused push button takes Enter for itself; anywhere else it means OK.
        auto* button = qobject_cast<QPushButton*>(watched);
        if (button && IdOf(button) != 0 && button->isVisible() && button->isEnabled()) {
            button->click();
        } else {
            events_.OnCommandEvent(IDOK, BN_CLICKED);
        }
        return true;
    }
    if (mods == Qt::NoModifier && (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down ||
                                   key->key() == Qt::Key_Left || key->key() == Qt::Key_Right) &&
        MoveInRadioGroup(watched, key->key()))
        return true;
    if (OfferKeyToProgram(key)) return true;
    return false;
}

bool QtWindow::OfferKeyToProgram(QKeyEvent* key) {
    const auto mods = key->modifiers() & ~Qt::KeypadModifier;
    const int k = key->key();
    if (mods == Qt::NoModifier && k == Qt::Key_Backspace)
        return events_.OnEditKeyEvent(port::EditKey::Backspace);
    if (mods == Qt::NoModifier && k == Qt::Key_Delete)
        return events_.OnEditKeyEvent(port::EditKey::Delete);
    if ((mods == Qt::ControlModifier && k == Qt::Key_V) ||
        (mods == Qt::ShiftModifier && k == Qt::Key_Insert))
        return events_.OnEditKeyEvent(port::EditKey::Paste);
    if (mods == Qt::ControlModifier && k == Qt::Key_C)
        return events_.OnEditKeyEvent(port::EditKey::Copy);
    if (mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    const QString text = key->text();
    if (text.size() != 1 || text[0].unicode() <= 0x20 || text[0].unicode() >= 0x7F) return false;
    return events_.OnCharEvent(static_cast<char>(text[0].unicode()));
}

bool QtWindow::MoveInRadioGroup(QObject* watched, int key) {
    const int id = IdOf(qobject_cast<QWidget*>(watched));
    const ControlEntry* from = id ? Entry(id) : nullptr;
    if (!from || from->kind != res::ControlKind::RadioButton || !from->group) return false;
    // The group's buttons in template order; the move wraps around its ends.
    std::vector<size_t> members;
    size_t at = 0;
    for (size_t i = 0; i < controls_.size(); ++i) {
        if (controls_[i].group != from->group) continue;
        if (controls_[i].widget == from->widget) at = members.size();
        members.push_back(i);
    }
    const bool forward = key == Qt::Key_Down || key == Qt::Key_Right;
    for (size_t step = 1; step < members.size(); ++step) {
        const size_t n = members.size();
        const size_t i = members[forward ? (at + step) % n : (at + n - step) % n];
        QWidget* w = controls_[i].widget;
        if (!(controls_[i].style & WS_VISIBLE) || !w->isEnabled()) continue;
        w->setFocus(Qt::TabFocusReason);
        // An automatic radio button reached by the keyboard checks itself and says so.
        if (!static_cast<QRadioButton*>(w)->isChecked()) OnRadioClicked(i);
        break;
    }
    return true;
}

// As in the Win32 dialog manager, checking a radio button makes it a tab stop
// and unchecking it takes that away, so Tab reaches a group at its checked
// button and skips a group with none checked.
void QtWindow::UpdateRadioTabStop(size_t index) {
    const ControlEntry& entry = controls_[index];
    if (entry.style & WS_TABSTOP || !(entry.style & WS_VISIBLE)) return;
    auto* radio = static_cast<QRadioButton*>(entry.widget);
    radio->setFocusPolicy(radio->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
}

}  // namespace platform
