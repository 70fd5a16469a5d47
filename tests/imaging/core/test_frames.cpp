// Multi-frame (4-D) sets: detecting dynamic and gated series read slice by
// slice, splitting them into a chain of volumes, and joining volumes.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>

#include "imaging/core/isImageData.h"

using namespace isImageSDK;

namespace {

constexpr int kSize = 4;

struct SeriesSpec {
  int perVolume = 20;
  int phases = 2;
  bool gated = false;     // phases counted by timeSlotCount instead of timeSliceCount
  float step = 2.5f;      // millimetres between slice positions
  bool descending = false;  // each phase stored against its normal
  // Changes one slice record before it is added (index in the series).
  std::function<void(int, SliceRecord&)> tweak;
};

// Phase k, position j (counted along the normal) carries the sample value
// k × 100 + j in every pixel.
isImageData* makeSeries(const SeriesSpec& shape) {
  isImageData* image = isImageData::create();
  image->setIdentifier("1.2.3.4");
  image->setDescription("PET dynamic");
  for (int k = 0; k < shape.phases; ++k) {
    for (int i = 0; i < shape.perVolume; ++i) {
      const int j = shape.descending ? shape.perVolume - 1 - i : i;
      SliceRecord r;
      r.width = kSize;
      r.height = kSize;
      r.spacingX = 2.0f;
      r.spacingY = 2.0f;
      r.elementType = ELEMENT_INT16;
      r.modality = MODALITY_PT;
      r.matrix.m[12] = -50.0f;
      r.matrix.m[13] = 30.0f;
      r.matrix.m[14] = 10.0f + shape.step * static_cast<float>(j);
      r.sliceCountPerVolume = static_cast<int16_t>(shape.perVolume);
      r.timeSliceCount = static_cast<int16_t>(shape.gated ? 1 : shape.phases);
      r.timeSlotCount = static_cast<int16_t>(shape.gated ? shape.phases : 0);
      r.instanceNumber = 32760 + k * shape.perVolume + i;
      int16_t samples[kSize * kSize];
      for (int16_t& s : samples) s = static_cast<int16_t>(k * 100 + j);
      r.pixels = samples;
      if (shape.tweak) shape.tweak(k * shape.perVolume + i, r);
      EXPECT_TRUE(image->addSliceCopy(&r));
    }
  }
  return image;
}

int16_t sampleOf(const SliceRecord* r) { return static_cast<const int16_t*>(r->pixels)[kSize * kSize - 1]; }

void expectSplit(isImageData* image, int perVolume, int phases, float step) {
  ASSERT_TRUE(image->isMultiFrame());
  EXPECT_EQ(image->frameCount, phases);
  EXPECT_EQ(image->getFirstFrame(), image);
  EXPECT_EQ(image->getFrame(phases), nullptr);
  EXPECT_EQ(image->getFrame(-1), nullptr);
  for (int k = 0; k < phases; ++k) {
    isImageData* frame = image->getFrame(k);
    ASSERT_NE(frame, nullptr) << "frame " << k;
    EXPECT_EQ(frame->getFirstFrame(), image);
    EXPECT_TRUE(frame->isMultiFrame());
    EXPECT_TRUE(frame->isVolume());
    ASSERT_NE(frame->getScalarPointer(), nullptr);
    EXPECT_EQ(frame->getSliceCount(), perVolume);
    float spacing[3];
    frame->getSpacing(spacing);
    EXPECT_NEAR(spacing[2], step, 1e-4f);
    EXPECT_EQ(frame->getIdentifier(), "1.2.3.4");
    EXPECT_EQ(frame->getDescription(), "PET dynamic");
    for (int j = 0; j < perVolume; ++j) {
      const SliceRecord* r = frame->getSlice(j);
      ASSERT_NE(r, nullptr);
      EXPECT_EQ(sampleOf(r), k * 100 + j) << "frame " << k << " slice " << j;
      EXPECT_NEAR(r->matrix.m[14], 10.0f + step * static_cast<float>(j), 1e-3f) << "frame " << k << " slice " << j;
      EXPECT_EQ(r->modality, MODALITY_PT);
    }
  }
}

}  // namespace

TEST(Frames, DynamicPetOfTwentyByTwoSplitsIntoTwoVolumes) {
  isImageData* image = makeSeries({});
  EXPECT_EQ(image->detectFrameLayout(), FRAME_LAYOUT_DYNAMIC);
  image->splitFrames();
  expectSplit(image, 20, 2, 2.5f);
  // Instance numbers beyond the 16-bit range survive the split.
  EXPECT_EQ(image->getFrame(1)->getSlice(19)->instanceNumber, 32760 + 39);
  image->release();  // frees the whole chain (checked under ASan)
}

TEST(Frames, GatedSeriesOfTenByEightSplitsIntoEightVolumes) {
  SeriesSpec shape;
  shape.perVolume = 10;
  shape.phases = 8;
  shape.gated = true;
  shape.step = 3.0f;
  isImageData* image = makeSeries(shape);
  EXPECT_EQ(image->detectFrameLayout(), FRAME_LAYOUT_GATED);
  image->splitFrames();
  expectSplit(image, 10, 8, 3.0f);
  image->release();
}

TEST(Frames, PhasesStoredAgainstTheirNormalAreReversed) {
  SeriesSpec shape;
  shape.descending = true;
  isImageData* image = makeSeries(shape);
  ASSERT_EQ(image->detectFrameLayout(), FRAME_LAYOUT_DYNAMIC);
  image->splitFrames();
  expectSplit(image, 20, 2, 2.5f);
  image->release();
}

TEST(Frames, SeriesThatAreNotFrameSetsStayUntouched) {
  struct Case {
    const char* what;
    SeriesSpec shape;
  };
  auto shifted = [](int index, SliceRecord& r) {
    if (index == 7) r.matrix.m[12] += 0.02f;  // off the stack line by more than 0.01
  };
  auto uneven = [](int index, SliceRecord& r) {
    if (index == 3) r.matrix.m[14] += 0.5f;
  };
  auto otherCount = [](int index, SliceRecord& r) {
    if (index == 25) r.timeSliceCount = 3;
  };
  auto otherPhasePlace = [](int index, SliceRecord& r) {
    if (index == 30) r.matrix.m[13] += 0.5f;  // second phase slice away from its first-phase twin
  };
  auto otherSize = [](int index, SliceRecord& r) {
    if (index == 22) r.spacingX = 2.1f;
  };
  auto oneSlicePerVolume = [](int, SliceRecord& r) { r.sliceCountPerVolume = 1; };
  auto product = [](int, SliceRecord& r) { r.timeSliceCount = 3; };
  Case cases[] = {
      {"all images at one position (cine)", {20, 2, false, 0.0f, false, nullptr}},
      {"positions 0.005 mm apart", {20, 2, false, 0.005f, false, nullptr}},
      {"one slice off the stack line", {20, 2, false, 2.5f, false, shifted}},
      {"uneven spacing", {20, 2, false, 2.5f, false, uneven}},
      {"phase counts differ between slices", {20, 2, false, 2.5f, false, otherCount}},
      {"a later phase at another place", {20, 2, false, 2.5f, false, otherPhasePlace}},
      {"a later phase with other spacing", {20, 2, false, 2.5f, false, otherSize}},
      {"one slice per volume", {20, 2, false, 2.5f, false, oneSlicePerVolume}},
      {"product differs from the slice count", {20, 2, false, 2.5f, false, product}},
      {"one phase only", {20, 1, false, 2.5f, false, nullptr}},
  };
  for (Case& c : cases) {
    isImageData* image = makeSeries(c.shape);
    const size_t count = image->slices.size();
    SliceRecord* firstRecord = image->slices[0];
    EXPECT_EQ(image->detectFrameLayout(), FRAME_LAYOUT_NONE) << c.what;
    image->splitFrames();
    EXPECT_FALSE(image->isMultiFrame()) << c.what;
    EXPECT_FALSE(image->isVolume()) << c.what;
    EXPECT_EQ(image->slices.size(), count) << c.what;
    EXPECT_EQ(image->slices[0], firstRecord) << c.what;
    EXPECT_EQ(image->getFrame(1), image) << c.what;
    image->release();
  }
}

TEST(Frames, RegularStackNeedsARealSpacing) {
  struct Case {
    float step;
    bool regular;
  };
  const Case cases[] = {{0.0f, false}, {0.009f, false}, {0.02f, true}, {1.0f, true}, {-1.0f, true}};
  for (const Case& c : cases) {
    SeriesSpec shape;
    shape.perVolume = 5;
    shape.phases = 1;
    shape.step = c.step;
    isImageData* image = makeSeries(shape);
    EXPECT_EQ(image->isRegularStack(5), c.regular) << c.step;
    EXPECT_TRUE(image->isRegularStack(1));
    EXPECT_FALSE(image->isRegularStack(6)) << "more slices than the image has";
    image->release();
  }
}

TEST(Frames, VolumesAreNotSplitAgain) {
  isImageData* image = makeSeries({});
  image->splitFrames();
  ASSERT_TRUE(image->isMultiFrame());
  EXPECT_EQ(image->detectFrameLayout(), FRAME_LAYOUT_NONE);
  image->splitFrames();
  EXPECT_EQ(image->frameCount, 2);
  image->release();
}

TEST(Frames, UnlinkedFramesAnswerThemselves) {
  isImageData* image = makeSeries({});
  image->splitFrames();
  isImageData* second = image->getFrame(1);
  second->frameLinked = false;
  EXPECT_EQ(second->getFirstFrame(), second);
  EXPECT_EQ(second->getFrame(0), second);
  EXPECT_EQ(second->getFrame(5), second);
  image->release();
}

namespace {

isImageData* makeVolume(int slices, float z0 = 0.0f) {
  isImageData* image = isImageData::create();
  const int32_t d[3] = {kSize, kSize, slices};
  const float s[3] = {1.0f, 1.0f, 2.0f};
  cocos2d::Mat4 m;
  m.m[14] = z0;
  image->buildVolume(d, s, ELEMENT_INT16, 0, 0, m);
  return image;
}

}  // namespace

TEST(Frames, CreateFrameSetJoinsMatchingVolumes) {
  isImageData* a = makeVolume(6);
  isImageData* b = makeVolume(6);
  isImageData* c = makeVolume(6);
  ASSERT_EQ(isImageData::createFrameSet({a, b, c}), a);
  EXPECT_EQ(a->frameCount, 3);
  EXPECT_TRUE(c->isMultiFrame());
  EXPECT_EQ(a->getFrame(2), c);
  EXPECT_EQ(c->getFirstFrame(), a);
  EXPECT_EQ(b->getReferenceCount(), 2u) << "the chain adds a reference; the caller's stays valid";
  a->release();
  EXPECT_EQ(b->getReferenceCount(), 1u);
  EXPECT_EQ(c->getReferenceCount(), 2u) << "b still holds its follower";
  b->release();
  EXPECT_EQ(c->getReferenceCount(), 1u);
  c->release();
}

TEST(Frames, CreateFrameSetRefusesVolumesThatDoNotMatch) {
  struct Case {
    const char* what;
    std::function<isImageData*()> second;
  };
  const Case cases[] = {
      {"different slice count", [] { return makeVolume(5); }},
      {"another place", [] { return makeVolume(6, 1.0f); }},
      {"not a volume", [] {
         isImageData* image = isImageData::create();
         const int32_t size[2] = {kSize, kSize};
         const float sp[2] = {1, 1};
         image->addSlice(size, 1, sp, ELEMENT_INT16, 0, 0, cocos2d::Mat4());
         return image;
       }},
  };
  for (const Case& c : cases) {
    isImageData* a = makeVolume(6);
    isImageData* b = c.second();
    EXPECT_EQ(isImageData::createFrameSet({a, b}), nullptr) << c.what;
    EXPECT_FALSE(a->isMultiFrame()) << c.what;
    EXPECT_EQ(a->nextFrame, nullptr) << c.what;
    EXPECT_EQ(b->firstFrame, nullptr) << c.what;
    EXPECT_EQ(b->getReferenceCount(), 1u) << c.what;
    a->release();
    b->release();
  }
  EXPECT_EQ(isImageData::createFrameSet({}), nullptr);
  isImageData* a = makeVolume(6);
  EXPECT_EQ(isImageData::createFrameSet({a, a}), nullptr) << "an image cannot follow itself";
  a->release();
}
