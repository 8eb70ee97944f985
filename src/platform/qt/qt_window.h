#pragma once
// One dialog window of the Qt backend. The controls are plain child widgets of
// one QDialog, laid out at the template's rectangles; the dialog translates
// keys, clicks and close requests into the events the framework expects.

#include <QDialog>
#include <QPointer>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/ports.h"
#include "platform/qt/qt_dialog_font.h"

class QButtonGroup;
class QEventLoop;
class QMenu;
class QPainter;
class QTimer;

namespace platform {

class QtWindowSystem;
class QtWindow;

class DialogWidget : public QDialog {
public:
    DialogWidget(QtWindow& window, QWidget* parent, Qt::WindowFlags flags);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QtWindow& window_;
};

class QtWindow final : public port::Window {
public:
    QtWindow(QtWindowSystem& system, const res::DialogTemplate& tmpl, QtWindow* owner,
             port::WindowEvents& events);
    ~QtWindow() override;
    QtWindow(const QtWindow&) = delete;
    QtWindow& operator=(const QtWindow&) = delete;

    std::string Text(int id) const override;
    void SetText(int id, std::string_view text) override;
    bool Checked(int id) const override;
    void SetChecked(int id, bool checked) override;
    void LimitText(int id, int bytes) override;
    int FocusId() const override;
    void SetFocus(int id) override;
    void SelectAll(int id) override;
    void SelectText(int id, int start, int end) override;
    void SetToolTip(int id, std::string_view text) override;

    void SliderSetRangeMax(int id, int max, bool redraw) override;
    void SliderSetPageSize(int id, int size) override;
    int SliderPos(int id) const override;
    void SliderSetPos(int id, int pos, bool redraw) override;
    void SliderWheel(int id, int delta) override;

    bool SetTimer(UINT id, UINT ms) override;
    bool KillTimer(UINT id) override;

    void AppendSystemMenuSeparator() override;
    void AppendSystemMenuItem(UINT cmd, std::string_view text) override;
    void SetIcon(int iconId, bool big) override;
    void SetCaption(std::string_view text) override;
    void DefaultSysCommand(UINT cmd, long param) override;
    bool IsIconic() const override;
    port::Rect ClientRect() const override;
    void EraseIconBackground() override;
    void DrawIcon(int x, int y, int iconId) override;
    void PostCommand(int id) override;
    void BringToFront() override;
    void ShowPressed(int id, bool pressed) override;

    int RunModal();
    void EndModal(int result);

    QDialog* Dialog() const { return dialog_; }
    QWidget* Control(int id) const;  // the first control with that identifier, or nullptr
    int IdOf(const QWidget* widget) const;  // 0 when it is none of this window's controls

    // The system menu as it would open now; choosing an item sends its command.
    std::unique_ptr<QMenu> BuildSystemMenu(QWidget* parent);
    void ShowSystemMenu(const QPoint& globalPos);

private:
    friend class DialogWidget;

    struct ControlEntry {
        int id;
        res::ControlKind kind;
        uint32_t style;
        QWidget* widget;
        QButtonGroup* group = nullptr;  // radio buttons only
        UINT pendingScrollCode = SB_THUMBTRACK;
        bool scrollActionPending = false;
        int lastValue = 0;
        // The bytes the program last set and what the widget then showed.
        bool textSet = false;
        std::string setBytes;
        QString shownText;
    };
    struct MenuItem {
        bool separator;
        UINT cmd;
        QString text;
    };

    ControlEntry* Entry(int id);
    const ControlEntry* Entry(int id) const;
    void OnRadioClicked(size_t index);
    void SendScroll(UINT code, int pos);

    // qt_dialog_template.cpp
    void BuildControls(const res::DialogTemplate& tmpl, DialogBaseUnits units);
    void WidenClippedLabels();
    QWidget* MakeControl(const res::ControlTemplate& c, size_t index, QButtonGroup*& group);

    // qt_keyboard.cpp
    // Keys the dialog handles itself, seen before any control gets them.
    bool HandleDialogKey(QObject* watched, QKeyEvent* key);
    // Typed characters and editing keys, offered to the program first.
    bool OfferKeyToProgram(QKeyEvent* key);
    // Clicks into fields and the wheel over controls that do not take it,
    // told to the program; true when the program took the event.
    bool OfferMouseToProgram(QObject* watched, QEvent* event);
    // An arrow key on a radio button moves the check within its group.
    bool MoveInRadioGroup(QObject* watched, int key);
    void UpdateRadioTabStop(size_t index);

    QtWindowSystem& system_;
    port::WindowEvents& events_;
    QPointer<DialogWidget> dialog_;
    bool minimizeBox_ = false;
    std::vector<ControlEntry> controls_;
    std::map<UINT, std::unique_ptr<QTimer>> timers_;
    std::vector<MenuItem> extraMenu_;
    QPainter* painter_ = nullptr;  // set only inside paintEvent
    bool quiet_ = false;           // programmatic change: no notifications
    QEventLoop* loop_ = nullptr;
    bool running_ = false;
    bool ended_ = false;
    int result_ = 0;
};

}  // namespace platform
