#include "measure.h"

#include <cctype>

#include "panelle/format.h"

uint32_t FormatFromExtension(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) return ImageFormat::Unknown;
    std::string ext = name.substr(dot + 1);
    for (char& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));

    struct Entry {
        const char* ext;
        uint32_t id;
    };
    static constexpr Entry kMap[] = {
        {"bmp", ImageFormat::Bmp},   {"gif", ImageFormat::Gif}, {"jpg", ImageFormat::Jpg},
        {"png", ImageFormat::Png},   {"ico", ImageFormat::Ico}, {"tif", ImageFormat::Tif},
        {"tiff", ImageFormat::Tif},  {"tga", ImageFormat::Tga}, {"pcx", ImageFormat::Pcx},
        {"wbmp", ImageFormat::Wbmp}, {"wmf", ImageFormat::Wmf}, {"emf", ImageFormat::Wmf},
    };
    for (const Entry& e : kMap)
        if (ext == e.ext) return e.id;
    return ImageFormat::Unknown;
}

FittedSize FitToScreen(int32_t picWidth, int32_t picHeight, int32_t screenWidth, int32_t screenHeight) {
    if (picWidth <= 0 || picHeight <= 0 || screenWidth <= 0 || screenHeight <= 0) return {};
    // picHeight / screenHeight > picWidth / screenWidth, compared without rounding
    if (static_cast<int64_t>(picHeight) * screenWidth > static_cast<int64_t>(picWidth) * screenHeight)
        return {static_cast<int32_t>(static_cast<int64_t>(picWidth) * screenHeight / picHeight),
                screenHeight};
    return {screenWidth, static_cast<int32_t>(static_cast<int64_t>(picHeight) * screenWidth / picWidth)};
}
