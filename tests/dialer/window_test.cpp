// The dialer window opens, initialises and closes as the program's users expect.
#include "support/dialer_fixture.h"

using namespace testing_support;
using headless::Key;

namespace {

class WindowTest : public DialerTest {};

TEST_F(WindowTest, FirstStartShowsEmptyStateWithFocusOnKeyOne) {
    ui.Then([&] {
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "");
        for (int k = 0; k < 5; ++k) {
            EXPECT_EQ(Text(IDC_ROW_0 + k), "");
            EXPECT_EQ(Text(IDC_ROW_NO_0 + k), std::to_string(k + 1));
            EXPECT_EQ(Checked(IDC_ROW_SELECT_0 + k), k == 0);
        }
        EXPECT_TRUE(Checked(IDC_SPEAKER));
        EXPECT_FALSE(Checked(IDC_MODEM));
        EXPECT_EQ(Text(IDC_FILE_NAME), "");
        EXPECT_EQ(Win().FocusId(), IDC_KEY_1);
        const auto& slider = Win().Control(IDC_LIST_SLIDER);
        EXPECT_EQ(slider.sliderPos, 0);
        EXPECT_EQ(slider.sliderMin, 0);
        EXPECT_EQ(slider.sliderMax, 95);
        EXPECT_EQ(slider.sliderPage, 5);
        EXPECT_EQ(Win().Template().caption, "Vantrel");
        // Big and small icon both set to the program icon.
        EXPECT_EQ(Win().icons[true], 128);
        EXPECT_EQ(Win().icons[false], 128);
        EXPECT_EQ(Dlg().m_nPlayWait, 10);
        EXPECT_EQ(Dlg().m_nCharWait, 150);
        EXPECT_EQ(Dlg().m_nMinusWait, 100);
        EXPECT_EQ(Dlg().m_nModemInitWait, 3000);
        EXPECT_EQ(Dlg().m_nModemPort, 0);
        EXPECT_STREQ(Dlg().m_szModemInit, "ATZ");
        EXPECT_STREQ(Dlg().m_szModemDial, "ATDT");
        EXPECT_EQ(Dlg().m_nDialLen, 0);
        EXPECT_EQ(Dlg().m_bSysClose, 0);
    });
    ui.Click(IDOK);
    EXPECT_EQ(Run(), IDOK);
    EXPECT_TRUE(ui.Problems().empty());
}

TEST_F(WindowTest, EscAndEnterAwayFromExitLeaveTheWindowOpenAndSaveNothing) {
    ui.Press(Key::Escape);
    ui.Focus(IDC_LIST_SLIDER).Press(Key::Enter);
    ui.Click(IDC_ROW_SELECT_0 + 2).Press(Key::Enter);
    ui.Click(IDC_SPEAKER).Press(Key::Enter);
    ui.Then([&] {
        EXPECT_FALSE(Win().ended);
        EXPECT_FALSE(std::filesystem::exists(ProfilePath()));
    });
    // With the focus on the slider, Exit still needs the focus on itself.
    ui.Click(IDOK);
    EXPECT_EQ(Run(), IDOK);
    EXPECT_TRUE(ui.Problems().empty());
}

TEST_F(WindowTest, EnterOnAFocusedPushButtonPressesThatButton) {
    ui.Focus(IDC_KEY_7).Press(Key::Enter).Then([&] { EXPECT_EQ(Text(IDC_DIAL_FIELD), "7"); });
    // Tab from the last keypad key reaches Exit eventually; Space and Enter there close.
    ui.Focus(IDOK).Press(Key::Space);
    EXPECT_EQ(Run(), IDOK);
}

TEST_F(WindowTest, SystemCloseEndsWithCancelAndSetsTheFlag) {
    ui.SysCommand(SC_CLOSE);
    EXPECT_EQ(Run(), IDCANCEL);
    EXPECT_EQ(Dlg().m_bSysClose, 1);
}

TEST_F(WindowTest, AltF4IsTheSystemClose) {
    ui.Press(Key::AltF4);
    EXPECT_EQ(Run(), IDCANCEL);
    EXPECT_EQ(Dlg().m_bSysClose, 1);
}

TEST_F(WindowTest, OtherSystemCommandsLeaveTheGateShut) {
    ui.SysCommand(SC_MINIMIZE).SysCommand(SC_RESTORE).SysCommand(SC_MOVE);
    ui.Then([&] {
        EXPECT_EQ(Dlg().m_bSysClose, 0);
        EXPECT_FALSE(Win().IsIconic());
    });
    ui.Press(Key::Escape).Then([&] { EXPECT_FALSE(Win().ended); });
    ui.Click(IDOK);
    EXPECT_EQ(Run(), IDOK);
    EXPECT_EQ(Dlg().m_bSysClose, 0);
}

TEST_F(WindowTest, EscClosesOnceTheSystemCloseHasBeenChosen) {
    // A Close whose default handling is lost still opens the gate for good.
    ui.Then([&] { Dlg().m_bSysClose = 1; });
    ui.Press(Key::Escape);
    EXPECT_EQ(Run(), IDCANCEL);
}

TEST_F(WindowTest, StoredSelectionOutsideTheRowsChecksNoRadioAndReadsBackMinusOne) {
    SetProfile("[Flag and Numeric]\nTransSelect=7\nOutputDevice=5\n");
    ui.Then([&] {
        for (int k = 0; k < 5; ++k) EXPECT_FALSE(Checked(IDC_ROW_SELECT_0 + k));
        EXPECT_FALSE(Checked(IDC_SPEAKER));
        EXPECT_FALSE(Checked(IDC_MODEM));
        EXPECT_EQ(Dlg().m_nTransSelect, 7);
        Dlg().UpdateData(true);
        EXPECT_EQ(Dlg().m_nTransSelect, -1);
        EXPECT_EQ(Dlg().m_nOutputDevice, -1);
    });
    // Dial with no output device does nothing.
    ui.Click(IDC_KEY_1).Click(IDC_DIAL).Wait(500).Then([&] {
        EXPECT_EQ(ui.Sounds().size(), 1u);  // the key's own tone only
        EXPECT_EQ(Dlg().m_bDialing, 0);
    });
    ui.Click(IDOK);
    EXPECT_EQ(Run(), IDOK);
    EXPECT_NE(Profile().find("TransSelect=-1"), std::string::npos);
    EXPECT_NE(Profile().find("OutputDevice=-1"), std::string::npos);
}

TEST_F(WindowTest, ExchangeStopsAtTheFirstTooLongField) {
    ui.Then([&] {
        Win().SetText(IDC_ROW_0 + 1, std::string(256, '1'));
        Win().SetText(IDC_ROW_0 + 3, "not read");
        Win().SetText(IDC_FILE_NAME, "not read either");
        Dlg().m_strRow[3] = "before";
        Dlg().m_strFileName = "before";
        EXPECT_FALSE(Dlg().UpdateData(true));
        EXPECT_EQ(Dlg().m_strRow[1].size(), 256u);  // read, then refused
        EXPECT_EQ(Dlg().m_strRow[3], "before");
        EXPECT_EQ(Dlg().m_strFileName, "before");
        EXPECT_EQ(Win().FocusId(), IDC_ROW_0 + 1);
        EXPECT_EQ(Win().SelectedAllOf(), IDC_ROW_0 + 1);
    });
    ui.Answer(IDOK);
    ui.Then([&] {
        ASSERT_EQ(ui.MessageBoxes().size(), 1u);
        EXPECT_NE(ui.MessageBoxes()[0].text.find("255"), std::string::npos);
        EXPECT_EQ(ui.MessageBoxes()[0].caption, "Vantrel");
        Win().SetText(IDC_ROW_0 + 1, "");
    });
    ui.Click(IDOK);
    EXPECT_EQ(Run(), IDOK);
}

}  // namespace
