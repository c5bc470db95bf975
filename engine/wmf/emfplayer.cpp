// Enhanced metafile records: a 32-bit type, a 32-bit size in bytes (the 8-byte record
// header included), then the fields; offsets below count from the start of the record.
// Coordinates are 32-bit logical units, or 16-bit in the records named with "16".
#include <algorithm>
#include <cmath>
#include <vector>

#include "dib.h"
#include "player.h"

namespace wmf {

namespace {

constexpr uint32_t kSignature = 0x464D4520;  // " EMF"
constexpr size_t kHeaderMinimum = 88;

enum Type : uint32_t {
    EMR_HEADER = 1,
    EMR_POLYBEZIER = 2,
    EMR_POLYGON = 3,
    EMR_POLYLINE = 4,
    EMR_POLYBEZIERTO = 5,
    EMR_POLYLINETO = 6,
    EMR_POLYPOLYLINE = 7,
    EMR_POLYPOLYGON = 8,
    EMR_SETWINDOWEXTEX = 9,
    EMR_SETWINDOWORGEX = 10,
    EMR_SETVIEWPORTEXTEX = 11,
    EMR_SETVIEWPORTORGEX = 12,
    EMR_EOF = 14,
    EMR_SETPIXELV = 15,
    EMR_SETMAPMODE = 17,
    EMR_SETBKMODE = 18,
    EMR_SETPOLYFILLMODE = 19,
    EMR_SETROP2 = 20,
    EMR_SETSTRETCHBLTMODE = 21,
    EMR_SETTEXTALIGN = 22,
    EMR_SETTEXTCOLOR = 24,
    EMR_SETBKCOLOR = 25,
    EMR_OFFSETCLIPRGN = 26,
    EMR_MOVETOEX = 27,
    EMR_EXCLUDECLIPRECT = 29,
    EMR_INTERSECTCLIPRECT = 30,
    EMR_SCALEVIEWPORTEXTEX = 31,
    EMR_SCALEWINDOWEXTEX = 32,
    EMR_SAVEDC = 33,
    EMR_RESTOREDC = 34,
    EMR_SETWORLDTRANSFORM = 35,
    EMR_MODIFYWORLDTRANSFORM = 36,
    EMR_SELECTOBJECT = 37,
    EMR_CREATEPEN = 38,
    EMR_CREATEBRUSHINDIRECT = 39,
    EMR_DELETEOBJECT = 40,
    EMR_ANGLEARC = 41,
    EMR_ELLIPSE = 42,
    EMR_RECTANGLE = 43,
    EMR_ROUNDRECT = 44,
    EMR_ARC = 45,
    EMR_CHORD = 46,
    EMR_PIE = 47,
    EMR_CREATEPALETTE = 49,
    EMR_LINETO = 54,
    EMR_ARCTO = 55,
    EMR_POLYDRAW = 56,
    EMR_SETARCDIRECTION = 57,
    EMR_SETMITERLIMIT = 58,
    EMR_BEGINPATH = 59,
    EMR_ENDPATH = 60,
    EMR_CLOSEFIGURE = 61,
    EMR_FILLPATH = 62,
    EMR_STROKEANDFILLPATH = 63,
    EMR_STROKEPATH = 64,
    EMR_SELECTCLIPPATH = 67,
    EMR_ABORTPATH = 68,
    EMR_FILLRGN = 71,
    EMR_PAINTRGN = 74,
    EMR_EXTSELECTCLIPRGN = 75,
    EMR_BITBLT = 76,
    EMR_STRETCHBLT = 77,
    EMR_SETDIBITSTODEVICE = 80,
    EMR_STRETCHDIBITS = 81,
    EMR_EXTCREATEFONTINDIRECTW = 82,
    EMR_EXTTEXTOUTA = 83,
    EMR_EXTTEXTOUTW = 84,
    EMR_POLYBEZIER16 = 85,
    EMR_POLYGON16 = 86,
    EMR_POLYLINE16 = 87,
    EMR_POLYBEZIERTO16 = 88,
    EMR_POLYLINETO16 = 89,
    EMR_POLYPOLYLINE16 = 90,
    EMR_POLYPOLYGON16 = 91,
    EMR_POLYDRAW16 = 92,
    EMR_CREATEMONOBRUSH = 93,
    EMR_CREATEDIBPATTERNBRUSHPT = 94,
    EMR_EXTCREATEPEN = 95,
    EMR_ALPHABLEND = 114,
};

// Point types of the poly-draw records.
constexpr uint8_t PT_CLOSEFIGURE = 1, PT_LINETO = 2, PT_BEZIERTO = 4, PT_MOVETO = 6;
constexpr uint8_t AC_SRC_ALPHA = 1;
// Style entries of a user-styled pen; the system allows no more.
constexpr uint32_t kMaxStyleEntries = 16;

class EmfPlayer {
   public:
    explicit EmfPlayer(Canvas& canvas) : c_(canvas) {}
    void Play(uint32_t type, const Record& r);

   private:
    Canvas& c_;

    static std::vector<Point> Points(const Record& r, size_t at, size_t count, bool small);
    void Poly(uint32_t type, const Record& r, bool small);
    void PolyPoly(const Record& r, bool polygon, bool small);
    void PolyDraw(const Record& r, bool small);
    void Text(const Record& r, bool wide);
    void Blit(uint32_t type, const Record& r);
    void Region(const Record& r, size_t at, size_t size, std::vector<Point>& corners) const;
    std::shared_ptr<Bitmap> RecordBitmap(const Record& r, size_t infoField, uint32_t usage,
                                         bool alpha = false) const;
    static Affine Xform(const Record& r, size_t at);
};

std::vector<Point> EmfPlayer::Points(const Record& r, size_t at, size_t count, bool small) {
    const size_t step = small ? 4 : 8;
    r.Bytes(at, count * step);
    std::vector<Point> points(count);
    for (size_t i = 0; i < count; ++i) {
        const size_t p = at + i * step;
        points[i] = small ? Point{double(r.S16(p)), double(r.S16(p + 2))}
                          : Point{double(r.S32(p)), double(r.S32(p + 4))};
    }
    return points;
}

Affine EmfPlayer::Xform(const Record& r, size_t at) {
    return {r.F32(at), r.F32(at + 4), r.F32(at + 8), r.F32(at + 12), r.F32(at + 16), r.F32(at + 20)};
}

// Bounds, a point count, then the points.
void EmfPlayer::Poly(uint32_t type, const Record& r, bool small) {
    const std::vector<Point> points = Points(r, 28, r.U32(24), small);
    if (points.empty()) return;
    switch (type) {
        case EMR_POLYGON:
        case EMR_POLYGON16:
            c_.Draw(c_.Polygon(points), true, true);
            break;
        case EMR_POLYLINE:
        case EMR_POLYLINE16:
            c_.Draw(c_.Polyline(points), false, true);
            break;
        case EMR_POLYBEZIER:
        case EMR_POLYBEZIER16:
            c_.Draw(c_.Beziers(points, false), false, true);
            break;
        case EMR_POLYBEZIERTO:
        case EMR_POLYBEZIERTO16:
            c_.DrawContinued(c_.Beziers(points, true));
            if (points.size() >= 3) c_.s.position = points[points.size() / 3 * 3 - 1];
            break;
        case EMR_POLYLINETO:
        case EMR_POLYLINETO16: {
            std::vector<Point> from{c_.s.position};
            from.insert(from.end(), points.begin(), points.end());
            c_.DrawContinued(c_.Polyline(from));
            c_.s.position = points.back();
            break;
        }
        default:
            break;
    }
}

// Bounds, the number of polygons, the total point count, the count of each, the points.
void EmfPlayer::PolyPoly(const Record& r, bool polygon, bool small) {
    const size_t polys = r.U32(24), total = r.U32(28);
    r.Bytes(32, polys * 4);
    const std::vector<Point> points = Points(r, 32 + polys * 4, total, small);
    Path all;
    size_t at = 0;
    for (size_t i = 0; i < polys; ++i) {
        const size_t n = r.U32(32 + i * 4);
        if (n > points.size() - at) break;
        const std::vector<Point> one(points.begin() + static_cast<std::ptrdiff_t>(at),
                                     points.begin() + static_cast<std::ptrdiff_t>(at + n));
        all.Append(polygon ? c_.Polygon(one) : c_.Polyline(one));
        at += n;
    }
    c_.Draw(all, polygon, true);
}

// Points with a type each: moves, lines and bezier control points, any of them closing.
void EmfPlayer::PolyDraw(const Record& r, bool small) {
    const size_t count = r.U32(24);
    const std::vector<Point> points = Points(r, 28, count, small);
    const uint8_t* types = r.Bytes(28 + count * (small ? 4 : 8), count);
    Path p;
    p.MoveTo(c_.ToOutput(c_.s.position));
    for (size_t i = 0; i < count; ++i) {
        const uint8_t t = types[i] & ~PT_CLOSEFIGURE;
        if (t == PT_MOVETO) {
            p.MoveTo(c_.ToOutput(points[i]));
        } else if (t == PT_LINETO) {
            p.LineTo(c_.ToOutput(points[i]));
        } else if (t == PT_BEZIERTO && i + 2 < count) {
            p.CurveTo(c_.ToOutput(points[i]), c_.ToOutput(points[i + 1]), c_.ToOutput(points[i + 2]));
            i += 2;
        }
        if (i < count && (types[i] & PT_CLOSEFIGURE)) p.Close();
        if (i < count) c_.s.position = points[i];
    }
    c_.DrawContinued(p);
}

void EmfPlayer::Text(const Record& r, bool wide) {
    const Point reference{double(r.S32(36)), double(r.S32(40))};
    const size_t count = r.U32(44);
    const size_t offString = r.U32(48);
    const uint32_t options = r.U32(52);
    double rect[4] = {double(r.S32(56)), double(r.S32(60)), double(r.S32(64)), double(r.S32(68))};
    const size_t offDx = r.U32(72);
    Canvas::Text text = wide ? DecodeUtf16(r.Bytes(offString, count * 2), count)
                             : DecodeAnsi(r.Bytes(offString, count), count, c_.s.font.charset);
    // One advance per byte or code unit, followed by a vertical one with ETO_PDY.
    const size_t perUnit = (options & ETO_PDY) ? 2 : 1;
    if (offDx && r.Has(offDx, count * perUnit * 4)) {
        text.dx.resize(count);
        if (perUnit == 2) text.dy.resize(count);
        for (size_t i = 0; i < count; ++i) {
            text.dx[i] = r.S32(offDx + i * perUnit * 4);
            if (perUnit == 2) text.dy[i] = r.S32(offDx + i * 8 + 4);
        }
    }
    const bool hasRect = rect[0] != rect[2] && rect[1] != rect[3];
    c_.TextOut(reference, text, options, hasRect ? rect : nullptr);
}

// A bitmap whose BITMAPINFO offset and size, then bits offset and size, are the four
// fields at infoField.
std::shared_ptr<Bitmap> EmfPlayer::RecordBitmap(const Record& r, size_t infoField, uint32_t usage,
                                                bool alpha) const {
    const size_t offInfo = r.U32(infoField), cbInfo = r.U32(infoField + 4);
    const size_t offBits = r.U32(infoField + 8), cbBits = r.U32(infoField + 12);
    if (cbInfo == 0) return nullptr;
    const uint8_t* info = r.Bytes(offInfo, cbInfo);
    const uint8_t* bits = cbBits ? r.Bytes(offBits, cbBits) : nullptr;
    return LoadDib(info, cbInfo, bits, cbBits, usage, alpha);
}

void EmfPlayer::Blit(uint32_t type, const Record& r) {
    switch (type) {
        case EMR_BITBLT:
        case EMR_STRETCHBLT: {
            const double dx = r.S32(24), dy = r.S32(28), dw = r.S32(32), dh = r.S32(36);
            const uint32_t rop = r.U32(40);
            const double sx = r.S32(44), sy = r.S32(48);
            const std::shared_ptr<Bitmap> bitmap = r.U32(88) ? RecordBitmap(r, 84, r.U32(80)) : nullptr;
            double sw = dw, sh = dh;
            if (type == EMR_STRETCHBLT) sw = r.S32(100), sh = r.S32(104);
            c_.StretchBitmap(bitmap.get(), sx, sy, sw, sh, dx, dy, dw, dh, rop);
            break;
        }
        case EMR_STRETCHDIBITS:
        case EMR_SETDIBITSTODEVICE: {
            const double dx = r.S32(24), dy = r.S32(28), sx = r.S32(32), sy = r.S32(36);
            const double sw = r.S32(40), sh = r.S32(44);
            const uint32_t usage = r.U32(64);
            const bool stretch = type == EMR_STRETCHDIBITS;
            const uint32_t rop = stretch ? r.U32(68) : SRCCOPY;
            const double dw = stretch ? r.S32(72) : sw, dh = stretch ? r.S32(76) : sh;
            const std::shared_ptr<Bitmap> bitmap = RecordBitmap(r, 48, usage);
            if (!bitmap) {
                c_.StretchBitmap(nullptr, 0, 0, 0, 0, dx, dy, dw, dh, rop);
                break;
            }
            // The source rectangle counts rows from the bottom of the bitmap.
            c_.StretchBitmap(bitmap.get(), sx, bitmap->height - sy - sh, sw, sh, dx, dy, dw, dh, rop);
            break;
        }
        case EMR_ALPHABLEND: {
            const double dx = r.S32(24), dy = r.S32(28), dw = r.S32(32), dh = r.S32(36);
            const uint32_t blend = r.U32(40);
            const double sx = r.S32(44), sy = r.S32(48), sw = r.S32(100), sh = r.S32(104);
            const double constant = ((blend >> 16) & 0xFF) / 255.0;
            const bool perPixel = (blend >> 24) & AC_SRC_ALPHA;
            const std::shared_ptr<Bitmap> bitmap = RecordBitmap(r, 84, r.U32(80), perPixel);
            if (bitmap) c_.StretchBitmap(bitmap.get(), sx, sy, sw, sh, dx, dy, dw, dh, SRCCOPY, constant);
            break;
        }
        default:
            break;
    }
}

// Region data: a 32-byte header whose third field counts the rectangles that follow.
void EmfPlayer::Region(const Record& r, size_t at, size_t size, std::vector<Point>& corners) const {
    if (size < 32) return;
    const size_t count = r.U32(at + 8);
    if (count > (size - 32) / 16) return;
    r.Bytes(at + 32, count * 16);
    for (size_t i = 0; i < count; ++i) {
        const size_t p = at + 32 + i * 16;
        corners.push_back({double(r.S32(p)), double(r.S32(p + 4))});
        corners.push_back({double(r.S32(p + 8)), double(r.S32(p + 12))});
    }
}

void EmfPlayer::Play(uint32_t type, const Record& r) {
    switch (type) {
        case EMR_POLYGON:
        case EMR_POLYLINE:
        case EMR_POLYBEZIER:
        case EMR_POLYBEZIERTO:
        case EMR_POLYLINETO:
            Poly(type, r, false);
            break;
        case EMR_POLYGON16:
        case EMR_POLYLINE16:
        case EMR_POLYBEZIER16:
        case EMR_POLYBEZIERTO16:
        case EMR_POLYLINETO16:
            Poly(type, r, true);
            break;
        case EMR_POLYPOLYLINE:
            PolyPoly(r, false, false);
            break;
        case EMR_POLYPOLYGON:
            PolyPoly(r, true, false);
            break;
        case EMR_POLYPOLYLINE16:
            PolyPoly(r, false, true);
            break;
        case EMR_POLYPOLYGON16:
            PolyPoly(r, true, true);
            break;
        case EMR_POLYDRAW:
            PolyDraw(r, false);
            break;
        case EMR_POLYDRAW16:
            PolyDraw(r, true);
            break;

        case EMR_SETWINDOWEXTEX:
            c_.SetWindowExt(r.S32(8), r.S32(12));
            break;
        case EMR_SETWINDOWORGEX:
            c_.SetWindowOrg(r.S32(8), r.S32(12));
            break;
        case EMR_SETVIEWPORTEXTEX:
            c_.SetViewportExt(r.S32(8), r.S32(12));
            break;
        case EMR_SETVIEWPORTORGEX:
            c_.SetViewportOrg(r.S32(8), r.S32(12));
            break;
        case EMR_SCALEVIEWPORTEXTEX:
            c_.ScaleViewportExt(r.S32(8), r.S32(12), r.S32(16), r.S32(20));
            break;
        case EMR_SCALEWINDOWEXTEX:
            c_.ScaleWindowExt(r.S32(8), r.S32(12), r.S32(16), r.S32(20));
            break;
        case EMR_SETMAPMODE:
            c_.SetMapMode(static_cast<int>(r.U32(8)));
            break;
        case EMR_SETWORLDTRANSFORM:
            c_.SetWorldTransform(Xform(r, 8));
            break;
        case EMR_MODIFYWORLDTRANSFORM:
            c_.ModifyWorldTransform(Xform(r, 8), r.U32(32));
            break;

        case EMR_SETBKMODE:
            c_.s.bkMode = static_cast<int>(r.U32(8));
            break;
        case EMR_SETPOLYFILLMODE:
            c_.s.fillMode = static_cast<int>(r.U32(8));
            break;
        case EMR_SETROP2:
            c_.s.rop2 = static_cast<int>(r.U32(8));
            break;
        case EMR_SETSTRETCHBLTMODE:
            c_.s.stretchMode = static_cast<int>(r.U32(8));
            break;
        case EMR_SETTEXTALIGN:
            c_.s.textAlign = r.U32(8);
            break;
        case EMR_SETTEXTCOLOR:
            c_.s.textColor = FromColorRef(r.U32(8));
            break;
        case EMR_SETBKCOLOR:
            c_.s.bkColor = FromColorRef(r.U32(8));
            break;
        case EMR_SETARCDIRECTION:
            c_.s.clockwise = r.U32(8) == 2;
            break;
        case EMR_SETMITERLIMIT: {
            // An integer, though some writers store a float.
            const uint32_t v = r.U32(8);
            c_.s.miterLimit = v <= 1000 ? double(v) : double(r.F32(8));
            if (!std::isfinite(c_.s.miterLimit)) c_.s.miterLimit = 10;
            break;
        }
        case EMR_SAVEDC:
            c_.SaveDC();
            break;
        case EMR_RESTOREDC:
            c_.RestoreDC(r.S32(8));
            break;

        case EMR_MOVETOEX:
            c_.MoveTo(r.S32(8), r.S32(12));
            break;
        case EMR_LINETO:
            c_.LineTo(r.S32(8), r.S32(12));
            break;
        case EMR_SETPIXELV:
            c_.SetPixel(r.S32(8), r.S32(12), FromColorRef(r.U32(16)));
            break;
        case EMR_RECTANGLE:
            c_.Draw(c_.Rectangle(r.S32(8), r.S32(12), r.S32(16), r.S32(20)), true, true);
            break;
        case EMR_ELLIPSE:
            c_.Draw(c_.Ellipse(r.S32(8), r.S32(12), r.S32(16), r.S32(20)), true, true);
            break;
        case EMR_ROUNDRECT:
            c_.Draw(c_.RoundRect(r.S32(8), r.S32(12), r.S32(16), r.S32(20), r.S32(24), r.S32(28)), true,
                    true);
            break;
        case EMR_ARC:
        case EMR_CHORD:
        case EMR_PIE:
        case EMR_ARCTO: {
            const Canvas::ArcKind kind = type == EMR_ARC     ? Canvas::ArcKind::Arc
                                         : type == EMR_CHORD ? Canvas::ArcKind::Chord
                                         : type == EMR_PIE   ? Canvas::ArcKind::Pie
                                                             : Canvas::ArcKind::ArcTo;
            Point end;
            const Path p =
                c_.Arc(r.S32(8), r.S32(12), r.S32(16), r.S32(20), {double(r.S32(24)), double(r.S32(28))},
                       {double(r.S32(32)), double(r.S32(36))}, kind, &end);
            if (kind == Canvas::ArcKind::ArcTo) {
                c_.DrawContinued(p);
                if (!p.Empty()) c_.s.position = end;
            } else {
                c_.Draw(p, kind != Canvas::ArcKind::Arc, true);
            }
            break;
        }
        case EMR_ANGLEARC: {
            Point end;
            const Path p =
                c_.AngleArc({double(r.S32(8)), double(r.S32(12))}, r.U32(16), r.F32(20), r.F32(24), &end);
            c_.DrawContinued(p);
            if (!p.Empty()) c_.s.position = end;
            break;
        }

        case EMR_BEGINPATH:
            c_.BeginPath();
            break;
        case EMR_ENDPATH:
            c_.EndPath();
            break;
        case EMR_ABORTPATH:
            c_.AbortPath();
            break;
        case EMR_CLOSEFIGURE:
            c_.CloseFigure();
            break;
        case EMR_FILLPATH:
            c_.FillPath();
            break;
        case EMR_STROKEPATH:
            c_.StrokePath();
            break;
        case EMR_STROKEANDFILLPATH:
            c_.StrokeAndFillPath();
            break;
        case EMR_SELECTCLIPPATH:
            c_.SelectClipPath(static_cast<int>(r.U32(8)));
            break;

        case EMR_EXCLUDECLIPRECT:
            c_.ExcludeClipRect(r.S32(8), r.S32(12), r.S32(16), r.S32(20));
            break;
        case EMR_INTERSECTCLIPRECT:
            c_.IntersectClipRect(r.S32(8), r.S32(12), r.S32(16), r.S32(20));
            break;
        case EMR_OFFSETCLIPRGN:
            c_.OffsetClip(r.S32(8), r.S32(12));
            break;
        case EMR_EXTSELECTCLIPRGN: {
            // Region rectangles in device units; no region with the copy mode removes the clip.
            const size_t size = r.U32(8);
            const int mode = static_cast<int>(r.U32(12));
            std::vector<Point> corners;
            if (size) Region(r, 16, size, corners);
            if (size && corners.empty() && mode != RGN_COPY) break;
            c_.SelectClipRegion(corners, mode);
            break;
        }
        case EMR_FILLRGN:
        case EMR_PAINTRGN: {
            // Region rectangles in logical units, filled with the given or the current brush.
            const size_t size = r.U32(24);
            const size_t at = type == EMR_FILLRGN ? 32 : 28;
            std::vector<Point> corners;
            Region(r, at, size, corners);
            Path p;
            for (size_t i = 0; i + 1 < corners.size(); i += 2)
                p.Append(c_.Rectangle(corners[i].x, corners[i].y, corners[i + 1].x, corners[i + 1].y));
            const Brush* brush = &c_.s.brush;
            if (type == EMR_FILLRGN) {
                const std::optional<Object>* slot = c_.Slot(r.U32(28));
                brush = slot && *slot ? std::get_if<Brush>(&**slot) : nullptr;
            }
            if (brush) c_.FillWithBrush(p, *brush);
            break;
        }

        case EMR_BITBLT:
        case EMR_STRETCHBLT:
        case EMR_STRETCHDIBITS:
        case EMR_SETDIBITSTODEVICE:
        case EMR_ALPHABLEND:
            Blit(type, r);
            break;
        case EMR_EXTTEXTOUTW:
            Text(r, true);
            break;
        case EMR_EXTTEXTOUTA:
            Text(r, false);
            break;

        case EMR_SELECTOBJECT:
            c_.SelectObject(r.U32(8));
            break;
        case EMR_DELETEOBJECT:
            c_.DeleteObject(r.U32(8));
            break;
        case EMR_CREATEPEN:
            c_.PutObject(r.U32(8), SimplePen(r.U32(12), r.S32(16), FromColorRef(r.U32(24))));
            break;
        case EMR_EXTCREATEPEN: {
            Pen pen;
            pen.style = r.U32(28);
            pen.width = r.U32(32);
            pen.cosmetic = !(pen.style & PS_GEOMETRIC);
            pen.color = FromColorRef(r.U32(40));
            const uint32_t entries = r.U32(48);
            if ((pen.style & PS_STYLE_MASK) == PS_USERSTYLE && entries <= kMaxStyleEntries)
                for (uint32_t i = 0; i < entries; ++i) pen.dashes.push_back(r.U32(52 + i * 4));
            c_.PutObject(r.U32(8), pen);
            break;
        }
        case EMR_CREATEBRUSHINDIRECT:
            c_.PutObject(r.U32(8), SimpleBrush(r.U32(12), FromColorRef(r.U32(16)), r.U32(20)));
            break;
        case EMR_CREATEMONOBRUSH:
        case EMR_CREATEDIBPATTERNBRUSHPT:
            c_.PutObject(r.U32(8), c_.PatternBrush(RecordBitmap(r, 16, r.U32(12))));
            break;
        case EMR_EXTCREATEFONTINDIRECTW: {
            Font font;
            font.height = r.S32(12);
            font.width = r.S32(16);
            font.escapement = r.S32(20);
            font.orientation = r.S32(24);
            font.weight = r.S32(28);
            font.italic = r.U8(32);
            font.underline = r.U8(33);
            font.strikeout = r.U8(34);
            font.charset = r.U8(35);
            font.pitchAndFamily = r.U8(39);
            for (size_t i = 0; i < 32 && r.Has(40 + i * 2, 2); ++i) {
                const uint16_t ch = r.U16(40 + i * 2);
                if (ch == 0) break;
                AppendFaceCharacter(font.face, ch);
            }
            c_.PutObject(r.U32(8), font);
            break;
        }
        case EMR_CREATEPALETTE:
            c_.PutObject(r.U32(8), std::monostate{});
            break;
        default:
            break;
    }
}

}  // namespace

std::optional<EmfHeader> ReadEmfHeader(const uint8_t* data, size_t size) {
    if (size < kHeaderMinimum) return std::nullopt;
    const Record r(data, size);
    const uint32_t recordSize = r.U32(4);
    if (r.U32(0) != EMR_HEADER || recordSize < kHeaderMinimum || recordSize > size || r.U32(40) != kSignature)
        return std::nullopt;
    EmfHeader h;
    h.bounds = {r.S32(8), r.S32(12), r.S32(16), r.S32(20)};
    h.frame = {r.S32(24), r.S32(28), r.S32(32), r.S32(36)};
    h.handles = r.U16(56);
    h.deviceWidth = r.S32(72);
    h.deviceHeight = r.S32(76);
    h.deviceWidthMm = r.S32(80);
    h.deviceHeightMm = r.S32(84);
    return h;
}

void PlayEmf(Canvas& canvas, const uint8_t* data, size_t size, const EmfHeader& h) {
    // The reference device's resolution; a header without one is taken at 96 pixels per inch.
    double perMmX = 96 / 25.4, perMmY = 96 / 25.4;
    if (h.deviceWidth > 0 && h.deviceWidthMm > 0 && h.deviceHeight > 0 && h.deviceHeightMm > 0) {
        perMmX = double(h.deviceWidth) / h.deviceWidthMm;
        perMmY = double(h.deviceHeight) / h.deviceHeightMm;
    }
    // The picture frame in device pixels is mapped onto the output; a frame of no area
    // gives way to the bounds.
    double left = h.frame.left * perMmX / 100, top = h.frame.top * perMmY / 100;
    double right = h.frame.right * perMmX / 100, bottom = h.frame.bottom * perMmY / 100;
    if (!(right - left > 0) || !(bottom - top > 0)) {
        left = h.bounds.left, top = h.bounds.top, right = h.bounds.right, bottom = h.bounds.bottom;
    }
    const double width = right - left, height = bottom - top;
    if (width > 0 && height > 0) {
        const double sx = canvas.OutputWidth() / width, sy = canvas.OutputHeight() / height;
        canvas.SetDeviceToOutput({sx, 0, 0, sy, -left * sx, -top * sy}, perMmX, perMmY);
    }
    canvas.ResizeTable(h.handles);

    EmfPlayer player(canvas);
    size_t at = 0;
    while (size - at >= 8) {
        const Record head(data + at, 8);
        const uint32_t type = head.U32(0);
        const size_t length = head.U32(4);
        if (length < 8 || length > size - at) break;
        if (type == EMR_EOF) break;
        try {
            player.Play(type, Record(data + at, length));
        } catch (const ShortRecord&) {
            // the record claims more than it holds: skipped
        }
        at += length;
    }
}

}  // namespace wmf
