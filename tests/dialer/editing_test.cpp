// Composing the dial string on the keypad.
#include "support/dialer_fixture.h"

using namespace testing_support;

namespace {

class EditingTest : public DialerTest {};

TEST_F(EditingTest, EveryKeyAppendsItsSymbolAndSoundsItsOwnClip) {
    const std::pair<int, char> keys[] = {
        {IDC_KEY_1, '1'}, {IDC_KEY_2, '2'}, {IDC_KEY_3, '3'}, {IDC_KEY_4, '4'},
        {IDC_KEY_5, '5'}, {IDC_KEY_6, '6'}, {IDC_KEY_7, '7'}, {IDC_KEY_8, '8'},
        {IDC_KEY_9, '9'}, {IDC_KEY_0, '0'}, {IDC_KEY_STAR, '*'}, {IDC_KEY_SHARP, '#'},
        {IDC_KEY_A, 'A'}, {IDC_KEY_B, 'B'}, {IDC_KEY_C, 'C'}, {IDC_KEY_D, 'D'},
        {IDC_KEY_MINUS, '-'}, {IDC_KEY_WAIT, ','}};
    std::string expected;
    for (auto [id, c] : keys) {
        ui.Click(id);
        expected += c;
        ui.Then([&, expected] {
            EXPECT_EQ(Text(IDC_DIAL_FIELD), expected);
            EXPECT_STREQ(Dlg().m_szDial, expected.c_str());
            EXPECT_EQ(Dlg().m_nDialLen, static_cast<int>(expected.size()));
        });
    }
    ui.Click(IDOK);
    Run();
    EXPECT_EQ(Heard(), "1234567890*#ABCD");
    // Each tone is 100 ms and they follow one another as the keys were pressed.
    for (size_t i = 0; i < ui.Sounds().size(); ++i) {
        EXPECT_EQ(ui.Sounds()[i].start, static_cast<int64_t>(100 * i));
        EXPECT_EQ(ui.Sounds()[i].duration, 100);
    }
}

TEST_F(EditingTest, TheLimitIs255CharactersAndThenTheBoxChangesNothing) {
    ui.Then([&] {
        std::string s(254, '5');
        std::memcpy(Dlg().m_szDial, s.c_str(), 255);
        Dlg().m_nDialLen = 254;
    });
    ui.Click(IDC_KEY_9).Then([&] {
        EXPECT_EQ(Dlg().m_nDialLen, 255);
        EXPECT_EQ(ui.Sounds().size(), 1u);
        EXPECT_EQ(Text(IDC_DIAL_FIELD).size(), 255u);
    });
    for (int key : {IDC_KEY_1, IDC_KEY_MINUS, IDC_KEY_WAIT}) {
        ui.Click(key).Then([&] {
            ASSERT_EQ(ui.OpenMessageBoxes(), 1);
            const auto& box = ui.MessageBoxes().back();
            EXPECT_EQ(box.text, "これ以上は入力できません.");
            EXPECT_EQ(box.caption, "Input charcter length limit");
            EXPECT_EQ(box.style, MB_OK);
        });
        ui.Answer(IDOK).Then([&] {
            EXPECT_EQ(Dlg().m_nDialLen, 255);
            EXPECT_EQ(Dlg().m_szDial[254], '9');
            EXPECT_EQ(ui.Sounds().size(), 1u);
        });
    }
    // BS after the box removes the 255th; the next key is accepted again.
    ui.Click(IDC_KEY_BS).Click(IDC_KEY_A).Then([&] {
        EXPECT_EQ(Dlg().m_nDialLen, 255);
        EXPECT_EQ(Dlg().m_szDial[254], 'A');
        EXPECT_EQ(Heard(), "9A");
    });
    ui.Click(IDOK);
    Run();
    EXPECT_EQ(ui.MessageBoxes().size(), 3u);
    EXPECT_TRUE(ui.Problems().empty());
}

TEST_F(EditingTest, BsAndClearOnAnEmptyString) {
    ui.Then([&] {
        // A stale field text shows whether a refresh happened.
        Win().SetText(IDC_DIAL_FIELD, "stale");
    });
    ui.Click(IDC_KEY_BS).Then([&] {
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "stale");  // nothing refreshed
        EXPECT_EQ(Dlg().m_nDialLen, 0);
    });
    ui.Click(IDC_KEY_CLEAR).Then([&] { EXPECT_EQ(Text(IDC_DIAL_FIELD), ""); });
    ui.Click(IDC_KEY_3).Click(IDC_KEY_4).Click(IDC_KEY_BS).Then([&] {
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "3");
        EXPECT_EQ(Dlg().m_nDialLen, 1);
    });
    ui.Click(IDC_KEY_CLEAR).Then([&] {
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "");
        EXPECT_EQ(Dlg().m_szDial[0], '\0');
    });
    ui.Click(IDOK);
    Run();
    EXPECT_EQ(Heard(), "34");  // BS and Clear are silent
}

TEST_F(EditingTest, BsRemovesTheLastByteOfARestoredStringWhateverItIs) {
    SetProfile("[Dial]\nLastDial=12ab\n");
    ui.Click(IDC_KEY_BS).Then([&] { EXPECT_EQ(Text(IDC_DIAL_FIELD), "12a"); });
    ui.Click(IDOK);
    Run();
}

}  // namespace

namespace {

// A platform that carries the clips itself is asked for each one by its id.
class ClipSource : public port::SoundClips {
public:
    bool Play(UINT id, port::SoundOutput& out) override {
        ids.push_back(id);
        auto clip = FindDtmfClip(id);
        out.PlayWave(clip.data(), clip.size());
        return !clip.empty();
    }
    std::vector<UINT> ids;
};

TEST_F(EditingTest, ClipsAreTakenFromThePlatformWhenItCarriesThem) {
    ClipSource clips;
    app.AttachSoundClips(&clips);
    ui.Click(IDC_KEY_0).Click(IDC_KEY_WAIT).Click(IDC_KEY_D).Click(IDOK);
    Run();
    EXPECT_EQ(clips.ids, (std::vector<UINT>{2001, 2014}));
    EXPECT_EQ(Heard(), "0D");
}

}  // namespace
