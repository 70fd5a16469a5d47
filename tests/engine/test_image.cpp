// Image decode and encode: PNG premultiplied on load, JPEG quality 90,
// format from content, atomic writes, hostile input.
#include <gtest/gtest.h>

#include <dirent.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include <zlib.h>

#include "engine/cocos2d.h"
#include "engine/platform/Image.h"
#include "support_engine.h"

USING_NS_CC;

namespace {

std::vector<unsigned char> readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> listDir(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n != "." && n != "..") names.push_back(n);
    }
    closedir(d);
  }
  return names;
}

// 4x2 straight-alpha RGBA: opaque red, half-transparent green, clear blue,
// quarter white, then a grey row.
std::vector<unsigned char> sampleRgba() {
  return {255, 0,   0,   255, 0,   255, 0,   128, 0,   0,   255, 0,   255, 255, 255, 64,
          10,  20,  30,  255, 40,  50,  60,  255, 70,  80,  90,  255, 100, 110, 120, 255};
}

}  // namespace

TEST(Image, PngRoundTripPremultipliesAlphaOnLoad) {
  TempDir dir;
  Image src;
  auto px = sampleRgba();
  ASSERT_TRUE(src.initWithRawData(px.data(), static_cast<ssize_t>(px.size()), 4, 2, 8));
  // No extension: the decoder must go by the content.
  const std::string path = dir.path + "thrumb0";
  ASSERT_TRUE(src.saveToFile(dir.path + "a.png", false));
  ASSERT_EQ(std::rename((dir.path + "a.png").c_str(), path.c_str()), 0);

  Image img;
  ASSERT_TRUE(img.initWithImageFile(path));
  EXPECT_EQ(img.getFileType(), Image::Format::PNG);
  EXPECT_EQ(img.getWidth(), 4);
  EXPECT_EQ(img.getHeight(), 2);
  ASSERT_TRUE(img.hasAlpha());
  EXPECT_TRUE(img.hasPremultipliedAlpha());
  ASSERT_EQ(img.getDataLen(), 32);
  const unsigned char* d = img.getData();
  // red stays; green 255*128/255 = 128; clear blue becomes 0; white*64.
  const unsigned char expect[16] = {255, 0, 0, 255, 0, 128, 0, 128, 0, 0, 0, 0, 64, 64, 64, 64};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(d[i], expect[i]) << "byte " << i;
  for (int i = 16; i < 32; ++i) EXPECT_EQ(d[i], px[i]) << "byte " << i;

  // Saving again un-premultiplies: straight values come back (within rounding).
  ASSERT_TRUE(img.saveToFile(dir.path + "b.png", false));
  Image again;
  ASSERT_TRUE(again.initWithImageFile(dir.path + "b.png"));
  for (int i = 0; i < 32; ++i) EXPECT_NEAR(again.getData()[i], d[i], 1) << "byte " << i;
}

TEST(Image, JpegRoundTripWithinQuality90Tolerance) {
  TempDir dir;
  const int w = 32, h = 16;
  std::vector<unsigned char> rgb(w * h * 3);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      unsigned char* p = &rgb[(y * w + x) * 3];
      p[0] = x < 16 ? 200 : 30;  // two flat halves
      p[1] = 60;
      p[2] = y < 8 ? 20 : 220;
    }
  Image src;
  ASSERT_TRUE(src.initWithRawData(rgb.data(), static_cast<ssize_t>(rgb.size()), w, h, 8));
  ASSERT_TRUE(src.saveToFile(dir.path + "c.JPG"));
  const auto bytes = readAll(dir.path + "c.JPG");
  ASSERT_GT(bytes.size(), 3u);
  EXPECT_EQ(bytes[0], 0xFF);
  EXPECT_EQ(bytes[1], 0xD8);

  Image img;
  ASSERT_TRUE(img.initWithImageData(bytes.data(), static_cast<ssize_t>(bytes.size())));
  EXPECT_EQ(img.getFileType(), Image::Format::JPG);
  EXPECT_FALSE(img.hasAlpha());
  ASSERT_EQ(img.getWidth(), w);
  ASSERT_EQ(img.getHeight(), h);
  // Centres of the flat quadrants are close to the source.
  for (auto [x, y] : {std::pair{4, 3}, {27, 3}, {4, 12}, {27, 12}}) {
    const unsigned char* a = &img.getData()[(y * w + x) * 3];
    const unsigned char* b = &rgb[(y * w + x) * 3];
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(a[c], b[c], 6) << x << "," << y << " c" << c;
  }
  // No temporary file is left behind.
  EXPECT_EQ(listDir(dir.path), std::vector<std::string>{"c.JPG"});
}

TEST(Image, BadInputFailsCleanly) {
  TempDir dir;
  Image good;
  auto px = sampleRgba();
  ASSERT_TRUE(good.initWithRawData(px.data(), 32, 4, 2, 8));
  ASSERT_TRUE(good.saveToFile(dir.path + "g.png", false));
  ASSERT_TRUE(good.saveToFile(dir.path + "g.jpg"));
  const auto png = readAll(dir.path + "g.png");
  const auto jpg = readAll(dir.path + "g.jpg");

  struct Case {
    const char* what;
    std::vector<unsigned char> bytes;
  };
  const std::vector<Case> cases = {
      {"empty", {}},
      {"text", {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd'}},
      {"png header only", std::vector<unsigned char>(png.begin(), png.begin() + 20)},
      {"png truncated", std::vector<unsigned char>(png.begin(), png.end() - 20)},
      {"jpeg truncated", std::vector<unsigned char>(jpg.begin(), jpg.begin() + jpg.size() / 3)},
      {"jpeg magic only", {0xFF, 0xD8, 0xFF, 0xE0, 0, 0, 0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    Image img;
    EXPECT_FALSE(img.initWithImageData(c.bytes.data(), static_cast<ssize_t>(c.bytes.size()))) << c.what;
    EXPECT_EQ(img.getData(), nullptr) << c.what;
    EXPECT_EQ(img.getWidth(), 0) << c.what;
  }
  Image img;
  EXPECT_FALSE(img.initWithImageFile(dir.path + "missing.png"));
  // Raw data whose size does not fit the dimensions, and unknown extensions.
  EXPECT_FALSE(img.initWithRawData(px.data(), 31, 4, 2, 8));
  EXPECT_FALSE(good.saveToFile(dir.path + "g.bmp"));
  EXPECT_FALSE(good.saveToFile(dir.path + "no/such/folder/g.png"));
  Image empty;
  EXPECT_FALSE(empty.saveToFile(dir.path + "e.png"));
}

TEST(Image, SaveReplacesAnExistingFileWhole) {
  TempDir dir;
  const std::string path = dir.path + "t.png";
  writeFile(path, std::string(100000, 'x'));
  std::vector<unsigned char> grey(8 * 8, 77);
  Image img;
  ASSERT_TRUE(img.initWithRawData(grey.data(), 64, 8, 8, 8));
  ASSERT_TRUE(img.saveToFile(path));
  Image back;
  ASSERT_TRUE(back.initWithImageFile(path));
  EXPECT_EQ(back.getWidth(), 8);
  EXPECT_EQ(back.getData()[0], 77);
  EXPECT_EQ(listDir(dir.path), std::vector<std::string>{"t.png"});
}

TEST(Image, HeaderClaimingAHugePictureIsRefusedWithoutAllocatingIt) {
  TempDir dir;
  std::vector<unsigned char> grey(4 * 4, 9);
  Image small;
  ASSERT_TRUE(small.initWithRawData(grey.data(), 16, 4, 4, 8));
  ASSERT_TRUE(small.saveToFile(dir.path + "s.png"));
  auto bytes = readAll(dir.path + "s.png");
  // IHDR: length (8..11), "IHDR" (12..15), width (16..19), height (20..23),
  // then 5 more bytes and the CRC over type + data (29..32).
  auto put32 = [&](size_t at, uint32_t v) {
    bytes[at] = v >> 24;
    bytes[at + 1] = (v >> 16) & 0xFF;
    bytes[at + 2] = (v >> 8) & 0xFF;
    bytes[at + 3] = v & 0xFF;
  };
  for (auto [w, h] : {std::pair<uint32_t, uint32_t>{60000, 60000}, {30000, 30000}, {1, 1u << 30}}) {
    put32(16, w);
    put32(20, h);
    put32(29, static_cast<uint32_t>(crc32(0, &bytes[12], 17)));
    Image img;
    EXPECT_FALSE(img.initWithImageData(bytes.data(), static_cast<ssize_t>(bytes.size()))) << w << "x" << h;
    EXPECT_EQ(img.getData(), nullptr);
  }
}
