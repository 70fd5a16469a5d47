// The image data model: slices with their own buffers, volumes in one
// buffer, the size limit, transforms and the slice record helpers.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "imaging/core/SliceRecord.h"
#include "imaging/core/isImageData.h"

using namespace isImageSDK;

namespace {

cocos2d::Mat4 translation(float x, float y, float z) {
  cocos2d::Mat4 m;
  m.m[12] = x;
  m.m[13] = y;
  m.m[14] = z;
  return m;
}

// Rows r0..r3 of a matrix written row by row.
cocos2d::Mat4 rows(std::initializer_list<float> v) {
  cocos2d::Mat4 m;
  int i = 0;
  for (float f : v) {
    m.m[(i % 4) * 4 + i / 4] = f;
    ++i;
  }
  return m;
}

void expectMatrixNear(const cocos2d::Mat4& a, const cocos2d::Mat4& b, float tol = 1e-5f) {
  for (int i = 0; i < 16; ++i) EXPECT_NEAR(a.m[i], b.m[i], tol) << "entry " << i;
}

struct ImageHolder {
  isImageData* image = isImageData::create();
  ~ImageHolder() { image->release(); }
  isImageData* operator->() { return image; }
};

}  // namespace

TEST(ImageData, DefaultsAfterCreate) {
  ImageHolder img;
  EXPECT_EQ(img->getSliceCount(), 0);
  EXPECT_FALSE(img->hasData);
  EXPECT_FALSE(img->isVolume());
  EXPECT_EQ(img->elementType, ELEMENT_INT16);
  float s[3];
  img->getSpacing(s);
  EXPECT_EQ(s[0], 1.0f);
  EXPECT_EQ(s[2], 1.0f);
  EXPECT_EQ(img->getScalarPointer(), nullptr);
  EXPECT_EQ(img->getFrame(3), img.image) << "no frame set: the image itself";
  EXPECT_FALSE(img->isMultiFrame());

  SliceRecord r;
  EXPECT_EQ(r.frameCount, 1);
  EXPECT_EQ(r.modality, MODALITY_OTHER);
  EXPECT_EQ(r.displayCode, DISPLAY_SIGNED);
  EXPECT_EQ(r.windowWidth, 255.0f);
  EXPECT_EQ(r.windowCenter, 128.0f);
  EXPECT_EQ(r.acquisitionTime.year, 1900);
  EXPECT_EQ(r.totalDose, -1.0f);
  EXPECT_TRUE(r.pixelsLoaded);
}

TEST(ImageData, SlicesEachKeepTheirOwnBufferAndTheLastSliceSetsThePlacement) {
  ImageHolder img;
  const int32_t size[2] = {3, 2};
  const float sp[2] = {0.7f, 0.5f};
  SliceRecord* a = img->addSlice(size, 1, sp, ELEMENT_UINT16, 1, 1, translation(0, 0, 0));
  SliceRecord* b = img->addSlice(size, 2, sp, ELEMENT_UINT16, 1, 1, translation(0, 0, 5));
  ASSERT_TRUE(a && b);
  EXPECT_NE(a->pixels, b->pixels);
  EXPECT_EQ(b->frameCount, 2);
  EXPECT_FALSE(img->isVolume());
  EXPECT_EQ(img->getScalarPointer(), nullptr);
  int32_t d[3];
  img->getDimensions(d);
  EXPECT_EQ(d[0], 3);
  EXPECT_EQ(d[1], 2);
  EXPECT_EQ(d[2], 2);
  EXPECT_EQ(img->spacing[0], 0.7f);
  EXPECT_EQ(img->spacing[2], 1.0f);
  expectMatrixNear(img->dataMatrix, translation(0, 0, 5));
  EXPECT_EQ(img->positionCode, 1);
  EXPECT_EQ(img->elementType, ELEMENT_UINT16);
  // Both buffers are writable over their whole size (all frames).
  std::memset(a->pixels, 1, 3 * 2 * 2);
  std::memset(b->pixels, 2, 3 * 2 * 2 * 2);
}

TEST(ImageData, VolumeKeepsSlicesInOneZeroedBuffer) {
  ImageHolder img;
  const int32_t d[3] = {4, 3, 5};
  const float s[3] = {0.5f, 0.6f, 2.5f};
  const cocos2d::Mat4 m = translation(10, 20, 30);
  ASSERT_TRUE(img->buildVolume(d, s, ELEMENT_FLOAT, 0, 0, m));
  EXPECT_TRUE(img->isVolume());
  EXPECT_TRUE(img->ownsVolumeBuffer);
  auto* base = static_cast<unsigned char*>(img->getScalarPointer());
  ASSERT_NE(base, nullptr);
  ASSERT_EQ(img->getSliceCount(), 5);
  for (int i = 0; i < 5; ++i) {
    SliceRecord* r = img->getSlice(i);
    EXPECT_EQ(r->pixels, base + i * 4 * 3 * 4) << i;
    EXPECT_EQ(r->elementType, ELEMENT_FLOAT);
    EXPECT_EQ(r->spacingX, 0.5f);
    expectMatrixNear(r->matrix, translation(10, 20, 30 + 2.5f * i));
  }
  for (int i = 0; i < 4 * 3 * 5 * 4; ++i) ASSERT_EQ(base[i], 0) << i;
}

TEST(ImageData, SingleSliceVolumeHasItsOwnBuffer) {
  ImageHolder img;
  const int32_t d[3] = {4, 3, 1};
  const float s[3] = {1, 1, 1};
  ASSERT_TRUE(img->buildVolume(d, s, ELEMENT_INT16, 0, 0, cocos2d::Mat4()));
  EXPECT_FALSE(img->isVolume());
  EXPECT_EQ(img->getScalarPointer(), nullptr);
  ASSERT_NE(img->getSlice(0), nullptr);
  EXPECT_NE(img->getSlice(0)->pixels, nullptr);
  const int32_t none[3] = {4, 3, 0};
  EXPECT_FALSE(img->buildVolume(none, s, ELEMENT_INT16, 0, 0, cocos2d::Mat4()));
  EXPECT_EQ(img->getSliceCount(), 0);
}

TEST(ImageData, SliceSizeLimit) {
  // 607,376,096 bytes is the first size refused.
  struct Case {
    int32_t w, h, frames;
    int type;
    bool accepted;
  };
  const Case cases[] = {
      {512, 512, 1158, ELEMENT_UINT16, true},   // 607,125,504 bytes
      {512, 512, 1160, ELEMENT_UINT16, false},  // 608,174,080 bytes
      {607376095, 1, 1, ELEMENT_UINT8, true},   // one byte below the limit
      {607376096, 1, 1, ELEMENT_UINT8, false},  // exactly the limit
      {100000, 100000, 1, ELEMENT_FLOAT, false},  // 32-bit products would wrap
  };
  for (const Case& c : cases) {
    ImageHolder img;
    const int32_t small[2] = {2, 2};
    const float sp[2] = {1, 1};
    ASSERT_NE(img->addSlice(small, 1, sp, ELEMENT_INT16, 0, 0, cocos2d::Mat4()), nullptr);
    const int32_t size[2] = {c.w, c.h};
    SliceRecord* r = img->addSlice(size, c.frames, sp, c.type, 0, 0, translation(0, 0, 9));
    EXPECT_EQ(r != nullptr, c.accepted) << c.w << "x" << c.h << "x" << c.frames;
    EXPECT_EQ(img->getSliceCount(), c.accepted ? 2 : 1);
    EXPECT_EQ(img->slices.size(), c.accepted ? 2u : 1u);
    EXPECT_TRUE(img->hasData);
    // The refused slice's size stays recorded (as the last one asked for).
    EXPECT_EQ(img->dimensions[0], c.w);
  }
}

TEST(ImageData, RefusedOnlySliceLeavesTheImageWithoutData) {
  ImageHolder img;
  const int32_t size[2] = {512, 512};
  const float sp[2] = {1, 1};
  EXPECT_EQ(img->addSlice(size, 1160, sp, ELEMENT_UINT16, 0, 0, cocos2d::Mat4()), nullptr);
  EXPECT_FALSE(img->hasData);
  EXPECT_EQ(img->getSliceCount(), 0);
}

TEST(ImageData, VolumeLimitFallsBackToSeparateBuffers) {
  ImageHolder img;
  // 512 × 512 × 2 bytes × 1160 slices is over the limit as one buffer but
  // fine slice by slice; keep it small in memory with 8-bit samples instead:
  // 7,000 × 7,000 × 13 bytes = 637,000,000 ≥ limit, each slice 49,000,000.
  const int32_t d[3] = {7000, 7000, 13};
  const float s[3] = {1, 1, 1};
  ASSERT_TRUE(img->buildVolume(d, s, ELEMENT_UINT8, 0, 0, cocos2d::Mat4()));
  EXPECT_TRUE(img->isVolume());
  EXPECT_FALSE(img->ownsVolumeBuffer);
  EXPECT_EQ(img->getScalarPointer(), nullptr) << "callers must test for null";
  for (int i = 0; i < 13; ++i) ASSERT_NE(img->getSlice(i)->pixels, nullptr);
}

TEST(ImageData, GetSliceOutsideTheRangeIsNull) {
  ImageHolder img;
  const int32_t d[3] = {2, 2, 3};
  const float s[3] = {1, 1, 1};
  ASSERT_TRUE(img->buildVolume(d, s, ELEMENT_INT16, 0, 0, cocos2d::Mat4()));
  EXPECT_EQ(img->getSlice(-1), nullptr);
  EXPECT_EQ(img->getSlice(3), nullptr);
  EXPECT_NE(img->getSlice(2), nullptr);
}

TEST(ImageData, SliceAddedToAVolumeIsFreedSafely) {
  ImageHolder img;
  const int32_t d[3] = {2, 2, 3};
  const float s[3] = {1, 1, 1};
  ASSERT_TRUE(img->buildVolume(d, s, ELEMENT_INT16, 0, 0, cocos2d::Mat4()));
  const int32_t size[2] = {2, 2};
  ASSERT_NE(img->addSlice(size, 1, s, ELEMENT_INT16, 0, 0, cocos2d::Mat4()), nullptr);
  img->releaseSlices();  // must neither double-free nor leak (checked under ASan)
  img->reset();
  EXPECT_EQ(img->getSliceCount(), 0);
}

TEST(ImageData, AddSliceCopyCopiesFieldsAndSamplesOrZeros) {
  SliceRecord src;
  src.width = 3;
  src.height = 2;
  src.frameCount = 2;
  src.elementType = ELEMENT_INT16;
  src.spacingX = 0.7f;
  src.spacingY = 0.5f;
  src.matrix = translation(1, 2, 3);
  src.modality = MODALITY_CT;
  src.windowWidth = 400;
  src.windowCenter = 40;
  src.instanceNumber = 40000;
  src.filePath = "/a/b.dcm";
  src.geometryValid = false;
  src.pixelSpacingKnown = false;
  int16_t samples[12];
  for (int i = 0; i < 12; ++i) samples[i] = static_cast<int16_t>(i - 6);
  src.pixels = samples;

  ImageHolder img;
  EXPECT_TRUE(img->addSliceCopy(&src));
  SliceRecord* r = img->getSlice(0);
  ASSERT_NE(r, nullptr);
  EXPECT_NE(r->pixels, src.pixels);
  EXPECT_EQ(std::memcmp(r->pixels, samples, sizeof samples), 0);
  EXPECT_EQ(r->modality, MODALITY_CT);
  EXPECT_EQ(r->instanceNumber, 40000);
  EXPECT_EQ(r->filePath, "/a/b.dcm");
  EXPECT_FALSE(r->geometryValid);
  EXPECT_FALSE(r->pixelSpacingKnown);
  expectMatrixNear(r->matrix, translation(1, 2, 3));

  src.pixels = nullptr;
  src.pixelsLoaded = false;
  EXPECT_FALSE(img->addSliceCopy(&src)) << "answers the copied pixelsLoaded";
  SliceRecord* z = img->getSlice(1);
  ASSERT_NE(z, nullptr);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(static_cast<int16_t*>(z->pixels)[i], 0);
  EXPECT_FALSE(z->pixelsLoaded);
}

TEST(ImageData, DefaultWindowAndInvertedGrey) {
  ImageHolder img;
  float w = -1, c = -2;
  img->getDefaultWindow(w, c);
  EXPECT_EQ(w, -1.0f);
  EXPECT_EQ(c, -2.0f);
  EXPECT_FALSE(img->isInvertedGrey());

  const int32_t size[2] = {1, 1};
  const float sp[2] = {1, 1};
  SliceRecord* r = img->addSlice(size, 1, sp, ELEMENT_INT16, 0, 0, cocos2d::Mat4());
  r->windowWidth = 1500;
  r->windowCenter = -400;
  img->getDefaultWindow(&w, &c);
  EXPECT_EQ(w, 1500.0f);
  EXPECT_EQ(c, -400.0f);
  const struct {
    int displayCode;
    bool inverted;
  } cases[] = {{0, false}, {1, false}, {2, true}, {3, true}};
  for (auto k : cases) {
    r->displayCode = k.displayCode;
    EXPECT_EQ(img->isInvertedGrey(), k.inverted) << k.displayCode;
  }
}

TEST(ImageData, ApplyTransformPlacesVolumeSlicesAndComposesSeparateSlices) {
  const cocos2d::Mat4 user = rows({0, -1, 0, 5,  //
                                   1, 0, 0, 0,   //
                                   0, 0, 1, 0,   //
                                   0, 0, 0, 1});
  {
    ImageHolder vol;
    const int32_t d[3] = {2, 2, 3};
    const float s[3] = {1, 1, 2};
    ASSERT_TRUE(vol->buildVolume(d, s, ELEMENT_INT16, 0, 0, translation(0, 0, 10)));
    vol->applyTransform(user);
    // Slice 2 lies at (0, 0, 14) in data space; the user transform maps it to (5, 0, 14).
    const cocos2d::Mat4& m = vol->getSlice(2)->matrix;
    EXPECT_NEAR(m.m[12], 5.0f, 1e-5f);
    EXPECT_NEAR(m.m[13], 0.0f, 1e-5f);
    EXPECT_NEAR(m.m[14], 14.0f, 1e-5f);
    EXPECT_NEAR(m.m[1], 1.0f, 1e-5f) << "the row direction (1,0,0) turns into (0,1,0)";
    // Applying it again replaces the user transform rather than stacking it.
    vol->applyTransform(user);
    expectMatrixNear(vol->getSlice(2)->matrix, m);
    expectMatrixNear(vol->userMatrix, user);
  }
  {
    ImageHolder img;
    const int32_t size[2] = {1, 1};
    const float sp[2] = {1, 1};
    img->addSlice(size, 1, sp, ELEMENT_INT16, 0, 0, translation(1, 0, 0));
    img->applyTransform(user);
    img->applyTransform(user);  // separate slices: applied on top each time
    const cocos2d::Mat4& m = img->getSlice(0)->matrix;
    // (1,0,0) → (5,1,0) → (4,5,0)
    EXPECT_NEAR(m.m[12], 4.0f, 1e-5f);
    EXPECT_NEAR(m.m[13], 5.0f, 1e-5f);
  }
}

TEST(ImageData, ClearEmptiesTheImage) {
  ImageHolder img;
  const int32_t d[3] = {2, 2, 3};
  const float s[3] = {1, 1, 1};
  ASSERT_TRUE(img->buildVolume(d, s, ELEMENT_INT16, 0, 0, cocos2d::Mat4()));
  img->clear();
  EXPECT_TRUE(img->slices.empty());
  EXPECT_EQ(img->volumeBuffer, nullptr);
}

TEST(ImageData, IdentifierAndDescriptionReachEveryFrame) {
  isImageData* a = isImageData::create();
  isImageData* b = isImageData::create();
  const int32_t d[3] = {2, 2, 2};
  const float s[3] = {1, 1, 1};
  a->buildVolume(d, s, ELEMENT_INT16, 0, 0, cocos2d::Mat4());
  b->buildVolume(d, s, ELEMENT_INT16, 0, 0, cocos2d::Mat4());
  ASSERT_EQ(isImageData::createFrameSet({a, b}), a);
  a->setIdentifier("1.2.3");
  a->setDescription("gated");
  EXPECT_EQ(b->getIdentifier(), "1.2.3");
  EXPECT_EQ(b->getDescription(), "gated");
  b->release();
  a->release();
}

TEST(SliceRecordHelpers, CopyToCopiesEverythingAndAllocates) {
  SliceRecord src;
  src.width = 2;
  src.height = 2;
  src.elementType = ELEMENT_FLOAT;
  src.spacingX = 0.3f;
  src.matrix = translation(4, 5, 6);
  src.modality = MODALITY_PT;
  src.suvFactor = 2.5f;
  src.filePath = "x.dcm";
  src.scanOptions = "HELICAL";
  src.pixelsLoaded = false;
  float samples[4] = {1.5f, -2.0f, 3.25f, 0.0f};
  src.pixels = samples;

  SliceRecord dst;
  src.copyTo(&dst);
  ASSERT_NE(dst.pixels, nullptr);
  EXPECT_NE(dst.pixels, src.pixels);
  EXPECT_EQ(std::memcmp(dst.pixels, samples, sizeof samples), 0);
  EXPECT_TRUE(dst.pixelsLoaded);
  EXPECT_EQ(dst.elementType, ELEMENT_FLOAT);
  EXPECT_EQ(dst.spacingX, 0.3f);
  EXPECT_EQ(dst.suvFactor, 2.5f);
  EXPECT_EQ(dst.filePath, "x.dcm");
  EXPECT_EQ(dst.scanOptions, "HELICAL");
  expectMatrixNear(dst.matrix, src.matrix);

  // A second copy into the same record reuses its buffer.
  void* buffer = dst.pixels;
  samples[0] = 9.0f;
  src.copyTo(&dst);
  EXPECT_EQ(dst.pixels, buffer);
  EXPECT_EQ(static_cast<float*>(dst.pixels)[0], 9.0f);
  std::free(dst.pixels);
}

TEST(SliceRecordHelpers, CenterMatrixMovesTheOriginToTheSliceCentre) {
  SliceRecord r;
  r.width = 11;
  r.height = 5;
  r.spacingX = 0.5f;
  r.spacingY = 2.0f;
  // Rows run along +y, columns along −x, origin at (100, 0, 0).
  r.matrix = rows({0, -1, 0, 100,  //
                   1, 0, 0, 0,     //
                   0, 0, 1, 0,     //
                   0, 0, 0, 1});
  cocos2d::Mat4 c;
  r.getCenterMatrix(&c);
  // Centre offset (2.5, 4, 0) in slice coordinates → (100 − 4, 2.5, 0).
  EXPECT_NEAR(c.m[12], 96.0f, 1e-5f);
  EXPECT_NEAR(c.m[13], 2.5f, 1e-5f);
  EXPECT_NEAR(c.m[14], 0.0f, 1e-5f);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(c.m[i], r.matrix.m[i]);
}

TEST(SliceRecordHelpers, PatientFrameUndoesThePatientPositionMapping) {
  // The display frame maps a patient vector (x, y, z) by the patient
  // position; toPatientFrame must bring it back.
  struct Case {
    const char* position;
    int code, feet;
    float display[3];  // the image of patient (1, 2, 3)
  };
  const Case cases[] = {
      {"HFS", 0, 0, {1, 3, -2}},   {"HFP", 1, 0, {-1, 3, 2}},  {"HFDR", 2, 0, {2, 3, 1}},
      {"HFDL", 3, 0, {-2, 3, -1}}, {"FFS", 0, 1, {-1, -3, -2}}, {"FFP", 1, 1, {1, -3, 2}},
      {"FFDR", 2, 1, {-2, -3, 1}}, {"FFDL", 3, 1, {2, -3, -1}}, {"unstated", 0, 2, {1, 3, -2}},
  };
  for (const Case& c : cases) {
    SliceRecord r;
    r.positionCode = c.code;
    r.feetFirstCode = c.feet;
    cocos2d::Vec3 v(c.display[0], c.display[1], c.display[2]);
    r.toPatientFrame(v);
    EXPECT_FLOAT_EQ(v.x, 1.0f) << c.position;
    EXPECT_FLOAT_EQ(v.y, 2.0f) << c.position;
    EXPECT_FLOAT_EQ(v.z, 3.0f) << c.position;
  }
}
