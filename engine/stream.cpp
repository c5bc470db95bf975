#include "stream.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

// ---- FileStream -------------------------------------------------------------------------

bool FileStream::Close() {
    if (file && closeFile) {
        const bool ok = std::fclose(file) == 0;
        file = nullptr;
        return ok;
    }
    return true;
}

uint32_t FileStream::Read(void* buffer, uint32_t size, uint32_t count) {
    if (!file) return 0;
    return static_cast<uint32_t>(std::fread(buffer, size, count, file));
}

uint32_t FileStream::Write(const void* buffer, uint32_t size, uint32_t count) {
    if (!file) return 0;
    return static_cast<uint32_t>(std::fwrite(buffer, size, count, file));
}

bool FileStream::Seek(int32_t offset, int32_t origin) {
    return file && std::fseek(file, offset, origin) == 0;
}

int32_t FileStream::Tell() {
    if (!file) return 0;
    return static_cast<int32_t>(std::ftell(file));
}

int32_t FileStream::Size() {
    if (!file) return -1;
    const long pos = std::ftell(file);
    std::fseek(file, 0, SEEK_END);
    const long size = std::ftell(file);
    std::fseek(file, pos, SEEK_SET);
    return size > INT32_MAX ? INT32_MAX : static_cast<int32_t>(size);
}

bool FileStream::Flush() { return file && std::fflush(file) == 0; }

bool FileStream::Eof() { return !file || std::feof(file) != 0; }

int32_t FileStream::Error() { return file ? std::ferror(file) : -1; }

bool FileStream::PutC(uint8_t c) { return file && std::fputc(c, file) == c; }

int32_t FileStream::GetC() { return file ? std::getc(file) : -1; }

// ---- MemoryStream -----------------------------------------------------------------------

MemoryStream::MemoryStream(uint8_t* block, int32_t length)
    : buffer(block),
      size(length),
      freeOnClose(block == nullptr),
      position(0),
      edge(static_cast<uint32_t>(length)) {}

bool MemoryStream::Open() {
    if (buffer) return false;
    position = size = 0;
    edge = 0;  // one byte is allocated, but the first write grows the block anyway
    buffer = static_cast<uint8_t*>(std::malloc(1));
    freeOnClose = true;
    return buffer != nullptr;
}

uint8_t* MemoryStream::GetBuffer(bool detach) {
    freeOnClose = !detach;
    return buffer;
}

bool MemoryStream::Close() {
    if (buffer && freeOnClose) {
        std::free(buffer);
        buffer = nullptr;
        size = 0;
    }
    return true;
}

// Grows the block to the next multiple of 4096 strictly above newLength, and at least by half
// its size, so that writing a large picture piece by piece does not copy it over and over.
bool MemoryStream::Alloc(uint64_t newLength) {
    if (newLength <= edge) return true;
    const uint64_t needed = (newLength / 4096 + 1) * 4096;
    const uint64_t half = (static_cast<uint64_t>(edge) + edge / 2) / 4096 * 4096 + 4096;
    uint64_t capacity = needed > half ? needed : half;
    if (capacity > static_cast<uint64_t>(INT32_MAX)) capacity = needed;
    if (capacity > static_cast<uint64_t>(INT32_MAX)) return false;
    void* grown = buffer ? std::realloc(buffer, capacity) : std::malloc(capacity);
    if (!grown) return false;
    buffer = static_cast<uint8_t*>(grown);
    freeOnClose = true;
    edge = static_cast<uint32_t>(capacity);
    return true;
}

// A write after a seek past the end leaves a gap between the data and the new bytes; it
// reads as zeros, as it does in a file, instead of whatever the allocation held.
void MemoryStream::FillGap() {
    if (position > size) std::memset(buffer + size, 0, static_cast<size_t>(position - size));
}

uint32_t MemoryStream::Read(void* dest, uint32_t itemSize, uint32_t count) {
    if (!dest || !buffer || position >= size) return 0;
    uint64_t n = static_cast<uint64_t>(itemSize) * count;
    if (n == 0) return 0;
    const uint64_t left = static_cast<uint64_t>(size - position);
    if (n > left) n = left;
    std::memcpy(dest, buffer + position, n);
    position += static_cast<int32_t>(n);
    return static_cast<uint32_t>(n / itemSize);
}

uint32_t MemoryStream::Write(const void* src, uint32_t itemSize, uint32_t count) {
    if (!buffer || !src) return 0;
    const uint64_t n = static_cast<uint64_t>(itemSize) * count;
    if (n == 0) return 0;
    const uint64_t end = static_cast<uint64_t>(position) + n;
    if (end > static_cast<uint64_t>(INT32_MAX)) return 0;
    if (end > edge && !Alloc(end)) return 0;
    FillGap();
    std::memcpy(buffer + position, src, n);
    position = static_cast<int32_t>(end);
    if (size < position) size = position;
    return count;
}

bool MemoryStream::Seek(int32_t offset, int32_t origin) {
    if (!buffer) return false;
    int64_t target;
    switch (origin) {
        case 0:
            target = offset;
            break;
        case 1:
            target = static_cast<int64_t>(position) + offset;
            break;
        case 2:
            target = static_cast<int64_t>(size) + offset;
            break;
        default:
            return false;
    }
    if (target < 0) target = 0;
    if (target > INT32_MAX) return false;
    position = static_cast<int32_t>(target);
    return true;
}

int32_t MemoryStream::Tell() { return buffer ? position : -1; }

int32_t MemoryStream::Size() { return buffer ? size : -1; }

bool MemoryStream::Flush() { return buffer != nullptr; }

bool MemoryStream::Eof() { return !buffer || position >= size; }

int32_t MemoryStream::Error() {
    if (!buffer) return -1;
    return position > size ? 1 : 0;
}

bool MemoryStream::PutC(uint8_t c) {
    if (!buffer) return false;
    const uint64_t end = static_cast<uint64_t>(position) + 1;
    if (end > static_cast<uint64_t>(INT32_MAX)) return false;
    if (end > edge && !Alloc(end)) return false;
    FillGap();
    buffer[position++] = c;
    if (size < position) size = position;
    return true;
}

int32_t MemoryStream::GetC() {
    if (Eof()) return -1;
    return buffer[position++];
}
