// Dialing through a modem on a real pseudo-terminal.
#include <fcntl.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>

#include <chrono>
#include <optional>
#include <tuple>

#include "platform/posix/serial_ports.h"
#include "support/dialer_fixture.h"

using namespace testing_support;

namespace {

class ModemDialTest : public DialerTest {
protected:
    ModemDialTest()
        : ports([this](std::string_view name) {
              auto it = devices.find(std::string(name));
              return it == devices.end() ? MissingDevice() : it->second;
          }) {
        OpenPty();
        devices["COM1"] = ptyPath;
        app.AttachPlatform(&ui, &ui, &ports);
    }
    ~ModemDialTest() override {
        close(master);
        close(slave);
    }
    void OpenPty() {
        // Raw, so that the test's own end never echoes what the modem says.
        termios raw{};
        cfmakeraw(&raw);
        char name[256];
        EXPECT_EQ(openpty(&master, &slave, name, &raw, nullptr), 0);
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        ptyPath = name;
    }
    void Settings(const std::string& dial, const std::string& modemExtra = "") {
        SetProfile("[Flag and Numeric]\nOutputDevice=1\n[Dial]\nLastDial=" + dial + "\n[Modem]\n" +
                   modemExtra);
    }
    // Everything the modem has received since the last call.
    std::string Received() {
        Hear(ui.Now());
        std::string fresh = heard.substr(taken);
        taken = heard.size();
        return fresh;
    }
    std::string WorkingDevice() const { return ptyPath; }
    static std::string MissingDevice() { return "/nonexistent/tty"; }
    // A FIFO without a reader: a plain open would wait for one.
    std::string DeviceNobodyReads() {
        const std::string fifo = dir / "fifo";
        EXPECT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        return fifo;
    }
    // The pty's own output processing would turn LF into CR LF.
    void StartTranslatingLineEnds() {
        tcgetattr(slave, &translating);
        translating.c_oflag |= OPOST | ONLCR;
        tcsetattr(slave, TCSANOW, &translating);
    }
    void ExpectLineSettingsKept() {
        termios after{};
        tcgetattr(slave, &after);
        EXPECT_EQ(after.c_oflag, translating.c_oflag);  // line settings left as they were
    }
    static bool CanLoseDevice() { return true; }
    // The modem's end hangs up; a new pty waits to be named.
    void LoseDevice() {
        close(master);
        close(slave);
        OpenPty();
        devices["COM1"] = MissingDevice();
        heard.clear();
        taken = 0;
    }
    int RunAndClose() {
        ui.SysCommand(SC_CLOSE);
        return Run();
    }
    // The program keeps the device locked for as long as it holds the line.
    bool PortHeld() {
        if (flock(slave, LOCK_EX | LOCK_NB) != 0) return true;
        flock(slave, LOCK_UN);
        return false;
    }

    // The scripted modem: hears each line the program writes and answers it,
    // after a delay on the virtual clock, with what Answer gives (or nothing).
    struct Reply {
        std::string bytes;
        int afterMs;
    };
    std::function<std::optional<Reply>(const std::string& line)> answer;
    bool flood = false;  // sends result codes without end, as fast as the pty takes them
    // The modem speaks up unasked, as when the other end hangs up.
    void Say(const std::string& bytes) {
        EXPECT_EQ(write(master, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    }
    void StartModem() {
        heardLine.clear();
        due.clear();
        ui.SetClockWatcher([this](int64_t now) { Hear(now), Speak(now); });
    }

    std::map<std::string, std::string> devices;
    PosixSerialPorts ports;
    int master = -1, slave = -1;
    std::string ptyPath;
    termios translating{};

private:
    void Hear(int64_t now) {
        char buf[1024];
        ssize_t n;
        while ((n = read(master, buf, sizeof buf)) > 0) {
            heard.append(buf, size_t(n));
            for (ssize_t i = 0; i < n; ++i) {
                if (buf[i] != '\r' && buf[i] != '\n') {
                    heardLine += buf[i];
                    continue;
                }
                if (!heardLine.empty() && answer)
                    if (auto reply = answer(heardLine)) due.push_back({now + reply->afterMs, reply->bytes});
                heardLine.clear();
            }
        }
    }
    void Speak(int64_t now) {
        for (auto it = due.begin(); it != due.end();) {
            if (it->first > now) {
                ++it;
                continue;
            }
            EXPECT_EQ(write(master, it->second.data(), it->second.size()), ssize_t(it->second.size()));
            it = due.erase(it);
        }
        if (!flood) return;
        const std::string ring = "RING\r\n2\r\n";
        for (int i = 0; i < 1000 && write(master, ring.data(), ring.size()) > 0; ++i) {
        }
    }

    std::string heard, heardLine;
    size_t taken = 0;
    std::vector<std::pair<int64_t, std::string>> due;
};

}  // namespace

#include "dialer/modem_dial_cases.h"

namespace {

TEST_F(ModemDialTest, EachResultCodeShowsInTheFieldForAFewSecondsAndTheDialStringStays) {
    const std::pair<std::string, std::string> kCodes[] = {
        {"OK", "OK"}, {"CONNECT 33600/ARQ", "CONNECT 33600/ARQ"}, {"RING", "RING"},
        {"NO CARRIER", "NO CARRIER"}, {"ERROR", "ERROR"}, {"NO DIALTONE", "NO DIALTONE"},
        {"BUSY", "BUSY"}, {"NO ANSWER", "NO ANSWER"}, {"0", "OK"}, {"1", "CONNECT"}, {"2", "RING"},
        {"3", "NO CARRIER"}, {"4", "ERROR"}, {"5", "CONNECT 1200"}, {"6", "NO DIALTONE"},
        {"7", "BUSY"}, {"8", "NO ANSWER"}};
    for (const auto& [said, shown] : kCodes) {
        SCOPED_TRACE(said);
        ui = headless::HeadlessSystem();
        Settings("0,12", "ModemInitWait=1000\n");
        answer = [&](const std::string& line) -> std::optional<Reply> {
            if (line == "ATZ") return Reply{"\r\nOK\r\n", 100};
            if (line.rfind("ATDT", 0) == 0) return Reply{"\r\n" + said + "\r\n", 500};
            return std::nullopt;
        };
        StartModem();
        // The answer to the initialisation shows during the wait.
        ui.Click(IDC_DIAL).WaitUntil(300).Then([&] {
            EXPECT_EQ(Text(IDC_DIAL_FIELD), "Modem: OK");
            EXPECT_TRUE(PortHeld());
        });
        ui.WaitUntil(1000).Then([&] { EXPECT_EQ(Text(IDC_DIAL_FIELD), "0,12"); });
        ui.WaitUntil(1600).Then([&] {
            EXPECT_EQ(Text(IDC_DIAL_FIELD), "Modem: " + shown);
            EXPECT_STREQ(Dlg().m_szDial, "0,12");
            // A final result ends the exchange; CONNECT holds the call, RING is no answer.
            EXPECT_EQ(PortHeld(), shown.rfind("CONNECT", 0) == 0 || shown == "RING");
        });
        ui.WaitUntil(4000).Then([&] { EXPECT_EQ(Text(IDC_DIAL_FIELD), "Modem: " + shown); });
        ui.WaitUntil(5000).Then([&] { EXPECT_EQ(Text(IDC_DIAL_FIELD), "0,12"); });
        // A connected call is hung up before the window closes.
        const bool connected = shown.rfind("CONNECT", 0) == 0;
        ui.SysCommand(SC_CLOSE);
        if (connected) ui.Wait(3000);
        Run();
        EXPECT_FALSE(PortHeld());
        EXPECT_EQ(Received(), connected ? "ATZ\r\r\nATDT0,12\r\r\n\r\r\n+++ATH\r\r\n"
                                        : "ATZ\r\r\nATDT0,12\r\r\n");
        EXPECT_TRUE(ui.MessageBoxes().empty());
        EXPECT_TRUE(ui.Problems().empty());
    }
}

TEST_F(ModemDialTest, AnAnswerToTheInitialisationComingAfterTheDialLineDoesNotEndTheDial) {
    Settings("9", "ModemInitWait=500\n");
    answer = [](const std::string& line) -> std::optional<Reply> {
        if (line == "ATZ") return Reply{"OK\r\n", 1000};  // a modem slow to reset
        return Reply{"BUSY\r\n", 1500};
    };
    StartModem();
    ui.Click(IDC_DIAL).WaitUntil(1100).Then([&] {
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "Modem: OK");
        EXPECT_TRUE(PortHeld());
    });
    ui.WaitUntil(2100).Then([&] {
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "Modem: BUSY");
        EXPECT_FALSE(PortHeld());
    });
    RunAndClose();
}

TEST_F(ModemDialTest, SilentAndFloodingModemsLeaveTheWindowWorking) {
    const auto start = std::chrono::steady_clock::now();
    // Silent: nothing changes, and the line goes a minute after the dial line.
    Settings("55", "ModemInitWait=1000\n");
    StartModem();
    ui.Click(IDC_DIAL).WaitUntil(1000 + 59000).Then([&] {
        EXPECT_TRUE(PortHeld());
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "55");
    });
    ui.WaitUntil(1000 + 60100).Then([&] {
        EXPECT_FALSE(PortHeld());
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "Modem: no answer from the modem");
        EXPECT_EQ(Received(), "ATZ\r\r\nATDT55\r\r\n");
    });
    // Once the result has been on view, nothing is left running.
    ui.WaitUntil(1000 + 63100).Then([&] {
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "55");
        EXPECT_TRUE(Win().timers.empty());
    });
    RunAndClose();
    EXPECT_TRUE(ui.MessageBoxes().empty());

    // Flooding: keys and Stop still work, and the field shows the latest word.
    ui = headless::HeadlessSystem();
    Settings("7");
    flood = true;
    StartModem();
    ui.Click(IDC_DIAL).Wait(5000).Click(IDC_KEY_1).Wait(1000).Then([&] {
        EXPECT_STREQ(Dlg().m_szDial, "71");
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "Modem: RING");
    });
    ui.Click(IDC_STOP).Then([&] {
        EXPECT_FALSE(PortHeld());
        EXPECT_EQ(Received(), "ATZ\r\r\nATDT7\r\r\n\r\r\n");
    });
    RunAndClose();
    EXPECT_TRUE(ui.Problems().empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
}

TEST_F(ModemDialTest, StopAfterConnectEscapesBetweenGuardTimesAndHangsUp) {
    Settings("123", "ModemInitWait=1000\n");
    answer = [](const std::string& line) -> std::optional<Reply> {
        if (line.rfind("ATDT", 0) == 0) return Reply{"CONNECT 9600\r\n", 500};
        return std::nullopt;
    };
    StartModem();
    ui.Click(IDC_DIAL).WaitUntil(5000).Then([&] {
        EXPECT_EQ(Received(), "ATZ\r\r\nATDT123\r\r\n");
        EXPECT_TRUE(PortHeld());  // the call stays up
    });
    ui.Click(IDC_STOP).Then([&] { EXPECT_EQ(Received(), "\r\r\n"); });
    ui.WaitUntil(5999).Then([&] { EXPECT_EQ(Received(), ""); });
    ui.WaitUntil(6000).Then([&] { EXPECT_EQ(Received(), "+++"); });
    ui.WaitUntil(6999).Then([&] {
        EXPECT_EQ(Received(), "");
        EXPECT_TRUE(PortHeld());
    });
    ui.WaitUntil(7000).Then([&] {
        EXPECT_EQ(Received(), "ATH\r\r\n");
        EXPECT_FALSE(PortHeld());
    });
    // Before CONNECT, Stop sends the empty line alone.
    ui.Click(IDC_DIAL).Wait(1200).Click(IDC_STOP).Then([&] {
        EXPECT_EQ(Received(), "ATZ\r\r\nATDT123\r\r\n\r\r\n");
        EXPECT_FALSE(PortHeld());
    });
    ui.Wait(5000).Then([&] { EXPECT_EQ(Received(), ""); });
    RunAndClose();
    EXPECT_TRUE(ui.Problems().empty());
}

TEST_F(ModemDialTest, TheLineUpIsShownUntilExitHangsItUpAndThenCloses) {
    Settings("123", "ModemInitWait=1000\n");
    answer = [](const std::string& line) -> std::optional<Reply> {
        if (line.rfind("ATDT", 0) == 0) return Reply{"CONNECT 9600\r\n", 500};
        return std::nullopt;
    };
    StartModem();
    const std::string lineUp = "Vantrel - line up: CONNECT 9600 (Stop hangs up)";
    ui.Click(IDC_DIAL).WaitUntil(1000).Then([&] {
        EXPECT_EQ(Win().Caption(), "Vantrel");
        EXPECT_EQ(Win().Control(IDC_DIAL_FIELD).selEnd, 3);  // the modem has the whole number
    });
    ui.WaitUntil(1600).Then([&] { EXPECT_EQ(Win().Caption(), lineUp); });
    // Long after the result has left the field, and Dial says why it does not dial.
    ui.WaitUntil(30000).Click(IDC_DIAL).Then([&] {
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "123");
        EXPECT_EQ(Win().Caption(), lineUp);
        EXPECT_EQ(ui.MessageBoxes().back().text,
                  "The modem's line is up (CONNECT 9600): Stop hangs up, then Dial dials again.");
    });
    ui.Answer(IDOK).Then([&] { EXPECT_EQ(Received(), "ATZ\r\r\nATDT123\r\r\n"); });
    // Exit hangs up as Stop does, and the window goes once the modem has ATH.
    ui.Click(IDOK).Then([&] {
        EXPECT_EQ(Received(), "\r\r\n");
        EXPECT_EQ(Win().Caption(), "Vantrel - hanging up before closing");
        EXPECT_FALSE(Win().ended);
    });
    ui.Click(IDOK).Click(IDC_DIAL);  // neither starts anything more
    ui.WaitUntil(30999).Then([&] { EXPECT_EQ(Received(), ""); });
    ui.WaitUntil(31000).Then([&] { EXPECT_EQ(Received(), "+++"); });
    ui.WaitUntil(31999).Then([&] {
        EXPECT_EQ(Received(), "");
        EXPECT_TRUE(PortHeld());
    });
    ui.Wait(5000);
    EXPECT_EQ(Run(), IDOK);
    EXPECT_EQ(ui.Now(), 32000);
    EXPECT_EQ(Received(), "ATH\r\r\n");
    EXPECT_FALSE(PortHeld());
    EXPECT_NE(Profile().find("LastDial=123\n"), std::string::npos);
    EXPECT_EQ(ui.MessageBoxes().size(), 1u);
    EXPECT_TRUE(ui.Problems().empty());
}

TEST_F(ModemDialTest, AConnectionIsHeldPastTheAnswerTimeUntilNoCarrier) {
    // In words, and in numbers (ATV0) with a code from 10 on.
    const std::tuple<std::string, std::string, std::string> kCalls[] = {
        {"CONNECT 9600", "NO CARRIER", "CONNECT 9600"}, {"12", "3", "CONNECT (code 12)"}};
    for (const auto& [connect, noCarrier, shown] : kCalls) {
        SCOPED_TRACE(connect);
        ui = headless::HeadlessSystem();
        Settings("123", "ModemInitWait=1000\n");
        answer = [&](const std::string& line) -> std::optional<Reply> {
            if (line.rfind("ATDT", 0) == 0) return Reply{connect + "\r\n", 500};
            return std::nullopt;
        };
        StartModem();
        ui.Click(IDC_DIAL).WaitUntil(1600).Then([&] {
            EXPECT_EQ(Text(IDC_DIAL_FIELD), "Modem: " + shown);
        });
        ui.WaitUntil(90000).Then([&] {
            EXPECT_TRUE(PortHeld());
            Say(noCarrier + "\r\n");  // the other end hangs up
        });
        ui.WaitUntil(90200).Then([&] {
            EXPECT_FALSE(PortHeld());
            EXPECT_EQ(Text(IDC_DIAL_FIELD), "Modem: NO CARRIER");
        });
        // No call is left to hang up: Stop sends the empty line alone.
        ui.Click(IDC_STOP).Wait(5000).Then([&] {
            EXPECT_EQ(Received(), "ATZ\r\r\nATDT123\r\r\n\r\r\n");
        });
        RunAndClose();
        EXPECT_TRUE(ui.Problems().empty());
    }
}

TEST_F(ModemDialTest, AVoiceDialAnsweredOkIsHeldUntilStop) {
    // Closing the port would drop DTR under the call the handset has now.
    Settings("0123;", "ModemInitWait=1000\n");
    answer = [](const std::string& line) -> std::optional<Reply> {
        return Reply{"OK\r\n", line == "ATZ" ? 100 : 2000};
    };
    StartModem();
    ui.Click(IDC_DIAL).WaitUntil(3100).Then([&] {
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "Modem: OK");
        EXPECT_TRUE(PortHeld());
    });
    ui.WaitUntil(120000).Then([&] {
        EXPECT_TRUE(PortHeld());
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "0123;");
    });
    ui.Click(IDC_STOP).Then([&] {
        EXPECT_FALSE(PortHeld());
        EXPECT_EQ(Received(), "ATZ\r\r\nATDT0123;\r\r\n\r\r\n");
    });
    ui.Wait(5000).Then([&] { EXPECT_EQ(Received(), ""); });
    RunAndClose();
    EXPECT_TRUE(ui.Problems().empty());
}

TEST_F(ModemDialTest, PortButtonsNameTheirDevicesAndOpenErrorsSayWhy) {
    devices["COM3"] = dir.path();
    ui.Click(IDC_OPTION).Then([&] {
        EXPECT_EQ(Win().Control(1072).toolTip, ptyPath);
        EXPECT_EQ(Win().Control(1073).toolTip, MissingDevice());
        EXPECT_EQ(Win().Control(1074).toolTip, dir.path());
        EXPECT_EQ(Win().Text(1072), "COM1");
    });
    ui.Click(IDCANCEL).Then([&] { Dlg().m_nModemPort = 2; });
    ui.Click(IDC_STOP).Answer(IDOK).Then([&] {
        EXPECT_EQ(ui.MessageBoxes().back().text,
                  "COMﾎﾟｰﾄのｵｰﾌﾟﾝ ｴﾗｰです.\n" + dir.path() + ": not a terminal (serial) device.");
    });
    Settings("1");
    RunAndClose();
    EXPECT_TRUE(ui.Problems().empty());
}

}  // namespace
