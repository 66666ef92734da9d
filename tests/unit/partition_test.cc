// The partition arithmetic of the GEMV and GEMM drivers on the worked
// examples, and the covering property for every small case.
#include <gtest/gtest.h>

#include "blas/partition.h"

namespace mox2::blas {
namespace {

TEST(Partition, RealGemvAndThinStripsPutTheExtraElementsFirst) {
  // 10 rows on 4 threads: 3, 3, 2, 2 starting at rows 1, 4, 7, 9.
  EXPECT_EQ(band_first_longer(10, 4, 0), (Span{0, 3}));
  EXPECT_EQ(band_first_longer(10, 4, 1), (Span{3, 3}));
  EXPECT_EQ(band_first_longer(10, 4, 2), (Span{6, 2}));
  EXPECT_EQ(band_first_longer(10, 4, 3), (Span{8, 2}));
  // 7 columns on 3 threads: 3, 2, 2.
  EXPECT_EQ(band_first_longer(7, 3, 0), (Span{0, 3}));
  EXPECT_EQ(band_first_longer(7, 3, 2), (Span{5, 2}));
}

TEST(Partition, ComplexGemvLastBlockTakesTheRemainder) {
  // 10 rows on 4 threads: 2, 2, 2, 4 starting at rows 1, 3, 5, 7.
  EXPECT_EQ(band_last_takes_rest(10, 4, 0), (Span{0, 2}));
  EXPECT_EQ(band_last_takes_rest(10, 4, 2), (Span{4, 2}));
  EXPECT_EQ(band_last_takes_rest(10, 4, 3), (Span{6, 4}));
}

TEST(Partition, QuadBlocksOfTheWorkedExamples) {
  // 100 in 2 blocks: 52, 48.
  EXPECT_EQ(quad_block(100, 2, 0), (Span{0, 52}));
  EXPECT_EQ(quad_block(100, 2, 1), (Span{52, 48}));
  // 400 in 4: 100 each.
  EXPECT_EQ(quad_block(400, 4, 3), (Span{300, 100}));
  // 7 in 1: 4 plus the 3 leftovers; 9 in 2: 4 and 4 + 1.
  EXPECT_EQ(quad_block(7, 1, 0), (Span{0, 7}));
  EXPECT_EQ(quad_block(9, 2, 0), (Span{0, 4}));
  EXPECT_EQ(quad_block(9, 2, 1), (Span{4, 5}));
  // 30 in 3: quads 3, 2, 2 -> 12, 8, 8 + 2.
  EXPECT_EQ(quad_block(30, 3, 0), (Span{0, 12}));
  EXPECT_EQ(quad_block(30, 3, 1), (Span{12, 8}));
  EXPECT_EQ(quad_block(30, 3, 2), (Span{20, 10}));
}

TEST(Partition, EveryCutCoversItsRangeInOrder) {
  for (std::int32_t len = 0; len <= 300; ++len)
    for (std::int32_t t = 1; t <= 20; ++t) {
      std::int32_t at1 = 0, at2 = 0, at3 = 0;
      for (std::int32_t i = 0; i < t; ++i) {
        Span a = band_first_longer(len, t, i), b = band_last_takes_rest(len, t, i);
        ASSERT_EQ(a.first, at1);
        ASSERT_EQ(b.first, at2);
        at1 += a.count;
        at2 += b.count;
        if (len / 4 >= t) {
          Span q = quad_block(len, t, i);
          ASSERT_EQ(q.first, at3);
          ASSERT_EQ(q.first % 4, 0);
          ASSERT_GE(q.count, 4);
          if (i < t - 1) {
            ASSERT_EQ(q.count % 4, 0);
          }
          at3 += q.count;
        }
      }
      ASSERT_EQ(at1, len);
      ASSERT_EQ(at2, len);
      if (len / 4 >= t) {
        ASSERT_EQ(at3, len);
      }
    }
}

TEST(Partition, MeshChoiceAndFallbacks) {
  // Tall, wide, and the thread mesh otherwise.
  EXPECT_EQ(choose_mesh(400, 20, 4, Mesh{2, 2}), (Mesh{4, 1}));
  EXPECT_EQ(choose_mesh(20, 400, 4, Mesh{2, 2}), (Mesh{1, 4}));
  EXPECT_EQ(choose_mesh(320, 20, 4, Mesh{2, 2}), (Mesh{2, 2})); // 320 div 16 = 20, not above
  EXPECT_TRUE(mesh_fits(100, 100, 4, Mesh{2, 2}));
  EXPECT_FALSE(mesh_fits(10, 10, 6, Mesh{2, 3})); // N div 4 = 2 < 3
  EXPECT_FALSE(mesh_fits(100, 100, 1, Mesh{1, 1}));
  EXPECT_TRUE(mesh_fits(7, 9, 2, Mesh{1, 2}));
}

TEST(Partition, ThinProductStripChoice) {
  EXPECT_EQ(choose_thin_cut(10, 3, 50, 4), ThinCut::row_strips);
  EXPECT_EQ(choose_thin_cut(3, 10, 50, 4), ThinCut::column_strips);
  EXPECT_EQ(choose_thin_cut(3, 3, 50, 4), ThinCut::serial);
  EXPECT_EQ(choose_thin_cut(10, 10, 2, 4), ThinCut::column_strips); // K < 4
  EXPECT_EQ(choose_thin_cut(10, 3, 50, 1), ThinCut::serial);
  EXPECT_EQ(choose_thin_cut(3, 2, 9, 4), ThinCut::serial);
}

} // namespace
} // namespace mox2::blas
