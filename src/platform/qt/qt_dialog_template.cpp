// Building a Qt window's controls from its template: one plain child widget
// per control at the template's rectangle, wired to report clicks and scrolls.
#include <QAbstractSlider>
#include <QButtonGroup>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>

#include <vector>

#include "framework/label_widening.h"
#include "platform/qt/qt_text.h"
#include "platform/qt/qt_window.h"
#include "platform/qt/qt_window_system.h"

namespace platform {
namespace {

constexpr uint32_t kWsDisabled = 0x08000000u;
constexpr uint32_t kButtonTypeMask = 0xFu;
constexpr uint32_t kStaticTypeMask = 0x1Fu;
constexpr uint32_t kSsCenter = 0x1u;
constexpr uint32_t kSsRight = 0x2u;
constexpr uint32_t kEsCenter = 0x1u;

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

// A group frame the way Windows draws it: an etched rectangle
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

}  // namespace

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

// The faces found here draw Latin letters wider than the templates' own face:
// see framework/label_widening.h. Only the measuring is Qt's.
void QtWindow::WidenClippedLabels() {
    std::vector<fw::LaidOutControl> laidOut;
    laidOut.reserve(controls_.size());
    for (const ControlEntry& entry : controls_) {
        const QRect g = entry.widget->geometry();
        fw::LaidOutControl c;
        c.rect = {g.left(), g.top(), g.left() + g.width(), g.top() + g.height()};
        c.visible = !entry.widget->isHidden();
        c.frame = entry.kind == res::ControlKind::GroupBox;
        auto* label = qobject_cast<QLabel*>(entry.widget);
        c.label = label && entry.kind == res::ControlKind::Static;
        if (c.label)
            c.textWidth = label->fontMetrics().horizontalAdvance(ShownText(label->text(), entry.style & SS_NOPREFIX));
        laidOut.push_back(c);
    }
    fw::WidenClippedLabels(laidOut, dialog_->width());
    for (size_t i = 0; i < controls_.size(); ++i) {
        QWidget* w = controls_[i].widget;
        if (laidOut[i].rect.Width() != w->width()) w->resize(laidOut[i].rect.Width(), w->height());
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
            // A read-only field sits on the dialog's face, as on Windows.
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
        // A Win32 trackbar starts with 0 to 100, a line of 1 and a page of a fifth.
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

}  // namespace platform
