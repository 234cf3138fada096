#include "host/bitmap.h"

#include <gtest/gtest.h>

TEST(Bitmap, CreatesZeroFilledWithRowsAndFullClip) {
    quon_bitmap* b = quon_create_bitmap(5, 3, 32);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->pitch, 20);
    EXPECT_EQ(b->rows[2], b->data + 40);
    for (int i = 0; i < 60; i++) EXPECT_EQ(b->data[i], 0);
    EXPECT_EQ(b->cx1, 5);
    EXPECT_EQ(b->cy1, 3);
    quon_destroy_bitmap(b);
}

TEST(Bitmap, RefusesBadSizesAndDepths) {
    EXPECT_EQ(quon_create_bitmap(0, 4, 8), nullptr);
    EXPECT_EQ(quon_create_bitmap(4, -1, 8), nullptr);
    EXPECT_EQ(quon_create_bitmap(4, 4, 16), nullptr);
    EXPECT_EQ(quon_create_bitmap(1 << 20, 1 << 20, 32), nullptr);
    quon_destroy_bitmap(nullptr);
}

TEST(Bitmap, ClipIsClampedToTheBitmap) {
    quon_bitmap* b = quon_create_bitmap(128, 128, 8);
    quon_set_clip(b, -10, 20, 50, 1000);
    EXPECT_EQ(b->cx0, 0);
    EXPECT_EQ(b->cy0, 20);
    EXPECT_EQ(b->cx1, 40);
    EXPECT_EQ(b->cy1, 128);
    quon_set_clip(b, 2147483000, 0, 2147483000, 5);
    EXPECT_EQ(b->cx0, 128);
    EXPECT_EQ(b->cx1, 128);
    quon_reset_clip(b);
    EXPECT_EQ(b->cx0, 0);
    EXPECT_EQ(b->cx1, 128);
    quon_destroy_bitmap(b);
}
