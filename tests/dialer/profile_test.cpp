// The settings and dial state across a restart.
#include "support/dialer_fixture.h"

using namespace testing_support;
using profile_keys::DialListKey;

namespace {

class ProfileTest : public DialerTest {
protected:
    fw::ProfileStore Store() { return fw::ProfileStore(ProfilePath()); }
};

TEST_F(ProfileTest, StoredValuesFillTheWindow) {
    SetProfile(
        "[Flag and Numeric]\nPlayWait=20\nCharWait=300\nMinusWait=0\nTransSelect=3\n"
        "OutputDevice=1\n[Dial]\nLastDial=03-1234\nLoadFile=\nDialList0=111\nDialList1=\n"
        "DialList2=333\nDialList3=4\nDialList4=5,5\n[Modem]\nModemInitWait=0\nModemPort=2\n"
        "ModemInitChar=\nModemDialChar=ATDP\n");
    ui.Then([&] {
        EXPECT_EQ(Dlg().m_nPlayWait, 20);
        EXPECT_EQ(Dlg().m_nCharWait, 300);
        EXPECT_EQ(Dlg().m_nMinusWait, 0);
        EXPECT_TRUE(Checked(IDC_ROW_SELECT_0 + 3));
        EXPECT_TRUE(Checked(IDC_MODEM));
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "03-1234");
        EXPECT_EQ(Dlg().m_nDialLen, 7);
        const char* rows[] = {"111", "", "333", "4", "5,5"};
        for (int k = 0; k < 5; ++k) {
            EXPECT_EQ(Text(IDC_ROW_0 + k), rows[k]);
            EXPECT_STREQ(Dlg().m_szList[k], rows[k]);
        }
        for (int i = 5; i < 100; ++i) EXPECT_EQ(Dlg().m_szList[i][0], '\0');
        EXPECT_EQ(Dlg().m_nModemInitWait, 0);
        EXPECT_EQ(Dlg().m_nModemPort, 2);
        EXPECT_STREQ(Dlg().m_szModemInit, "");  // present but empty: not the default
        EXPECT_STREQ(Dlg().m_szModemDial, "ATDP");
    });
    ui.Click(IDOK);
    Run();
}

TEST_F(ProfileTest, OverlongStoredTextsAreCutToTheirBuffersWithoutSplittingACharacter) {
    std::string longDial(300, '7');
    std::string longInit(40, 'I');
    // 33 bytes of two-byte characters: a cut at 32 bytes must not split one.
    std::string wide;
    for (int i = 0; i < 11; ++i) wide += "ｱ";  // 3 bytes each
    SetProfile("[Dial]\nLastDial=" + longDial + "\nDialList0=" + std::string(256, '1') +
               "\n[Modem]\nModemInitChar=" + longInit + "\nModemDialChar=" + wide + "\n");
    ui.Then([&] {
        EXPECT_EQ(Dlg().m_nDialLen, 255);
        EXPECT_EQ(std::string(Dlg().m_szDial), longDial.substr(0, 255));
        EXPECT_EQ(Text(IDC_DIAL_FIELD).size(), 255u);
        EXPECT_EQ(std::strlen(Dlg().m_szList[0]), 255u);
        EXPECT_EQ(std::string(Dlg().m_szModemInit), longInit.substr(0, 32));
        EXPECT_EQ(std::string(Dlg().m_szModemDial), wide.substr(0, 30));
    });
    ui.Click(IDOK);
    Run();
}

TEST_F(ProfileTest, WaitsOutsideTheOptionsRangesAreHeldToThemOnRead) {
    SetProfile(
        "[Flag and Numeric]\nPlayWait=-1\nCharWait=99999999999999999999\nMinusWait=-2147483648\n"
        "[Dial]\nLastDial=1,2-3\n[Modem]\nModemInitWait=2147483647\n");
    ui.Then([&] {
        EXPECT_EQ(Dlg().m_nPlayWait, 0);
        EXPECT_EQ(Dlg().m_nCharWait, 1000);
        EXPECT_EQ(Dlg().m_nMinusWait, 0);
        EXPECT_EQ(Dlg().m_nModemInitWait, 5000);
    });
    // A dial with them neither stalls nor overflows, and the options take them as they are.
    ui.Click(IDC_DIAL).Wait(2000).Then([&] {
        EXPECT_EQ(Heard(), "123");
        EXPECT_EQ(Dlg().m_bDialing, 0);
    });
    ui.Click(IDC_OPTION).Click(IDOK).Then([&] { EXPECT_TRUE(ui.MessageBoxes().empty()); });
    ui.Click(IDOK);
    Run();
}

TEST_F(ProfileTest, DialStateSurvivesARestart) {
    ui.Click(IDC_KEY_4).Click(IDC_KEY_2).Click(IDC_ROW_SELECT_0 + 1).Click(IDC_MODEM);
    ui.Click(IDOK);
    EXPECT_EQ(RunProgram(), IDOK);
    fw::ProfileStore store = Store();
    EXPECT_EQ(store.GetString("Dial", "LastDial", "x"), "42");
    EXPECT_EQ(store.GetInt("Flag and Numeric", "TransSelect", 9), 1);
    EXPECT_EQ(store.GetInt("Flag and Numeric", "OutputDevice", 9), 1);
    EXPECT_EQ(store.GetString("Dial", "LoadFile", "x"), "");
    for (int n = 0; n < 5; ++n) EXPECT_EQ(store.GetString("Dial", DialListKey(n), "x"), "");
    // The second start shows what the first one saved.
    ui.Then([&] {
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "42");
        EXPECT_TRUE(Checked(IDC_ROW_SELECT_0 + 1));
        EXPECT_TRUE(Checked(IDC_MODEM));
    });
    ui.SysCommand(SC_CLOSE);
    EXPECT_EQ(RunProgram(), IDCANCEL);
}

TEST_F(ProfileTest, ExitWritesTheDialStateAgainButTheSystemCloseOnlyOnce) {
    ui.Click(IDC_KEY_5).Click(IDC_ROW_SELECT_0 + 2).SysCommand(SC_CLOSE);
    RunProgram();
    const std::vector<std::string> windowSave = {
        "Flag and Numeric/TransSelect=2", "Flag and Numeric/OutputDevice=0", "Dial/LastDial=5",
        "Dial/DialList0=", "Dial/DialList1=", "Dial/DialList2=", "Dial/DialList3=",
        "Dial/DialList4=", "Dial/LoadFile="};
    EXPECT_EQ(app.writes, windowSave);

    app.writes.clear();
    ui.Click(IDOK);
    RunProgram();
    std::vector<std::string> exitSave = windowSave;
    exitSave.insert(exitSave.end(), windowSave.begin(), windowSave.end() - 1);
    EXPECT_EQ(app.writes, exitSave);
}

TEST_F(ProfileTest, ClosingAfterScrollingStoresTheRowsOnView) {
    ui.Then([&] {
        for (int i = 0; i < 100; ++i) std::snprintf(Dlg().m_szList[i], 256, "%d", i + 1);
    });
    ui.Scroll(SB_THUMBPOSITION, 10);
    ui.Click(IDOK).Answer(IDNO);  // closing as before, having been asked
    RunProgram();
    fw::ProfileStore store = Store();
    for (int n = 0; n < 5; ++n)
        EXPECT_EQ(store.GetString("Dial", DialListKey(n), ""), std::to_string(11 + n));
    ui.Then([&] {
        for (int k = 0; k < 5; ++k) {
            EXPECT_EQ(Text(IDC_ROW_0 + k), std::to_string(11 + k));
            EXPECT_EQ(Text(IDC_ROW_NO_0 + k), std::to_string(1 + k));
        }
        EXPECT_EQ(Dlg().m_szList[5][0], '\0');
    });
    ui.Click(IDOK);
    RunProgram();
}

TEST_F(ProfileTest, EnterAwayFromExitWritesNothing) {
    SetProfile("; kept\n[Dial]\nLastDial=9\n");
    const std::string before = Profile();
    ui.Click(IDC_KEY_1).Focus(IDC_LIST_SLIDER).Press(headless::Key::Enter);
    ui.Then([&] { EXPECT_EQ(Profile(), before); });
    ui.SysCommand(SC_CLOSE);
    RunProgram();
    EXPECT_EQ(Store().GetString("Dial", "LastDial", ""), "91");
    EXPECT_EQ(Profile().rfind("; kept\n", 0), 0u);
}

}  // namespace

namespace {

TEST_F(ProfileTest, OversizedProfileIsReportedAndLeftAsItIs) {
    std::string big = "[Flag and Numeric]\nPlayWait=99\n[Dial]\nLastDial=123\n";
    big.resize(fw::ProfileStore::kMaxProfileBytes + 10, ';');
    SetProfile(big);
    ui.Answer(IDOK).Then([&] {
        ASSERT_EQ(ui.MessageBoxes().size(), 1u);
        EXPECT_NE(ui.MessageBoxes()[0].text.find("not used"), std::string::npos);
        EXPECT_NE(ui.MessageBoxes()[0].text.find(ProfilePath()), std::string::npos);
        EXPECT_EQ(Dlg().m_nPlayWait, 10);
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "");
    });
    ui.Click(IDC_KEY_1).Click(IDOK);
    EXPECT_EQ(RunProgram(), IDOK);
    EXPECT_EQ(ui.MessageBoxes().size(), 1u) << "refused writes add no message";
    EXPECT_TRUE(Profile() == big) << "the profile was changed";
}

// A profile at the size limit is read, but a save that would take it past is
// refused, and said so once, as a held lock is (an Exit saves twice).
TEST_F(ProfileTest, SaveRefusedAtTheSizeLimitIsReportedOnce) {
    std::string full =
        "[Flag and Numeric]\nTransSelect=0\nOutputDevice=0\n[Dial]\nLastDial=\nLoadFile=\n"
        "DialList0=\nDialList1=\nDialList2=\nDialList3=\nDialList4=\n;";
    full.resize(fw::ProfileStore::kMaxProfileBytes, 'x');
    SetProfile(full);
    ui.Keys("5").Click(IDOK).Then([&] {
        ASSERT_EQ(ui.OpenMessageBoxes(), 1);
        EXPECT_NE(ui.MessageBoxes()[0].text.find("not saved"), std::string::npos);
        EXPECT_NE(ui.MessageBoxes()[0].text.find(ProfilePath()), std::string::npos);
    });
    ui.Answer(IDOK);
    EXPECT_EQ(RunProgram(), IDOK);
    EXPECT_EQ(ui.MessageBoxes().size(), 1u);
    EXPECT_TRUE(ui.Problems().empty());
    EXPECT_TRUE(Profile() == full) << "the profile was changed";
}

}  // namespace
