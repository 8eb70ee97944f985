// The real dialer window on the Qt backend (offscreen platform), driven with
// Qt events the way a user would: keys, clicks, the file dialogs, the system
// menu, the about box and help. The QApplication comes from the environment
// registered in qt_window_system_test.cpp, which is linked into the same program.

#include <gtest/gtest.h>

#include "platform/qt/qt_test_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QWheelEvent>
#include <QWindow>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/dialer_app.h"
#include "dialer/dialer_dlg.h"
#include "output/tones.h"
#include "platform/qt/qt_window.h"
#include "platform/qt/qt_window_system.h"
#include "resources/resource_ids.h"

namespace {

struct RecordingSound : port::SoundOutput {
    std::vector<std::vector<uint8_t>> played;
    std::function<void()> onPlay;
    void PlayWave(const uint8_t* data, size_t size) override {
        played.emplace_back(data, data + size);
        if (onPlay) onPlay();
    }
};


void Type(QWidget* target, const QString& text) {
    for (QChar c : text) SendKey(target, 0, Qt::NoModifier, QString(c));
}

// A press and release on the window itself, so that Qt picks the receiver.
void MouseClick(QWidget* window, QPoint pos, Qt::MouseButton button) {
    QWindow* handle = window->windowHandle();
    ASSERT_NE(handle, nullptr);
    const QPointF global = window->mapToGlobal(QPointF(pos));
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(pos), QPointF(pos), global, button, button,
                      Qt::NoModifier);
    QApplication::sendEvent(handle, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(pos), QPointF(pos), global, button,
                        Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(handle, &release);
}

void ClickControl(QWidget* control) {
    ASSERT_NE(control, nullptr);
    MouseClick(control->window(), control->mapTo(control->window(), control->rect().center()),
               Qt::LeftButton);
}

int MulDivRound(int a, int b, int c) { return (a * b + c / 2) / c; }

QWidget* TopLevelTitled(const QString& title) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle() == title) return w;
    return nullptr;
}

template <class T>
T* ActiveModal() {
    return qobject_cast<T*>(QApplication::activeModalWidget());
}

std::string ReadBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "<unreadable>";
    return f.readAll().toStdString();
}

void WriteBytes(const QString& path, const std::string& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes.data(), qint64(bytes.size()));
}

// A list file as this program writes it: an empty first line, then a
// separator line and the entry for each of the hundred entries.
std::string ListFileBytes(const std::vector<std::string>& entries) {
    std::string bytes = "\r\n";
    for (int i = 0; i < kListSize; ++i)
        bytes += "\r\n" + (i < int(entries.size()) ? entries[size_t(i)] : std::string()) + "\r\n";
    return bytes;
}

// The desktop's opener, xdg-open, as a script first on PATH: it notes what it
// was asked to open and ends with `code` (3: no program to show it with).
class FakeOpener {
public:
    explicit FakeOpener(int code) : savedPath_(qgetenv("PATH")) {
        record_ = QDir(dir_.path()).filePath("opened");
        const QString script = QDir(dir_.path()).filePath("xdg-open");
        WriteBytes(script, "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + record_.toStdString() +
                               "'\nexit " + std::to_string(code) + "\n");
        QFile::setPermissions(script, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", dir_.path().toUtf8() + ":" + savedPath_);
    }
    ~FakeOpener() { qputenv("PATH", savedPath_); }
    // What it has been asked to open so far, waiting up to a few seconds for `count` of them.
    QStringList Opened(int count = 1) const {
        QStringList lines;
        for (int i = 0; i < 500; ++i) {
            QFile f(record_);
            lines = f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts)
                                                : QStringList();
            if (lines.size() >= count) break;
            QApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return lines;
    }

private:
    QTemporaryDir dir_;
    QString record_;
    QByteArray savedPath_;
};

class QtDialerTest : public ::testing::Test {
protected:
    QtDialerTest() {
        app.AttachPlatform(&windows, &sound, nullptr);
        app.SetProfilePath(Path("vantrel.ini").toStdString());
    }

    void SetUp() override {
        ASSERT_NE(qobject_cast<QApplication*>(QCoreApplication::instance()), nullptr);
        ASSERT_TRUE(dir.isValid());
        // A script that fails while a modal window or menu is up would wait
        // forever; the watchdog closes what is open, innermost first, then the dialer.
        watchdog_ = new QTimer(&scope_);
        QObject::connect(watchdog_, &QTimer::timeout, [this] {
            if (!timedOut_) ADD_FAILURE() << "the script left a window open";
            timedOut_ = true;
            watchdog_->setInterval(200);
            if (QWidget* popup = QApplication::activePopupWidget()) {
                popup->close();
            } else if (QWidget* modal = QApplication::activeModalWidget()) {
                if (dynamic_cast<platform::DialogWidget*>(modal))
                    SendKey(modal, Qt::Key_Escape);
                else if (auto* d = qobject_cast<QDialog*>(modal))
                    d->reject();
            } else if (dlg_) {
                dlg_->EndDialog(-2);
            }
        });
        watchdog_->start(15000);
    }

    QString Path(const QString& name) const { return QDir(dir.path()).filePath(name); }

    // Runs the real dialer window; `script` acts once its modal run has started
    // and must end it. Returns how the window ended.
    int Run(std::function<void(platform::QtWindow&)> script) {
        dlg_ = std::make_unique<CDialerDlg>();
        app.m_pMainWnd = dlg_.get();
        QTimer::singleShot(0, &scope_, [this, script] {
            auto* w = dynamic_cast<platform::QtWindow*>(dlg_->Native());
            ASSERT_NE(w, nullptr);
            script(*w);
        });
        const int result = dlg_->DoModal();
        app.m_pMainWnd = nullptr;
        return result;
    }
    CDialerDlg& Dlg() { return *dlg_; }

    // Acts on the first visible widget that `find` returns, looking while the
    // caller sits in a modal loop; a widget that never shows is a failure.
    void WhenShown(std::function<QWidget*()> find, std::function<void(QWidget*)> act) {
        auto* poll = new QTimer(&scope_);
        auto tries = std::make_shared<int>(0);
        QObject::connect(poll, &QTimer::timeout, [poll, tries, find, act] {
            QWidget* found = find();
            if (!found || !found->isVisible()) {
                if (++*tries < 500) return;
                ADD_FAILURE() << "the expected window never showed";
            }
            poll->stop();
            poll->deleteLater();
            if (found && found->isVisible()) act(found);
        });
        poll->start(10);
    }

    QTemporaryDir dir;
    platform::QtWindowSystem windows;
    RecordingSound sound;
    CDialerApp app;

private:
    QObject scope_;  // owns every timer a test starts
    QTimer* watchdog_ = nullptr;
    bool timedOut_ = false;
    std::unique_ptr<CDialerDlg> dlg_;
};

TEST_F(QtDialerTest, WindowIsTheTemplateAndClosesOnlyThroughExitOrTheCloseRequest) {
    const res::DialogTemplate& t = *res::FindDialogTemplate(res::IDD_DIALER);
    // The template's tab stops, and the checked radio buttons (first row and
    // Speaker on a first start) in their places.
    std::vector<int> tabStops;
    for (const auto& c : t.controls)
        if (((c.style & WS_TABSTOP) && (c.style & WS_VISIBLE)) || c.id == 1051 || c.id == 1066)
            tabStops.push_back(c.id);

    std::vector<int> walked;
    bool openAfterEsc = false;
    const int exitResult = Run([&](platform::QtWindow& w) {
        QDialog* d = w.Dialog();
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(d->windowTitle(), "Vantrel");
        int withId = 0;
        for (QObject* o : d->children())
            if (auto* cw = qobject_cast<QWidget*>(o); cw && cw->property("ctrlId").isValid()) ++withId;
        EXPECT_EQ(withId, int(t.controls.size()));

        const QFontMetrics fm(d->font());
        const int bx = (fm.horizontalAdvance("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") / 26 + 1) / 2;
        const int by = fm.height();
        EXPECT_EQ(d->size(), QSize(MulDivRound(t.cx, bx, 4), MulDivRound(t.cy, by, 8)));
        for (const res::ControlTemplate& c : t.controls) {
            if (c.id == -1) continue;
            SCOPED_TRACE(std::to_string(c.id) + " " + std::string(c.text));
            QWidget* cw = w.Control(c.id);
            ASSERT_NE(cw, nullptr);
            EXPECT_EQ(cw->property("ctrlId").toInt(), c.id);
            const QRect want(MulDivRound(c.x, bx, 4), MulDivRound(c.y, by, 8),
                             MulDivRound(c.cx, bx, 4), MulDivRound(c.cy, by, 8));
            EXPECT_EQ(cw->geometry(), want);
        }

        // The first focus is on "1", and Tab walks the tab stops in template order.
        walked.push_back(w.FocusId());
        for (size_t i = 0; i < tabStops.size(); ++i) {
            SendKey(d->focusWidget(), Qt::Key_Tab);
            walked.push_back(w.FocusId());
        }
        // Esc does not close the window, whichever control has the focus.
        w.SetFocus(1000);
        SendKey(d->focusWidget(), Qt::Key_Escape);
        w.SetFocus(1091);
        SendKey(d->focusWidget(), Qt::Key_Escape);
        QTimer::singleShot(20, [&w, &openAfterEsc] {
            openAfterEsc = w.Dialog()->isVisible();
            static_cast<QAbstractButton*>(w.Control(IDOK))->click();
        });
    });
    EXPECT_EQ(exitResult, IDOK);
    EXPECT_TRUE(openAfterEsc);
    EXPECT_EQ(Dlg().m_bSysClose, 0);
    ASSERT_FALSE(tabStops.empty());
    EXPECT_EQ(tabStops.front(), 1000);
    auto after = [&](int id) { return *(std::find(tabStops.begin(), tabStops.end(), id) + 1); };
    EXPECT_EQ(after(1058), 1051);  // the dial group's Copy, then the checked row
    EXPECT_EQ(after(1060), 1066);  // Load, then the checked output device
    tabStops.push_back(tabStops.front());  // and round again
    EXPECT_EQ(walked, tabStops);

    // The close box: the window manager's close request.
    bool closeAccepted = true;
    const int closeResult = Run([&](platform::QtWindow& w) {
        EXPECT_EQ(Dlg().m_bSysClose, 0);
        closeAccepted = w.Dialog()->windowHandle()->close();
    });
    EXPECT_EQ(closeResult, IDCANCEL);
    EXPECT_EQ(Dlg().m_bSysClose, 1);
    EXPECT_FALSE(closeAccepted);  // the program ended the run; Qt did not close the window

    const int altF4Result =
        Run([](platform::QtWindow& w) { SendKey(w.Dialog()->focusWidget(), Qt::Key_F4, Qt::AltModifier); });
    EXPECT_EQ(altF4Result, IDCANCEL);
    EXPECT_EQ(Dlg().m_bSysClose, 1);
}

TEST_F(QtDialerTest, SaveAndLoadGoThroughTheFileDialogs) {
    // Entries 2 and 4 come from the profile, so that the load shows what it replaces.
    WriteBytes(Path("vantrel.ini"), "[Dial]\nDialList1=999\nDialList3=777\n");
    WriteBytes(Path("hand.vtl"), "\r\n\r\n03-1234-5678\r\n\r\n12 34\r\n\n123");

    // Picks `name` in the next file dialog the way a user does: change to the
    // folder, type the name over what the dialog proposes, press Enter.
    std::vector<std::string> proposed;  // folder and name each dialog started with
    auto pick = [this, &proposed](const QString& name, QFileDialog::AcceptMode mode, QWidget* owner) {
        WhenShown([] { return ActiveModal<QFileDialog>(); },
                  [this, name, mode, owner, &proposed](QWidget* found) {
                      auto* fd = static_cast<QFileDialog*>(found);
                      EXPECT_EQ(fd->acceptMode(), mode);
                      EXPECT_EQ(fd->parentWidget(), owner);
                      EXPECT_TRUE(fd->testOption(QFileDialog::DontUseNativeDialog));
                      ASSERT_FALSE(fd->nameFilters().isEmpty());
                      EXPECT_EQ(fd->nameFilters().first(), "Vantrel Data(*.vtl)");
                      auto* edit = fd->findChild<QLineEdit*>("fileNameEdit");
                      ASSERT_NE(edit, nullptr);
                      proposed.push_back(fd->directory().absolutePath().toStdString() + "|" +
                                         edit->text().toStdString());
                      fd->setDirectory(dir.path());
                      // Typed into the focused field, the name replaces what
                      // was proposed, the selection in the list included.
                      fd->activateWindow();
                      QApplication::processEvents();
                      edit->setFocus();
                      edit->selectAll();
                      Type(edit, name);
                      SendKey(edit, Qt::Key_Return);
                      if (fd->isVisible()) {
                          ADD_FAILURE() << "Enter did not accept the file dialog";
                          fd->reject();
                      }
                  });
    };

    std::string firstSave, fieldAfterSave, roundTrip, fieldAfterLoad, fieldAfterSecondSave;
    std::vector<std::string> rows, rowNumbers;
    std::string dialAfterCopy, deleteQuestion, refusedNote;
    const int result = Run([&](platform::QtWindow& w) {
        EXPECT_EQ(w.Text(1027), "999");
        pick("first", QFileDialog::AcceptSave, w.Dialog());
        ClickControl(w.Control(1059));
        firstSave = ReadBytes(Path("first.vtl"));  // the default extension was added
        fieldAfterSave = w.Text(1065);

        pick("hand.vtl", QFileDialog::AcceptOpen, w.Dialog());
        WhenShown([] { return ActiveModal<QMessageBox>(); }, [&](QWidget* found) {
            auto* box = static_cast<QMessageBox*>(found);
            refusedNote = box->text().toStdString();
            box->button(QMessageBox::Ok)->click();
        });
        ClickControl(w.Control(1060));
        for (int id = 1026; id <= 1030; ++id) rows.push_back(w.Text(id));
        fieldAfterLoad = w.Text(1065);
        QApplication::processEvents();
        EXPECT_EQ(QApplication::activeWindow(), w.Dialog());  // the keyboard is back

        // The rows follow the slider, and the list commands work on the loaded entries.
        w.SetFocus(1091);
        SendKey(QApplication::focusWidget(), Qt::Key_PageDown);
        rowNumbers.push_back(w.Text(1092) + "-" + w.Text(1096));
        SendKey(QApplication::focusWidget(), Qt::Key_Home);
        rowNumbers.push_back(w.Text(1092) + "-" + w.Text(1096));
        ClickControl(w.Control(1051));
        ClickControl(w.Control(1057));
        dialAfterCopy = w.Text(1015);
        WhenShown([] { return ActiveModal<QMessageBox>(); }, [&](QWidget* found) {
            auto* box = static_cast<QMessageBox*>(found);
            deleteQuestion = box->text().toStdString() + "|" + box->windowTitle().toStdString();
            box->button(QMessageBox::Yes)->click();
        });
        ClickControl(w.Control(1089));
        rows.push_back(w.Text(1026));

        pick("again.vtl", QFileDialog::AcceptSave, w.Dialog());
        ClickControl(w.Control(1059));
        roundTrip = ReadBytes(Path("again.vtl"));
        fieldAfterSecondSave = w.Text(1065);
        static_cast<QAbstractButton*>(w.Control(IDOK))->click();
    });
    EXPECT_EQ(result, IDOK);
    // The profile's rows are the first five entries, so the first save holds them.
    EXPECT_EQ(firstSave, ListFileBytes({"", "999", "", "777"}));
    EXPECT_EQ(fieldAfterSave, Path("first.vtl").toStdString());
    // A three-entry file replaces entries 1 to 3 only: a blank makes an entry
    // empty and a last line without its line end loses its last character.
    EXPECT_EQ(rows, (std::vector<std::string>{"03-1234-5678", "", "12", "777", "", ""}));
    EXPECT_EQ(fieldAfterLoad, Path("hand.vtl").toStdString());
    EXPECT_NE(refusedNote.find("\n  entry 2: 12 34\n"), std::string::npos) << refusedNote;
    EXPECT_EQ(rowNumbers, (std::vector<std::string>{"6-10", "1-5"}));
    EXPECT_EQ(dialAfterCopy, "03-1234-5678");
    EXPECT_EQ(deleteQuestion, "ﾘｽﾄの 1 番目を消去しますか?|List Delete");
    EXPECT_EQ(roundTrip, ListFileBytes({"", "", "12", "777"}));
    EXPECT_EQ(fieldAfterSecondSave, Path("again.vtl").toStdString());
    // Save proposes the current list file; Load opens beside it.
    const std::string here = QDir(dir.path()).absolutePath().toStdString();
    ASSERT_EQ(proposed.size(), 3u);
    EXPECT_EQ(proposed[1], here + "|");
    EXPECT_EQ(proposed[2], here + "|hand.vtl");
}

TEST_F(QtDialerTest, EmptyListSavesAs402BytesOverAnOldFileWithoutAsking) {
    // A folder name that is not plain ASCII has to survive the way from the
    // dialog to the file and to the File field.
    const QString folder = Path(QString::fromUtf8("リスト 1"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString file = QDir(folder).filePath("blank.vtl");
    WriteBytes(file, "old contents");
    std::string saved, field;
    Run([&](platform::QtWindow& w) {
        WhenShown([] { return ActiveModal<QFileDialog>(); }, [folder](QWidget* found) {
            auto* fd = static_cast<QFileDialog*>(found);
            fd->setDirectory(folder);
            // Even with every file shown, a name without extension gets ".vtl".
            fd->selectNameFilter(fd->nameFilters().last());
            // Typed into the name field: selectFile() leaves that field alone once it
            // has the focus, which it gets as soon as the dialog is active.
            auto* name = fd->findChild<QLineEdit*>("fileNameEdit");
            ASSERT_NE(name, nullptr);
            name->setText("blank");
            static_cast<QDialog*>(fd)->accept();  // the dialog's own OK step
        });
        ClickControl(w.Control(1059));
        saved = ReadBytes(file);
        field = w.Text(1065);
        static_cast<QAbstractButton*>(w.Control(IDOK))->click();
    });
    std::string crlf;
    for (int i = 0; i < 201; ++i) crlf += "\r\n";
    EXPECT_EQ(saved.size(), 402u);
    EXPECT_EQ(saved, crlf);
    EXPECT_EQ(field, file.toStdString());
}

TEST_F(QtDialerTest, SystemMenuFromAltSpaceAndFromTheBackgroundOpensTheAboutBox) {
    int aboutShown = 0;
    // The next popup gets the access key A, then the about box that opens is closed.
    auto chooseAbout = [&](QWidget* dialer, bool closeWithEsc) {
        WhenShown([] { return QApplication::activePopupWidget(); }, [&, dialer, closeWithEsc](QWidget* popup) {
            WhenShown([] { return TopLevelTitled("About Vantrel32"); }, [&, dialer, closeWithEsc](QWidget* about) {
                ++aboutShown;
                EXPECT_EQ(about->parentWidget(), dialer);
                EXPECT_EQ(QApplication::activeModalWidget(), about);
                if (closeWithEsc) {
                    SendKey(about->focusWidget() ? about->focusWidget() : about, Qt::Key_Escape);
                } else {
                    QPushButton* ok = nullptr;
                    for (auto* b : about->findChildren<QPushButton*>())
                        if (b->text() == "OK") ok = b;
                    ASSERT_NE(ok, nullptr);
                    ClickControl(ok);
                }
            });
            SendKey(popup, Qt::Key_A, Qt::NoModifier, "a");
        });
    };

    std::vector<int> aboutAfter;
    int sysCloseAfterAbout = -1;
    bool popupOnControl = false;
    const int result = Run([&](platform::QtWindow& w) {
        QDialog* d = w.Dialog();
        chooseAbout(d, false);
        SendKey(d->focusWidget(), Qt::Key_Space, Qt::AltModifier);
        aboutAfter.push_back(aboutShown);
        EXPECT_FALSE(TopLevelTitled("About Vantrel32"));
        QApplication::processEvents();
        EXPECT_EQ(QApplication::activeWindow(), d);
        EXPECT_TRUE(d->isVisible());
        EXPECT_EQ(w.Text(1015), "");  // the focused "1" was not pressed

        // A point of the client area outside every control.
        QPoint background(-1, -1);
        for (int y = 0; y < d->height() && background.x() < 0; y += 2)
            for (int x = 0; x < d->width() && background.x() < 0; x += 2) {
                bool inside = false;
                for (QObject* o : d->children())
                    if (auto* cw = qobject_cast<QWidget*>(o); cw && cw->property("ctrlId").isValid())
                        inside = inside || cw->geometry().contains(QPoint(x, y));
                if (!inside) background = QPoint(x, y);
            }
        ASSERT_GE(background.x(), 0);
        chooseAbout(d, true);
        MouseClick(d, background, Qt::RightButton);
        aboutAfter.push_back(aboutShown);
        sysCloseAfterAbout = Dlg().m_bSysClose;

        // A right-click on a control is that control's, not the window's.
        QTimer::singleShot(100, [&] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                popupOnControl = true;
                popup->close();
            }
        });
        MouseClick(d, w.Control(1019)->geometry().center(), Qt::RightButton);
        QTimer::singleShot(200, [&w] {
            static_cast<QAbstractButton*>(w.Control(IDOK))->click();
        });
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(aboutAfter, (std::vector<int>{1, 2}));
    EXPECT_EQ(sysCloseAfterAbout, 0);
    EXPECT_FALSE(popupOnControl);
}

TEST_F(QtDialerTest, HelpOpensTheHelpPageOrNamesTheMissingFile) {
    const QString helpDir = Path(QString::fromUtf8("ヘルプ files"));
    ASSERT_TRUE(QDir().mkpath(helpDir));
    const QString page = QDir(helpDir).filePath("index.html");
    WriteBytes(page, "<html><body><h1>Vantrel</h1></body></html>\n");

    // The desktop's URL opener, caught before it starts a browser.
    FakeOpener opener(0);
    std::vector<QUrl> opened;

    QString boxText, boxTitle;
    QWidget* boxOwner = nullptr;
    QMessageBox::Icon boxIcon = QMessageBox::NoIcon;
    size_t openedBeforeMissing = 0;
    const int result = Run([&](platform::QtWindow& w) {
        app.SetHelpFile(page.toStdString());
        ClickControl(w.Control(1025));
        for (const QString& url : opener.Opened()) opened.push_back(QUrl(url));
        openedBeforeMissing = opened.size();

        app.SetHelpFile(QDir(helpDir).filePath("missing.html").toStdString());
        WhenShown([] { return ActiveModal<QMessageBox>(); }, [&](QWidget* found) {
            auto* box = static_cast<QMessageBox*>(found);
            boxText = box->text();
            boxTitle = box->windowTitle();
            boxOwner = box->parentWidget();
            boxIcon = box->icon();
            box->button(QMessageBox::Ok)->click();
        });
        ClickControl(w.Control(1025));
        EXPECT_TRUE(w.Dialog()->isVisible());
        static_cast<QAbstractButton*>(w.Control(IDOK))->click();
    });
    EXPECT_EQ(result, IDOK);
    opened.clear();
    for (const QString& url : opener.Opened()) opened.push_back(QUrl(url));
    ASSERT_EQ(openedBeforeMissing, 1u);
    EXPECT_EQ(opened[0].scheme(), "file");
    EXPECT_EQ(opened[0].toLocalFile(), page);
    EXPECT_EQ(opened.size(), 1u);  // nothing is opened for a missing page
    EXPECT_TRUE(boxText.contains(QDir(helpDir).filePath("missing.html"))) << boxText.toStdString();
    EXPECT_EQ(boxIcon, QMessageBox::Warning);
    EXPECT_EQ(boxTitle, "Vantrel");
    EXPECT_NE(boxOwner, nullptr);
}

TEST_F(QtDialerTest, OptionsOverTheDialerRefuseOutOfRangeValuesAndStoreOnEnter) {
    std::vector<std::string> seen;
    QWidget* owner = nullptr;
    // Plays the user at the options window: `keys` typed after selecting the
    // whole first edit, then `finish`.
    auto atOptions = [&](const QString& keys, int finish) {
        // Visible is not enough: the first edit gets the keyboard once the
        // window is active, which a loaded machine may deliver a little later.
        auto activeOptions = [] {
            QWidget* opt = TopLevelTitled("Vantrel Option");
            return opt && QApplication::activeWindow() == opt ? opt : nullptr;
        };
        WhenShown(activeOptions, [&, keys, finish](QWidget* opt) {
            owner = opt->parentWidget();
            auto* edit = opt->findChild<QLineEdit*>("ctrl1022");
            ASSERT_NE(edit, nullptr);
            EXPECT_EQ(QApplication::focusWidget(), edit);  // the first edit has the keyboard
            seen.push_back(edit->text().toStdString());
            SendKey(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
            Type(QApplication::focusWidget(), keys);
            SendKey(QApplication::focusWidget(), finish);
        });
    };

    const int result = Run([&](platform::QtWindow& w) {
        // 1001 is refused with the bounds; the edit keeps the keyboard with
        // its text selected, so typing replaces it.
        WhenShown([] { return ActiveModal<QMessageBox>(); }, [&](QWidget* found) {
            auto* box = static_cast<QMessageBox*>(found);
            seen.push_back(box->text().toStdString());
            box->button(QMessageBox::Ok)->click();
            QTimer::singleShot(50, [&] {
                auto* edit = qobject_cast<QLineEdit*>(QApplication::focusWidget());
                ASSERT_NE(edit, nullptr);
                seen.push_back(edit->objectName().toStdString() + ":" + edit->selectedText().toStdString());
                Type(edit, "250");
                SendKey(edit, Qt::Key_Return);
            });
        });
        atOptions("1001", Qt::Key_Return);
        ClickControl(w.Control(1024));
        seen.push_back(std::to_string(Dlg().m_nPlayWait));

        atOptions("999", Qt::Key_Escape);  // edits are forgotten
        ClickControl(w.Control(1024));
        seen.push_back(std::to_string(Dlg().m_nPlayWait));
        EXPECT_EQ(owner, w.Dialog());
        static_cast<QAbstractButton*>(w.Control(IDOK))->click();
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(seen, (std::vector<std::string>{"10", "0 から 1000 までの整数を入力してください.", "ctrl1022:1001",
                                              "250", "250", "250"}));
    EXPECT_NE(ReadBytes(Path("vantrel.ini")).find("PlayWait=250"), std::string::npos);
}

TEST_F(QtDialerTest, LegacyBytesInTheProfileComeBackUnchangedThroughOptionsAndExit) {
    const std::string legacy(100, '\xB1');
    WriteBytes(Path("vantrel.ini"), "[Dial]\nDialList0=" + legacy +
                                        "\n[Modem]\nModemInitChar=AT\xB1Z\nModemDialChar=ATD\x82\xA0\n");
    const int result = Run([&](platform::QtWindow& w) {
        WhenShown([] { return TopLevelTitled("Vantrel Option"); }, [](QWidget* opt) {
            auto* ok = opt->findChild<QAbstractButton*>("ctrl1");
            ASSERT_NE(ok, nullptr);
            ok->click();
        });
        ClickControl(w.Control(1024));
        static_cast<QAbstractButton*>(w.Control(IDOK))->click();
    });
    EXPECT_EQ(result, IDOK);  // 100 bytes are not 300: nothing is refused
    const std::string after = ReadBytes(Path("vantrel.ini"));
    EXPECT_NE(after.find("DialList0=" + legacy + "\n"), std::string::npos);
    EXPECT_NE(after.find("ModemInitChar=AT\xB1Z\n"), std::string::npos);
    EXPECT_NE(after.find("ModemDialChar=ATD\x82\xA0\n"), std::string::npos);
}

TEST_F(QtDialerTest, DeleteBoxClosedWithEscOrItsCloseBoxKeepsTheEntry) {
    WriteBytes(Path("vantrel.ini"), "[Dial]\nDialList0=123\n");
    const int result = Run([&](platform::QtWindow& w) {
        WhenShown([] { return ActiveModal<QMessageBox>(); },
                  [](QWidget* box) { SendKey(box, Qt::Key_Escape); });
        ClickControl(w.Control(IDC_LIST_DELETE));
        WhenShown([] { return ActiveModal<QMessageBox>(); }, [](QWidget* box) { box->close(); });
        ClickControl(w.Control(IDC_LIST_DELETE));
        EXPECT_STREQ(Dlg().m_szList[0], "123");
        static_cast<QAbstractButton*>(w.Control(IDOK))->click();
    });
    EXPECT_EQ(result, IDOK);
}

TEST_F(QtDialerTest, KeypadClicksPlayTheirClipsAndADialGoesOnUnderTheFileDialog) {
    std::vector<std::string> fieldWhilePlaying;
    std::string field;
    size_t playedUnderDialog = 0;
    const int result = Run([&](platform::QtWindow& w) {
        sound.onPlay = [&] { fieldWhilePlaying.push_back(w.Text(1015)); };
        for (int id : {1000, 1011, 1056, 1016, 1009}) ClickControl(w.Control(id));  // 1 # - D 0
        field = w.Text(1015);
        sound.onPlay = nullptr;

        // The dial is paced by the window's timer, which keeps running while
        // the file dialog is up; it is cancelled once the dial has been heard.
        WhenShown([] { return ActiveModal<QFileDialog>(); }, [&](QWidget* fd) {
            EXPECT_LT(sound.played.size(), 8u);  // the dial had not ended when it opened
            QPointer<QFileDialog> guard(static_cast<QFileDialog*>(fd));
            WhenShown(
                [this, guard]() -> QWidget* { return sound.played.size() >= 8 ? guard.data() : nullptr; },
                [&](QWidget* found) {
                    playedUnderDialog = sound.played.size();
                    static_cast<QFileDialog*>(found)->reject();
                });
        });
        ClickControl(w.Control(1019));
        ClickControl(w.Control(1060));
        static_cast<QAbstractButton*>(w.Control(IDOK))->click();
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(field, "1#-D0");
    EXPECT_EQ(playedUnderDialog, 8u);
    ASSERT_EQ(sound.played.size(), 8u);
    EXPECT_EQ(std::vector(sound.played.begin() + 4, sound.played.end()),
              std::vector(sound.played.begin(), sound.played.begin() + 4));
    sound.played.resize(4);
    // The pause "-" has no sound; each clip plays after its character shows.
    EXPECT_EQ(fieldWhilePlaying, (std::vector<std::string>{"1", "1#", "1#-D", "1#-D0"}));
    std::vector<UINT> clips;
    for (const auto& wave : sound.played) {
        UINT id = 0;
        for (const ToneEntry& t : ToneTable()) {
            auto clip = FindDtmfClip(t.clipId);
            if (clip.size() == wave.size() && std::equal(clip.begin(), clip.end(), wave.begin())) id = t.clipId;
        }
        clips.push_back(id);
    }
    EXPECT_EQ(clips, (std::vector<UINT>{2002, 2016, 2014, 2001}));
}

TEST_F(QtDialerTest, ArrowsMoveTheRadioChecksOfTheRowsTheOutputAndTheOptionsPort) {
    std::vector<int> focus;
    int portAfterOptions = -2;
    const int result = Run([&](platform::QtWindow& w) {
        QDialog* d = w.Dialog();
        auto key = [&](int k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
            SendKey(d->focusWidget(), k, mods);
            focus.push_back(w.FocusId());
        };
        w.SetFocus(1058);
        key(Qt::Key_Tab);   // the checked row
        key(Qt::Key_Down);
        key(Qt::Key_Right);  // third row
        key(Qt::Key_Tab);   // past the unchecked rows to the list's Copy
        for (int i = 0; i < 4; ++i) key(Qt::Key_Tab);  // Load, then the checked device
        key(Qt::Key_Up);    // round to Modem
        key(Qt::Key_Tab);
        key(Qt::Key_Tab, Qt::ShiftModifier);  // back to Modem, now the group's stop
        // The options window's port group: Tab to COM1, Down to COM2, Enter is OK.
        WhenShown([] { return TopLevelTitled("Vantrel Option"); }, [&](QWidget* opt) {
            // The window's own focus: whether the desktop made it active yet does not matter.
            for (int i = 0; i < 3; ++i) SendKey(opt->focusWidget(), Qt::Key_Tab);
            focus.push_back(opt->focusWidget()->property("ctrlId").toInt());
            SendKey(opt->focusWidget(), Qt::Key_Down);
            focus.push_back(opt->focusWidget()->property("ctrlId").toInt());
            SendKey(opt->focusWidget(), Qt::Key_Return);
        });
        ClickControl(w.Control(1024));
        portAfterOptions = Dlg().m_nModemPort;
        w.SetFocus(IDOK);
        SendKey(d->focusWidget(), Qt::Key_Return);
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(focus, (std::vector<int>{1051, 1052, 1053, 1057, 1089, 1059, 1060, 1066, 1067, 1024,
                                       1067, 1072, 1073}));
    EXPECT_EQ(Dlg().m_nTransSelect, 2);
    EXPECT_EQ(Dlg().m_nOutputDevice, 1);
    EXPECT_EQ(portAfterOptions, 1);
    const std::string profile = ReadBytes(Path("vantrel.ini"));
    for (const char* line : {"TransSelect=2", "OutputDevice=1", "ModemPort=1"})
        EXPECT_NE(profile.find(line), std::string::npos) << line << "\n" << profile;
}

TEST_F(QtDialerTest, TypedKeysSoundWithTheirButtonDownAndPasteAndCopyUseTheClipboard) {
    WriteBytes(Path("vantrel.ini"), "[Dial]\nIntlPrefix=011\n");
    std::vector<int> downWhilePlaying;
    int downAtEnd = -1;
    std::string typed, pasted, afterRefusal, refusal, copied, cleared;
    const int result = Run([&](platform::QtWindow& w) {
        QDialog* d = w.Dialog();
        sound.onPlay = [&] {
            int down = 0;
            for (int id = 1000; id <= 1016; ++id)
                if (auto* b = qobject_cast<QPushButton*>(w.Control(id)); b && b->isDown()) down = id;
            downWhilePlaying.push_back(down);
        };
        auto key = [&](int k, const char* text, Qt::KeyboardModifiers mods = Qt::NoModifier) {
            SendKey(d->focusWidget(), k, mods, QString::fromLatin1(text));
        };
        key(Qt::Key_5, "5");
        key(Qt::Key_A, "a");
        key(Qt::Key_7, "7", Qt::KeypadModifier);
        key(Qt::Key_Asterisk, "*", Qt::KeypadModifier);
        key(Qt::Key_NumberSign, "#", Qt::ShiftModifier);
        key(Qt::Key_X, "x");
        key(Qt::Key_Comma, ",");
        key(Qt::Key_Minus, "-");
        key(Qt::Key_Backspace, "\b");
        typed = w.Text(1015);

        QApplication::clipboard()->setText("+1 (555) 010-9999");
        key(Qt::Key_V, "\x16", Qt::ControlModifier);
        pasted = w.Text(1015);
        WhenShown([] { return ActiveModal<QMessageBox>(); }, [&](QWidget* box) {
            refusal = static_cast<QMessageBox*>(box)->text().toStdString();
            static_cast<QMessageBox*>(box)->button(QMessageBox::Ok)->click();
        });
        QApplication::clipboard()->setText("call me");
        key(Qt::Key_Insert, "", Qt::ShiftModifier);
        afterRefusal = w.Text(1015);

        ClickControl(w.Control(1015));  // the read-only dial field takes the focus
        EXPECT_EQ(w.FocusId(), 1015);
        key(Qt::Key_C, "\x03", Qt::ControlModifier);
        copied = QApplication::clipboard()->text().toStdString();
        key(Qt::Key_Delete, "\x7f");
        cleared = w.Text(1015);
        downAtEnd = 0;
        for (int id = 1000; id <= 1021; ++id)
            if (auto* b = qobject_cast<QPushButton*>(w.Control(id)); b && b->isDown()) downAtEnd = id;
        static_cast<QAbstractButton*>(w.Control(IDOK))->click();
    });
    sound.onPlay = nullptr;
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(typed, "5A7*#,");
    EXPECT_EQ(pasted, "5A7*#,0111555010-9999");
    EXPECT_NE(refusal.find("\"l\""), std::string::npos) << refusal;
    EXPECT_EQ(afterRefusal, pasted);
    EXPECT_EQ(copied, pasted);
    EXPECT_EQ(cleared, "");
    // Five tones, none for the paste, each with its own button held down.
    EXPECT_EQ(downWhilePlaying, (std::vector<int>{1004, 1012, 1006, 1010, 1011}));
    EXPECT_EQ(downAtEnd, 0);
}


// Turns the mouse wheel over `control` through its window, so that Qt picks the receiver.
void WheelOver(QWidget* control, int delta) {
    ASSERT_NE(control, nullptr);
    QWidget* window = control->window();
    const QPointF pos = control->mapTo(window, QRectF(control->rect()).center());
    QWheelEvent wheel(pos, window->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(window->windowHandle(), &wheel);
}

TEST_F(QtDialerTest, TheWheelOverTheRowsMovesThemAsOverTheSliderAndAClickIntoAnEntrySelectsItsRow) {
    WriteBytes(Path("vantrel.ini"), "[Dial]\nDialList0=11\nDialList3=44\n");
    std::vector<std::string> views;
    std::vector<int> checked;
    int focusAfterClick = 0;
    const int result = Run([&](platform::QtWindow& w) {
        auto view = [&] {
            views.push_back(std::to_string(w.SliderPos(1091)) + ":" + w.Text(1092) + "-" + w.Text(1096));
        };
        WheelOver(w.Control(1028), -120);  // towards the user: down the list
        view();
        WheelOver(w.Control(1091), -120);  // the slider itself moves as far
        view();
        WheelOver(w.Control(1052), 120);
        WheelOver(w.Control(1096), 120);
        view();
        WheelOver(w.Control(1015), -120);  // the dial field is not the list
        WheelOver(w.Control(1004), -120);
        view();
        for (int i = 0; i < 40; ++i) WheelOver(w.Control(1030), -120);
        view();
        w.SetFocus(1091);
        SendKey(w.Dialog()->focusWidget(), Qt::Key_Home);
        ClickControl(w.Control(1029));
        for (int id = 1051; id <= 1055; ++id) checked.push_back(w.Checked(id));
        focusAfterClick = w.FocusId();
        ClickControl(w.Control(1057));  // the list's Copy takes the clicked row's entry
        static_cast<QAbstractButton*>(w.Control(IDOK))->click();
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(views, (std::vector<std::string>{"3:4-8", "6:7-11", "0:1-5", "0:1-5", "95:96-100"}));
    EXPECT_EQ(checked, (std::vector<int>{0, 0, 0, 1, 0}));
    EXPECT_EQ(focusAfterClick, 1029);
    EXPECT_EQ(Dlg().m_nTransSelect, 3);
    EXPECT_STREQ(Dlg().m_szDial, "44");
}

TEST_F(QtDialerTest, ThePrefixFieldSitsInTheFreeCornerAndAPlusNumberOpensTheOptionsThere) {
    WriteBytes(Path("vantrel.ini"), "[Dial]\nLastDial=7\n");
    std::string offer, refusal, focusAtOpen, focusAfterRefusal, field;
    std::vector<std::string> overlaps;
    const int result = Run([&](platform::QtWindow& w) {
        WhenShown([] { return ActiveModal<QMessageBox>(); }, [&](QWidget* found) {
            auto* box = static_cast<QMessageBox*>(found);
            offer = box->text().toStdString();
            QAbstractButton* yes = box->button(QMessageBox::Yes);
            ASSERT_NE(yes, nullptr) << offer;
            yes->click();
        });
        auto activeOptions = [] {
            QWidget* opt = TopLevelTitled("Vantrel Option");
            return opt && QApplication::activeWindow() == opt ? opt : nullptr;
        };
        WhenShown(activeOptions, [&](QWidget* opt) {
            // Everything else keeps its place: the new label and field overlap
            // no other control and lie inside the window.
            QWidget* edit = opt->findChild<QLineEdit*>("ctrl1079");
            ASSERT_NE(edit, nullptr);
            QLabel* label = nullptr;
            for (QLabel* l : opt->findChildren<QLabel*>())
                if (l->text() == "国際識別番号 (+)") label = l;
            ASSERT_NE(label, nullptr);
            for (QWidget* mine : {edit, static_cast<QWidget*>(label)}) {
                if (!opt->rect().contains(mine->geometry())) overlaps.push_back("outside");
                for (QObject* o : opt->children()) {
                    auto* other = qobject_cast<QWidget*>(o);
                    if (!other || other == edit || other == label || !other->property("ctrlId").isValid()) continue;
                    if (other->isVisible() && other->geometry().intersects(mine->geometry()))
                        overlaps.push_back(other->objectName().toStdString() + " " + other->property("ctrlId").toString().toStdString());
                }
            }
            focusAtOpen = QApplication::focusWidget()->objectName().toStdString();
            WhenShown([] { return ActiveModal<QMessageBox>(); }, [&](QWidget* found) {
                auto* box = static_cast<QMessageBox*>(found);
                refusal = box->text().toStdString();
                box->button(QMessageBox::Ok)->click();
                QTimer::singleShot(50, [&] {
                    QWidget* f = QApplication::focusWidget();
                    ASSERT_NE(f, nullptr);
                    focusAfterRefusal = f->objectName().toStdString();
                    Type(f, "010");
                    SendKey(f, Qt::Key_Return);
                });
            });
            Type(QApplication::focusWidget(), "+1");
            SendKey(QApplication::focusWidget(), Qt::Key_Return);
        });
        QApplication::clipboard()->setText("＋８１　３―１２３４");
        SendKey(w.Dialog()->focusWidget(), Qt::Key_V, Qt::ControlModifier, "\x16");
        field = w.Text(1015);
        static_cast<QAbstractButton*>(w.Control(IDOK))->click();
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_NE(offer.find("IntlPrefix"), std::string::npos) << offer;
    EXPECT_EQ(overlaps, std::vector<std::string>{});
    EXPECT_EQ(focusAtOpen, "ctrl1079");
    EXPECT_NE(refusal.find("0～9, A～D"), std::string::npos) << refusal;
    EXPECT_EQ(focusAfterRefusal, "ctrl1079");
    EXPECT_EQ(field, "7010813-1234");
    EXPECT_NE(ReadBytes(Path("vantrel.ini")).find("[Dial]\nLastDial=7010813-1234\nIntlPrefix=010\n"),
              std::string::npos)
        << ReadBytes(Path("vantrel.ini"));
}

TEST_F(QtDialerTest, HelpTheDesktopCannotShowIsReportedWithThePagesPath) {
    const QString page = Path("index.html");
    WriteBytes(page, "<html></html>\n");
    FakeOpener opener(3);  // xdg-open finding no browser
    QString boxText;
    const int result = Run([&](platform::QtWindow& w) {
        app.SetHelpFile(page.toStdString());
        WhenShown([] { return ActiveModal<QMessageBox>(); }, [&](QWidget* found) {
            auto* box = static_cast<QMessageBox*>(found);
            boxText = box->text();
            box->button(QMessageBox::Ok)->click();
            QTimer::singleShot(0, [&w] { static_cast<QAbstractButton*>(w.Control(IDOK))->click(); });
        });
        ClickControl(w.Control(1025));
    });
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(opener.Opened(), QStringList{QUrl::fromLocalFile(page).toString(QUrl::FullyEncoded)});
    EXPECT_TRUE(boxText.contains(page)) << boxText.toStdString();
}

TEST_F(QtDialerTest, ADialShowsItsProgressInTheFieldAndOnTheKeypad) {
    WriteBytes(Path("vantrel.ini"), "[Flag and Numeric]\nPlayWait=30\nCharWait=60\n[Dial]\nLastDial=4,#\n");
    struct Seen {
        QString selected;
        int down = 0;
        int highlighted = 0;  // pixels of the field drawn in the selection's colour
    };
    std::vector<Seen> whilePlaying;
    QString selectedAfter;
    int highlightedAfter = -1;
    auto highlighted = [](QLineEdit* edit) {
        const QImage image = edit->grab().toImage();
        const QColor colours[] = {edit->palette().color(QPalette::Active, QPalette::Highlight),
                                  edit->palette().color(QPalette::Inactive, QPalette::Highlight)};
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                for (const QColor& c : colours) n += image.pixelColor(x, y) == c ? 1 : 0;
        return n;
    };
    const int result = Run([&](platform::QtWindow& w) {
        auto* field = qobject_cast<QLineEdit*>(w.Control(1015));
        ASSERT_NE(field, nullptr);
        sound.onPlay = [&, field] {
            Seen seen{field->selectedText(), 0, highlighted(field)};
            for (int id = 1000; id <= 1016; ++id)
                if (auto* b = qobject_cast<QPushButton*>(w.Control(id)); b && b->isDown()) seen.down = id;
            whilePlaying.push_back(seen);
        };
        // Dial is clicked, so the field never has the focus.
        ClickControl(w.Control(1019));
        WhenShown([&]() -> QWidget* { return Dlg().m_bDialing == 0 ? w.Dialog() : nullptr; },
                  [&, field](QWidget*) {
                      sound.onPlay = nullptr;
                      selectedAfter = field->selectedText();
                      highlightedAfter = highlighted(field);
                      EXPECT_EQ(w.Text(1015), "4,#");
                      static_cast<QAbstractButton*>(w.Control(IDOK))->click();
                  });
    });
    EXPECT_EQ(result, IDOK);
    ASSERT_EQ(whilePlaying.size(), 2u);
    EXPECT_EQ(whilePlaying[0].selected, "4");
    EXPECT_EQ(whilePlaying[0].down, 1003);
    EXPECT_GT(whilePlaying[0].highlighted, 20);
    EXPECT_EQ(whilePlaying[1].selected, "4,#");
    EXPECT_EQ(whilePlaying[1].down, 1011);
    EXPECT_GT(whilePlaying[1].highlighted, whilePlaying[0].highlighted);
    EXPECT_EQ(selectedAfter, "");
    EXPECT_EQ(highlightedAfter, 0);
}

}  // namespace
