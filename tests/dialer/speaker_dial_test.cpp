// Dialing through the speaker: the timeline of tones and gaps, to the virtual millisecond.
#include "support/dialer_fixture.h"
#include "support/recording_serial.h"

using namespace testing_support;

namespace {

class SpeakerDialTest : public DialerTest {
protected:
    void Settings(const std::string& dial, int playWait, int charWait = 150, int minusWait = 100) {
        SetProfile("[Flag and Numeric]\nPlayWait=" + std::to_string(playWait) +
                   "\nCharWait=" + std::to_string(charWait) +
                   "\nMinusWait=" + std::to_string(minusWait) + "\n[Dial]\nLastDial=" + dial + "\n");
    }
    // "symbol@start" for every tone heard.
    std::string Timeline() const {
        std::string out;
        for (const auto& s : ui.Sounds())
            out += std::string(1, SymbolOfSound(s)) + "@" + std::to_string(s.start) + " ";
        return out;
    }
    // The dial is still in progress one millisecond before `end` and over at `end`.
    void ExpectDialEndsAt(int64_t end) {
        ui.WaitUntil(end - 1).Then([&] { EXPECT_EQ(Dlg().m_bDialing, 1) << "at " << ui.Now(); });
        ui.WaitUntil(end).Then([&] {
            EXPECT_EQ(Dlg().m_bDialing, 0) << "at " << ui.Now();
            EXPECT_EQ(Dlg().m_bTimerSet, 0);
        });
    }
    int RunAndClose() {
        ui.Click(IDOK);
        return Run();
    }
};

TEST_F(SpeakerDialTest, EmptyStringEndsAtOnceInSilence) {
    Settings("", 10);
    ui.Click(IDC_DIAL).Then([&] {
        EXPECT_EQ(Dlg().m_bDialing, 0);
        EXPECT_EQ(Dlg().m_bTimerSet, 0);
    });
    RunAndClose();
    EXPECT_TRUE(ui.Sounds().empty());
}

TEST_F(SpeakerDialTest, PauseCharacterWaitsOnItsOwnAfterTheGap) {
    Settings("1,2", 10, 150);
    // Tone 1 at 0, the comma at 110, tone 2 at 260, the end 10 ms after it.
    ui.Click(IDC_DIAL);
    ExpectDialEndsAt(370);
    RunAndClose();
    EXPECT_EQ(Timeline(), "1@0 2@260 ");
}

TEST_F(SpeakerDialTest, ZeroPauseWaitsFallBackToTheOrdinaryGap) {
    for (const char* dial : {"1,2", "1-2", "1a2"}) {
        ui = headless::HeadlessSystem();
        Settings(dial, 10, 0, 0);
        ui.Click(IDC_DIAL);
        ExpectDialEndsAt(230);
        RunAndClose();
        EXPECT_EQ(Timeline(), "1@0 2@120 ") << dial;
    }
}

TEST_F(SpeakerDialTest, HyphenWaitsItsOwnTime) {
    Settings("1-2", 10, 150, 100);
    ui.Click(IDC_DIAL).Wait(1000);
    RunAndClose();
    EXPECT_EQ(Timeline(), "1@0 2@210 ");
}

TEST_F(SpeakerDialTest, NoGapPlaysBackToBackAndBlocksUntilThePause) {
    Settings("123,4", 0, 150);
    ui.Click(IDC_DIAL).Then([&] {
        // The whole run up to the comma happened inside the click.
        EXPECT_EQ(ui.Now(), 300);
        EXPECT_EQ(Dlg().m_bTimerSet, 1);
    });
    ui.Wait(1000).Then([&] { EXPECT_EQ(Dlg().m_bDialing, 0); });
    RunAndClose();
    EXPECT_EQ(Timeline(), "1@0 2@100 3@200 4@450 ");
}

// A receiver hears two equal tones as one when the break between them is
// short, so equal tones in a row are kept 40 ms apart; other gaps are PlayWait.
TEST_F(SpeakerDialTest, EqualTonesInARowAreKeptFortyMillisecondsApart) {
    Settings("1155", 10);
    ui.Click(IDC_DIAL);
    ExpectDialEndsAt(500);
    RunAndClose();
    EXPECT_EQ(Timeline(), "1@0 1@140 5@250 5@390 ");

    ui = headless::HeadlessSystem();
    Settings("1155", 0);
    // The last tone and the end of the dial run inside the timer step due at 380.
    ui.Click(IDC_DIAL).WaitUntil(379).Then([&] { EXPECT_EQ(Dlg().m_bDialing, 1); });
    ui.WaitUntil(380).Then([&] {
        EXPECT_EQ(ui.Now(), 480);
        EXPECT_EQ(Dlg().m_bDialing, 0);
    });
    RunAndClose();
    EXPECT_EQ(Timeline(), "1@0 1@140 5@240 5@380 ");
}

// A key's tone and a dial's first tone (after a leading pause too) keep no
// time with the tone before; every other tone of a dial is told the silence
// planned since the tone before it, pauses and the equal-tone guard included.
TEST_F(SpeakerDialTest, EachToneIsToldTheSilencePlannedBeforeIt) {
    Settings(",1,1-2", 10, 150, 100);
    ui.Click(IDC_KEY_2).Wait(200).Click(IDC_DIAL).Wait(1000);
    RunAndClose();
    EXPECT_EQ(Timeline(), "2@0 1@450 1@710 2@920 2@1060 ");
    std::string planned;
    for (const auto& s : ui.Sounds())
        planned += (s.afresh ? std::string("-") : std::to_string(s.plannedGapMs.value_or(-1))) + " ";
    EXPECT_EQ(planned, "- - 160 110 40 ");
}

TEST_F(SpeakerDialTest, TheFieldSelectsWhatIsDialledAndTheSoundingKeyLooksPressed) {
    Settings("1,2-3", 10, 150, 100);
    // Tone 1 at 0, the comma at 110, a key's tone at 120, tone 2 at 260, the
    // hyphen at 370, tone 3 at 470, the typed 9 at 580.
    auto selected = [&](int end) {
        const auto& field = Win().Control(IDC_DIAL_FIELD);
        EXPECT_EQ(field.selStart, 0) << "at " << ui.Now();
        EXPECT_EQ(field.selEnd, end) << "at " << ui.Now();
    };
    ui.Click(IDC_DIAL).Then([&] { selected(1); });
    ui.WaitUntil(120).Then([&] { selected(2); });  // pausing at the comma
    // A key pressed meanwhile is added, and the progress stays on view.
    ui.Click(IDC_KEY_9).Then([&] {
        EXPECT_EQ(ui.Now(), 220);
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "1,2-39");
        selected(2);
    });
    ui.WaitUntil(365).Then([&] { selected(3); });
    ui.WaitUntil(400).Then([&] { selected(4); });  // pausing at the hyphen
    ui.WaitUntil(575).Then([&] { selected(5); });
    ui.WaitUntil(685).Then([&] { selected(6); });
    ui.WaitUntil(690).Then([&] {
        EXPECT_EQ(Dlg().m_bDialing, 0);
        selected(0);
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "1,2-39");
        EXPECT_FALSE(Win().Control(IDC_KEY_9).pressed);
        EXPECT_TRUE(Win().timers.empty());
    });
    RunAndClose();
    EXPECT_EQ(Timeline(), "1@0 9@120 2@260 3@470 9@580 ");
    std::vector<int> pressed;
    for (const auto& s : ui.Sounds()) pressed.push_back(s.pressedButton);
    // The clicked key holds no button down here: a click is over before its handler runs.
    EXPECT_EQ(pressed, (std::vector<int>{IDC_KEY_1, 0, IDC_KEY_2, IDC_KEY_3, IDC_KEY_9}));
}

TEST_F(SpeakerDialTest, ASoundDeviceThatFailsIsReportedOnceUntilItPlaysAgain) {
    const std::string why = "the sound device \"default\" cannot be opened: No such file or directory";
    Settings("", 10);
    ui.Then([&] { ui.FailSound(why); });
    // Ten keys: the first says so, with the device's own words.
    ui.Click(IDC_KEY_1).Then([&] {
        ASSERT_EQ(ui.OpenMessageBoxes(), 1);
        const auto& box = ui.MessageBoxes().back();
        EXPECT_EQ(box.text, "No sound: " + why +
                                ".\nKeys and dials go on without sound. Help (Troubleshooting) says what "
                                "to check.");
        EXPECT_EQ(box.style, MB_OK | MB_ICONEXCLAMATION);
    });
    ui.Answer(IDOK);
    for (int key = 1; key < 10; ++key) ui.Click(IDC_KEY_1 + key);
    ui.Then([&] {
        EXPECT_EQ(ui.MessageBoxes().size(), 1u);
        EXPECT_STREQ(Dlg().m_szDial, "1234567890");
        ui.FailSound(std::nullopt);
    });
    // A play that gets through ends it; the next failure is said again, and
    // a dial goes on on its timer under the message.
    ui.Keys("5").Then([&] { ui.FailSound(why); });
    ui.Click(IDC_DIAL).Then([&] {
        ASSERT_EQ(ui.OpenMessageBoxes(), 1);
        EXPECT_FALSE(Win().Control(IDC_KEY_1).pressed);  // let go before the message
    });
    ui.Wait(200).Then([&] {
        EXPECT_EQ(ui.MessageBoxes().size(), 2u);
        EXPECT_EQ(Dlg().m_bDialing, 0);
        EXPECT_EQ(ui.Now(), 100 + 200);
    });
    ui.Answer(IDOK);
    RunAndClose();
    EXPECT_EQ(Heard(), "5");
    EXPECT_TRUE(ui.Problems().empty()) << ui.Problems().front();
}

TEST_F(SpeakerDialTest, TrailingCommaKeepsTheDialGoing) {
    Settings("1,", 10, 150);
    ui.Click(IDC_DIAL);
    ExpectDialEndsAt(260);
    RunAndClose();
    EXPECT_EQ(Timeline(), "1@0 ");
}

TEST_F(SpeakerDialTest, DialDuringADialSaysSoAndStopWhenIdleDoesNothing) {
    Settings("12", 10);
    ui.Click(IDC_STOP).Then([&] {
        EXPECT_EQ(Dlg().m_bDialing, 0);
        EXPECT_EQ(Dlg().m_nDialPos, 0);
    });
    // The dial goes on under the message.
    ui.Click(IDC_DIAL).Click(IDC_DIAL).Wait(500).Then([&] {
        EXPECT_EQ(ui.MessageBoxes().back().text, "A dial is in progress: Stop ends it.");
        EXPECT_EQ(Dlg().m_bDialing, 0);
    });
    ui.Answer(IDOK);
    RunAndClose();
    EXPECT_EQ(Timeline(), "1@0 2@110 ");
    EXPECT_EQ(ui.MessageBoxes().size(), 1u);
    EXPECT_TRUE(ui.Problems().empty());
}

TEST_F(SpeakerDialTest, StopEndsTheDialAndItsTimer) {
    Settings("123", 10);
    ui.Click(IDC_DIAL).Click(IDC_STOP).Then([&] {
        EXPECT_EQ(Dlg().m_bDialing, 0);
        EXPECT_EQ(Dlg().m_bTimerSet, 0);
        EXPECT_EQ(Dlg().m_nDialPos, 0);
        EXPECT_TRUE(Win().timers.empty());
        EXPECT_EQ(Win().Control(IDC_DIAL_FIELD).selEnd, 0);
    });
    ui.Wait(1000);
    RunAndClose();
    EXPECT_EQ(Timeline(), "1@0 ");
}

TEST_F(SpeakerDialTest, KeysPressedDuringADialAreDialledAndClearEndsIt) {
    Settings("1", 10);
    // The keypad tone of "2" plays at 100 while the gap timer is due at 110; the
    // timer waits for the handler, so the dial's "2" follows at 200.
    ui.Click(IDC_DIAL).Click(IDC_KEY_2).Wait(300);
    RunAndClose();
    EXPECT_EQ(Timeline(), "1@0 2@100 2@200 ");

    ui = headless::HeadlessSystem();
    Settings("1234", 10);
    ui.Click(IDC_DIAL).WaitUntil(105).Click(IDC_KEY_CLEAR).Wait(500).Then([&] {
        EXPECT_EQ(Dlg().m_bDialing, 0);
    });
    RunAndClose();
    EXPECT_EQ(Timeline(), "1@0 ");
}

TEST_F(SpeakerDialTest, EveryTimerMessageRunsAStepWhateverItsId) {
    Settings("12", 10);
    ui.Click(IDC_DIAL).Then([&] {
        Dlg().KillTimer(TIMER_DIAL);
        Dlg().SetTimer(7, 30);  // a foreign id still steps the dial
    });
    ui.Wait(35).Then([&] { EXPECT_EQ(Dlg().m_nDialPos, 2); });
    ui.Wait(500);
    RunAndClose();
    EXPECT_EQ(Timeline(), "1@0 2@130 ");
}

TEST_F(SpeakerDialTest, FailedTimerLeavesTheDialHaltedUntilStop) {
    Settings("12", 10);
    ui.Then([&] { ui.FailNextSetTimers(1); });
    ui.Click(IDC_DIAL).Then([&] {
        const auto& box = ui.MessageBoxes().back();
        EXPECT_EQ(box.text, "ﾀｲﾏのｴﾗｰです");
        EXPECT_EQ(box.caption, "Vantrel");
        EXPECT_EQ(box.style, MB_OK);
    });
    ui.Answer(IDOK).Then([&] {
        EXPECT_EQ(Dlg().m_bDialing, 1);
        EXPECT_EQ(Dlg().m_bTimerSet, 0);
        EXPECT_EQ(Dlg().m_nDialPos, 1);
    });
    ui.Click(IDC_DIAL).Then([&] {
        EXPECT_EQ(ui.MessageBoxes().back().text, "The dial is halted: Stop ends it, then Dial tries again.");
        EXPECT_EQ(Win().Caption(), "Vantrel - dial halted: press Stop");
    });
    ui.Answer(IDOK).Wait(500).Then([&] { EXPECT_EQ(ui.Sounds().size(), 1u); });
    ui.Click(IDC_STOP).Then([&] {
        EXPECT_EQ(Dlg().m_bDialing, 0);
        EXPECT_EQ(Win().Caption(), "Vantrel");
    });
    ui.Click(IDC_DIAL).Wait(500);
    RunAndClose();
    EXPECT_EQ(Timeline(), "1@0 1@600 2@710 ");
}

TEST_F(SpeakerDialTest, SwitchingToModemMidDialContinuesAsAModemDial) {
    RecordingSerial serial;
    app.AttachPlatform(&ui, &ui, &serial);
    Settings("123", 10);
    ui.Click(IDC_DIAL).Click(IDC_MODEM).Then([&] {
        EXPECT_EQ(Dlg().m_nOutputDevice, 1);
        EXPECT_TRUE(serial.writes.empty());  // nothing until the next step
    });
    ui.Wait(20).Then([&] {
        ASSERT_EQ(serial.writes.size(), 1u);
        EXPECT_EQ(serial.writes[0].bytes, "ATZ\r\r\n");
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "Modem initializing...");
    });
    ui.Wait(3000).Then([&] {
        ASSERT_EQ(serial.writes.size(), 2u);
        EXPECT_EQ(serial.writes[1].bytes, "ATDT123\r\r\n");
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "123");
        EXPECT_EQ(Dlg().m_bDialing, 0);
    });
    RunAndClose();
    EXPECT_EQ(Timeline(), "1@0 ");
}

TEST_F(SpeakerDialTest, SpeakerChosenDuringTheModemWaitLeavesTheModemExchange) {
    RecordingSerial serial;
    app.AttachPlatform(&ui, &ui, &serial);
    Settings("12", 10);
    ui.Click(IDC_MODEM).Click(IDC_DIAL).Click(IDC_SPEAKER).Wait(3500).Then([&] {
        EXPECT_EQ(Heard(), "12");
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "12");
        EXPECT_EQ(Dlg().m_nModemPhase, 0);
    });
    // The next modem dial starts again with the initialisation line; Stop on
    // the speaker during its wait leaves the exchange as well.
    ui.Click(IDC_MODEM).Click(IDC_DIAL).Click(IDC_SPEAKER).Click(IDC_STOP).Then([&] {
        ASSERT_EQ(serial.writes.size(), 2u);
        EXPECT_EQ(serial.writes[1].bytes, "ATZ\r\r\n");
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "12");
        EXPECT_EQ(Dlg().m_nModemPhase, 0);
    });
    RunAndClose();
}

TEST_F(SpeakerDialTest, TheModemStatusTextIsNeverCopiedIntoTheListNorStored) {
    RecordingSerial serial;
    app.AttachPlatform(&ui, &ui, &serial);
    Settings("0123", 10);
    ui.Click(IDC_MODEM).Click(IDC_DIAL).Click(IDC_DIAL_COPY).Then([&] {
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "Modem initializing...");
        EXPECT_STREQ(Dlg().m_szList[0], "0123");
        EXPECT_EQ(Text(IDC_ROW_0), "0123");
    });
    RunAndClose();  // during the wait
    for (const std::string& w : app.writes)
        if (w.rfind("Dial/LastDial=", 0) == 0) {
            EXPECT_EQ(w, "Dial/LastDial=0123");
        }
    EXPECT_EQ(fw::ProfileStore(ProfilePath()).GetString("Dial", "LastDial", ""), "0123");
}

}  // namespace
