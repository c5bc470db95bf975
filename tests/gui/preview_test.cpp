// The preview: the fitting arithmetic and what the paint box shows.
#include "preview.h"

#include <QGroupBox>
#include <QImage>

#include "guitest.h"
#include "theme.h"

void PrintTo(const PreviewPlace& p, std::ostream* out) {
    *out << p.width << "x" << p.height << " at " << p.x << "," << p.y;
}

TEST(PreviewFit, LongerSideFillsTheBoxAndTheOtherMayOverflow) {
    struct Row {
        int32_t w, h;
        PreviewPlace place;
    };
    const Row rows[] = {
        {352, 288, {0, 19, 249, 203}},                // landscape: the box's width
        {100, 300, {84, 0, 80, 241}},                 // portrait: the box's height
        {200, 200, {0, -4, 249, 249}},                // square: the width, 4 pixels over at top and bottom
        {249, 241, {0, 0, 249, 241}},                 // the box's own size
        {1000, 3, {0, 120, 249, 0}},                  // too flat to show a row
        {2, 1000000, {124, 0, 0, 241}},               // too narrow to show a column
        {1 << 24, (1 << 24) - 1, {0, -3, 249, 248}},  // no 32-bit overflow
    };
    for (const Row& r : rows) {
        const auto place = FitPreview(r.w, r.h, 249, 241);
        ASSERT_TRUE(place.has_value()) << r.w << "x" << r.h;
        EXPECT_EQ(*place, r.place) << r.w << "x" << r.h;
    }
    EXPECT_FALSE(FitPreview(0, 0, 249, 241).has_value());  // a page that never loaded
    EXPECT_FALSE(FitPreview(0, 5, 249, 241).has_value());
}

namespace {

QRgb Rgb(uint32_t rgb) { return 0xff000000u | rgb; }

}  // namespace

class Preview : public Window {
protected:
    // The preview box as the window shows it, over its group.
    QImage Shown() { return form->GroupBox2->grab(form->PaintBox1->geometry()).toImage(); }
};

TEST_F(Preview, PaintsTheCurrentPageFittedOverTheGroupBackground) {
    Import({SolidPicture(dir, "tall.bmp", 100, 300, 0xd02010),
            SolidPicture(dir, "square.bmp", 200, 200, 0x20c040)});
    const QRgb background = kGroupBackground.rgb();

    PressRow(0);
    QImage shown = Shown();
    ASSERT_EQ(shown.size(), QSize(249, 241));
    // 80 x 241 at 84, 0
    for (int y : {0, 120, 240}) {
        EXPECT_EQ(shown.pixel(83, y), background) << y;
        EXPECT_EQ(shown.pixel(84, y), Rgb(0xd02010)) << y;
        EXPECT_EQ(shown.pixel(163, y), Rgb(0xd02010)) << y;
        EXPECT_EQ(shown.pixel(164, y), background) << y;
    }

    PressRow(1);
    shown = Shown();
    for (int y : {0, 240})  // overflowing at both ends, cut at the box
        for (int x : {0, 248}) EXPECT_EQ(shown.pixel(x, y), Rgb(0x20c040)) << x << "," << y;
}

TEST_F(Preview, PaintsNothingWithoutACurrentPageOrForAPageOfNoSize) {
    const auto untouched = [this] {
        const QImage shown = Shown();
        for (int y = 0; y < shown.height(); y += 8)
            for (int x = 0; x < shown.width(); x += 8)
                if (shown.pixel(x, y) != kGroupBackground.rgb()) return false;
        return true;
    };
    EXPECT_TRUE(untouched());
    ImportSolid(2);
    EXPECT_TRUE(untouched());  // imported, none selected
    PressRow(0);
    EXPECT_FALSE(untouched());
    form->ClearButton->click();
    EXPECT_TRUE(untouched());

    Import({dir / "p0.bmp", dir / "gone.bmp"});
    PressRow(1);  // does not load: width and height 0
    EXPECT_EQ(book().currentPage, 1);
    EXPECT_TRUE(untouched());
}
