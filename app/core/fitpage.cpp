#include "fitpage.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "comicarchive.h"
#include "panelle/format.h"
#include "panelle/resample.h"

namespace {

// A size of `length` scaled by num/den, truncating, at least 1 (64-bit products).
int32_t Scaled(int32_t length, int32_t num, int32_t den) {
    return static_cast<int32_t>(std::max<int64_t>(1, static_cast<int64_t>(length) * num / den));
}

// Columns [x0, x0 + width) of a picture as a picture of their own, with its palette,
// transparency and alpha plane. False when it cannot be allocated.
bool CopyColumns(const Picture& source, uint32_t x0, uint32_t width, Picture& half) {
    const uint32_t height = source.GetHeight(), bpp = source.GetBpp();
    if (!half.Create(width, height, bpp, source.info.type)) return false;
    if (source.header.biClrUsed) half.SetPalette(source.GetPalette(), source.header.biClrUsed);
    half.SetTransIndex(source.GetTransIndex());
    half.info.transColor = source.info.transColor;
    half.SetXDpi(source.GetXDpi());
    half.SetYDpi(source.GetYDpi());
    for (uint32_t y = 0; y < height; ++y) {
        if (bpp % 8 == 0) {
            const uint32_t bytes = bpp / 8;
            std::memcpy(
                half.info.bits + static_cast<uint64_t>(y) * half.info.effWidth,
                source.info.bits + static_cast<uint64_t>(y) * source.info.effWidth + uint64_t{x0} * bytes,
                uint64_t{width} * bytes);
        } else {
            for (uint32_t x = 0; x < width; ++x)
                half.SetPixelIndex(
                    static_cast<int32_t>(x), static_cast<int32_t>(y),
                    source.BlindGetPixelIndex(static_cast<int32_t>(x0 + x), static_cast<int32_t>(y)));
        }
    }
    if (source.AlphaIsValid()) {
        half.AlphaCreate();
        if (!half.AlphaIsValid()) return false;
        for (uint32_t y = 0; y < height; ++y)
            std::memcpy(half.AlphaGetPointer(0, static_cast<int32_t>(y)),
                        source.AlphaGetPointer(static_cast<int32_t>(x0), static_cast<int32_t>(y)), width);
    }
    return true;
}

// Rows [top, top + height) of a picture, counted from the top, as a picture of their own.
bool CopyRows(const Picture& source, uint32_t top, uint32_t height, Picture& piece) {
    const uint32_t width = source.GetWidth(), bpp = source.GetBpp(), all = source.GetHeight();
    if (!piece.Create(width, height, bpp, source.info.type)) return false;
    if (source.header.biClrUsed) piece.SetPalette(source.GetPalette(), source.header.biClrUsed);
    piece.SetTransIndex(source.GetTransIndex());
    piece.info.transColor = source.info.transColor;
    piece.SetXDpi(source.GetXDpi());
    piece.SetYDpi(source.GetYDpi());
    // rows are stored bottom-up: the piece's bottom row is the source's row all - top - height
    const uint32_t first = all - top - height;
    for (uint32_t y = 0; y < height; ++y)
        std::memcpy(piece.info.bits + static_cast<uint64_t>(y) * piece.info.effWidth,
                    source.info.bits + static_cast<uint64_t>(first + y) * source.info.effWidth,
                    piece.info.effWidth);
    if (source.AlphaIsValid()) {
        piece.AlphaCreate();
        if (!piece.AlphaIsValid()) return false;
        for (uint32_t y = 0; y < height; ++y)
            std::memcpy(piece.AlphaGetPointer(0, static_cast<int32_t>(y)),
                        source.AlphaGetPointer(0, static_cast<int32_t>(first + y)), width);
    }
    return true;
}

// The pages before any cut for the heap: the picture or its two halves, fitted.
std::vector<PageSize> FittedPages(const PageFit& fit, int32_t width, int32_t height, int32_t screenWidth,
                                  int32_t screenHeight) {
    if (!SplitsPage(fit, width, height))
        return {FittedPageSize(fit, width, height, screenWidth, screenHeight)};
    const int32_t left = width / 2, right = width - left;
    std::vector<PageSize> sizes{FittedPageSize(fit, left, height, screenWidth, screenHeight),
                                FittedPageSize(fit, right, height, screenWidth, screenHeight)};
    if (fit.split == 2) std::swap(sizes[0], sizes[1]);
    return sizes;
}

// Whether pages are cut to fit the heap: only pages read by panning down, fitted to the width.
bool CutsForHeap(const PageFit& fit, int64_t heapBytes) { return fit.fit == 1 && heapBytes > 0; }

// Whether the file starts like a JPEG (FF D8 FF), whatever its name says.
bool LooksLikeJpeg(const std::string& path) {
    const std::vector<uint8_t> head = PageHead(path, 3);
    return head.size() == 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
}

}  // namespace

bool KeepsPagesAsTheyAre(const PageFit& fit) { return fit == PageFit{}; }

bool SplitsPage(const PageFit& fit, int32_t width, int32_t height) {
    return fit.split != 0 && width > height && width >= 2;
}

PageSize FittedPageSize(const PageFit& fit, int32_t width, int32_t height, int32_t screenWidth,
                        int32_t screenHeight) {
    const PageSize own{width, height};
    if (fit.fit == 0 || width <= 0 || height <= 0 || screenWidth <= 0) return own;
    if (fit.fit == 1 || screenHeight <= 0) {
        if (width <= screenWidth) return own;
        return {screenWidth, Scaled(height, screenWidth, width)};
    }
    if (width <= screenWidth && height <= screenHeight) return own;
    // the side that overflows the screen more is fitted to it; the other follows
    if (static_cast<int64_t>(height) * screenWidth > static_cast<int64_t>(width) * screenHeight)
        return {Scaled(width, screenHeight, height), screenHeight};
    return {screenWidth, Scaled(height, screenWidth, width)};
}

std::vector<Strip> StripsFor(int32_t width, int32_t height, int64_t heapBytes) {
    const std::vector<Strip> whole{{0, height}};
    if (heapBytes <= 0 || width <= 0 || height <= 0) return whole;
    const int64_t rows = heapBytes / (int64_t{width} * 4);
    if (rows >= height || rows < 1) return whole;
    const int32_t most = static_cast<int32_t>(rows);
    const int32_t overlap = std::min(kStripOverlap, most / 4);
    // n pieces of `most` rows overlapping by `overlap` cover n * (most - overlap) + overlap rows
    const int32_t step = most - overlap;
    const int32_t n = (height - overlap + step - 1) / step;
    // pieces as equal as can be: each at most `most` rows, and still overlapping
    const int32_t piece = static_cast<int32_t>((int64_t{height} + int64_t{n - 1} * overlap + n - 1) / n);
    std::vector<Strip> strips;
    strips.reserve(static_cast<size_t>(n));
    for (int32_t k = 0; k < n; ++k) {
        const int32_t top = static_cast<int32_t>((int64_t{k} * (height - piece) + (n - 1) / 2) / (n - 1));
        strips.push_back({top, piece});
    }
    return strips;
}

std::vector<PageSize> WrittenPageSizes(const PageFit& fit, int32_t width, int32_t height, int32_t screenWidth,
                                       int32_t screenHeight, int64_t heapBytes) {
    const std::vector<PageSize> pages = FittedPages(fit, width, height, screenWidth, screenHeight);
    if (!CutsForHeap(fit, heapBytes)) return pages;
    std::vector<PageSize> sizes;
    for (const PageSize& p : pages)
        for (const Strip& s : StripsFor(p.width, p.height, heapBytes)) sizes.push_back({p.width, s.height});
    return sizes;
}

bool LoadPagePicture(Picture& picture, const std::string& path, uint32_t id, const PageFit& fit,
                     int32_t screenWidth, int32_t screenHeight, PageSize& full) {
    full = {};
    if (fit.fit != 0 && (id == ImageFormat::Jpg || id == ImageFormat::Unknown) && LooksLikeJpeg(path)) {
        Picture header(ImageFormat::Jpg);
        header.SetEscape(-1);  // the size only
        LoadPageFile(header, path, ImageFormat::Jpg);
        const int32_t w = static_cast<int32_t>(header.GetWidth()),
                      h = static_cast<int32_t>(header.GetHeight());
        if (w > 0 && h > 0) {
            // the pages side by side cover what the whole decode must keep
            int32_t needW = 0, needH = 0;
            for (const PageSize& s : FittedPages(fit, w, h, screenWidth, screenHeight)) {
                needW += s.width;
                needH = std::max(needH, s.height);
            }
            const uint8_t scale = JpegScaleFor(static_cast<uint32_t>(w), static_cast<uint32_t>(h),
                                               static_cast<uint32_t>(needW), static_cast<uint32_t>(needH));
            if (scale > 1) {
                picture.SetJpegScale(scale);
                const bool ok = LoadPageFile(picture, path, ImageFormat::Jpg);
                picture.SetJpegScale(1);
                // the decode must be the header's picture at that scale, else it is read whole
                const auto matches = [scale](uint32_t decoded, int32_t own) {
                    return (static_cast<int64_t>(own) + scale - 1) / scale == decoded;
                };
                if (ok && matches(picture.GetWidth(), w) && matches(picture.GetHeight(), h)) {
                    full = {w, h};
                    return true;
                }
                Picture gone(std::move(picture));  // an empty picture to load into again
            }
        }
    }
    const bool ok = LoadPageFile(picture, path, id);
    full = {static_cast<int32_t>(picture.GetWidth()), static_cast<int32_t>(picture.GetHeight())};
    return ok;
}

std::vector<Picture> FitPage(Picture& page, PageSize full, const PageFit& fit, int32_t screenWidth,
                             int32_t screenHeight, std::string& error, int64_t heapBytes) {
    std::vector<Picture> parts;
    const uint32_t w = page.GetWidth();
    if (SplitsPage(fit, full.width, full.height) && w >= 2) {
        const bool rightFirst = fit.split == 2;
        const uint32_t left = w / 2;
        for (const bool right : {rightFirst, !rightFirst}) {
            parts.emplace_back();
            if (!CopyColumns(page, right ? left : 0, right ? w - left : left, parts.back())) {
                error = "not enough memory to split the page";
                return {};
            }
        }
        Picture gone(std::move(page));  // the whole page is not needed any more
    } else {
        parts.push_back(std::move(page));
    }
    const std::vector<PageSize> sizes = FittedPages(fit, full.width, full.height, screenWidth, screenHeight);
    for (size_t i = 0; i < parts.size(); ++i) {
        Picture& part = parts[i];
        const PageSize target = i < sizes.size() ? sizes[i] : PageSize{};
        bool ok = true;
        if (fit.fit != 0 && target.width > 0 &&
            (part.GetWidth() != static_cast<uint32_t>(target.width) ||
             part.GetHeight() != static_cast<uint32_t>(target.height)))
            ok = part.Resample(static_cast<uint32_t>(target.width), static_cast<uint32_t>(target.height),
                               Picture::ResampleFilter::Lanczos3);
        if (ok && fit.grey) ok = part.ConvertToGrey();
        if (ok && fit.colors >= 2)
            ok = part.ReduceColors(static_cast<uint32_t>(std::min(fit.colors, 256)), fit.dither != 0);
        if (!ok) {
            error = part.GetLastError();
            if (error.empty()) error = "the page cannot be fitted";
            return {};
        }
    }
    if (!CutsForHeap(fit, heapBytes)) return parts;
    std::vector<Picture> pieces;
    for (Picture& part : parts) {
        const std::vector<Strip> strips = StripsFor(static_cast<int32_t>(part.GetWidth()),
                                                    static_cast<int32_t>(part.GetHeight()), heapBytes);
        if (strips.size() == 1) {
            pieces.push_back(std::move(part));
            continue;
        }
        for (const Strip& s : strips) {
            pieces.emplace_back();
            if (!CopyRows(part, static_cast<uint32_t>(s.top), static_cast<uint32_t>(s.height),
                          pieces.back())) {
                error = "not enough memory to cut the page";
                return {};
            }
        }
        Picture gone(std::move(part));
    }
    return pieces;
}

bool FirstWrittenPage(const Picture& picture, const PageFit& fit, int32_t screenWidth, int32_t screenHeight,
                      Picture& page, std::string& error) {
    Picture copy(picture, true);
    if (!copy.IsValid()) {
        error = "not enough memory to show the page";
        return false;
    }
    const PageSize full{static_cast<int32_t>(picture.GetWidth()), static_cast<int32_t>(picture.GetHeight())};
    if (KeepsPagesAsTheyAre(fit)) {
        page.Transfer(copy);
        return true;
    }
    std::vector<Picture> parts = FitPage(copy, full, fit, screenWidth, screenHeight, error);
    if (parts.empty()) return false;
    page.Transfer(parts.front());
    return true;
}
