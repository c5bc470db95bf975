// The preview of the current page: the picture fitted into the preview box by its longer
// side and drawn by the engine into an image of the box's size.
#pragma once

#include <QColor>
#include <QImage>
#include <QSize>
#include <cstdint>
#include <optional>

class Picture;

// Where the picture goes in the box: top-left corner and size, in box pixels.
struct PreviewPlace {
    int32_t x = 0, y = 0, width = 0, height = 0;
    bool operator==(const PreviewPlace&) const = default;
};

// A landscape or square picture takes the box's width, a portrait one the box's height, the
// other side in proportion, centred (so it may overflow the box's other side). Divisions
// truncate toward zero, but each side keeps at least one pixel. None for a picture of no size.
std::optional<PreviewPlace> FitPreview(int32_t picWidth, int32_t picHeight, int32_t boxWidth,
                                       int32_t boxHeight);

// The picture drawn at place over a box of the background colour, in Format_RGB32; a null
// image when the engine drew nothing (a picture without pixels, an empty size).
QImage RenderPreview(const Picture& picture, const PreviewPlace& place, QSize box, const QColor& background);

// The phone's view of a page as the book holds it: the page at 1:1 from its top-left corner,
// as the viewer opens it, inside a frame of the screen's size centred in the box (a screen
// larger than the box shows what fits). A null image for an empty box or screen.
QImage RenderPhoneView(const Picture& page, QSize screen, QSize box, const QColor& background);
