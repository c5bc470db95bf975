// Realistic test pictures for the benchmarks, 1200 x 1800 each, as top-down rows with red
// first: a photograph-like picture, and a comic page (panel borders, line art, lettering,
// screentone and a photo panel); and their JPEGs made by plain libjpeg at quality 90.
#pragma once

// jpeglib.h needs size_t and FILE declared before it.
// clang-format off
#include <cstddef>
#include <cstdio>
#include <jpeglib.h>
// clang-format on

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

namespace bench {

inline constexpr uint32_t kWidth = 1200, kHeight = 1800;

// Smooth shading, a few frequencies of texture and sensor-like noise: roughly what a
// camera's picture costs the entropy coder, unlike a flat or purely random picture.
inline std::vector<uint8_t> PhotoRgb() {
    std::vector<uint8_t> rgb(size_t{kWidth} * kHeight * 3);
    uint32_t seed = 12345;
    for (uint32_t y = 0; y < kHeight; ++y)
        for (uint32_t x = 0; x < kWidth; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const double noise = ((seed >> 24) & 15) - 7.5;
            const double u = x / double(kWidth), v = y / double(kHeight);
            const double shade = 120 + 80 * std::sin(3.1 * u + 1.7 * v) + 25 * std::sin(40 * u * v);
            const double texture =
                18 * std::sin(x * 0.21) * std::cos(y * 0.13) + 10 * std::sin((x + y) * 0.05);
            const double base[3] = {shade + texture + 30 * v, shade * 0.8 + texture + 40 * u,
                                    shade * 0.6 - texture + 60 * (1 - v)};
            for (int c = 0; c < 3; ++c)
                rgb[(size_t{y} * kWidth + x) * 3 + c] =
                    static_cast<uint8_t>(std::clamp(base[c] + noise, 0.0, 255.0));
        }
    return rgb;
}

// A comic page drawn with anti-aliased edges, the way a page drawn or scanned at this size
// looks: large flat white areas, hard black strokes with grey edges, regular dot patterns
// and one busy colour panel. Each kind costs a codec differently, so together they stand
// for a book's pages better than any one of them.
class PagePainter {
   public:
    PagePainter() : rgb_(size_t{kWidth} * kHeight * 3, 255) {}

    std::vector<uint8_t> Take() { return std::move(rgb_); }

    // A straight stroke of the given width with round ends.
    void Stroke(double x0, double y0, double x1, double y1, double width, uint8_t level = 0) {
        const double half = width / 2, dx = x1 - x0, dy = y1 - y0, length2 = dx * dx + dy * dy;
        Cover(std::min(x0, x1) - half, std::min(y0, y1) - half, std::max(x0, x1) + half,
              std::max(y0, y1) + half, Gray(level), [&](double px, double py) {
                  double t = length2 > 0 ? ((px - x0) * dx + (py - y0) * dy) / length2 : 0;
                  t = std::clamp(t, 0.0, 1.0);
                  const double ex = px - (x0 + t * dx), ey = py - (y0 + t * dy);
                  return half + 0.5 - std::sqrt(ex * ex + ey * ey);
              });
    }

    // An ellipse filled with a colour, then outlined.
    void Balloon(double cx, double cy, double rx, double ry, double outline) {
        Cover(cx - rx, cy - ry, cx + rx, cy + ry, Gray(255), [&](double px, double py) {
            const double u = (px - cx) / rx, v = (py - cy) / ry;
            return (1 - std::sqrt(u * u + v * v)) * std::min(rx, ry) + 0.5;
        });
        constexpr int kSides = 96;
        for (int i = 0; i < kSides; ++i) {
            const double a0 = 2 * M_PI * i / kSides, a1 = 2 * M_PI * (i + 1) / kSides;
            Stroke(cx + rx * std::cos(a0), cy + ry * std::sin(a0), cx + rx * std::cos(a1),
                   cy + ry * std::sin(a1), outline);
        }
    }

    void Fill(int x0, int y0, int x1, int y1, uint8_t level) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) std::fill_n(At(x, y), 3, level);
    }

    // Screentone: black dots on a grid turned by 45 degrees, their size following the
    // darkness the panel asks for at each place.
    template <class Darkness>
    void Tone(int x0, int y0, int x1, int y1, double period, Darkness darkness) {
        const double c = std::cos(M_PI / 4), s = std::sin(M_PI / 4);
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) {
                const double px = x + 0.5, py = y + 0.5;
                const double u = (px * c + py * s) / period, v = (py * c - px * s) / period;
                const double du = (u - std::floor(u) - 0.5) * period, dv = (v - std::floor(v) - 0.5) * period;
                const double radius = period * 0.6 * std::sqrt(std::clamp(darkness(px, py), 0.0, 1.0));
                Blend(At(x, y), Gray(0), std::clamp(radius + 0.5 - std::sqrt(du * du + dv * dv), 0.0, 1.0));
            }
    }

    // Lettering: square glyphs of three to seven strokes each (bars, posts, slants, boxes),
    // laid out in columns read right to left, or in rows.
    void Text(double x, double y, int lines, int glyphs, double size, bool columns, uint32_t& seed) {
        for (int line = 0; line < lines; ++line)
            for (int g = 0; g < glyphs; ++g) {
                const double gx = columns ? x - line * size * 1.4 : x + g * size * 1.1;
                const double gy = columns ? y + g * size * 1.1 : y + line * size * 1.5;
                Glyph(gx, gy, size, seed);
            }
    }

    void Glyph(double x, double y, double size, uint32_t& seed) {
        const double w = std::max(1.6, size / 11);
        const int strokes = 3 + static_cast<int>(Next(seed) % 5);
        for (int i = 0; i < strokes; ++i) {
            const double a = 0.1 + 0.8 * (Next(seed) % 100) / 100.0;
            const double b = 0.1 + 0.8 * (Next(seed) % 100) / 100.0;
            const double l = 0.3 + 0.6 * (Next(seed) % 100) / 100.0;
            switch (Next(seed) % 4) {
                case 0:
                    Stroke(x + a * size, y + b * size, x + std::min(0.95, a + l) * size, y + b * size, w);
                    break;
                case 1:
                    Stroke(x + a * size, y + b * size, x + a * size, y + std::min(0.95, b + l) * size, w);
                    break;
                case 2:
                    Stroke(x + a * size, y + b * size, x + (a - l * 0.5) * size, y + (b + l * 0.6) * size, w);
                    break;
                default: {
                    const double x1 = x + std::min(0.95, a + l * 0.5) * size,
                                 y1 = y + std::min(0.95, b + l * 0.5) * size;
                    Stroke(x + a * size, y + b * size, x1, y + b * size, w);
                    Stroke(x1, y + b * size, x1, y1, w);
                    Stroke(x + a * size, y1, x1, y1, w);
                    Stroke(x + a * size, y + b * size, x + a * size, y1, w);
                }
            }
        }
    }

    void Frame(int x0, int y0, int x1, int y1, double width) {
        Stroke(x0, y0, x1, y0, width);
        Stroke(x1, y0, x1, y1, width);
        Stroke(x1, y1, x0, y1, width);
        Stroke(x0, y1, x0, y0, width);
    }

    // Strokes, balloons and lettering paint only inside this box.
    void Clip(int x0, int y0, int x1, int y1) { clip_[0] = x0, clip_[1] = y0, clip_[2] = x1, clip_[3] = y1; }

    uint8_t* At(int x, int y) { return &rgb_[(size_t(y) * kWidth + x) * 3]; }

    static uint32_t Next(uint32_t& seed) {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    }

   private:
    struct Color {
        uint8_t c[3];
    };
    static Color Gray(uint8_t level) { return {{level, level, level}}; }

    static void Blend(uint8_t* px, Color color, double coverage) {
        if (coverage <= 0) return;
        for (int k = 0; k < 3; ++k)
            px[k] = static_cast<uint8_t>(std::lround(px[k] * (1 - coverage) + color.c[k] * coverage));
    }

    // Paints every pixel of a box by the coverage `inside` gives at its centre.
    template <class Inside>
    void Cover(double x0, double y0, double x1, double y1, Color color, Inside inside) {
        const int ix0 = std::max(clip_[0], static_cast<int>(std::floor(x0)) - 1);
        const int iy0 = std::max(clip_[1], static_cast<int>(std::floor(y0)) - 1);
        const int ix1 = std::min(clip_[2], static_cast<int>(std::ceil(x1)) + 2);
        const int iy1 = std::min(clip_[3], static_cast<int>(std::ceil(y1)) + 2);
        for (int y = iy0; y < iy1; ++y)
            for (int x = ix0; x < ix1; ++x)
                Blend(At(x, y), color, std::clamp(inside(x + 0.5, y + 0.5), 0.0, 1.0));
    }

    std::vector<uint8_t> rgb_;
    int clip_[4] = {0, 0, static_cast<int>(kWidth), static_cast<int>(kHeight)};
};

// Four panels: a photograph across the top; a figure on screentone; a speech balloon with
// vertical lettering over speed lines; a wide scene of hatching and tone with a caption.
inline std::vector<uint8_t> PageRgb() {
    PagePainter page;
    uint32_t seed = 2024;

    const std::vector<uint8_t> photo = PhotoRgb();
    for (int y = 50; y < 650; ++y)
        std::copy_n(&photo[(size_t(y) * kWidth + 50) * 3], 1100 * 3, page.At(50, y));

    // Figure on tone: the tone darkens towards the bottom right; a head, a body and hair.
    page.Tone(50, 680, 585, 1230, 7.0,
              [](double x, double y) { return 0.15 + 0.6 * ((x - 50) / 535 + (y - 680) / 550) / 2; });
    page.Balloon(310, 860, 95, 110, 4);
    for (int i = 0; i < 40; ++i) {
        const double a = M_PI * (1.05 + 0.9 * i / 40.0);
        page.Stroke(310 + 90 * std::cos(a), 860 + 100 * std::sin(a), 310 + 150 * std::cos(a),
                    860 + 170 * std::sin(a) + 40, 3);
    }
    page.Stroke(280, 850, 300, 850, 5);
    page.Stroke(330, 850, 350, 850, 5);
    page.Stroke(300, 920, 330, 915, 3);
    page.Stroke(310, 970, 200, 1230, 6);
    page.Stroke(310, 970, 440, 1230, 6);
    for (int i = 0; i < 25; ++i) page.Stroke(230 + 8 * i, 1060 + (i % 3) * 20, 250 + 8 * i, 1220, 1.5);

    // Speed lines converging behind a balloon of vertical lettering.
    page.Clip(615, 680, 1150, 1230);
    for (int i = 0; i < 90; ++i) {
        const double a = 2 * M_PI * i / 90 + (PagePainter::Next(seed) % 100) / 3000.0;
        page.Stroke(880 + 130 * std::cos(a), 955 + 130 * std::sin(a), 880 + 420 * std::cos(a),
                    955 + 420 * std::sin(a), 1 + (PagePainter::Next(seed) % 4));
    }
    page.Balloon(880, 955, 170, 210, 3);
    page.Text(975, 800, 6, 11, 25, true, seed);
    page.Clip(0, 0, kWidth, kHeight);

    // Scene: hatched buildings, a tone sky and a boxed caption.
    page.Tone(50, 1260, 1150, 1450, 5.0, [](double, double y) { return 0.5 - (y - 1260) / 500; });
    for (int b = 0; b < 7; ++b) {
        const int left = 80 + b * 150, top = 1330 + static_cast<int>(PagePainter::Next(seed) % 120);
        page.Fill(left, top, left + 120, 1750, 255);
        page.Frame(left, top, left + 120, 1750, 3);
        for (int k = 0; k * 9 < 1750 - top; ++k)
            if ((k / 6) % 2 == 0)
                page.Stroke(left + 4, top + 5 + k * 9, left + 116, top + 5 + k * 9 - 6, 1.2);
        for (int w = 0; w < 12; ++w) {
            const int wx = left + 15 + (w % 3) * 35, wy = top + 30 + (w / 3) * 55;
            if (wy + 30 < 1745) page.Frame(wx, wy, wx + 20, wy + 30, 2);
        }
    }
    page.Fill(100, 1290, 700, 1380, 255);
    page.Frame(100, 1290, 700, 1380, 3);
    page.Text(115, 1302, 2, 22, 24, false, seed);

    page.Frame(50, 50, 1150, 650, 5);
    page.Frame(50, 680, 585, 1230, 5);
    page.Frame(615, 680, 1150, 1230, 5);
    page.Frame(50, 1260, 1150, 1750, 5);
    return page.Take();
}

// A JPEG in the block libjpeg's memory destination allocated.
class JpegFile {
   public:
    JpegFile(unsigned char* block, unsigned long bytes) : block_(block), bytes_(bytes) {}
    JpegFile(JpegFile&& from) noexcept : block_(from.block_), bytes_(from.bytes_) { from.block_ = nullptr; }
    JpegFile(const JpegFile&) = delete;
    JpegFile& operator=(const JpegFile&) = delete;
    ~JpegFile() { std::free(block_); }

    const uint8_t* data() const { return block_; }
    size_t size() const { return bytes_; }
    std::vector<uint8_t> Bytes() const { return std::vector<uint8_t>(block_, block_ + bytes_); }

   private:
    unsigned char* block_;
    unsigned long bytes_;
};

// Plain libjpeg at quality 90, 96 dots per inch. `row(y)` gives the y-th row from the top
// as 3-byte pixels in the order `order` names: JCS_RGB, or libjpeg-turbo's JCS_EXT_BGR for
// the engine's blue-first rows, which the library then reads without a copy.
template <class RowAt>
inline JpegFile Compress(J_COLOR_SPACE order, RowAt row) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&cinfo, &out, &outSize);
    cinfo.image_width = kWidth;
    cinfo.image_height = kHeight;
    cinfo.input_components = 3;
    cinfo.in_color_space = order;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, FALSE);
    cinfo.density_unit = 1;
    cinfo.X_density = cinfo.Y_density = 96;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW r = const_cast<JSAMPROW>(static_cast<const JSAMPLE*>(row(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &r, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return JpegFile(out, outSize);
}

// The JPEG of top-down rows with red first.
inline std::vector<uint8_t> CompressRgb(const std::vector<uint8_t>& rgb) {
    return Compress(JCS_RGB, [&](uint32_t y) { return &rgb[size_t{y} * kWidth * 3]; }).Bytes();
}

inline const std::vector<uint8_t>& PhotoJpeg() {
    static const std::vector<uint8_t> jpeg = CompressRgb(PhotoRgb());
    return jpeg;
}

}  // namespace bench
