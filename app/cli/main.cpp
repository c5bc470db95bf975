// panelle-cli: the engine's command-line face. Prints what a picture is, and converts
// pictures between the formats the engine reads and writes.
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fstream>

#include "book.h"
#include "convert.h"
#include "format.h"
#include "generate.h"
#include "measure.h"
#include "messages.h"
#include "picture.h"
#include "settings.h"

namespace {

constexpr const char* kUsage =
    "usage:\n"
    "  panelle-cli info FILE\n"
    "      Print what FILE holds, one key=value per line: format, width, height, bpp,\n"
    "      colors, xdpi, ydpi, alpha (yes/no), transindex, frames.\n"
    "  panelle-cli convert [--to FORMAT] [--quality N] IN OUT\n"
    "      Load IN (format from its extension, detected from its content when that\n"
    "      fails) and save OUT in FORMAT, or in the format OUT's extension names.\n"
    "      FORMAT: bmp gif jpg jpeg png ico tif tiff tga pcx wbmp jp2 jpc pgx pnm ras.\n"
    "      --quality N sets the JPEG quality (0..100, default 90).\n"
    "  panelle-cli build -o OUT.jar [--name NAME] [--author TEXT] [--price YUAN]\n"
    "                    [--descriptions FILE] [--templates DIR] [--threads N] PICTURE...\n"
    "      Make a comic book: OUT.jar (\".jar\" is added when OUT has no extension)\n"
    "      and OUT.jad beside it, one page per PICTURE in the order given.\n"
    "      --descriptions FILE gives one description per line, page by page.\n"
    "      --threads N converts N pages at once (1..4; default: one per core, at most 4).\n"
    "      Author and price default to the settings file (panelle.INI).\n"
    "      Progress goes to stderr; the exit status is 1 on \"Uncomplete!\" or an error.\n"
    "  panelle-cli --help\n"
    "On failure the engine's error text goes to stderr and the exit status is 1.\n";

int Usage(FILE* to, int status) {
    std::fputs(kUsage, to);
    return status;
}

int Failed(const Picture& picture, const char* what, const std::string& file) {
    const char* text = picture.GetLastError();
    std::fprintf(stderr, "panelle-cli: %s %s: %s\n", what, file.c_str(), *text ? text : "cannot open file");
    return 1;
}

// The id a file name's extension names, as the converter's output knows them.
uint32_t FormatOfName(const std::string& path) {
    const size_t slash = path.find_last_of("\\/");
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return 0;
    return FormatFromName(path.c_str() + dot + 1);
}

int Info(const std::string& file) {
    Picture picture;
    if (!picture.Load(file.c_str(), FormatFromExtension(file))) return Failed(picture, "cannot read", file);
    std::printf("format=%s\n", FormatName(picture.GetType()));
    std::printf("width=%u\n", picture.GetWidth());
    std::printf("height=%u\n", picture.GetHeight());
    std::printf("bpp=%u\n", picture.GetBpp());
    std::printf("colors=%u\n", picture.GetNumColors());
    std::printf("xdpi=%d\n", picture.GetXDpi());
    std::printf("ydpi=%d\n", picture.GetYDpi());
    std::printf("alpha=%s\n", picture.AlphaIsValid() ? "yes" : "no");
    std::printf("transindex=%d\n", picture.GetTransIndex());
    std::printf("frames=%d\n", picture.GetFrameCount() > 0 ? picture.GetFrameCount() : 1);
    return 0;
}

int Convert(const std::vector<std::string>& args) {
    uint32_t to = 0;
    int quality = -1;
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--to" && i + 1 < args.size()) {
            to = FormatFromName(args[++i].c_str());
            if (!to) {
                std::fprintf(stderr, "panelle-cli: unknown format %s\n", args[i].c_str());
                return 2;
            }
        } else if (args[i] == "--quality" && i + 1 < args.size()) {
            char* end = nullptr;
            const long q = std::strtol(args[++i].c_str(), &end, 10);
            if (!end || *end || q < 0 || q > 100) {
                std::fprintf(stderr, "panelle-cli: quality must be 0..100\n");
                return 2;
            }
            quality = static_cast<int>(q);
        } else if (args[i].rfind("--", 0) == 0) {
            return Usage(stderr, 2);
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.size() != 2) return Usage(stderr, 2);
    if (!to) to = FormatOfName(files[1]);
    if (!to) {
        std::fprintf(stderr, "panelle-cli: cannot tell the output format of %s; use --to\n", files[1].c_str());
        return 2;
    }

    Picture picture;
    if (!picture.Load(files[0].c_str(), FormatFromExtension(files[0])))
        return Failed(picture, "cannot read", files[0]);
    if (quality >= 0) picture.SetJpegQuality(static_cast<uint8_t>(quality));
    picture.SetLastError("");
    if (!picture.Save(files[1].c_str(), to)) return Failed(picture, "cannot write", files[1]);
    return 0;
}

// Messages of a generation, on stderr.
class StderrMessages : public Messages {
public:
    void Show(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    void ShowError(const std::string& caption, const std::string& text) override {
        std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    }
    void ShowException(const std::string& text) override { std::fprintf(stderr, "error: %s\n", text.c_str()); }
    void Progress(int done, int total) override { std::fprintf(stderr, "page %d/%d\n", done, total); }
};

int Build(const std::vector<std::string>& args) {
    const BookSettings settings = ReadSettings(SettingsPath());
    Book book;
    book.author = settings.author;
    book.settingWidth = settings.width;
    book.settingHeight = settings.height;
    book.settingPrice = settings.price;

    std::string out, descriptions;
    unsigned threads = ConversionWorkers();
    std::vector<std::string> pictures;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if ((a == "-o" || a == "--output") && hasValue) out = args[++i];
        else if (a == "--name" && hasValue) book.bookName = book.bookNameText = args[++i];
        else if (a == "--author" && hasValue) book.author = args[++i];
        else if (a == "--descriptions" && hasValue) descriptions = args[++i];
        else if (a == "--templates" && hasValue) book.SetTemplateFolder(args[++i]);
        else if (a == "--price" && hasValue) {
            char* end = nullptr;
            const long price = std::strtol(args[++i].c_str(), &end, 10);
            if (!end || *end || price < 0 || price > INT32_MAX) {
                std::fprintf(stderr, "panelle-cli: the price must be a whole number of yuan\n");
                return 2;
            }
            book.settingPrice = static_cast<int32_t>(price);
        } else if (a == "--threads" && hasValue) {
            char* end = nullptr;
            const long n = std::strtol(args[++i].c_str(), &end, 10);
            if (!end || *end || n < 1 || n > static_cast<long>(kMaxConversionWorkers)) {
                std::fprintf(stderr, "panelle-cli: --threads takes 1 to %u\n", kMaxConversionWorkers);
                return 2;
            }
            threads = static_cast<unsigned>(n);
        } else if (a.rfind("-", 0) == 0) {
            return Usage(stderr, 2);
        } else {
            pictures.push_back(a);
        }
    }
    if (out.empty() || pictures.empty()) return Usage(stderr, 2);
    if (book.ImportPictures(pictures) != pictures.size()) {
        std::fprintf(stderr, "panelle-cli: a book holds at most %d pages\n", kMaxPages);
        return 2;
    }

    if (!descriptions.empty()) {
        std::ifstream in(descriptions);
        if (!in) {
            std::fprintf(stderr, "panelle-cli: cannot read %s\n", descriptions.c_str());
            return 2;
        }
        // A page is measured before its description is set: measuring empties it.
        std::string line;
        for (int32_t i = 0; i < book.pageCount() && std::getline(in, line); ++i) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!book.MeasurePageFromFile(i)) {
                std::fprintf(stderr, "panelle-cli: cannot read %s\n", book.pages[i].path.c_str());
                return 1;
            }
            book.currentPage = i;
            book.SetDescription(line);
        }
        book.currentPage = -1;
    }

    StderrMessages messages;
    return Generate(book, out, messages, threads) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Usage(stderr, 2);
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") return Usage(stdout, 0);
    if (args[0] == "info" && args.size() == 2) return Info(args[1]);
    if (args[0] == "convert") return Convert({args.begin() + 1, args.end()});
    if (args[0] == "build") return Build({args.begin() + 1, args.end()});
    return Usage(stderr, 2);
}
