// The slice program in a real window: two render windows side by side show
// the same ramp slice, the left one through the program, the right one
// mapped on the CPU, and every texel centre must agree within one grey level
// (each element type, windows inside and past the value range, the three
// curves, a colour table that is not grey). Also: a window drag uploads no
// texture, a window of width 0 is a step at its centre, a slow frame moves
// one node to the CPU for good with the image kept, and a screenshot of the
// CT phantom drawn by the program.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "engine/renderer/Texture2D.h"
#include "engine/renderer/TextureUploads.h"
#include "imaging/core/isGeometry.h"
#include "imaging/view/isNodeImageByShader.h"
#include "view_gl_support.h"

USING_NS_CC;
using isImageSDK::isNodeImageByShader;
using namespace viewtest;

namespace {

constexpr int kW = 440, kH = 140;
constexpr int kCols = 41, kRows = 25;  // odd: the slice centre is a texel centre
constexpr float kPixelsPerTexel = 5.0f;

// Red is the grey level, so that a colour read back names its level; green
// and blue make the table anything but grey.
void levelTable(uint8_t* rgb) {
  for (int g = 0; g < 256; ++g) {
    rgb[3 * g] = static_cast<uint8_t>(g);
    rgb[3 * g + 1] = static_cast<uint8_t>(255 - g);
    rgb[3 * g + 2] = static_cast<uint8_t>(64 + g / 2);
  }
}

// An image of three equal slices of kCols × kRows whose texel
// k = i + j × kCols holds value(k), written as the element type's samples.
isImageSDK::isImageData* rampImage(int type, const std::function<double(int)>& value) {
  auto* image = isImageSDK::isImageData::create();
  const double row[3] = {1, 0, 0}, col[3] = {0, 1, 0}, pos[3] = {0, 0, 0};
  const Mat4 m = isImageSDK::makeSliceMatrix(row, col, pos, 0, 0);
  const int32_t dims[3] = {kCols, kRows, 3};
  const float spacing[3] = {1, 1, 1};
  if (!image->buildVolume(dims, spacing, type, 0, 0, m)) return image;
  for (isImageSDK::SliceRecord* r : image->slices)
  for (int k = 0; k < kCols * kRows; ++k) {
    const double v = value(k);
    switch (type) {
      case isImageSDK::ELEMENT_UINT8: static_cast<uint8_t*>(r->pixels)[k] = static_cast<uint8_t>(v); break;
      case isImageSDK::ELEMENT_INT16: static_cast<int16_t*>(r->pixels)[k] = static_cast<int16_t>(v); break;
      case isImageSDK::ELEMENT_UINT16: static_cast<uint16_t*>(r->pixels)[k] = static_cast<uint16_t>(v); break;
      case isImageSDK::ELEMENT_FLOAT: static_cast<float*>(r->pixels)[k] = static_cast<float>(v); break;
      case isImageSDK::ELEMENT_RGB: {
        uint8_t* p = static_cast<uint8_t*>(r->pixels) + 3 * k;
        p[0] = static_cast<uint8_t>(k % 256);
        p[1] = static_cast<uint8_t>((3 * k) % 256);
        p[2] = static_cast<uint8_t>(255 - k % 256);
        break;
      }
    }
  }
  for (auto* s : image->slices) {
    s->modality = isImageSDK::MODALITY_OTHER;
    s->windowWidth = 100.0f;
    s->windowCenter = 50.0f;
  }
  return image;
}

class ShaderSlices : public WindowTest {
 protected:
  ShaderSlices() : WindowTest("shader slices", kW, kH) {}

  void SetUp() override {
    isNodeImageByShader::shaderProgramEnabled = 1;
    WindowTest::SetUp();
    if (!ready()) return;
    // Frames here are as slow as software GL makes them; the figure is
    // held so that only the fall-back test meets a slow frame.
    Director::getInstance()->setSecondsPerFrameOverride(0.0f);
    addWindow(Size(215, 135), Vec2(0, 0));
    isNodeImageByShader::shaderProgramEnabled = 0;
    addWindow(Size(215, 135), Vec2(222, 0));
    isNodeImageByShader::shaderProgramEnabled = 1;
    ASSERT_TRUE(onProgram(0)) << "the left window draws through the slice program";
    ASSERT_FALSE(onProgram(1));
  }
  void TearDown() override {
    for (auto* data : ramps) data->release();
    WindowTest::TearDown();
  }

  bool onProgram(int w) const {
    auto* node = dynamic_cast<isNodeImageByShader*>(actors[w]->getImageNode());
    return node && !node->isOnCpuPath();
  }

  // Both windows show data at kPixelsPerTexel screen pixels per texel, the
  // slice centre on a pixel centre.
  // New data gives a window new actors: the right one is made with the
  // program switched off.
  void showBoth(isImageSDK::isImageData* data) {
    for (int w : {0, 1}) {
      isNodeImageByShader::shaderProgramEnabled = w == 0 ? 1 : 0;
      actors[w] = windows[w]->show(data);
      windows[w]->setZoom(1.0f / kPixelsPerTexel);
    }
    isNodeImageByShader::shaderProgramEnabled = 1;
    ASSERT_TRUE(onProgram(0));
    ASSERT_FALSE(onProgram(1));
  }
  isImageSDK::isImageData* keep(isImageSDK::isImageData* data) {
    ramps.push_back(data);
    return data;
  }

  // Texel centres where the two windows differ by more than one level in
  // any channel; the first few are described in `detail`.
  int differences(const Shot& shot, std::string* detail) {
    int bad = 0;
    for (int j = 0; j < kRows; ++j)
      for (int i = 0; i < kCols; ++i) {
        const Rgb a = shot.at(screenOf(0, i, j)), b = shot.at(screenOf(1, i, j));
        if (near(a, b, 1)) continue;
        if (++bad <= 4) *detail += " (" + std::to_string(i) + "," + std::to_string(j) + "): " +
                                   ::testing::PrintToString(a) + " vs " + ::testing::PrintToString(b);
      }
    return bad;
  }

  std::vector<isImageSDK::isImageData*> ramps;
};

TEST_F(ShaderSlices, ProgramMatchesTheCpuMappingForEveryTypeWindowAndCurve) {
  if (!ready()) return;
  const int n = kCols * kRows - 1;
  struct Window {
    float width, centre;
  };
  struct TypeCase {
    const char* name;
    int type;
    std::function<double(int)> value;
    std::vector<Window> windows;  // inside the range, past both ends, narrow and odd
  };
  const TypeCase cases[] = {
      {"u8", isImageSDK::ELEMENT_UINT8, [n](int k) { return k * 255.0 / n; }, {{100, 50}, {400, 128}, {31, 200}}},
      {"s16", isImageSDK::ELEMENT_INT16, [](int k) { return -1500 + 4 * k; }, {{400, 40}, {6000, 500}, {101, 1000}}},
      {"u16", isImageSDK::ELEMENT_UINT16, [](int k) { return 60 * k; }, {{20000, 30000}, {100000, 30000}, {1001, 60000}}},
      {"float", isImageSDK::ELEMENT_FLOAT, [n](int k) { return -1.0 + 4.0 * k / n; }, {{2.0f, 1.0f}, {10.0f, 1.0f}, {0.5f, 2.7f}}},
      {"rgb", isImageSDK::ELEMENT_RGB, [](int) { return 0.0; }, {{256, 128}}},
  };
  uint8_t table[768];
  levelTable(table);
  int compared = 0;
  for (const TypeCase& c : cases) {
    showBoth(keep(rampImage(c.type, c.value)));
    for (const Window& win : c.windows)
      for (int curve : {isImageSDK::CLUT_MODE_LINEAR, isImageSDK::CLUT_MODE_LOG, isImageSDK::CLUT_MODE_INVERSE_LOG}) {
        for (int w : {0, 1}) {
          actors[w]->setColorTable(table);
          actors[w]->setClutMode(curve);
          actors[w]->setWindow(win.width, win.centre);
        }
        const Shot shot = captureFrame(std::string("shader_slices_") + c.name + ".png", kW, kH);
        std::string detail;
        EXPECT_EQ(differences(shot, &detail), 0)
            << c.name << " window " << win.width << "/" << win.centre << " curve " << curve << detail;
        ++compared;
        if (c.type == isImageSDK::ELEMENT_RGB) break;  // RGB ignores window and curve
      }
  }
  EXPECT_EQ(compared, 37);
  EXPECT_TRUE(onProgram(0));
}

TEST_F(ShaderSlices, WindowOfWidthZeroIsAStepAtItsCentre) {
  if (!ready()) return;
  const int n = kCols * kRows - 1;
  uint8_t table[768];
  levelTable(table);
  struct Case {
    int type;
    std::function<double(int)> value;
    float centre;
  };
  // The float centre lies between two ramp values; the integer step falls
  // between the centre and the next value, as the lookup table has it.
  const Case cases[] = {
      {isImageSDK::ELEMENT_FLOAT, [n](int k) { return -1.0 + 4.0 * k / n; }, 1.0f + 2.0f / n},
      {isImageSDK::ELEMENT_INT16, [](int k) { return -1500 + 4 * k; }, 500.0f},
  };
  for (const Case& c : cases) {
    showBoth(keep(rampImage(c.type, c.value)));
    for (int w : {0, 1}) {
      actors[w]->setColorTable(table);
      actors[w]->setWindow(0.0f, c.centre);
    }
    const Shot shot = captureFrame("shader_slices_width0.png", kW, kH);
    std::string detail;
    EXPECT_EQ(differences(shot, &detail), 0) << c.type << detail;
    int black = 0, white = 0;
    for (int k = 0; k <= n; ++k) {
      const Rgb got = shot.at(screenOf(0, k % kCols, k / kCols));
      const bool above = c.value(k) > c.centre;
      EXPECT_EQ(got.r, above ? 255 : 0) << c.type << " texel " << k << " value " << c.value(k);
      (above ? white : black) += 1;
    }
    EXPECT_GT(black, 100);
    EXPECT_GT(white, 100);
  }
}

TEST_F(ShaderSlices, WindowDragUploadsNoTexture) {
  if (!ready()) return;
  // The CT phantom on both windows; a drag changes the window every frame.
  for (int w : {0, 1}) windows[w]->lookAtSlice();
  stepWindowFrames(2);
  auto drag = [this](int w) {
    const unsigned long before = textureUploadCount();
    for (int step = 0; step < 10; ++step) {
      actors[w]->adjustWindow(3.0f, -2.0f);
      stepWindowFrames(1);
    }
    return textureUploadCount() - before;
  };
  EXPECT_EQ(drag(0), 0u);
  EXPECT_EQ(drag(1), 10u);  // the CPU path refills its texture once a frame
  // A new slice is one upload, in place.
  auto* node = actors[0]->getImageNode();
  Texture2D* texture = node->getTexture();
  const unsigned long before = textureUploadCount();
  actors[0]->setSliceIndex(actors[0]->getSliceIndex() + 1);
  stepWindowFrames(1);
  EXPECT_EQ(textureUploadCount() - before, 1u);
  EXPECT_EQ(node->getTexture(), texture);
  EXPECT_EQ(texture->getPixelFormat(), Texture2D::PixelFormat::AI88);
}

TEST_F(ShaderSlices, PhantomScreenshot) {
  if (!ready()) return;
  // The phantom's soft-tissue window through a warm table, on the program
  // path, next to the same slice mapped on the CPU.
  uint8_t warm[768];
  for (int i = 0; i < 256; ++i) {
    warm[3 * i] = static_cast<uint8_t>(std::min(255, 3 * i));
    warm[3 * i + 1] = static_cast<uint8_t>(std::clamp(3 * i - 255, 0, 255));
    warm[3 * i + 2] = static_cast<uint8_t>(std::clamp(3 * i - 510, 0, 255));
  }
  for (int w : {0, 1}) {
    actors[w]->setWindow(400, 40);
    actors[w]->setColorTable(warm);
    windows[w]->lookAtSlice();
  }
  const Shot shot = captureFrame("shader_slices_phantom.png", kW, kH);
  int differing = 0, checked = 0;
  for (int j = 8; j < 256; j += 16)
    for (int i = 8; i < 256; i += 16) {
      ++checked;
      if (!near(shot.at(screenOf(0, i, j)), shot.at(screenOf(1, i, j)), 2)) ++differing;
    }
  // Fitted, a texel is about half a screen pixel: probes land between
  // texel centres, where the two paths filter differently at edges.
  EXPECT_LE(differing, checked / 20);

  // Close up on the bone sphere's edge, six screen pixels per texel: the
  // program interpolates values, the CPU path colours.
  for (int w : {0, 1}) {
    windows[w]->centerOn(actors[w]->getOutputSliceInfo()->matrix.transformPoint(Vec3(48 * 0.7f, 100 * 0.7f, 0)));
    windows[w]->setZoom(0.7f / 6.0f);
  }
  captureFrame("shader_slices_phantom_close.png", kW, kH);
  EXPECT_TRUE(onProgram(0));
}

TEST_F(ShaderSlices, SlowFrameMovesOneNodeToTheCpuForGood) {
  if (!ready()) return;
  // A second node on the program, in a window over the CPU one.
  addWindow(Size(215, 135), Vec2(222, 0));
  ASSERT_TRUE(onProgram(2));
  for (int w : {0, 2}) {
    actors[w]->setWindow(400, 40);
    windows[w]->lookAtSlice();
  }
  const Shot before = captureFrame("shader_slices_before_fallback.png", kW, kH);

  Director::getInstance()->setSecondsPerFrameOverride(0.5f);
  ::testing::internal::CaptureStderr();
  const Shot after = captureFrame("shader_slices_after_fallback.png", kW, kH);
  stepWindowFrames(3);
  const bool leftOnProgram = onProgram(0), rightOnProgram = onProgram(2);
  // Nodes made from now on start on the CPU path and report success.
  addWindow(Size(100, 100), Vec2(330, 30));
  stepWindowFrames(2);
  const std::string log = ::testing::internal::GetCapturedStderr();

  const std::string message = "Rendering is too slow. Disable cubic shader program.";
  size_t lines = 0;
  for (size_t at = log.find(message); at != std::string::npos; at = log.find(message, at + 1)) ++lines;
  EXPECT_EQ(lines, 1u) << log;
  EXPECT_EQ(isNodeImageByShader::shaderProgramEnabled, 0);
  EXPECT_FALSE(onProgram(3));
  EXPECT_NE(actors[3]->getImageNode(), nullptr);

  // Exactly one of the two program nodes met the slow frame; the other
  // keeps its program.
  EXPECT_NE(leftOnProgram, rightOnProgram);
  const int fallen = leftOnProgram ? 2 : 0;
  auto* node = dynamic_cast<isNodeImageByShader*>(actors[fallen]->getImageNode());
  ASSERT_NE(node, nullptr);
  EXPECT_TRUE(node->isOnCpuPath());
  EXPECT_EQ(node->getColorTexture(), 0u);
  EXPECT_EQ(node->getTexture()->getPixelFormat(), Texture2D::PixelFormat::RGB888);
  // The image stayed on screen, through the CPU texture from that frame on.
  int same = 0, checked = 0;
  for (int j = 8; j < 256; j += 24)
    for (int i = 8; i < 256; i += 24) {
      ++checked;
      same += near(before.at(screenOf(fallen, i, j)), after.at(screenOf(fallen, i, j)), 2) ? 1 : 0;
    }
  EXPECT_GE(same, checked * 19 / 20);
}

}  // namespace

int main(int argc, char** argv) { return runWindowTests(argc, argv); }
