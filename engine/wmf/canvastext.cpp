// Text output of the metafile player: a font of the system chosen by the logical font's
// face name and family, sized from its height, turned by its escapement, placed by the
// text alignment and the advances the record gives, on an optional background.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>

#include "canvas.h"

namespace wmf {

namespace {

constexpr double kPi = 3.14159265358979323846;
// The system font of a screen at 96 pixels per inch is 16 pixels high.
constexpr double kDefaultEm = 16;
constexpr double kLargestEm = 20000;
constexpr double kLargestCachedEm = 256;
constexpr uint8_t FIXED_PITCH = 1, FF_ROMAN = 0x10, FF_MODERN = 0x30;

// One of the three generic families of fontconfig, which picks the installed font.
const char* Family(const Font& font) {
    std::string face;
    for (char c : font.face) face += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const auto has = [&](const char* word) { return face.find(word) != std::string::npos; };
    if (has("mono") || has("courier") || has("consol") || has("fixed") ||
        (font.pitchAndFamily & 3) == FIXED_PITCH || (font.pitchAndFamily & 0xF0) == FF_MODERN)
        return "monospace";
    if (has("sans") || has("arial") || has("helvetica") || has("verdana") || has("tahoma"))
        return "sans-serif";
    if (has("times") || has("serif") || has("roman") || has("georgia") || has("garamond") || has("book") ||
        (font.pitchAndFamily & 0xF0) == FF_ROMAN)
        return "serif";
    return "sans-serif";
}

void AppendUtf8(std::string& out, uint32_t c) {
    if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;
    if (c > 0x10FFFF) c = 0xFFFD;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

void SetColor(cairo_t* cr, Color c) { cairo_set_source_rgb(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0); }

}  // namespace

// A negative height is the em size, a positive one the height of the character cell.
void Canvas::SelectFont(double* emOut, double* ascent, double* descent) {
    const Font& font = s.font;
    cairo_select_font_face(cr_, Family(font), font.italic ? CAIRO_FONT_SLANT_ITALIC : CAIRO_FONT_SLANT_NORMAL,
                           font.weight >= 600 ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    double em = kDefaultEm;
    if (font.height != 0) {
        em = std::fabs(static_cast<double>(font.height)) * ScaleY();
        if (font.height > 0) {
            cairo_set_font_size(cr_, 1);
            cairo_font_extents_t unit;
            cairo_font_extents(cr_, &unit);
            if (unit.ascent + unit.descent > 0) em /= unit.ascent + unit.descent;
        }
    }
    if (!std::isfinite(em)) em = 0;
    em = std::min(em, kLargestEm);
    *emOut = em;
    if (em <= 0) return;
    cairo_set_font_size(cr_, em);
    cairo_font_extents_t extents;
    cairo_font_extents(cr_, &extents);
    *ascent = extents.ascent;
    *descent = extents.descent;
}

void Canvas::TextOut(Point reference, const Text& text, uint32_t options, const double* rect) {
    if (pathOpen_) return;
    ApplyClip();
    cairo_save(cr_);
    cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
    if (rect) {
        const Path box = Rectangle(rect[0], rect[1], rect[2], rect[3]);
        if (options & ETO_OPAQUE) {
            cairo_new_path(cr_);
            box.Emit(cr_);
            SetColor(cr_, s.bkColor);
            cairo_fill(cr_);
        }
        if (options & ETO_CLIPPED) {
            cairo_new_path(cr_);
            box.Emit(cr_);
            cairo_clip(cr_);
        }
    }
    // Glyph indices belong to the font of the system that wrote the file; ours differ.
    if (text.chars.empty() || (options & ETO_GLYPH_INDEX)) {
        cairo_restore(cr_);
        return;
    }

    double em = 0, ascent = 0, descent = 0;
    SelectFont(&em, &ascent, &descent);
    if (em < 0.5) {
        cairo_restore(cr_);
        return;
    }

    // Advances along the baseline and offsets across it, in output pixels.
    const double xScale = ScaleX();
    const double ySign = map_.d < 0 ? -1 : 1;
    cairo_scaled_font_t* font = cairo_get_scaled_font(cr_);
    std::vector<cairo_glyph_t> glyphs;
    glyphs.reserve(text.chars.size());
    double pen = 0, rise = 0;
    size_t unit = 0;
    const bool withDx = !text.dx.empty();
    for (size_t i = 0; i < text.chars.size(); ++i) {
        const uint32_t units = i < text.units.size() ? text.units[i] : 1;
        std::string utf8;
        AppendUtf8(utf8, text.chars[i] ? text.chars[i] : ' ');
        cairo_glyph_t* found = nullptr;
        int count = 0;
        double advance = 0;
        if (cairo_scaled_font_text_to_glyphs(font, 0, 0, utf8.data(), static_cast<int>(utf8.size()), &found,
                                             &count, nullptr, nullptr, nullptr) == CAIRO_STATUS_SUCCESS) {
            if (count > 0) {
                cairo_text_extents_t extents;
                cairo_scaled_font_glyph_extents(font, found, 1, &extents);
                advance = extents.x_advance;
                if (text.chars[i] != 0) glyphs.push_back({found[0].index, pen, rise});
            }
            cairo_glyph_free(found);
        }
        if (withDx) {
            double sum = 0, lift = 0;
            for (uint32_t k = 0; k < units && unit < text.dx.size(); ++k, ++unit) {
                sum += text.dx[unit];
                if (unit < text.dy.size()) lift += text.dy[unit];
            }
            advance = sum * xScale;
            rise += lift * ScaleY() * ySign;
        }
        if (!std::isfinite(advance)) advance = 0;
        pen = std::clamp(pen + advance, -kCoordinateLimit, kCoordinateLimit);
        rise = std::clamp(rise, -kCoordinateLimit, kCoordinateLimit);
    }
    const double width = pen;

    double x0 = 0;
    switch (s.textAlign & TA_HMASK) {
        case TA_RIGHT:
            x0 = -width;
            break;
        case TA_CENTER:
            x0 = -width / 2;
            break;
        default:
            break;
    }
    double baseline = ascent;  // top alignment
    switch (s.textAlign & TA_VMASK) {
        case TA_BOTTOM:
            baseline = -descent;
            break;
        case TA_BASELINE:
            baseline = 0;
            break;
        default:
            break;
    }

    const bool fromCurrent = s.textAlign & TA_UPDATECP;
    const Point origin = Out(fromCurrent ? s.position : reference);
    const Point along = map_.ApplyVector({1, 0});
    const double turn = std::atan2(along.y, std::fabs(along.x)) - s.font.escapement * kPi / 1800;
    cairo_translate(cr_, origin.x, origin.y);
    if (std::isfinite(turn)) cairo_rotate(cr_, turn);

    if (s.bkMode == OPAQUE) {
        cairo_rectangle(cr_, x0, baseline - ascent, width, ascent + descent);
        SetColor(cr_, s.bkColor);
        cairo_fill(cr_);
    }
    for (cairo_glyph_t& g : glyphs) g.x += x0, g.y += baseline;
    SetColor(cr_, s.textColor);
    // Large glyphs are filled as outlines: Cairo would otherwise cache a mask as large as
    // each glyph.
    if (!glyphs.empty() && em <= kLargestCachedEm) {
        cairo_show_glyphs(cr_, glyphs.data(), static_cast<int>(glyphs.size()));
    } else if (!glyphs.empty()) {
        cairo_new_path(cr_);
        cairo_glyph_path(cr_, glyphs.data(), static_cast<int>(glyphs.size()));
        cairo_fill(cr_);
    }
    const double thickness = std::max(1.0, em / 14);
    if (s.font.underline) {
        cairo_rectangle(cr_, x0, baseline + descent / 3, width, thickness);
        cairo_fill(cr_);
    }
    if (s.font.strikeout) {
        cairo_rectangle(cr_, x0, baseline - ascent / 3, width, thickness);
        cairo_fill(cr_);
    }
    cairo_restore(cr_);

    if (fromCurrent && xScale > 0) {
        const double logical = width / xScale * (map_.a < 0 ? -1 : 1);
        switch (s.textAlign & TA_HMASK) {
            case TA_RIGHT:
                s.position.x -= logical;
                break;
            case TA_CENTER:
                break;
            default:
                s.position.x += logical;
                break;
        }
    }
}

}  // namespace wmf
