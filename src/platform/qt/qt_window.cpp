#include "platform/qt/qt_window.h"

#include <QAbstractSlider>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <QValidator>
#include <QWheelEvent>

#include <algorithm>

#include "framework/byte_text.h"
#include "platform/qt/qt_window_system.h"

namespace platform {
namespace {

constexpr uint32_t kWsDisabled = 0x08000000u;
constexpr uint32_t kButtonTypeMask = 0xFu;
constexpr uint32_t kStaticTypeMask = 0x1Fu;
constexpr uint32_t kSsCenter = 0x1u;
constexpr uint32_t kSsRight = 0x2u;
constexpr uint32_t kEsCenter = 0x1u;
constexpr UINT kSysCommandMask = 0xFFF0u;
// The shortest interval the original platform's timers run at.
constexpr UINT kMinTimerMs = 10;

QString FromUtf8(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

// A control's text carries the program's bytes exactly (see byte_text.h).
QString FromBytes(std::string_view bytes) {
    const std::u16string u = fw::BytesToUtf16(bytes);
    return QString::fromUtf16(u.data(), qsizetype(u.size()));
}

std::string ToBytes(const QString& text) {
    return fw::Utf16ToBytes(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                                size_t(text.size())));
}

// Rounds half away from zero, as the platform's MulDiv does.
int MulDiv(int a, int b, int c) {
    const long long p = static_cast<long long>(a) * b;
    return p >= 0 ? int((p + c / 2) / c) : -int((-p + c / 2) / c);
}

// Refuses edits that would make the text longer than a number of bytes.
class ByteLimitValidator : public QValidator {
public:
    ByteLimitValidator(int bytes, QObject* parent) : QValidator(parent), bytes_(bytes) {}
    State validate(QString& input, int&) const override {
        return ToBytes(input).size() > size_t(bytes_) ? Invalid : Acceptable;
    }

private:
    int bytes_;
};

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

UINT ScrollCodeOf(int action) {
    switch (action) {
    case QAbstractSlider::SliderSingleStepAdd: return SB_LINEDOWN;
    case QAbstractSlider::SliderSingleStepSub: return SB_LINEUP;
    case QAbstractSlider::SliderPageStepAdd: return SB_PAGEDOWN;
    case QAbstractSlider::SliderPageStepSub: return SB_PAGEUP;
    case QAbstractSlider::SliderToMinimum: return SB_TOP;
    case QAbstractSlider::SliderToMaximum: return SB_BOTTOM;
    default: return SB_THUMBTRACK;
    }
}

// Turns a quiet flag on for the lifetime of a programmatic change.
class QuietScope {
public:
    explicit QuietScope(bool& flag) : flag_(flag), saved_(flag) { flag_ = true; }
    ~QuietScope() { flag_ = saved_; }

private:
    bool& flag_;
    bool saved_;
};

// A group frame the way the original platform draws it: an etched rectangle
// whose top edge runs through the middle of the caption, so the frame encloses
// the template's whole rectangle instead of starting below the caption.
class FrameBox : public QGroupBox {
public:
    FrameBox(const QString& title, QWidget* parent) : QGroupBox(title, parent) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QFontMetrics fm(font());
        const QRect frame = rect().adjusted(0, fm.height() / 2, -1, -1);
        p.setPen(palette().color(QPalette::Dark));
        p.drawRect(frame.adjusted(0, 0, -1, -1));
        p.setPen(palette().color(QPalette::Light));
        p.drawRect(frame.adjusted(1, 1, 0, 0));
        if (title().isEmpty()) return;
        const int flags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine | Qt::TextShowMnemonic;
        QRect text = fm.boundingRect(QRect(0, 0, width(), height()), flags, title());
        text.moveTo(fm.averageCharWidth(), 0);
        p.fillRect(text, palette().window());
        p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
        p.drawText(text, flags, title());
    }
};

// What a label shows: its access key marker is not drawn.
QString ShownText(const QString& text, bool noPrefix) {
    if (noPrefix) return text;
    QString shown;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == '&' && i + 1 < text.size()) ++i;
        shown += text[i];
    }
    return shown;
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

// ---------------------------------------------------------------------------

DialogWidget::DialogWidget(QtWindow& window, QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags), window_(window) {}

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

void DialogWidget::closeEvent(QCloseEvent* event) {
    // The window closes only when the program ends its modal run; a request
    // to close a window that is not running (the session ending) is ignored.
    event->ignore();
    if (window_.running_) window_.events_.OnSysCommandEvent(SC_CLOSE, 0);
}

void DialogWidget::contextMenuEvent(QContextMenuEvent* event) {
    // Group frames and labels let the mouse through, so only the background is left.
    if (event->reason() == QContextMenuEvent::Mouse && childAt(event->pos()) == nullptr) {
        window_.ShowSystemMenu(event->globalPos());
        return;
    }
    event->ignore();
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

void QtWindow::BuildControls(const res::DialogTemplate& tmpl, DialogBaseUnits units) {
    controls_.reserve(tmpl.controls.size());
    QButtonGroup* group = nullptr;
    for (size_t i = 0; i < tmpl.controls.size(); ++i) {
        const res::ControlTemplate& c = tmpl.controls[i];
        controls_.push_back({c.id, c.kind, c.style, nullptr, nullptr, SB_THUMBTRACK, false, 0, false, {}, {}});
        QWidget* w = MakeControl(c, i, group);
        controls_[i].widget = w;
        w->setProperty("ctrlId", c.id);
        if (c.id != -1) w->setObjectName(QStringLiteral("ctrl%1").arg(c.id));
        if (c.kind == res::ControlKind::Icon) {
            const QRect r = DialogUnitsToPixels(units, c.x, c.y, 0, 0);
            w->setGeometry(r.x(), r.y(), 32, 32);
        } else {
            w->setGeometry(DialogUnitsToPixels(units, c.x, c.y, c.cx, c.cy));
        }
        if (c.style & kWsDisabled) w->setEnabled(false);
        if (!(c.style & WS_VISIBLE)) {
            w->setVisible(false);
            w->setFocusPolicy(Qt::NoFocus);
        }
        w->installEventFilter(dialog_);
    }
    // Frames are drawn beneath the controls they surround.
    for (auto& entry : controls_)
        if (entry.kind == res::ControlKind::GroupBox) entry.widget->lower();
    WidenClippedLabels();
    // A label's access key moves the focus to the control that follows it.
    for (size_t i = 0; i < controls_.size(); ++i) {
        auto* label = qobject_cast<QLabel*>(controls_[i].widget);
        if (!label || controls_[i].kind != res::ControlKind::Static) continue;
        if ((controls_[i].style & SS_NOPREFIX) || !label->text().contains('&')) continue;
        for (size_t j = i + 1; j < controls_.size(); ++j) {
            if (controls_[j].widget->focusPolicy() != Qt::NoFocus) {
                label->setBuddy(controls_[j].widget);
                break;
            }
        }
    }
}

// The templates were measured with the original platform's Japanese face,
// whose Latin letters are narrower than those of the faces found here. A label
// that would lose its end grows to the right into free space, up to the frame
// around it, so that it stays readable.
void QtWindow::WidenClippedLabels() {
    for (ControlEntry& entry : controls_) {
        auto* label = qobject_cast<QLabel*>(entry.widget);
        if (!label || entry.kind != res::ControlKind::Static || label->isHidden()) continue;
        const QRect r = label->geometry();
        const int needed =
            label->fontMetrics().horizontalAdvance(ShownText(label->text(), entry.style & SS_NOPREFIX)) + 1;
        if (needed <= r.width()) continue;
        int limit = dialog_->width() - r.left() - 2;
        for (const ControlEntry& other : controls_) {
            if (other.widget == entry.widget || other.widget->isHidden()) continue;
            const QRect o = other.widget->geometry();
            if (other.kind == res::ControlKind::GroupBox) {
                if (o.contains(r)) limit = std::min(limit, o.right() - 3 - r.left());
            } else if (o.left() >= r.right() && o.top() <= r.bottom() && o.bottom() >= r.top()) {
                limit = std::min(limit, o.left() - 2 - r.left());
            }
        }
        if (limit > r.width()) label->resize(std::min(needed, limit), r.height());
    }
}

QWidget* QtWindow::MakeControl(const res::ControlTemplate& c, size_t index, QButtonGroup*& group) {
    const QString text = FromUtf8(c.text);
    const bool tabStop = (c.style & WS_TABSTOP) != 0;
    if (c.style & WS_GROUP) group = nullptr;  // a group style starts a new radio group
    QWidget* parent = dialog_;

    switch (c.kind) {
    case res::ControlKind::PushButton: {
        auto* b = new QPushButton(text, parent);
        b->setAutoDefault(false);
        b->setDefault((c.style & kButtonTypeMask) == BS_DEFPUSHBUTTON);
        b->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus);
        const int id = c.id;
        // The focus moves on the press, so a handler already sees its button focused.
        QObject::connect(b, &QPushButton::pressed, dialog_, [b] {
            if (b->focusPolicy() & Qt::ClickFocus) b->setFocus(Qt::MouseFocusReason);
        });
        QObject::connect(b, &QPushButton::clicked, dialog_,
                         [this, id] { events_.OnCommandEvent(id, BN_CLICKED); });
        return b;
    }
    case res::ControlKind::Edit: {
        auto* e = new QLineEdit(text, parent);
        e->setReadOnly((c.style & ES_READONLY) != 0);
        e->setFrame((c.style & WS_BORDER) != 0);
        if (c.style & ES_RIGHT)
            e->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        else if (c.style & kEsCenter)
            e->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
        if (c.style & ES_READONLY) {
            // A read-only field sits on the dialog's face, as on the original platform.
            QPalette pal = e->palette();
            pal.setColor(QPalette::Base, pal.color(QPalette::Window));
            e->setPalette(pal);
        }
        e->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus);
        return e;
    }
    case res::ControlKind::Static: {
        auto* l = new QLabel(text, parent);
        l->setTextFormat(Qt::PlainText);
        const uint32_t type = c.style & kStaticTypeMask;
        Qt::Alignment align = Qt::AlignTop | Qt::AlignLeft;
        if (type == kSsCenter) align = Qt::AlignTop | Qt::AlignHCenter;
        if (type == kSsRight) align = Qt::AlignTop | Qt::AlignRight;
        l->setAlignment(align);
        l->setAttribute(Qt::WA_TransparentForMouseEvents);
        l->setFocusPolicy(Qt::NoFocus);
        return l;
    }
    case res::ControlKind::GroupBox: {
        auto* g = new FrameBox(text, parent);
        g->setAttribute(Qt::WA_TransparentForMouseEvents);
        g->setFocusPolicy(Qt::NoFocus);
        return g;
    }
    case res::ControlKind::RadioButton: {
        auto* r = new QRadioButton(text, parent);
        r->setAutoExclusive(false);
        if (!group) {
            group = new QButtonGroup(dialog_);
            group->setExclusive(true);
        }
        group->addButton(r);
        controls_[index].group = group;
        r->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus);
        QObject::connect(r, &QRadioButton::clicked, dialog_, [this, index] { OnRadioClicked(index); });
        QObject::connect(r, &QRadioButton::toggled, dialog_, [this, index] { UpdateRadioTabStop(index); });
        return r;
    }
    case res::ControlKind::Slider: {
        auto* s = new QSlider((c.style & TBS_VERT) ? Qt::Vertical : Qt::Horizontal, parent);
        // The platform's trackbar starts with 0 to 100, a line of 1 and a page of a fifth.
        s->setRange(0, 100);
        s->setSingleStep(1);
        s->setPageStep(20);
        if (c.style & TBS_VERT) {
            // Position 0 at the top, and Down moves towards the end of the range.
            s->setInvertedAppearance(true);
            s->setInvertedControls(true);
        }
        if (c.style & TBS_NOTICKS)
            s->setTickPosition(QSlider::NoTicks);
        else
            s->setTickPosition((c.style & TBS_BOTH) ? QSlider::TicksBothSides : QSlider::TicksRight);
        s->setFocusPolicy(tabStop ? Qt::StrongFocus : Qt::ClickFocus);
        QObject::connect(s, &QAbstractSlider::actionTriggered, dialog_, [this, index](int action) {
            controls_[index].pendingScrollCode = ScrollCodeOf(action);
            controls_[index].scrollActionPending = true;
        });
        QObject::connect(s, &QAbstractSlider::valueChanged, dialog_, [this, index, s](int value) {
            ControlEntry& entry = controls_[index];
            const int previous = entry.lastValue;
            entry.lastValue = value;
            if (quiet_) return;
            UINT code = entry.scrollActionPending ? entry.pendingScrollCode
                        : s->isSliderDown()      ? SB_THUMBTRACK
                                                 : SB_THUMBPOSITION;
            // The wheel moves by lines, not by dragging the thumb.
            if (code == SB_THUMBTRACK && !s->isSliderDown())
                code = value > previous ? SB_LINEDOWN : SB_LINEUP;
            entry.scrollActionPending = false;
            SendScroll(code, value);
        });
        QObject::connect(s, &QAbstractSlider::sliderReleased, dialog_, [this, s] {
            if (!quiet_) SendScroll(SB_THUMBPOSITION, s->value());
        });
        return s;
    }
    case res::ControlKind::Icon: {
        auto* l = new QLabel(parent);
        l->setPixmap(system_.Icon(text.toInt()).pixmap(32, 32));
        l->setAttribute(Qt::WA_TransparentForMouseEvents);
        l->setFocusPolicy(Qt::NoFocus);
        return l;
    }
    }
    return new QWidget(parent);
}

// As on the original platform, checking a radio button makes it a tab stop
// and unchecking it takes that away, so Tab reaches a group at its checked
// button and skips a group with none checked.
void QtWindow::UpdateRadioTabStop(size_t index) {
    const ControlEntry& entry = controls_[index];
    if (entry.style & WS_TABSTOP || !(entry.style & WS_VISIBLE)) return;
    auto* radio = static_cast<QRadioButton*>(entry.widget);
    radio->setFocusPolicy(radio->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
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
    if (event->type() != QEvent::Wheel || qobject_cast<QSlider*>(watched)) return false;
    const int delta = static_cast<QWheelEvent*>(event)->angleDelta().y();
    return delta != 0 && events_.OnMouseWheelEvent(id, delta);
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
        // The platform's trackbar takes Right as Down and Left as Up whatever
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
    // Like the platform's check message, this touches one button only; the
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
    edit->setValidator(bytes > 0 ? new ByteLimitValidator(bytes, edit) : nullptr);
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
    slider->setValue(pos);  // clamped to the range, as the platform does
    e->scrollActionPending = false;
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

void QtWindow::AppendSystemMenuSeparator() { extraMenu_.push_back({true, 0, {}}); }

void QtWindow::AppendSystemMenuItem(UINT cmd, std::string_view text) {
    // The platform's access key marker is also Qt's, so "&A" keeps working.
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

void QtWindow::SetIcon(int iconId, bool) {
    if (dialog_) dialog_->setWindowIcon(system_.Icon(iconId));
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

}  // namespace platform
