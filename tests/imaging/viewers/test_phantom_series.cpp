// The viewers' fixture series as the program reads them: the CT phantom in
// three patient positions through the folder scan and the cache reader (a
// volume whose spheres sit where the phantom puts them), and the dynamic PET
// through the reader and frame splitting (20 volumes, each with its sphere).
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "imaging/core/isBinReader.h"
#include "imaging/core/isFolderScan.h"
#include "imaging/core/isGeometry.h"
#include "imaging/core/isImageData.h"
#include "imaging/core/series_fixtures.h"
#include "tools/dcmfixtures/phantoms.h"
#include "tools/vrdebug/phantom.h"

using namespace isImageSDK;
using namespace seriestest;

namespace {

double sampleAt(const SliceRecord& s, int x, int y) {
  const size_t i = static_cast<size_t>(y) * s.width + x;
  switch (s.elementType) {
    case ELEMENT_UINT8: return static_cast<const uint8_t*>(s.pixels)[i];
    case ELEMENT_INT16: return static_cast<const int16_t*>(s.pixels)[i];
    case ELEMENT_UINT16: return static_cast<const uint16_t*>(s.pixels)[i];
    case ELEMENT_FLOAT: return static_cast<const float*>(s.pixels)[i];
    default: return NAN;
  }
}

// Patient coordinates (mm) of a pixel centre: the slice matrix places it in
// the display frame of the slice's patient position; the frame is a signed
// permutation of the patient axes, undone by its transpose.
cocos2d::Vec3 patientPoint(const SliceRecord& s, int x, int y) {
  const float* m = s.matrix.m;  // column-major: columns 0 and 1 are the pixel axes
  const double px = x * s.spacingX, py = y * s.spacingY;
  const double display[3] = {m[12] + m[0] * px + m[4] * py, m[13] + m[1] * px + m[5] * py,
                             m[14] + m[2] * px + m[6] * py};
  double patient[3] = {0, 0, 0};
  for (int axis = 0; axis < 3; ++axis) {
    double unit[3] = {0, 0, 0};
    unit[axis] = 1;
    patientToDisplay(s.positionCode, s.feetFirstCode, unit);
    patient[axis] = unit[0] * display[0] + unit[1] * display[1] + unit[2] * display[2];
  }
  return {static_cast<float>(patient[0]), static_cast<float>(patient[1]), static_cast<float>(patient[2])};
}

// Scans the folder, opens a cache reader and waits for every pixel.
struct Loaded {
  isBinReader* reader = nullptr;
  isImageData* image = nullptr;
  explicit Loaded(const std::string& folder) {
    isDcmScan scan;
    EXPECT_TRUE(scan.createCache(folder));
    reader = isBinReader::create();
    EXPECT_TRUE(reader->setFileName(folder, isDcmScan::getCacheFileName(folder)));
    image = reader->getOutputImage();
    image->update();
    EXPECT_TRUE(pumpUntil([&] { return reader->isLoadComplete(); }));
  }
  ~Loaded() {
    if (reader) reader->release();
  }
};

}  // namespace

TEST(PhantomSeries, CtPhantomInEachPatientPositionIsAVolumeWithItsSpheresInPlace) {
  struct Case {
    const char* position;
    int positionCode;
    int feetFirstCode;
  };
  const Case cases[] = {
      {"HFS", POSITION_SUPINE, HEAD_FIRST},
      {"FFS", POSITION_SUPINE, FEET_FIRST},
      {"HFP", POSITION_PRONE, HEAD_FIRST},
  };
  dcmfixtures::CtPhantom p;
  // Not square, not isotropic: rows, columns and slices cannot be mixed up.
  p.width = 96;
  p.height = 80;
  p.slices = 60;
  p.spacingX = 0.75;
  p.spacingY = 0.9;
  p.sliceSpacing = 1.5;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.position);
    p.position = c.position;
    const std::string folder = seriesFolder(std::string("phantom/ct_") + c.position);
    const dcmfixtures::Series written = dcmfixtures::writeCtPhantom(folder, p);
    ASSERT_EQ(written.files.size(), 60u);

    Loaded loaded(folder);
    isImageData* image = loaded.image;
    ASSERT_TRUE(image->isVolume());
    int32_t dims[3];
    image->getDimensions(dims);
    EXPECT_EQ(dims[0], 96);
    EXPECT_EQ(dims[1], 80);
    EXPECT_EQ(dims[2], 60);
    float spacing[3];
    image->getSpacing(spacing);
    EXPECT_NEAR(spacing[0], 0.75f, 1e-4f);
    EXPECT_NEAR(spacing[1], 0.9f, 1e-4f);
    EXPECT_NEAR(spacing[2], 1.5f, 1e-4f);
    EXPECT_EQ(image->positionCode, c.positionCode);
    EXPECT_EQ(image->feetFirstCode, c.feetFirstCode);
    ASSERT_EQ(image->getSliceCount(), 60);

    // Air in the corner, water in the middle of a slice through the body
    // that no sphere reaches.
    const SliceRecord* low = image->getSlice(8);
    ASSERT_NE(low, nullptr);
    EXPECT_EQ(sampleAt(*low, 0, 0), -1000);
    EXPECT_EQ(sampleAt(*low, 48, 40), 40);

    const auto& spheres = vrdebug::phantomSpheres();
    for (size_t i = 0; i < spheres.size(); ++i) {
      SCOPED_TRACE("sphere " + std::to_string(i));
      const dcmfixtures::Voxel v = dcmfixtures::ctPhantomSphereVoxel(p, static_cast<int>(i));
      const SliceRecord* s = image->getSlice(v.z);
      ASSERT_NE(s, nullptr);
      ASSERT_TRUE(s->pixelsLoaded);
      EXPECT_EQ(sampleAt(*s, v.x, v.y), spheres[i].value);
      EXPECT_EQ(dcmfixtures::ctPhantomValue(p, v.x, v.y, v.z), spheres[i].value);
      // Where the sphere lies in the patient: left (+x) or right, posterior
      // (+y) or anterior, superior (+z) or inferior of the centre.
      double want[3];
      dcmfixtures::ctPhantomPoint(p, v.x, v.y, v.z, want);
      const cocos2d::Vec3 at = patientPoint(*s, v.x, v.y);
      EXPECT_NEAR(at.x, want[0], 1e-3);
      EXPECT_NEAR(at.y, want[1], 1e-3);
      EXPECT_NEAR(at.z, want[2], 1e-3);
      // (Spheres centred on an axis are not checked along it.)
      auto side = [](float fraction) { return fraction > 0.55f ? 1 : fraction < 0.45f ? -1 : 0; };
      auto sign = [](float mm) { return mm > 0 ? 1 : -1; };
      if (side(spheres[i].cx)) EXPECT_EQ(sign(at.x), side(spheres[i].cx));
      if (side(spheres[i].cy)) EXPECT_EQ(sign(at.y), side(spheres[i].cy));
      if (side(spheres[i].cz)) EXPECT_EQ(sign(at.z), side(spheres[i].cz));
    }
    // The bone sphere lies on the patient's right, anterior: the image's
    // left half, upper half.
    const dcmfixtures::Voxel bone = dcmfixtures::ctPhantomSphereVoxel(p, 0);
    EXPECT_LT(bone.x, p.width / 2);
    EXPECT_LT(bone.y, p.height / 2);
  }
}

TEST(PhantomSeries, DynamicPetSplitsIntoTwentyPhasesWithTheSphereOfEach) {
  dcmfixtures::Pet4d p;  // 20 phases of 64 slices of 128 x 128
  const std::string folder = seriesFolder("phantom/pt_4d");
  const dcmfixtures::Series written = dcmfixtures::write4dPet(folder, p);
  ASSERT_EQ(written.files.size(), 20u * 64u);

  Loaded loaded(folder);
  isImageData* image = loaded.image;
  // Read as one series of every image in phase-major order.
  EXPECT_FALSE(image->isVolume());
  ASSERT_EQ(image->getSliceCount(), 20 * 64);
  EXPECT_EQ(image->slices[0]->sliceCountPerVolume, 64);
  EXPECT_EQ(image->slices[0]->timeSliceCount, 20);
  EXPECT_EQ(image->slices[64]->instanceNumber, 65);
  ASSERT_EQ(image->detectFrameLayout(), FRAME_LAYOUT_DYNAMIC);

  image->splitFrames();
  ASSERT_TRUE(image->isMultiFrame());
  ASSERT_EQ(image->frameCount, 20);
  for (int k = 0; k < 20; ++k) {
    SCOPED_TRACE("phase " + std::to_string(k));
    isImageData* frame = image->getFrame(k);
    ASSERT_NE(frame, nullptr);
    ASSERT_TRUE(frame->isVolume());
    int32_t dims[3];
    frame->getDimensions(dims);
    EXPECT_EQ(dims[0], 128);
    EXPECT_EQ(dims[1], 128);
    EXPECT_EQ(dims[2], 64);
    float spacing[3];
    frame->getSpacing(spacing);
    EXPECT_NEAR(spacing[2], 2.0f, 1e-4f);
    EXPECT_EQ(frame->getSlice(0)->modality, MODALITY_PT);

    // The probe pixel of this phase holds its sphere; the probes of the
    // neighbouring phases hold the body.
    const dcmfixtures::Voxel probe = dcmfixtures::petSphereVoxel(p, k);
    const SliceRecord* s = frame->getSlice(probe.z);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(sampleAt(*s, probe.x, probe.y), dcmfixtures::petSphereValue(k));
    for (int j : {k - 1, k + 1}) {
      if (j < 0 || j >= 20) continue;
      const dcmfixtures::Voxel other = dcmfixtures::petSphereVoxel(p, j);
      EXPECT_EQ(sampleAt(*frame->getSlice(other.z), other.x, other.y), dcmfixtures::kPetBodyValue) << "probe " << j;
    }
    // The sphere travels from the patient's right and anterior (phase 0) to
    // the left and posterior (phase 19).
    const cocos2d::Vec3 at = patientPoint(*s, probe.x, probe.y);
    if (k == 0) {
      EXPECT_TRUE(at.x < 0 && at.y < 0) << at.x << ", " << at.y;
    } else if (k == 19) {
      EXPECT_TRUE(at.x > 0 && at.y > 0) << at.x << ", " << at.y;
    }
  }
}
