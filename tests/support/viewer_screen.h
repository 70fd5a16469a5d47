// The viewer screen put together by hand for tests of its tools: the screen
// at a given size with its frame ("root" from "singleViewPC.csb"), top bar
// and observers bound, and a multi-view of the test's own making as its
// image area. The multi-view records the screen's direct commands and the
// notifications that reach it instead of acting on them, so a test reads
// what a click asked for without the cells changing underneath it.
//
//   auto* screen = fwtest::ScreenProbe::make(scene, Size(1280, 800));
//   auto* multi = fwtest::RecordingMulti::create();
//   fwtest::attachMulti(screen, multi);   // before the cells: see there
//   multi->addView(0, true, Rect(Vec2::ZERO, screen->viewerArea().size), image);
//   screen->showToolPage(imageViewerPC::TOOL_PAGE_2D);
//
// UI thread only.
#pragma once

#include <string>
#include <vector>

#include "app/viewer/imageViewerPC.h"
#include "engine/cocos2d.h"
#include "engine/ui/Helper.h"
#include "imaging/viewers/isViewerMulti.h"
#include "toolkit/foundation/NSNotificationCenter.h"

namespace fwtest {

// The screen with its protected handlers in reach.
class ScreenProbe : public imageViewerPC {
 public:
  CREATE_FUNC(ScreenProbe);

  // A screen of `size` named "imageViewPC" on `scene`, its frame loaded
  // when its own init has not, its controls bound; it loads no series.
  static ScreenProbe* make(cocos2d::Scene* scene, const cocos2d::Size& size) {
    ScreenProbe* screen = ScreenProbe::create();
    if (!screen) return nullptr;
    screen->setName("imageViewPC");
    screen->setContentSize(size);
    if (!screen->getChildByName("root")) {
      if (cocos2d::Node* root = cocos2d::CSLoader::createNode("singleViewPC.csb")) {
        root->setName("root");
        root->setContentSize(size);
        cocos2d::ui::Helper::doLayout(root);
        if (cocos2d::Node* tool = root->getChildByNameDeep("tool")) tool->setVisible(false);
        screen->addChild(root);
      }
    }
    // No loading at the first entry: the test hands the screen its
    // multi-view itself.
    screen->firstEntry = false;
    scene->addChild(screen);
    screen->bindControls();
    return screen;
  }

  using imageViewerPC::onDicomMetaInfo;
  using imageViewerPC::onPlayState;
  using imageViewerPC::onQuickToolShow;
  using imageViewerPC::onShowDicomMenu;
  using imageViewerPC::onToolsRelayout;
  using imageViewerPC::onViewerCleanup;
  using imageViewerPC::onViewGeometry;
  using imageViewerPC::onWindowApply;
  using imageViewerPC::onWindowInput;
  using imageViewerPC::openedEditor;
};

// A multi-view that records instead of acting.
class RecordingMulti : public isImageSDK::isViewerMulti {
 public:
  struct Call {
    unsigned int id = 0;
    int intValue = 0;      // the data's integer (handleCommand) or the value
    float floatValue = 0;  // handleCommandFloat
    cocos2d::Ref* sender = nullptr;  // notifications only
    bool posted = false;             // arrived as a notification
  };

  static RecordingMulti* create() {
    auto* m = new RecordingMulti();
    if (!m->init()) {
      delete m;
      return nullptr;
    }
    m->autorelease();
    return m;
  }

  void handleCommand(unsigned int id, NSUI::NSNotificationData* data) override {
    calls.push_back({id, data ? data->intValue : 0, 0.0f, nullptr, false});
  }
  void handleCommandInt(unsigned int id, int value) override { calls.push_back({id, value, 0.0f, nullptr, false}); }
  void handleCommandFloat(unsigned int id, float value) override {
    calls.push_back({id, 0, value, nullptr, false});
  }
  void onNotification(cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data) override {
    calls.push_back({id, data ? data->intValue : 0, 0.0f, sender, true});
  }

  // The calls with that id.
  std::vector<Call> callsOf(unsigned int id) const {
    std::vector<Call> out;
    for (const Call& c : calls)
      if (c.id == id) out.push_back(c);
    return out;
  }

  std::vector<Call> calls;
};

// The multi-view as the screen's image area: placed at the viewer area,
// added behind the screen's widgets (unless the screen already holds it)
// and handed to the screen. Done before cells are added, as the layout
// manager does: a render window takes its place on the screen when it is
// made.
inline void attachMulti(imageViewerPC* screen, isImageSDK::isViewerMulti* multi) {
  const cocos2d::Rect area = screen->viewerArea();
  multi->setContentSize(area.size);
  multi->setPosition(area.origin);
  screen->attachViewerMulti(multi);
  if (!multi->getParent()) screen->addChild(multi, -100);
}

}  // namespace fwtest
