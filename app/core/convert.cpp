#include "convert.h"

#include <memory>

#include "book.h"
#include "measure.h"
#include "messages.h"
#include "text.h"

bool WriteLineUtf16(const std::string& text, FILE* file) {
    const std::string units = Utf8ToUtf16Le(text);
    return std::fwrite(units.data(), 1, units.size(), file) == units.size();
}

namespace {

// A line of desc.txt: the text and CR LF.
bool WriteLine(const std::string& text, FILE* file) { return WriteLineUtf16(text + "\r\n", file); }

}  // namespace

void ConvertPages(Book& book, const std::string& staging, Messages& messages) {
    std::unique_ptr<FILE, int (*)(FILE*)> desc(std::fopen((staging + "/desc.txt").c_str(), "w+b"), &std::fclose);
    if (!desc) {
        messages.Show("Open descfile error!");
        return;
    }
    static const unsigned char kByteOrderMark[2] = {0xFF, 0xFE};
    if (std::fwrite(kByteOrderMark, 1, 2, desc.get()) != 2 ||
        !WriteLine("bookname:" + book.bookName, desc.get()) ||
        !WriteLine("piccount:" + std::to_string(book.pageCount()), desc.get()) ||
        !WriteLine("author:" + book.author, desc.get()))
        return;  // closes desc.txt; the driver goes on without a message

    const int32_t count = book.pageCount();
    for (int32_t i = 0; i < count; ++i) {
        Description_T& page = book.pages[i];
        const uint32_t id = FormatFromExtension(page.path);
        book.currentImage = std::make_unique<Picture>();
        const std::string pictureName = staging + "/" + std::to_string(i) + ".png";
        book.currentImage->Load(page.path.c_str(), id);
        if (!page.measured && !book.MeasurePage(i)) {
            messages.Show("LoadFile error!");
            break;
        }
        const bool ok = book.currentImage->Save(pictureName.c_str(), ImageFormat::Png);
        if (!WriteLine(std::to_string(i) + ":" + page.description, desc.get())) {
            messages.Show("LoadFile error!");
            break;
        }
        if (!ok) messages.ShowError("Error", book.currentImage->GetLastError());
        messages.Progress(i + 1, count);
    }
}
