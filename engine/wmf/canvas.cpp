// The device context of the metafile player: mapping, state, shapes, paths and clipping.
// Text and bitmaps are in canvastext.cpp and canvasbitmap.cpp.
#include "canvas.h"

#include <algorithm>
#include <cmath>

namespace wmf {

namespace {

// Saved device states and clip layers are bounded: a file cannot make them grow without end.
constexpr size_t kMaxSavedStates = 128;
constexpr size_t kMaxClipLayers = 16;
constexpr size_t kMaxClipPoints = 8192;
constexpr size_t kMaxPathPoints = 1 << 20;
constexpr uint64_t kMaxPatternPixels = 1 << 24;
constexpr double kMaxDashPeriods = 1 << 16;

// The bezier handle length that makes a quarter circle.
constexpr double kPi = 3.14159265358979323846;

double Clamp(double v) {
    if (!std::isfinite(v)) return 0;
    return std::clamp(v, -kCoordinateLimit, kCoordinateLimit);
}

// An upper bound of a path's length in output pixels: its control polygon.
double PathLength(const Path& path) {
    double length = 0;
    for (size_t i = 1; i < path.pts.size(); ++i)
        length += std::hypot(path.pts[i].x - path.pts[i - 1].x, path.pts[i].y - path.pts[i - 1].y);
    return length;
}

size_t ClipPoints(const std::vector<ClipLayer>& clip) {
    size_t n = 0;
    for (const ClipLayer& layer : clip) n += layer.path.Size();
    return n;
}

// A rectangle far larger than any output, for clip layers that exclude a shape.
Path Everything() {
    Path p;
    const double m = kCoordinateLimit;
    p.MoveTo({-m, -m});
    p.LineTo({m, -m});
    p.LineTo({m, m});
    p.LineTo({-m, m});
    p.Close();
    return p;
}

}  // namespace

// ---- Affine and Path --------------------------------------------------------------------

Affine Affine::Then(const Affine& n) const {
    return {n.a * a + n.c * b, n.b * a + n.d * b,       n.a * c + n.c * d,
            n.b * c + n.d * d, n.a * e + n.c * f + n.e, n.b * e + n.d * f + n.f};
}

bool Affine::Finite() const {
    return std::isfinite(a) && std::isfinite(b) && std::isfinite(c) && std::isfinite(d) && std::isfinite(e) &&
           std::isfinite(f);
}

std::optional<Affine> Affine::Inverse() const {
    const double det = Det();
    if (!std::isfinite(det) || std::fabs(det) < 1e-12) return std::nullopt;
    Affine r{d / det, -b / det, -c / det, a / det, (c * f - d * e) / det, (b * e - a * f) / det};
    if (!r.Finite()) return std::nullopt;
    return r;
}

void Path::MoveTo(Point p) {
    ops.push_back(OpMove);
    pts.push_back(p);
}
void Path::LineTo(Point p) {
    ops.push_back(OpLine);
    pts.push_back(p);
}
void Path::CurveTo(Point c1, Point c2, Point p) {
    ops.push_back(OpCurve);
    pts.insert(pts.end(), {c1, c2, p});
}
void Path::Close() {
    if (!ops.empty() && ops.back() != OpClose) ops.push_back(OpClose);
}
void Path::Append(const Path& other) {
    ops.insert(ops.end(), other.ops.begin(), other.ops.end());
    pts.insert(pts.end(), other.pts.begin(), other.pts.end());
}
void Path::Translate(Point by) {
    for (Point& p : pts) p = {Clamp(p.x + by.x), Clamp(p.y + by.y)};
}

void Path::Emit(cairo_t* cr) const {
    size_t at = 0;
    for (Op op : ops) {
        switch (op) {
            case OpMove:
                cairo_move_to(cr, pts[at].x, pts[at].y), at += 1;
                break;
            case OpLine:
                cairo_line_to(cr, pts[at].x, pts[at].y), at += 1;
                break;
            case OpCurve:
                cairo_curve_to(cr, pts[at].x, pts[at].y, pts[at + 1].x, pts[at + 1].y, pts[at + 2].x,
                               pts[at + 2].y);
                at += 3;
                break;
            case OpClose:
                cairo_close_path(cr);
                break;
        }
    }
}

// ---- mapping ----------------------------------------------------------------------------

Canvas::Canvas(cairo_t* cr, int width, int height) : cr_(cr), width_(width), height_(height) {
    cairo_set_fill_rule(cr_, CAIRO_FILL_RULE_EVEN_ODD);
    UpdateMap();
}

void Canvas::SetDeviceToOutput(const Affine& map, double devicePixelsPerMmX, double devicePixelsPerMmY) {
    if (map.Finite() && map.Inverse()) deviceToOutput_ = map;
    if (std::isfinite(devicePixelsPerMmX) && devicePixelsPerMmX > 0) pxPerMmX_ = devicePixelsPerMmX;
    if (std::isfinite(devicePixelsPerMmY) && devicePixelsPerMmY > 0) pxPerMmY_ = devicePixelsPerMmY;
    UpdateMap();
}

void Canvas::SetMapMode(int mode) {
    if (mode < MM_TEXT || mode > MM_ANISOTROPIC) return;
    s.mapMode = mode;
    UpdateMap();
}

// Origins must be finite; extents of zero are refused too, as the system refuses them
// (they would divide by zero).
void Canvas::SetMapping(Point& field, double x, double y, bool extent) {
    if (!std::isfinite(x) || !std::isfinite(y) || (extent && (x == 0 || y == 0))) return;
    field = {x, y};
    UpdateMap();
}

void Canvas::SetWindowOrg(double x, double y) { SetMapping(s.windowOrg, x, y, false); }
void Canvas::SetWindowExt(double x, double y) { SetMapping(s.windowExt, x, y, true); }
void Canvas::SetViewportOrg(double x, double y) { SetMapping(s.viewportOrg, x, y, false); }
void Canvas::SetViewportExt(double x, double y) { SetMapping(s.viewportExt, x, y, true); }

void Canvas::ScaleWindowExt(double xNum, double xDenom, double yNum, double yDenom) {
    if (xDenom == 0 || yDenom == 0) return;
    SetWindowExt(s.windowExt.x * xNum / xDenom, s.windowExt.y * yNum / yDenom);
}

void Canvas::ScaleViewportExt(double xNum, double xDenom, double yNum, double yDenom) {
    if (xDenom == 0 || yDenom == 0) return;
    SetViewportExt(s.viewportExt.x * xNum / xDenom, s.viewportExt.y * yNum / yDenom);
}

void Canvas::SetWorldTransform(const Affine& xf) {
    if (!xf.Finite() || !xf.Inverse()) return;
    s.world = xf;
    UpdateMap();
}

void Canvas::ModifyWorldTransform(const Affine& xf, uint32_t mode) {
    constexpr uint32_t MWT_IDENTITY = 1, MWT_LEFTMULTIPLY = 2, MWT_RIGHTMULTIPLY = 3, MWT_SET = 4;
    switch (mode) {
        case MWT_IDENTITY:
            SetWorldTransform(Affine{});
            break;
        case MWT_LEFTMULTIPLY:
            SetWorldTransform(xf.Then(s.world));
            break;
        case MWT_RIGHTMULTIPLY:
            SetWorldTransform(s.world.Then(xf));
            break;
        case MWT_SET:
            SetWorldTransform(xf);
            break;
        default:
            break;
    }
}

// Logical units pass the world transform, then the window-to-viewport mapping of the
// mapping mode, then the map from device pixels to output pixels.
void Canvas::UpdateMap() {
    double sx = 1, sy = 1;
    const Point viewportOrg = s.viewportOrg, viewportExt = s.viewportExt;
    const int mode = s.mapMode;
    switch (mode) {
        case MM_TEXT:
            break;
        case MM_LOMETRIC:
            sx = pxPerMmX_ * 0.1, sy = -pxPerMmY_ * 0.1;
            break;
        case MM_HIMETRIC:
            sx = pxPerMmX_ * 0.01, sy = -pxPerMmY_ * 0.01;
            break;
        case MM_LOENGLISH:
            sx = pxPerMmX_ * 0.254, sy = -pxPerMmY_ * 0.254;
            break;
        case MM_HIENGLISH:
            sx = pxPerMmX_ * 0.0254, sy = -pxPerMmY_ * 0.0254;
            break;
        case MM_TWIPS:
            sx = pxPerMmX_ * 25.4 / 1440, sy = -pxPerMmY_ * 25.4 / 1440;
            break;
        default:
            sx = viewportExt.x / s.windowExt.x;
            sy = viewportExt.y / s.windowExt.y;
            if (mode == MM_ISOTROPIC) {
                // The same scale both ways: the smaller of the two, keeping each sign.
                const double m = std::min(std::fabs(sx), std::fabs(sy));
                sx = std::copysign(m, sx), sy = std::copysign(m, sy);
            }
            break;
    }
    const Affine page{sx, 0, 0, sy, viewportOrg.x - s.windowOrg.x * sx, viewportOrg.y - s.windowOrg.y * sy};
    const Affine map = s.world.Then(page).Then(deviceToOutput_);
    map_ = map.Finite() && map.Inverse() ? map : deviceToOutput_;
}

Point Canvas::Out(Point logical) const {
    const Point p = map_.Apply(logical);
    return {Clamp(p.x), Clamp(p.y)};
}

Point Canvas::ToOutput(Point logical) const { return Out(logical); }

double Canvas::ScaleX() const {
    const Point v = map_.ApplyVector({1, 0});
    return std::hypot(v.x, v.y);
}

double Canvas::ScaleY() const {
    const Point v = map_.ApplyVector({0, 1});
    return std::hypot(v.x, v.y);
}

// ---- state ------------------------------------------------------------------------------

void Canvas::SaveDC() {
    if (saved_.size() < kMaxSavedStates) saved_.push_back(s);
}

void Canvas::RestoreDC(int32_t which) {
    int64_t level;
    if (which < 0)
        level = static_cast<int64_t>(saved_.size()) + which;
    else if (which > 0)
        level = static_cast<int64_t>(which) - 1;
    else
        return;
    if (level < 0 || level >= static_cast<int64_t>(saved_.size())) return;
    s = std::move(saved_[static_cast<size_t>(level)]);
    saved_.resize(static_cast<size_t>(level));
    StateChanged();
}

void Canvas::StateChanged() {
    UpdateMap();
    clipDirty_ = true;
}

// ---- shapes -----------------------------------------------------------------------------

Path Canvas::Polyline(const std::vector<Point>& points) const {
    Path p;
    for (size_t i = 0; i < points.size(); ++i) {
        if (i == 0)
            p.MoveTo(Out(points[i]));
        else
            p.LineTo(Out(points[i]));
    }
    return p;
}

Path Canvas::Polygon(const std::vector<Point>& points) const {
    Path p = Polyline(points);
    p.Close();
    return p;
}

// Cubic beziers: an end point and two control points each, after a start point of their
// own or the current position.
Path Canvas::Beziers(const std::vector<Point>& points, bool startAtCurrent) const {
    Path p;
    size_t at = 0;
    if (startAtCurrent) {
        p.MoveTo(Out(s.position));
    } else {
        if (points.empty()) return p;
        p.MoveTo(Out(points[0]));
        at = 1;
    }
    for (; at + 3 <= points.size(); at += 3)
        p.CurveTo(Out(points[at]), Out(points[at + 1]), Out(points[at + 2]));
    return p;
}

Path Canvas::Rectangle(double l, double t, double r, double b) const {
    Path p;
    p.MoveTo(Out({l, t}));
    p.LineTo(Out({r, t}));
    p.LineTo(Out({r, b}));
    p.LineTo(Out({l, b}));
    p.Close();
    return p;
}

namespace {

// Appends to a path, in output pixels, the arc of the ellipse (centre c, radii rx, ry in
// logical units) from parametric angle a0 through sweep, as beziers of at most a quarter turn.
void AppendArc(Path& p, const Affine& map, Point c, double rx, double ry, double a0, double sweep,
               bool move) {
    const auto at = [&](double a) { return Point{c.x + rx * std::cos(a), c.y + ry * std::sin(a)}; };
    const auto tangent = [&](double a) { return Point{-rx * std::sin(a), ry * std::cos(a)}; };
    const auto out = [&](Point q) {
        const Point o = map.Apply(q);
        return Point{Clamp(o.x), Clamp(o.y)};
    };
    if (move) p.MoveTo(out(at(a0)));
    const int pieces = std::max(1, static_cast<int>(std::ceil(std::fabs(sweep) / (kPi / 2) - 1e-9)));
    const double step = sweep / pieces;
    const double k = 4.0 / 3.0 * std::tan(step / 4);
    for (int i = 0; i < pieces; ++i) {
        const double s0 = a0 + step * i, s1 = s0 + step;
        const Point p0 = at(s0), p1 = at(s1), t0 = tangent(s0), t1 = tangent(s1);
        p.CurveTo(out({p0.x + k * t0.x, p0.y + k * t0.y}), out({p1.x - k * t1.x, p1.y - k * t1.y}), out(p1));
    }
}

}  // namespace

Path Canvas::Ellipse(double l, double t, double r, double b) const {
    Path p;
    AppendArc(p, map_, {(l + r) / 2, (t + b) / 2}, std::fabs(r - l) / 2, std::fabs(b - t) / 2, 0, 2 * kPi,
              true);
    p.Close();
    return p;
}

Path Canvas::RoundRect(double l, double t, double r, double b, double w, double h) const {
    if (l > r) std::swap(l, r);
    if (t > b) std::swap(t, b);
    const double rx = std::min(std::fabs(w) / 2, (r - l) / 2), ry = std::min(std::fabs(h) / 2, (b - t) / 2);
    if (rx <= 0 || ry <= 0) return Rectangle(l, t, r, b);
    Path p;
    p.MoveTo(Out({l + rx, t}));
    p.LineTo(Out({r - rx, t}));
    AppendArc(p, map_, {r - rx, t + ry}, rx, ry, -kPi / 2, kPi / 2, false);
    p.LineTo(Out({r, b - ry}));
    AppendArc(p, map_, {r - rx, b - ry}, rx, ry, 0, kPi / 2, false);
    p.LineTo(Out({l + rx, b}));
    AppendArc(p, map_, {l + rx, b - ry}, rx, ry, kPi / 2, kPi / 2, false);
    p.LineTo(Out({l, t + ry}));
    AppendArc(p, map_, {l + rx, t + ry}, rx, ry, kPi, kPi / 2, false);
    p.Close();
    return p;
}

// Arcs run counterclockwise as seen on the output unless the arc direction is clockwise.
// With y growing downwards that is the direction of falling parametric angles, unless the
// mapping mirrors the picture.
Path Canvas::Arc(double l, double t, double r, double b, Point start, Point end, ArcKind kind,
                 Point* arcEnd) const {
    const Point c{(l + r) / 2, (t + b) / 2};
    const double rx = std::fabs(r - l) / 2, ry = std::fabs(b - t) / 2;
    Path p;
    if (rx == 0 || ry == 0) return p;
    const double a0 = std::atan2((start.y - c.y) / ry, (start.x - c.x) / rx);
    const double a1 = std::atan2((end.y - c.y) / ry, (end.x - c.x) / rx);
    const bool rising = (map_.Det() < 0) != s.clockwise;
    double sweep = a1 - a0;
    if (rising) {
        while (sweep <= 1e-12) sweep += 2 * kPi;
        if (sweep > 2 * kPi) sweep -= 2 * kPi;
    } else {
        while (sweep >= -1e-12) sweep -= 2 * kPi;
        if (sweep < -2 * kPi) sweep += 2 * kPi;
    }
    const Point first{c.x + rx * std::cos(a0), c.y + ry * std::sin(a0)};
    if (arcEnd) *arcEnd = {c.x + rx * std::cos(a0 + sweep), c.y + ry * std::sin(a0 + sweep)};
    switch (kind) {
        case ArcKind::Arc:
            AppendArc(p, map_, c, rx, ry, a0, sweep, true);
            break;
        case ArcKind::ArcTo:
            p.MoveTo(Out(s.position));
            p.LineTo(Out(first));
            AppendArc(p, map_, c, rx, ry, a0, sweep, false);
            break;
        case ArcKind::Chord:
            AppendArc(p, map_, c, rx, ry, a0, sweep, true);
            p.Close();
            break;
        case ArcKind::Pie:
            p.MoveTo(Out(c));
            p.LineTo(Out(first));
            AppendArc(p, map_, c, rx, ry, a0, sweep, false);
            p.Close();
            break;
    }
    return p;
}

// Angles in degrees, counterclockwise from the x axis with y growing downwards.
Path Canvas::AngleArc(Point center, double radius, double startDegrees, double sweepDegrees,
                      Point* arcEnd) const {
    Path p;
    if (!std::isfinite(startDegrees) || !std::isfinite(sweepDegrees) || !std::isfinite(radius)) return p;
    startDegrees = std::fmod(startDegrees, 360.0);
    sweepDegrees = std::clamp(sweepDegrees, -3600.0, 3600.0);
    const double a0 = startDegrees * kPi / 180, sweep = sweepDegrees * kPi / 180;
    const Point first{center.x + radius * std::cos(a0), center.y - radius * std::sin(a0)};
    if (arcEnd)
        *arcEnd = {center.x + radius * std::cos(a0 + sweep), center.y - radius * std::sin(a0 + sweep)};
    p.MoveTo(Out(s.position));
    p.LineTo(Out(first));
    if (sweep != 0) AppendArc(p, map_, center, radius, -radius, a0, sweep, false);
    return p;
}

// ---- drawing ----------------------------------------------------------------------------

// The binary raster operation decides whether and how the pen and the brush are drawn.
bool Canvas::Rop2Allows() { return s.rop2 != R2_NOP; }

void Canvas::SetOperatorForRop2() {
    switch (s.rop2) {
        case R2_NOT:
        case R2_XORPEN:
            cairo_set_operator(cr_, CAIRO_OPERATOR_DIFFERENCE);
            break;
        case R2_MASKPEN:
            cairo_set_operator(cr_, CAIRO_OPERATOR_MULTIPLY);
            break;
        case R2_MERGEPEN:
            cairo_set_operator(cr_, CAIRO_OPERATOR_LIGHTEN);
            break;
        default:
            cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
            break;
    }
}

namespace {

Color Rop2Color(int rop2, Color c) {
    switch (rop2) {
        case R2_BLACK:
            return {0, 0, 0};
        case R2_WHITE:
        case R2_NOT:
            return {255, 255, 255};
        default:
            return c;
    }
}

void SetColor(cairo_t* cr, Color c) { cairo_set_source_rgb(cr, c.r / 255.0, c.g / 255.0, c.b / 255.0); }

// The 8 x 8 hatch patterns: one byte per row, the leftmost pixel in bit 7.
constexpr uint8_t kHatches[6][8] = {
    {0x00, 0x00, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00},  // horizontal
    {0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08, 0x08},  // vertical
    {0x80, 0x40, 0x20, 0x10, 0x08, 0x04, 0x02, 0x01},  // forward diagonal, top left to bottom right
    {0x01, 0x02, 0x04, 0x08, 0x10, 0x20, 0x40, 0x80},  // backward diagonal
    {0x08, 0x08, 0x08, 0xFF, 0x08, 0x08, 0x08, 0x08},  // cross
    {0x81, 0x42, 0x24, 0x18, 0x18, 0x24, 0x42, 0x81},  // diagonal cross
};

uint32_t Premultiplied(Color c, uint8_t alpha) {
    const auto m = [alpha](uint8_t v) { return static_cast<uint32_t>((v * alpha + 127) / 255); };
    return (static_cast<uint32_t>(alpha) << 24) | (m(c.r) << 16) | (m(c.g) << 8) | m(c.b);
}

}  // namespace

void Canvas::SetPenSource(const Path& path) {
    const Pen& pen = s.pen;
    SetColor(cr_, Rop2Color(s.rop2, pen.color));
    double width = pen.cosmetic ? 1 : pen.width * ScaleX();
    if (!std::isfinite(width) || width < 1) width = 1;
    width = std::min(width, kCoordinateLimit);
    cairo_set_line_width(cr_, width);
    switch (pen.style & PS_ENDCAP_MASK) {
        case PS_ENDCAP_SQUARE:
            cairo_set_line_cap(cr_, CAIRO_LINE_CAP_SQUARE);
            break;
        case PS_ENDCAP_FLAT:
            cairo_set_line_cap(cr_, CAIRO_LINE_CAP_BUTT);
            break;
        default:
            cairo_set_line_cap(cr_, CAIRO_LINE_CAP_ROUND);
            break;
    }
    switch (pen.style & PS_JOIN_MASK) {
        case PS_JOIN_BEVEL:
            cairo_set_line_join(cr_, CAIRO_LINE_JOIN_BEVEL);
            break;
        case PS_JOIN_MITER:
            cairo_set_line_join(cr_, CAIRO_LINE_JOIN_MITER);
            break;
        default:
            cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND);
            break;
    }
    cairo_set_miter_limit(cr_, std::clamp(s.miterLimit, 1.0, 100.0));

    // Dash lengths: in pixels for one-pixel pens, in multiples of the width for wider
    // geometric pens; pens of the old kind wider than one logical unit are always solid.
    std::vector<double> dashes;
    const uint32_t style = pen.style & PS_STYLE_MASK;
    const bool thin = pen.cosmetic || width <= 1;
    const bool patterned = (pen.style & PS_GEOMETRIC) || pen.cosmetic || pen.width <= 1;
    if (patterned) {
        switch (style) {
            case PS_DASH:
                dashes = thin ? std::vector<double>{18, 6} : std::vector<double>{3, 1};
                break;
            case PS_DOT:
                dashes = thin ? std::vector<double>{3, 3} : std::vector<double>{1, 1};
                break;
            case PS_DASHDOT:
                dashes = thin ? std::vector<double>{9, 6, 3, 6} : std::vector<double>{3, 1, 1, 1};
                break;
            case PS_DASHDOTDOT:
                dashes = thin ? std::vector<double>{9, 3, 3, 3, 3, 3} : std::vector<double>{3, 1, 1, 1, 1, 1};
                break;
            case PS_ALTERNATE:
                dashes = {1, 1};
                break;
            case PS_USERSTYLE:
                for (double d : pen.dashes) dashes.push_back(pen.cosmetic ? d : d * ScaleX() / width);
                break;
            default:
                break;
        }
    }
    double total = 0;
    for (double& d : dashes) {
        d = thin ? d : d * width;
        if (!std::isfinite(d) || d < 0) d = 0;
        d = std::min(d, kCoordinateLimit);
        total += d;
    }
    // Cairo refuses dash lists of nothing but zeros; such a pen is drawn solid, and so is
    // an outline so long that its dashes would be too many to draw.
    if (total > 0 && PathLength(path) / total > kMaxDashPeriods) total = 0;
    if (total > 0)
        cairo_set_dash(cr_, dashes.data(), static_cast<int>(dashes.size()), 0);
    else
        cairo_set_dash(cr_, nullptr, 0, 0);
}

bool Canvas::SetBrushSource(const Brush& brush) {
    switch (brush.style) {
        case BS_SOLID:
            SetColor(cr_, Rop2Color(s.rop2, brush.color));
            return true;
        case BS_HATCHED: {
            if (brush.hatch > 5) {
                SetColor(cr_, Rop2Color(s.rop2, brush.color));
                return true;
            }
            uint32_t* pixels = hatch_;
            const uint32_t ink = Premultiplied(Rop2Color(s.rop2, brush.color), 255);
            const uint32_t paper = s.bkMode == OPAQUE ? Premultiplied(s.bkColor, 255) : 0;
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 8; ++x)
                    pixels[y * 8 + x] = (kHatches[brush.hatch][y] & (0x80 >> x)) ? ink : paper;
            cairo_surface_t* surface = cairo_image_surface_create_for_data(
                reinterpret_cast<unsigned char*>(pixels), CAIRO_FORMAT_ARGB32, 8, 8, 32);
            cairo_pattern_t* pattern = cairo_pattern_create_for_surface(surface);
            cairo_pattern_set_extend(pattern, CAIRO_EXTEND_REPEAT);
            cairo_pattern_set_filter(pattern, CAIRO_FILTER_NEAREST);
            cairo_set_source(cr_, pattern);
            cairo_pattern_destroy(pattern);
            cairo_surface_destroy(surface);
            return true;
        }
        case BS_PATTERN:
        case BS_DIBPATTERN:
        case BS_DIBPATTERNPT: {
            if (!brush.pattern || brush.pattern->pixels.empty()) {
                SetColor(cr_, Rop2Color(s.rop2, brush.color));
                return true;
            }
            const Bitmap& b = *brush.pattern;
            cairo_surface_t* surface = cairo_image_surface_create_for_data(
                reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(b.pixels.data())),
                b.hasAlpha ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, b.width, b.height, b.width * 4);
            cairo_pattern_t* pattern = cairo_pattern_create_for_surface(surface);
            cairo_pattern_set_extend(pattern, CAIRO_EXTEND_REPEAT);
            cairo_pattern_set_filter(pattern, CAIRO_FILTER_NEAREST);
            cairo_set_source(cr_, pattern);
            cairo_pattern_destroy(pattern);
            cairo_surface_destroy(surface);
            return true;
        }
        default:
            return false;
    }
}

void Canvas::FillCurrent(const Path& path, const Brush& brush, bool evenOdd) {
    if (brush.style == BS_NULL) return;
    // The source is put back afterwards: a pattern source refers to pixels we own.
    cairo_save(cr_);
    cairo_new_path(cr_);
    path.Emit(cr_);
    cairo_set_fill_rule(cr_, evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
    SetOperatorForRop2();
    if (SetBrushSource(brush)) cairo_fill(cr_);
    cairo_restore(cr_);
}

// A device pixel is the square to the right of and below its coordinate, and pens are
// centred on pixels: outlines lie half a pixel further right and down than fill edges.
void Canvas::StrokeCurrent(const Path& path) {
    if ((s.pen.style & PS_STYLE_MASK) == PS_NULL) return;
    cairo_save(cr_);
    cairo_translate(cr_, 0.5, 0.5);
    cairo_new_path(cr_);
    path.Emit(cr_);
    SetOperatorForRop2();
    SetPenSource(path);
    cairo_stroke(cr_);
    cairo_restore(cr_);
}

void Canvas::Draw(const Path& path, bool fill, bool stroke) {
    if (path.Empty()) return;
    if (pathOpen_) {
        if (path_.Size() + path.Size() <= kMaxPathPoints) path_.Append(path);
        return;
    }
    if (!Rop2Allows()) return;
    ApplyClip();
    if (fill) FillCurrent(path, s.brush, s.fillMode == ALTERNATE);
    if (stroke) StrokeCurrent(path);
}

void Canvas::DrawContinued(const Path& path) {
    if (path.Empty()) return;
    if (pathOpen_) {
        // The leading move to the current position continues the open figure.
        const bool continues = !path_.Empty() && path_.ops.back() != Path::OpClose &&
                               path.ops[0] == Path::OpMove && path_.pts.back().x == path.pts[0].x &&
                               path_.pts.back().y == path.pts[0].y;
        if (path_.Size() + path.Size() > kMaxPathPoints) return;
        if (continues) {
            path_.ops.insert(path_.ops.end(), path.ops.begin() + 1, path.ops.end());
            path_.pts.insert(path_.pts.end(), path.pts.begin() + 1, path.pts.end());
        } else {
            path_.Append(path);
        }
        return;
    }
    Draw(path, false, true);
}

void Canvas::FillWithBrush(const Path& path, const Brush& brush) {
    if (path.Empty() || !Rop2Allows()) return;
    ApplyClip();
    FillCurrent(path, brush, false);
}

void Canvas::MoveTo(double x, double y) {
    s.position = {x, y};
    if (pathOpen_ && path_.Size() < kMaxPathPoints) path_.MoveTo(Out(s.position));
}

void Canvas::LineTo(double x, double y) {
    Path p;
    p.MoveTo(Out(s.position));
    p.LineTo(Out({x, y}));
    s.position = {x, y};
    DrawContinued(p);
}

void Canvas::SetPixel(double x, double y, Color color) {
    if (pathOpen_) return;
    const Point p = Out({x, y});
    ApplyClip();
    cairo_save(cr_);
    SetColor(cr_, color);
    cairo_rectangle(cr_, std::floor(p.x), std::floor(p.y), 1, 1);
    cairo_fill(cr_);
    cairo_restore(cr_);
}

// ---- path bracket -----------------------------------------------------------------------

void Canvas::BeginPath() {
    path_ = Path{};
    pathOpen_ = true;
}

void Canvas::AbortPath() {
    path_ = Path{};
    pathOpen_ = false;
}

void Canvas::CloseFigure() {
    if (pathOpen_) path_.Close();
}

void Canvas::FillPath() {
    if (pathOpen_) return;
    Path p = std::move(path_);
    path_ = Path{};
    Draw(p, true, false);
}

void Canvas::StrokePath() {
    if (pathOpen_) return;
    Path p = std::move(path_);
    path_ = Path{};
    Draw(p, false, true);
}

void Canvas::StrokeAndFillPath() {
    if (pathOpen_) return;
    Path p = std::move(path_);
    path_ = Path{};
    Draw(p, true, true);
}

// Without a closed path there is nothing to select, and the clip stays as it was.
void Canvas::SelectClipPath(int mode) {
    if (pathOpen_ || path_.Empty()) return;
    ClipLayer layer{std::move(path_), s.fillMode == ALTERNATE};
    path_ = Path{};
    AddClipLayer(std::move(layer), mode);
}

// ---- clipping ---------------------------------------------------------------------------

// The clip is the intersection of its layers. Union and exclusive-or with a clip of more
// than one layer cannot be written that way; the clip is then dropped (a larger area is
// drawn rather than a wrong one hidden).
void Canvas::AddClipLayer(ClipLayer layer, int mode) {
    if (layer.path.Size() > kMaxClipPoints) {
        if (mode == RGN_COPY) s.clip.clear(), clipDirty_ = true;
        return;
    }
    const bool room =
        s.clip.size() < kMaxClipLayers && ClipPoints(s.clip) + layer.path.Size() + 5 <= kMaxClipPoints;
    switch (mode) {
        case RGN_COPY:
            s.clip.assign(1, std::move(layer));
            break;
        case RGN_AND:
            if (room) s.clip.push_back(std::move(layer));
            break;
        case RGN_DIFF: {
            if (!room) break;
            ClipLayer outside{Everything(), true};
            outside.path.Append(layer.path);
            s.clip.push_back(std::move(outside));
            break;
        }
        case RGN_OR:
            if (s.clip.size() == 1 && !s.clip[0].evenOdd && !layer.evenOdd && room)
                s.clip[0].path.Append(layer.path);
            else
                s.clip.clear();
            break;
        case RGN_XOR:
            if (!room) break;
            if (s.clip.empty()) {
                ClipLayer outside{Everything(), true};
                outside.path.Append(layer.path);
                s.clip.push_back(std::move(outside));
            } else if (s.clip.size() == 1) {
                s.clip[0].evenOdd = true;
                s.clip[0].path.Append(layer.path);
            } else {
                s.clip.clear();
            }
            break;
        default:
            return;
    }
    clipDirty_ = true;
}

void Canvas::ApplyClip() {
    if (!clipDirty_) return;
    cairo_reset_clip(cr_);
    for (const ClipLayer& layer : s.clip) {
        cairo_new_path(cr_);
        layer.path.Emit(cr_);
        cairo_set_fill_rule(cr_, layer.evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
        cairo_clip(cr_);
    }
    cairo_new_path(cr_);
    clipDirty_ = false;
}

void Canvas::IntersectClipRect(double l, double t, double r, double b) {
    AddClipLayer({Rectangle(l, t, r, b), false}, RGN_AND);
}

void Canvas::ExcludeClipRect(double l, double t, double r, double b) {
    AddClipLayer({Rectangle(l, t, r, b), false}, RGN_DIFF);
}

void Canvas::OffsetClip(double dx, double dy) {
    const Point by = map_.ApplyVector({dx, dy});
    if (!std::isfinite(by.x) || !std::isfinite(by.y)) return;
    for (ClipLayer& layer : s.clip) layer.path.Translate(by);
    clipDirty_ = true;
}

void Canvas::SelectClipRegion(const std::vector<Point>& corners, int mode) {
    if (mode == RGN_COPY && corners.empty()) {
        s.clip.clear();
        clipDirty_ = true;
        return;
    }
    ClipLayer layer;
    const auto out = [&](double x, double y) {
        const Point o = deviceToOutput_.Apply({x, y});
        return Point{Clamp(o.x), Clamp(o.y)};
    };
    for (size_t i = 0; i + 1 < corners.size(); i += 2) {
        const Point a = corners[i], b = corners[i + 1];
        layer.path.MoveTo(out(a.x, a.y));
        layer.path.LineTo(out(b.x, a.y));
        layer.path.LineTo(out(b.x, b.y));
        layer.path.LineTo(out(a.x, b.y));
        layer.path.Close();
    }
    AddClipLayer(std::move(layer), mode);
}

// ---- objects ----------------------------------------------------------------------------

void Canvas::ResizeTable(uint32_t slots) {
    table_.assign(std::min(slots, kMaxObjects), std::nullopt);
    firstFree_ = 0;
}

bool Canvas::AddObject(Object object) {
    while (firstFree_ < table_.size() && table_[firstFree_]) ++firstFree_;
    if (firstFree_ >= table_.size()) return false;
    table_[firstFree_] = std::move(object);
    return true;
}

void Canvas::PutObject(uint32_t index, Object object) {
    if (index < table_.size()) table_[index] = std::move(object);
}

const std::optional<Object>* Canvas::Slot(uint32_t index) const {
    return index < table_.size() ? &table_[index] : nullptr;
}

void Canvas::SelectObject(uint32_t index) {
    if (index & 0x80000000u) {
        SelectStock(index & 0x7FFFFFFFu);
        return;
    }
    if (index >= table_.size() || !table_[index]) return;
    const Object& object = *table_[index];
    if (const Pen* pen = std::get_if<Pen>(&object))
        s.pen = *pen;
    else if (const Brush* brush = std::get_if<Brush>(&object))
        s.brush = *brush;
    else if (const Font* font = std::get_if<Font>(&object))
        s.font = *font;
}

// The stock objects: brushes 0 to 5, pens 6 to 8, fonts 10 to 17, the DC brush and pen.
void Canvas::SelectStock(uint32_t which) {
    constexpr uint8_t kGreys[5] = {255, 192, 128, 64, 0};
    if (which <= 4 || which == 18) {
        const uint8_t v = which == 18 ? 255 : kGreys[which];
        s.brush = Brush{BS_SOLID, {v, v, v}, 0, nullptr};
    } else if (which == 5) {
        s.brush = Brush{BS_NULL, {}, 0, nullptr};
    } else if (which == 6 || which == 7 || which == 19) {
        const uint8_t v = which == 6 ? 255 : 0;
        s.pen = Pen{};
        s.pen.color = {v, v, v};
    } else if (which == 8) {
        s.pen = Pen{};
        s.pen.style = PS_NULL;
    } else if (which >= 10 && which <= 17) {
        s.font = Font{};
    }
}

void Canvas::DeleteObject(uint32_t index) {
    if (index >= table_.size() || !table_[index]) return;
    if (const Brush* brush = std::get_if<Brush>(&*table_[index]);
        brush && brush->pattern && brush->pattern.use_count() == 1) {
        const uint64_t pixels = static_cast<uint64_t>(brush->pattern->width) * brush->pattern->height;
        patternPixels_ -= std::min(patternPixels_, pixels);
    }
    table_[index].reset();
    firstFree_ = std::min(firstFree_, index);
}

Brush Canvas::PatternBrush(std::shared_ptr<const Bitmap> pattern) {
    Brush brush{BS_DIBPATTERNPT, {0, 0, 0}, 0, nullptr};
    if (!pattern) return brush;
    const uint64_t pixels = static_cast<uint64_t>(pattern->width) * pattern->height;
    if (patternPixels_ + pixels > kMaxPatternPixels) return brush;
    patternPixels_ += pixels;
    brush.pattern = std::move(pattern);
    return brush;
}

}  // namespace wmf
