#include "settings.h"

#include <gtest/gtest.h>

#include "testutil.h"

TEST(Settings, FirstStartGivesDefaultsAndWritesAllFourKeys) {
    TempDir dir;
    const std::string ini = dir / "panelle.INI";
    const BookSettings s = ReadSettings(ini);
    EXPECT_EQ(s.width, 176);
    EXPECT_EQ(s.height, 208);
    EXPECT_EQ(s.price, 0);
    EXPECT_EQ(s.author, "Kavoo网");
    EXPECT_EQ(ReadText(ini), "[SETTING]\r\nwidth=176\r\nheight=208\r\nprice=0\r\nauthor=Kavoo网\r\n");
}

TEST(Settings, UnreadableOrDefaultValuesAreWrittenBackOthersKept) {
    TempDir dir;
    const std::string ini = dir / "panelle.INI";
    WriteFile(ini,
              "[OTHER]\r\nkeep=1\r\n[SETTING]\r\nwidth=abc\r\nheight=240\r\nprice= 3 \r\nauthor=小明\r\n");
    const BookSettings s = ReadSettings(ini);
    EXPECT_EQ(s.width, 176);
    EXPECT_EQ(s.height, 240);
    EXPECT_EQ(s.price, 3);
    EXPECT_EQ(s.author, "小明");
    EXPECT_EQ(ReadText(ini),
              "[OTHER]\r\nkeep=1\r\n[SETTING]\r\nwidth=176\r\nheight=240\r\nprice= 3 \r\nauthor=小明\r\n");
}

TEST(Settings, ValuesTooLargeForThirtyTwoBitsGiveTheDefault) {
    TempDir dir;
    const std::string ini = dir / "panelle.INI";
    WriteFile(ini, "[setting]\nWIDTH=99999999999\nheight=-5\n");
    const BookSettings s = ReadSettings(ini);
    EXPECT_EQ(s.width, 176);
    EXPECT_EQ(s.height, -5);
}

TEST(Settings, SaveWritesTheFourValuesInOrder) {
    TempDir dir;
    const std::string ini = dir / "panelle.INI";
    BookSettings s;
    s.width = 240;
    s.height = 320;
    s.price = 2;
    s.author = "作者";
    ASSERT_TRUE(SaveSettings(ini, s));
    EXPECT_EQ(ReadText(ini), "[SETTING]\r\nwidth=240\r\nheight=320\r\nprice=2\r\nauthor=作者\r\n");
    const BookSettings back = ReadSettings(ini);
    EXPECT_EQ(back.width, 240);
    EXPECT_EQ(back.author, "作者");
    EXPECT_FALSE(SaveSettings(dir / "missing/folder/panelle.INI", s));
}

TEST(Settings, ByteOrderMarkIsSkippedAndKept) {
    TempDir dir;
    const std::string ini = dir / "panelle.INI";
    const std::string text = "\xEF\xBB\xBF[SETTING]\r\nwidth=240\r\nheight=320\r\nprice=0\r\nauthor=小明\r\n";
    WriteFile(ini, text);
    const BookSettings s = ReadSettings(ini);
    EXPECT_EQ(s.width, 240);
    EXPECT_EQ(s.height, 320);
    EXPECT_EQ(s.author, "小明");
    // price=0 is written back where it stands: no second section
    EXPECT_EQ(ReadText(ini), text);
}

TEST(Settings, NegativePriceGivesTheDefault) {
    TempDir dir;
    const std::string ini = dir / "panelle.INI";
    WriteFile(ini, "[SETTING]\r\nwidth=176\r\nheight=208\r\nprice=-3\r\nauthor=a\r\n");
    EXPECT_EQ(ReadSettings(ini).price, 0);
    EXPECT_EQ(ReadText(ini), "[SETTING]\r\nwidth=176\r\nheight=208\r\nprice=0\r\nauthor=a\r\n");
}

TEST(Settings, ReaderKeyReadsZeroOrOneAndIsNeverWrittenBack) {
    struct Row {
        const char* line;  // the key's line in section SETTING, empty: missing
        int32_t expected;
    } rows[] = {
        {"", 0},          {"reader=0", 0},    {"reader=1", 1}, {"READER = 1 ", 1},        {"reader=2", 0},
        {"reader=-1", 0}, {"reader=flow", 0}, {"reader=", 0},  {"reader=99999999999", 0},
    };
    for (const Row& row : rows) {
        TempDir dir;
        const std::string ini = dir / "panelle.INI";
        const std::string text = SettingsWithLine(row.line);
        WriteFile(ini, text);
        EXPECT_EQ(ReadSettings(ini).reader, row.expected) << "'" << row.line << "'";
        EXPECT_EQ(ReadText(ini), text) << row.line;
    }
}

TEST(Settings, ReaderIsSavedWhenChosenAndRewrittenOnlyWhereItStands) {
    TempDir dir;
    const std::string ini = dir / "panelle.INI";
    BookSettings s;
    ASSERT_TRUE(SaveSettings(ini, s));
    EXPECT_EQ(ReadText(ini), "[SETTING]\r\nwidth=176\r\nheight=208\r\nprice=0\r\nauthor=Kavoo网\r\n");
    s.reader = 1;
    ASSERT_TRUE(SaveSettings(ini, s));
    EXPECT_EQ(ReadText(ini),
              "[SETTING]\r\nwidth=176\r\nheight=208\r\nprice=0\r\nauthor=Kavoo网\r\nreader=1\r\n");
    EXPECT_EQ(ReadSettings(ini).reader, 1);
    s.reader = 0;  // back to the classic reader: the key stays, with its new value
    ASSERT_TRUE(SaveSettings(ini, s));
    EXPECT_EQ(ReadText(ini),
              "[SETTING]\r\nwidth=176\r\nheight=208\r\nprice=0\r\nauthor=Kavoo网\r\nreader=0\r\n");
    s.reader = 5;  // a value no reader has is saved as the classic one
    ASSERT_TRUE(SaveSettings(ini, s));
    EXPECT_EQ(ReadSettings(ini).reader, 0);
}
