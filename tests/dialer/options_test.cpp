// The options dialog, opened from the dialer window.
#include "settings/option_dlg.h"
#include "support/dialer_fixture.h"

using namespace testing_support;

namespace {

class OptionsTest : public DialerTest {
protected:
    void Close() {
        ui.SysCommand(SC_CLOSE);
        Run();
    }
    std::vector<std::string> OptionWrites() {
        std::vector<std::string> out;
        for (const auto& w : app.writes)
            if (w.find("Wait=") != std::string::npos || w.find("Modem/") == 0) out.push_back(w);
        return out;
    }
};

TEST_F(OptionsTest, OpensWithTheCurrentValuesAndOkWithoutChangesWritesAllSeven) {
    ui.Click(IDC_OPTION).Then([&] {
        auto& w = Win();
        EXPECT_EQ(w.Template().id, 129);
        EXPECT_EQ(w.Text(IDC_OPT_PLAY_WAIT), "10");
        EXPECT_EQ(w.Text(IDC_OPT_CHAR_WAIT), "150");
        EXPECT_EQ(w.Text(IDC_OPT_MINUS_WAIT), "100");
        EXPECT_TRUE(w.Checked(IDC_OPT_COM1));
        EXPECT_EQ(w.Text(IDC_OPT_MODEM_INIT), "ATZ");
        EXPECT_EQ(w.Text(IDC_OPT_MODEM_DIAL), "ATDT");
        EXPECT_EQ(w.Text(IDC_OPT_MODEM_INIT_WAIT), "3000");
        EXPECT_EQ(w.FocusId(), IDC_OPT_PLAY_WAIT);
        EXPECT_EQ(w.Control(IDC_OPT_MODEM_INIT).limit, 32);
        EXPECT_EQ(w.Control(IDC_OPT_MODEM_DIAL).limit, 32);
        // The dialer beneath is disabled while the options are up.
        auto* owner = static_cast<headless::HeadlessWindow*>(w.Owner());
        ASSERT_NE(owner, nullptr);
        EXPECT_FALSE(owner->enabled);
    });
    ui.Press(headless::Key::Enter);
    Close();
    EXPECT_EQ(OptionWrites(), (std::vector<std::string>{
                                  "Flag and Numeric/PlayWait=10", "Flag and Numeric/CharWait=150",
                                  "Flag and Numeric/MinusWait=100", "Modem/ModemPort=0",
                                  "Modem/ModemInitWait=3000", "Modem/ModemInitChar=ATZ",
                                  "Modem/ModemDialChar=ATDT"}));
}

TEST_F(OptionsTest, NewValuesReachTheDialerAndTheProfile) {
    ui.Click(IDC_OPTION)
        .Type(IDC_OPT_PLAY_WAIT, "1000")
        .Type(IDC_OPT_CHAR_WAIT, "0")
        .Type(IDC_OPT_MINUS_WAIT, " 7 ")
        .Click(IDC_OPT_COM1 + 3)
        .Type(IDC_OPT_MODEM_INIT, "")
        .Type(IDC_OPT_MODEM_DIAL, std::string(40, 'P'))  // the 33rd byte cannot be typed
        .Type(IDC_OPT_MODEM_INIT_WAIT, "5000")
        .Click(IDOK)
        .Then([&] {
            EXPECT_EQ(Dlg().m_nPlayWait, 1000);
            EXPECT_EQ(Dlg().m_nCharWait, 0);
            EXPECT_EQ(Dlg().m_nMinusWait, 7);
            EXPECT_EQ(Dlg().m_nModemPort, 3);
            EXPECT_STREQ(Dlg().m_szModemInit, "");
            EXPECT_EQ(std::string(Dlg().m_szModemDial), std::string(32, 'P'));
            EXPECT_EQ(Dlg().m_nModemInitWait, 5000);
        });
    Close();
    fw::ProfileStore store(ProfilePath());
    EXPECT_EQ(store.GetInt("Flag and Numeric", "PlayWait", -1), 1000);
    EXPECT_EQ(store.GetInt("Modem", "ModemPort", -1), 3);
    EXPECT_EQ(store.GetString("Modem", "ModemInitChar", "x"), "");
    EXPECT_EQ(store.GetString("Modem", "ModemDialChar", "x"), std::string(32, 'P'));
}

TEST_F(OptionsTest, ValidationReportsTheFirstFailingFieldInExchangeOrder) {
    struct Case {
        int field;
        std::string text;
        std::string message;
    };
    const Case cases[] = {
        {IDC_OPT_PLAY_WAIT, "", "整数を入力してください."},
        {IDC_OPT_PLAY_WAIT, "1001", "0 から 1000 までの整数を入力してください."},
        {IDC_OPT_MINUS_WAIT, "-5", "0 から 1000 までの整数を入力してください."},
        {IDC_OPT_MODEM_INIT_WAIT, "5001", "0 から 5000 までの整数を入力してください."},
        {IDC_OPT_MODEM_INIT_WAIT, "abc", "整数を入力してください."},
    };
    for (const Case& c : cases) {
        ui.Click(IDC_OPTION).Type(c.field, c.text).Click(IDOK).Then([&] {
            ASSERT_EQ(ui.OpenMessageBoxes(), 1);
            EXPECT_EQ(ui.MessageBoxes().back().text, c.message) << c.text;
        });
        ui.Answer(IDOK).Then([&] {
            EXPECT_EQ(Win().Template().id, 129);  // still open
            EXPECT_EQ(Win().FocusId(), c.field);
            EXPECT_EQ(Win().SelectedAllOf(), c.field);
        });
        ui.Click(IDCANCEL);
    }
    // Bad text in both 1022 and 1023: 1023 is exchanged first.
    ui.Click(IDC_OPTION).Type(IDC_OPT_PLAY_WAIT, "x").Type(IDC_OPT_CHAR_WAIT, "y").Click(IDOK);
    ui.Answer(IDOK).Then([&] { EXPECT_EQ(Win().FocusId(), IDC_OPT_CHAR_WAIT); });
    ui.Click(IDCANCEL);
    Close();
    EXPECT_TRUE(OptionWrites().empty());
    EXPECT_EQ(ui.MessageBoxes().size(), 6u);
    EXPECT_TRUE(ui.Problems().empty());
}

TEST_F(OptionsTest, CancelEscAndTheCloseBoxChangeNothingEvenAfterEdits) {
    ui.Click(IDC_OPTION).Type(IDC_OPT_PLAY_WAIT, "500").Click(IDCANCEL);
    ui.Click(IDC_OPTION).Type(IDC_OPT_PLAY_WAIT, "500").Press(headless::Key::Escape);
    ui.Click(IDC_OPTION).Type(IDC_OPT_PLAY_WAIT, "500").SysCommand(SC_CLOSE);
    ui.Then([&] {
        EXPECT_EQ(Win().Template().id, 102);
        EXPECT_EQ(Dlg().m_nPlayWait, 10);
        EXPECT_EQ(Dlg().m_bSysClose, 0);  // the options' close box is not the dialer's
    });
    Close();
    EXPECT_TRUE(OptionWrites().empty());
}

TEST_F(OptionsTest, StoredPortOutsideTheRangeOpensWithNoneCheckedAndStoresMinusOne) {
    SetProfile("[Modem]\nModemPort=9\n");
    ui.Click(IDC_OPTION).Then([&] {
        for (int i = 0; i < 4; ++i) EXPECT_FALSE(Win().Checked(IDC_OPT_COM1 + i));
    });
    ui.Click(IDOK).Then([&] { EXPECT_EQ(Dlg().m_nModemPort, -1); });
    Close();
    EXPECT_EQ(fw::ProfileStore(ProfilePath()).GetInt("Modem", "ModemPort", 0), -1);
}

TEST_F(OptionsTest, ADialGoesOnBeneathTheDialogAndUsesTheNewTimingsAfterOk) {
    SetProfile("[Dial]\nLastDial=1234\n");
    ui.Click(IDC_DIAL).Click(IDC_OPTION).Type(IDC_OPT_PLAY_WAIT, "500");
    ui.WaitUntil(150).Click(IDOK).WaitUntil(2000);
    Close();
    std::vector<int64_t> starts;
    for (const auto& s : ui.Sounds()) starts.push_back(s.start);
    // Tones 1 to 3 with the old 10 ms gap, the second while the dialog is open;
    // OK lands after tone 2, so the gap armed after tone 3 is the new 500 ms.
    EXPECT_EQ(starts, (std::vector<int64_t>{0, 110, 220, 820}));
}

TEST_F(OptionsTest, APlusNumberLeadsToTheIntlPrefixFieldAndAFirstDuplicateSectionIsTheOneUsed) {
    // Written into a second [Dial] by hand, the prefix is not read: the first section is the one.
    SetProfile("[Dial]\nLastDial=9\n[Modem]\nModemPort=1\n[Dial]\nIntlPrefix=0033\n");
    ui.Then([&] { ui.SetClipboard("+44 20 7946 0958"); }).Press(headless::Key::CtrlV).Then([&] {
        ASSERT_EQ(ui.OpenMessageBoxes(), 1);
        const auto& box = ui.MessageBoxes().back();
        EXPECT_EQ(box.style, MB_YESNO | MB_ICONEXCLAMATION);
        EXPECT_NE(box.text.find("IntlPrefix"), std::string::npos) << box.text;
    });
    ui.Answer(IDYES).Then([&] {
        EXPECT_EQ(Win().Template().id, 129);
        EXPECT_EQ(Win().FocusId(), IDC_OPT_INTL_PREFIX);
        EXPECT_EQ(Win().Text(IDC_OPT_INTL_PREFIX), "");
        EXPECT_EQ(Win().Control(IDC_OPT_INTL_PREFIX).limit, 16);
    });
    for (const char* refused : {"0x", "0 0", "+", "ab"}) {
        ui.Type(IDC_OPT_INTL_PREFIX, refused).Click(IDOK).Then([&, refused] {
            ASSERT_EQ(ui.OpenMessageBoxes(), 1) << refused;
            EXPECT_NE(ui.MessageBoxes().back().text.find("0～9, A～D"), std::string::npos);
        });
        ui.Answer(IDOK).Then([&] {
            EXPECT_EQ(Win().Template().id, 129);
            EXPECT_EQ(Win().FocusId(), IDC_OPT_INTL_PREFIX);
            EXPECT_EQ(Win().SelectedAllOf(), IDC_OPT_INTL_PREFIX);
        });
    }
    ui.Type(IDC_OPT_INTL_PREFIX, "00").Click(IDOK).Then([&] {
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "900442079460958");  // taken once the prefix is set
    });
    // Unchanged, the prefix is not written again; Cancel at the offer takes nothing.
    ui.Click(IDC_OPTION).Then([&] { EXPECT_EQ(Win().Text(IDC_OPT_INTL_PREFIX), "00"); });
    ui.Click(IDOK);
    ui.Then([&] {
        app.HandOver({"+1 555 0100", false});
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "0015550100");
        app.WriteProfileString("Dial", "IntlPrefix", "");
        app.HandOver({"+1 555 0101", false});
    });
    ui.Answer(IDNO).Then([&] { app.HandOver({"+1 555 0102", false}); });
    ui.Answer(IDYES).Click(IDCANCEL).Then([&] {
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "0015550100");
        app.HandOver({"+1 555 0103", false});
    });
    ui.Answer(IDYES).Type(IDC_OPT_INTL_PREFIX, "011").Click(IDOK).Then([&] {
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "01115550103");  // a handed-over number too
    });
    Close();
    const std::string profile = Profile();
    EXPECT_EQ(profile.find("[Dial]\nLastDial=01115550103\n"), 0u) << profile;
    EXPECT_LT(profile.find("IntlPrefix=011\n"), profile.find("[Modem]")) << profile;  // in the first [Dial]
    EXPECT_NE(profile.find("[Dial]\nIntlPrefix=0033\n"), std::string::npos) << profile;
    size_t sections = 0;
    for (size_t at = profile.find("[Dial]"); at != std::string::npos; at = profile.find("[Dial]", at + 1))
        ++sections;
    EXPECT_EQ(sections, 2u);  // saving into it never adds a third
    EXPECT_EQ(std::count(app.writes.begin(), app.writes.end(), "Dial/IntlPrefix=00"), 1);
    for (const auto& box : ui.MessageBoxes()) EXPECT_EQ(box.caption, "Vantrel") << box.text;
    EXPECT_TRUE(ui.Problems().empty()) << ui.Problems().front();
}

}  // namespace
