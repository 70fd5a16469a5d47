// PNG previews, secondary-capture files written from pixels, and the log.
#include <gtest/gtest.h>
#include <png.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "support_dcm.h"

using dcmSDK::dcmConvertor;
using dcmSDK::dcmReader;
using namespace dcmtest;
namespace fs = std::filesystem;

namespace {

struct Png {
  int w = 0, h = 0;
  std::vector<uint8_t> rgb;
};

bool readPng(const std::string& path, Png& out) {
  png_image img;
  std::memset(&img, 0, sizeof img);
  img.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&img, path.c_str())) return false;
  img.format = PNG_FORMAT_RGB;
  out.w = static_cast<int>(img.width);
  out.h = static_cast<int>(img.height);
  out.rgb.resize(PNG_IMAGE_SIZE(img));
  return png_image_finish_read(&img, nullptr, out.rgb.data(), 0, nullptr) != 0;
}

std::string pngOf(const std::string& dicom, const std::string& name, bool thumbnail) {
  std::string out = scratch() + "/png/" + name + ".png";
  fs::create_directories(scratch() + "/png");
  dcmReader r;
  EXPECT_TRUE(r.setFile(dicom.c_str()));
  EXPECT_TRUE(r.convertToPngFile(out.c_str(), thumbnail)) << r.getLastError();
  return out;
}

TEST(Png, SizesAndThumbnails) {
  struct Case {
    const char* variant;
    int w, h;
    bool thumb;
    int ew, eh;
  } cases[] = {
      {"ct_s16", 64, 48, false, 64, 48},
      {"ct_s16", 64, 48, true, 64, 48},  // never enlarged
      {"mr_u16", 600, 400, true, 256, 170},
      {"mr_u16", 600, 400, false, 600, 400},
      {"rgb", 300, 520, true, 147, 256},
      {"mr_mf5", 64, 48, false, 64, 48},  // first frame
      {"ct_jpll", 64, 48, false, 64, 48},
      {"pal8", 64, 48, false, 64, 48},
      {"ybr_rle", 64, 48, false, 64, 48},
      {"rgb_jpeg", 64, 48, true, 64, 48},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.variant) + " " + std::to_string(c.w) + "x" + std::to_string(c.h));
    auto s = dcmfixtures::writeSeries(scratch() + "/png_src/" + c.variant + std::to_string(c.w),
                                      *dcmfixtures::findVariant(c.variant), c.w, c.h, 1);
    Png p;
    ASSERT_TRUE(readPng(pngOf(s.files[0], std::string(c.variant) + std::to_string(c.w) + (c.thumb ? "t" : ""),
                              c.thumb),
                        p));
    EXPECT_EQ(p.w, c.ew);
    EXPECT_EQ(p.h, c.eh);
  }
}

TEST(Png, ColourIsExactAndMonochrome1IsInverted) {
  const auto& rgb = series("rgb");
  Png p;
  ASSERT_TRUE(readPng(pngOf(rgb.files[0], "rgb_exact", false), p));
  for (int y = 0; y < rgb.height; y += 7)
    for (int x = 0; x < rgb.width; x += 5) {
      uint8_t want[3];
      dcmfixtures::rgbValue(rgb.variant, x, y, 0, want);
      ASSERT_EQ(std::memcmp(&p.rgb[3 * (size_t(y) * p.w + x)], want, 3), 0) << x << "," << y;
    }

  // Same stored values: bright where MONOCHROME2 is dark.
  auto grey = [](const std::string& variant, const char* name) {
    Png out;
    EXPECT_TRUE(readPng(pngOf(series(variant).files[0], name, false), out));
    return out;
  };
  const auto& v = series("mono1").variant;
  int minX = 0, minY = 0, maxX = 0, maxY = 0;
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) {
      if (dcmfixtures::greyValue(v, x, y, 0) < dcmfixtures::greyValue(v, minX, minY, 0)) minX = x, minY = y;
      if (dcmfixtures::greyValue(v, x, y, 0) > dcmfixtures::greyValue(v, maxX, maxY, 0)) maxX = x, maxY = y;
    }
  Png m1 = grey("mono1", "mono1");
  EXPECT_GT(m1.rgb[3 * (size_t(minY) * 64 + minX)], m1.rgb[3 * (size_t(maxY) * 64 + maxX)]);
  EXPECT_EQ(m1.rgb[0], m1.rgb[1]);  // grey written as RGB
}

struct Captured {
  std::mutex m;
  int w = 0, h = 0;
  size_t bytes = 0;
} g_cap;

bool capturePng(int w, int h, const unsigned char* rgb, const char* path) {
  std::lock_guard<std::mutex> lock(g_cap.m);
  g_cap.w = w;
  g_cap.h = h;
  g_cap.bytes = 0;
  for (size_t i = 0; i < size_t(w) * h * 3; ++i) g_cap.bytes += rgb[i] >= 0 ? 1 : 0;  // touches every byte
  FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  std::fputs("png", f);
  return std::fclose(f) == 0;
}

TEST(Png, CallbackGetsEveryPixelAndFailuresLeaveNoFile) {
  dcmSDK::setSavePngCallback(capturePng);
  std::string out = scratch() + "/png_cb/a.png";
  fs::create_directories(scratch() + "/png_cb");
  dcmReader r;
  ASSERT_TRUE(r.setFile(series("ct_s16").files[0].c_str()));
  EXPECT_TRUE(r.convertToPngFile(out.c_str(), false));
  dcmSDK::setSavePngCallback(nullptr);
  EXPECT_EQ(g_cap.w, 64);
  EXPECT_EQ(g_cap.h, 48);
  EXPECT_EQ(g_cap.bytes, 64u * 48u * 3u);
  EXPECT_TRUE(fs::exists(out));

  auto broken = dcmfixtures::writeBroken(scratch() + "/png_broken");
  for (const auto& b : broken) {
    dcmReader rb;
    if (!rb.setFile(b.path.c_str())) continue;
    std::string target = scratch() + "/png_cb/broken.png";
    EXPECT_FALSE(rb.convertToPngFile(target.c_str(), true)) << b.path;
  }
  size_t files = 0;
  for (const auto& e : fs::directory_iterator(scratch() + "/png_cb")) files += e.is_regular_file();
  EXPECT_EQ(files, 1u);  // no temporary or broken output left behind
}

// ---- secondary capture from pixels ------------------------------------------

dcmConvertor::PIXEL_Mem_ConvertorData record(const std::string& out, const std::string& src, const uint16_t* px) {
  dcmConvertor::PIXEL_Mem_ConvertorData rec;
  std::memset(&rec, 0, sizeof rec);
  std::snprintf(rec.outPath, sizeof rec.outPath, "%s", out.c_str());
  std::snprintf(rec.srcPath, sizeof rec.srcPath, "%s", src.c_str());
  rec.pixels = px;
  std::strcpy(rec.uid1, "1.3.6.1.4.1.99999.1.2.3.4.5.6");
  std::strcpy(rec.uid2, "1.2.840.99999.1.2.3.4.5");
  std::strcpy(rec.t1, "1");
  std::strcpy(rec.t2, "1");
  std::strcpy(rec.t3, "9000");
  rec.rows = 48;
  rec.cols = 64;
  rec.windowWidth = 400;
  rec.windowCenter = 40;
  rec.spacingX = 0.7f;
  rec.spacingY = 0.5f;
  rec.pos[0] = 1;
  rec.pos[1] = 2;
  rec.pos[2] = -3.5f;
  rec.rowDir[0] = 1;
  rec.colDir[1] = 1;
  rec.highBit = 15;
  rec.slope = 1;
  rec.intercept = 0;
  return rec;
}

std::string tagOf(dcmReader& r, unsigned short g, unsigned short e) {
  char buf[256];
  return r.readDicomTagString(g, e, buf, sizeof buf) ? buf : "<absent>";
}

TEST(Convertor, RoundTripThroughTheReader) {
  const auto& src = series("ct_s16");
  struct Case {
    const char* name;
    bool isSigned;
    float slope;
    const char* slopeText;
  } cases[] = {{"signed", true, 1.0f, "1"}, {"unsigned", false, 1.0f, "1"}, {"float_scaled", true, 1.0f / 80, "0.0125"}};
  fs::create_directories(scratch() + "/fav");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint16_t> px(64 * 48);
    for (size_t i = 0; i < px.size(); ++i)
      px[i] = c.isSigned ? static_cast<uint16_t>(static_cast<int16_t>(int(i * 37 % 64000) - 32000))
                         : static_cast<uint16_t>(i * 53 % 65536);
    std::string out = scratch() + "/fav/" + c.name + ".dcm";
    auto rec = record(out, src.files[0], px.data());
    rec.signedFlag = c.isSigned ? 1 : 0;
    rec.slope = c.slope;
    ASSERT_TRUE(dcmConvertor().convert(rec));
    dcmReader r;
    ASSERT_TRUE(r.setFile(out.c_str())) << r.getLastError();
    dcmReader::PixelType t;
    int64_t n;
    const void* p = r.readDicomPixelPointer(t, n);
    ASSERT_NE(p, nullptr);
    ASSERT_EQ(t, dcmReader::PIXEL_16);
    ASSERT_EQ(n, 64 * 48);
    EXPECT_EQ(std::memcmp(p, px.data(), px.size() * 2), 0);
    EXPECT_EQ(tagOf(r, 0x0008, 0x0016), "1.2.840.10008.5.1.4.1.1.7");
    EXPECT_EQ(tagOf(r, 0x0008, 0x0064), "WSD");
    EXPECT_EQ(tagOf(r, 0x0010, 0x0010), "FIXTURE^ct_s16");
    EXPECT_EQ(tagOf(r, 0x0028, 0x0030), "0.5\\0.7");
    EXPECT_EQ(tagOf(r, 0x0028, 0x1050), "40");
    EXPECT_EQ(tagOf(r, 0x0028, 0x1051), "400");
    EXPECT_EQ(tagOf(r, 0x0028, 0x1053), c.slopeText);
    EXPECT_EQ(tagOf(r, 0x0028, 0x0103), c.isSigned ? "1" : "0");
    EXPECT_EQ(tagOf(r, 0x0020, 0x0032), "1\\2\\-3.5");
    EXPECT_EQ(tagOf(r, 0x0020, 0x0037), "1\\0\\0\\0\\1\\0");
    EXPECT_EQ(tagOf(r, 0x0020, 0x0011), "9000");
    std::string sop = tagOf(r, 0x0008, 0x0018);
    EXPECT_EQ(sop.rfind("2.25.", 0), 0u);
    EXPECT_LE(sop.size(), 64u);
    dcmReader s;
    ASSERT_TRUE(s.setFile(src.files[0].c_str()));
    EXPECT_EQ(tagOf(r, 0x0020, 0x000D), tagOf(s, 0x0020, 0x000D));  // same study
    EXPECT_NE(tagOf(r, 0x0020, 0x000E), tagOf(s, 0x0020, 0x000E));  // new series
  }
}

TEST(Convertor, BadRecordsWriteNothing) {
  const auto& src = series("ct_s16");
  std::vector<uint16_t> px(64 * 48, 7);
  fs::create_directories(scratch() + "/fav_bad");
  std::string out = scratch() + "/fav_bad/x.dcm";
  auto base = record(out, src.files[0], px.data());
  std::vector<std::pair<const char*, dcmConvertor::PIXEL_Mem_ConvertorData>> bad;
  auto r1 = base; r1.rows = 0; bad.push_back({"rows 0", r1});
  auto r2 = base; r2.cols = 70000; bad.push_back({"cols too large", r2});
  auto r3 = base; r3.pixels = nullptr; bad.push_back({"no pixels", r3});
  auto r4 = base; std::memset(r4.outPath, 'a', sizeof r4.outPath); bad.push_back({"unterminated path", r4});
  auto r5 = base; std::strcpy(r5.srcPath, "/nonexistent.dcm"); bad.push_back({"missing source", r5});
  auto r6 = base; std::strcpy(r6.uid1, "1..2"); bad.push_back({"bad uid", r6});
  auto r7 = base; std::strcpy(r7.outPath, "/nonexistent-dir/x.dcm"); bad.push_back({"no folder", r7});
  for (auto& [what, rec] : bad) EXPECT_FALSE(dcmConvertor().convert(rec)) << what;
  EXPECT_TRUE(fs::is_empty(scratch() + "/fav_bad"));
}

// ---- log -----------------------------------------------------------------------

std::mutex g_logMutex;
std::vector<std::string> g_log;
void recordLog(const char* text) {
  std::lock_guard<std::mutex> lock(g_logMutex);
  g_log.push_back(text);
}

TEST(Log, FailuresAreLoggedWithTheirReason) {
  dcmSDK::setLogCallback(recordLog);
  auto broken = dcmfixtures::writeBroken(scratch() + "/log_broken");
  for (const auto& b : broken) {
    if (b.path.find("mpeg4") == std::string::npos) continue;
    dcmReader r;
    ASSERT_TRUE(r.setFile(b.path.c_str()));
    dcmReader::PixelType t;
    int64_t n;
    EXPECT_EQ(r.readDicomPixelPointer(t, n), nullptr);
  }
  dcmReader r;
  EXPECT_FALSE(r.setFile((scratch() + "/log_broken/text.txt").c_str()));
  EXPECT_FALSE(r.setFile((scratch() + "/log_broken/truncated_half.dcm").c_str()));
  dcmSDK::setLogCallback(nullptr);
  std::lock_guard<std::mutex> lock(g_logMutex);
  bool decodeLine = false, notDicom = false, truncated = false, toolkit = false;
  for (const auto& l : g_log) {
    EXPECT_EQ(l.rfind("dcmsdk: ", 0), 0u) << l;
    decodeLine = decodeLine || l.find("cannot be decoded") != std::string::npos;
    notDicom = notDicom || l.find("not a DICOM file") != std::string::npos;
    truncated = truncated || l.find("truncated") != std::string::npos;
    // The toolkit's own parse errors arrive through the same sink.
    toolkit = toolkit || l.rfind("dcmsdk: error: ", 0) == 0;
  }
  EXPECT_TRUE(decodeLine);
  EXPECT_TRUE(notDicom);
  EXPECT_TRUE(truncated);
  EXPECT_TRUE(toolkit);
}

}  // namespace
