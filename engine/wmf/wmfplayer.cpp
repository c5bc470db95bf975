// Windows metafile records: a 32-bit size in 16-bit words (the 6-byte record header
// included), a 16-bit function number, then 16-bit parameters. Most records list their
// parameters in the reverse order of the call that made them (y before x, the rectangle
// from bottom to left).
#include <algorithm>
#include <vector>

#include "dib.h"
#include "player.h"

namespace wmf {

namespace {

constexpr size_t kHeaderSize = 18;
constexpr size_t kRecordHeaderSize = 6;

enum Function : uint16_t {
    META_EOF = 0x0000,
    META_SETBKCOLOR = 0x0201,
    META_SETBKMODE = 0x0102,
    META_SETMAPMODE = 0x0103,
    META_SETROP2 = 0x0104,
    META_SETPOLYFILLMODE = 0x0106,
    META_SETSTRETCHBLTMODE = 0x0107,
    META_SETTEXTCOLOR = 0x0209,
    META_SETWINDOWORG = 0x020B,
    META_SETWINDOWEXT = 0x020C,
    META_SETVIEWPORTORG = 0x020D,
    META_SETVIEWPORTEXT = 0x020E,
    META_OFFSETWINDOWORG = 0x020F,
    META_SCALEWINDOWEXT = 0x0410,
    META_OFFSETVIEWPORTORG = 0x0211,
    META_SCALEVIEWPORTEXT = 0x0412,
    META_LINETO = 0x0213,
    META_MOVETO = 0x0214,
    META_EXCLUDECLIPRECT = 0x0415,
    META_INTERSECTCLIPRECT = 0x0416,
    META_ARC = 0x0817,
    META_ELLIPSE = 0x0418,
    META_PIE = 0x081A,
    META_RECTANGLE = 0x041B,
    META_ROUNDRECT = 0x061C,
    META_PATBLT = 0x061D,
    META_SAVEDC = 0x001E,
    META_SETPIXEL = 0x041F,
    META_OFFSETCLIPRGN = 0x0220,
    META_TEXTOUT = 0x0521,
    META_POLYGON = 0x0324,
    META_POLYLINE = 0x0325,
    META_RESTOREDC = 0x0127,
    META_SELECTCLIPREGION = 0x012C,
    META_SELECTOBJECT = 0x012D,
    META_SETTEXTALIGN = 0x012E,
    META_CHORD = 0x0830,
    META_EXTTEXTOUT = 0x0A32,
    META_SETDIBTODEV = 0x0D33,
    META_POLYPOLYGON = 0x0538,
    META_DIBBITBLT = 0x0940,
    META_DIBSTRETCHBLT = 0x0B41,
    META_DIBCREATEPATTERNBRUSH = 0x0142,
    META_STRETCHDIB = 0x0F43,
    META_DELETEOBJECT = 0x01F0,
    META_CREATEPALETTE = 0x00F7,
    META_CREATEPATTERNBRUSH = 0x01F9,
    META_CREATEPENINDIRECT = 0x02FA,
    META_CREATEFONTINDIRECT = 0x02FB,
    META_CREATEBRUSHINDIRECT = 0x02FC,
    META_CREATEREGION = 0x06FF,
};

class WmfPlayer {
   public:
    WmfPlayer(Canvas& canvas) : c_(canvas) {}
    void Play(uint16_t function, const Record& r, size_t words);

   private:
    Canvas& c_;

    // Parameter i, counted in 16-bit words.
    static int16_t P(const Record& r, size_t i) { return r.S16(i * 2); }
    std::vector<Point> Points(const Record& r, size_t at, size_t count) const;
    void Bitmap(const Record& r, size_t words, uint16_t function);
    void Text(const Record& r, bool extended);
};

std::vector<Point> WmfPlayer::Points(const Record& r, size_t at, size_t count) const {
    r.Bytes(at, count * 4);
    std::vector<Point> points(count);
    for (size_t i = 0; i < count; ++i) points[i] = {double(r.S16(at + i * 4)), double(r.S16(at + i * 4 + 2))};
    return points;
}

// The bit-block transfers with a device-independent bitmap. A record whose size is the
// function's own parameter count plus three words carries no bitmap, and then an extra
// reserved word before the destination.
void WmfPlayer::Bitmap(const Record& r, size_t words, uint16_t function) {
    const uint32_t rop = r.U32(0);
    const bool noBitmap = words == static_cast<size_t>(function >> 8) + 3;
    double sx, sy, sw, sh, dx, dy, dw, dh;
    size_t dibAt;
    uint32_t usage = DIB_RGB_COLORS;
    switch (function) {
        case META_DIBBITBLT: {
            const size_t k = noBitmap ? 1 : 0;
            sy = P(r, 2), sx = P(r, 3);
            dh = sh = P(r, 4 + k), dw = sw = P(r, 5 + k);
            dy = P(r, 6 + k), dx = P(r, 7 + k);
            dibAt = 16;
            break;
        }
        case META_DIBSTRETCHBLT: {
            const size_t k = noBitmap ? 1 : 0;
            sh = P(r, 2), sw = P(r, 3), sy = P(r, 4), sx = P(r, 5);
            dh = P(r, 6 + k), dw = P(r, 7 + k), dy = P(r, 8 + k), dx = P(r, 9 + k);
            dibAt = 20;
            break;
        }
        case META_STRETCHDIB:
            usage = r.U16(4);
            sh = P(r, 3), sw = P(r, 4), sy = P(r, 5), sx = P(r, 6);
            dh = P(r, 7), dw = P(r, 8), dy = P(r, 9), dx = P(r, 10);
            dibAt = 22;
            break;
        default:
            return;
    }
    if (noBitmap || !r.Has(dibAt, 4)) {
        c_.StretchBitmap(nullptr, 0, 0, 0, 0, dx, dy, dw, dh, rop);
        return;
    }
    const std::shared_ptr<wmf::Bitmap> bitmap =
        LoadPackedDib(r.Bytes(dibAt, r.Size() - dibAt), r.Size() - dibAt, usage);
    if (!bitmap) return;
    // The source rectangle counts rows from the bottom of a bottom-up bitmap.
    const double top = bitmap->height - sy - sh;
    c_.StretchBitmap(bitmap.get(), sx, top, sw, sh, dx, dy, dw, dh, rop);
}

void WmfPlayer::Text(const Record& r, bool extended) {
    double x, y;
    size_t count, at;
    uint32_t options = 0;
    double rect[4];
    bool hasRect = false;
    if (extended) {
        y = P(r, 0), x = P(r, 1);
        count = r.U16(4);
        options = r.U16(6);
        at = 8;
        if ((options & (ETO_OPAQUE | ETO_CLIPPED)) && r.Has(at, 8 + count)) {
            for (int i = 0; i < 4; ++i) rect[i] = r.S16(at + i * 2);
            hasRect = true;
            at += 8;
        }
    } else {
        count = r.U16(0);
        at = 2;
        const size_t after = at + count + (count & 1);
        y = r.S16(after), x = r.S16(after + 2);
    }
    const uint8_t* bytes = r.Bytes(at, count);
    Canvas::Text text = DecodeAnsi(bytes, count, c_.s.font.charset);
    const size_t dxAt = at + count + (count & 1);
    if (extended && r.Has(dxAt, count * 2)) {
        text.dx.resize(count);
        for (size_t i = 0; i < count; ++i) text.dx[i] = r.S16(dxAt + i * 2);
    }
    c_.TextOut({x, y}, text, options, hasRect ? rect : nullptr);
}

void WmfPlayer::Play(uint16_t function, const Record& r, size_t words) {
    switch (function) {
        case META_SETBKCOLOR:
            c_.s.bkColor = FromColorRef(r.U32(0));
            break;
        case META_SETBKMODE:
            c_.s.bkMode = r.U16(0);
            break;
        case META_SETMAPMODE:
            c_.SetMapMode(r.U16(0));
            break;
        case META_SETROP2:
            c_.s.rop2 = r.U16(0);
            break;
        case META_SETPOLYFILLMODE:
            c_.s.fillMode = r.U16(0);
            break;
        case META_SETSTRETCHBLTMODE:
            c_.s.stretchMode = r.U16(0);
            break;
        case META_SETTEXTCOLOR:
            c_.s.textColor = FromColorRef(r.U32(0));
            break;
        case META_SETTEXTALIGN:
            c_.s.textAlign = r.U16(0);
            break;
        case META_SETWINDOWORG:
            c_.SetWindowOrg(P(r, 1), P(r, 0));
            break;
        case META_SETWINDOWEXT:
            c_.SetWindowExt(P(r, 1), P(r, 0));
            break;
        case META_SETVIEWPORTORG:
            c_.SetViewportOrg(P(r, 1), P(r, 0));
            break;
        case META_SETVIEWPORTEXT:
            c_.SetViewportExt(P(r, 1), P(r, 0));
            break;
        case META_OFFSETWINDOWORG:
            c_.OffsetWindowOrg(P(r, 1), P(r, 0));
            break;
        case META_OFFSETVIEWPORTORG:
            c_.OffsetViewportOrg(P(r, 1), P(r, 0));
            break;
        case META_SCALEWINDOWEXT:
            c_.ScaleWindowExt(P(r, 3), P(r, 2), P(r, 1), P(r, 0));
            break;
        case META_SCALEVIEWPORTEXT:
            c_.ScaleViewportExt(P(r, 3), P(r, 2), P(r, 1), P(r, 0));
            break;
        case META_MOVETO:
            c_.MoveTo(P(r, 1), P(r, 0));
            break;
        case META_LINETO:
            c_.LineTo(P(r, 1), P(r, 0));
            break;
        case META_EXCLUDECLIPRECT:
            c_.ExcludeClipRect(P(r, 3), P(r, 2), P(r, 1), P(r, 0));
            break;
        case META_INTERSECTCLIPRECT:
            c_.IntersectClipRect(P(r, 3), P(r, 2), P(r, 1), P(r, 0));
            break;
        case META_OFFSETCLIPRGN:
            c_.OffsetClip(P(r, 1), P(r, 0));
            break;
        // Regions are not kept; selecting one (or none) leaves the picture unclipped.
        case META_SELECTCLIPREGION:
            c_.SelectClipRegion({}, RGN_COPY);
            break;
        case META_SAVEDC:
            c_.SaveDC();
            break;
        case META_RESTOREDC:
            c_.RestoreDC(P(r, 0));
            break;
        case META_RECTANGLE:
            c_.Draw(c_.Rectangle(P(r, 3), P(r, 2), P(r, 1), P(r, 0)), true, true);
            break;
        case META_ELLIPSE:
            c_.Draw(c_.Ellipse(P(r, 3), P(r, 2), P(r, 1), P(r, 0)), true, true);
            break;
        case META_ROUNDRECT:
            c_.Draw(c_.RoundRect(P(r, 5), P(r, 4), P(r, 3), P(r, 2), P(r, 1), P(r, 0)), true, true);
            break;
        case META_ARC:
        case META_PIE:
        case META_CHORD: {
            const Canvas::ArcKind kind = function == META_ARC   ? Canvas::ArcKind::Arc
                                         : function == META_PIE ? Canvas::ArcKind::Pie
                                                                : Canvas::ArcKind::Chord;
            const Path p = c_.Arc(P(r, 7), P(r, 6), P(r, 5), P(r, 4), {double(P(r, 3)), double(P(r, 2))},
                                  {double(P(r, 1)), double(P(r, 0))}, kind, nullptr);
            c_.Draw(p, function != META_ARC, true);
            break;
        }
        case META_POLYGON:
        case META_POLYLINE: {
            const std::vector<Point> points = Points(r, 2, r.U16(0));
            if (function == META_POLYGON)
                c_.Draw(c_.Polygon(points), true, true);
            else
                c_.Draw(c_.Polyline(points), false, true);
            break;
        }
        case META_POLYPOLYGON: {
            const size_t polygons = r.U16(0);
            r.Bytes(2, polygons * 2);
            size_t at = 2 + polygons * 2;
            Path all;
            for (size_t i = 0; i < polygons; ++i) {
                const size_t n = r.U16(2 + i * 2);
                all.Append(c_.Polygon(Points(r, at, n)));
                at += n * 4;
            }
            c_.Draw(all, true, true);
            break;
        }
        case META_SETPIXEL:
            c_.SetPixel(P(r, 3), P(r, 2), FromColorRef(r.U32(0)));
            break;
        case META_PATBLT:
            c_.StretchBitmap(nullptr, 0, 0, 0, 0, P(r, 5), P(r, 4), P(r, 3), P(r, 2), r.U32(0));
            break;
        case META_DIBBITBLT:
        case META_DIBSTRETCHBLT:
        case META_STRETCHDIB:
            Bitmap(r, words, function);
            break;
        case META_TEXTOUT:
            Text(r, false);
            break;
        case META_EXTTEXTOUT:
            Text(r, true);
            break;

        case META_SELECTOBJECT:
            c_.SelectObject(r.U16(0));
            break;
        case META_DELETEOBJECT:
            c_.DeleteObject(r.U16(0));
            break;
        case META_CREATEPENINDIRECT:
            c_.AddObject(SimplePen(r.U16(0), P(r, 1), FromColorRef(r.U32(6))));
            break;
        case META_CREATEBRUSHINDIRECT:
            c_.AddObject(SimpleBrush(r.U16(0), FromColorRef(r.U32(2)), r.U16(6)));
            break;
        case META_DIBCREATEPATTERNBRUSH:
            c_.AddObject(c_.PatternBrush(
                r.Has(4, 4) ? LoadPackedDib(r.Bytes(4, r.Size() - 4), r.Size() - 4, r.U16(2)) : nullptr));
            break;
        case META_CREATEFONTINDIRECT: {
            Font font;
            font.height = P(r, 0);
            font.width = P(r, 1);
            font.escapement = P(r, 2);
            font.orientation = P(r, 3);
            font.weight = P(r, 4);
            font.italic = r.U8(10);
            font.underline = r.U8(11);
            font.strikeout = r.U8(12);
            font.charset = r.U8(13);
            font.pitchAndFamily = r.U8(17);
            for (size_t i = 18; i < 18 + 32 && r.Has(i, 1) && r.U8(i); ++i)
                AppendFaceCharacter(font.face, r.U8(i));
            c_.AddObject(font);
            break;
        }
        // Objects the player does not draw with still take their slot.
        case META_CREATEPALETTE:
        case META_CREATEPATTERNBRUSH:
        case META_CREATEREGION:
            c_.AddObject(std::monostate{});
            break;
        default:
            break;
    }
}

}  // namespace

void PlayWmf(Canvas& canvas, const uint8_t* data, size_t size, const RECT& boundingBox, int64_t xExt,
             int64_t yExt) {
    if (size < kHeaderSize) return;
    const Record header(data, kHeaderSize);
    canvas.ResizeTable(header.U16(10));
    constexpr double kPixelsPerMm = 96 / 25.4;
    double frameWidth = canvas.OutputWidth(), frameHeight = canvas.OutputHeight();
    if (xExt > 0 && yExt > 0) frameWidth = xExt * kPixelsPerMm / 100, frameHeight = yExt * kPixelsPerMm / 100;
    canvas.SetDeviceToOutput(
        {canvas.OutputWidth() / frameWidth, 0, 0, canvas.OutputHeight() / frameHeight, 0, 0}, kPixelsPerMm,
        kPixelsPerMm);
    canvas.SetMapMode(MM_ANISOTROPIC);
    canvas.SetViewportExt(frameWidth, frameHeight);
    canvas.SetWindowOrg(boundingBox.left, boundingBox.top);
    canvas.SetWindowExt(boundingBox.right - boundingBox.left, boundingBox.bottom - boundingBox.top);

    WmfPlayer player(canvas);
    size_t at = kHeaderSize;
    while (size - at >= kRecordHeaderSize) {
        const Record head(data + at, kRecordHeaderSize);
        const size_t words = head.U32(0);
        const uint16_t function = head.U16(4);
        if (words < kRecordHeaderSize / 2 || words > (size - at) / 2) break;
        if (function == META_EOF) break;
        const Record record(data + at + kRecordHeaderSize, words * 2 - kRecordHeaderSize);
        try {
            player.Play(function, record, words);
        } catch (const ShortRecord&) {
            // the record claims more than it holds: skipped
        }
        at += words * 2;
    }
}

}  // namespace wmf
