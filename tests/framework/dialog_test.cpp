// The dialog framework: modal runs, command tables, timers and data exchange.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "framework/afxwin.h"
#include "platform/headless/headless.h"
#include "resources/resource_ids.h"
#include "settings/option_dlg.h"
#include "support/temp_dir.h"

namespace {

// The about box template gives us an OK button to click; the probe counts what reaches it.
class Probe : public CDialog {
public:
    Probe() : CDialog(res::IDD_ABOUTBOX) {}
    int ticks = 0;
    std::vector<UINT> timerIds;
    int boxesOpened = 0;
    void OnTimer(UINT id) {
        ++ticks;
        timerIds.push_back(id);
    }
    void OnOK() override {
        ++boxesOpened;
        MessageBox("inside a handler");
    }
    void EndNow() { EndDialog(IDCANCEL); }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(Probe, CDialog)
    ON_WM_TIMER()
END_MESSAGE_MAP()

class FrameworkTest : public ::testing::Test {
protected:
    FrameworkTest() { app.AttachPlatform(&ui, &ui, nullptr); }
    headless::HeadlessSystem ui;
    CWinApp app;
};

TEST_F(FrameworkTest, TimersKeepFiringUnderANestedMessageBoxButNeverInsideAHandler) {
    Probe dlg;
    ui.Then([&] { EXPECT_EQ(dlg.SetTimer(3, 50), 3u); });
    ui.Click(IDOK);  // opens a box from inside OnOK
    ui.Wait(120).Then([&] {
        EXPECT_EQ(ui.OpenMessageBoxes(), 1);
        EXPECT_EQ(dlg.ticks, 2);  // at 50 and 100
    });
    ui.Answer(IDOK);
    ui.Then([&] {
        // Re-arming replaces the interval.
        dlg.SetTimer(3, 200);
    });
    ui.Wait(450).Then([&] {
        EXPECT_EQ(dlg.ticks, 4);
        EXPECT_TRUE(dlg.KillTimer(3));
        EXPECT_FALSE(dlg.KillTimer(3));
    });
    ui.Wait(500).Then([&] {
        EXPECT_EQ(dlg.ticks, 4);
        dlg.EndNow();
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.timerIds, (std::vector<UINT>{3, 3, 3, 3}));
    EXPECT_TRUE(ui.Problems().empty()) << ui.Problems().front();
}

TEST_F(FrameworkTest, SetTimerReportsFailureAsZeroAndWindowlessCallsAreHarmless) {
    Probe dlg;
    EXPECT_EQ(dlg.SetTimer(1, 10), 0u);  // no window yet
    EXPECT_FALSE(dlg.UpdateData(true));
    ui.FailNextSetTimers(1);
    ui.Then([&] {
        EXPECT_EQ(dlg.SetTimer(1, 10), 0u);
        EXPECT_EQ(dlg.SetTimer(1, 10), 1u);
        dlg.EndNow();
    });
    dlg.DoModal();
}

TEST_F(FrameworkTest, UnknownTemplateCannotBeCreated) {
    CDialog dlg(4242);
    EXPECT_EQ(dlg.DoModal(), -1);
}

TEST_F(FrameworkTest, MessageBoxWithoutCaptionShowsTheApplicationName) {
    Probe dlg;
    ui.Then([&] {
        EXPECT_EQ(dlg.MessageBox("q", nullptr, MB_YESNO | MB_ICONEXCLAMATION), IDYES);
        EXPECT_EQ(AfxMessageBox("r"), IDOK);
        dlg.EndNow();
    });
    ui.Answer(IDYES).Answer(IDOK);
    dlg.DoModal();
    ASSERT_EQ(ui.MessageBoxes().size(), 2u);
    EXPECT_EQ(ui.MessageBoxes()[0].caption, "vantrel");
    EXPECT_EQ(ui.MessageBoxes()[0].style, MB_YESNO | MB_ICONEXCLAMATION);
    EXPECT_EQ(ui.MessageBoxes()[1].caption, "vantrel");
}

// Integer exchange as the options dialog uses it.
TEST_F(FrameworkTest, IntegerExchangeAcceptsSignedDecimalsAndRefusesEverythingElse) {
    struct Case {
        std::string text;
        bool ok;
        int value;
    };
    const Case cases[] = {{"0", true, 0},      {" 42 ", true, 42},  {"-5", true, -5},
                          {"+7", true, 7},      {"", false, 0},      {"   ", false, 0},
                          {"12a", false, 0},    {"a12", false, 0},   {"1 2", false, 0},
                          {"99999999999", false, 0}, {"\n3", false, 0}, {"3.0", false, 0}};
    for (const Case& c : cases) {
        COptionDlg dlg;
        ui.Then([&] {
            dlg.Native()->SetText(IDC_OPT_CHAR_WAIT, c.text);
            CDataExchange dx(&dlg, true);
            int value = -1;
            DDX_Text(&dx, IDC_OPT_CHAR_WAIT, value);
            EXPECT_EQ(!dx.Failed(), c.ok) << "'" << c.text << "'";
            if (c.ok) {
                EXPECT_EQ(value, c.value) << c.text;
            } else {
                EXPECT_EQ(dlg.Native()->FocusId(), IDC_OPT_CHAR_WAIT);
            }
            // A failed exchange runs nothing after it.
            std::string untouched = "x";
            DDX_Text(&dx, IDC_OPT_MODEM_DIAL, untouched);
            EXPECT_EQ(untouched, c.ok ? "" : "x");
        });
        if (!c.ok) ui.Answer(IDOK);
        ui.Click(IDCANCEL);
        dlg.DoModal();
    }
    EXPECT_TRUE(ui.Problems().empty());
    for (const auto& box : ui.MessageBoxes()) {
        EXPECT_EQ(box.text, "整数を入力してください.");
        EXPECT_EQ(box.style & MB_ICONEXCLAMATION, MB_ICONEXCLAMATION);
    }
}

TEST_F(FrameworkTest, SaveDialogAddsTheDefaultExtensionOnlyToANewBareName) {
    const char* filter = "Data(*.vtl)|*.vtl||";
    struct Case {
        bool open;
        std::string picked, expected;
    };
    // A file that exists, though its name has no extension.
    const std::string dir = testing_support::MakeTempDir("dialog-test-");
    const std::string existing = dir + "/list";
    std::ofstream(existing) << "x";
    const Case cases[] = {{false, "/tmp/list", "/tmp/list.vtl"},
                          {false, "/tmp/list.txt", "/tmp/list.txt"},
                          {false, "/tmp/dir.d/list", "/tmp/dir.d/list.vtl"},
                          {true, "/tmp/list", "/tmp/list"},
                          {false, existing, existing}};
    for (const Case& c : cases) {
        CFileDialog fd(c.open, "*.vtl", nullptr, 0x1804, filter);
        ui.PickFile(c.picked);
        ASSERT_EQ(fd.DoModal(), IDOK);
        EXPECT_EQ(fd.GetPathName(), c.expected);
    }
    CFileDialog cancelled(true, "*.vtl", nullptr, 0x1804, filter);
    ui.CancelFile();
    EXPECT_EQ(cancelled.DoModal(), IDCANCEL);
    EXPECT_EQ(ui.FileDialogs().back().request.filter, filter);
    EXPECT_EQ(ui.FileDialogs().back().request.flags, 0x1804u);
    std::filesystem::remove_all(dir);
}

}  // namespace
