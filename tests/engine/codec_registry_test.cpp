// The codec list: every codec's signature test takes a file of its format, names and
// aliases lead back to their codec, and a file detected by content gets the codec's id.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "codec.h"
#include "format.h"
#include "picture.h"

namespace {

std::string Fixture(const std::string& name) { return std::string(PANELLE_TEST_DATA) + "/" + name; }

std::vector<uint8_t> Head(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (bytes.size() > kSignatureBytes) bytes.resize(kSignatureBytes);
    return bytes;
}

struct Row {
    uint32_t id;
    const char* fixture;
};

// One file made by an independent tool per format.
constexpr Row kRows[] = {
    {ImageFormat::Bmp, "bmp/im-bmp2-4bit.bmp"},
    {ImageFormat::Gif, "gif/gifsicle-dispose.gif"},
    {ImageFormat::Jpg, "jpg/baseline.jpg"},
    {ImageFormat::Png, "png/im-dpi72.png"},
    {ImageFormat::Ico, "ico/ic-24bit-black-mask.ico"},
    {ImageFormat::Tif, "tif/im-bilevel-g4.tif"},
    {ImageFormat::Tga, "tga/im-24-bl.tga"},
    {ImageFormat::Pcx, "pcx/im-1bit.pcx"},
    {ImageFormat::Wbmp, "wbmp/im-small.wbmp"},
    {ImageFormat::Wmf, "wmf/ink-scene.wmf"},
    {ImageFormat::Jp2, "jas/opj-rgb.jp2"},
    {ImageFormat::Jpc, "jas/opj-rgb.j2k"},
    {ImageFormat::Pgx, "jas/opj-grey.pgx"},
    {ImageFormat::Pnm, "jas/nb-p5.pgm"},
    {ImageFormat::Ras, "jas/im-rgb.ras"},
};

TEST(CodecRegistry, EverySignatureTestTakesItsOwnFormatAndTheFormatLoads) {
    std::set<uint32_t> covered;
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.fixture);
        const CodecInfo* codec = FindCodec(row.id);
        ASSERT_NE(codec, nullptr);
        const std::vector<uint8_t> head = Head(Fixture(row.fixture));
        ASSERT_FALSE(head.empty());
        EXPECT_TRUE(codec->looksLike(head.data(), head.size()));
        // The signature is a look at the first bytes, not at the whole file.
        EXPECT_FALSE(codec->looksLike(head.data(), 1));
        Picture named, detected;
        EXPECT_TRUE(named.Load(Fixture(row.fixture).c_str(), row.id)) << named.GetLastError();
        EXPECT_TRUE(detected.Load(Fixture(row.fixture).c_str(), ImageFormat::Unknown))
            << detected.GetLastError();
        EXPECT_EQ(detected.GetWidth(), named.GetWidth());
        covered.insert(row.id);
    }
    EXPECT_EQ(covered.size(), Codecs().size()) << "a registered codec has no row";
}

TEST(CodecRegistry, NamesAndAliasesLeadBackToTheirCodec) {
    std::set<uint32_t> ids;
    for (const CodecInfo* codec : Codecs()) {
        SCOPED_TRACE(codec->name);
        EXPECT_TRUE(ids.insert(codec->id).second) << "two codecs share an id";
        EXPECT_LT(codec->id, FormatCount);
        EXPECT_STREQ(FormatName(codec->id), codec->name);
        EXPECT_EQ(FormatFromName(codec->name), codec->id);
        std::string upper = codec->name;
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_EQ(FormatFromName(upper.c_str()), codec->id);
        for (const char* alias : codec->aliases)
            if (alias) {
                EXPECT_EQ(FormatFromName(alias), codec->id);
            }
    }
    EXPECT_EQ(ids.size(), FormatCount - 1);
    EXPECT_EQ(FormatFromName("emf"), 0u);
    EXPECT_STREQ(FormatName(0), "unknown");
    EXPECT_STREQ(FormatName(FormatCount), "unknown");
    EXPECT_EQ(WritableFormatList(), "bmp gif jpg jpeg png ico tif tiff tga pcx wbmp jp2 jpc pgx pnm ras");
}

}  // namespace
