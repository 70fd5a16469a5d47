// Shared helpers of the view tests: a headless engine with a running scene,
// a notification recorder, and small image data built in memory.
#pragma once

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "engine/platform/GLViewImpl.h"
#include "imaging/core/isImageData.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSNotificationCenter.h"

namespace viewtest {

constexpr float kFrame = 1.0f / 60.0f;

inline void stepFrames(int n = 1, float dt = kFrame) {
  for (int i = 0; i < n; ++i) cocos2d::Director::getInstance()->stepFrame(dt);
}

// A headless Director (800 × 600), a running scene and the notification
// centre's tick under way; the resource root is the build's resource tree.
struct HeadlessEngine {
  explicit HeadlessEngine(cocos2d::Size size = cocos2d::Size(800, 600)) {
#ifdef FW_BINARY_DIR
    cocos2d::FileUtils::getInstance()->setDefaultResourceRootPath(FW_BINARY_DIR "/resources/");
#endif
    auto* director = cocos2d::Director::getInstance();
    director->setOpenGLView(cocos2d::GLViewImpl::createHeadless(size));
    scene = cocos2d::Scene::create();
    director->runWithScene(scene);
    NSUI::NSNotificationCenter::getInstance();
    stepFrames(1, 0.6f);  // the centre's tick starts 0.5 s after it is made
  }
  ~HeadlessEngine() {
    if (auto* nc = NSUI::NSNotificationCenter::getInstance()) nc->removeAll();
    cocos2d::Director::getInstance()->end();
    cocos2d::Director::destroyInstance();
  }
  cocos2d::Scene* scene = nullptr;
};

struct Received {
  unsigned int id = 0;
  cocos2d::Ref* sender = nullptr;
  std::string text;
  int intValue = 0;
  float floatValue = 0.0f;
  int indexValue = 0;
  unsigned int frame = 0;
};

// Records what arrives for a set of ids on one object (null: broadcast).
struct Recorder {
  void listen(std::vector<int> ids, void* object) {
    auto* nc = NSUI::NSNotificationCenter::getInstance();
    for (int id : ids)
      nc->addObserver(this, object,
                      [this](cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* d) {
                        Received r;
                        r.id = id;
                        r.sender = sender;
                        if (d) {
                          r.text = d->text;
                          r.intValue = d->intValue;
                          r.floatValue = d->floatValue;
                          r.indexValue = d->indexValue;
                        }
                        r.frame = cocos2d::Director::getInstance()->getTotalFrames();
                        got.push_back(r);
                      },
                      id);
  }
  ~Recorder() {
    if (auto* nc = NSUI::NSNotificationCenter::getInstance()) nc->removeAllObservers(this);
  }
  std::vector<Received> of(unsigned int id) const {
    std::vector<Received> out;
    for (auto& r : got)
      if (r.id == id) out.push_back(r);
    return out;
  }
  std::string json(const Received& r, const char* key) const { return NSUI::UIJson::getJsonString(r.text, key); }
  std::vector<Received> got;
};

}  // namespace viewtest

#include "imaging/core/isGeometry.h"
#include "imaging/view/isRenderWindowBase.h"
#include "tools/vrdebug/phantom.h"

namespace viewtest {

// The generated CT phantom as head-first supine axial image data: slice k
// at patient z = z0 + k × sz, first pixel at patient (x0, y0). Identifier
// "phantom". The caller releases it.
inline isImageSDK::isImageData* makePhantomImage(int nx, int ny, int nz, float sx, float sy, float sz,
                                                 float x0 = -89.6f, float y0 = -89.6f, float z0 = -125.0f) {
  vrdebug::Phantom p;
  vrdebug::makeCtPhantom(p, nx, ny, nz, sx, sy, sz);
  const double row[3] = {1, 0, 0}, col[3] = {0, 1, 0}, pos[3] = {x0, y0, z0};
  const cocos2d::Mat4 m = isImageSDK::makeSliceMatrix(row, col, pos, 0, 0);
  auto* image = isImageSDK::isImageData::create();
  const int32_t dims[3] = {nx, ny, nz};
  const float spacing[3] = {sx, sy, sz};
  if (!image->buildVolume(dims, spacing, isImageSDK::ELEMENT_INT16, 0, 0, m)) return image;
  std::memcpy(image->volumeBuffer, p.voxels.data(), p.voxels.size() * sizeof(int16_t));
  for (auto* s : image->slices) {
    s->modality = isImageSDK::MODALITY_CT;
    s->windowWidth = 400.0f;
    s->windowCenter = 40.0f;
    s->displayCode = isImageSDK::DISPLAY_SIGNED;
  }
  image->setIdentifier("phantom");
  return image;
}

// Finishes a window made with new as the engine's create() does: the
// window initialised, autoreleased and sized; deleted (null) when its init
// fails.
template <class Window>
Window* initSized(Window* w, const cocos2d::Size& size) {
  if (!w->init()) {
    delete w;
    return nullptr;
  }
  w->autorelease();
  w->setContentSize(size);
  return w;
}

// The bare window base, made like the engine's nodes.
class BaseWindow : public isImageSDK::isRenderWindowBase {
 public:
  static BaseWindow* create(const cocos2d::Size& size) { return initSized(new BaseWindow(), size); }
};

}  // namespace viewtest
