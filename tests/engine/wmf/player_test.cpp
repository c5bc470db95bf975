// The metafile player on drawings of known geometry: each test draws a little and looks at
// pixels that must, and must not, have been painted.
#include "wmf/player.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "../codec_fixtures.h"
#include "metafile_builder.h"
#include "picture.h"
#include "wmf/wmf.h"

namespace {

using metafile::At;
using metafile::Bytes;
using metafile::Rgb;

const Rgb kWhite{255, 255, 255}, kRed{255, 0, 0}, kBlue{0, 0, 255}, kGreen{0, 255, 0}, kBlack{0, 0, 0};

constexpr uint32_t kRedRef = 0x0000FF, kGreenRef = 0x00FF00, kBlueRef = 0xFF0000;

// Windows metafile functions and enhanced metafile record types the tests write.
enum : uint16_t {
    SETBKCOLOR = 0x0201,
    SETBKMODE = 0x0102,
    SETPOLYFILLMODE = 0x0106,
    INTERSECTCLIPRECT = 0x0416,
    EXCLUDECLIPRECT = 0x0415,
    RECTANGLE = 0x041B,
    PIE = 0x081A,
    POLYPOLYGON = 0x0538,
    POLYGON = 0x0324,
    SAVEDC = 0x001E,
    RESTOREDC = 0x0127,
    SELECTOBJECT = 0x012D,
    DELETEOBJECT = 0x01F0,
    CREATEPEN = 0x02FA,
    CREATEBRUSH = 0x02FC,
    TEXTOUT = 0x0521,
    DIBSTRETCHBLT = 0x0B41,
    SETWINDOWEXT = 0x020C,
};
enum : uint32_t {
    EMR_POLYPOLYGON = 8,
    EMR_SETWINDOWEXTEX = 9,
    EMR_SETVIEWPORTEXTEX = 11,
    EMR_SETMAPMODE = 17,
    EMR_SETBKMODE = 18,
    EMR_SETTEXTALIGN = 22,
    EMR_SETBKCOLOR = 25,
    EMR_MOVETOEX = 27,
    EMR_SAVEDC = 33,
    EMR_RESTOREDC = 34,
    EMR_SETWORLDTRANSFORM = 35,
    EMR_SELECTOBJECT = 37,
    EMR_CREATEPEN = 38,
    EMR_CREATEBRUSHINDIRECT = 39,
    EMR_ANGLEARC = 41,
    EMR_RECTANGLE = 43,
    EMR_LINETO = 54,
    EMR_BEGINPATH = 59,
    EMR_ENDPATH = 60,
    EMR_CLOSEFIGURE = 61,
    EMR_FILLPATH = 62,
    EMR_EXTSELECTCLIPRGN = 75,
    EMR_STRETCHDIBITS = 81,
    EMR_EXTCREATEFONTINDIRECTW = 82,
    EMR_EXTTEXTOUTW = 84,
    EMR_EXTCREATEPEN = 95,
};
constexpr int kNullPen = 5;

// A 100 x 100 pixel Windows metafile whose logical units are pixels, drawing with a pen
// that draws nothing, so that fills show their exact extent.
metafile::Wmf WmfWithoutPen() {
    metafile::Wmf w;
    w.Rec(CREATEPEN, {kNullPen, 0, 0, 0, 0}).Rec(SELECTOBJECT, {0});
    return w;
}
metafile::Wmf& WmfBrush(metafile::Wmf& w, uint32_t colorRef, int style = 0, int hatch = 0) {
    return w.Rec(CREATEBRUSH,
                 {style, static_cast<int>(colorRef & 0xFFFF), static_cast<int>(colorRef >> 16), hatch});
}

Picture Play(const Bytes& file) {
    Picture p;
    EXPECT_TRUE(fixtures::DecodeBytes(p, file, ImageFormat::Wmf)) << p.GetLastError();
    return p;
}
Picture PlayWmf(const metafile::Wmf& w) { return Play(w.Build(0, 0, 100, 100, 96)); }
Picture PlayEmf(const metafile::Emf& e) { return Play(e.Build(0, 0, 192, 96)); }

metafile::Emf EmfWithoutPen() {
    metafile::Emf e;
    e.Rec(EMR_SELECTOBJECT, {0x80000008});  // the stock pen that draws nothing
    return e;
}
metafile::Emf& EmfBrush(metafile::Emf& e, uint32_t slot, uint32_t colorRef) {
    return e.Rec(EMR_CREATEBRUSHINDIRECT, {slot, 0, colorRef, 0}).Rec(EMR_SELECTOBJECT, {slot});
}

}  // namespace

TEST(WmfPlayer, ShapesFillWithTheSelectedBrushOnTheWindowColour) {
    metafile::Wmf w = WmfWithoutPen();
    WmfBrush(w, kRedRef).Rec(SELECTOBJECT, {1}).Rec(RECTANGLE, {50, 50, 10, 10});
    const Picture p = PlayWmf(w);
    ASSERT_EQ(p.GetWidth(), 100u);
    EXPECT_EQ(p.GetBpp(), 24);
    EXPECT_EQ(At(p, 30, 30), kRed);
    EXPECT_EQ(At(p, 10, 10), kRed);
    EXPECT_EQ(At(p, 49, 49), kRed);
    for (auto [x, y] : {std::pair{9, 30}, {50, 30}, {30, 50}, {75, 75}})
        EXPECT_EQ(At(p, x, y), kWhite) << x << "," << y;
}

TEST(WmfPlayer, ObjectsTakeTheLowestFreeSlotAndRestoreBringsBackTheState) {
    metafile::Wmf w = WmfWithoutPen();  // pen in slot 0
    WmfBrush(w, kRedRef);               // slot 1
    WmfBrush(w, kGreenRef);             // slot 2
    w.Rec(DELETEOBJECT, {1});
    WmfBrush(w, kBlueRef);  // takes slot 1 again
    w.Rec(SELECTOBJECT, {1}).Rec(SAVEDC, {}).Rec(SELECTOBJECT, {2}).Rec(RECTANGLE, {100, 50, 0, 0});
    w.Rec(RESTOREDC, {-1}).Rec(RECTANGLE, {100, 100, 0, 50});
    const Picture p = PlayWmf(w);
    EXPECT_EQ(At(p, 25, 50), kGreen);
    EXPECT_EQ(At(p, 75, 50), kBlue);

    // A full table drops new objects; their records select nothing.
    metafile::Wmf small = WmfWithoutPen();
    WmfBrush(small, kRedRef).Rec(SELECTOBJECT, {1}).Rec(RECTANGLE, {100, 100, 0, 0});
    const Picture q = Play(small.Build(0, 0, 100, 100, 96, 1));
    EXPECT_EQ(At(q, 50, 50), kWhite);
}

TEST(WmfPlayer, FillModeDecidesWhetherAnInnerFigureIsAHole) {
    for (int mode : {1, 2}) {  // alternate, winding
        metafile::Wmf w = WmfWithoutPen();
        WmfBrush(w, kRedRef).Rec(SELECTOBJECT, {1}).Rec(SETPOLYFILLMODE, {mode});
        w.Rec(POLYPOLYGON, {2, 4, 4, 10, 10, 90, 10, 90, 90, 10, 90, 30, 30, 70, 30, 70, 70, 30, 70});
        const Picture p = PlayWmf(w);
        EXPECT_EQ(At(p, 20, 50), kRed) << mode;
        EXPECT_EQ(At(p, 50, 50), mode == 1 ? kWhite : kRed) << mode;
    }
}

TEST(WmfPlayer, ClipRectanglesConfineDrawing) {
    for (uint16_t clip : {INTERSECTCLIPRECT, EXCLUDECLIPRECT}) {
        metafile::Wmf w = WmfWithoutPen();
        WmfBrush(w, kRedRef)
            .Rec(SELECTOBJECT, {1})
            .Rec(clip, {100, 50, 0, 0})
            .Rec(RECTANGLE, {100, 100, 0, 0});
        const Picture p = PlayWmf(w);
        EXPECT_EQ(At(p, 25, 50), clip == INTERSECTCLIPRECT ? kRed : kWhite) << clip;
        EXPECT_EQ(At(p, 75, 50), clip == INTERSECTCLIPRECT ? kWhite : kRed) << clip;
    }
}

TEST(WmfPlayer, HatchedBrushesDrawLinesOnTheBackgroundMode) {
    for (int bkMode : {1, 2}) {  // transparent, opaque
        metafile::Wmf w = WmfWithoutPen();
        WmfBrush(w, 0x000000, 2, 4).Rec(SELECTOBJECT, {1});  // black cross hatch
        w.Rec(SETBKMODE, {bkMode}).Rec(SETBKCOLOR, {0xFF00, 0}).Rec(RECTANGLE, {90, 90, 10, 10});
        const Picture p = PlayWmf(w);
        int ink = 0, paper = 0, other = 0;
        for (int y = 16; y < 80; ++y)
            for (int x = 16; x < 80; ++x) {
                const Rgb c = At(p, x, y);
                if (c == kBlack)
                    ++ink;
                else if (c == (bkMode == 2 ? kGreen : kWhite))
                    ++paper;
                else
                    ++other;
            }
        // Two lines in every 8 x 8 cell: 15 of its 64 pixels.
        EXPECT_EQ(ink, 64 * 15) << bkMode;
        EXPECT_EQ(paper + ink, 64 * 64) << bkMode;
        EXPECT_EQ(other, 0) << bkMode;
    }
}

TEST(WmfPlayer, PieRunsCounterclockwiseFromStartToEnd) {
    metafile::Wmf w = WmfWithoutPen();
    WmfBrush(w, kRedRef).Rec(SELECTOBJECT, {1});
    // From 3 o'clock to 12 o'clock: the top right quarter.
    w.Rec(PIE, {0, 50, 50, 100, 100, 100, 0, 0});
    const Picture p = PlayWmf(w);
    EXPECT_EQ(At(p, 70, 30), kRed);
    EXPECT_EQ(At(p, 30, 30), kWhite);
    EXPECT_EQ(At(p, 30, 70), kWhite);
    EXPECT_EQ(At(p, 70, 70), kWhite);
}

TEST(WmfPlayer, WindowExtentScalesLogicalUnits) {
    // The window of 10 x 10 units covers the 100 x 100 picture.
    metafile::Wmf w = WmfWithoutPen();
    WmfBrush(w, kRedRef).Rec(SELECTOBJECT, {1}).Rec(SETWINDOWEXT, {10, 10}).Rec(RECTANGLE, {10, 10, 5, 5});
    const Picture p = PlayWmf(w);
    EXPECT_EQ(At(p, 75, 75), kRed);
    EXPECT_EQ(At(p, 45, 75), kWhite);
}

// The picture description gives the box in pixels, multiplied by ten while both sides stay
// below 6554, as hundredths of a millimetre; in the text mapping mode logical units are
// device pixels of that frame (at 96 per inch), which is mapped onto the whole picture.
TEST(WmfPlayer, TextModeUnitsArePixelsOfTheScaledFrame) {
    const struct {
        int side;       // box and picture, pixels
        int halfFrame;  // half the frame in device pixels
    } rows[] = {
        {100, 189},   // 100 -> 10000: 378 pixels
        {700, 132},   // 700 -> 7000: 265 pixels
        {7000, 132},  // not multiplied; the picture is limited to 4000
    };
    for (const auto& row : rows) {
        metafile::Wmf w = WmfWithoutPen();
        WmfBrush(w, kRedRef).Rec(SELECTOBJECT, {1}).Rec(0x0103, {1});  // the text mapping mode
        w.Rec(RECTANGLE, {row.halfFrame, row.halfFrame, 0, 0});
        Picture p;
        ASSERT_TRUE(fixtures::DecodeBytes(p, w.Build(0, 0, row.side, row.side, 96), ImageFormat::Wmf));
        const int size = static_cast<int>(p.GetWidth());
        EXPECT_EQ(At(p, size * 45 / 100, size * 45 / 100), kRed) << row.side;
        EXPECT_EQ(At(p, size * 55 / 100, size * 55 / 100), kWhite) << row.side;
    }
}

TEST(WmfPlayer, StretchedBitmapKeepsItsRowOrder) {
    // A 2 x 2 bottom-up 24-bit bitmap: bottom row blue, green; top row red, white.
    Bytes dib;
    for (uint32_t v : {40u, 2u, 2u}) metafile::Put32(dib, v);
    metafile::Put16(dib, 1), metafile::Put16(dib, 24);
    for (int i = 0; i < 6; ++i) metafile::Put32(dib, 0);
    for (uint8_t b : {255, 0, 0, 0, 255, 0, 0, 0, 0, 0, 255, 255, 255, 255, 255, 0}) dib.push_back(b);
    Bytes record;
    for (int v : {0x0020, 0x00CC, 2, 2, 0, 0, 80, 80, 10, 10})
        metafile::Put16(record, static_cast<uint32_t>(v));
    record.insert(record.end(), dib.begin(), dib.end());
    metafile::Wmf w;
    w.Raw(DIBSTRETCHBLT, record);
    const Picture p = PlayWmf(w);
    EXPECT_EQ(At(p, 20, 20), kRed);
    EXPECT_EQ(At(p, 70, 20), kWhite);
    EXPECT_EQ(At(p, 20, 70), kBlue);
    EXPECT_EQ(At(p, 70, 70), kGreen);
    EXPECT_EQ(At(p, 5, 5), kWhite);
}

TEST(EmfPlayer, MappingModesPlaceLogicalUnits) {
    // Tenths of a millimetre with y growing upwards: a 10 mm square at the top left.
    metafile::Emf e = EmfWithoutPen();
    EmfBrush(e, 1, kRedRef).Rec(EMR_SETMAPMODE, {2}).Rec(EMR_RECTANGLE, {0, 0, 100, -100});
    const Picture p = PlayEmf(e);
    EXPECT_EQ(At(p, 18, 18), kRed);
    EXPECT_EQ(At(p, 36, 18), kRed);
    EXPECT_EQ(At(p, 40, 18), kWhite);
    EXPECT_EQ(At(p, 18, 40), kWhite);

    // A window of 10 x 10 units on the whole device.
    metafile::Emf a = EmfWithoutPen();
    EmfBrush(a, 1, kRedRef).Rec(EMR_SETMAPMODE, {8}).Rec(EMR_SETWINDOWEXTEX, {10, 10});
    a.Rec(EMR_SETVIEWPORTEXTEX, {192, 96}).Rec(EMR_RECTANGLE, {5, 0, 10, 10});
    const Picture q = PlayEmf(a);
    EXPECT_EQ(At(q, 150, 50), kRed);
    EXPECT_EQ(At(q, 80, 50), kWhite);
}

TEST(EmfPlayer, WorldTransformAndSavedStates) {
    metafile::Emf e = EmfWithoutPen();
    EmfBrush(e, 1, kRedRef).Rec(EMR_SAVEDC, {});
    // Scale by two and move right by 100 pixels.
    Bytes xform;
    for (float f : {2.f, 0.f, 0.f, 2.f, 100.f, 0.f}) {
        uint32_t bits;
        std::memcpy(&bits, &f, 4);
        metafile::Put32(xform, bits);
    }
    e.Raw(EMR_SETWORLDTRANSFORM, xform).Rec(EMR_RECTANGLE, {0, 0, 20, 20});
    e.Rec(EMR_RESTOREDC, {-1}).Rec(EMR_RECTANGLE, {0, 60, 20, 80});
    const Picture p = PlayEmf(e);
    EXPECT_EQ(At(p, 130, 30), kRed);
    EXPECT_EQ(At(p, 10, 10), kWhite);
    EXPECT_EQ(At(p, 10, 70), kRed);
    EXPECT_EQ(At(p, 50, 70), kWhite);
}

TEST(EmfPlayer, PathsFillTheirClosedFigure) {
    metafile::Emf e = EmfWithoutPen();
    EmfBrush(e, 1, kRedRef).Rec(EMR_BEGINPATH, {}).Rec(EMR_MOVETOEX, {10, 10});
    e.Rec(EMR_LINETO, {90, 10}).Rec(EMR_LINETO, {50, 80}).Rec(EMR_CLOSEFIGURE, {}).Rec(EMR_ENDPATH, {});
    e.Rec(EMR_FILLPATH, {0, 0, 0, 0});
    const Picture p = PlayEmf(e);
    EXPECT_EQ(At(p, 50, 30), kRed);
    EXPECT_EQ(At(p, 15, 70), kWhite);
    EXPECT_EQ(At(p, 150, 30), kWhite);
}

TEST(EmfPlayer, ClipRegionOfDeviceRectangles) {
    metafile::Emf e = EmfWithoutPen();
    // Region data: a 32-byte header counting one rectangle, then the rectangle.
    e.Rec(EMR_EXTSELECTCLIPRGN, {48, 5, 32, 1, 1, 16, 0, 0, 96, 96, 0, 0, 96, 96});
    EmfBrush(e, 1, kRedRef).Rec(EMR_RECTANGLE, {0, 0, 192, 96});
    const Picture p = PlayEmf(e);
    EXPECT_EQ(At(p, 50, 50), kRed);
    EXPECT_EQ(At(p, 150, 50), kWhite);
}

TEST(EmfPlayer, PenStylesDashAndWidth) {
    const struct {
        int64_t style, width;
        int darkFrom, darkTo;  // rows through the line's middle that are fully dark
        bool gaps;
    } rows[] = {
        {0, 0, 48, 48, false},  // solid cosmetic: one row
        {1, 0, 48, 48, true},   // dashed cosmetic
        {0, 9, 44, 52, false},  // nine units wide
    };
    for (const auto& row : rows) {
        metafile::Emf e;
        e.Rec(EMR_CREATEPEN, {1, row.style, row.width, 0, 0}).Rec(EMR_SELECTOBJECT, {1});
        e.Rec(EMR_MOVETOEX, {0, 48}).Rec(EMR_LINETO, {192, 48});
        const Picture p = PlayEmf(e);
        int dark = 0;
        for (int x = 10; x < 180; ++x) dark += At(p, x, 48) == kBlack;
        if (row.gaps) {
            EXPECT_TRUE(dark > 40 && dark < 160) << row.style << ": " << dark;
        } else {
            EXPECT_EQ(dark, 170) << row.style;
        }
        for (int y = row.darkFrom; y <= row.darkTo; ++y)
            EXPECT_EQ(At(p, 100, y), kBlack) << row.style << " row " << y;
        EXPECT_EQ(At(p, 100, row.darkFrom - 2), kWhite) << row.style;
        EXPECT_EQ(At(p, 100, row.darkTo + 2), kWhite) << row.style;
    }
    metafile::Emf none;
    none.Rec(EMR_CREATEPEN, {1, 5, 0, 0, 0}).Rec(EMR_SELECTOBJECT, {1});
    none.Rec(EMR_MOVETOEX, {0, 48}).Rec(EMR_LINETO, {192, 48});
    EXPECT_EQ(At(PlayEmf(none), 100, 48), kWhite);
}

TEST(EmfPlayer, TextIsPlacedByItsAlignmentOnItsBackground) {
    const struct {
        int64_t align;
        bool inkRight;
    } rows[] = {{0, true}, {2, false}};  // left and top; right and top
    for (const auto& row : rows) {
        metafile::Emf e;
        Bytes font;
        for (int v : {1, -24, 0, 0, 0, 400}) metafile::Put32(font, static_cast<uint32_t>(v));
        for (int i = 0; i < 8; ++i) font.push_back(0);
        const Bytes face = metafile::Utf16(u"DejaVu Sans");
        font.insert(font.end(), face.begin(), face.end());
        font.resize(4 + 92, 0);
        e.Raw(EMR_EXTCREATEFONTINDIRECTW, font).Rec(EMR_SELECTOBJECT, {1});
        e.Rec(EMR_SETTEXTALIGN, {row.align}).Rec(EMR_SETBKMODE, {2}).Rec(EMR_SETBKCOLOR, {kGreenRef});
        // Bounds, graphics mode, scales, then the text: reference, count, string offset,
        // options, rectangle, advances offset; the string follows at offset 76.
        Bytes text;
        for (int64_t v : {0, 0, 0, 0, 1, 0, 0, 96, 30, 3, 76, 0, 0, 0, 0, 0, 0})
            metafile::Put32(text, static_cast<uint32_t>(v));
        const Bytes hhh = metafile::Utf16(u"HHH");
        text.insert(text.end(), hhh.begin(), hhh.end());
        e.Raw(EMR_EXTTEXTOUTW, text);
        const Picture p = PlayEmf(e);
        int left = 0, right = 0, green = 0;
        for (int y = 30; y < 56; ++y)
            for (int x = 0; x < 192; ++x) {
                const Rgb c = At(p, x, y);
                if (c.r < 64 && c.g < 64 && c.b < 64) (x < 96 ? left : right)++;
                if (c == kGreen) ++green;
            }
        EXPECT_GT(row.inkRight ? right : left, 50) << row.align;
        EXPECT_EQ(row.inkRight ? left : right, 0) << row.align;
        EXPECT_GT(green, 200) << row.align;
        for (int x = 0; x < 192; ++x) EXPECT_EQ(At(p, x, 20), kWhite) << row.align;  // above the cell
    }
}

TEST(EmfPlayer, StretchDIBitsCountsSourceRowsFromTheBottom) {
    // A 1 x 2 bottom-up 32-bit bitmap: bottom pixel blue, top pixel red; only the top row
    // (source y 1 from the bottom) is drawn, over the left half.
    metafile::Emf e;
    Bytes r;
    for (int64_t v : {0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 80, 40, 120, 8, 0, 13369376, 96, 96})
        metafile::Put32(r, static_cast<uint32_t>(v));
    for (uint32_t v : {40u, 1u, 2u}) metafile::Put32(r, v);
    metafile::Put16(r, 1), metafile::Put16(r, 32);
    for (int i = 0; i < 6; ++i) metafile::Put32(r, 0);
    for (uint8_t b : {255, 0, 0, 0, 0, 0, 255, 0}) r.push_back(b);
    e.Raw(EMR_STRETCHDIBITS, r);
    const Picture p = PlayEmf(e);
    EXPECT_EQ(At(p, 40, 40), kRed);
    EXPECT_EQ(At(p, 150, 40), kWhite);
}

TEST(MetafileText, CharacterSetsAndUtf16BecomeCodePoints) {
    const uint8_t euro[] = {0x80, 'A'};
    const wmf::Canvas::Text ansi = wmf::DecodeAnsi(euro, 2, 0);
    EXPECT_EQ(ansi.chars, (std::vector<uint32_t>{0x20AC, 'A'}));
    const uint8_t gbk[] = {0xD6, 0xD0, 'x'};
    const wmf::Canvas::Text chinese = wmf::DecodeAnsi(gbk, 3, 134);
    EXPECT_EQ(chinese.chars, (std::vector<uint32_t>{0x4E2D, 'x'}));
    EXPECT_EQ(chinese.units, (std::vector<uint32_t>{2, 1}));
    const uint8_t broken[] = {'y', 0x81};  // a lead byte without its trail byte in Shift-JIS
    EXPECT_EQ(wmf::DecodeAnsi(broken, 2, 128).chars.size(), 2u);
    const uint8_t utf16[] = {0x3D, 0xD8, 0x00, 0xDE, 0x41, 0x00, 0x00, 0xDC};
    const wmf::Canvas::Text wide = wmf::DecodeUtf16(utf16, 4);
    EXPECT_EQ(wide.chars, (std::vector<uint32_t>{0x1F600, 'A', 0xFFFD}));
    EXPECT_EQ(wide.units, (std::vector<uint32_t>{2, 1, 1}));
}
