// Saving the list over a read-only file on Windows, through the dialogs.
#include <filesystem>

#include "support/list_fixture.h"

using namespace testing_support;

namespace {

TEST_F(ListTest, SaveOverAReadOnlyFileFailsAndLeavesEverythingAsItWas) {
    const std::string path = dir / "keep.vtl";
    WriteFileBytes(path, "\r\n\r\n42\r\n");
    namespace fs = std::filesystem;
    fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    ui.Then([&] { FillList(); });
    ui.Click(IDC_LIST_SAVE).PickFile(path).Then([&] {
        ASSERT_EQ(ui.MessageBoxes().size(), 1u);
        EXPECT_EQ(ui.MessageBoxes().back().text, "ﾌｧｲﾙのｵｰﾌﾟﾝ ｴﾗｰです.");
    });
    ui.Answer(IDOK).Then([&] {
        EXPECT_EQ(Text(IDC_FILE_NAME), "");
        EXPECT_EQ(Dlg().m_strLoadPath, "");
    });
    Close();
    EXPECT_EQ(ReadFileBytes(path), "\r\n\r\n42\r\n");
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
}

}  // namespace
