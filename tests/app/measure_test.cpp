#include "measure.h"

#include <gtest/gtest.h>

#include "panelle/format.h"

TEST(FormatFromExtension, MapsKnownExtensionsWithoutCase) {
    const struct {
        const char* path;
        uint32_t id;
    } rows[] = {
        {"PHOTO.JPG", ImageFormat::Jpg},
        {"scan.jpeg", ImageFormat::Unknown},
        {"a.tiff", ImageFormat::Tif},
        {"a.TIF", ImageFormat::Tif},
        {"b.wbmp", ImageFormat::Wbmp},
        {"c.emf", ImageFormat::Wmf},
        {"c.wmf", ImageFormat::Wmf},
        {"C:\\my.pics\\a.png", ImageFormat::Png},
        {"/home/u/my.pics/noext", ImageFormat::Unknown},
        {"C:\\my.pics\\noext", ImageFormat::Unknown},
        {"x.bmp", ImageFormat::Bmp},
        {"x.gif", ImageFormat::Gif},
        {"x.ico", ImageFormat::Ico},
        {"x.tga", ImageFormat::Tga},
        {"x.pcx", ImageFormat::Pcx},
        {"trailing.", ImageFormat::Unknown},
        {"x.jp2", ImageFormat::Unknown},
    };
    for (const auto& row : rows) EXPECT_EQ(FormatFromExtension(row.path), row.id) << row.path;
}
