// Shared helpers of the 2-D viewer tests: a headless engine (the image actor
// takes its CPU node), viewers made and placed like a cell does, a plain
// relay target, and the CT phantom built in memory in any patient position.
#pragma once

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "support/scratch_folder.h"
#include "imaging/core/isGeometry.h"
#include "imaging/core/isImageData.h"
#include "imaging/viewers/isViewerImage.h"
#include "tests/imaging/view/view_support.h"
#include "tools/vrdebug/phantom.h"

namespace viewertest {

// A temporary folder of this test program ("<prefix>-XXXXXX" the first
// time), removed with its content when the program ends; ends with "/".
inline const std::string& scratchFolder(const char* prefix = "viewer-test") {
  return fwtest::programScratchFolder(prefix);
}

using viewtest::HeadlessEngine;
using viewtest::Recorder;
using viewtest::Received;
using viewtest::stepFrames;

// A plain object standing as a cell: what the viewers post to it is
// recorded by spy observers with it as object.
class RelayTarget : public cocos2d::Ref {
 public:
  static RelayTarget* create() {
    auto* r = new RelayTarget();
    r->autorelease();
    return r;
  }
};

// A viewer of the given size at a position on the running scene.
inline isImageSDK::isViewerImage* addViewer(cocos2d::Scene* scene, cocos2d::Size size = cocos2d::Size(400, 300),
                                            cocos2d::Vec2 position = cocos2d::Vec2(0, 0)) {
  auto* v = isImageSDK::isViewerImage::create();
  if (!v) return nullptr;
  scene->addChild(v);
  v->setPosition(position);
  v->setContentSize(size);
  return v;
}

// A patient direction (x toward the patient's left, y posterior, z
// superior) in the display frame of that patient position.
inline cocos2d::Vec3 toDisplay(const cocos2d::Vec3& patient, int positionCode, int feetFirstCode) {
  double v[3] = {patient.x, patient.y, patient.z};
  isImageSDK::patientToDisplay(positionCode, feetFirstCode, v);
  return cocos2d::Vec3(static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2]));
}

// A display-frame direction in patient terms (the frame is a signed
// permutation, so its transpose undoes it).
inline cocos2d::Vec3 toPatient(const cocos2d::Vec3& display, int positionCode, int feetFirstCode) {
  cocos2d::Vec3 out;
  const cocos2d::Vec3 axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  float* o[3] = {&out.x, &out.y, &out.z};
  for (int a = 0; a < 3; ++a) *o[a] = toDisplay(axes[a], positionCode, feetFirstCode).dot(display);
  return out;
}

// The CT phantom as an axial volume acquired in the given patient position
// (Image Orientation 1\0\0\0\1\0): slice k at patient z = z0 + k × sz. The
// caller releases it.
inline isImageSDK::isImageData* makePhantom(int nx, int ny, int nz, int positionCode = 0, int feetFirstCode = 0,
                                            float sx = 1.0f, float sy = 1.0f, float sz = 2.0f) {
  vrdebug::Phantom p;
  vrdebug::makeCtPhantom(p, nx, ny, nz, sx, sy, sz);
  const double row[3] = {1, 0, 0}, col[3] = {0, 1, 0};
  const double pos[3] = {-0.5 * (nx - 1) * sx, -0.5 * (ny - 1) * sy, -0.5 * (nz - 1) * sz};
  const cocos2d::Mat4 m = isImageSDK::makeSliceMatrix(row, col, pos, positionCode, feetFirstCode);
  auto* image = isImageSDK::isImageData::create();
  const int32_t dims[3] = {nx, ny, nz};
  const float spacing[3] = {sx, sy, sz};
  if (!image->buildVolume(dims, spacing, isImageSDK::ELEMENT_INT16, positionCode, feetFirstCode, m)) return image;
  std::memcpy(image->volumeBuffer, p.voxels.data(), p.voxels.size() * sizeof(int16_t));
  for (auto* s : image->slices) {
    s->modality = isImageSDK::MODALITY_CT;
    s->windowWidth = 400.0f;
    s->windowCenter = 40.0f;
    s->displayCode = isImageSDK::DISPLAY_SIGNED;
    s->positionCode = positionCode;
    s->feetFirstCode = feetFirstCode;
  }
  image->setIdentifier("phantom");
  return image;
}

// Separate single slices (not a volume): each with its own matrix; the
// caller releases the image.
struct LooseSlice {
  cocos2d::Mat4 matrix;
  int width = 16, height = 12;
  float spacing = 1.0f;
  int modality = isImageSDK::MODALITY_CT;
  int displayCode = isImageSDK::DISPLAY_SIGNED;
};
inline isImageSDK::isImageData* makeLooseSlices(const std::vector<LooseSlice>& list) {
  auto* image = isImageSDK::isImageData::create();
  for (const LooseSlice& l : list) {
    const int32_t size[2] = {l.width, l.height};
    const float spacing[2] = {l.spacing, l.spacing};
    isImageSDK::SliceRecord* s = image->addSlice(size, 1, spacing, isImageSDK::ELEMENT_INT16, 0, 0, l.matrix);
    if (!s) continue;
    auto* px = static_cast<int16_t*>(s->pixels);
    for (int i = 0; i < l.width * l.height; ++i) px[i] = static_cast<int16_t>(i % 200);
    s->modality = l.modality;
    s->displayCode = l.displayCode;
    s->windowWidth = 200.0f;
    s->windowCenter = 100.0f;
  }
  image->setIdentifier("loose");
  return image;
}

}  // namespace viewertest
