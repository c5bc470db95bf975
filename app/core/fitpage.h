// Pages as the book holds them: double pages split in two, fitted to the screen, reduced to
// grey or fewer colours.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "panelle/picture.h"
#include "settings.h"

struct PageSize {
    int32_t width = 0;
    int32_t height = 0;
};

// True when pages are written exactly as their pictures are.
bool KeepsPagesAsTheyAre(const PageFit& fit);

// True when a page of this size becomes two pages.
bool SplitsPage(const PageFit& fit, int32_t width, int32_t height);

// The size a picture (or a half of one) is written at: fitted to the screen width, or inside
// the screen, never enlarged; its own size without fitting or for a screen of no size.
PageSize FittedPageSize(const PageFit& fit, int32_t width, int32_t height, int32_t screenWidth,
                        int32_t screenHeight);

// Rows that pieces of a page cut to fit the heap share with the piece before them, so that a
// line of lettering cut by one edge is whole on the other piece.
constexpr int32_t kStripOverlap = 16;

// A piece of a page cut to fit the heap: rows [top, top + height), counted from the top.
struct Strip {
    int32_t top = 0;
    int32_t height = 0;
};

// How a page `width` x `height` is cut so that every piece decodes (width x rows x 4 bytes) in
// `heapBytes`: pieces of equal height from top to bottom, each overlapping the one before by
// kStripOverlap rows (fewer when the pieces are very low). One piece, the whole page, when it
// fits, when there is no budget (0) or when not even one row fits.
std::vector<Strip> StripsFor(int32_t width, int32_t height, int64_t heapBytes);

// The sizes of the pages a picture of this size gives, in reading order: one, two halves of
// a split page, and with fitting to the width and a heap budget (bytes, 0 for none) each of
// them cut into pieces that fit the heap.
std::vector<PageSize> WrittenPageSizes(const PageFit& fit, int32_t width, int32_t height, int32_t screenWidth,
                                       int32_t screenHeight, int64_t heapBytes = 0);

// Loads a page's picture. When its pages will be shrunk and it is a JPEG, it is decoded at
// the smallest libjpeg scale that keeps twice the written size. `full` gets the picture's
// own size, whatever scale it was decoded at.
bool LoadPagePicture(Picture& picture, const std::string& path, uint32_t id, const PageFit& fit,
                     int32_t screenWidth, int32_t screenHeight, PageSize& full);

// The pictures to write for a loaded page, in reading order. `full` is the picture's own
// size (the decode may be smaller); the page is left empty. An empty result means a step
// failed, and `error` says why.
std::vector<Picture> FitPage(Picture& page, PageSize full, const PageFit& fit, int32_t screenWidth,
                             int32_t screenHeight, std::string& error, int64_t heapBytes = 0);

// The first page a loaded picture gives, as the book will hold it (split, fitted, reduced),
// for a view of what the phone shows; the picture itself is left as it is. False, with
// `error` set, when a step failed.
bool FirstWrittenPage(const Picture& picture, const PageFit& fit, int32_t screenWidth, int32_t screenHeight,
                      Picture& page, std::string& error);
