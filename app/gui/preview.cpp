#include "preview.h"

#include <QPainter>
#include <algorithm>

#include "panelle/devicecontext.h"
#include "panelle/picture.h"

std::optional<PreviewPlace> FitPreview(int32_t picWidth, int32_t picHeight, int32_t boxWidth,
                                       int32_t boxHeight) {
    if (picWidth <= 0 || picHeight <= 0) return std::nullopt;
    PreviewPlace place;
    if (picWidth >= picHeight) {
        place.width = boxWidth;
        place.height = static_cast<int32_t>(int64_t{picHeight} * boxWidth / picWidth);
    } else {
        place.height = boxHeight;
        place.width = static_cast<int32_t>(int64_t{picWidth} * boxHeight / picHeight);
    }
    // A very thin picture still shows as a line rather than as nothing.
    place.width = std::max(place.width, int32_t{1});
    place.height = std::max(place.height, int32_t{1});
    place.x = (boxWidth - place.width) / 2;
    place.y = (boxHeight - place.height) / 2;
    return place;
}

QImage RenderPreview(const Picture& picture, const PreviewPlace& place, QSize box, const QColor& background) {
    if (box.isEmpty()) return {};
    QImage image(box, QImage::Format_RGB32);
    if (image.isNull()) return {};
    image.fill(background);
    // The engine's surface and Format_RGB32 share their layout, so the engine draws straight
    // into the image; transparent pictures blend over the background.
    DeviceContext surface(image.bits(), image.width(), image.height(),
                          static_cast<int32_t>(image.bytesPerLine()));
    if (!picture.Draw(&surface, place.x, place.y, place.width, place.height, nullptr, false)) return {};
    return image;
}

QImage RenderPhoneView(const Picture& page, QSize screen, QSize box, const QColor& background) {
    if (box.isEmpty() || screen.isEmpty()) return {};
    QImage image(box, QImage::Format_RGB32);
    if (image.isNull()) return {};
    image.fill(background);
    const QRect frame(std::max(0, (box.width() - screen.width()) / 2),
                      std::max(0, (box.height() - screen.height()) / 2),
                      std::min(screen.width(), box.width()), std::min(screen.height(), box.height()));
    // Where the page does not reach, the screen shows the viewer's dark grey backdrop.
    QImage shown = image.copy(frame);
    shown.fill(QColor(0x30, 0x30, 0x30));
    if (page.IsValid()) {
        DeviceContext surface(shown.bits(), shown.width(), shown.height(),
                              static_cast<int32_t>(shown.bytesPerLine()));
        page.Draw(&surface, 0, 0, static_cast<int32_t>(page.GetWidth()),
                  static_cast<int32_t>(page.GetHeight()), nullptr, false);
    }
    QPainter painter(&image);
    painter.drawImage(frame.topLeft(), shown);
    painter.setPen(QColor(96, 96, 96));
    painter.drawRect(frame.adjusted(-1, -1, 0, 0));
    return image;
}
