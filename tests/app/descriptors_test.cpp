#include "descriptors.h"

#include <gtest/gtest.h>

#include "book.h"
#include "convert.h"
#include "panelle/picture.h"
#include "testutil.h"
#include "text.h"

namespace {

std::string Utf16(const std::string& utf8) { return Utf8ToUtf16Le(utf8); }

}  // namespace

TEST(Manifest, EightLinesInUtf8WithCrLf) {
    const std::string want =
        "Manifest-Version: 1.0\r\n"
        "MicroEdition-Configuration: CLDC-1.0\r\n"
        "MIDlet-Name: 我的漫画\r\n"
        "MIDlet-Vendor: Kavoo网\r\n"
        "MIDlet-Icon: /icon.png\r\n"
        "MIDlet-1: 我的漫画,/icon.png, GameMidlet\r\n"
        "MIDlet-Version: 1.0\r\n"
        "MicroEdition-Profile: MIDP-1.0\r\n";
    EXPECT_EQ(ManifestText("我的漫画"), want);
    EXPECT_NE(ManifestText("").find("MIDlet-Name: \r\n"), std::string::npos);
}

TEST(Manifest, ReplacesALongerTemplateWholeAndReportsAMissingFile) {
    TempDir dir;
    WriteFile(dir / "MANIFEST.MF", std::string(4000, 'x'));
    Recorder messages;
    WriteManifest(dir / "MANIFEST.MF", "书", messages);
    EXPECT_EQ(ReadText(dir / "MANIFEST.MF"), ManifestText("书"));
    EXPECT_TRUE(messages.log.empty());
    WriteManifest(dir / "none/MANIFEST.MF", "书", messages);
    EXPECT_EQ(messages.log, std::vector<std::string>{"show:open manifest error!"});
}

TEST(Jad, ElevenLinesWithSizeUrlAndPrice) {
    const std::string want =
        "MIDlet-1: 我的漫画, icon.png, GameMidlet\r\n"
        "MIDlet-Description: 单机应用。\r\n"
        "MIDlet-Icon: /icon.png\r\n"
        "MIDlet-Jar-Size: 12345\r\n"
        "MIDlet-Jar-URL: book.jar\r\n"
        "MIDlet-Name: 我的漫画\r\n"
        "MIDlet-Vendor: 上海Sanlum\r\n"
        "MIDlet-Version: 1.0\r\n"
        "Media-Price: 单次下载2元\r\n"
        "MicroEdition-Configuration: CLDC-1.0\r\n"
        "MicroEdition-Profile: MIDP-1.0\r\n";
    EXPECT_EQ(JadText("我的漫画", 12345, "book.jar", 2), want);
}

TEST(Jad, WrittenBesideTheJarWithItsRealSize) {
    TempDir dir;
    WriteFile(dir / "book.jar", std::string(777, 'z'));
    Recorder messages;
    ASSERT_TRUE(WriteJad(dir / "book.jar", "B", 0, messages));
    EXPECT_EQ(ReadText(dir / "book.jad"), JadText("B", 777, "book.jar", 0));
    EXPECT_EQ(JadPathFor("/a/my.books/book"), "/a/my.books/book.jad");
    EXPECT_EQ(JadPathFor("/a/book.zip"), "/a/book.jad");
    EXPECT_FALSE(WriteJad(dir / "none.jar", "B", 0, messages));
    EXPECT_EQ(messages.log, std::vector<std::string>{"show:Write JAD error!"});
}

TEST(DescFile, Utf16LinesWithByteOrderMarkAndCrLf) {
    TempDir dir;
    Picture page(4, 3, 24, 0);
    ASSERT_TRUE(page.Save((dir / "p0.bmp").c_str(), ImageFormat::Bmp));
    ASSERT_TRUE(page.Save((dir / "p1.bmp").c_str(), ImageFormat::Bmp));
    Book book;
    book.bookName = "我的书";
    book.author = "Kavoo网";
    book.ImportPictures({dir / "p0.bmp", dir / "p1.bmp"});
    book.pages[0].measured = book.pages[1].measured = true;
    book.pages[0].description = "第一页";
    Recorder messages;
    ConvertPages(book, dir.path(), messages);
    const std::string want = std::string("\xFF\xFE") + Utf16("bookname:我的书\r\n") +
                             Utf16("piccount:2\r\n") + Utf16("author:Kavoo网\r\n") + Utf16("0:第一页\r\n") +
                             Utf16("1:\r\n");
    EXPECT_EQ(ReadText(dir / "desc.txt"), want);
}

TEST(Text, Utf16ConversionHandlesSurrogatesAndBadBytes) {
    EXPECT_EQ(Utf8ToUtf16Le("A"), std::string("A\0", 2));
    EXPECT_EQ(Utf8ToUtf16Le("网"), std::string("\x51\x7F", 2));
    EXPECT_EQ(Utf8ToUtf16Le("\xF0\x9F\x98\x80"), std::string("\x3D\xD8\x00\xDE", 4));
    EXPECT_EQ(Utf8ToUtf16Le("\xC3"), std::string("\xFD\xFF", 2));
    EXPECT_EQ(Utf8Length("a页b"), 3u);
}

TEST(Manifest, LongLinesContinueOnLinesThatStartWithASpace) {
    struct Row {
        std::string line;
        size_t lines;
    } rows[] = {
        {std::string(72, 'a'), 1},
        {std::string(73, 'a'), 2},
        {"MIDlet-Name: " + std::string(200, 'n'), 3},  // 72 + 1 + 71 + 1 + 70
        {"MIDlet-1: " + std::string(60, 'x') + "我的漫画书我的漫画书", 2},
        {"MIDlet-Name: 我的漫画书我的漫画书我的漫画书我的漫画书我的漫画书我的漫画书我的漫画书",
         2},  // 13 + 19 characters, then 16
    };
    for (const Row& row : rows) {
        const std::string text = ManifestLine(row.line);
        std::string unfolded;
        size_t lines = 0;
        for (size_t at = 0; at < text.size(); ++lines) {
            const size_t end = text.find("\r\n", at);
            ASSERT_NE(end, std::string::npos);
            std::string line = text.substr(at, end - at);
            EXPECT_LE(line.size(), kManifestLineBytes) << line;
            if (lines > 0) {
                ASSERT_EQ(line[0], ' ');
                line.erase(0, 1);
            }
            EXPECT_TRUE(IsValidUtf8(line)) << "a character was split: " << line;
            unfolded += line;
            at = end + 2;
        }
        EXPECT_EQ(unfolded, row.line);
        EXPECT_EQ(lines, row.lines) << row.line;
    }
}

TEST(Descriptors, CommasAndControlCharactersKeepEveryLineWhole) {
    const std::string manifest = ManifestText("猫,狗\r\nMIDlet-Jar-URL: evil");
    EXPECT_NE(manifest.find("MIDlet-1: 猫，狗  MIDlet-Jar-URL: evil,/icon.png, GameMidlet\r\n"),
              std::string::npos);
    EXPECT_NE(manifest.find("MIDlet-Name: 猫,狗  MIDlet-Jar-URL: evil\r\n"), std::string::npos);
    const std::string jad = JadText("a,b\nMIDlet-Jar-URL: evil", 1, "book.jar", 0);
    EXPECT_EQ(jad.find("\nMIDlet-Jar-URL: evil"), std::string::npos);
    EXPECT_NE(jad.find("MIDlet-1: a，b MIDlet-Jar-URL: evil, icon.png, GameMidlet\r\n"), std::string::npos);
    size_t lines = 0;
    for (char c : jad) lines += c == '\n';
    EXPECT_EQ(lines, JadKeys.size());
}

TEST(Text, Utf8ValidityAndControlCharacters) {
    struct Row {
        std::string text;
        bool valid;
        bool control;
        std::string spaced;
    } rows[] = {
        {"我的书 abc", true, false, "我的书 abc"},
        {"\xCE\xD2\xB5\xC4", false, false, "\xCE\xD2\xB5\xC4"},  // GBK for 我的
        {"\xC0\xAF", false, false, "\xC0\xAF"},                  // overlong "/"
        {"\xED\xA0\x80", false, false, "\xED\xA0\x80"},          // a surrogate
        {"a\tb\r\nc", true, true, "a b  c"},
        {"x\x7F\xC2\x85y", true, true, "x  y"},  // DEL and NEL
        {"", true, false, ""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(IsValidUtf8(row.text), row.valid) << row.text;
        EXPECT_EQ(HasControlCharacter(row.text), row.control) << row.text;
        EXPECT_EQ(ControlsToSpaces(row.text), row.spaced) << row.text;
    }
    EXPECT_EQ(WithoutByteOrderMark("\xEF\xBB\xBF第一页"), "第一页");
    EXPECT_EQ(WithoutByteOrderMark("第一页"), "第一页");
}
