// Bit-block transfers of the metafile player: a bitmap stretched into a rectangle, or a
// rectangle filled by a raster operation that needs no source.
#include <algorithm>
#include <cmath>

#include "canvas.h"

namespace wmf {

namespace {

// Whether a ternary raster operation reads the source: its result differs for source 0 and 1.
bool UsesSource(uint32_t rop) {
    const uint32_t index = (rop >> 16) & 0xFF;
    return ((index >> 2) & 0x33) != (index & 0x33);
}

void SetColor(cairo_t* cr, uint8_t r, uint8_t g, uint8_t b) {
    cairo_set_source_rgb(cr, r / 255.0, g / 255.0, b / 255.0);
}

}  // namespace

void Canvas::StretchBitmap(const Bitmap* bitmap, double sx, double sy, double sw, double sh, double dx,
                           double dy, double dw, double dh, uint32_t rop, double alpha) {
    if (pathOpen_) return;
    const Path quad = Polygon({{dx, dy}, {dx + dw, dy}, {dx + dw, dy + dh}, {dx, dy + dh}});
    ApplyClip();
    cairo_save(cr_);
    cairo_new_path(cr_);
    quad.Emit(cr_);

    if (!bitmap || bitmap->pixels.empty() || !UsesSource(rop)) {
        // Operations of pattern and destination only.
        switch (rop) {
            case PATCOPY:
                cairo_restore(cr_);
                FillWithBrush(quad, s.brush);
                return;
            case PATINVERT:
                cairo_set_operator(cr_, CAIRO_OPERATOR_DIFFERENCE);
                SetColor(cr_, s.brush.color.r, s.brush.color.g, s.brush.color.b);
                if (s.brush.style != BS_NULL) cairo_fill(cr_);
                break;
            case DSTINVERT:
                cairo_set_operator(cr_, CAIRO_OPERATOR_DIFFERENCE);
                SetColor(cr_, 255, 255, 255);
                cairo_fill(cr_);
                break;
            case BLACKNESS:
                SetColor(cr_, 0, 0, 0), cairo_fill(cr_);
                break;
            case WHITENESS:
                SetColor(cr_, 255, 255, 255), cairo_fill(cr_);
                break;
            default:
                break;
        }
        cairo_restore(cr_);
        return;
    }

    // The source rectangle in bitmap pixels maps onto the destination in logical units.
    if (sw == 0 || sh == 0 || !std::isfinite(sw) || !std::isfinite(sh)) {
        cairo_restore(cr_);
        return;
    }
    const Affine sourceToLogical{dw / sw, 0, 0, dh / sh, dx - sx * dw / sw, dy - sy * dh / sh};
    const std::optional<Affine> outputToSource = sourceToLogical.Then(map_).Inverse();
    cairo_matrix_t matrix;
    cairo_matrix_init_identity(&matrix);
    if (outputToSource) {
        const Affine& m = *outputToSource;
        cairo_matrix_init(&matrix, m.a, m.b, m.c, m.d, m.e, m.f);
    }
    cairo_matrix_t check = matrix;
    if (!outputToSource || cairo_matrix_invert(&check) != CAIRO_STATUS_SUCCESS) {
        cairo_restore(cr_);
        return;
    }

    cairo_surface_t* surface = cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(bitmap->pixels.data())),
        bitmap->hasAlpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, bitmap->width, bitmap->height,
        bitmap->width * 4);
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(surface);
    cairo_pattern_set_matrix(pattern, &matrix);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_PAD);
    // Stretching keeps whole pixels unless the file asks for halftone smoothing.
    cairo_pattern_set_filter(pattern,
                             s.stretchMode == HALFTONE ? CAIRO_FILTER_BILINEAR : CAIRO_FILTER_NEAREST);
    if (cairo_pattern_status(pattern) == CAIRO_STATUS_SUCCESS) {
        switch (rop) {
            case SRCPAINT:
                cairo_set_operator(cr_, CAIRO_OPERATOR_LIGHTEN);
                break;
            case SRCAND:
                cairo_set_operator(cr_, CAIRO_OPERATOR_MULTIPLY);
                break;
            case SRCINVERT:
                cairo_set_operator(cr_, CAIRO_OPERATOR_DIFFERENCE);
                break;
            default:
                cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
                break;
        }
        cairo_clip(cr_);
        cairo_set_source(cr_, pattern);
        cairo_paint_with_alpha(cr_, std::clamp(alpha, 0.0, 1.0));
    }
    cairo_pattern_destroy(pattern);
    cairo_surface_destroy(surface);
    cairo_restore(cr_);
}

}  // namespace wmf
