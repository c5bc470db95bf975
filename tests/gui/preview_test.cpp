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
        {352, 288, {0, 19, 249, 203}},   // landscape: the box's width
        {100, 300, {84, 0, 80, 241}},    // portrait: the box's height
        {200, 200, {0, -4, 249, 249}},   // square: the width, 4 pixels over at top and bottom
        {249, 241, {0, 0, 249, 241}},    // the box's own size
        {1000, 3, {0, 120, 249, 1}},     // too flat for a row: still one
        {2, 1000000, {124, 0, 1, 241}},  // too narrow for a column: still one
        {2000, 1, {0, 120, 249, 1}},
        {1, 2000, {124, 0, 1, 241}},
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
    PressRow(1);  // does not load: width and height 0, and the box says so instead
    EXPECT_EQ(book().currentPage, 1);
    EXPECT_FALSE(untouched());
}

TEST_F(Preview, VeryThinPicturesShowAtLeastOnePixel) {
    struct Row {
        uint32_t w, h;
        QPoint inside;  // a pixel of the one-pixel line
    };
    const Row rows[] = {{1, 2000, {124, 120}}, {2000, 1, {124, 120}}, {3, 1000, {124, 10}}};
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.w) + "x" + std::to_string(r.h));
        form->ClearButton->click();
        Import({SolidPicture(dir, "thin.bmp", r.w, r.h, 0xf0e010)});
        PressRow(0);
        EXPECT_EQ(Shown().pixel(r.inside), Rgb(0xf0e010));
    }
}

TEST_F(Preview, UnreadablePictureIsNamedWithTheReasonInTheBox) {
    const std::string bad = dir / "b.bmp";
    WriteFile(bad, "BM this is not a bitmap");
    Import({SolidPicture(dir, "a.bmp", 8, 8, 0x102030), bad, dir / "gone.png"});
    PressRow(1);
    const QImage unreadable = Shown();
    Picture engine;
    EXPECT_FALSE(engine.Load(bad.c_str(), ImageFormat::Bmp));
    EXPECT_EQ(book().currentError, engine.GetLastError());
    EXPECT_EQ(TPanelleForm::UnreadableText(bad, book().currentError),
              QStringLiteral("Cannot read b.bmp:\n") + engine.GetLastError());
    // The words are drawn in the box, in the window's text colour over the group background.
    int written = 0;
    for (int y = 0; y < unreadable.height(); ++y)
        for (int x = 0; x < unreadable.width(); ++x)
            written += unreadable.pixel(x, y) != kGroupBackground.rgb();
    EXPECT_GT(written, 50);

    PressRow(2);  // missing: the reason is the file system's
    EXPECT_EQ(book().currentError, "Load: No such file or directory");
    EXPECT_NE(Shown(), unreadable);
    PressRow(0);
    EXPECT_TRUE(book().currentError.empty());
}

namespace {

// A PPM (rows top-down) of white with its top-left quarter red.
std::string QuarterRed(const TempDir& dir, const std::string& name, int w, int h) {
    std::string data = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            data += x < w / 2 && y < h / 2 ? std::string("\xff\x00\x00", 3) : "\xff\xff\xff";
    const std::string path = dir / name;
    WriteFile(path, data);
    return path;
}

}  // namespace

// The phone view shows the page as the book will hold it, 1:1 from its top-left corner, in a
// frame of the screen's size centred in the box (176 x 208 in 249 x 241: at 36, 16).
TEST_F(Preview, PhoneViewShowsTheWrittenPageAtOneToOneFromItsTopLeft) {
    EXPECT_EQ(form->PhoneViewCheck->text(), QStringLiteral("手机预览"));
    EXPECT_EQ(form->PhoneViewCheck->geometry(), QRect(200, 278, 113, 19));
    Import({QuarterRed(dir, "page.ppm", 352, 624), SolidPicture(dir, "small.bmp", 100, 50, 0x2040f0)});
    PressRow(0);
    QTest::mouseClick(form->PhoneViewCheck, Qt::LeftButton, {}, QPoint(8, 9));
    ASSERT_TRUE(form->PhoneViewCheck->isChecked());
    const QRgb backdrop = Rgb(0x303030), red = Rgb(0xff0000), white = Rgb(0xffffff);

    // At its own size the page's red quarter (176 x 312) covers the whole screen.
    QImage shown = Shown();
    EXPECT_EQ(shown.pixel(34, 100), kGroupBackground.rgb());
    EXPECT_EQ(shown.pixel(35, 100), Rgb(0x606060));  // the frame
    for (const QPoint p : {QPoint(36, 16), QPoint(211, 16), QPoint(36, 223), QPoint(211, 223)})
        EXPECT_EQ(shown.pixel(p), red) << p.x() << "," << p.y();

    // Fitted to the width, the page is 176 x 312 and its red quarter 88 x 156.
    book().pageFit.fit = 1;
    form->PaintBox1->repaint();
    shown = Shown();
    EXPECT_EQ(shown.pixel(36 + 80, 16 + 150), red);
    EXPECT_EQ(shown.pixel(36 + 95, 16 + 10), white);
    EXPECT_EQ(shown.pixel(36 + 10, 16 + 165), white);

    // A page smaller than the screen leaves the viewer's backdrop around it.
    PressRow(1);
    shown = Shown();
    EXPECT_EQ(shown.pixel(36 + 50, 16 + 25), Rgb(0x2040f0));
    EXPECT_EQ(shown.pixel(36 + 150, 16 + 25), backdrop);
    EXPECT_EQ(shown.pixel(36 + 50, 16 + 100), backdrop);

    // Unticked, the preview fits the page into the box again.
    QTest::mouseClick(form->PhoneViewCheck, Qt::LeftButton, {}, QPoint(8, 9));
    EXPECT_EQ(Shown().pixel(0, 120), Rgb(0x2040f0));
}
