// Shader image node without a GL context: its texels, its program uniforms,
// the CPU path it starts on when the program is switched off, and the image
// actor's choice of node.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/renderer/TextureUploads.h"
#include "imaging/view/isActorImage.h"
#include "imaging/view/isNodeImageByShader.h"
#include "view_support.h"

using isImageSDK::isClut;
using isImageSDK::isNodeImageByShader;
using isImageSDK::SliceRecord;
using namespace viewtest;

namespace {

int texel(const std::vector<uint8_t>& t, int i) { return t[2 * i] | (t[2 * i + 1] << 8); }

SliceRecord recordOf(void* pixels, int w, int h, int type, int frames = 1) {
  SliceRecord r;
  r.pixels = pixels;
  r.width = w;
  r.height = h;
  r.elementType = type;
  r.frameCount = static_cast<int16_t>(frames);
  r.pixelsLoaded = true;
  return r;
}

struct RecordGuard {
  SliceRecord& r;
  ~RecordGuard() { r.pixels = nullptr; }  // the test owns the samples
};

TEST(ShaderNodeTexels, EachElementTypeAsSixteenBitsLowByteFirst) {
  std::vector<uint8_t> t;
  float scale = -7.0f, offset = -7.0f;

  uint8_t u8[3] = {0, 200, 255};
  SliceRecord a = recordOf(u8, 3, 1, isImageSDK::ELEMENT_UINT8);
  RecordGuard ga{a};
  ASSERT_TRUE(isNodeImageByShader::fillSliceTexels(a, 0, t, &scale, &offset));
  EXPECT_EQ(t, (std::vector<uint8_t>{0, 0, 200, 0, 255, 0}));
  EXPECT_EQ(scale, 1.0f);
  EXPECT_EQ(offset, 0.0f);

  // Signed values shifted by 32768: -1024 is 31744 (0x7C00).
  int16_t s16[4] = {-32768, -1024, 0, 32767};
  SliceRecord b = recordOf(s16, 2, 2, isImageSDK::ELEMENT_INT16);
  RecordGuard gb{b};
  scale = offset = -7.0f;
  ASSERT_TRUE(isNodeImageByShader::fillSliceTexels(b, 0, t, &scale, &offset));
  EXPECT_EQ(texel(t, 0), 0);
  EXPECT_EQ(texel(t, 1), 31744);
  EXPECT_EQ(t[2], 0x00);
  EXPECT_EQ(t[3], 0x7C);
  EXPECT_EQ(texel(t, 2), 32768);
  EXPECT_EQ(texel(t, 3), 65535);
  EXPECT_EQ(scale, -7.0f);  // integer types other than 8-bit leave the scaling alone

  uint16_t u16[2] = {0xABCD, 7};
  SliceRecord c = recordOf(u16, 2, 1, isImageSDK::ELEMENT_UINT16);
  RecordGuard gc{c};
  ASSERT_TRUE(isNodeImageByShader::fillSliceTexels(c, 0, t, nullptr, nullptr));
  EXPECT_EQ(t, (std::vector<uint8_t>{0xCD, 0xAB, 7, 0}));

  // RGB: three bytes per pixel, frame 1 from byte 3 × n.
  uint8_t rgb[2 * 2 * 3];
  for (int i = 0; i < 12; ++i) rgb[i] = static_cast<uint8_t>(10 + i);
  SliceRecord d = recordOf(rgb, 2, 1, isImageSDK::ELEMENT_RGB, 2);
  RecordGuard gd{d};
  ASSERT_TRUE(isNodeImageByShader::fillSliceTexels(d, 1, t, nullptr, nullptr));
  EXPECT_EQ(t, (std::vector<uint8_t>{16, 17, 18, 19, 20, 21}));

  // Frame 1 of a two-frame 16-bit record, and zeros while pixels are not ready.
  int16_t frames[4] = {1, 2, 3, 4};
  SliceRecord e = recordOf(frames, 2, 1, isImageSDK::ELEMENT_INT16, 2);
  RecordGuard ge{e};
  ASSERT_TRUE(isNodeImageByShader::fillSliceTexels(e, 1, t, nullptr, nullptr));
  EXPECT_EQ(texel(t, 0), 32771);
  EXPECT_EQ(texel(t, 1), 32772);
  e.pixelsLoaded = false;
  ASSERT_TRUE(isNodeImageByShader::fillSliceTexels(e, 0, t, nullptr, nullptr));
  EXPECT_EQ(t, (std::vector<uint8_t>(4, 0)));

  // No texture for an empty record or a type the program does not know.
  SliceRecord empty = recordOf(u8, 0, 1, isImageSDK::ELEMENT_UINT8);
  RecordGuard gEmpty{empty};
  EXPECT_FALSE(isNodeImageByShader::fillSliceTexels(empty, 0, t, nullptr, nullptr));
  SliceRecord odd = recordOf(u8, 1, 1, 5);
  RecordGuard gOdd{odd};
  EXPECT_FALSE(isNodeImageByShader::fillSliceTexels(odd, 0, t, nullptr, nullptr));
}

TEST(ShaderNodeTexels, FloatFramesScaleTheirOwnRange) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    std::vector<float> values;
    float scale, offset;
    std::vector<int> texels;
  };
  const Case cases[] = {
      {{-1.0f, 1.0f, 3.0f}, 16383.75f, 16383.75f, {0, 32767, 65535}},
      // A constant frame spans value .. value + 1.
      {{5.0f, 5.0f}, 65535.0f, -327675.0f, {0, 0}},
      // Values beyond ±1e8 still get their own range.
      {{2e8f, 2.5e8f, 3e8f}, static_cast<float>(65535.0 / 1e8), static_cast<float>(-2e8 * 65535.0 / 1e8), {0, 32767, 65535}},
      {{-3e8f, -2e8f}, static_cast<float>(65535.0 / 1e8), static_cast<float>(3e8 * 65535.0 / 1e8), {0, 65535}},
      // NaN and infinities take no part in the range; NaN gives texel 0,
      // infinities the ends.
      {{nan, 10.0f, inf, 20.0f, -inf}, 6553.5f, -65535.0f, {0, 0, 65535, 65535, 0}},
  };
  for (const Case& c : cases) {
    std::vector<float> v = c.values;
    SliceRecord r = recordOf(v.data(), static_cast<int>(v.size()), 1, isImageSDK::ELEMENT_FLOAT);
    RecordGuard g{r};
    std::vector<uint8_t> t;
    float scale = 0.0f, offset = 0.0f;
    ASSERT_TRUE(isNodeImageByShader::fillSliceTexels(r, 0, t, &scale, &offset));
    EXPECT_FLOAT_EQ(scale, c.scale) << c.values[1];
    EXPECT_FLOAT_EQ(offset, c.offset) << c.values[1];
    for (size_t i = 0; i < c.texels.size(); ++i) EXPECT_NEAR(texel(t, static_cast<int>(i)), c.texels[i], 1) << c.values[1] << " #" << i;
  }
}

TEST(ShaderNodeUniforms, WindowsInTexelUnits) {
  isClut* clut = isClut::create();
  struct Case {
    int type;
    float width, centre;
    int curve;
    float scale, offset;  // float frames
    float wwMin, wwMax, wwLinear, wwLogRatio;
    int curveOut, pixelType;
  };
  const Case cases[] = {
      {isImageSDK::ELEMENT_INT16, 400, 40, 0, 1, 0, 32608, 33008, 0.6375f, 0.0225f, 0, 1},
      // Odd widths: the lookup table's truncated edges, -160 and 240.
      {isImageSDK::ELEMENT_INT16, 401, 40, 1, 1, 0, 32608, 33008, 0.6375f, 0.0225f, 1, 1},
      {isImageSDK::ELEMENT_UINT8, 101, 50, 2, 1, 0, 0, 100, 2.55f, 0.09f, 2, 1},
      {isImageSDK::ELEMENT_UINT16, 1000, 500, 7, 1, 0, 0, 1000, 0.255f, 0.009f, 0, 1},
      // A window past the range keeps its edges.
      {isImageSDK::ELEMENT_UINT8, 600, 100, 0, 1, 0, -200, 400, 0.425f, 0.015f, 0, 1},
      // Width 0 on integer data: one value step, as the lookup table.
      {isImageSDK::ELEMENT_UINT16, 0, 500, 0, 1, 0, 500, 501, 255.0f, 9.0f, 0, 1},
      {isImageSDK::ELEMENT_RGB, 256, 128, 0, 1, 0, 0, 256, 255.0f / 256, 9.0f / 256, 0, 2},
      // Float frame -1 .. 3: centre 1, width 2 → 16383.75 .. 49151.25.
      {isImageSDK::ELEMENT_FLOAT, 2, 1, 0, 16383.75f, 16383.75f, 16383.75f, 49151.25f,
       static_cast<float>(255.0 / 32767.5), static_cast<float>(9.0 / 32767.5), 0, 1},
      // Width 0 on float data: a step at the centre, every uniform finite.
      {isImageSDK::ELEMENT_FLOAT, 0, 1, 0, 16383.75f, 16383.75f, 32767.5f, 32767.5f, 0, 0, 0, 1},
  };
  for (const Case& c : cases) {
    clut->setValueType(c.type);
    clut->setWindow(c.width, c.centre);
    clut->curveMode = c.curve;
    const auto u = isNodeImageByShader::computeUniforms(*clut, c.type, c.scale, c.offset);
    const std::string label = std::to_string(c.type) + " " + std::to_string(c.width) + "/" + std::to_string(c.centre);
    EXPECT_FLOAT_EQ(u.wwMin, c.wwMin) << label;
    EXPECT_FLOAT_EQ(u.wwMax, c.wwMax) << label;
    EXPECT_FLOAT_EQ(u.wwLinear, c.wwLinear) << label;
    EXPECT_FLOAT_EQ(u.wwLogRatio, c.wwLogRatio) << label;
    EXPECT_EQ(u.curve, c.curveOut) << label;
    EXPECT_EQ(u.pixelType, c.pixelType) << label;
    for (float f : {u.wwMin, u.wwMax, u.wwLinear, u.wwLogRatio}) EXPECT_TRUE(std::isfinite(f)) << label;
  }
}

class ShaderNodeHeadless : public ::testing::Test {
 protected:
  HeadlessEngine engine;
  void TearDown() override { isNodeImageByShader::shaderProgramEnabled = 1; }
};

TEST_F(ShaderNodeHeadless, WithoutGlTheActorTakesTheCpuNode) {
  EXPECT_FALSE(isNodeImageByShader::canCreateProgram());
  EXPECT_EQ(isNodeImageByShader::create(), nullptr);
  auto* actor = isImageSDK::isActorImage::create();
  ASSERT_NE(actor, nullptr);
  ASSERT_NE(actor->getImageNode(), nullptr);
  EXPECT_EQ(dynamic_cast<isNodeImageByShader*>(actor->getImageNode()), nullptr);
  actor->clear();
}

TEST_F(ShaderNodeHeadless, SwitchedOffNodeMapsOnTheCpu) {
  isNodeImageByShader::shaderProgramEnabled = 0;
  isNodeImageByShader* node = isNodeImageByShader::create();
  ASSERT_NE(node, nullptr);
  EXPECT_TRUE(node->isOnCpuPath());
  EXPECT_EQ(node->getColorTexture(), 0u);
  node->setClut(isClut::create());
  int16_t values[4] = {-160, 40, 240, 1000};
  SliceRecord r = recordOf(values, 2, 2, isImageSDK::ELEMENT_INT16);
  RecordGuard g{r};
  node->getClut()->setValueType(isImageSDK::ELEMENT_INT16);
  node->getClut()->setWindow(400, 40);
  node->setSliceRecord(&r);
  ASSERT_NE(node->getTexture(), nullptr);
  EXPECT_EQ(node->getTexture()->getPixelFormat(), cocos2d::Texture2D::PixelFormat::RGB888);
  EXPECT_EQ(node->getTexture()->getCpuPixels()[3], 127);

  // A window change rebuilds the CPU texture at the next visit.
  node->getClut()->setWindow(200, 40);
  node->markWindowDirty();
  BaseWindow* window = BaseWindow::create(cocos2d::Size(32, 32));
  engine.scene->addChild(window);
  window->addSceneNode(node);
  const unsigned long uploads = cocos2d::textureUploadCount();
  stepFrames(1);
  EXPECT_GT(cocos2d::textureUploadCount(), uploads);
  EXPECT_EQ(node->getTexture()->getCpuPixels()[3], 127);
  EXPECT_EQ(node->getTexture()->getCpuPixels()[0], 0);  // -160 now below the window
  EXPECT_EQ(node->getTexture()->getCpuPixels()[6], 255);
}

}  // namespace
