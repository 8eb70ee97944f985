// What the list and its file keep: odd paths, refused lines, and the question
// before a close would lose changes.
#include <filesystem>

#include "support/list_fixture.h"

using namespace testing_support;

namespace {

std::string ListFileOf(const std::vector<std::string>& entries) {
    std::string s = "\r\n";
    for (const auto& e : entries) s += "\r\n" + e + "\r\n";
    return s;
}

TEST_F(ListTest, ALongListPathIsLoadedRememberedAndNeverBlocksTheWindow) {
    const std::string folder = dir / std::string(200, 'd');
    std::filesystem::create_directory(folder);
    const std::string path = folder + "/" + std::string(100, 'f') + ".vtl";
    ASSERT_GT(path.size(), 300u);
    WriteFileBytes(path, ListFileOf({"123"}));
    SetProfile("[Dial]\nLoadFile=" + path + "\n");
    ui.Then([&] {
        EXPECT_STREQ(Dlg().m_szList[0], "123");
        EXPECT_EQ(Text(IDC_FILE_NAME), path);
    });
    ui.Click(IDC_MODEM).Then([&] { EXPECT_EQ(Dlg().m_nOutputDevice, 1); });
    ui.Click(IDOK);
    EXPECT_EQ(Run(), IDOK);
    EXPECT_TRUE(ui.MessageBoxes().empty());
    EXPECT_EQ(fw::ProfileStore(ProfilePath()).GetString("Dial", "LoadFile", ""), path);
}

TEST_F(ListTest, DeleteEmptiesTheEntryOnlyOnYes) {
    ui.Then([&] { FillList(); });
    // A box closed without a button may come back as Cancel: that is No.
    ui.Click(IDC_LIST_DELETE).Answer(IDCANCEL).Then([&] {
        EXPECT_STREQ(Dlg().m_szList[0], "1000");
    });
    ui.Click(IDC_LIST_DELETE).Answer(IDYES).Then([&] { EXPECT_EQ(Dlg().m_szList[0][0], '\0'); });
    ui.SysCommand(SC_CLOSE).Answer(IDNO);
    Run();
}

TEST_F(ListTest, RefusedLinesAreNamedAfterTheLoadAndTheLoadIsRemembered) {
    const std::string path = dir / "hand-made.vtl";
    WriteFileBytes(path, ListFileOf({"+81312345678", "123", "(555) 010-9999", "555 0100", "a",
                                     "b", "c", "\x01\x02", ""}));
    ui.Click(IDC_LIST_LOAD).PickFile(path).Then([&] {
        ASSERT_FALSE(app.writes.empty());
        EXPECT_EQ(app.writes.back(), "Dial/LoadFile=" + path);
        EXPECT_STREQ(Dlg().m_szList[1], "123");
        ASSERT_EQ(ui.MessageBoxes().size(), 1u);
        EXPECT_EQ(ui.MessageBoxes().back().text,
                  "7 entries of the list file could not be loaded, because they hold characters "
                  "other than 0-9, A-D, *, #, - and the comma:\n"
                  "\n  entry 1: +81312345678\n  entry 3: (555) 010-9999\n  entry 4: 555 0100"
                  "\n  entry 5: a\n  entry 6: b\n  and 2 more\n\n"
                  "They are empty in the list now. Saving the list over this file would replace "
                  "them with empty lines.");
    });
    ui.Answer(IDOK);
    Close();
}

TEST_F(ListTest, ClosingAsksFirstWhenListChangesWouldBeLost) {
    const std::string path = dir / "kept.vtl", other = dir / "other.vtl";
    WriteFileBytes(path, ListFileOf({"1", "2"}));
    SetProfile("[Dial]\nLoadFile=" + path + "\n");
    ui.Click(IDOK);  // nothing changed: no question
    EXPECT_EQ(Run(), IDOK);
    EXPECT_TRUE(ui.MessageBoxes().empty());

    ui.Click(IDC_KEY_5).Click(IDC_DIAL_COPY).Click(IDOK).Then([&] {
        ASSERT_EQ(ui.MessageBoxes().size(), 1u);
        const auto& box = ui.MessageBoxes().back();
        EXPECT_EQ(box.style, MB_YESNOCANCEL | MB_ICONEXCLAMATION);
        EXPECT_NE(box.text.find("Save the list"), std::string::npos);
    });
    ui.Answer(IDCANCEL).Then([&] { EXPECT_FALSE(Win().ended); });
    // A cancelled save returns to the window too, and a system close that went
    // nowhere leaves Esc doing nothing again.
    ui.SysCommand(SC_CLOSE).Answer(IDYES).CancelFile().Press(headless::Key::Escape).Then([&] {
        EXPECT_FALSE(Win().ended);
        EXPECT_EQ(Dlg().m_bSysClose, 0);
        EXPECT_EQ(ui.MessageBoxes().size(), 2u);
    });
    ui.Click(IDOK).Answer(IDYES).PickFile(other);
    EXPECT_EQ(Run(), IDOK);
    EXPECT_EQ(ReadFileBytes(other).substr(0, 7), "\r\n\r\n5\r\n");
    EXPECT_EQ(ReadFileBytes(path), ListFileOf({"1", "2"}));
    EXPECT_EQ(fw::ProfileStore(ProfilePath()).GetString("Dial", "LoadFile", ""), other);

    // Without a list file, a change within the five rows on view survives the close.
    SetProfile("");
    ui.Click(IDC_KEY_1).Click(IDC_DIAL_COPY).Click(IDOK);
    EXPECT_EQ(Run(), IDOK);
    EXPECT_EQ(ui.MessageBoxes().size(), 3u);
    EXPECT_TRUE(ui.Problems().empty()) << ui.Problems().front();
}

TEST_F(ListTest, LoadOverChangesAsksAsClosingDoesAndCancelKeepsThem) {
    const std::string path = dir / "kept.vtl", other = dir / "other.vtl";
    WriteFileBytes(path, ListFileOf({"1", "2"}));
    SetProfile("[Dial]\nLoadFile=" + path + "\n");
    auto entry0Is = [&](const char* text) {
        ui.Then([&, text] { EXPECT_STREQ(Dlg().m_szList[0], text); });
    };
    ui.Click(IDC_KEY_5).Click(IDC_DIAL_COPY).Click(IDC_LIST_LOAD).Then([&] {
        ASSERT_EQ(ui.OpenMessageBoxes(), 1);
        const auto& box = ui.MessageBoxes().back();
        EXPECT_EQ(box.style, MB_YESNOCANCEL | MB_ICONEXCLAMATION);
        EXPECT_NE(box.text.find("loading another list file would lose the changes"), std::string::npos);
        EXPECT_EQ(box.caption, "Vantrel");
    });
    ui.Answer(IDCANCEL);  // nothing opens, nothing changes
    entry0Is("5");
    ui.Click(IDC_LIST_LOAD).Answer(IDYES).CancelFile();  // a save not made loads nothing
    entry0Is("5");
    ui.Then([&] { EXPECT_EQ(ui.FileDialogs().size(), 1u); });
    // Yes: the save dialog proposes the list file, then the load dialog opens beside it.
    ui.Click(IDC_LIST_LOAD).Answer(IDYES).Then([&] {
        const auto& save = ui.FileDialogs().back().request;
        EXPECT_FALSE(save.open);
        EXPECT_EQ(save.folder, std::string(dir.path()));
        EXPECT_EQ(save.fileName, "kept.vtl");
    });
    ui.PickFile(other).Then([&] {
        const auto& load = ui.FileDialogs().back().request;
        EXPECT_TRUE(load.open);
        EXPECT_EQ(load.folder, std::string(dir.path()));
        EXPECT_EQ(load.fileName, "");
    });
    ui.PickFile(path);
    entry0Is("1");
    // Unchanged since that load: no question. No loads and drops the change.
    ui.Click(IDC_LIST_LOAD).CancelFile();
    ui.Click(IDC_DIAL_COPY).Click(IDC_LIST_LOAD).Answer(IDNO).PickFile(path);
    entry0Is("1");
    ui.Click(IDOK);
    EXPECT_EQ(Run(), IDOK);
    EXPECT_EQ(ReadFileBytes(other).substr(0, 7), "\r\n\r\n5\r\n");
    EXPECT_EQ(ui.MessageBoxes().size(), 4u);
    EXPECT_TRUE(ui.Problems().empty()) << ui.Problems().front();
}

TEST_F(ListTest, SaveProposesTheCurrentListFileElseTheDocumentsFolder) {
    const std::string documents = dir / "Documents", path = dir / "numbers.vtl";
    ui.SetDocumentsFolder(documents);
    ui.Click(IDC_LIST_SAVE).PickFile(path).Click(IDC_LIST_SAVE).CancelFile();
    ui.Click(IDC_LIST_LOAD).CancelFile();
    Close();
    ASSERT_EQ(ui.FileDialogs().size(), 3u);
    const auto& first = ui.FileDialogs()[0].request;
    EXPECT_EQ(first.folder + "|" + first.fileName, documents + "|");
    const auto& second = ui.FileDialogs()[1].request;
    EXPECT_EQ(second.folder + "|" + second.fileName, std::string(dir.path()) + "|numbers.vtl");
    EXPECT_EQ(ui.FileDialogs()[2].request.folder, std::string(dir.path()));
}

}  // namespace
