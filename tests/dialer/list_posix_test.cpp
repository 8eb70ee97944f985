// List files on devices and under a file-size limit, through the dialogs.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/list_fixture.h"
#include "support/test_users.h"

using namespace testing_support;

namespace {

TEST_F(ListTest, FailedSavesLeaveEverythingAsItWas) {
    const std::string path = dir / "keep.vtl";
    WriteFileBytes(path, "\r\n\r\n42\r\n");
    ui.Then([&] { FillList(); });
    ui.Click(IDC_LIST_SAVE).PickFile("/dev/full").Then([&] {
        EXPECT_EQ(ui.MessageBoxes().back().text, "ﾌｧｲﾙのｵｰﾌﾟﾝ ｴﾗｰです.");
    });
    ui.Answer(IDOK).Click(IDC_LIST_SAVE).PickFile(dir / "no/such/dir.vtl").Answer(IDOK);
    ui.Then([&] {
        EXPECT_EQ(Text(IDC_FILE_NAME), "");
        EXPECT_EQ(Dlg().m_strLoadPath, "");
        EXPECT_FALSE(std::filesystem::exists(ProfilePath()));
    });
    Close();
    EXPECT_EQ(ReadFileBytes(path), "\r\n\r\n42\r\n");
}

TEST_F(ListTest, SaveUnderAFileSizeLimitFailsWithoutHarm) {
    const std::string path = dir / "limited.vtl";
    WriteFileBytes(path, "\r\n\r\n42\r\n");
    // In a child, so that the limit binds only there.
    pid_t pid = fork();
    if (pid == 0) {
        rlimit lim{300, 300};
        setrlimit(RLIMIT_FSIZE, &lim);
        ui.Then([&] { FillList(); });
        ui.Click(IDC_LIST_SAVE).PickFile(path).Answer(IDOK);
        ui.SysCommand(SC_CLOSE);
        Run();
        bool ok = ui.MessageBoxes().size() == 1 &&
                  ui.MessageBoxes()[0].text == "ﾌｧｲﾙのｵｰﾌﾟﾝ ｴﾗｰです." && Dlg().m_strLoadPath.empty();
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadFileBytes(path), "\r\n\r\n42\r\n");
}

// Another user's link in a shared folder (/tmp) is not followed: the save is
// refused with the path named, and the file it pointed at is left alone.
TEST_F(ListTest, SaveThroughAnotherUsersLinkInASharedFolderIsRefused) {
    const std::optional<uid_t> victim = TestUser("vantrel-victim");
    const std::optional<uid_t> attacker = TestUser("vantrel-attacker");
    if (!victim || !attacker) GTEST_SKIP() << "needs root, to make and be two users";
    ASSERT_EQ(chown(dir.path().c_str(), *victim, -1), 0);
    ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
    const std::string precious = dir / "precious.txt";
    WriteFileBytes(precious, "precious");
    ASSERT_EQ(chown(precious.c_str(), *victim, -1), 0);
    std::filesystem::create_directory(dir / "tmp");
    ASSERT_EQ(chmod((dir / "tmp").c_str(), 01777), 0);
    const std::string link = dir / "tmp/shared_list.vtl";
    ASSERT_EQ(symlink(precious.c_str(), link.c_str()), 0);
    ASSERT_EQ(lchown(link.c_str(), *attacker, -1), 0);

    const pid_t pid = fork();
    if (pid == 0) {
        if (!BecomeUser(*victim)) _exit(3);
        ui.Then([&] { FillList(); });
        ui.Click(IDC_LIST_SAVE).PickFile(link).Answer(IDOK);
        ui.SysCommand(SC_CLOSE);
        Run();
        const bool ok = ui.MessageBoxes().size() == 1 &&
                        ui.MessageBoxes()[0].text.find(link) != std::string::npos &&
                        Dlg().m_strLoadPath.empty();
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status)) << "killed by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadFileBytes(precious), "precious");
}

// Line breaks are legal in names here, not on Windows.
TEST_F(ListTest, APathWithALineBreakIsUsedButNeverRememberedAsAnotherPath) {
    const std::string path = dir / "two\nlines.vtl";
    ui.Click(IDC_LIST_SAVE).PickFile(path).Then([&] {
        ASSERT_EQ(ui.MessageBoxes().size(), 1u);
        EXPECT_NE(ui.MessageBoxes().back().text.find("line break"), std::string::npos);
        EXPECT_EQ(Text(IDC_FILE_NAME), path);
        EXPECT_EQ(fw::ProfileStore(ProfilePath()).GetString("Dial", "LoadFile", "?"), "");
    });
    ui.Answer(IDOK);
    Close();
    EXPECT_EQ(ReadFileBytes(path), EmptyListFile());
    EXPECT_EQ(fw::ProfileStore(ProfilePath()).GetString("Dial", "LoadFile", "?"), "");
    EXPECT_EQ(ui.MessageBoxes().size(), 1u);
}

}  // namespace
