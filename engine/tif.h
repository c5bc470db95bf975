// TIFF through libtiff: one page of a file is read into a picture; pictures are written as
// single-page files, or as multi-page files when the same object is asked to append.
#pragma once

#include <cstdint>

#include "picture.h"

struct tiff;

class PictureTIF : public Picture {
   public:
    PictureTIF() : Picture(ImageFormat::Tif) {}
    // A multi-page file left open by appending is finished here; its stream must still exist.
    ~PictureTIF() override;
    PictureTIF(const PictureTIF&) = delete;
    PictureTIF& operator=(const PictureTIF&) = delete;

    // Reads page `frame` and sets `frameCount` to the number of pages in the file.
    bool Decode(ByteStream* stream);

    // Writes the picture as one page. Without append the file is complete when the call
    // returns; with append the page is added and the file stays open for the next call.
    // A file of several pages needs a stream that can be read back as well as written:
    // each new page is linked to the one before it.
    bool Encode(ByteStream* stream, bool append = false);
    // A format id is not an append flag: the dispatch hands its id only to codecs that
    // take one, and this keeps an id from turning into "append" by conversion.
    template <class T>
    bool Encode(ByteStream*, T) = delete;

   private:
    void CloseHandle();

    tiff* handle = nullptr;        // open while a multi-page file is being written
    ByteStream* target = nullptr;  // the stream that handle writes to
    bool multipage = false;
    int32_t pages = 0;
};
