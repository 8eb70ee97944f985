// Drives real Qt windows (offscreen platform) built from the dialog templates.

#include <gtest/gtest.h>

#include "platform/qt/qt_test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <QWheelEvent>

#include <functional>
#include <string>
#include <vector>

#include "platform/qt/qt_window.h"
#include "platform/qt/qt_window_system.h"
#include "resources/resource_ids.h"

namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "vantrel_qt_tests";
        static char* argv[] = {name, nullptr};
        app_ = new QApplication(argc, argv);
    }
    void TearDown() override { delete app_; }

private:
    QApplication* app_ = nullptr;
};

[[maybe_unused]] ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

struct Recorder : port::WindowEvents {
    std::vector<std::pair<int, UINT>> commands;
    std::vector<UINT> timers;
    std::vector<UINT> sysCommands;
    std::vector<std::pair<UINT, int>> scrolls;
    std::function<void(int)> onCommand;
    std::function<void(UINT)> onSysCommand;
    std::function<void()> onPaint;

    void OnCommandEvent(int id, UINT code) override {
        commands.emplace_back(id, code);
        if (onCommand) onCommand(id);
    }
    void OnTimerEvent(UINT id) override { timers.push_back(id); }
    void OnSysCommandEvent(UINT cmd, long) override {
        sysCommands.push_back(cmd);
        if (onSysCommand) onSysCommand(cmd);
    }
    void OnVScrollEvent(UINT code, int pos) override { scrolls.emplace_back(code, pos); }
    void OnPaintEvent() override {
        if (onPaint) onPaint();
    }
};


int MulDivRound(int a, int b, int c) { return (a * b + c / 2) / c; }

class QtWindowTest : public ::testing::Test {
protected:
    // A test whose script fails while a modal box or menu is up would wait
    // forever; the watchdog closes what is left open so that it fails instead.
    void SetUp() override {
        watchdog_ = std::make_unique<QTimer>();
        watchdog_->setSingleShot(true);
        QObject::connect(watchdog_.get(), &QTimer::timeout, [] {
            ADD_FAILURE() << "a modal window was left open";
            if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
            while (QWidget* modal = QApplication::activeModalWidget()) {
                if (auto* d = qobject_cast<QDialog*>(modal)) d->reject(); else modal->close();
                QApplication::processEvents();
                if (QApplication::activeModalWidget() == modal) break;
            }
        });
        watchdog_->start(10000);
    }
    void TearDown() override { watchdog_.reset(); }

    std::unique_ptr<platform::QtWindow> Make(int templateId, Recorder& events,
                                             platform::QtWindow* owner = nullptr) {
        const res::DialogTemplate* t = res::FindDialogTemplate(templateId);
        EXPECT_NE(t, nullptr);
        auto w = ws.Create(*t, owner, events);
        auto* qt = dynamic_cast<platform::QtWindow*>(w.get());
        EXPECT_NE(qt, nullptr);
        w.release();
        return std::unique_ptr<platform::QtWindow>(qt);
    }
    void Show(platform::QtWindow& w) {
        w.Dialog()->show();
        w.Dialog()->activateWindow();
        QApplication::processEvents();
    }
    QWidget* Focus(platform::QtWindow& w) { return w.Dialog()->focusWidget(); }

    platform::QtWindowSystem ws;
    std::unique_ptr<QTimer> watchdog_;
};

TEST_F(QtWindowTest, DialerWindowHasEveryTemplateControlAtItsPlace) {
    Recorder events;
    auto w = Make(res::IDD_DIALER, events);
    const res::DialogTemplate& t = *res::FindDialogTemplate(res::IDD_DIALER);
    QDialog* d = w->Dialog();

    if (QFontDatabase::families().contains("IPAPGothic")) {
        EXPECT_EQ(d->font().family(), "IPAPGothic");
    }
    const QFontMetrics fm(d->font());
    const int bx = (fm.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 26 + 1) / 2;
    const int by = fm.height();
    ASSERT_GT(bx, 3);
    ASSERT_GT(by, 8);
    EXPECT_EQ(d->size(), QSize(MulDivRound(359, bx, 4), MulDivRound(190, by, 8)));
    EXPECT_EQ(d->minimumSize(), d->maximumSize());
    EXPECT_EQ(d->windowTitle(), "Vantrel");
    EXPECT_TRUE(d->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(d->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(d->windowIcon().isNull());

    std::vector<QWidget*> all;
    for (QObject* o : d->children())
        if (auto* cw = qobject_cast<QWidget*>(o); cw && cw->property("ctrlId").isValid()) all.push_back(cw);
    EXPECT_EQ(all.size(), t.controls.size());

    for (const res::ControlTemplate& c : t.controls) {
        SCOPED_TRACE(std::to_string(c.id) + " " + std::string(c.text));
        const QRect want(MulDivRound(c.x, bx, 4), MulDivRound(c.y, by, 8), MulDivRound(c.cx, bx, 4),
                         MulDivRound(c.cy, by, 8));
        int found = 0;
        for (QWidget* cw : all)
            if (cw->property("ctrlId").toInt() == c.id && cw->geometry() == want) ++found;
        EXPECT_EQ(found, 1);
        if (c.id != -1) {
            ASSERT_NE(w->Control(c.id), nullptr);
            EXPECT_EQ(w->Control(c.id)->geometry(), want);
        }
    }
    // The keypad is a grid without gaps: "1" ends where "2" begins.
    EXPECT_EQ(w->Control(1000)->geometry().right() + 1, w->Control(1001)->geometry().left());

    // Styles that matter to the user.
    EXPECT_TRUE(w->Control(1)->isVisibleTo(d));
    EXPECT_FALSE(w->Control(IDCANCEL)->isVisibleTo(d));
    for (int id : {1000, 1017, 1019, 1, 1024}) {
        auto* b = qobject_cast<QPushButton*>(w->Control(id));
        ASSERT_NE(b, nullptr);
        EXPECT_FALSE(b->isDefault());
        EXPECT_FALSE(b->autoDefault());
    }
    auto* dial = qobject_cast<QLineEdit*>(w->Control(1015));
    auto* file = qobject_cast<QLineEdit*>(w->Control(1065));
    auto* rowNo = qobject_cast<QLineEdit*>(w->Control(1092));
    ASSERT_TRUE(dial && file && rowNo);
    EXPECT_TRUE(dial->isReadOnly());
    EXPECT_TRUE(dial->hasFrame());
    EXPECT_TRUE(file->isReadOnly());
    EXPECT_FALSE(file->hasFrame());
    EXPECT_FALSE(rowNo->hasFrame());
    EXPECT_TRUE(rowNo->alignment() & Qt::AlignRight);
    auto* slider = qobject_cast<QSlider*>(w->Control(1091));
    ASSERT_NE(slider, nullptr);
    EXPECT_EQ(slider->orientation(), Qt::Vertical);
    EXPECT_EQ(slider->tickPosition(), QSlider::NoTicks);
    int frames = 0, hiddenFrames = 0;
    for (QWidget* cw : all)
        if (auto* g = qobject_cast<QGroupBox*>(cw)) {
            ++frames;
            if (!g->isVisibleTo(d)) ++hiddenFrames;
        }
    EXPECT_EQ(frames, 5);
    EXPECT_EQ(hiddenFrames, 1);
}

TEST_F(QtWindowTest, TabWalksTheTemplateTabStopsAndFocusStartsOnTheFirst) {
    Recorder events;
    auto w = Make(res::IDD_DIALER, events);
    Show(*w);
    std::vector<int> expected;
    for (const auto& c : res::FindDialogTemplate(res::IDD_DIALER)->controls)
        if ((c.style & WS_TABSTOP) && (c.style & WS_VISIBLE)) expected.push_back(c.id);
    ASSERT_EQ(expected.front(), 1000);

    EXPECT_EQ(w->FocusId(), 1000);
    std::vector<int> seen{w->FocusId()};
    for (size_t i = 0; i < expected.size(); ++i) {
        SendKey(Focus(*w), Qt::Key_Tab);
        seen.push_back(w->FocusId());
    }
    expected.push_back(1000);  // and round again
    EXPECT_EQ(seen, expected);

    w->SetFocus(1091);
    EXPECT_EQ(w->FocusId(), 1091);
    w->SetFocus(IDCANCEL);  // hidden: never takes the focus
    EXPECT_EQ(w->FocusId(), 1091);
    EXPECT_TRUE(events.commands.empty());
}

TEST_F(QtWindowTest, KeysAndCloseRequestsBecomeCommandsAndTheWindowStaysOpen) {
    Recorder events;
    auto w = Make(res::IDD_DIALER, events);
    Show(*w);

    SendKey(Focus(*w), Qt::Key_Escape);
    ASSERT_EQ(events.commands.size(), 1u);
    EXPECT_EQ(events.commands.back(), std::make_pair(IDCANCEL, BN_CLICKED));
    EXPECT_TRUE(w->Dialog()->isVisible());

    w->SetFocus(1005);
    SendKey(Focus(*w), Qt::Key_Return);
    EXPECT_EQ(events.commands.back(), std::make_pair(1005, BN_CLICKED));
    EXPECT_EQ(w->FocusId(), 1005);

    w->SetFocus(1091);
    SendKey(Focus(*w), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(events.commands.back(), std::make_pair(IDOK, BN_CLICKED));

    w->SetFocus(1066);
    SendKey(Focus(*w), Qt::Key_Return);
    EXPECT_EQ(events.commands.back(), std::make_pair(IDOK, BN_CLICKED));
    EXPECT_EQ(events.commands.size(), 4u);

    // Clicking gives a push button the focus before its command arrives.
    int focusAtClick = 0;
    events.onCommand = [&](int) { focusAtClick = w->FocusId(); };
    QWidget* option = w->Control(1024);
    const QPoint centre = option->rect().center();
    QMouseEvent press(QEvent::MouseButtonPress, centre, option->mapToGlobal(centre), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(option, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, centre, option->mapToGlobal(centre),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(option, &release);
    EXPECT_EQ(events.commands.back(), std::make_pair(1024, BN_CLICKED));
    EXPECT_EQ(focusAtClick, 1024);
    events.onCommand = nullptr;

    // A close request reaches a running window as the system command Close
    // and closes nothing by itself; a window that is not running ignores it.
    EXPECT_FALSE(w->Dialog()->close());
    EXPECT_TRUE(events.sysCommands.empty());
    QTimer::singleShot(0, [&] {
        EXPECT_FALSE(w->Dialog()->close());
        EXPECT_TRUE(w->Dialog()->isVisible());
        SendKey(Focus(*w), Qt::Key_F4, Qt::AltModifier);
        EXPECT_TRUE(w->Dialog()->isVisible());
        ws.EndModal(*w, 3);
    });
    EXPECT_EQ(ws.RunModal(*w), 3);
    EXPECT_EQ(events.sysCommands, (std::vector<UINT>{SC_CLOSE, SC_CLOSE}));

    const size_t before = events.commands.size();
    w->DefaultSysCommand(SC_CLOSE | 0x2, 0);  // the low bits are the platform's own
    ASSERT_EQ(events.commands.size(), before + 1);
    EXPECT_EQ(events.commands.back(), std::make_pair(IDCANCEL, BN_CLICKED));
    w->DefaultSysCommand(SC_MOVE, 0);
    w->DefaultSysCommand(16, 0);
    EXPECT_EQ(events.commands.size(), before + 1);
}

TEST_F(QtWindowTest, ModalRunsEndWithTheirResultsAndNest) {
    Recorder outerEvents, innerEvents;
    auto outer = Make(res::IDD_DIALER, outerEvents);
    // The way the program closes: Exit ends with IDOK, the system Close with IDCANCEL.
    outerEvents.onCommand = [&](int id) {
        if (id == IDOK || id == IDCANCEL) ws.EndModal(*outer, id);
    };
    outerEvents.onSysCommand = [&](UINT cmd) { outer->DefaultSysCommand(cmd, 0); };

    QTimer::singleShot(0, [&] { static_cast<QPushButton*>(outer->Control(IDOK))->click(); });
    EXPECT_EQ(ws.RunModal(*outer), IDOK);
    EXPECT_FALSE(outer->Dialog()->isVisible());

    QTimer::singleShot(0, [&] { outer->Dialog()->close(); });
    EXPECT_EQ(ws.RunModal(*outer), IDCANCEL);

    // An options window over the dialer: its own result, then the dialer goes on.
    std::unique_ptr<platform::QtWindow> inner;
    int innerResult = 0;
    QTimer::singleShot(0, [&] {
        inner = Make(res::IDD_OPTION, innerEvents, outer.get());
        QTimer::singleShot(0, [&] {
            EXPECT_TRUE(inner->Dialog()->isVisible());
            EXPECT_TRUE(outer->Dialog()->isVisible());
            // A box over it, even one that names the dialer as owner, hands
            // the keyboard back to the options window when it closes.
            QTimer::singleShot(50, [] {
                if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
                    box->button(QMessageBox::Ok)->click();
            });
            ws.MessageBox(outer.get(), "text", "caption", MB_OK);
            QApplication::processEvents();
            EXPECT_EQ(QApplication::activeWindow(), inner->Dialog());
            // Activating the dialer beneath brings the options window back.
            outer->Dialog()->activateWindow();
            QApplication::processEvents();
            QApplication::processEvents();
            EXPECT_EQ(QApplication::activeWindow(), inner->Dialog());
            ws.EndModal(*inner, 7);
        });
        innerResult = ws.RunModal(*inner);
        EXPECT_TRUE(outer->Dialog()->isVisible());
        ws.EndModal(*outer, 5);
    });
    EXPECT_EQ(ws.RunModal(*outer), 5);
    EXPECT_EQ(innerResult, 7);
    EXPECT_EQ(inner->Dialog()->parentWidget(), outer->Dialog());
    inner.reset();
}

TEST_F(QtWindowTest, TimersKeepFiringUnderAMessageBoxAndCanBeKilled) {
    Recorder events;
    auto w = Make(res::IDD_DIALER, events);
    Show(*w);
    EXPECT_FALSE(w->KillTimer(1));
    ASSERT_TRUE(w->SetTimer(1, 5000));
    ASSERT_TRUE(w->SetTimer(1, 20));  // re-arming replaces the interval

    QString seenText, seenTitle;
    QMessageBox::Icon seenIcon = QMessageBox::Information;
    QTimer::singleShot(300, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seenText = box->text();
        seenTitle = box->windowTitle();
        seenIcon = box->icon();
        box->button(QMessageBox::Ok)->click();
    });
    EXPECT_EQ(ws.MessageBox(w.get(), "これ以上は入力できません.\nline 2", "Input charcter length limit", MB_OK),
              IDOK);
    EXPECT_GE(events.timers.size(), 3u);
    EXPECT_EQ(seenText, QString::fromUtf8("これ以上は入力できません.\nline 2"));
    EXPECT_EQ(seenTitle, "Input charcter length limit");
    EXPECT_EQ(seenIcon, QMessageBox::NoIcon);

    QTimer::singleShot(50, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seenIcon = box->icon();
        ASSERT_NE(box->button(QMessageBox::Yes), nullptr);
        box->button(QMessageBox::No)->click();
    });
    EXPECT_EQ(ws.MessageBox(w.get(), "Delete?", "vantrel", MB_YESNO | MB_ICONEXCLAMATION), IDNO);
    EXPECT_EQ(seenIcon, QMessageBox::Warning);

    EXPECT_TRUE(w->KillTimer(1));
    EXPECT_FALSE(w->KillTimer(1));
    const size_t fired = events.timers.size();
    QTimer::singleShot(100, [] {});
    QEventLoop idle;
    QTimer::singleShot(100, &idle, &QEventLoop::quit);
    idle.exec();
    EXPECT_EQ(events.timers.size(), fired);
    for (UINT id : events.timers) EXPECT_EQ(id, 1u);
}

TEST_F(QtWindowTest, YesNoBoxesClosedWithoutAButtonAnswerNo) {
    Recorder events;
    auto w = Make(res::IDD_DIALER, events);
    Show(*w);
    auto closeBox = [](bool withEsc) {
        QTimer::singleShot(50, [withEsc] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            if (withEsc)
                SendKey(box, Qt::Key_Escape);
            else
                box->close();
        });
    };
    closeBox(true);
    EXPECT_EQ(ws.MessageBox(w.get(), "Delete?", "List Delete", MB_YESNO | MB_ICONEXCLAMATION), IDNO);
    closeBox(false);
    EXPECT_EQ(ws.MessageBox(w.get(), "Delete?", "List Delete", MB_YESNO | MB_ICONEXCLAMATION), IDNO);
    closeBox(true);
    EXPECT_EQ(ws.MessageBox(w.get(), "Save?", "", MB_YESNOCANCEL | MB_ICONEXCLAMATION), IDCANCEL);
}

TEST_F(QtWindowTest, ControlsGiveBackExactlyTheBytesTheyWereGiven) {
    Recorder events;
    auto w = Make(res::IDD_OPTION, events);
    Show(*w);
    // A legacy code page row, and text mixing such bytes with real characters
    // and with the UTF-8 form of the block that carries stray bytes.
    const std::string legacy(100, '\xB1');
    w->SetText(1076, legacy);
    EXPECT_EQ(w->Text(1076), legacy);
    const std::string mixed = "AT\x82\xA0ダイアル\xEE\xBE\x80\xFF";
    w->SetText(1077, mixed);
    EXPECT_EQ(w->Text(1077), mixed);
    EXPECT_EQ(qobject_cast<QLineEdit*>(w->Control(1077))->text().mid(4, 4), QString::fromUtf8("ダイアル"));

    // Typing after such a byte keeps it, and the limit counts it as one byte.
    w->LimitText(1076, 32);
    w->SetText(1076, "AT\xB1");
    w->SetFocus(1076);
    SendKey(w->Control(1076), Qt::Key_End);
    for (int i = 0; i < 40; ++i) SendKey(w->Control(1076), Qt::Key_Z, Qt::NoModifier, "Z");
    EXPECT_EQ(w->Text(1076), "AT\xB1" + std::string(29, 'Z'));
}

TEST_F(QtWindowTest, RadioGroupsAreExclusiveSeparateAndClearable) {
    Recorder events;
    auto w = Make(res::IDD_DIALER, events);
    Show(*w);
    w->SetChecked(1051, true);
    w->SetChecked(1066, true);
    EXPECT_TRUE(events.commands.empty());

    static_cast<QAbstractButton*>(w->Control(1053))->click();
    EXPECT_EQ(events.commands.back(), std::make_pair(1053, BN_CLICKED));
    EXPECT_TRUE(w->Checked(1053));
    EXPECT_FALSE(w->Checked(1051));
    EXPECT_TRUE(w->Checked(1066));  // the output device group is another group

    static_cast<QAbstractButton*>(w->Control(1067))->click();
    EXPECT_TRUE(w->Checked(1067));
    EXPECT_FALSE(w->Checked(1066));
    EXPECT_TRUE(w->Checked(1053));

    // The program may check none, and a click then checks exactly one.
    for (int id = 1051; id <= 1055; ++id) w->SetChecked(id, false);
    for (int id = 1051; id <= 1055; ++id) EXPECT_FALSE(w->Checked(id)) << id;
    w->SetChecked(1052, true);
    w->SetChecked(1054, true);
    static_cast<QAbstractButton*>(w->Control(1055))->click();
    for (int id = 1051; id <= 1055; ++id) EXPECT_EQ(w->Checked(id), id == 1055) << id;

    // Radio buttons are no tab stops.
    for (int id : {1051, 1066}) EXPECT_FALSE(w->Control(id)->focusPolicy() & Qt::TabFocus);
}

TEST_F(QtWindowTest, LimitTextRefusesBytesBeyondTheLimit) {
    Recorder events;
    auto w = Make(res::IDD_OPTION, events);
    Show(*w);
    w->LimitText(1076, 32);
    w->SetFocus(1076);
    for (int i = 0; i < 40; ++i) SendKey(w->Control(1076), Qt::Key_A, Qt::NoModifier, "a");
    EXPECT_EQ(w->Text(1076), std::string(32, 'a'));

    w->SetText(1076, "");
    for (int i = 0; i < 11; ++i) SendKey(w->Control(1076), 0, Qt::NoModifier, QString::fromUtf8("あ"));
    EXPECT_EQ(w->Text(1076).size(), 30u);  // ten three-byte characters; the eleventh would be 33

    // The program itself may still set a longer text, as on Windows.
    w->SetText(1076, std::string(40, 'x'));
    EXPECT_EQ(w->Text(1076).size(), 40u);
    EXPECT_EQ(w->FocusId(), 1076);
    // The first tab stop of the options window is the first edit, unless the
    // program puts the focus elsewhere before the window shows.
    auto again = Make(res::IDD_OPTION, events);
    Show(*again);
    EXPECT_EQ(again->FocusId(), 1022);
    auto placed = Make(res::IDD_OPTION, events);
    placed->SetFocus(1077);
    EXPECT_EQ(placed->FocusId(), 1077);
    Show(*placed);
    EXPECT_EQ(placed->FocusId(), 1077);
    EXPECT_EQ(QApplication::focusWidget(), placed->Control(1077));
}

TEST_F(QtWindowTest, APasteIntoALimitedFieldKeepsWhatFitsOfItsFront) {
    Recorder events;
    auto w = Make(res::IDD_OPTION, events);
    Show(*w);
    w->LimitText(1076, 8);
    w->SetText(1076, "AT;");
    auto* edit = qobject_cast<QLineEdit*>(w->Control(1076));
    ASSERT_NE(edit, nullptr);
    edit->setCursorPosition(2);
    QGuiApplication::clipboard()->setText(QString::fromUtf8("DあT0123"));
    edit->paste();
    EXPECT_EQ(w->Text(1076), "ATDあT;");  // eight bytes; "0" would be the ninth
    EXPECT_EQ(edit->cursorPosition(), 5);
    SendKey(edit, Qt::Key_Z, Qt::NoModifier, "Z");
    EXPECT_EQ(w->Text(1076), "ATDあT;");
}

TEST_F(QtWindowTest, SystemMenuListsTheStandardItemsThenTheAppendedOnes) {
    Recorder events;
    auto w = Make(res::IDD_DIALER, events);
    Show(*w);
    const std::string about = "ﾊﾞｰｼﾞｮﾝ情報(Vantrel) (&A)...";
    w->AppendSystemMenuSeparator();
    w->AppendSystemMenuItem(16, about);

    auto menu = w->BuildSystemMenu(nullptr);
    const QList<QAction*> actions = menu->actions();
    ASSERT_GE(actions.size(), 6);
    EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
    EXPECT_EQ(actions.back()->text(), QString::fromStdString(about));
    EXPECT_EQ(actions.back()->data().toUInt(), 16u);
    std::vector<UINT> cmds;
    for (QAction* a : actions)
        if (!a->isSeparator()) cmds.push_back(a->data().toUInt());
    EXPECT_EQ(cmds, (std::vector<UINT>{SC_RESTORE, SC_MOVE, SC_MINIMIZE, SC_CLOSE, 16}));
    EXPECT_FALSE(actions[0]->isEnabled());  // Restore: not minimised
    EXPECT_TRUE(actions[2]->isEnabled());   // Minimize: the dialer has the box

    Recorder optionEvents;
    auto option = Make(res::IDD_OPTION, optionEvents);
    EXPECT_FALSE(option->BuildSystemMenu(nullptr)->actions()[2]->isEnabled());

    // Alt+Space opens it and the access key chooses the appended item.
    auto pressOnPopup = [](int key, const QString& text) {
        QTimer::singleShot(50, [key, text] {
            QWidget* popup = QApplication::activePopupWidget();
            ASSERT_NE(popup, nullptr);
            SendKey(popup, key, Qt::NoModifier, text);
        });
    };
    pressOnPopup(Qt::Key_A, "a");
    SendKey(Focus(*w), Qt::Key_Space, Qt::AltModifier);
    EXPECT_EQ(events.sysCommands, (std::vector<UINT>{16}));
    EXPECT_TRUE(events.commands.empty());  // the focused button "1" was not pressed

    // A right-click on the background opens it too; on a control it does not.
    auto rightClick = [&](QWidget* target, QPoint pos) {
        QContextMenuEvent e(QContextMenuEvent::Mouse, pos, target->mapToGlobal(pos));
        QApplication::sendEvent(target, &e);
    };
    pressOnPopup(Qt::Key_C, "c");
    rightClick(w->Dialog(), QPoint(2, 2));
    EXPECT_EQ(events.sysCommands, (std::vector<UINT>{16, SC_CLOSE}));

    bool popupSeen = false;
    QTimer::singleShot(50, [&] {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            popupSeen = true;
            popup->close();
        }
    });
    rightClick(w->Control(1000), w->Control(1000)->rect().center());
    QEventLoop idle;
    QTimer::singleShot(100, &idle, &QEventLoop::quit);
    idle.exec();
    EXPECT_FALSE(popupSeen);
    EXPECT_EQ(events.sysCommands.size(), 2u);
}

TEST_F(QtWindowTest, SliderReportsUserChangesOnlyWithTopAtZero) {
    Recorder events;
    auto w = Make(res::IDD_DIALER, events);
    Show(*w);
    w->SliderSetRangeMax(1091, 95, false);
    w->SliderSetPageSize(1091, 5);
    w->SliderSetPos(1091, 200, true);
    EXPECT_EQ(w->SliderPos(1091), 95);
    w->SliderSetPos(1091, 0, true);
    EXPECT_TRUE(events.scrolls.empty());

    w->SetFocus(1091);
    SendKey(Focus(*w), Qt::Key_Down);
    SendKey(Focus(*w), Qt::Key_PageDown);
    SendKey(Focus(*w), Qt::Key_Up);
    SendKey(Focus(*w), Qt::Key_Right);  // Right goes down the list and Left up, as Down and Up
    SendKey(Focus(*w), Qt::Key_Left);
    SendKey(Focus(*w), Qt::Key_End);
    using P = std::pair<UINT, int>;
    EXPECT_EQ(events.scrolls, (std::vector<P>{{SB_LINEDOWN, 1}, {SB_ENDSCROLL, 1}, {SB_PAGEDOWN, 6},
                                              {SB_ENDSCROLL, 6}, {SB_LINEUP, 5}, {SB_ENDSCROLL, 5},
                                              {SB_LINEDOWN, 6}, {SB_ENDSCROLL, 6}, {SB_LINEUP, 5},
                                              {SB_ENDSCROLL, 5}, {SB_BOTTOM, 95}, {SB_ENDSCROLL, 95}}));
    EXPECT_EQ(w->SliderPos(1091), 95);

    // A click low on the groove pages down: position 0 is at the top.
    events.scrolls.clear();
    w->SliderSetPos(1091, 0, true);
    QWidget* s = w->Control(1091);
    const QPoint low(s->width() / 2, s->height() - 4);
    QMouseEvent press(QEvent::MouseButtonPress, low, s->mapToGlobal(low), Qt::LeftButton,
                      Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(s, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, low, s->mapToGlobal(low), Qt::LeftButton,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(s, &release);
    QApplication::processEvents();
    ASSERT_FALSE(events.scrolls.empty());
    EXPECT_EQ(events.scrolls.front(), P(SB_PAGEDOWN, 5));
    EXPECT_EQ(events.scrolls.back().first, SB_ENDSCROLL);

    // Turning the wheel towards the user moves down the list by lines.
    events.scrolls.clear();
    QWheelEvent wheel(QPointF(low), QPointF(s->mapToGlobal(low)), QPoint(), QPoint(0, -120),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(s, &wheel);
    QApplication::processEvents();
    ASSERT_EQ(events.scrolls.size(), 2u);
    EXPECT_EQ(events.scrolls[0].first, SB_LINEDOWN);
    EXPECT_GT(events.scrolls[0].second, 5);
    EXPECT_EQ(events.scrolls[1], P(SB_ENDSCROLL, w->SliderPos(1091)));
    EXPECT_TRUE(events.commands.empty());
}

TEST_F(QtWindowTest, FileDialogConvertsTheFilterAndAddsTheDefaultExtension) {
    EXPECT_EQ(platform::ToQtFileFilter("Vantrel Data(*.vtl)|*.vtl|All File(*.*)|*.*||"),
              "Vantrel Data(*.vtl);;All File(*.*) (*)");
    EXPECT_EQ(platform::ToQtFileFilter("Text|*.txt;*.log||"), "Text (*.txt *.log)");

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QStringList filters;
    QTimer::singleShot(100, [&] {
        auto* fd = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(fd, nullptr);
        filters = fd->nameFilters();

        fd->setDirectory(dir.path());
        // Typed by the user, without an extension.
        auto* name = fd->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        name->setText("list");
        static_cast<QDialog*>(fd)->accept();  // the dialog's own OK step
    });
    port::FileDialogRequest save;
    save.open = false;
    save.defaultExt = "*.vtl";
    save.filter = "Vantrel Data(*.vtl)|*.vtl|All File(*.*)|*.*||";
    save.flags = 0x1804;
    auto chosen = ws.FileDialog(nullptr, save);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(*chosen, QDir(dir.path()).absoluteFilePath("list.vtl").toStdString());
    EXPECT_EQ(filters.size(), 2);

    QTimer::singleShot(100, [] {
        auto* fd = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(fd, nullptr);
        fd->reject();
    });
    port::FileDialogRequest open = save;
    open.open = true;
    EXPECT_FALSE(ws.FileDialog(nullptr, open).has_value());
    EXPECT_EQ(ws.SystemMetric(SM_CXICON), 32);
    EXPECT_EQ(ws.SystemMetric(SM_CYICON), 32);
}

TEST_F(QtWindowTest, IconsAreDrawnOnlyWhilePainting) {
    Recorder events;
    auto about = Make(res::IDD_ABOUTBOX, events);
    // The about box's picture control shows the program icon at icon size.
    QLabel* picture = nullptr;
    for (QObject* o : about->Dialog()->children())
        if (auto* l = qobject_cast<QLabel*>(o); l && !l->pixmap().isNull()) picture = l;
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->size(), QSize(32, 32));

    about->DrawIcon(0, 0, res::IDR_MAINFRAME);  // outside painting: nothing happens
    const QColor face = about->Dialog()->palette().color(QPalette::Window);
    events.onPaint = [&] {
        about->EraseIconBackground();
        about->DrawIcon(100, 20, res::IDR_MAINFRAME);
    };
    const QImage shot = about->Dialog()->grab().toImage();
    int changed = 0;
    for (int y = 20; y < 52; ++y)
        for (int x = 100; x < 132; ++x)
            if (shot.pixelColor(x, y) != face) ++changed;
    EXPECT_GT(changed, 100);
    EXPECT_EQ(shot.pixelColor(99, 60), face);
    const port::Rect client = about->ClientRect();
    EXPECT_EQ(client.Width(), about->Dialog()->width());
    EXPECT_EQ(client.Height(), about->Dialog()->height());
    EXPECT_FALSE(about->IsIconic());
}

}  // namespace
