#include "rowiterator.h"

#include <gtest/gtest.h>

#include <vector>

TEST(RowIterator, SelectRowIgnoresRowsOutsideThePicture) {
    Picture p(4, 3, 24, 0);
    CRowIterator it(&p);
    EXPECT_EQ(it.CurrentRow(), p.GetBits(0));
    it.SelectRow(1);
    EXPECT_EQ(it.CurrentRow(), p.GetBits(1));
    it.SelectRow(3);
    it.SelectRow(-1);
    EXPECT_EQ(it.CurrentRow(), p.GetBits(1));
    EXPECT_EQ(it.RowAt(2), p.GetBits(2));  // the top row
}

TEST(RowIterator, StepDownFromTheTopStopsBelowTheBottomRow) {
    Picture p(2, 3, 8, 0);
    CRowIterator it(&p);
    it.StartAtTop();
    EXPECT_EQ(it.CurrentRow(), p.GetBits(2));
    EXPECT_TRUE(it.InsideImage());
    EXPECT_TRUE(it.StepDown());
    EXPECT_TRUE(it.StepDown());
    EXPECT_EQ(it.CurrentRow(), p.GetBits(0));
    EXPECT_FALSE(it.StepDown());
    EXPECT_EQ(it.row, -1);
    EXPECT_EQ(it.CurrentRow(), p.GetBits(0));
    EXPECT_FALSE(it.InsideImage());
}

TEST(RowIterator, CopiesAreLimitedToOneRow) {
    Picture p(5, 2, 8, 0);  // rows of 8 bytes
    CRowIterator it(&p);
    std::vector<uint8_t> line(20, 0xEE);
    it.RowAt(0);
    it.CopyIntoRow(line.data(), 20);
    for (uint32_t i = 0; i < 8; ++i) EXPECT_EQ(p.GetBits(0)[i], 0xEE);
    EXPECT_EQ(p.GetBits(1)[0], 0);  // the next row is untouched
    std::vector<uint8_t> back(20, 0);
    it.CopyFromRow(back.data(), -1);  // a negative count means one whole row
    EXPECT_EQ(back[7], 0xEE);
    EXPECT_EQ(back[8], 0);
}

TEST(RowIterator, PictureWithoutPixelsHasNoRow) {
    Picture empty;
    CRowIterator it(&empty);
    EXPECT_EQ(it.CurrentRow(), nullptr);
    uint8_t data[4] = {1, 2, 3, 4};
    it.CopyIntoRow(data, 4);  // nothing to copy into, and no crash
    it.StartAtTop();
    EXPECT_EQ(it.CurrentRow(), nullptr);
    CRowIterator none(nullptr);
    EXPECT_FALSE(none.InsideImage());
    EXPECT_FALSE(none.StepDown());
}
