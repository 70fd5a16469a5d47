// Region statistics and the pixel probe: pixel sets and values against
// brute-force loops over pixel centres, the answer texts of the 9095
// request on a displayed slice, and the requests that get no answer.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "imaging/view/isActorImage.h"
#include "imaging/view/isROIData.h"
#include "test_window.h"
#include "view_support.h"

using cocos2d::Size;
using cocos2d::Vec2;
using cocos2d::Vec3;
using isImageSDK::isActorImage;
using namespace viewtest;

namespace {

struct Brute {
  int64_t n = 0;
  double sum = 0, sq = 0;
  float min = 0, max = 0;
  template <class T>
  void add(T v) {
    const float f = static_cast<float>(v);
    if (n == 0) min = max = f;
    min = std::min(min, f);
    max = std::max(max, f);
    sum += f;
    ++n;
  }
  double mean() const { return n ? sum / n : 0; }
};

template <class T>
std::vector<T> ramp(int w, int h, double a, double b, double base) {
  std::vector<T> px(static_cast<size_t>(w) * h);
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c) px[static_cast<size_t>(r) * w + c] = static_cast<T>(base + a * c + b * r);
  return px;
}

template <class T>
void checkCircle(const std::vector<T>& px, int w, int h, float sx, float sy, float cx, float cy, float rho) {
  Brute b;
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c) {
      const double dx = c * sx - cx, dy = r * sy - cy;
      if (dx * dx + dy * dy <= static_cast<double>(rho) * rho) b.add(px[static_cast<size_t>(r) * w + c]);
    }
  double sq = 0;
  for (int r = 0; r < h; ++r)
    for (int c = 0; c < w; ++c) {
      const double dx = c * sx - cx, dy = r * sy - cy;
      if (dx * dx + dy * dy <= static_cast<double>(rho) * rho) {
        const double d = px[static_cast<size_t>(r) * w + c] - b.mean();
        sq += d * d;
      }
    }
  const auto s = isActorImage::circleStatistics(px.data(), w, h, sx, sy, cx, cy, rho);
  ASSERT_EQ(s.count, b.n);
  EXPECT_FLOAT_EQ(s.min, b.min);
  EXPECT_FLOAT_EQ(s.max, b.max);
  EXPECT_NEAR(s.mean, b.mean(), 1e-3 * (1 + std::fabs(b.mean())));
  const double dev = b.n > 1 ? std::sqrt(sq / (b.n - 1)) : 0.0;
  EXPECT_NEAR(s.deviation, dev, 1e-3 * (1 + dev));
}

TEST(RegionStatistics, CircleMatchesBruteForceForEachElementType) {
  const int w = 64, h = 48;
  checkCircle(ramp<uint8_t>(w, h, 1, 2, 3), w, h, 0.5f, 0.5f, 16.0f, 12.0f, 10.0f);
  checkCircle(ramp<uint16_t>(w, h, 100, 7, 1000), w, h, 0.7f, 0.4f, 3.1f, 5.2f, 8.3f);
  checkCircle(ramp<int16_t>(w, h, -30, 11, 500), w, h, 1.0f, 2.0f, 60.0f, 20.0f, 25.0f);  // partly outside
  checkCircle(ramp<float>(w, h, 0.25, -1.5, 2e5), w, h, 0.5f, 0.5f, 0.3f, 0.2f, 4.0f);
  // The pixel count is πr²/(sx·sy) up to the boundary term.
  const auto px = ramp<uint8_t>(w, h, 0, 0, 1);
  const auto s = isActorImage::circleStatistics(px.data(), w, h, 0.5f, 0.5f, 16.0f, 12.0f, 10.0f);
  const double expected = M_PI * 100.0 / 0.25;
  EXPECT_LT(std::fabs(s.count - expected), 2 * M_PI * 10.0 / 0.5 + 4);
  // Centred on a pixel centre of a ramp: the mean is the ramp's value there.
  const auto rp = ramp<float>(w, h, 3, 5, 10);
  const auto centred = isActorImage::circleStatistics(rp.data(), w, h, 0.5f, 0.5f, 10.0f, 8.0f, 6.0f);
  EXPECT_NEAR(centred.mean, 10 + 3 * 20 + 5 * 16, 1e-3);
}

TEST(RegionStatistics, OnePixelNoPixelAndValuesAbove1e5) {
  const int w = 8, h = 8;
  auto px = ramp<float>(w, h, 1, 10, 3e5);
  const auto one = isActorImage::circleStatistics(px.data(), w, h, 1.0f, 1.0f, 3.0f, 2.0f, 0.1f);
  EXPECT_EQ(one.count, 1);
  EXPECT_EQ(one.deviation, 0.0f);
  EXPECT_FLOAT_EQ(one.min, 3e5f + 23);
  EXPECT_FLOAT_EQ(one.max, one.min);
  EXPECT_FLOAT_EQ(one.sum, one.min);
  const auto none = isActorImage::circleStatistics(px.data(), w, h, 1.0f, 1.0f, 3.5f, 2.5f, 0.2f);
  EXPECT_EQ(none.count, 0);
  EXPECT_EQ(none.min, 0.0f);
  EXPECT_EQ(none.max, 0.0f);
  EXPECT_EQ(none.sum, 0.0f);
  EXPECT_EQ(none.mean, 0.0f);
  EXPECT_EQ(none.deviation, 0.0f);
  const auto all = isActorImage::circleStatistics(px.data(), w, h, 1.0f, 1.0f, 3.5f, 3.5f, 20.0f);
  EXPECT_FLOAT_EQ(all.min, 3e5f);  // not a seed of 100000
  auto neg = ramp<float>(w, h, -1, -10, -3e5);
  EXPECT_FLOAT_EQ(isActorImage::circleStatistics(neg.data(), w, h, 1, 1, 3.5f, 3.5f, 20.0f).max, -3e5f);
  // Boxes with fractional edges, at and beyond the slice border.
  for (float c : {0.6f, 2.4f, -0.6f, 7.4f, 7.6f}) {
    isActorImage::circleStatistics(px.data(), w, h, 1.0f, 1.0f, c, c, 0.9f);
    const Vec2 tri[] = {Vec2(c, c), Vec2(c + 1.8f, c), Vec2(c, c + 1.8f)};
    isActorImage::polygonStatistics(px.data(), w, h, tri, 3);
  }
}

TEST(RegionStatistics, RowSpansSelectThePerPixelSetOnRandomPolygons) {
  std::mt19937 rng(1234);
  std::uniform_real_distribution<float> u(-3.0f, 35.0f);
  const int w = 32, h = 32;
  std::vector<int32_t> id(static_cast<size_t>(w) * h);
  for (size_t i = 0; i < id.size(); ++i) id[i] = static_cast<int32_t>(i);
  std::vector<float> px(id.begin(), id.end());
  for (int trial = 0; trial < 200; ++trial) {
    const int n = 3 + trial % 9;
    std::vector<Vec2> p;
    for (int i = 0; i < n; ++i) {
      // Some vertices on pixel centres, to exercise the half-open rule.
      if (trial % 3 == 0) p.emplace_back(std::round(u(rng)), std::round(u(rng)));
      else p.emplace_back(u(rng), u(rng));
    }
    Brute b;
    for (int r = 0; r < h; ++r)
      for (int c = 0; c < w; ++c)
        if (isActorImage::pointInPolygon(p.data(), n, static_cast<float>(c), static_cast<float>(r)))
          b.add(px[static_cast<size_t>(r) * w + c]);
    const auto s = isActorImage::polygonStatistics(px.data(), w, h, p.data(), n);
    ASSERT_EQ(s.count, b.n) << "trial " << trial;
    // Sum of the pixel indices: the same set, not just the same size.
    EXPECT_DOUBLE_EQ(static_cast<double>(s.sum), static_cast<double>(static_cast<float>(b.sum))) << trial;
  }
}

TEST(RegionStatistics, PolygonAreaAndEdgeRule) {
  const Vec2 square[] = {Vec2(0, 0), Vec2(4, 0), Vec2(4, 3), Vec2(0, 3)};
  EXPECT_FLOAT_EQ(isActorImage::polygonArea(square, 4), 12.0f);
  // Half-open: the bottom edge y = 0 is in, the top y = 3 is out; the left
  // x = 0 in, the right x = 4 out.
  EXPECT_TRUE(isActorImage::pointInPolygon(square, 4, 0, 0));
  EXPECT_FALSE(isActorImage::pointInPolygon(square, 4, 0, 3));
  EXPECT_FALSE(isActorImage::pointInPolygon(square, 4, 4, 1));
}

// ------------------------------------------------------------ requests

class RegionRequestTest : public ::testing::Test {
 protected:
  HeadlessEngine engine;
  Recorder rec;
  TestWindow* w = nullptr;
  isActorImage* actor = nullptr;
  isImageSDK::isImageData* image = nullptr;

  // One slice whose rows run along the display x and columns along the
  // display y, first pixel at `origin` (display frame; head-first supine
  // maps patient (x, y, z) to display (x, z, −y)).
  void show(int type, int cols, int rows, float sx, float sy, Vec3 origin) {
    const double row[3] = {1, 0, 0}, col[3] = {0, 0, 1}, pos[3] = {origin.x, -origin.z, origin.y};
    const cocos2d::Mat4 m = isImageSDK::makeSliceMatrix(row, col, pos, 0, 0);
    image = isImageSDK::isImageData::create();
    const int32_t dims[3] = {cols, rows, 1};
    const float spacing[3] = {sx, sy, 1.0f};
    ASSERT_TRUE(image->buildVolume(dims, spacing, type, 0, 0, m));
    image->setIdentifier("region");
    w = TestWindow::create(Size(300, 300));
    engine.scene->addChild(w);
    actor = w->show(image);
    ASSERT_NE(actor->getOutputSlice(), nullptr);
    rec.listen({NOTIFY_ROI_INFO}, w);
  }
  void TearDown() override {
    if (image) image->release();
  }
  template <class T>
  T* pixels() {
    return static_cast<T*>(actor->getOutputSlice()->pixels);
  }
  // Posts a request and returns the answers (sender the image actor).
  std::vector<Received> ask(isImageSDK::ROIData* record) {
    auto* data = new NSUI::NSNotificationData();
    data->setObject(record);
    data->intValue = 5;
    data->indexValue = 321;
    NSUI::NSNotificationCenter::getInstance()->postNotification(record, NOTIFY_ROI_INFO, data, w, false);
    data->release();
    rec.got.clear();
    stepFrames(3);
    std::vector<Received> out;
    for (auto& r : rec.got)
      if (r.sender == actor) out.push_back(r);
    return out;
  }
};

TEST_F(RegionRequestTest, PointAnswerAndProbeBounds) {
  show(isImageSDK::ELEMENT_UINT8, 40, 40, 0.5f, 0.5f, Vec3(0, -10, 40));
  pixels<uint8_t>()[14 * 40 + 25] = 200;  // local (12.5, 7)
  auto* point = isImageSDK::ROIPoint::create();
  point->retain();  // the frames drain the autorelease pool
  point->setPoint(0, Vec3(12.5f, -3, 40));
  auto answers = ask(point);
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].text, "Value:200\nx=12.5,y=-3,z=40");
  EXPECT_EQ(answers[0].intValue, 5);
  EXPECT_EQ(answers[0].indexValue, 321);
  struct Case {
    float dc, dr;  // pixel offsets from the centre of (25, 14)
    bool reads;
  } cases[] = {{0.49f, 0.49f, true}, {-0.49f, -0.49f, true}, {0.0f, 0.0f, true}};
  for (const auto& c : cases) {
    float v = 0;
    EXPECT_EQ(actor->getPixelValue(Vec3(12.5f + c.dc * 0.5f, -3 + c.dr * 0.5f, 40), &v), c.reads);
    EXPECT_EQ(v, 200.0f);
  }
  float v = 0;
  EXPECT_FALSE(actor->getPixelValue(Vec3(-0.6f * 0.5f, -10, 40), &v));   // −0.6 pixel before column 0
  EXPECT_FALSE(actor->getPixelValue(Vec3(0, -10 - 0.6f * 0.5f, 40), &v));
  EXPECT_TRUE(actor->getPixelValue(Vec3(-0.4f * 0.5f, -10, 40), &v));
  point->setPoint(0, Vec3(-1, -10, 40));
  answers = ask(point);
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].text, "Unknown");
  point->release();
}

TEST_F(RegionRequestTest, CircleAndTriangleAnswers) {
  show(isImageSDK::ELEMENT_INT16, 80, 80, 0.5f, 0.5f, Vec3(0, 0, 0));
  int16_t* px = pixels<int16_t>();
  for (int i = 0; i < 80 * 80; ++i) px[i] = 7;
  auto* circle = isImageSDK::ROICircle::create();
  circle->setPoint(0, Vec3(20, 20, 0));
  circle->setPoint(1, Vec3(30, 20, 0));
  auto answers = ask(circle);
  ASSERT_EQ(answers.size(), 1u);
  const auto s = isActorImage::circleStatistics(px, 80, 80, 0.5f, 0.5f, 20, 20, 10);
  const std::string total = NSUI::formatFloat(7.0f * s.count, 2);
  EXPECT_EQ(answers[0].text, "Area:3.14,W:2 H:2 Unit:cm\nAvg:7,StdDev:0,Total:" + total + "\nMin:7,Max:7");
  auto* triangle = isImageSDK::ROIPolygon::create();
  triangle->vertices = {Vec3(0, 0, 0), Vec3(10, 0, 0), Vec3(0, 10, 0)};
  answers = ask(triangle);
  ASSERT_EQ(answers.size(), 1u);
  EXPECT_EQ(answers[0].text.substr(0, 25), "Area:0.5,W:1 H:1 Unit:cm\n");
}

TEST_F(RegionRequestTest, PolygonOnAnisotropicPixelsTestsPixelCentres) {
  show(isImageSDK::ELEMENT_UINT16, 60, 20, 0.5f, 2.0f, Vec3(0, 0, 0));
  uint16_t* px = pixels<uint16_t>();
  for (int i = 0; i < 60 * 20; ++i) px[i] = static_cast<uint16_t>(i);
  auto* poly = isImageSDK::ROIPolygon::create();
  poly->vertices = {Vec3(1.2f, 1.1f, 0), Vec3(20.3f, 3.0f, 0), Vec3(14.0f, 30.7f, 0), Vec3(2.1f, 22.0f, 0)};
  // Brute force over pixel centres (c·sx, r·sy) in millimetres.
  std::vector<Vec2> mm;
  for (auto& v : poly->vertices) mm.emplace_back(v.x, v.y);
  Brute b;
  for (int r = 0; r < 20; ++r)
    for (int c = 0; c < 60; ++c)
      if (isActorImage::pointInPolygon(mm.data(), 4, c * 0.5f, r * 2.0f)) b.add(px[r * 60 + c]);
  auto answers = ask(poly);
  ASSERT_EQ(answers.size(), 1u);
  const float area = isActorImage::polygonArea(mm.data(), 4);
  const std::string expected = "Area:" + NSUI::formatFloat(area * 0.01f, 2) + ",W:" + NSUI::formatFloat(1.91f, 2) +
                               " H:" + NSUI::formatFloat(2.96f, 2) + " Unit:cm\nAvg:" +
                               NSUI::formatFloat(static_cast<float>(b.mean()), 2);
  EXPECT_EQ(answers[0].text.substr(0, expected.size()), expected);
  EXPECT_NE(answers[0].text.find("Total:" + NSUI::formatFloat(static_cast<float>(b.sum), 2)), std::string::npos)
      << answers[0].text << " n=" << b.n;
}

TEST_F(RegionRequestTest, LineAngleRgbAndEmptyPayloadGetNoAnswer) {
  show(isImageSDK::ELEMENT_UINT8, 20, 20, 1, 1, Vec3(0, 0, 0));
  EXPECT_TRUE(ask(isImageSDK::ROILine::create()).empty());
  EXPECT_TRUE(ask(isImageSDK::ROIAngle::create()).empty());
  NSUI::NSNotificationCenter::getInstance()->postNotification(w, NOTIFY_ROI_INFO, nullptr, w, false);
  stepFrames(2);
  for (auto& r : rec.got) EXPECT_NE(r.sender, actor);
  actor->getOutputSlice()->elementType = isImageSDK::ELEMENT_RGB;
  EXPECT_TRUE(ask(isImageSDK::ROIPoint::create()).empty());
}

}  // namespace
