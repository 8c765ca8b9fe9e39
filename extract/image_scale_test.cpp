#include "extract/image_scale.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <tuple>

namespace glimpses {
namespace {

struct Bgra {
  int blue = 0, green = 0, red = 0, alpha = 255;
};

// A 24-bit picture (32 with alpha when `alpha`) painted by `paint`.
CImage Paint(int width, int height, bool alpha, const std::function<Bgra(int, int)>& paint) {
  CImage image;
  EXPECT_TRUE(image.Create(width, height, alpha ? 32 : 24, alpha));
  const int bytes = alpha ? 4 : 3;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      Bgra c = paint(x, y);
      std::uint8_t* p = image.Row(y) + x * bytes;
      p[0] = static_cast<std::uint8_t>(c.blue), p[1] = static_cast<std::uint8_t>(c.green);
      p[2] = static_cast<std::uint8_t>(c.red);
      if (alpha) p[3] = static_cast<std::uint8_t>(c.alpha);
    }
  }
  return image;
}

Bgra At(const CImage& image, int x, int y) {
  const int bytes = image.BitsPerPixel() / 8;
  const std::uint8_t* p = image.Row(y) + x * bytes;
  return {p[0], p[1], p[2], bytes == 4 ? p[3] : 255};
}

TEST(FitWithin, KeepsAspectNeverEnlargesNeverVanishes) {
  struct Case {
    int width, height, maxEdge;
    ImageSize expected;
  } cases[] = {
      {256, 192, 128, {128, 96}},    {192, 256, 128, {96, 128}},  {256, 181, 100, {100, 71}},
      {300, 300, 257, {257, 257}},   {256, 192, 256, {256, 192}}, {100, 50, 1024, {100, 50}},
      {5000, 3, 128, {128, 1}},      {1, 70000, 64, {1, 64}},     {1024, 1023, 1, {1, 1}},
      {0, 10, 128, {0, 0}},          {10, -1, 128, {0, 0}},       {10, 10, 0, {0, 0}},
      {1 << 26, 1, 1024, {1024, 1}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FitWithin(c.width, c.height, c.maxEdge), c.expected) << c.width << "x" << c.height << " in " << c.maxEdge;
  }
}

TEST(ScaleDownToFit, AveragesAreasInsteadOfPickingPixels) {
  // A one-pixel checkerboard halved: every target pixel sees two black and
  // two white pixels, so a box filter gives mid grey where sampling would
  // give black or white.
  CImage checker = Paint(8, 8, false, [](int x, int y) {
    int v = (x + y) % 2 ? 255 : 0;
    return Bgra{v, v, v};
  });
  CImage half = ScaleDownToFit(checker, 4);
  ASSERT_EQ(half.Width(), 4);
  ASSERT_EQ(half.BitsPerPixel(), 24);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_NEAR(At(half, x, y).green, 128, 1) << x << "," << y;

  // Three pixels into two: each target pixel covers one and a half source
  // pixels, the middle one shared between them.
  CImage stripe = Paint(3, 1, false, [](int x, int) { return x == 1 ? Bgra{255, 255, 255} : Bgra{}; });
  CImage two = ScaleDownToFit(stripe, 2);
  ASSERT_EQ(two.Width(), 2);
  EXPECT_NEAR(At(two, 0, 0).red, 85, 1);
  EXPECT_NEAR(At(two, 1, 0).red, 85, 1);
}

TEST(ScaleDownToFit, UniformColourSurvivesEveryRatio) {
  for (auto [width, height, maxEdge] : {std::tuple{1000, 700, 128}, {5000, 3, 128}, {3, 999, 7}, {257, 256, 256}}) {
    CImage image = Paint(width, height, false, [](int, int) { return Bgra{10, 200, 77}; });
    CImage small = ScaleDownToFit(image, maxEdge);
    ASSERT_FALSE(small.IsNull());
    for (int y = 0; y < small.Height(); ++y) {
      for (int x = 0; x < small.Width(); ++x) {
        Bgra c = At(small, x, y);
        ASSERT_EQ(c.blue, 10);
        ASSERT_EQ(c.green, 200);
        ASSERT_EQ(c.red, 77);
      }
    }
  }
}

TEST(ScaleDownToFit, TransparentPixelsLendNoColour) {
  CImage image = Paint(2, 1, true, [](int x, int) { return x == 0 ? Bgra{0, 0, 255, 0} : Bgra{255, 0, 0, 255}; });
  CImage one = ScaleDownToFit(image, 1);
  ASSERT_EQ(one.BitsPerPixel(), 32);
  ASSERT_TRUE(one.HasAlpha());
  Bgra c = At(one, 0, 0);
  EXPECT_EQ(c.blue, 255);
  EXPECT_EQ(c.red, 0);
  EXPECT_NEAR(c.alpha, 128, 1);

  CImage clear = ScaleDownToFit(Paint(4, 4, true, [](int, int) { return Bgra{9, 9, 9, 0}; }), 2);
  EXPECT_EQ(At(clear, 1, 1).alpha, 0);
}

TEST(ScaleDownToFit, PaletteAndFiveBitPicturesBecomeTrueColour) {
  CImage indexed;
  ASSERT_TRUE(indexed.Create(16, 16, 8));
  indexed.Palette()[3] = PaletteEntry{40, 50, 60, 0};
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) indexed.Row(y)[x] = 3;
  CImage small = ScaleDownToFit(indexed, 5);
  ASSERT_EQ(small.BitsPerPixel(), 24);
  EXPECT_EQ(At(small, 4, 4).blue, 40);
  EXPECT_EQ(At(small, 4, 4).red, 60);

  CImage fiveBit;
  ASSERT_TRUE(fiveBit.Create(4, 4, 16));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) fiveBit.Row(y)[2 * x + 1] = 0x7C;  // red at full strength
  CImage smallFive = ScaleDownToFit(fiveBit, 2);
  EXPECT_EQ(At(smallFive, 0, 0).red, 255);
  EXPECT_EQ(At(smallFive, 0, 0).blue, 0);
}

TEST(ScaleDownToFit, PictureThatFitsComesBackUnchanged) {
  CImage indexed;
  ASSERT_TRUE(indexed.Create(30, 20, 4));
  indexed.Palette()[1] = PaletteEntry{1, 2, 3, 0};
  indexed.Row(5)[2] = 0x10;
  CImage same = ScaleDownToFit(indexed, 30);
  ASSERT_EQ(same.BitsPerPixel(), 4);
  EXPECT_EQ(same.Row(5)[2], 0x10);
  EXPECT_EQ(same.Palette(), indexed.Palette());
}

TEST(ScaleDownToFit, NothingToScaleGivesEmpty) {
  EXPECT_TRUE(ScaleDownToFit(CImage(), 128).IsNull());
  EXPECT_TRUE(ScaleDownToFit(Paint(4, 4, false, [](int, int) { return Bgra{}; }), 0).IsNull());
}

}  // namespace
}  // namespace glimpses
