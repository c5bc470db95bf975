// A realistic comic page for the benchmarks, 1200 x 1800 like the photograph of photo.h:
// white paper with panels framed in black, inked figures and hatching, speed lines, speech
// balloons holding rows of glyph-like strokes, screentone dots whose size follows a
// gradient, and one panel holding the photograph. Each seed gives another layout, so that a
// book's pages differ as a real book's do; the JPEG is made by plain libjpeg at quality 90.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "photo.h"

namespace bench {

class ComicCanvas {
   public:
    ComicCanvas() : rgb_(size_t{kWidth} * kHeight * 3, 255) {}

    struct Box {
        int x0, y0, x1, y1;  // x1, y1 excluded
    };

    std::vector<uint8_t>& rgb() { return rgb_; }

    // Ink over paper: the darker of what is there and the ink, as a pen on paper.
    void Ink(int x, int y, uint8_t level) {
        if (x < 0 || y < 0 || x >= int(kWidth) || y >= int(kHeight)) return;
        uint8_t* p = &rgb_[(size_t(y) * kWidth + size_t(x)) * 3];
        for (int c = 0; c < 3; ++c) p[c] = std::min(p[c], level);
    }

    void Fill(Box b, uint8_t r, uint8_t g, uint8_t bl) {
        for (int y = std::max(b.y0, 0); y < std::min(b.y1, int(kHeight)); ++y)
            for (int x = std::max(b.x0, 0); x < std::min(b.x1, int(kWidth)); ++x) {
                uint8_t* p = &rgb_[(size_t(y) * kWidth + size_t(x)) * 3];
                p[0] = r, p[1] = g, p[2] = bl;
            }
    }

    // A round pen of the given radius with a soft edge, as scanned ink has.
    void Dot(double cx, double cy, double radius) {
        const int x0 = int(std::floor(cx - radius - 1)), x1 = int(std::ceil(cx + radius + 1));
        const int y0 = int(std::floor(cy - radius - 1)), y1 = int(std::ceil(cy + radius + 1));
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                const double d = std::hypot(x - cx, y - cy);
                const double cover = std::clamp(radius + 0.5 - d, 0.0, 1.0);
                if (cover > 0) Ink(x, y, uint8_t(255 * (1 - cover)));
            }
    }

    void Line(double x0, double y0, double x1, double y1, double width) {
        const double length = std::hypot(x1 - x0, y1 - y0);
        const int steps = std::max(1, int(length / std::max(0.5, width * 0.4)));
        for (int s = 0; s <= steps; ++s)
            Dot(x0 + (x1 - x0) * s / steps, y0 + (y1 - y0) * s / steps, width / 2);
    }

    // A quadratic curve, the stroke most line art is made of.
    void Curve(double x0, double y0, double cx, double cy, double x1, double y1, double width) {
        double px = x0, py = y0;
        for (int s = 1; s <= 24; ++s) {
            const double t = s / 24.0, u = 1 - t;
            const double x = u * u * x0 + 2 * u * t * cx + t * t * x1;
            const double y = u * u * y0 + 2 * u * t * cy + t * t * y1;
            Line(px, py, x, y, width);
            px = x, py = y;
        }
    }

    void Ellipse(double cx, double cy, double rx, double ry, double width, bool whiteInside) {
        if (whiteInside)
            for (int y = int(cy - ry); y <= int(cy + ry); ++y)
                for (int x = int(cx - rx); x <= int(cx + rx); ++x) {
                    const double u = (x - cx) / rx, v = (y - cy) / ry;
                    if (u * u + v * v <= 1 && x >= 0 && y >= 0 && x < int(kWidth) && y < int(kHeight)) {
                        uint8_t* p = &rgb_[(size_t(y) * kWidth + size_t(x)) * 3];
                        p[0] = p[1] = p[2] = 255;
                    }
                }
        const int steps = int(2 * 3.14159265 * std::max(rx, ry) / 2);
        for (int s = 0; s < steps; ++s) {
            const double a = 2 * 3.14159265 * s / steps, b = 2 * 3.14159265 * (s + 1) / steps;
            Line(cx + rx * std::cos(a), cy + ry * std::sin(a), cx + rx * std::cos(b), cy + ry * std::sin(b),
                 width);
        }
    }

    // Screentone: dots on a 45-degree grid, 7 pixels apart, growing from left to right.
    void Screentone(Box b, double smallest, double largest) {
        constexpr double kPitch = 7.0;
        for (int y = std::max(b.y0, 0); y < std::min(b.y1, int(kHeight)); ++y)
            for (int x = std::max(b.x0, 0); x < std::min(b.x1, int(kWidth)); ++x) {
                const double u = (x + y) / (kPitch * 1.41421356), v = (x - y) / (kPitch * 1.41421356);
                const double du = (u - std::round(u)) * kPitch * 1.41421356 / 2;
                const double dv = (v - std::round(v)) * kPitch * 1.41421356 / 2;
                const double radius = smallest + (largest - smallest) * (x - b.x0) / double(b.x1 - b.x0);
                const double cover = std::clamp(radius + 0.5 - std::hypot(du, dv), 0.0, 1.0);
                if (cover > 0) Ink(x, y, uint8_t(255 * (1 - cover)));
            }
    }

    // Text: rows of 18-pixel glyphs, each a few horizontal, vertical and slanted strokes.
    void Text(Box b, uint32_t& seed) {
        for (int y = b.y0; y + 18 <= b.y1; y += 24)
            for (int x = b.x0; x + 18 <= b.x1; x += 21) {
                const int strokes = 3 + int(Next(seed) % 5);
                for (int s = 0; s < strokes; ++s) {
                    const int kind = int(Next(seed) % 4);
                    const double a = Next(seed) % 16, c = Next(seed) % 16;
                    if (kind == 0)
                        Line(x + 1, y + a, x + 17, y + a, 1.6);
                    else if (kind == 1)
                        Line(x + a, y + 1, x + a, y + 17, 1.6);
                    else
                        Line(x + a, y + 1, x + c, y + 17, 1.6);
                }
            }
    }

    // A part of the photograph of photo.h, from (left, top) of the photograph on.
    void Photo(Box b, int left, int top) {
        static const std::vector<uint8_t> photo = PhotoRgb();
        for (int y = b.y0; y < b.y1; ++y)
            for (int x = b.x0; x < b.x1; ++x) {
                const size_t sx = size_t(x - b.x0 + left), sy = size_t(y - b.y0 + top);
                std::copy_n(&photo[(sy * kWidth + sx) * 3], 3, &rgb_[(size_t(y) * kWidth + size_t(x)) * 3]);
            }
    }

    static uint32_t Next(uint32_t& seed) {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    }

   private:
    std::vector<uint8_t> rgb_;
};

inline std::vector<uint8_t> ComicRgb(uint32_t seed) {
    using Box = ComicCanvas::Box;
    ComicCanvas page;
    seed = seed * 2654435761u + 7;
    auto next = [&](uint32_t n) { return int(ComicCanvas::Next(seed) % n); };

    // Three tiers of one to three panels inside a 60-pixel margin, 16-pixel gutters.
    const int margin = 60, gutter = 16;
    const int tierHeights[3] = {520 + next(80), 480 + next(100), 0};
    const int tops[3] = {margin, margin + tierHeights[0] + gutter,
                         margin + tierHeights[0] + gutter + tierHeights[1] + gutter};
    const int bottoms[3] = {tops[0] + tierHeights[0], tops[1] + tierHeights[1], int(kHeight) - margin};
    const int photoTier = next(3);
    for (int tier = 0; tier < 3; ++tier) {
        const int panels = 1 + next(3);
        int left = margin;
        for (int p = 0; p < panels; ++p) {
            const int right = p + 1 == panels
                                  ? int(kWidth) - margin
                                  : left + (int(kWidth) - 2 * margin) / panels - gutter / 2 + next(60) - 30;
            const Box box{left, tops[tier], right, bottoms[tier]};
            const int w = box.x1 - box.x0, h = box.y1 - box.y0;

            if (tier == photoTier && p == 0) {
                page.Photo(box, next(int(kWidth) - w + 1), next(int(kHeight) - h + 1));
            } else {
                // The lower part of the panel in screentone, graded across.
                page.Screentone({box.x0, box.y0 + h / 2 + next(h / 4), box.x1, box.y1}, 0.4, 2.6 + next(2));
                // Speed lines from a point in the panel to its top edge.
                const double fx = box.x0 + w * 0.5, fy = box.y0 + h * 0.6;
                for (int s = 0; s < 30 + next(40); ++s) {
                    const double tx = box.x0 + next(w);
                    page.Line(tx, box.y0 + 2, fx + (tx - fx) * 0.55, box.y0 + (fy - box.y0) * 0.45, 1.0);
                }
                // A figure: head, hair strokes, body and arms, with hatching for shade.
                const double hx = box.x0 + w * (0.3 + 0.4 * next(100) / 100.0), hy = box.y0 + h * 0.45;
                const double r = std::min(w, h) * 0.12;
                page.Ellipse(hx, hy, r, r * 1.15, 3.0, true);
                for (int s = 0; s < 40; ++s) {
                    const double a = 3.14159265 * (1.05 + 0.9 * s / 40.0);
                    page.Curve(hx + r * std::cos(a), hy + r * std::sin(a),
                               hx + 1.4 * r * std::cos(a) + next(20) - 10, hy + 1.5 * r * std::sin(a) - 10,
                               hx + 1.1 * r * std::cos(a - 0.3), hy + 1.6 * r * std::sin(a) + next(30), 1.8);
                }
                page.Line(hx, hy + r * 1.15, hx - r * 0.2, hy + 3.5 * r, 4.0);
                page.Curve(hx, hy + 1.8 * r, hx - 1.5 * r, hy + 2.0 * r, hx - 2.2 * r, hy + 3.0 * r, 3.5);
                page.Curve(hx, hy + 1.8 * r, hx + 1.6 * r, hy + 1.6 * r, hx + 2.0 * r, hy + 0.8 * r, 3.5);
                for (int s = 0; s < 14; ++s)
                    page.Line(hx + r * 0.2 + s * 4, hy - r * 0.3, hx - r * 0.2 + s * 4, hy + r * 0.8, 1.0);
                // A speech balloon with text and its tail.
                const double bx = box.x0 + w * 0.72, by = box.y0 + h * 0.22;
                const double brx = std::min(w * 0.25, 170.0), bry = std::min(h * 0.16, 90.0);
                page.Line(bx - brx * 0.3, by + bry * 0.8, hx + r, hy - r * 0.5, 2.5);
                page.Ellipse(bx, by, brx, bry, 2.5, true);
                page.Text(
                    {int(bx - brx * 0.65), int(by - bry * 0.55), int(bx + brx * 0.65), int(by + bry * 0.6)},
                    seed);
            }
            // The panel's frame.
            page.Fill({box.x0 - 2, box.y0 - 2, box.x1 + 2, box.y0 + 2}, 0, 0, 0);
            page.Fill({box.x0 - 2, box.y1 - 2, box.x1 + 2, box.y1 + 2}, 0, 0, 0);
            page.Fill({box.x0 - 2, box.y0 - 2, box.x0 + 2, box.y1 + 2}, 0, 0, 0);
            page.Fill({box.x1 - 2, box.y0 - 2, box.x1 + 2, box.y1 + 2}, 0, 0, 0);
            left = right + gutter;
        }
    }
    // A caption under the last tier and the page number.
    page.Text({margin, int(kHeight) - margin + 12, 700, int(kHeight) - 12}, seed);
    return std::move(page.rgb());
}

inline std::vector<uint8_t> ComicJpeg(uint32_t seed) { return CompressRgb(ComicRgb(seed)); }

}  // namespace bench
