// Colour reduction: grey conversion, and reduction to a palette of at most N colours. The
// palette of a colour picture comes from a variance-splitting median cut over a 5-bit-per-
// channel histogram, refined by a few rounds of k-means on the histogram's cells; grey
// pictures take evenly spaced levels. Pixels go to their nearest entry, optionally with
// Floyd-Steinberg error diffusion over a serpentine scan.
#include "quantize.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <unordered_map>
#include <vector>

namespace {

struct Colour {
    float b, g, r;
};

float Distance(const Colour& a, const Colour& b) {
    const float db = a.b - b.b, dg = a.g - b.g, dr = a.r - b.r;
    return db * db + dg * dg + dr * dr;
}

// Blue, green, red of one pixel row, whatever the picture's depth.
void ReadRow(const Picture& picture, int32_t y, uint8_t* bgr) {
    const int32_t width = picture.header.biWidth;
    const uint8_t* row = picture.info.bits + static_cast<uint64_t>(y) * picture.info.effWidth;
    if (picture.GetBpp() == 24) {
        std::memcpy(bgr, row, static_cast<size_t>(width) * 3);
        return;
    }
    const RGBQUAD* palette = picture.GetPalette();
    const uint32_t colours = picture.GetNumColors();
    for (int32_t x = 0; x < width; ++x, bgr += 3) {
        const uint8_t index = picture.GetBpp() == 8 ? row[x] : picture.BlindGetPixelIndex(x, y);
        const RGBQUAD c = index < colours ? palette[index] : RGBQUAD{0, 0, 0, 0};
        bgr[0] = c.rgbBlue, bgr[1] = c.rgbGreen, bgr[2] = c.rgbRed;
    }
}

// Nearest palette entry by squared distance: the entries sorted by green, searched outward
// from the query's green until the green difference alone exceeds the best distance.
class NearestEntry {
   public:
    explicit NearestEntry(const std::vector<Colour>& palette) : palette_(palette) {
        order_.resize(palette.size());
        for (size_t i = 0; i < order_.size(); ++i) order_[i] = static_cast<uint32_t>(i);
        std::sort(order_.begin(), order_.end(),
                  [&](uint32_t a, uint32_t b) { return palette[a].g < palette[b].g; });
        greens_.resize(order_.size());
        for (size_t i = 0; i < order_.size(); ++i) greens_[i] = palette[order_[i]].g;
    }

    uint32_t Find(const Colour& c) const {
        const size_t n = order_.size();
        size_t up =
            static_cast<size_t>(std::lower_bound(greens_.begin(), greens_.end(), c.g) - greens_.begin());
        size_t down = up;  // entries below `down` and from `up` on are still to visit
        float best = INFINITY;
        uint32_t answer = order_[up < n ? up : n - 1];
        while (up < n || down > 0) {
            if (up < n) {
                const float dg = greens_[up] - c.g;
                if (dg * dg >= best) {
                    up = n;
                } else {
                    const float d = Distance(palette_[order_[up]], c);
                    if (d < best) best = d, answer = order_[up];
                    ++up;
                }
            }
            if (down > 0) {
                const float dg = c.g - greens_[down - 1];
                if (dg * dg >= best) {
                    down = 0;
                } else {
                    const float d = Distance(palette_[order_[down - 1]], c);
                    if (d < best) best = d, answer = order_[down - 1];
                    --down;
                }
            }
        }
        return answer;
    }

   private:
    const std::vector<Colour>& palette_;
    std::vector<uint32_t> order_;
    std::vector<float> greens_;
};

// One cell of the histogram: its pixel count and the mean of its pixels.
struct Cell {
    Colour mean;
    double weight;
};

struct Stats {
    double weight = 0, b = 0, g = 0, r = 0, squares = 0;
    void Add(const Cell& c) {
        weight += c.weight;
        b += c.weight * c.mean.b, g += c.weight * c.mean.g, r += c.weight * c.mean.r;
        squares += c.weight * (c.mean.b * c.mean.b + c.mean.g * c.mean.g + c.mean.r * c.mean.r);
    }
    Stats Minus(const Stats& o) const {
        return {weight - o.weight, b - o.b, g - o.g, r - o.r, squares - o.squares};
    }
    double Error() const { return weight > 0 ? squares - (b * b + g * g + r * r) / weight : 0; }
    Colour Mean() const {
        return weight > 0 ? Colour{float(b / weight), float(g / weight), float(r / weight)} : Colour{0, 0, 0};
    }
};

// Splits the cells into `colours` boxes, each time the box of largest squared error along
// its axis of largest spread at the point that leaves the least error, then moves the
// means to their cells' centroids until they settle.
std::vector<Colour> AdaptedPalette(std::vector<Cell>& cells, uint32_t colours) {
    struct Box {
        size_t begin, end;
        Stats stats;
    };
    std::vector<Box> boxes;
    {
        Box all{0, cells.size(), {}};
        for (const Cell& c : cells) all.stats.Add(c);
        boxes.push_back(all);
    }
    std::vector<Stats> prefix;
    while (boxes.size() < colours) {
        size_t pick = boxes.size();
        double worst = 0;
        for (size_t i = 0; i < boxes.size(); ++i)
            if (boxes[i].end - boxes[i].begin > 1 && boxes[i].stats.Error() > worst)
                worst = boxes[i].stats.Error(), pick = i;
        if (pick == boxes.size()) break;
        Box box = boxes[pick];
        // The axis of largest variance.
        const Colour mean = box.stats.Mean();
        double spread[3] = {0, 0, 0};
        for (size_t i = box.begin; i < box.end; ++i) {
            const Colour& m = cells[i].mean;
            spread[0] += cells[i].weight * (m.b - mean.b) * (m.b - mean.b);
            spread[1] += cells[i].weight * (m.g - mean.g) * (m.g - mean.g);
            spread[2] += cells[i].weight * (m.r - mean.r) * (m.r - mean.r);
        }
        const int axis = spread[1] >= spread[0] && spread[1] >= spread[2] ? 1
                         : spread[2] >= spread[0]                         ? 2
                                                                          : 0;
        const auto key = [axis](const Cell& c) {
            return axis == 0 ? c.mean.b : axis == 1 ? c.mean.g : c.mean.r;
        };
        std::sort(cells.begin() + static_cast<std::ptrdiff_t>(box.begin),
                  cells.begin() + static_cast<std::ptrdiff_t>(box.end),
                  [&](const Cell& a, const Cell& b) { return key(a) < key(b); });
        prefix.assign(1, Stats{});
        for (size_t i = box.begin; i < box.end; ++i) {
            Stats s = prefix.back();
            s.Add(cells[i]);
            prefix.push_back(s);
        }
        size_t split = 1;
        double least = INFINITY;
        for (size_t k = 1; k < prefix.size() - 1; ++k) {
            const double e = prefix[k].Error() + box.stats.Minus(prefix[k]).Error();
            if (e < least) least = e, split = k;
        }
        boxes[pick] = Box{box.begin, box.begin + split, prefix[split]};
        boxes.push_back(Box{box.begin + split, box.end, box.stats.Minus(prefix[split])});
    }

    std::vector<Colour> palette;
    for (const Box& b : boxes) palette.push_back(b.stats.Mean());
    constexpr int kRounds = 8;
    std::vector<Stats> sums(palette.size());
    for (int round = 0; round < kRounds; ++round) {
        const NearestEntry nearest(palette);
        std::fill(sums.begin(), sums.end(), Stats{});
        for (const Cell& c : cells) sums[nearest.Find(c.mean)].Add(c);
        float moved = 0;
        for (size_t i = 0; i < palette.size(); ++i) {
            if (sums[i].weight <= 0) continue;
            const Colour m = sums[i].Mean();
            moved = std::max(moved, Distance(m, palette[i]));
            palette[i] = m;
        }
        if (moved < 0.01f) break;
    }
    return palette;
}

uint8_t ToByte(float v) {
    if (!(v > 0)) return 0;
    if (v >= 254.5f) return 255;
    return static_cast<uint8_t>(v + 0.5f);
}

uint32_t BitsFor(uint32_t colours) { return colours <= 2 ? 1 : colours <= 16 ? 4 : 8; }

// The result takes this picture's information, resolution and alpha plane.
bool StartResult(Picture& self, Picture& result, uint32_t bpp) {
    result.CopyInfo(self);
    if (!result.Create(self.GetWidth(), self.GetHeight(), bpp, self.GetType())) {
        self.SetLastError(result.GetLastError());
        return false;
    }
    result.info.transIndex = -1;
    result.info.alphaPaletteEnabled = false;
    result.info.lastColorValid = false;
    result.SetXDpi(self.info.xDpi);
    result.SetYDpi(self.info.yDpi);
    return true;
}

bool FinishResult(Picture& self, Picture& result) {
    result.alpha = self.alpha;  // same width and height, so the plane fits as it is
    self.alpha = nullptr;
    return self.Transfer(result);
}

}  // namespace

uint8_t GreyLevel(RGBQUAD color) {
    return static_cast<uint8_t>((117 * color.rgbBlue + 601 * color.rgbGreen + 306 * color.rgbRed) >> 10);
}

bool HasGreyPalette(const Picture& picture) {
    const RGBQUAD* palette = picture.GetPalette();
    if (!palette) return false;
    for (uint32_t i = 0; i < picture.GetNumColors(); ++i)
        if (palette[i].rgbBlue != palette[i].rgbGreen || palette[i].rgbGreen != palette[i].rgbRed)
            return false;
    return true;
}

bool MoveTransparencyToAlpha(Picture& picture) {
    if (!picture.IsValid()) return true;
    const RGBQUAD* palette = picture.GetPalette();
    const bool paletteAlpha = palette && picture.info.alphaPaletteEnabled;
    const int32_t key = picture.info.transIndex;
    if (key < 0 && !paletteAlpha) return true;
    const int32_t width = picture.header.biWidth, height = picture.header.biHeight;
    const RGBQUAD keyColour = picture.GetTransColor();
    // Opacity of every pixel by the picture's own transparency.
    const auto opacity = [&](int32_t x, int32_t y) -> uint8_t {
        if (palette) {
            const uint8_t index = picture.BlindGetPixelIndex(x, y);
            if (index == key) return 0;
            return paletteAlpha && index < picture.GetNumColors() ? palette[index].rgbReserved : 255;
        }
        const uint8_t* p = picture.GetPixelPointer(x, y);
        return p[0] == keyColour.rgbBlue && p[1] == keyColour.rgbGreen && p[2] == keyColour.rgbRed ? 0 : 255;
    };
    bool any = false;
    for (int32_t y = 0; y < height && !any; ++y)
        for (int32_t x = 0; x < width && !any; ++x) any = opacity(x, y) != 255;
    if (any) {
        const bool hadPlane = picture.AlphaIsValid();
        picture.AlphaCreate();
        if (!picture.AlphaIsValid()) return false;
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) {
                uint8_t* a = picture.alpha + static_cast<uint64_t>(y) * width + x;
                const uint8_t o = opacity(x, y);
                *a = hadPlane ? static_cast<uint8_t>(*a * o / 255) : o;
            }
    }
    picture.info.transIndex = -1;
    picture.info.alphaPaletteEnabled = false;
    return true;
}

bool Picture::ConvertToGrey() {
    if (!dib) {
        SetLastError("ConvertToGrey: the picture is empty");
        return false;
    }
    if (GetBpp() == 8 && IsGrayScale() && info.transIndex < 0 && !info.alphaPaletteEnabled) return true;
    Picture result;
    if (!StartResult(*this, result, 8)) return false;
    if (!MoveTransparencyToAlpha(*this)) {
        SetLastError("ConvertToGrey: not enough memory for the transparency");
        return false;
    }
    result.SetGrayPalette();
    const int32_t width = header.biWidth;
    std::vector<uint8_t> bgr(static_cast<size_t>(width) * 3);
    for (int32_t y = 0; y < header.biHeight; ++y) {
        ReadRow(*this, y, bgr.data());
        uint8_t* out = result.info.bits + static_cast<uint64_t>(y) * result.info.effWidth;
        for (int32_t x = 0; x < width; ++x)
            out[x] = GreyLevel(RGBQUAD{bgr[3 * x], bgr[3 * x + 1], bgr[3 * x + 2], 0});
    }
    return FinishResult(*this, result);
}

bool Picture::ReduceColors(uint32_t colors, bool dither) {
    if (!dib) {
        SetLastError("ReduceColors: the picture is empty");
        return false;
    }
    if (colors < 2 || colors > 256) {
        SetLastError("ReduceColors: the number of colours must be 2 to 256");
        return false;
    }
    Picture result;
    if (!StartResult(*this, result, BitsFor(colors))) return false;
    if (!MoveTransparencyToAlpha(*this)) {
        SetLastError("ReduceColors: not enough memory for the transparency");
        return false;
    }
    const int32_t width = header.biWidth, height = header.biHeight;
    std::vector<uint8_t> bgr(static_cast<size_t>(width) * 3);
    // Fully transparent pixels take no part in choosing the palette.
    const auto visible = [&](int32_t x, int32_t y) {
        return !alpha || alpha[static_cast<uint64_t>(y) * width + x] != 0;
    };

    bool grey = HasGreyPalette(*this);
    if (!grey && GetBpp() == 24) {
        grey = true;
        for (int32_t y = 0; y < height && grey; ++y) {
            const uint8_t* p = info.bits + static_cast<uint64_t>(y) * info.effWidth;
            for (int32_t x = 0; x < width && grey; ++x, p += 3) grey = p[0] == p[1] && p[1] == p[2];
        }
    }

    std::vector<Colour> palette;
    if (grey) {
        for (uint32_t k = 0; k < colors; ++k) {
            const float v = std::round(k * 255.0f / (colors - 1));
            palette.push_back({v, v, v});
        }
    } else {
        // Up to `colors` distinct colours are kept exactly; more go through the histogram.
        std::unordered_map<uint32_t, uint32_t> distinct;
        std::vector<uint32_t> counts(32768, 0);
        std::vector<uint64_t> sums(32768 * 3, 0);
        for (int32_t y = 0; y < height; ++y) {
            ReadRow(*this, y, bgr.data());
            for (int32_t x = 0; x < width; ++x) {
                if (!visible(x, y)) continue;
                const uint8_t* p = &bgr[3 * static_cast<size_t>(x)];
                if (distinct.size() <= colors) distinct.emplace(p[0] | p[1] << 8 | p[2] << 16, 0);
                const uint32_t cell = (p[2] >> 3) << 10 | (p[1] >> 3) << 5 | p[0] >> 3;
                ++counts[cell];
                sums[3 * cell] += p[0], sums[3 * cell + 1] += p[1], sums[3 * cell + 2] += p[2];
            }
        }
        if (distinct.size() <= colors) {
            for (const auto& [c, unused] : distinct)
                palette.push_back({float(c & 255), float(c >> 8 & 255), float(c >> 16)});
        } else {
            std::vector<Cell> cells;
            for (uint32_t i = 0; i < 32768; ++i)
                if (counts[i])
                    cells.push_back(
                        {{float(double(sums[3 * i]) / counts[i]), float(double(sums[3 * i + 1]) / counts[i]),
                          float(double(sums[3 * i + 2]) / counts[i])},
                         double(counts[i])});
            palette = AdaptedPalette(cells, colors);
        }
        if (palette.empty()) palette.push_back({0, 0, 0});
        for (Colour& c : palette) c = {std::round(c.b), std::round(c.g), std::round(c.r)};
        // Darkest first, as grey ramps run.
        std::sort(palette.begin(), palette.end(), [](const Colour& a, const Colour& b) {
            return GreyLevel(RGBQUAD{ToByte(a.b), ToByte(a.g), ToByte(a.r), 0}) <
                   GreyLevel(RGBQUAD{ToByte(b.b), ToByte(b.g), ToByte(b.r), 0});
        });
    }
    for (uint32_t i = 0; i < palette.size(); ++i)
        result.SetPaletteColor(static_cast<uint8_t>(i), ToByte(palette[i].r), ToByte(palette[i].g),
                               ToByte(palette[i].b));

    const NearestEntry nearest(palette);
    const float levelStep = grey ? 255.0f / (colors - 1) : 0.0f;
    const auto choose = [&](const Colour& c) -> uint32_t {
        if (grey)
            return static_cast<uint32_t>(std::clamp(std::lround(c.g / levelStep), 0l, long(colors) - 1));
        return nearest.Find(c);
    };

    // Error rows for the serpentine scan, one pixel of margin on each side.
    std::vector<Colour> here(static_cast<size_t>(width) + 2, Colour{0, 0, 0}), next(here);
    uint8_t* const bits = result.info.bits;
    const uint64_t stride = result.info.effWidth;
    const uint16_t bpp = result.GetBpp();
    Colour last{-1, -1, -1};
    uint32_t lastIndex = 0;
    int32_t line = 0;
    for (int32_t y = height - 1; y >= 0; --y, ++line) {
        ReadRow(*this, y, bgr.data());
        const bool leftToRight = !dither || line % 2 == 0;
        for (int32_t i = 0; i < width; ++i) {
            const int32_t x = leftToRight ? i : width - 1 - i;
            const uint8_t* p = &bgr[3 * static_cast<size_t>(x)];
            Colour want{float(p[0]), float(p[1]), float(p[2])};
            if (grey) want.b = want.r = want.g;
            const bool diffuse = dither && visible(x, y);
            if (diffuse) {
                const Colour& e = here[static_cast<size_t>(x) + 1];
                want = {std::clamp(want.b + e.b, 0.0f, 255.0f), std::clamp(want.g + e.g, 0.0f, 255.0f),
                        std::clamp(want.r + e.r, 0.0f, 255.0f)};
            }
            uint32_t index;
            if (want.b == last.b && want.g == last.g && want.r == last.r) {
                index = lastIndex;
            } else {
                index = choose(want);
                last = want, lastIndex = index;
            }
            switch (bpp) {
                case 8:
                    bits[static_cast<uint64_t>(y) * stride + x] = static_cast<uint8_t>(index);
                    break;
                default:
                    result.SetPixelIndex(x, y, static_cast<uint8_t>(index));
                    break;
            }
            if (diffuse) {
                const Colour& got = palette[index];
                const Colour err{want.b - got.b, want.g - got.g, want.r - got.r};
                const int32_t ahead = leftToRight ? 1 : -1;
                const auto spread = [&](std::vector<Colour>& row, int32_t at, float f) {
                    Colour& c = row[static_cast<size_t>(at) + 1];
                    c.b += err.b * f, c.g += err.g * f, c.r += err.r * f;
                };
                spread(here, x + ahead, 7.0f / 16);
                spread(next, x - ahead, 3.0f / 16);
                spread(next, x, 5.0f / 16);
                spread(next, x + ahead, 1.0f / 16);
            }
        }
        std::swap(here, next);
        std::fill(next.begin(), next.end(), Colour{0, 0, 0});
        info.progress = static_cast<int32_t>(line * 100ll / height);
    }
    result.info.progress = info.progress;
    return FinishResult(*this, result);
}
