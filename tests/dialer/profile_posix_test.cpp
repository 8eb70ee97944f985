// The profile while another process holds its lock.
#include <chrono>

#include "support/dialer_fixture.h"
#include "support/lock_holder.h"

using namespace testing_support;

namespace {

TEST_F(DialerTest, HeldProfileLockGivesOneMessageAndExitStillCloses) {
    SetProfile("[Dial]\nLastDial=42\n");
    LockHolder holder(ProfilePath() + ".lock");
    ASSERT_TRUE(holder.Held());
    ui.Then([&] {
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "42");
        EXPECT_TRUE(ui.MessageBoxes().empty());
    });
    ui.Click(IDC_KEY_1).Click(IDOK).Answer(IDOK);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunProgram(), IDOK);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    ASSERT_EQ(ui.MessageBoxes().size(), 1u);
    EXPECT_NE(ui.MessageBoxes()[0].text.find(ProfilePath() + ".lock"), std::string::npos);
    EXPECT_EQ(Profile(), "[Dial]\nLastDial=42\n");

    // Once the lock is free, saving works again.
    holder.Release();
    EXPECT_TRUE(app.WriteProfileString("Dial", "LastDial", "421"));
    EXPECT_EQ(Profile(), "[Dial]\nLastDial=421\n");
}

}  // namespace
