// Shared pieces of the 2-D viewer command and linked-view tests: a headless
// engine whose settings live in a folder of their own, a plain object that
// stands where a viewer cell would (the viewer's relay target) and records
// what reaches it, a viewer that records what the notification centre hands
// it, and small images built in memory.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "imaging/core/isImageData.h"
#include "imaging/view/isActorImage.h"
#include "imaging/viewers/isViewerImage.h"
#include "tests/imaging/view/view_support.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSNotificationCenter.h"

namespace viewercmd {

using viewtest::stepFrames;

// A delivery as an observer saw it. The payload is retained so that its
// address stays its own for the whole test.
struct Delivery {
  unsigned int id = 0;
  cocos2d::Ref* sender = nullptr;
  NSUI::NSNotificationData* data = nullptr;
  std::string text;
  int intValue = 0;
  float floatValue = 0.0f;
  int taskValue = 0;
  void* userData = nullptr;
  cocos2d::Ref* object = nullptr;
  unsigned int frame = 0;
};

// Records every delivery of a set of ids on one channel (an object, or null
// for the broadcast channel).
class Spy : public cocos2d::Ref {
 public:
  Spy() = default;
  ~Spy() override {
    if (auto* nc = NSUI::NSNotificationCenter::getInstance()) nc->removeAllObservers(this);
    for (auto& d : got)
      if (d.data) d.data->release();
  }
  void listen(const std::vector<int>& ids, void* channel) {
    auto* nc = NSUI::NSNotificationCenter::getInstance();
    for (int id : ids)
      nc->addObserver(this, channel,
                      [this](cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data) {
                        Delivery d;
                        d.id = id;
                        d.sender = sender;
                        d.data = data;
                        if (data) {
                          data->retain();
                          d.text = data->text;
                          d.intValue = data->intValue;
                          d.floatValue = data->floatValue;
                          d.taskValue = data->taskValue;
                          d.userData = data->userData;
                          d.object = data->object;
                        }
                        d.frame = cocos2d::Director::getInstance()->getTotalFrames();
                        got.push_back(d);
                      },
                      id);
  }
  std::vector<Delivery> of(int id) const {
    std::vector<Delivery> out;
    for (auto& d : got)
      if (static_cast<int>(d.id) == id) out.push_back(d);
    return out;
  }
  std::vector<Delivery> got;
};

// The viewer with a record of every id the notification centre delivers to
// it, and with its protected fields in reach of the tests.
class RecordingViewer : public isImageSDK::isViewerImage {
 public:
  static RecordingViewer* make(const cocos2d::Size& size) { return viewtest::initSized(new RecordingViewer(), size); }

  void onNotificationReceived(cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data) override {
    received.push_back({id, sender});
    isViewerImage::onNotificationReceived(sender, id, data);
  }

  isImageSDK::isActorImage* actor() const { return actorManager ? actorManager->getImageActor() : nullptr; }
  isImageSDK::isCamera* camera() const { return sceneCamera; }
  cocos2d::Vec3 focal() const { return cocos2d::Vec3(planeFrame.m[12], planeFrame.m[13], planeFrame.m[14]); }
  void setFocal(const cocos2d::Vec3& p) {
    planeFrame.m[12] = p.x;
    planeFrame.m[13] = p.y;
    planeFrame.m[14] = p.z;
  }
  // The world point shown at a window point, on the plane of the camera
  // target.
  cocos2d::Vec3 worldAt(const cocos2d::Vec2& screen) const {
    cocos2d::Vec3 t, w;
    sceneCamera->worldToScreen(sceneCamera->getTarget(), &t);
    sceneCamera->screenToWorld(cocos2d::Vec3(screen.x, screen.y, t.z), &w);
    return w;
  }

  struct Received {
    unsigned int id;
    cocos2d::Ref* sender;
  };
  std::vector<Received> received;

 protected:
  RecordingViewer() = default;
};

// A small head-first supine axial CT volume (the phantom of the ray caster),
// and a single ultrasound image of `frames` frames whose frame k holds the
// byte value 10·(k+1) in every sample. The caller releases them.
inline isImageSDK::isImageData* makeVolume() { return viewtest::makePhantomImage(48, 48, 24, 4.0f, 4.0f, 8.0f); }

inline isImageSDK::isImageData* makeSingleImage(int frames = 1, int width = 40, int height = 30) {
  auto* image = isImageSDK::isImageData::create();
  const int32_t size[2] = {width, height};
  const float spacing[2] = {0.5f, 0.5f};
  isImageSDK::SliceRecord* s = image->addSlice(size, frames, spacing, isImageSDK::ELEMENT_UINT8, 0, 0,
                                               cocos2d::Mat4::IDENTITY);
  if (!s) return image;
  const size_t frame = static_cast<size_t>(width) * static_cast<size_t>(height);
  for (int k = 0; k < frames; ++k)
    std::memset(static_cast<uint8_t*>(s->pixels) + frame * static_cast<size_t>(k), 10 * (k + 1), frame);
  s->modality = isImageSDK::MODALITY_US;
  s->windowWidth = 256.0f;
  s->windowCenter = 128.0f;
  s->filePath = "/nonexistent/us.dcm";
  image->setIdentifier(frames > 1 ? "us-cine" : "us-single");
  return image;
}

// Lets every queued notification through (the serial queue hands one over
// per frame).
inline void drain(int frames = 40) { stepFrames(frames); }

// The engine of the viewer tests (one for the whole suite: the notification
// centre ticks on the scheduler of the first engine), with the settings
// store in a temporary folder of each test.
class ViewerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { engine = std::make_unique<viewtest::HeadlessEngine>(); }
  static void TearDownTestSuite() { engine.reset(); }
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "viewercmd-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    folder = pattern + "/";
    cocos2d::FileUtils::getInstance()->setWritablePath(folder);
    cocos2d::UserDefault::destroyInstance();
  }
  void TearDown() override {
    for (auto* v : viewers) {
      v->getParent()->removeFromParentAndCleanup(true);
      v->release();
    }
    viewers.clear();
    drain();
    cocos2d::UserDefault::destroyInstance();
    std::filesystem::remove_all(folder);
  }
  // A viewer of that size at a position inside a holder node on the scene
  // (the cell's place), retained by the test. Its zoom ratio is 1 at the
  // fitted view once data is set and notifyViewChanged has run.
  RecordingViewer* addViewer(const cocos2d::Size& size = cocos2d::Size(400, 300), cocos2d::Vec2 at = cocos2d::Vec2::ZERO) {
    RecordingViewer* v = RecordingViewer::make(size);
    if (!v) return nullptr;
    v->retain();
    auto* holder = cocos2d::Node::create();
    engine->scene->addChild(holder);
    holder->addChild(v);
    v->setPosition(at);
    viewers.push_back(v);
    return v;
  }

  // Takes a viewer of addViewer off the scene and lets it go.
  void removeViewer(RecordingViewer* v) {
    auto it = std::find(viewers.begin(), viewers.end(), v);
    if (it == viewers.end()) return;
    viewers.erase(it);
    v->getParent()->removeFromParentAndCleanup(true);
    v->release();
  }
  // Data in a viewer, with the fitted view as zoom ratio 1.
  static void show(RecordingViewer* v, isImageSDK::isImageData* data) {
    v->setImageData(data);
    v->notifyViewChanged();
  }

  std::string folder;
  static inline std::unique_ptr<viewtest::HeadlessEngine> engine;
  std::vector<RecordingViewer*> viewers;
};

}  // namespace viewercmd
