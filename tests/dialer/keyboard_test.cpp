// Typing a number on the keyboard, pasting one and copying the dial string.
#include "support/dialer_fixture.h"

using namespace testing_support;
using headless::Key;

namespace {

class KeyboardTest : public DialerTest {};

TEST_F(KeyboardTest, TypedKeysActAsTheirKeypadButtons) {
    // Lower-case tone letters count; other characters change nothing.
    ui.Keys("1a#x*-,E0+").Then([&] {
        EXPECT_STREQ(Dlg().m_szDial, "1A#*-,0");
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "1A#*-,0");
        EXPECT_EQ(Win().FocusId(), IDC_KEY_1);  // the focus stays where it was
    });
    ui.Press(Key::Backspace).Then([&] { EXPECT_STREQ(Dlg().m_szDial, "1A#*-,"); });
    ui.Press(Key::Delete).Then([&] { EXPECT_EQ(Dlg().m_nDialLen, 0); });
    ui.Then([&] {
        std::memset(Dlg().m_szDial, '5', 255);
        Dlg().m_szDial[255] = '\0';
        Dlg().m_nDialLen = 255;
    });
    ui.Keys("9").Then([&] {
        ASSERT_EQ(ui.OpenMessageBoxes(), 1);
        EXPECT_EQ(ui.MessageBoxes().back().text, "これ以上は入力できません.");
        EXPECT_FALSE(Win().Control(IDC_KEY_9).pressed);  // not held down under the box
    });
    // Each typed key's button was shown pressed while its tone played, and released after.
    const int buttons[] = {IDC_KEY_1, IDC_KEY_A, IDC_KEY_SHARP, IDC_KEY_STAR, IDC_KEY_0};
    ui.Answer(IDOK).Then([&] {
        for (int id : buttons) EXPECT_FALSE(Win().Control(id).pressed);
    });
    ui.Click(IDOK);
    Run();
    EXPECT_EQ(Heard(), "1A#*0");
    ASSERT_EQ(ui.Sounds().size(), 5u);
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(ui.Sounds()[i].pressedButton, buttons[i]);
    EXPECT_EQ(Dlg().m_nDialLen, 255);
    EXPECT_TRUE(ui.Problems().empty());
}

TEST_F(KeyboardTest, PasteAppendsTheNumberWholeOrNothingAndCopyTakesTheDialString) {
    SetProfile("[Dial]\nLastDial=9\nIntlPrefix=010\n");
    auto paste = [&](std::optional<std::string> text, Key key = Key::CtrlV) {
        ui.Then([this, text] { ui.SetClipboard(text); }).Press(key);
    };
    auto refused = [&](const std::string& named, const std::string& caption) {
        ui.Then([&, named, caption] {
            ASSERT_EQ(ui.OpenMessageBoxes(), 1);
            const auto& box = ui.MessageBoxes().back();
            EXPECT_NE(box.text.find(named), std::string::npos) << box.text;
            EXPECT_EQ(box.caption, caption);
        });
        ui.Answer(IDOK);
    };
    paste("+1 (555) 010-9999");
    ui.Then([&] { EXPECT_EQ(Text(IDC_DIAL_FIELD), "90101555010-9999"); });
    paste("555-CALL", Key::ShiftInsert);
    refused("\"L\"", "Vantrel");
    paste(std::nullopt);  // no text on the clipboard: nothing at all
    // The prefix is read at each paste; without one a "+" number is refused.
    ui.Then([&] { app.WriteProfileString("Dial", "IntlPrefix", ""); });
    paste("+44 20 7946 0958", Key::ShiftInsert);
    ui.Then([&] { EXPECT_NE(ui.MessageBoxes().back().text.find("IntlPrefix"), std::string::npos); });
    ui.Answer(IDNO);  // to the offer of the options
    ui.Then([&] {
        EXPECT_STREQ(Dlg().m_szDial, "90101555010-9999");
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "90101555010-9999");
        std::memset(Dlg().m_szDial, '5', 250);
        Dlg().m_szDial[250] = '\0';
        Dlg().m_nDialLen = 250;
    });
    paste("12 3456");  // 256: refused whole, with the length message
    refused("これ以上は入力できません.", "Input charcter length limit");
    paste("1.2345");
    ui.Then([&] {
        EXPECT_EQ(Dlg().m_nDialLen, 255);
        EXPECT_EQ(std::string(Dlg().m_szDial + 250), "12345");
        ui.SetClipboard("old");
    });
    ui.Press(Key::CtrlC).Then([&] { EXPECT_EQ(ui.Clipboard(), std::string(Dlg().m_szDial)); });
    ui.Click(IDOK);
    Run();
    EXPECT_EQ(ui.MessageBoxes().size(), 3u);
    EXPECT_TRUE(ui.Sounds().empty());  // pasting plays nothing
    EXPECT_TRUE(ui.Problems().empty());
}

// A pasted link keeps the number as it is dialled from abroad, and what it
// could not keep is named.
TEST_F(KeyboardTest, PastedLinkLosesItsTrunkDigitAndNamesItsExtension) {
    SetProfile("[Dial]\nLastDial=\nIntlPrefix=00\n");
    ui.Then([&] { ui.SetClipboard("tel:+44(0)20-7946-0958;ext=12"); }).Press(Key::CtrlV);
    ui.Then([&] {
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "00442079460958");
        ASSERT_EQ(ui.OpenMessageBoxes(), 1);
        EXPECT_NE(ui.MessageBoxes().back().text.find("\";ext=12\""), std::string::npos);
        EXPECT_EQ(ui.MessageBoxes().back().caption, "Vantrel");
    });
    ui.Answer(IDOK).Click(IDOK);
    Run();
    EXPECT_EQ(ui.MessageBoxes().size(), 1u);
    EXPECT_TRUE(ui.Problems().empty());
}

}  // namespace
