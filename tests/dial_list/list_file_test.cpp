#include "dial_list/list_file.h"

#include <gtest/gtest.h>

#include "dial_list/list_file_helpers.h"

namespace {

using namespace list_file_test;

TEST(ListFileFormat, WritesTwoHundredAndOneCrLfLines) {
    DialList list;
    Fill(list, "");
    std::string expected;
    for (int i = 0; i < 201; ++i) expected += "\r\n";
    EXPECT_EQ(FormatListFile(list), expected);
    EXPECT_EQ(FormatListFile(list).size(), 402u);

    Set(list, 0, "03-1234-5678");
    Set(list, 99, "#*");
    const std::string bytes = FormatListFile(list);
    EXPECT_EQ(bytes.size(), 402u + 12 + 2);
    EXPECT_EQ(bytes.substr(0, 18), "\r\n\r\n03-1234-5678\r\n");
    EXPECT_EQ(bytes.substr(bytes.size() - 6), "\r\n#*\r\n");
}

TEST(ListFileParse, RoundTripKeepsEveryEntryUpTo255Characters) {
    DialList saved;
    FillVaried(saved);
    DialList loaded;
    Fill(loaded, "stale");
    const ListReadResult result = ParseListFile(FormatListFile(saved), loaded);
    EXPECT_EQ(result.status, ListReadStatus::Loaded);
    EXPECT_EQ(result.entriesRead, 100);
    for (int i = 0; i < kListEntries; ++i) EXPECT_STREQ(loaded[i], saved[i]) << "entry " << i;
}

TEST(ListFileParse, ShortFilesReplaceOnlyTheEntriesTheyHold) {
    DialList list;
    Fill(list, "777");

    // Only line 1: a valid file that holds no entry.
    ListReadResult result = ParseListFile("\r\n", list);
    EXPECT_EQ(result.status, ListReadStatus::Loaded);
    EXPECT_EQ(result.entriesRead, 0);
    EXPECT_STREQ(list[0], "777");

    result = ParseListFile(FileOf({"111\r\n", "\r\n", "333\r\n"}), list);
    EXPECT_EQ(result.status, ListReadStatus::Loaded);
    EXPECT_EQ(result.entriesRead, 3);
    EXPECT_STREQ(list[0], "111");
    EXPECT_STREQ(list[1], "");
    EXPECT_STREQ(list[2], "333");
    for (int i = 3; i < kListEntries; ++i) EXPECT_STREQ(list[i], "777");

    // Ending right after a separator is a normal end.
    Fill(list, "777");
    result = ParseListFile(FileOf({"11\r\n"}) + "\r\n", list);
    EXPECT_EQ(result.status, ListReadStatus::Loaded);
    EXPECT_EQ(result.entriesRead, 1);
    EXPECT_STREQ(list[0], "11");
    EXPECT_STREQ(list[1], "777");

    // No bytes at all: not even line 1.
    result = ParseListFile("", list);
    EXPECT_EQ(result.status, ListReadStatus::Empty);
    EXPECT_EQ(result.entriesRead, 0);
    EXPECT_STREQ(list[0], "11");
}

TEST(ListFileParse, AcceptsOnlyDialCharactersBeforeTheLastOne) {
    DialList list;
    Fill(list, "x");
    ParseListFile(FileOf({"03-1234-5678\r\n", "03 1234\r\n", "12ab\r\n", "ABCD\r\n", "abcd\r\n",
                          "0123456789ABCD-,*#\r\n", "12\r3\r\n", "E\r\n", "\r\n", "123"}),
                  list);
    EXPECT_STREQ(list[0], "03-1234-5678");
    EXPECT_STREQ(list[1], "");  // blank
    EXPECT_STREQ(list[2], "");  // lower case
    EXPECT_STREQ(list[3], "ABCD");
    EXPECT_STREQ(list[4], "");
    EXPECT_STREQ(list[5], "0123456789ABCD-,*#");
    EXPECT_STREQ(list[6], "");  // a CR not followed by LF is an ordinary byte
    EXPECT_STREQ(list[7], "");  // only A to D
    EXPECT_STREQ(list[8], "");
    EXPECT_STREQ(list[9], "12");  // no line end: the last digit is the dropped character
    EXPECT_STREQ(list[10], "x");

    // Whatever the last character is, it is dropped unchecked.
    ParseListFile(FileOf({"12z"}), list);
    EXPECT_STREQ(list[0], "12");
    ParseListFile(FileOf({"z"}), list);
    EXPECT_STREQ(list[0], "");
}

TEST(ListFileParse, LoneLineFeedsEndLinesToo) {
    DialList list;
    Fill(list, "x");
    const ListReadResult result = ParseListFile("\n\n123\n\n\n\r\n45\n", list);
    EXPECT_EQ(result.entriesRead, 3);
    EXPECT_STREQ(list[0], "123");
    EXPECT_STREQ(list[1], "");
    EXPECT_STREQ(list[2], "45");
    EXPECT_STREQ(list[3], "x");
}

TEST(ListFileParse, ReadsOnlyTheFirst201Lines) {
    DialList saved;
    FillVaried(saved);
    std::string bytes = FormatListFile(saved);
    // A 101st pair, and a line that would break the pairing if it were read.
    bytes += "\r\n999\r\n";
    bytes += std::string(1000, '5');
    DialList loaded;
    Fill(loaded, "");
    const ListReadResult result = ParseListFile(bytes, loaded);
    EXPECT_EQ(result.entriesRead, 100);
    for (int i = 0; i < kListEntries; ++i) EXPECT_STREQ(loaded[i], saved[i]) << "entry " << i;
}

TEST(ListFileParse, LinesLongerThanAnEntryAreSplitIntoSeveralReads) {
    DialList list;
    Fill(list, "x");
    // 255 characters and a line end: one read, kept whole.
    ParseListFile(FileOf({std::string(255, '1') + "\r\n", "2\r\n"}), list);
    EXPECT_EQ(std::string(list[0]), std::string(255, '1'));
    EXPECT_STREQ(list[1], "2");

    // 300 characters: a read of 255 (last one dropped), then the remaining 45
    // characters are a read of their own and take the place of the separator,
    // which in turn is read as entry 2.
    Fill(list, "x");
    ListReadResult result =
        ParseListFile(FileOf({std::string(300, '1') + "\r\n", "22\r\n"}), list);
    EXPECT_EQ(result.entriesRead, 2);
    EXPECT_EQ(std::string(list[0]), std::string(254, '1'));
    EXPECT_STREQ(list[1], "");
    EXPECT_STREQ(list[2], "x");

    // A split line never overflows an entry, whatever its length.
    Fill(list, "x");
    result = ParseListFile(FileOf({std::string(255 * 2 + 10, '7')}), list);
    EXPECT_EQ(result.entriesRead, 2);
    EXPECT_EQ(std::string(list[0]), std::string(254, '7'));
    EXPECT_EQ(std::string(list[1]), std::string(9, '7'));

    // So does a lone LF right at the limit.
    Fill(list, "x");
    ParseListFile(FileOf({std::string(255, '3') + "\n", "4\r\n"}), list);
    EXPECT_EQ(std::string(list[0]), std::string(255, '3'));
    EXPECT_STREQ(list[1], "4");
}

TEST(ListFileParse, NulBytes) {
    DialList list;
    Fill(list, "x");
    // An entry line starting with NUL is empty and ends the file.
    using namespace std::string_literals;
    ListReadResult result = ParseListFile(FileOf({"1\r\n", "\0 12\r\n"s, "55\r\n"}), list);
    EXPECT_EQ(result.status, ListReadStatus::Loaded);
    EXPECT_EQ(result.entriesRead, 2);
    EXPECT_STREQ(list[0], "1");
    EXPECT_STREQ(list[1], "");
    EXPECT_STREQ(list[2], "x");

    // Elsewhere a NUL is just a byte outside the dial set; in a separator it is ignored.
    Fill(list, "x");
    result = ParseListFile("\0\r\n\0\r\n1\0002\r\n\0\r\n34\r\n"s, list);
    EXPECT_EQ(result.entriesRead, 2);
    EXPECT_STREQ(list[0], "");
    EXPECT_STREQ(list[1], "34");

    // A NUL as the very last byte of the file is the dropped character.
    result = ParseListFile("\r\n\r\n56\0"s, list);
    EXPECT_EQ(result.entriesRead, 1);
    EXPECT_STREQ(list[0], "56");
}

TEST(ListFileRead, OpensFilesAndRefusesWhatItCannotRead) {
    TempDir dir;
    DialList list;
    Fill(list, "x");

    EXPECT_EQ(ReadListFile(dir / "missing.vtl", list).status, ListReadStatus::CannotOpen);
    EXPECT_EQ(ReadListFile(dir.path(), list).status, ListReadStatus::CannotOpen);
    EXPECT_STREQ(list[0], "x");

    WriteFileBytes(dir / "empty.vtl", "");
    EXPECT_EQ(ReadListFile(dir / "empty.vtl", list).status, ListReadStatus::Empty);

    WriteFileBytes(dir / "three.vtl", FileOf({"1\r\n", "2\r\n", "3"}));
    const ListReadResult result = ReadListFile(dir / "three.vtl", list);
    EXPECT_EQ(result.status, ListReadStatus::Loaded);
    EXPECT_EQ(result.entriesRead, 3);
    EXPECT_STREQ(list[2], "");  // "3" without a line end loses its only character
    EXPECT_STREQ(list[3], "x");
}

}  // namespace
