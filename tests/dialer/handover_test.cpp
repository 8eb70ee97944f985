// Numbers handed to the window from outside: the command line at start, and
// other copies of the program while it runs.
#include "support/dialer_fixture.h"

using namespace testing_support;

namespace {

class HandOverTest : public DialerTest {
protected:
    void CloseAndRun() {
        ui.Press(headless::Key::AltF4);
        RunProgram();
        EXPECT_TRUE(ui.Problems().empty()) << ui.Problems().front();
    }
};

TEST_F(HandOverTest, StartNumberReplacesTheLastDialAndIsDialedOnlyWhenAsked) {
    for (bool dialNow : {false, true}) {
        ui = headless::HeadlessSystem();
        SetProfile("[Dial]\nLastDial=111\nIntlPrefix=00\n");
        app.SetStartNumber({"tel:+81 (3) 1234.5678;ext=5", dialNow});
        // The extension left out is named; the dial goes on under the note.
        ui.Wait(3000).Then([&] {
            EXPECT_EQ(Text(IDC_DIAL_FIELD), "00813" "12345678");
            EXPECT_EQ(Dlg().m_nDialLen, 13);
            ASSERT_EQ(ui.OpenMessageBoxes(), 1);
            EXPECT_NE(ui.MessageBoxes()[0].text.find("\";ext=5\""), std::string::npos);
            EXPECT_EQ(ui.MessageBoxes()[0].caption, "Vantrel");
            EXPECT_EQ(Heard(), dialNow ? "0081312345678" : "") << dialNow;
        });
        ui.Answer(IDOK);
        CloseAndRun();
        EXPECT_EQ(Heard(), dialNow ? "0081312345678" : "") << dialNow;
        EXPECT_EQ(ui.MessageBoxes().size(), 1u);
        EXPECT_NE(Profile().find("LastDial=0081312345678\n"), std::string::npos) << Profile();
    }
}

TEST_F(HandOverTest, RefusedNumbersAreReportedAndChangeNothing) {
    SetProfile("[Dial]\nLastDial=111\n");
    // A "+" needs the international prefix, which this profile lacks; --dial
    // must not then dial the old number.
    app.SetStartNumber({"+15550100", true});
    ui.Answer(IDNO).Wait(1000);  // not now to the offer of the options
    ui.Then([&] { app.HandOver({"call 555 0100", false}); }).Answer(IDOK);
    ui.Then([&] { app.HandOver({std::string(256, '1'), false}); }).Answer(IDOK);
    ui.Then([&] { EXPECT_EQ(Text(IDC_DIAL_FIELD), "111"); });
    CloseAndRun();
    ASSERT_EQ(ui.MessageBoxes().size(), 3u);
    EXPECT_NE(ui.MessageBoxes()[0].text.find("IntlPrefix"), std::string::npos);
    EXPECT_NE(ui.MessageBoxes()[1].text.find("\"call 555 0100\""), std::string::npos);
    EXPECT_EQ(ui.MessageBoxes()[2].text, "これ以上は入力できません.");
    EXPECT_EQ(Heard(), "");
}

TEST_F(HandOverTest, RefusalsWhileOneIsShownWaitForItAndOnlyTheLatestIsShownNext) {
    SetProfile("[Dial]\nLastDial=111\n");
    int mostOpen = 0;
    ui.Wait(100);
    // Each runs in the innermost loop, which is the first refusal's box from
    // the second on; one number among them is taken.
    for (int i = 0; i < 100; ++i)
        ui.Then([&, i] {
            app.HandOver({i == 50 ? "42" : "x" + std::to_string(i), false});
            mostOpen = std::max(mostOpen, ui.OpenMessageBoxes());
        });
    ui.Answer(IDOK).Then([&] { EXPECT_EQ(ui.OpenMessageBoxes(), 1); });
    ui.Answer(IDOK).Then([&] {
        EXPECT_EQ(ui.OpenMessageBoxes(), 0);
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "42");
    });
    CloseAndRun();
    EXPECT_EQ(mostOpen, 1);
    ASSERT_EQ(ui.MessageBoxes().size(), 2u);
    EXPECT_NE(ui.MessageBoxes()[0].text.find("\"x0\""), std::string::npos);
    EXPECT_NE(ui.MessageBoxes()[1].text.find("\"x99\""), std::string::npos);
}

TEST_F(HandOverTest, NumberFromAnotherCopyGoesToTheRunningWindowInFront) {
    SetProfile("[Dial]\nLastDial=12\n[Flag and Numeric]\nPlayWait=100\n");
    EXPECT_FALSE(app.CanTakeNumber());
    ui.Then([&] {
        EXPECT_TRUE(app.CanTakeNumber());
        app.HandOver({"0120-444-444", false});
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "0120-444-444");
        EXPECT_EQ(Win().broughtToFront, 1);
    });
    ui.Then([&] { app.HandOver({"tel:42", true}); }).Wait(1000);
    // During a dial the string stays as it is, so the dial goes on unchanged.
    ui.Click(IDC_KEY_CLEAR).Click(IDC_KEY_7).Click(IDC_KEY_8).Click(IDC_DIAL).Wait(50);
    ui.Then([&] { app.HandOver({"9", true}); }).Answer(IDOK).Wait(1000);
    CloseAndRun();
    EXPECT_EQ(Heard(), "42" "78" "78");
    ASSERT_EQ(ui.MessageBoxes().size(), 1u);
    EXPECT_NE(ui.MessageBoxes()[0].text.find("dial is in progress"), std::string::npos);
    EXPECT_FALSE(app.CanTakeNumber());
}

}  // namespace
