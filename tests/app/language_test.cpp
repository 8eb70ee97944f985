// The program in each language: which language the environment selects, what
// every window and box shows in it, and that nothing stored depends on it.
#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <set>

#include "dialer/dialer_dlg.h"
#include "resources/version.h"
#include "settings/option_dlg.h"
#include "support/dialer_fixture.h"
#include "support/recording_serial.h"

namespace {

using testing_support::RecordingSerial;

class LanguageTest : public testing_support::DialerTest {
protected:
    ~LanguageTest() override { fw::SetLanguage(fw::Language::Source); }

    // Every text a window shows the user: its title and its controls' labels.
    void Collect(const headless::HeadlessWindow& w) {
        texts.insert(std::string(w.Template().caption));
        for (const auto& c : w.Template().controls) {
            const bool labelled = c.kind == res::ControlKind::PushButton ||
                                  c.kind == res::ControlKind::Static ||
                                  c.kind == res::ControlKind::GroupBox ||
                                  c.kind == res::ControlKind::RadioButton;
            if (labelled && (c.style & WS_VISIBLE) && !c.text.empty()) texts.insert(std::string(c.text));
        }
    }

    // Opens every window and every box a user meets without a device or a
    // file, and collects what they show.
    void VisitEverything() {
        SetProfile("[Dial]\nLastDial=12\n[Modem]\nModemPort=-1\n");
        ui.Then([&] {
            Collect(Win());
            for (const auto& item : Win().SystemMenu())
                if (!item.separator) texts.insert(item.text);
        });
        ui.SysCommand(IDM_ABOUTBOX).Then([&] { Collect(Win()); }).Click(IDOK);
        ui.Click(IDC_OPTION).Then([&] { Collect(Win()); });
        ui.Type(IDC_OPT_PLAY_WAIT, "x").Click(IDOK).Answer(IDOK);
        ui.Type(IDC_OPT_PLAY_WAIT, "5000").Click(IDOK).Answer(IDOK);
        ui.Click(IDCANCEL);
        ui.Click(IDC_ROW_SELECT_0).Click(IDC_LIST_DELETE).Answer(IDNO);
        ui.Then([&] {
            std::memset(Dlg().m_szDial, '1', 255);
            Dlg().m_szDial[255] = '\0';
            Dlg().m_nDialLen = 255;
        });
        ui.Click(IDC_KEY_1).Answer(IDOK).Click(IDC_KEY_CLEAR);
        std::filesystem::create_directory(dir / "missing.vtl");
        testing_support::WriteFileBytes(dir / "empty.vtl", "");
        ui.Click(IDC_LIST_LOAD).PickFile((dir / "missing.vtl")).Answer(IDOK);
        ui.Click(IDC_LIST_LOAD).PickFile((dir / "empty.vtl")).Answer(IDOK);
        ui.Click(IDC_LIST_SAVE).CancelFile();
        // No port: the dial halts at once, and Dial again says why.
        ui.Click(IDC_MODEM).Click(IDC_DIAL).Answer(IDOK).Click(IDC_DIAL).Answer(IDOK);
        ui.Then([&] { texts.insert(Win().Caption()); });  // says the dial is halted
        ui.Click(IDC_STOP).Answer(IDOK);  // Stop too tries the port
        ui.SysCommand(SC_CLOSE);
        Run();
        for (const auto& p : ui.Problems()) ADD_FAILURE() << p;
        for (const auto& box : ui.MessageBoxes()) {
            texts.insert(box.text);
            texts.insert(box.caption);
        }
        ASSERT_EQ(ui.FileDialogs().size(), 3u);
        texts.insert(ui.FileDialogs().back().request.filter);
    }

    std::set<std::string> texts;
};

bool Shown(const std::set<std::string>& texts, const std::string& text) {
    return texts.count(text) != 0;
}

TEST_F(LanguageTest, JapaneseShowsTheTextsAsTheProgramAlwaysHas) {
    fw::SetLanguage(fw::Language::Japanese);
    VisitEverything();
    for (const char* text :
         {"Vantrel", " Number Key", " Dial ", " Dial List ", " Output Device ", "Speaker", "Modem",
          "Option", "Help", "Exit", "File :", "Vantrel Option", "再生間隔 (0～1000msec)",
          "WAITキャラクタ (0～1000msec)", "ハイフンキャラクタ (0～1000msec)", "WAITの設定", "ポート",
          "初期化ATコマンド", "ダイアルATコマンド", "初期化待機時間(0～5000)", "モデムの設定", "ｷｬﾝｾﾙ",
          "About Vantrel32", VANTREL_ABOUT_TEXT, "ﾊﾞｰｼﾞｮﾝ情報(Vantrel) (&A)...",
          "整数を入力してください.", "0 から 1000 までの整数を入力してください.",
          "ﾘｽﾄの 1 番目を消去しますか?", "List Delete", "これ以上は入力できません.",
          "Input charcter length limit", "ﾃﾞｰﾀﾌｧｲﾙが空です.", "Vantrel - ダイアル停止中: Stop を押してください", "Vantrel Data(*.vtl)|*.vtl|All File(*.*)|*.*||"})
        EXPECT_TRUE(Shown(texts, text)) << text;
    EXPECT_TRUE(Shown(texts, "ﾌｧｲﾙ\n  " + (dir / "missing.vtl") + "\nのｵｰﾌﾟﾝ ｴﾗｰです"));
    bool portError = false;
    for (const auto& t : texts) portError = portError || t.starts_with("COMﾎﾟｰﾄのｵｰﾌﾟﾝ ｴﾗｰです.\nポート");
    EXPECT_TRUE(portError);
}

TEST_F(LanguageTest, EnglishShowsOnlyEnglish) {
    fw::SetLanguage(fw::Language::English);
    VisitEverything();
    for (const auto& text : texts) {
        for (unsigned char c : text) {
            if (c >= 0x80) {
                ADD_FAILURE() << "not English: " << text;
                break;
            }
        }
    }
    for (const char* text :
         {"Vantrel Option", "Tone gap (0-1000 ms)", "Cancel", "&About Vantrel...",
          "Enter an integer.", "Enter an integer from 0 to 1000.", "Delete entry 1 of the list?",
          "No more characters can be entered.", "Input character length limit",
          "Vantrel Data (*.vtl)|*.vtl|All Files (*.*)|*.*||", " Number Key", "Speaker",
          "Vantrel - dial halted: press Stop"})
        EXPECT_TRUE(Shown(texts, text)) << text;
    EXPECT_TRUE(Shown(texts, "The file\n  " + (dir / "missing.vtl") + "\ncould not be opened."));
}

// Every text comes from the catalog: in the pseudo-language each shows wrapped
// in brackets, so one that is not stands out.
TEST_F(LanguageTest, NoTextEscapesTheCatalog) {
    fw::SetLanguage(fw::Language::Pseudo);
    VisitEverything();
    EXPECT_GT(texts.size(), 50u);
    for (const auto& text : texts) {
        if (text.size() <= 1) continue;  // the keypad's symbols
        EXPECT_TRUE(text.starts_with("[") && text.find(']') != std::string::npos)
            << "outside the catalog: " << text;
    }
}

// One speaker dial, one modem dial and one save, in a language.
struct Outcome {
    std::string profile, list;
    std::vector<std::vector<uint8_t>> sounds;
    std::vector<RecordingSerial::Write> lines;
};

class StoredBytesTest : public testing_support::DialerTest {
protected:
    Outcome DialAndSave(fw::Language language) {
        fw::SetLanguage(language);
        RecordingSerial serial;
        app.AttachPlatform(&ui, &ui, &serial);
        SetProfile("[Dial]\nLastDial=1#\n[Modem]\nModemPort=0\nModemInitWait=100\n");
        const std::string list = (dir / "list.vtl");
        ui.Click(IDC_ROW_SELECT_0).Click(IDC_DIAL_COPY).Click(IDC_DIAL).Wait(1000);
        ui.Click(IDC_MODEM).Click(IDC_DIAL).Wait(1000).Click(IDC_STOP).Wait(1000).Click(IDC_SPEAKER);
        ui.Click(IDC_LIST_SAVE).PickFile(list).SysCommand(SC_CLOSE);
        const size_t heardBefore = ui.Sounds().size();
        Run();
        EXPECT_TRUE(ui.Problems().empty()) << ui.Problems().front();
        fw::SetLanguage(fw::Language::Source);
        Outcome out{Profile(), testing_support::ReadFileBytes(list), {}, serial.writes};
        for (size_t i = heardBefore; i < ui.Sounds().size(); ++i) out.sounds.push_back(ui.Sounds()[i].wave);
        return out;
    }
};

TEST_F(StoredBytesTest, DialAndSaveWriteTheSameBytesInEveryLanguage) {
    const Outcome english = DialAndSave(fw::Language::English);
    const Outcome japanese = DialAndSave(fw::Language::Japanese);
    EXPECT_NE(english.profile.find("ModemPort=0"), std::string::npos);
    EXPECT_EQ(english.profile, japanese.profile);
    EXPECT_FALSE(english.list.empty());
    EXPECT_EQ(english.list, japanese.list);
    EXPECT_EQ(english.sounds.size(), 2u);
    EXPECT_EQ(english.sounds, japanese.sounds);
    ASSERT_GE(english.lines.size(), 2u);
    ASSERT_EQ(english.lines.size(), japanese.lines.size());
    for (size_t i = 0; i < english.lines.size(); ++i)
        EXPECT_EQ(english.lines[i].bytes, japanese.lines[i].bytes) << i;
}

}  // namespace
