#pragma once
// Modem dialing as the user sees it, the same on every platform. Included by a
// test file that defines ModemDialTest over a real device of its platform,
// with: devices (port name -> device path, handed to the platform's serial
// ports), Settings(dial, modemLines), Received(), RunAndClose(),
// WorkingDevice(), MissingDevice(), DeviceNobodyReads(),
// StartTranslatingLineEnds(), ExpectLineSettingsKept(), and LoseDevice(),
// which takes the device away from under a held line and maps the port to a
// missing one (CanLoseDevice() is false where a held device cannot go away).

namespace {

TEST_F(ModemDialTest, InitialisationAtOnceThenTheDialLineAfterTheWait) {
    Settings("0123");
    ui.Click(IDC_DIAL).Then([&] {
        EXPECT_EQ(Received(), "ATZ\r\r\n");
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "Modem initializing...");
        EXPECT_EQ(Dlg().m_nModemPhase, 1);
    });
    // Not dialled again during the wait, but said.
    ui.Click(IDC_DIAL).Then([&] {
        EXPECT_EQ(ui.MessageBoxes().back().text, "A dial is in progress: Stop ends it.");
    });
    ui.Answer(IDOK);
    ui.WaitUntil(2999).Then([&] { EXPECT_EQ(Received(), ""); });
    ui.WaitUntil(3000).Then([&] {
        EXPECT_EQ(Received(), "ATDT0123\r\r\n");
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "0123");
        EXPECT_EQ(Dlg().m_bDialing, 0);
        EXPECT_EQ(Dlg().m_nModemPhase, 0);
        EXPECT_EQ(Win().timers.count(TIMER_DIAL), 0u);
    });
    ui.Wait(10000).Then([&] { EXPECT_EQ(Received(), ""); });
    RunAndClose();
    EXPECT_TRUE(ui.Sounds().empty());
    EXPECT_EQ(ui.MessageBoxes().size(), 1u);
    EXPECT_TRUE(ui.Problems().empty());
}

TEST_F(ModemDialTest, LinesGoOutExactlyAsComposed) {
    // Pause characters, a percent sign and an empty initialisation command, byte for byte,
    // even where the device's own output processing is switched on.
    StartTranslatingLineEnds();
    Settings("0,123-4", "ModemInitChar=\nModemDialChar=AT%DT\nModemInitWait=500\n");
    ui.Click(IDC_DIAL).Then([&] { EXPECT_EQ(Received(), "\r\r\n"); });
    ui.Wait(500).Then([&] { EXPECT_EQ(Received(), "AT%DT0,123-4\r\r\n"); });
    RunAndClose();
    ExpectLineSettingsKept();
}

TEST_F(ModemDialTest, StopDuringTheWaitSendsAnEmptyLineAndNoDialLineFollows) {
    Settings("555");
    ui.Click(IDC_DIAL).Wait(1000).Click(IDC_STOP).Then([&] {
        EXPECT_EQ(Received(), "ATZ\r\r\n\r\r\n");
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "555");
        EXPECT_EQ(Dlg().m_bDialing, 0);
        EXPECT_EQ(Dlg().m_nModemPhase, 0);
        EXPECT_TRUE(Win().timers.empty());
    });
    ui.Wait(10000).Then([&] { EXPECT_EQ(Received(), ""); });
    // Stop when idle still sends the empty line.
    ui.Click(IDC_STOP).Then([&] { EXPECT_EQ(Received(), "\r\r\n"); });
    RunAndClose();
}

TEST_F(ModemDialTest, KeysPressedDuringTheWaitAreInTheDialLine) {
    Settings("12");
    ui.Click(IDC_DIAL).Click(IDC_KEY_3).Click(IDC_KEY_WAIT).Then([&] {
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "123,");  // a key replaces the status text
    });
    ui.Wait(3000).Then([&] {
        EXPECT_EQ(Received(), "ATZ\r\r\nATDT123,\r\r\n");
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "123,");
    });
    RunAndClose();
    EXPECT_EQ(Heard(), "3");  // keypad feedback still sounds in modem mode
}

TEST_F(ModemDialTest, PortsThatCannotOpenShowTheBoxAtOnceAndAgainAtEachDialUntilStop) {
    // A device nobody takes bytes from would block a plain open; a missing device
    // cannot open at all.
    devices["COM2"] = DeviceNobodyReads();
    for (int port : {1, 2, 7}) {  // COM2 (nobody reads), COM3 (missing), no such port
        ui = headless::HeadlessSystem();
        Settings("1", "ModemPort=" + std::to_string(port) + "\n");
        std::string first;
        ui.Click(IDC_DIAL).Then([&] {
            ASSERT_EQ(ui.OpenMessageBoxes(), 1);
            first = ui.MessageBoxes().back().text;
            // The fixed text, then the device and why, or that no port is chosen.
            EXPECT_EQ(first.substr(0, first.find('\n')), "COMﾎﾟｰﾄのｵｰﾌﾟﾝ ｴﾗｰです.");
            const std::string second = first.substr(first.find('\n') + 1);
            if (port == 7)
                EXPECT_EQ(second, "No port is chosen: choose COM1 to COM4 under Option.");
            else
                EXPECT_EQ(second.rfind((port == 1 ? devices["COM2"] : MissingDevice()) + ": ", 0),
                          0u)
                    << second;
            EXPECT_EQ(ui.MessageBoxes().back().caption, "Vantrel");
        });
        ui.Answer(IDOK).Then([&] {
            // Halted: the dial stays in progress until Stop; the window keeps working.
            EXPECT_EQ(Dlg().m_bDialing, 1);
            EXPECT_EQ(Dlg().m_nModemPhase, 0);
            EXPECT_EQ(Text(IDC_DIAL_FIELD), "1");
        });
        // A further Dial says so again, and that Stop ends it.
        ui.Click(IDC_DIAL).Then([&] {
            ASSERT_EQ(ui.OpenMessageBoxes(), 1);
            EXPECT_EQ(ui.MessageBoxes().back().text,
                      first + "\nThe dial is halted: Stop ends it, then Dial tries again.");
        });
        ui.Answer(IDOK).Click(IDC_KEY_2).Then([&] { EXPECT_EQ(Text(IDC_DIAL_FIELD), "12"); });
        ui.Click(IDC_STOP).Answer(IDOK).Then([&] { EXPECT_EQ(Dlg().m_bDialing, 0); });
        // Stopped, Dial tries the port again.
        ui.Click(IDC_DIAL).Answer(IDOK).Click(IDC_STOP).Answer(IDOK);
        RunAndClose();
        EXPECT_EQ(ui.MessageBoxes().size(), 5u) << port;
        EXPECT_EQ(ui.MessageBoxes()[3].text, first) << port;
        EXPECT_TRUE(ui.Problems().empty()) << port;
    }
    EXPECT_EQ(Received(), "");
}

TEST_F(ModemDialTest, AHaltedDialIsShownAsSuchAndANumberThenIsRefusedInTheSameWords) {
    Settings("1", "ModemPort=2\n");  // COM3: a missing device
    ui.Click(IDC_DIAL).Answer(IDOK).Then([&] {
        EXPECT_EQ(Win().Caption(), "Vantrel - dial halted: press Stop");
        app.HandOver({"0120", false});
    });
    ui.Then([&] {
        EXPECT_EQ(ui.MessageBoxes().back().text,
                  "The dial is halted, so the number \"0120\" was not taken. Press Stop, then open "
                  "the number again.");
    });
    ui.Answer(IDOK).Click(IDC_STOP).Answer(IDOK).Then([&] {
        EXPECT_EQ(Win().Caption(), "Vantrel");
        EXPECT_EQ(Dlg().m_bDialing, 0);
    });
    RunAndClose();
    EXPECT_TRUE(ui.Problems().empty());
}

TEST_F(ModemDialTest, SecondStepRetriesOnEveryTickWhileThePortIsGone) {
    if (!CanLoseDevice()) GTEST_SKIP() << "a held device cannot be taken away here";
    Settings("9", "ModemInitWait=1000\n");
    ui.Click(IDC_DIAL).Then([&] {
        EXPECT_EQ(Received(), "ATZ\r\r\n");
        LoseDevice();
    });
    // One box per tick; each is answered before the next tick.
    ui.WaitUntil(1000).Answer(IDOK).WaitUntil(2000).Answer(IDOK).Then([&] {
        EXPECT_EQ(ui.MessageBoxes().size(), 2u);
        EXPECT_EQ(Dlg().m_nModemPhase, 1);
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "Modem initializing...");
        devices["COM1"] = WorkingDevice();
    });
    ui.WaitUntil(3000).Then([&] {
        EXPECT_EQ(Received(), "ATDT9\r\r\n");
        EXPECT_EQ(Dlg().m_bDialing, 0);
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "9");
    });
    RunAndClose();
    EXPECT_TRUE(ui.Problems().empty());
}

TEST_F(ModemDialTest, StopThatCannotOpenThePortStillResetsThePhase) {
    if (!CanLoseDevice()) GTEST_SKIP() << "a held device cannot be taken away here";
    Settings("4");
    ui.Click(IDC_DIAL).Then([&] { LoseDevice(); });
    // The held line notices at its next tick that the device has gone.
    ui.Wait(200).Click(IDC_STOP).Answer(IDOK).Then([&] {
        EXPECT_EQ(Dlg().m_nModemPhase, 0);
        EXPECT_EQ(Dlg().m_bDialing, 0);
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "4");
        devices["COM1"] = WorkingDevice();
    });
    // The next dial starts with the initialisation line again.
    ui.Click(IDC_DIAL).Then([&] { EXPECT_EQ(Received(), "ATZ\r\r\n"); });
    RunAndClose();
}

TEST_F(ModemDialTest, FailedTimerAfterTheInitialisationKeepsTheStatusUntilStop) {
    Settings("7");
    ui.Then([&] { ui.FailNextSetTimers(1); });
    ui.Click(IDC_DIAL).Then([&] { EXPECT_EQ(ui.MessageBoxes().back().text, "ﾀｲﾏのｴﾗｰです"); });
    ui.Answer(IDOK).Then([&] {
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "Modem initializing...");
        EXPECT_EQ(Dlg().m_bDialing, 1);
        EXPECT_EQ(Dlg().m_nModemPhase, 0);
    });
    ui.Click(IDC_STOP).Then([&] {
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "7");
        EXPECT_EQ(Received(), "ATZ\r\r\n\r\r\n");
    });
    RunAndClose();
}

TEST_F(ModemDialTest, EmptyDialStringSendsThePrefixAlone) {
    Settings("");
    ui.Click(IDC_DIAL).Wait(3000).Then([&] { EXPECT_EQ(Received(), "ATZ\r\r\nATDT\r\r\n"); });
    RunAndClose();
}

}  // namespace
