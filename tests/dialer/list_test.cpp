// The dial list: its five-row view, copy and delete, and list files through the dialogs.
#include "support/list_fixture.h"

using namespace testing_support;

namespace {

TEST_F(ListTest, SliderScrollsTheRowsOnEveryNotification) {
    ui.Then([&] {
        FillList();
        Dlg().RefreshListView();
    });
    for (UINT code : {SB_THUMBTRACK, SB_LINEDOWN, SB_PAGEDOWN, SB_ENDSCROLL, SB_BOTTOM}) {
        ui.Scroll(code, 95).Then([&] {
            for (int k = 0; k < 5; ++k) {
                EXPECT_EQ(Text(IDC_ROW_NO_0 + k), std::to_string(96 + k));
                EXPECT_EQ(Text(IDC_ROW_0 + k), std::to_string(1095 + k));
            }
            Win().SetText(IDC_ROW_NO_0, "stale");
        });
    }
    ui.Scroll(SB_THUMBTRACK, 500).Then([&] { EXPECT_EQ(Text(IDC_ROW_NO_0), "96"); });
    Close();
}

TEST_F(ListTest, SelectionStaysOnItsRowWhileTheListMoves) {
    ui.Then([&] { FillList(); });
    ui.Click(IDC_ROW_SELECT_0 + 2).Click(IDC_LIST_COPY).Then([&] {
        EXPECT_EQ(Dlg().m_nTransSelect, 2);
        EXPECT_STREQ(Dlg().m_szDial, "1002");  // entry 3
        EXPECT_EQ(Dlg().m_nDialLen, 4);
        EXPECT_EQ(Text(IDC_DIAL_FIELD), "1002");
    });
    ui.Scroll(SB_LINEDOWN, 1).Click(IDC_LIST_COPY).Then([&] {
        EXPECT_STREQ(Dlg().m_szDial, "1003");  // entry 4 under the same radio
    });
    Close();
    EXPECT_TRUE(ui.Sounds().empty());
}

TEST_F(ListTest, TheWheelOverTheRowsMovesThemAsOverTheSliderAndAClickIntoAnEntrySelectsItsRow) {
    ui.Then([&] { FillList(); });
    std::vector<std::string> views;
    auto view = [&] {
        ui.Then([&] {
            const int p = Win().SliderPos(IDC_LIST_SLIDER);
            views.push_back(std::to_string(p) + ":" + Text(IDC_ROW_NO_0) + "-" + Text(IDC_ROW_NO_0 + 4) +
                            ":" + Text(IDC_ROW_0) + "-" + Text(IDC_ROW_0 + 4));
        });
    };
    ui.Wheel(IDC_ROW_0 + 2, -WHEEL_DELTA);  // towards the user: down the list
    view();
    ui.Wheel(IDC_LIST_SLIDER, -WHEEL_DELTA);
    view();
    ui.Wheel(IDC_ROW_SELECT_0 + 1, WHEEL_DELTA).Wheel(IDC_ROW_NO_0 + 4, WHEEL_DELTA);
    view();
    ui.Wheel(IDC_DIAL_FIELD, -WHEEL_DELTA).Wheel(IDC_KEY_5, -WHEEL_DELTA).Wheel(IDC_FILE_NAME, -WHEEL_DELTA);
    view();  // not the list: nothing moves
    for (int i = 0; i < 40; ++i) ui.Wheel(IDC_ROW_0 + 4, -WHEEL_DELTA);
    view();

    // A click into an entry checks its row's radio button, and the commands take that entry.
    ui.Click(IDC_ROW_SELECT_0).Click(IDC_ROW_0 + 3).Then([&] {
        for (int r = 0; r < kVisibleRows; ++r) EXPECT_EQ(Checked(IDC_ROW_SELECT_0 + r), r == 3) << r;
        EXPECT_EQ(Dlg().m_nTransSelect, 3);
        EXPECT_EQ(Win().FocusId(), IDC_ROW_0 + 3);
    });
    ui.Click(IDC_ROW_NO_0 + 1).Click(IDC_LIST_COPY).Then([&] {  // a row's number is not its entry
        EXPECT_EQ(Dlg().m_nTransSelect, 3);
        EXPECT_STREQ(Dlg().m_szDial, "1098");
    });
    Close();
    EXPECT_EQ(views, (std::vector<std::string>{"3:4-8:1003-1007", "6:7-11:1006-1010",
                                               "0:1-5:1000-1004", "0:1-5:1000-1004",
                                               "95:96-100:1095-1099"}));
    EXPECT_TRUE(ui.Problems().empty()) << ui.Problems().front();
}

TEST_F(ListTest, DeleteAsksAboutTheEntryShownAndEmptiesOnlyIt) {
    ui.Then([&] { FillList(); });
    ui.Scroll(SB_THUMBPOSITION, 10).Click(IDC_ROW_SELECT_0 + 1).Click(IDC_LIST_DELETE);
    ui.Then([&] {
        const auto& box = ui.MessageBoxes().back();
        EXPECT_EQ(box.text, "ﾘｽﾄの 12 番目を消去しますか?");
        EXPECT_EQ(box.caption, "List Delete");
        EXPECT_EQ(box.style, MB_YESNO | MB_ICONEXCLAMATION);
        Win().SetText(IDC_ROW_0 + 1, "shown");
    });
    ui.Answer(IDNO).Then([&] {
        EXPECT_STREQ(Dlg().m_szList[11], "1011");
        EXPECT_EQ(Text(IDC_ROW_0 + 1), "shown");  // No rewrites nothing
    });
    ui.Click(IDC_LIST_DELETE).Answer(IDYES).Then([&] {
        EXPECT_EQ(Dlg().m_szList[11][0], '\0');
        EXPECT_STREQ(Dlg().m_szList[12], "1012");
        EXPECT_EQ(Text(IDC_ROW_0 + 1), "");
        EXPECT_EQ(Text(IDC_ROW_0 + 2), "1012");
    });
    ui.SysCommand(SC_CLOSE).Answer(IDNO);  // the deletion would not survive: asked first
    Run();
}

TEST_F(ListTest, CopyIntoTheListAtTheBottomWritesEntry100) {
    SetProfile("[Dial]\nLastDial=" + std::string(255, '8') + "\n");
    ui.Scroll(SB_BOTTOM, 95).Click(IDC_ROW_SELECT_0 + 4).Click(IDC_DIAL_COPY).Then([&] {
        EXPECT_EQ(std::string(Dlg().m_szList[99]), std::string(255, '8'));
        EXPECT_EQ(Text(IDC_ROW_0 + 4), std::string(255, '8'));
    });
    // Copy back whole, then an empty dial string empties the entry.
    ui.Click(IDC_KEY_CLEAR).Click(IDC_LIST_COPY).Then([&] {
        EXPECT_EQ(Dlg().m_nDialLen, 255);
    });
    ui.Click(IDC_KEY_CLEAR).Click(IDC_DIAL_COPY).Then([&] {
        EXPECT_EQ(Dlg().m_szList[99][0], '\0');
    });
    Close();
}

TEST_F(ListTest, WithoutASelectedRowTheListCommandsChangeNothing) {
    SetProfile("[Flag and Numeric]\nTransSelect=9\n[Dial]\nLastDial=55\nDialList0=1\n");
    ui.Click(IDC_DIAL_COPY).Click(IDC_LIST_COPY).Click(IDC_LIST_DELETE).Then([&] {
        EXPECT_STREQ(Dlg().m_szList[0], "1");
        EXPECT_STREQ(Dlg().m_szDial, "55");
        EXPECT_TRUE(ui.MessageBoxes().empty());
    });
    Close();
}

TEST_F(ListTest, SaveThenLoadRestoresAllEntriesAndRemembersTheFile) {
    const std::string path = dir / "numbers.vtl";
    ui.Then([&] {
        FillList();
        std::memset(Dlg().m_szList[50], '7', 255);
        Dlg().m_szList[50][255] = '\0';
    });
    ui.Scroll(SB_THUMBPOSITION, 30).Click(IDC_LIST_SAVE).PickFile(path).Then([&] {
        EXPECT_EQ(Text(IDC_FILE_NAME), path);
        EXPECT_EQ(Win().SliderPos(IDC_LIST_SLIDER), 30);  // saving does not move the list
        EXPECT_NE(Profile().find("LoadFile=" + path), std::string::npos);
        const auto& request = ui.FileDialogs().back().request;
        EXPECT_FALSE(request.open);
        EXPECT_EQ(request.filter, "Vantrel Data(*.vtl)|*.vtl|All File(*.*)|*.*||");
        EXPECT_EQ(request.defaultExt, "*.vtl");
        EXPECT_EQ(request.flags, 0x1804u);
        for (auto& e : Dlg().m_szList) e[0] = '\0';
    });
    // Loading over the emptied list asks first; No loads all the same.
    ui.Click(IDC_LIST_LOAD).Answer(IDNO).PickFile(path).Then([&] {
        EXPECT_TRUE(ui.FileDialogs().back().request.open);
        EXPECT_STREQ(Dlg().m_szList[0], "1000");
        EXPECT_STREQ(Dlg().m_szList[99], "1099");
        EXPECT_EQ(std::strlen(Dlg().m_szList[50]), 255u);
        EXPECT_EQ(Win().SliderPos(IDC_LIST_SLIDER), 0);
        EXPECT_EQ(Text(IDC_ROW_0), "1000");
        EXPECT_EQ(Text(IDC_ROW_NO_0), "1");
        EXPECT_EQ(Text(IDC_FILE_NAME), path);
    });
    Close();
    EXPECT_EQ(ReadFileBytes(path).size(), 402u + 99 * 4 + 255);

    // The next start loads the remembered file and ignores the row keys.
    fw::ProfileStore(ProfilePath()).WriteString("Dial", "DialList0", "999");
    ui.Then([&] {
        EXPECT_STREQ(Dlg().m_szList[99], "1099");
        EXPECT_EQ(Text(IDC_ROW_0), "1000");
        EXPECT_EQ(Text(IDC_FILE_NAME), path);
    });
    Close();
}

TEST_F(ListTest, EmptyListSavesAs402BytesAndCancelChangesNothing) {
    const std::string path = dir / "empty.vtl";
    ui.Click(IDC_LIST_SAVE).CancelFile().Click(IDC_LIST_LOAD).CancelFile();
    ui.Click(IDC_LIST_SAVE).PickFile(path);
    Close();
    EXPECT_EQ(ReadFileBytes(path), EmptyListFile());
}

TEST_F(ListTest, LoadingSmallAndOddFiles) {
    const std::string one = dir / "one.vtl", three = dir / "three.vtl",
                      empty = dir / "zero.vtl";
    WriteFileBytes(one, "\r\n");
    WriteFileBytes(three, "\r\n\r\n03-1234-5678\r\n\r\n12 34\r\n\n123");
    WriteFileBytes(empty, "");
    ui.Then([&] { FillList(); });
    ui.Scroll(SB_THUMBPOSITION, 20).Click(IDC_LIST_LOAD).PickFile(one).Then([&] {
        EXPECT_STREQ(Dlg().m_szList[0], "1000");
        EXPECT_EQ(Win().SliderPos(IDC_LIST_SLIDER), 0);
        EXPECT_EQ(Text(IDC_FILE_NAME), one);
    });
    ui.Click(IDC_LIST_LOAD).PickFile(three).Then([&] {
        EXPECT_STREQ(Dlg().m_szList[0], "03-1234-5678");
        EXPECT_STREQ(Dlg().m_szList[1], "");
        EXPECT_STREQ(Dlg().m_szList[2], "12");
        EXPECT_STREQ(Dlg().m_szList[3], "1003");
        ASSERT_EQ(ui.MessageBoxes().size(), 1u);
        EXPECT_EQ(ui.MessageBoxes().back().text.substr(0, 54),
                  "1 entry of the list file could not be loaded, because ");
        EXPECT_NE(ui.MessageBoxes().back().text.find("entry 2: 12 34\n"), std::string::npos);
    });
    ui.Answer(IDOK);
    ui.Click(IDC_LIST_LOAD).PickFile(empty).Then([&] {
        EXPECT_EQ(ui.MessageBoxes().back().text, "ﾃﾞｰﾀﾌｧｲﾙが空です.");
        EXPECT_EQ(ui.MessageBoxes().back().caption, "Vantrel");
    });
    ui.Answer(IDOK).Then([&] { EXPECT_EQ(Text(IDC_FILE_NAME), three); });
    ui.Click(IDC_LIST_LOAD).PickFile(dir / "gone.vtl").Then([&] {
        EXPECT_EQ(ui.MessageBoxes().back().text,
                  "ﾌｧｲﾙ\n  " + dir / "gone.vtl" + "\nのｵｰﾌﾟﾝ ｴﾗｰです");
    });
    ui.Answer(IDOK).Then([&] { EXPECT_EQ(Text(IDC_FILE_NAME), three); });
    Close();
}

TEST_F(ListTest, MissingRememberedFileIsReportedBeforeTheWindowAndKept) {
    const std::string path = dir / "lost.vtl";
    SetProfile("[Dial]\nLoadFile=" + path + "\nDialList0=111\n");
    ui.Then([&] {
        ASSERT_EQ(ui.OpenMessageBoxes(), 1);
        EXPECT_EQ(ui.MessageBoxes().back().text, "前回のﾌｧｲﾙ\n  " + path + "\nのｵｰﾌﾟﾝ ｴﾗｰです");
    });
    ui.Answer(IDOK).Then([&] {
        EXPECT_EQ(Text(IDC_FILE_NAME), path);
        EXPECT_EQ(Text(IDC_ROW_0), "");  // the row keys are not read
        EXPECT_EQ(Dlg().m_nModemInitWait, 3000);
    });
    Close();
    EXPECT_EQ(fw::ProfileStore(ProfilePath()).GetString("Dial", "LoadFile", ""), path);
}

}  // namespace
