#include "stream.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <numeric>
#include <vector>

TEST(MemoryStream, ReadCountsWholeItemsAndConsumesPartialOnes) {
    uint8_t block[10];
    std::iota(block, block + 10, 0);
    MemoryStream s(block, 10);
    uint8_t dest[12] = {};
    EXPECT_EQ(s.Read(dest, 4, 3), 2u);
    EXPECT_EQ(0, std::memcmp(dest, block, 10));
    EXPECT_EQ(s.Tell(), 10);
    EXPECT_EQ(s.Read(dest, 1, 1), 0u);
    EXPECT_TRUE(s.Eof());
    EXPECT_EQ(s.GetC(), -1);
}

TEST(MemoryStream, ReadRejectsNullAndZeroSizes) {
    uint8_t block[4] = {1, 2, 3, 4};
    MemoryStream s(block, 4);
    uint8_t dest[4];
    EXPECT_EQ(s.Read(nullptr, 1, 4), 0u);
    EXPECT_EQ(s.Read(dest, 0, 4), 0u);
    // size x count must not wrap around in 32 bits
    EXPECT_EQ(s.Read(dest, 0x10000, 0x10000), 0u);
    EXPECT_EQ(s.Tell(), 4);
}

TEST(MemoryStream, SeekClampsBelowZeroAndRejectsBadOrigin) {
    uint8_t block[8] = {};
    MemoryStream s(block, 8);
    EXPECT_TRUE(s.Seek(-5, 0));
    EXPECT_EQ(s.Tell(), 0);
    EXPECT_FALSE(s.Seek(0, 3));
    EXPECT_TRUE(s.Seek(-3, 2));
    EXPECT_EQ(s.Tell(), 5);
    EXPECT_TRUE(s.Seek(2, 1));
    EXPECT_EQ(s.Tell(), 7);
}

TEST(MemoryStream, OpenedStreamGrowsInPagesOf4096) {
    MemoryStream s;
    ASSERT_TRUE(s.Open());
    EXPECT_FALSE(s.Open());  // a block is already present
    std::vector<uint8_t> data(5000, 0x5A);
    EXPECT_EQ(s.Write(data.data(), 1, 5000), 5000u);
    EXPECT_EQ(s.edge, 8192u);
    EXPECT_EQ(s.Size(), 5000);
    EXPECT_EQ(s.Tell(), 5000);
}

TEST(MemoryStream, PutCPastTheEndExtendsAndReportsErrorState) {
    MemoryStream s;
    ASSERT_TRUE(s.Open());
    EXPECT_TRUE(s.Seek(100, 0));
    EXPECT_EQ(s.Error(), 1);  // positioned past the data
    EXPECT_TRUE(s.PutC(7));
    EXPECT_EQ(s.Error(), 0);
    EXPECT_EQ(s.Size(), 101);
    EXPECT_EQ(s.buffer[100], 7);
    EXPECT_EQ(s.edge, 4096u);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(s.buffer[i], 0) << "the gap reads as zeros, byte " << i;
}

TEST(MemoryStream, LargeWritesGrowTheBlockGeometrically) {
    MemoryStream s;
    ASSERT_TRUE(s.Open());
    std::vector<uint8_t> row(1000, 1);
    uint32_t grows = 0, lastEdge = s.edge;
    for (int i = 0; i < 10000; ++i) {  // 10 MB in rows of 1000 bytes
        ASSERT_EQ(s.Write(row.data(), 1, 1000), 1000u);
        if (s.edge != lastEdge) ++grows, lastEdge = s.edge;
    }
    EXPECT_EQ(s.Size(), 10000000);
    EXPECT_LT(grows, 40u);  // growing by 4096 bytes each time would take 2442 steps
}

TEST(MemoryStream, CallersBlockIsWrittenInPlaceUntilItMustGrow) {
    uint8_t* block = static_cast<uint8_t*>(std::malloc(4));
    std::memset(block, 0, 4);
    {
        MemoryStream s(block, 4);
        EXPECT_FALSE(s.freeOnClose);
        EXPECT_EQ(s.Write("ab", 1, 2), 2u);
        EXPECT_EQ(s.buffer, block);
        EXPECT_EQ(block[1], 'b');
        EXPECT_EQ(s.Write("cdef", 1, 4), 4u);  // passes the edge: the block is the stream's now
        EXPECT_TRUE(s.freeOnClose);
        EXPECT_EQ(s.Size(), 6);
        EXPECT_EQ(0, std::memcmp(s.buffer, "abcdef", 6));
    }  // closing frees the grown block
}

TEST(MemoryStream, GetBufferDetachesTheBlock) {
    MemoryStream s;
    ASSERT_TRUE(s.Open());
    s.Write("xyz", 1, 3);
    uint8_t* block = s.GetBuffer(true);
    s.Close();
    EXPECT_EQ(s.buffer, block);  // not freed by the stream
    EXPECT_EQ(0, std::memcmp(block, "xyz", 3));
    std::free(block);
}

TEST(MemoryStream, StreamWithoutBlockFailsEverything) {
    MemoryStream s;
    uint8_t b = 0;
    EXPECT_EQ(s.Read(&b, 1, 1), 0u);
    EXPECT_EQ(s.Write(&b, 1, 1), 0u);
    EXPECT_FALSE(s.Seek(0, 0));
    EXPECT_EQ(s.Tell(), -1);
    EXPECT_EQ(s.Size(), -1);
    EXPECT_FALSE(s.Flush());
    EXPECT_TRUE(s.Eof());
    EXPECT_EQ(s.Error(), -1);
    EXPECT_FALSE(s.PutC(1));
    EXPECT_TRUE(s.Close());
}

TEST(FileStream, StreamOverNothingFailsEverything) {
    FileStream s(nullptr);
    uint8_t b = 0;
    EXPECT_EQ(s.Read(&b, 1, 1), 0u);
    EXPECT_EQ(s.Write(&b, 1, 1), 0u);
    EXPECT_FALSE(s.Seek(0, 0));
    EXPECT_EQ(s.Tell(), 0);
    EXPECT_EQ(s.Size(), -1);
    EXPECT_TRUE(s.Eof());
    EXPECT_EQ(s.Error(), -1);
    EXPECT_EQ(s.GetC(), -1);
    EXPECT_FALSE(s.PutC(1));
    EXPECT_TRUE(s.Close());
}

TEST(FileStream, HandedInFileStaysOpenAndSizeKeepsPosition) {
    FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    {
        FileStream s(f);
        EXPECT_EQ(s.Write("hello", 1, 5), 5u);
        EXPECT_TRUE(s.PutC('!'));
        EXPECT_TRUE(s.Seek(1, 0));
        EXPECT_EQ(s.Size(), 6);
        EXPECT_EQ(s.Tell(), 1);
        EXPECT_EQ(s.GetC(), 'e');
        EXPECT_TRUE(s.Flush());
        EXPECT_EQ(s.Error(), 0);
    }
    // the object did not close it: the FILE is still usable
    EXPECT_EQ(std::fseek(f, 0, SEEK_SET), 0);
    EXPECT_EQ(std::fgetc(f), 'h');
    std::fclose(f);
}
