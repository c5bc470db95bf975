// Metafiles whose records lie: each mutilated record is skipped or bounded, the play ends
// when a record cannot advance, and the picture still comes out at its size.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "../codec_fixtures.h"
#include "metafile_builder.h"
#include "picture.h"

namespace {

using metafile::At;
using metafile::Bytes;

const std::string kData = std::string(PANELLE_TEST_DATA) + "/wmf/";

Bytes Float(float f) {
    uint32_t bits;
    std::memcpy(&bits, &f, 4);
    Bytes b;
    metafile::Put32(b, bits);
    return b;
}

// Draws a red rectangle over the whole picture after the records under test, so that a
// play that went on past them is visible.
void ExpectPlaysOn(const Bytes& file, uint32_t width, uint32_t height, bool paintedAfter, const char* what) {
    Picture p;
    ASSERT_TRUE(fixtures::DecodeBytes(p, file, ImageFormat::Wmf)) << what << ": " << p.GetLastError();
    EXPECT_EQ(p.GetWidth(), width) << what;
    EXPECT_EQ(p.GetHeight(), height) << what;
    if (paintedAfter) {
        EXPECT_EQ(At(p, static_cast<int>(width) - 5, static_cast<int>(height) - 5),
                  (metafile::Rgb{255, 0, 0}))
            << what;
    }
}

metafile::Wmf WmfThen(metafile::Wmf w) {
    w.Rec(0x02FC, {0, 0xFF, 0, 0}).Rec(0x012D, {0}).Rec(0x041B, {100, 100, 0, 0});
    return w;
}
metafile::Emf EmfThen(metafile::Emf e) {
    e.Rec(40, {1}).Rec(39, {1, 0, 0xFF, 0}).Rec(37, {1}).Rec(43, {0, 0, 192, 96});
    return e;
}

}  // namespace

TEST(WmfHostile, LyingRecordsAreSkippedOrEndThePlay) {
    Bytes dibHuge;  // a packed bitmap claiming 30000 x 30000 pixels of 24 bits in 16 bytes
    for (uint32_t v : {40u, 30000u, 30000u}) metafile::Put32(dibHuge, v);
    metafile::Put16(dibHuge, 1), metafile::Put16(dibHuge, 24);
    dibHuge.resize(56, 0);
    Bytes blt;
    for (int v : {0x0020, 0x00CC, 2, 2, 0, 0, 80, 80, 10, 10}) metafile::Put16(blt, static_cast<uint32_t>(v));
    blt.insert(blt.end(), dibHuge.begin(), dibHuge.end());
    const struct {
        const char* what;
        metafile::Wmf records;
        bool paintedAfter;
    } rows[] = {
        {"polygon counting more points than it holds", metafile::Wmf().Rec(0x0324, {30000, 1, 2}), true},
        {"poly-polygon counts past the record", metafile::Wmf().Rec(0x0538, {2, 60000, 60000, 1, 1}), true},
        {"poly-polygon of 65535 polygons", metafile::Wmf().Rec(0x0538, {65535}), true},
        {"text longer than its record", metafile::Wmf().Rec(0x0521, {30000, 0x4141}), true},
        {"extended text with a rectangle it lacks", metafile::Wmf().Rec(0x0A32, {0, 0, 200, 6, 1}), true},
        {"selecting and deleting objects that are not there",
         metafile::Wmf().Rec(0x012D, {60000}).Rec(0x01F0, {65535}), true},
        {"restoring states never saved", metafile::Wmf().Rec(0x0127, {-5}).Rec(0x0127, {7}).Rec(0x0127, {0}),
         true},
        {"bitmap claiming 900 million pixels", metafile::Wmf().Raw(0x0B41, blt), true},
        {"window of no extent", metafile::Wmf().Rec(0x020C, {0, 0}), true},
        {"records of no parameters",
         metafile::Wmf().Rec(0x041B, {}).Rec(0x0817, {}).Rec(0x02FB, {}).Rec(0x0A32, {}), true},
        {"unknown functions", metafile::Wmf().Rec(0x7777, {1, 2, 3}).Rec(0x0626, {15, 0}), true},
    };
    for (const auto& row : rows)
        ExpectPlaysOn(WmfThen(row.records).Build(0, 0, 100, 100, 96), 100, 100, row.paintedAfter, row.what);

    // Hundreds of saved states and a window that sends coordinates far beyond any output.
    metafile::Wmf deep;
    for (int i = 0; i < 1000; ++i) deep.Rec(0x001E, {});
    deep.Rec(0x020C, {1, 1}).Rec(0x041B, {32767, 32767, -32768, -32768});
    for (int i = 0; i < 1000; ++i) deep.Rec(0x0127, {-1});
    ExpectPlaysOn(WmfThen(deep).Build(0, 0, 100, 100, 96), 100, 100, true, "deep states, far coordinates");
}

TEST(WmfHostile, RecordSizesThatCannotAdvanceEndThePlay) {
    const Bytes good = WmfThen(metafile::Wmf()).Build(0, 0, 100, 100, 96);
    for (uint32_t words : {0u, 1u, 2u, 0x7FFFFFFFu, 0xFFFFFFFFu}) {
        Bytes file = good;
        // The first record starts after the 22-byte and 18-byte headers.
        for (int i = 0; i < 4; ++i) file[40 + i] = static_cast<uint8_t>(words >> (8 * i));
        Picture p;
        ASSERT_TRUE(fixtures::DecodeBytes(p, file, ImageFormat::Wmf)) << words;
        EXPECT_EQ(At(p, 95, 95), (metafile::Rgb{255, 255, 255})) << words;
    }
}

TEST(EmfHostile, LyingRecordsAreSkippedOrBounded) {
    const Bytes nan = Float(std::numeric_limits<float>::quiet_NaN()), inf = Float(1e38f), zero = Float(0);
    Bytes badXform, hugeXform;
    for (int i = 0; i < 6; ++i) badXform.insert(badXform.end(), nan.begin(), nan.end());
    for (int i = 0; i < 6; ++i)
        hugeXform.insert(hugeXform.end(), (i < 4 ? inf : zero).begin(), (i < 4 ? inf : zero).end());
    Bytes angleArc;
    for (int v : {50, 50, 1000000}) metafile::Put32(angleArc, static_cast<uint32_t>(v));
    angleArc.insert(angleArc.end(), nan.begin(), nan.end());
    angleArc.insert(angleArc.end(), inf.begin(), inf.end());
    const struct {
        const char* what;
        metafile::Emf records;
    } rows[] = {
        {"polygon of 2^32-1 points", metafile::Emf().Rec(3, {0, 0, 0, 0, 0xFFFFFFFF, 1, 2})},
        {"poly-polygon counts past the record", metafile::Emf().Rec(8, {0, 0, 0, 0, 0xFFFFFFFF, 4, 1, 1})},
        {"poly-draw types missing", metafile::Emf().Rec(56, {0, 0, 0, 0, 2, 1, 1, 5, 5})},
        {"text offsets outside the record", metafile::Emf().Rec(84, {0, 0, 0, 0, 1, 0, 0, 5, 5, 0x7FFFFFFF,
                                                                     0xFFFFFFF0, 0, 0, 0, 0, 0, 0xFFFFFFF0})},
        {"objects at indices the table lacks", metafile::Emf()
                                                   .Rec(39, {0xFFFFFFFF, 0, 0, 0})
                                                   .Rec(37, {70000})
                                                   .Rec(37, {0x80000000 | 999})
                                                   .Rec(40, {0xFFFFFFFF})},
        {"world transform of NaN and of huge numbers", metafile::Emf().Raw(35, badXform).Raw(35, hugeXform)},
        {"zero extents in the anisotropic mode",
         metafile::Emf().Rec(17, {8}).Rec(9, {0, 0}).Rec(11, {0, 5}).Rec(32, {1, 0, 1, 0})},
        {"region counting 2^32-1 rectangles",
         metafile::Emf().Rec(75, {48, 5, 32, 1, 0xFFFFFFFF, 16, 0, 0, 1, 1})},
        {"bitmap offsets outside the record",
         metafile::Emf().Rec(
             81, {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 0xFFFFFFF0, 40, 40, 0xFFFFFFF0, 0, 0xCC0020, 10, 10})},
        {"angle arc of NaN and infinite angles", metafile::Emf().Raw(41, angleArc)},
        {"user-styled pen of zero dashes", metafile::Emf()
                                               .Rec(95, {1, 0, 0, 0, 0, 0x10007, 5, 0, 0, 0, 4, 0, 0, 0, 0})
                                               .Rec(37, {1})
                                               .Rec(54, {100, 50})},
        {"path operations without a path",
         metafile::Emf().Rec(62, {0, 0, 0, 0}).Rec(67, {1}).Rec(60, {}).Rec(61, {})},
        {"restoring states never saved", metafile::Emf().Rec(34, {-100}).Rec(34, {5})},
        {"records of no fields",
         metafile::Emf().Rec(43, {}).Rec(84, {}).Rec(82, {}).Rec(76, {}).Rec(114, {})},
    };
    for (const auto& row : rows)
        ExpectPlaysOn(EmfThen(row.records).Build(0, 0, 192, 96), 192, 96, true, row.what);

    // A record shorter than its own header ends the play before the red rectangle.
    Bytes file = EmfThen(metafile::Emf()).Build(0, 0, 192, 96);
    file[112] = 4, file[113] = file[114] = file[115] = 0;
    ExpectPlaysOn(file, 192, 96, false, "record of 4 bytes");
}

// Every prefix of the independent writers' files either fails cleanly or plays what it holds.
TEST(WmfHostile, TruncatedFilesNeverReadPastTheirEnd) {
    for (const char* name : {"lo-scene.wmf", "lo-scene.emf", "ink-scene.wmf", "lo-text.emf"}) {
        const Bytes whole = fixtures::ReadFile(kData + name);
        ASSERT_FALSE(whole.empty()) << name;
        for (size_t n = 0; n < whole.size(); n += 1 + n / 8) {
            Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
            Picture p;
            if (fixtures::DecodeBytes(p, cut, ImageFormat::Wmf)) {
                EXPECT_GT(p.GetWidth(), 0u) << name << " " << n;
            } else {
                EXPECT_STRNE(p.GetLastError(), "") << name << " " << n;
            }
        }
    }
}
