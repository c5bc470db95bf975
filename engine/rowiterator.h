// A non-owning cursor over the pixel rows of a picture, used by the codecs: it keeps a
// current row, hands out its address, copies decoded lines into it and moves down.
#pragma once

#include <cstdint>
#include <cstring>

#include "picture.h"

class CRowIterator {
   public:
    explicit CRowIterator(Picture* image)
        : column(0),
          row(0),
          columnStep(0),
          rowStep(0),
          currentRow(image ? image->GetBits(0) : nullptr),
          image(image) {}

    // Rows outside the picture leave the previously selected row current.
    void SelectRow(int32_t y) {
        if (!image || !image->IsValid() || y < 0 || y >= image->header.biHeight) return;
        row = y;
        currentRow = image->GetBits(0) + static_cast<uint64_t>(y) * image->GetEffWidth();
    }

    uint8_t* RowAt(int32_t y) {
        SelectRow(y);
        return currentRow;
    }

    uint8_t* CurrentRow() const { return currentRow; }

    void StartAtTop() {
        column = 0;
        if (!image || !image->IsValid()) return;
        row = image->header.biHeight - 1;
        currentRow = image->GetBits(0) + static_cast<uint64_t>(row) * image->GetEffWidth();
    }

    void CopyIntoRow(const uint8_t* data, int32_t count) {
        count = Limit(count);
        if (currentRow && data && count > 0) std::memcpy(currentRow, data, static_cast<size_t>(count));
    }

    void CopyFromRow(uint8_t* data, int32_t count) const {
        count = Limit(count);
        if (currentRow && data && count > 0) std::memcpy(data, currentRow, static_cast<size_t>(count));
    }

    bool InsideImage() const { return image && image->IsInside(column, row); }

    bool StepDown() {
        --row;
        if (row < 0) return false;
        currentRow -= image->GetEffWidth();
        return true;
    }

    int32_t column;
    int32_t row;
    int32_t columnStep;
    int32_t rowStep;

   private:
    int32_t Limit(int32_t count) const {
        const int32_t eff = image ? static_cast<int32_t>(image->GetEffWidth()) : 0;
        return (count < 0 || count > eff) ? eff : count;
    }

    uint8_t* currentRow;
    Picture* image;
};
