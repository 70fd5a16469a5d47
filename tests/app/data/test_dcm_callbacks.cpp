// The PNG-save and text-conversion callbacks handed to the DICOM library.
#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/data/dcmCallbacks.h"
#include "dcmsdk/dcmSDK.h"
#include "tools/dcmfixtures/fixtures.h"

namespace fs = std::filesystem;

namespace {

struct Locale {
  std::string saved;
  bool had;
  explicit Locale(const char* value) {
    const char* old = std::getenv("LC_ALL");
    had = old != nullptr;
    if (had) saved = old;
    setenv("LC_ALL", value, 1);
  }
  ~Locale() {
    if (had)
      setenv("LC_ALL", saved.c_str(), 1);
    else
      unsetenv("LC_ALL");
  }
};

bool validUtf8(const char* s) {
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s); *p;) {
    int n = *p < 0x80 ? 1 : (*p >> 5) == 6 ? 2 : (*p >> 4) == 14 ? 3 : (*p >> 3) == 30 ? 4 : 0;
    if (!n) return false;
    for (int k = 1; k < n; ++k)
      if ((p[k] & 0xC0) != 0x80) return false;
    p += n;
  }
  return true;
}

TEST(Gb2Utf8, ConvertsByTheUsersLanguage) {
  struct Case {
    const char* locale;
    std::string src;
    const char* expect;
  } cases[] = {
      {"zh_CN.UTF-8", "\xCD\xF5^\xD0\xA1\xC3\xF7", "\xE7\x8E\x8B^\xE5\xB0\x8F\xE6\x98\x8E"},
      {"de_DE.UTF-8", "M\xFCller", "M\xC3\xBCller"},
      {"ru_RU.UTF-8", "\xC8\xE2\xE0\xED", "\xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD"},
      {"C", "plain ASCII", "plain ASCII"},
      {"zh_CN.UTF-8", "\xCD", "\xEF\xBF\xBD"},  // a cut double-byte character
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.locale);
    Locale l(c.locale);
    char buf[64];
    std::memset(buf, 'x', sizeof buf);
    dcmGb2Utf8Callback(c.src.c_str(), buf, sizeof buf);
    EXPECT_STREQ(buf, c.expect);
    for (size_t i = std::strlen(buf); i < sizeof buf; ++i) ASSERT_EQ(buf[i], 0);  // whole buffer zeroed
  }
}

TEST(Gb2Utf8, NeverCutsACharacter) {
  Locale l("zh_CN.UTF-8");
  const std::string src = "\xCD\xF5\xCD\xF5\xCD\xF5";  // three 3-byte characters in UTF-8
  for (int len = 1; len <= 11; ++len) {
    std::vector<char> buf(static_cast<size_t>(len) + 4, 'x');
    dcmGb2Utf8Callback(src.c_str(), buf.data(), len);
    size_t n = std::strlen(buf.data());
    EXPECT_EQ(n, static_cast<size_t>((len - 1) / 3 * 3)) << len;
    EXPECT_TRUE(validUtf8(buf.data()));
    EXPECT_EQ(buf[static_cast<size_t>(len)], 'x') << "wrote past the buffer";
  }
  char one = 'x';
  dcmGb2Utf8Callback(src.c_str(), &one, 0);
  EXPECT_EQ(one, 'x');
}

TEST(SavePng, WritesRgbThatReadsBack) {
  std::string dir = (fs::temp_directory_path() / "dcmcb-XXXXXX").string();
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  const int w = 3, h = 2;
  const unsigned char px[w * h * 3] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 20, 30, 40, 50, 60, 70, 80, 90};
  std::string path = dir + "/a.png";
  ASSERT_TRUE(dcmSavePngCallback(w, h, px, path.c_str()));
  png_image img;
  std::memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&img, path.c_str()));
  img.format = PNG_FORMAT_RGB;
  EXPECT_EQ(img.width, 3u);
  EXPECT_EQ(img.height, 2u);
  std::vector<unsigned char> back(PNG_IMAGE_SIZE(img));
  ASSERT_TRUE(png_image_finish_read(&img, nullptr, back.data(), 0, nullptr));
  EXPECT_EQ(std::memcmp(back.data(), px, sizeof px), 0);

  EXPECT_FALSE(dcmSavePngCallback(0, 2, px, (dir + "/b.png").c_str()));
  EXPECT_FALSE(dcmSavePngCallback(3, 2, nullptr, (dir + "/b.png").c_str()));
  EXPECT_FALSE(dcmSavePngCallback(3, 2, px, (dir + "/missing/b.png").c_str()));
  EXPECT_FALSE(fs::exists(dir + "/b.png"));
  fs::remove_all(dir);
}

TEST(SavePng, TheLibraryWritesPreviewsThroughIt) {
  std::string dir = (fs::temp_directory_path() / "dcmcb-XXXXXX").string();
  ASSERT_NE(mkdtemp(dir.data()), nullptr);
  auto s = dcmfixtures::writeSeries(dir, *dcmfixtures::findVariant("rgb"), 40, 30, 1);
  dcmSDK::setSavePngCallback(dcmSavePngCallback);
  dcmSDK::dcmReader r;
  ASSERT_TRUE(r.setFile(s.files[0].c_str()));
  std::string path = dir + "/preview.png";
  EXPECT_TRUE(r.convertToPngFile(path.c_str(), true));
  dcmSDK::setSavePngCallback(nullptr);
  png_image img;
  std::memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&img, path.c_str()));
  EXPECT_EQ(img.width, 40u);
  EXPECT_EQ(img.height, 30u);
  png_image_free(&img);
  fs::remove_all(dir);
}

}  // namespace
