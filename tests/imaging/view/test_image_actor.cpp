// Image actor on the CT phantom: planes, slices, posts, window steps and the
// mapped texture, headless.
#include <gtest/gtest.h>

#include <cmath>

#include "imaging/view/isActorImage.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "view_support.h"

using isImageSDK::isActorImage;
using isImageSDK::isImageData;
using namespace viewtest;

namespace {

const std::vector<int> kActorIds = {NOTIFY_OVERLAY_WINDOW, NOTIFY_OVERLAY_SLICE_INDEX, NOTIFY_OVERLAY_SLICE_POSITION,
                                    NOTIFY_OVERLAY_SLAB_THICKNESS, NOTIFY_SLICE_CHANGED, NOTIFY_ORIENTATION_CHANGED};

class ImageActorTest : public ::testing::Test {
 protected:
  HeadlessEngine engine;
  BaseWindow* window = nullptr;
  isActorImage* actor = nullptr;
  isImageData* image = nullptr;
  Recorder rec;

  void SetUp() override {
    window = BaseWindow::create(cocos2d::Size(256, 256));
    engine.scene->addChild(window);
    actor = isActorImage::create();
    actor->retain();
    actor->attach(window);
    image = makePhantomImage(256, 256, 200, 0.7f, 0.7f, 1.25f);
    rec.listen(kActorIds, window);
  }
  void TearDown() override {
    actor->release();
    image->release();
  }
  // Drains what is pending (serial posts need one frame each).
  void drain() { stepFrames(12); }
};

TEST_F(ImageActorTest, NewDataShowsTheMiddleSliceAndSaysSo) {
  actor->setImageData(image);
  drain();
  auto orient = rec.of(NOTIFY_ORIENTATION_CHANGED);
  ASSERT_FALSE(orient.empty());
  EXPECT_EQ(rec.json(orient.back(), "orient"), "1");
  auto index = rec.of(NOTIFY_OVERLAY_SLICE_INDEX);
  ASSERT_EQ(index.size(), 1u);  // pending copies withdrawn
  EXPECT_EQ(rec.json(index[0], "index"), "101");
  EXPECT_EQ(rec.json(index[0], "count"), "200");
  EXPECT_EQ(index[0].sender, actor);
  auto changed = rec.of(NOTIFY_SLICE_CHANGED);
  ASSERT_EQ(changed.size(), 1u);
  EXPECT_EQ(rec.json(changed[0], "index"), "101");
  // Slice 100 lies at patient z = -125 + 100 × 1.25 = 0: inferior 0.
  auto position = rec.of(NOTIFY_OVERLAY_SLICE_POSITION);
  ASSERT_FALSE(position.empty());
  EXPECT_EQ(position.back().text, "I:0.0mm");
  EXPECT_FLOAT_EQ(actor->getSlabThickness(), 1.25f);
  auto window9072 = rec.of(NOTIFY_OVERLAY_WINDOW);
  ASSERT_FALSE(window9072.empty());
  EXPECT_EQ(rec.json(window9072.back(), "ww"), "400");
  EXPECT_EQ(rec.json(window9072.back(), "wl"), "40");

  rec.got.clear();
  actor->setSliceIndex(120);
  actor->setSliceIndex(10);
  drain();
  EXPECT_EQ(rec.of(NOTIFY_OVERLAY_SLICE_POSITION).front().text, "S:25.0mm");
  EXPECT_EQ(rec.of(NOTIFY_OVERLAY_SLICE_POSITION).back().text, "I:112.5mm");
  ASSERT_EQ(rec.of(NOTIFY_OVERLAY_SLICE_INDEX).size(), 1u);
  EXPECT_EQ(rec.json(rec.of(NOTIFY_OVERLAY_SLICE_INDEX)[0], "index"), "11");
}

TEST_F(ImageActorTest, SagittalAndCoronalPlanesCountAndThickness) {
  actor->setImageData(image);
  drain();
  struct Case {
    int orientation;
    const char* orient;
    const char* index;
    const char* count;
    float thickness;
    const char* position;
  };
  const Case cases[] = {
      {1, "2", "129", "256", 0.7f, "R:0.7mm"},
      {2, "3", "129", "256", 0.7f, "A:0.0mm"},
      {0, "1", "101", "200", 1.25f, "I:0.0mm"},
  };
  for (const auto& c : cases) {
    rec.got.clear();
    if (c.orientation == 1)
      actor->showSagittalPlane();
    else if (c.orientation == 2)
      actor->showCoronalPlane();
    else
      actor->showOriginalPlane();
    drain();
    ASSERT_FALSE(rec.of(NOTIFY_ORIENTATION_CHANGED).empty()) << c.orient;
    EXPECT_EQ(rec.json(rec.of(NOTIFY_ORIENTATION_CHANGED).back(), "orient"), c.orient);
    ASSERT_EQ(rec.of(NOTIFY_OVERLAY_SLICE_INDEX).size(), 1u) << c.orient;
    EXPECT_EQ(rec.json(rec.of(NOTIFY_OVERLAY_SLICE_INDEX)[0], "index"), c.index);
    EXPECT_EQ(rec.json(rec.of(NOTIFY_OVERLAY_SLICE_INDEX)[0], "count"), c.count);
    EXPECT_FLOAT_EQ(actor->getSlabThickness(), c.thickness);
    EXPECT_FLOAT_EQ(rec.of(NOTIFY_OVERLAY_SLAB_THICKNESS).back().floatValue, c.thickness);
    EXPECT_EQ(rec.of(NOTIFY_OVERLAY_SLICE_POSITION).back().text, c.position) << c.orient;
  }
  // The same plane again: only the acquired one resets its thickness.
  actor->showSagittalPlane();
  drain();
  rec.got.clear();
  actor->setSlabThickness(20.0f);
  actor->showSagittalPlane();
  drain();
  EXPECT_TRUE(rec.of(NOTIFY_ORIENTATION_CHANGED).empty());
  EXPECT_FLOAT_EQ(actor->getSlabThickness(), 20.0f);
  EXPECT_EQ(actor->getPlane()->slabSampleCount, 2 * int(20.0f / (2 * 0.7f)) + 1);
}

TEST_F(ImageActorTest, ObliqueModeAndInvalidSlices) {
  actor->setImageData(image);
  drain();
  rec.got.clear();
  actor->setSliceIndex(-1);
  drain();
  EXPECT_FALSE(actor->isVisible());
  EXPECT_FALSE(actor->getImageNode()->isVisible());
  EXPECT_TRUE(rec.got.empty());
  EXPECT_FALSE(actor->hasValidSlice());

  cocos2d::Mat4 m;
  cocos2d::Mat4::createRotationZ(0.3f, &m);
  m.m[12] = 0.0f, m.m[13] = 0.0f, m.m[14] = 0.0f;
  actor->setResliceMatrix(m);
  drain();
  EXPECT_TRUE(actor->isVisible());
  EXPECT_FALSE(actor->isPlaneMode());
  EXPECT_TRUE(actor->hasValidSlice());
  auto index = rec.of(NOTIFY_OVERLAY_SLICE_INDEX);
  ASSERT_EQ(index.size(), 1u);
  EXPECT_EQ(rec.json(index[0], "index"), "-1");
  EXPECT_EQ(rec.json(index[0], "count"), "0");
  isImageSDK::SliceRecord* out = actor->getOutputSlice();
  ASSERT_NE(out, nullptr);
  EXPECT_GT(out->width, 0);
  // Slice selection does nothing while oblique; a plane switch leaves it.
  rec.got.clear();
  actor->setSliceIndex(50);
  drain();
  EXPECT_TRUE(rec.got.empty());
  actor->showCoronalPlane();
  EXPECT_TRUE(actor->isPlaneMode());
}

TEST_F(ImageActorTest, AdjustWindowStepsByTypeAndThePetRule) {
  struct Case {
    int elementType;
    int modality;
    float width, centre;
    float dWidth, dCentre;
    float expectWidth, expectCentre;
  };
  const Case cases[] = {
      {isImageSDK::ELEMENT_INT16, isImageSDK::MODALITY_CT, 400, 40, 1, -2, 410, 20},
      {isImageSDK::ELEMENT_INT16, isImageSDK::MODALITY_CT, 10, 40, -5, 0, 2, 40},
      {isImageSDK::ELEMENT_UINT16, isImageSDK::MODALITY_MR, 400, 200, 1, 1, 410, 210},
      {isImageSDK::ELEMENT_UINT8, isImageSDK::MODALITY_OTHER, 100, 50, 3, -4, 103, 46},
      {isImageSDK::ELEMENT_FLOAT, isImageSDK::MODALITY_MR, 1000, 500, 1, -1, 1200, 300},
      {isImageSDK::ELEMENT_INT16, isImageSDK::MODALITY_PT, 200, 100, 5, 1, 220, 110},
      {isImageSDK::ELEMENT_INT16, isImageSDK::MODALITY_PT, 200, 100, 5, -20, 4, 2},
  };
  for (const auto& c : cases) {
    auto* data = isImageData::create();
    const int32_t dims[3] = {4, 4, 3};
    const float spacing[3] = {1, 1, 1};
    ASSERT_TRUE(data->buildVolume(dims, spacing, c.elementType, 0, 0, cocos2d::Mat4()));
    std::memset(data->volumeBuffer, 0, 4 * 4 * 3 * isImageSDK::bytesPerSample(c.elementType));
    for (auto* s : data->slices) {
      s->modality = c.modality;
      s->windowWidth = c.width;
      s->windowCenter = c.centre;
    }
    actor->setImageData(data);
    actor->adjustWindow(c.dWidth, c.dCentre);
    EXPECT_FLOAT_EQ(actor->getClut()->windowWidth, c.expectWidth) << c.elementType << " " << c.modality;
    EXPECT_FLOAT_EQ(actor->getClut()->windowCentre, c.expectCentre) << c.elementType << " " << c.modality;
    data->release();
  }
}

TEST_F(ImageActorTest, CpuTextureEqualsAnIndependentMappingOfTheSlice) {
  actor->setImageData(image);
  actor->setWindow(400.0f, 40.0f);
  stepFrames(2);
  auto* texture = actor->getImageNode()->getTexture();
  ASSERT_NE(texture, nullptr);
  ASSERT_EQ(texture->getPixelsWide(), 256);
  ASSERT_EQ(texture->getPixelsHigh(), 256);
  const auto& pixels = texture->getCpuPixels();
  ASSERT_EQ(pixels.size(), 256u * 256u * 3u);
  const int16_t* slice = static_cast<const int16_t*>(image->volumeBuffer) + 100 * 256 * 256;
  int mismatches = 0;
  for (int i = 0; i < 256 * 256; ++i) {
    // Window 400/40: -160 → 0, 240 → 255, linear between.
    const double g = std::clamp((slice[i] + 160.0) * 255.0 / 400.0, 0.0, 255.0);
    const int grey = static_cast<int>(g);
    if (pixels[3 * i] != grey || pixels[3 * i + 1] != grey || pixels[3 * i + 2] != grey) ++mismatches;
  }
  EXPECT_EQ(mismatches, 0);
  // Scale is the pixel spacing; texel centres sit on pixel centres.
  auto* node = actor->getImageNode();
  EXPECT_FLOAT_EQ(node->getScaleX(), 0.7f);
  EXPECT_FLOAT_EQ(node->getScaleY(), 0.7f);
  const cocos2d::Mat4& t = node->getNodeToParentTransform();
  const isImageSDK::SliceRecord* r = actor->getOutputSliceInfo();
  ASSERT_NE(r, nullptr);
  for (auto [i, j] : {std::pair{0, 0}, std::pair{255, 0}, std::pair{17, 200}}) {
    const cocos2d::Vec3 texelCentre = t.transformPoint(cocos2d::Vec3(i + 0.5f, j + 0.5f, 0.0f));
    const cocos2d::Vec3 pixelCentre = r->matrix.transformPoint(cocos2d::Vec3(i * 0.7f, j * 0.7f, 0.0f));
    EXPECT_NEAR(texelCentre.distance(pixelCentre), 0.0f, 1e-3f) << i << "," << j;
  }

  // A window change maps again at the next frame.
  actor->setWindow(1500.0f, -600.0f);
  stepFrames(1);
  const auto& lung = actor->getImageNode()->getTexture()->getCpuPixels();
  const int centre = 128 * 256 + 128;  // water: (40 + 1350) / 1500 × 255
  EXPECT_EQ(lung[3 * centre], static_cast<int>((slice[centre] + 1350.0) * 255.0 / 1500.0));
}

TEST_F(ImageActorTest, ColourTableAndCurveReachTheTexture) {
  actor->setImageData(image);
  actor->setWindow(400.0f, 40.0f);
  uint8_t rgb[768];
  for (int i = 0; i < 256; ++i) {
    rgb[3 * i] = static_cast<uint8_t>(i);
    rgb[3 * i + 1] = static_cast<uint8_t>(255 - i);
    rgb[3 * i + 2] = 7;
  }
  actor->setColorTable(rgb);
  uint8_t back[768];
  actor->getClut()->getColorTableRGB(back);
  EXPECT_EQ(0, std::memcmp(rgb, back, sizeof rgb));
  actor->setClutMode(isImageSDK::CLUT_MODE_LOG);
  stepFrames(2);
  const auto& pixels = actor->getImageNode()->getTexture()->getCpuPixels();
  const int16_t* slice = static_cast<const int16_t*>(image->volumeBuffer) + 100 * 256 * 256;
  const int i = 128 * 256 + 128;
  const int n = 400;
  const float step = static_cast<float>(9.0 / n);
  const int grey = static_cast<int>(std::log10(static_cast<float>((slice[i] + 160) * step + 1.0)) * 255.0f);
  EXPECT_EQ(pixels[3 * i], grey);
  EXPECT_EQ(pixels[3 * i + 1], 255 - grey);
  EXPECT_EQ(pixels[3 * i + 2], 7);
}

TEST_F(ImageActorTest, ViewStateRepeatsThicknessPositionAndWindow) {
  actor->setImageData(image);
  actor->setWindow(401.7f, 40.9f);
  drain();
  rec.got.clear();
  actor->postViewState();
  drain();
  ASSERT_EQ(rec.of(NOTIFY_OVERLAY_SLAB_THICKNESS).size(), 1u);
  EXPECT_FLOAT_EQ(rec.of(NOTIFY_OVERLAY_SLAB_THICKNESS)[0].floatValue, 1.25f);
  ASSERT_EQ(rec.of(NOTIFY_OVERLAY_SLICE_POSITION).size(), 1u);
  EXPECT_EQ(rec.of(NOTIFY_OVERLAY_SLICE_POSITION)[0].text, "I:0.0mm");
  ASSERT_EQ(rec.of(NOTIFY_OVERLAY_WINDOW).size(), 1u);
  EXPECT_EQ(rec.json(rec.of(NOTIFY_OVERLAY_WINDOW)[0], "ww"), "401");
  EXPECT_EQ(rec.json(rec.of(NOTIFY_OVERLAY_WINDOW)[0], "wl"), "40");
  EXPECT_EQ(rec.of(NOTIFY_OVERLAY_WINDOW)[0].sender, actor);
}

TEST_F(ImageActorTest, WithoutDataEverythingIsANoOp) {
  actor->setSliceIndex(3);
  actor->showSagittalPlane();
  actor->adjustWindow(1, 1);
  actor->postViewState();
  actor->setFrameIndex(1);
  cocos2d::Vec3 c(1, 2, 3);
  actor->getSliceCenter(&c);
  EXPECT_EQ(c, cocos2d::Vec3::ZERO);
  EXPECT_EQ(actor->getOutputSlice(), nullptr);
  EXPECT_EQ(actor->getOutputSliceInfo(), nullptr);
  drain();
  EXPECT_TRUE(rec.got.empty());
}

}  // namespace
