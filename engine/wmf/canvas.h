// The device context that metafile records draw on: the graphics state of a Windows
// device context (mapping, pens, brushes, fonts, colours, clipping, the current position
// and the path bracket) kept by us and drawn through Cairo into an RGB image surface.
// Every coordinate passes through one mapping into output pixels, where it is clamped, so
// Cairo only ever sees finite numbers of bounded size.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace wmf {

struct Color {
    uint8_t r = 0, g = 0, b = 0;
};
// A Windows colour reference: 0x00BBGGRR.
inline Color FromColorRef(uint32_t c) {
    return {static_cast<uint8_t>(c), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c >> 16)};
}

struct Point {
    double x = 0, y = 0;
};

// x' = a x + c y + e, y' = b x + d y + f: the layout of a Windows XFORM.
struct Affine {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
    Point Apply(Point p) const { return {a * p.x + c * p.y + e, b * p.x + d * p.y + f}; }
    Point ApplyVector(Point p) const { return {a * p.x + c * p.y, b * p.x + d * p.y}; }
    // This map followed by next.
    Affine Then(const Affine& next) const;
    double Det() const { return a * d - b * c; }
    bool Finite() const;
    std::optional<Affine> Inverse() const;
};

// A path in output pixels: moves, lines, cubic curves (three points each) and closes.
struct Path {
    enum Op : uint8_t { OpMove, OpLine, OpCurve, OpClose };
    std::vector<Op> ops;
    std::vector<Point> pts;

    void MoveTo(Point p);
    void LineTo(Point p);
    void CurveTo(Point c1, Point c2, Point p);
    void Close();
    void Append(const Path& other);
    void Translate(Point by);
    bool Empty() const { return ops.empty(); }
    size_t Size() const { return pts.size(); }
    void Emit(cairo_t* cr) const;
};

// Pixels of a bitmap in Cairo's layout: premultiplied 0xAARRGGBB words, top row first.
struct Bitmap {
    int width = 0, height = 0;
    bool hasAlpha = false;
    std::vector<uint32_t> pixels;
};

// Pen styles, end caps and joins as the style word of a Windows pen holds them.
constexpr uint32_t PS_SOLID = 0, PS_DASH = 1, PS_DOT = 2, PS_DASHDOT = 3, PS_DASHDOTDOT = 4, PS_NULL = 5,
                   PS_INSIDEFRAME = 6, PS_USERSTYLE = 7, PS_ALTERNATE = 8, PS_STYLE_MASK = 0x0F;
constexpr uint32_t PS_ENDCAP_SQUARE = 0x100, PS_ENDCAP_FLAT = 0x200, PS_ENDCAP_MASK = 0xF00;
constexpr uint32_t PS_JOIN_BEVEL = 0x1000, PS_JOIN_MITER = 0x2000, PS_JOIN_MASK = 0xF000;
constexpr uint32_t PS_GEOMETRIC = 0x10000;

constexpr uint32_t BS_SOLID = 0, BS_NULL = 1, BS_HATCHED = 2, BS_PATTERN = 3, BS_DIBPATTERN = 5,
                   BS_DIBPATTERNPT = 6;

struct Pen {
    uint32_t style = PS_SOLID;
    double width = 0;  // logical units; 0 is one output pixel
    bool cosmetic = true;
    Color color{};
    std::vector<double> dashes;  // user style, logical units
};

struct Brush {
    uint32_t style = BS_SOLID;
    Color color{255, 255, 255};
    uint32_t hatch = 0;
    std::shared_ptr<const Bitmap> pattern;
};

struct Font {
    int32_t height = 0, width = 0, escapement = 0, orientation = 0, weight = 400;
    bool italic = false, underline = false, strikeout = false;
    uint8_t charset = 1, pitchAndFamily = 0;
    std::string face;  // ASCII letters, digits and spaces only
};

// A pen of the plain kind: a width of 0 is one output pixel whatever the mapping.
inline Pen SimplePen(uint32_t style, double width, Color color) {
    Pen pen;
    pen.style = style;
    pen.width = width;
    pen.cosmetic = width <= 0;
    pen.color = color;
    return pen;
}

// A brush of a style, a colour and a hatch; pattern styles without their bitmap are solid.
inline Brush SimpleBrush(uint32_t style, Color color, uint32_t hatch) {
    if (style != BS_SOLID && style != BS_NULL && style != BS_HATCHED) style = BS_SOLID;
    return Brush{style, color, hatch, nullptr};
}

// Face names only choose among the generic families, so only letters, digits and spaces
// are kept.
inline void AppendFaceCharacter(std::string& face, uint32_t c) {
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == ' ')
        face += static_cast<char>(c);
}

// An object of the table; the empty alternative stands for palettes and regions, which
// take a slot but draw nothing.
using Object = std::variant<std::monostate, Pen, Brush, Font>;

// One clip layer: the picture is clipped to the intersection of all layers.
struct ClipLayer {
    Path path;
    bool evenOdd = false;
};

// Mapping modes.
constexpr int MM_TEXT = 1, MM_LOMETRIC = 2, MM_HIMETRIC = 3, MM_LOENGLISH = 4, MM_HIENGLISH = 5, MM_TWIPS = 6,
              MM_ISOTROPIC = 7, MM_ANISOTROPIC = 8;
// Text alignment.
constexpr uint32_t TA_UPDATECP = 1, TA_RIGHT = 2, TA_CENTER = 6, TA_HMASK = 6, TA_BOTTOM = 8,
                   TA_BASELINE = 24, TA_VMASK = 24;
// ExtTextOut options.
constexpr uint32_t ETO_OPAQUE = 2, ETO_CLIPPED = 4, ETO_GLYPH_INDEX = 0x10, ETO_PDY = 0x2000;
constexpr int TRANSPARENT = 1, OPAQUE = 2;
constexpr int ALTERNATE = 1, WINDING = 2;
constexpr int R2_BLACK = 1, R2_NOT = 6, R2_XORPEN = 7, R2_MASKPEN = 9, R2_NOP = 11, R2_COPYPEN = 13,
              R2_MERGEPEN = 15, R2_WHITE = 16;
constexpr int HALFTONE = 4;
// Region combination modes.
constexpr int RGN_AND = 1, RGN_OR = 2, RGN_XOR = 3, RGN_DIFF = 4, RGN_COPY = 5;
// Raster operations of the bit-block transfers.
constexpr uint32_t SRCCOPY = 0x00CC0020, SRCPAINT = 0x00EE0086, SRCAND = 0x008800C6, SRCINVERT = 0x00660046,
                   PATCOPY = 0x00F00021, PATINVERT = 0x005A0049, DSTINVERT = 0x00550009,
                   BLACKNESS = 0x00000042, WHITENESS = 0x00FF0062;

struct DeviceState {
    int mapMode = MM_TEXT;
    Point windowOrg{0, 0}, windowExt{1, 1}, viewportOrg{0, 0}, viewportExt{1, 1};
    Affine world;
    Pen pen;
    Brush brush;
    Font font;
    Color textColor{0, 0, 0}, bkColor{255, 255, 255};
    int bkMode = OPAQUE;
    int rop2 = R2_COPYPEN;
    int fillMode = ALTERNATE;
    uint32_t textAlign = 0;
    int stretchMode = 1;
    bool clockwise = false;
    double miterLimit = 10;
    Point position;  // current position, logical units
    std::vector<ClipLayer> clip;
};

class Canvas {
   public:
    // Draws into the surface's whole area of width x height output pixels. Until the
    // mapping is set, logical units are output pixels.
    Canvas(cairo_t* cr, int width, int height);
    int OutputWidth() const { return width_; }
    int OutputHeight() const { return height_; }

    // ---- mapping: logical -> world transform -> window/viewport -> device -> output ----
    // Device units are pixels of the metafile's reference device, whose picture frame
    // is mapped onto the output.
    void SetDeviceToOutput(const Affine& map, double devicePixelsPerMmX, double devicePixelsPerMmY);
    void SetMapMode(int mode);
    void SetWindowOrg(double x, double y);
    void SetWindowExt(double x, double y);
    void SetViewportOrg(double x, double y);
    void SetViewportExt(double x, double y);
    void OffsetWindowOrg(double dx, double dy) { SetWindowOrg(s.windowOrg.x + dx, s.windowOrg.y + dy); }
    void OffsetViewportOrg(double dx, double dy) {
        SetViewportOrg(s.viewportOrg.x + dx, s.viewportOrg.y + dy);
    }
    void ScaleWindowExt(double xNum, double xDenom, double yNum, double yDenom);
    void ScaleViewportExt(double xNum, double xDenom, double yNum, double yDenom);
    void SetWorldTransform(const Affine& xf);
    void ModifyWorldTransform(const Affine& xf, uint32_t mode);
    Point ToOutput(Point logical) const;
    Point ToOutput(double x, double y) const { return ToOutput(Point{x, y}); }
    const Affine& Map() const { return map_; }
    // Output pixels per logical unit along the x and the y axis.
    double ScaleX() const;
    double ScaleY() const;

    // ---- device state ----
    DeviceState s;
    void SaveDC();
    // A negative count restores relative to the current level, a positive one absolutely.
    void RestoreDC(int32_t which);
    void StateChanged();  // after a restore or a mapping change

    // ---- shapes, in logical units ----
    Path Polyline(const std::vector<Point>& points) const;
    Path Polygon(const std::vector<Point>& points) const;
    Path Beziers(const std::vector<Point>& points, bool startAtCurrent) const;
    Path Rectangle(double l, double t, double r, double b) const;
    Path RoundRect(double l, double t, double r, double b, double w, double h) const;
    Path Ellipse(double l, double t, double r, double b) const;
    enum class ArcKind { Arc, ArcTo, Chord, Pie };
    // The arc of the ellipse in the box from the radial through start to the radial
    // through end, in the current arc direction.
    Path Arc(double l, double t, double r, double b, Point start, Point end, ArcKind kind,
             Point* arcEnd) const;
    Path AngleArc(Point center, double radius, double startDegrees, double sweepDegrees, Point* arcEnd) const;

    // ---- drawing ----
    // Fills with the brush and outlines with the pen, or adds the shape to the open path.
    void Draw(const Path& path, bool fill, bool stroke);
    // Outlines a figure that starts at the current position (the "To" records); inside an
    // open path it continues the current figure.
    void DrawContinued(const Path& path);
    void FillWithBrush(const Path& path, const Brush& brush);
    void LineTo(double x, double y);
    void MoveTo(double x, double y);
    void SetPixel(double x, double y, Color color);

    // ---- path bracket ----
    void BeginPath();
    void EndPath() { pathOpen_ = false; }
    void AbortPath();
    void CloseFigure();
    void FillPath();
    void StrokePath();
    void StrokeAndFillPath();
    void SelectClipPath(int mode);
    bool PathOpen() const { return pathOpen_; }

    // ---- clipping ----
    void IntersectClipRect(double l, double t, double r, double b);
    void ExcludeClipRect(double l, double t, double r, double b);
    void OffsetClip(double dx, double dy);
    // Rectangles of a region in device units.
    void SelectClipRegion(const std::vector<Point>& corners, int mode);

    // ---- text ----
    struct Text {
        std::vector<uint32_t> chars;  // code points
        std::vector<uint32_t> units;  // how many advance entries each character takes
        std::vector<double> dx, dy;   // advances in logical units, one per unit, or empty
    };
    void TextOut(Point reference, const Text& text, uint32_t options, const double* rect);

    // ---- bitmaps ----
    // Draws the source rectangle (pixels, top row 0) of the bitmap into the destination
    // rectangle (logical units) with a raster operation.
    void StretchBitmap(const Bitmap* bitmap, double sx, double sy, double sw, double sh, double dx, double dy,
                       double dw, double dh, uint32_t rop, double alpha = 1);

    // ---- objects ----
    // A table of at most this many slots.
    static constexpr uint32_t kMaxObjects = 65536;
    void ResizeTable(uint32_t slots);
    // The lowest free slot (Windows metafiles), or false when the table is full.
    bool AddObject(Object object);
    void PutObject(uint32_t index, Object object);
    void SelectObject(uint32_t index);
    void SelectStock(uint32_t which);
    void DeleteObject(uint32_t index);
    // A brush of the bitmap's pixels; black when there is none, or when the pattern
    // pixels the table keeps alive would pass their bound.
    Brush PatternBrush(std::shared_ptr<const Bitmap> pattern);
    const std::optional<Object>* Slot(uint32_t index) const;

   private:
    cairo_t* cr_;
    int width_, height_;
    Affine deviceToOutput_;
    double pxPerMmX_ = 96 / 25.4, pxPerMmY_ = 96 / 25.4;
    Affine map_;
    std::vector<DeviceState> saved_;
    std::vector<std::optional<Object>> table_;
    uint32_t firstFree_ = 0;
    uint64_t patternPixels_ = 0;
    bool pathOpen_ = false;
    Path path_;
    bool clipDirty_ = true;
    uint32_t hatch_[64] = {};  // pixels of the hatch pattern being filled with

    void UpdateMap();
    void SetMapping(Point& field, double x, double y, bool extent);
    Point Out(Point logical) const;
    void ApplyClip();
    void AddClipLayer(ClipLayer layer, int mode);
    bool Rop2Allows();
    void SetOperatorForRop2();
    void SetPenSource(const Path& path);
    bool SetBrushSource(const Brush& brush);
    void StrokeCurrent(const Path& path);
    void FillCurrent(const Path& path, const Brush& brush, bool evenOdd);
    void SelectFont(double* emOut, double* ascent, double* descent);
};

// The largest magnitude of an output coordinate handed to Cairo.
constexpr double kCoordinateLimit = 1 << 21;

}  // namespace wmf
