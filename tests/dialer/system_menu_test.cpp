// The system menu, the about box, the minimised icon and help.
#include "app/command_line.h"
#include "framework/dialog_template.h"
#include "resources/resource_ids.h"
#include "support/dialer_fixture.h"

using namespace testing_support;

namespace {

class SystemMenuTest : public DialerTest {};

TEST_F(SystemMenuTest, MenuEndsWithTheAboutItemWhichOpensTheAboutBox) {
    ui.Then([&] {
        const auto& menu = Win().SystemMenu();
        ASSERT_EQ(menu.size(), 2u);
        EXPECT_TRUE(menu[0].separator);
        EXPECT_FALSE(menu[1].separator);
        EXPECT_EQ(menu[1].cmd, 16u);
        EXPECT_EQ(menu[1].text, "ﾊﾞｰｼﾞｮﾝ情報(Vantrel) (&A)...");
    });
    // The platform's low four bits are ignored.
    ui.SysCommand(IDM_ABOUTBOX | 0x3).Then([&] {
        EXPECT_EQ(Win().Template().id, 100);
        EXPECT_EQ(Win().Template().caption, "About Vantrel32");
        EXPECT_EQ(Win().FocusId(), IDOK);
    });
    ui.Press(headless::Key::Enter).Then([&] {
        EXPECT_EQ(Win().Template().id, 102);
        EXPECT_EQ(Dlg().m_bSysClose, 0);
        EXPECT_FALSE(Win().ended);
    });
    ui.SysCommand(SC_CLOSE | 0x2);
    EXPECT_EQ(Run(), IDCANCEL);
    EXPECT_EQ(Dlg().m_bSysClose, 1);
}

TEST_F(SystemMenuTest, AboutNamesThePlatformAndTheVersionThatVersionPrints) {
#ifdef _WIN32
    const std::string platform = "Win32";
#else
    const std::string platform = "Linux";
#endif
    const res::DialogTemplate* about = res::FindDialogTemplate(res::IDD_ABOUTBOX);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->controls[1].text, "Vantrel for " + platform + " V1.00");
    EXPECT_EQ(VersionLine(), "vantrel 1.00\n");
}

TEST_F(SystemMenuTest, MinimisedIconIsCentredWithOddDifferencesRoundedUp) {
    struct Case {
        int w, h, x, y;
    };
    // Icon 32 by 32: one pixel wider gives 1, equal gives 0, odd differences round up.
    for (Case c : {Case{33, 32, 1, 0}, Case{32, 32, 0, 0}, Case{100, 51, 34, 10},
                   Case{20, 20, -5, -5}}) {
        ui.SysCommand(SC_MINIMIZE).Then([&, c] {
            Win().SetClientSize(c.w, c.h);
            Win().drawnIcons.clear();
        });
        ui.Paint().Then([&, c] {
            ASSERT_EQ(Win().drawnIcons.size(), 1u);
            EXPECT_EQ(Win().drawnIcons[0].x, c.x) << c.w;
            EXPECT_EQ(Win().drawnIcons[0].y, c.y) << c.h;
            EXPECT_EQ(Win().drawnIcons[0].icon, 128);
            EXPECT_GE(Win().IconBackgroundErases(), 1);
        });
        ui.SysCommand(SC_RESTORE).Paint().Then([&] { EXPECT_TRUE(Win().drawnIcons.size() == 1); });
    }
    ui.Then([&] { EXPECT_EQ(Dlg().SendQueryDragIcon(), 128); });
    ui.Click(IDOK);
    Run();
}

TEST_F(SystemMenuTest, HelpOpensTheHelpPageOrSaysWhichFileIsMissing) {
    const std::string page = dir / "index.html";
    WriteFileBytes(page, "<html></html>");
    app.SetHelpFile(page);
    ui.Click(IDC_HELP_BUTTON).Then([&] {
        ASSERT_EQ(ui.HelpRequests().size(), 1u);
        EXPECT_EQ(ui.HelpRequests()[0], page);
        EXPECT_TRUE(ui.MessageBoxes().empty());
        app.SetHelpFile(dir / "missing.html");
    });
    ui.Click(IDC_HELP_BUTTON).Then([&] {
        ASSERT_EQ(ui.OpenMessageBoxes(), 1);
        EXPECT_NE(ui.MessageBoxes().back().text.find(dir / "missing.html"), std::string::npos);
    });
    ui.Answer(IDOK).Click(IDOK);
    EXPECT_EQ(Run(), IDOK);
    EXPECT_EQ(ui.HelpRequests().size(), 1u);
}

TEST_F(SystemMenuTest, HelpTheDesktopFailsToShowLaterIsReportedWithItsPath) {
    const std::string page = dir / "index.html";
    WriteFileBytes(page, "<html></html>");
    app.SetHelpFile(page);
    ui.FailHelpLater(true);  // a browser opener that finds no browser
    ui.Click(IDC_HELP_BUTTON).Then([&] {
        ASSERT_EQ(ui.OpenMessageBoxes(), 1);
        EXPECT_EQ(ui.MessageBoxes().back().text, "ヘルプファイル\n  " + page + "\nを開けません.");
    });
    ui.Answer(IDOK).Click(IDOK);
    EXPECT_EQ(Run(), IDOK);
    EXPECT_TRUE(ui.Problems().empty());
}

}  // namespace
