// Enhanced multi-frame MR: the file reader takes rescale, window and geometry
// from the functional groups, and a folder holding such a file opens as a
// volume of its frames, each at its own position.
#include <gtest/gtest.h>

#include <cmath>

#include "imaging/core/isBinReader.h"
#include "imaging/core/isDcmReader.h"
#include "imaging/core/isFolderScan.h"
#include "imaging/core/isImageData.h"
#include "series_fixtures.h"
#include "tools/dcmfixtures/extras.h"

using namespace isImageSDK;
using namespace seriestest;

namespace {

// Rescaled sample a reader must deliver (float element type: slope 2.1079).
float expected(const dcmfixtures::EnhancedMr& e, int x, int y, int frame) {
  return static_cast<float>(dcmfixtures::enhancedSample(e, x, y, frame)) * static_cast<float>(e.slope) +
         static_cast<float>(e.intercept);
}

TEST(EnhancedMr, FileReaderTakesRescaleWindowAndGeometryFromTheGroups) {
  for (bool shared : {true, false}) {
    SCOPED_TRACE(shared ? "shared groups" : "per-frame groups");
    dcmfixtures::EnhancedMr e;
    e.shared = shared;
    const std::string path = writable() + (shared ? "enhanced_shared.dcm" : "enhanced_own.dcm");
    dcmfixtures::writeEnhancedMr(path, e);
    isDcmReader* reader = isDcmReader::create();
    reader->setFileName(path);
    isImageData* image = reader->getOutputImage();
    image->update();
    ASSERT_TRUE(image->hasData);
    const SliceRecord* s = image->getSlice(0);
    ASSERT_NE(s, nullptr);
    EXPECT_FLOAT_EQ(s->rescaleSlope, 2.1079f);
    EXPECT_FLOAT_EQ(s->rescaleIntercept, -3.0f);
    EXPECT_FLOAT_EQ(s->windowCenter, 1070.0f);
    EXPECT_FLOAT_EQ(s->windowWidth, 1860.0f);
    EXPECT_FLOAT_EQ(s->spacingX, 0.6f);
    EXPECT_FLOAT_EQ(s->spacingY, 0.8f);
    EXPECT_TRUE(s->geometryValid);
    EXPECT_EQ(s->frameCount, e.frames);
    ASSERT_EQ(s->elementType, ELEMENT_FLOAT);
    // HFS maps (x, y, z) to (x, z, -y): the first frame's position.
    EXPECT_FLOAT_EQ(s->matrix.m[12], -6.0f);
    EXPECT_FLOAT_EQ(s->matrix.m[13], -20.0f);
    EXPECT_FLOAT_EQ(s->matrix.m[14], 4.5f);
    const float* px = static_cast<const float*>(s->pixels);
    const size_t plane = static_cast<size_t>(e.width) * e.height;
    EXPECT_FLOAT_EQ(px[7 * plane + 3 * e.width + 5], expected(e, 5, 3, 7));
    reader->release();
  }
}

struct ScanCase {
  const char* name;
  bool shared, descending;
  double step;
  bool volume;
};

void checkScanned(const ScanCase& c, const dcmfixtures::EnhancedMr& e, isBinReader* reader, isImageData* image) {
  std::lock_guard<std::recursive_mutex> lock(reader->dataMutex);
  ASSERT_TRUE(image->hasData);
  EXPECT_EQ(image->volumeLayout, c.volume);
  if (!c.volume) {
    ASSERT_EQ(image->slices.size(), 1u);
    EXPECT_EQ(image->slices[0]->frameCount, e.frames);
    EXPECT_FLOAT_EQ(image->slices[0]->rescaleSlope, 2.1079f);
    return;
  }
  EXPECT_EQ(image->dimensions[0], e.width);
  EXPECT_EQ(image->dimensions[1], e.height);
  ASSERT_EQ(image->dimensions[2], e.frames);
  EXPECT_FLOAT_EQ(image->spacing[0], 0.6f);
  EXPECT_FLOAT_EQ(image->spacing[1], 0.8f);
  EXPECT_NEAR(image->spacing[2], 2.5f, 1e-4);
  ASSERT_EQ(image->slices.size(), static_cast<size_t>(e.frames));
  for (int k = 0; k < e.frames; ++k) {
    const SliceRecord* s = image->slices[static_cast<size_t>(k)];
    // Slice k lies at z0 + k × 2.5 along the normal, whatever the order
    // of the frames in the file; its samples are that frame's.
    EXPECT_NEAR(s->matrix.m[13], -20.0 + 2.5 * k, 1e-4) << "slice " << k;
    EXPECT_NEAR(s->matrix.m[12], -6.0, 1e-4);
    EXPECT_NEAR(s->matrix.m[14], 4.5, 1e-4);
    EXPECT_FLOAT_EQ(s->windowCenter, 1070.0f);
    EXPECT_FLOAT_EQ(s->windowWidth, 1860.0f);
    EXPECT_FLOAT_EQ(s->rescaleSlope, 2.1079f);
    ASSERT_TRUE(s->pixelsLoaded);
    ASSERT_EQ(s->elementType, ELEMENT_FLOAT);
    const int frame = c.descending ? e.frames - 1 - k : k;
    const float* px = static_cast<const float*>(s->pixels);
    for (int y = 0; y < e.height; y += 5)
      for (int x = 0; x < e.width; x += 3)
        ASSERT_FLOAT_EQ(px[static_cast<size_t>(y) * e.width + x], expected(e, x, y, frame))
            << "slice " << k << " x " << x << " y " << y;
  }
}

TEST(EnhancedMr, FolderOpensAsAVolumeOfFramesAtTheirOwnPositions) {
  const ScanCase cases[] = {
      {"ascending", true, false, 2.5, true},
      {"descending", true, true, 2.5, true},  // stored against the normal: reordered
      {"per_frame_groups", false, false, 2.5, true},
      {"one_location", true, false, 0.0, false},  // frames of one place: stays one multi-frame image
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    dcmfixtures::EnhancedMr e;
    e.shared = c.shared;
    e.descending = c.descending;
    e.step = c.step;
    const std::string folder = seriesFolder(std::string("enhanced_") + c.name);
    std::filesystem::create_directories(folder);
    dcmfixtures::writeEnhancedMr(folder + "mr.dcm", e);
    {
      isDcmScan scan;
      ASSERT_TRUE(scan.createCache(folder));
    }
    isBinReader* reader = isBinReader::create();
    ASSERT_TRUE(reader->setFileName(folder, isDcmScan::getCacheFileName(folder)));
    isImageData* image = reader->getOutputImage();
    image->update();
    ASSERT_TRUE(pumpUntil([&] { return reader->isLoadComplete(); }));
    EXPECT_TRUE(reader->getFailedSlices().empty());
    checkScanned(c, e, reader, image);
    reader->release();  // not under the data lock: its worker may still write the pixel cache
  }
}

}  // namespace
