// Byte streams: the one interface every codec reads and writes through.
// The calls follow the C standard I/O functions in arguments and results.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

class ByteStream {
   public:
    virtual ~ByteStream() = default;
    virtual bool Close() = 0;
    virtual uint32_t Read(void* buffer, uint32_t size, uint32_t count) = 0;
    virtual uint32_t Write(const void* buffer, uint32_t size, uint32_t count) = 0;
    // origin: 0 from the start, 1 from the current position, 2 from the end
    virtual bool Seek(int32_t offset, int32_t origin) = 0;
    virtual int32_t Tell() = 0;
    virtual int32_t Size() = 0;
    virtual bool Flush() = 0;
    virtual bool Eof() = 0;
    virtual int32_t Error() = 0;
    virtual bool PutC(uint8_t c) { return Write(&c, 1, 1) == 1; }
    virtual int32_t GetC() = 0;
};

// A stream over a C FILE. A FILE handed to the constructor stays the caller's: the
// object never closes it.
class FileStream : public ByteStream {
   public:
    explicit FileStream(FILE* stream = nullptr) : file(stream), closeFile(stream == nullptr) {}
    ~FileStream() override { FileStream::Close(); }
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    bool Close() override;
    uint32_t Read(void* buffer, uint32_t size, uint32_t count) override;
    uint32_t Write(const void* buffer, uint32_t size, uint32_t count) override;
    bool Seek(int32_t offset, int32_t origin) override;
    int32_t Tell() override;
    int32_t Size() override;
    bool Flush() override;
    bool Eof() override;
    int32_t Error() override;
    bool PutC(uint8_t c) override;
    int32_t GetC() override;

    FILE* file;
    bool closeFile;
};

// A stream over a growable memory block. Either a view of a caller's block (read and
// overwritten in place until a write needs to grow it) or the owner of its own block.
// Blocks are allocated with malloc and released with free.
class MemoryStream : public ByteStream {
   public:
    explicit MemoryStream(uint8_t* block = nullptr, int32_t length = 0);
    ~MemoryStream() override { MemoryStream::Close(); }
    MemoryStream(const MemoryStream&) = delete;
    MemoryStream& operator=(const MemoryStream&) = delete;

    bool Open();
    // With detach the caller takes the block over and frees it with free().
    uint8_t* GetBuffer(bool detach = true);

    bool Close() override;
    uint32_t Read(void* buffer, uint32_t size, uint32_t count) override;
    uint32_t Write(const void* buffer, uint32_t size, uint32_t count) override;
    bool Seek(int32_t offset, int32_t origin) override;
    int32_t Tell() override;
    int32_t Size() override;
    bool Flush() override;
    bool Eof() override;
    int32_t Error() override;
    bool PutC(uint8_t c) override;
    int32_t GetC() override;

    uint8_t* buffer;
    int32_t size;
    bool freeOnClose;
    int32_t position;
    uint32_t edge;

   private:
    bool Alloc(uint64_t newLength);
    void FillGap();
};
