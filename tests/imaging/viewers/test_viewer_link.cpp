// Linked 2-D views: the arithmetic of the zoom margin, the zoom and focal
// hand-over between views and the recentring when the focal point nears an
// edge; then two viewers of one series kept in step through a relay target
// that hands the notifications down as a viewer cell does.
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "command_support.h"
#include "toolkit/foundation/NSNotifyIds.h"

using namespace isImageSDK;
using cocos2d::Size;
using cocos2d::Vec2;
using cocos2d::Vec3;
using viewercmd::Delivery;
using viewercmd::drain;
using viewercmd::RecordingViewer;
using viewercmd::Spy;

namespace {

class ViewerLink : public viewercmd::ViewerTest {
 protected:
  void SetUp() override {
    ViewerTest::SetUp();
    volume = viewercmd::makeVolume();
  }
  void TearDown() override {
    ViewerTest::TearDown();
    volume->release();
  }
  isImageData* volume = nullptr;
};

NSUI::NSNotificationData* payload(float f, std::initializer_list<std::pair<const char*, std::string>> keys = {}) {
  auto* d = new NSUI::NSNotificationData();
  d->floatValue = f;
  for (auto& k : keys) NSUI::UIJson::setJsonString(d->text, k.first, k.second);
  return d;
}

// One notification sent down to the view by its relay target.
struct Step {
  int id;
  float factor;
  std::vector<std::pair<const char*, std::string>> keys;
};

struct Case {
  const char* what;
  Vec2 focalAt;  // where the focal point is shown before, window points
  float ratio;   // zoom ratio before
  std::vector<Step> steps;
  float margin;                // panMargin after
  float zoomAfter;             // expected zoom ratio after (≈)
  std::function<bool(Vec2 focalAfter)> focalCheck;  // where the focal point is shown after
};

bool near(float a, float b, float eps) { return std::fabs(a - b) <= eps; }

}  // namespace

TEST_F(ViewerLink, ZoomMarginHandOverAndRecentring) {
  const float m4 = 0.15f * std::pow(1.05f, 4.0f);  // about 0.182
  const float m3 = 0.15f * std::pow(1.05f, 3.0f);
  const Vec2 centre(200.0f, 150.0f);
  const std::vector<Case> cases = {
      // Each executed step zooms about the window centre, then pans the focal
      // point back inside the margin it had before the step.
      {"four zoom steps of 1.05", Vec2(20.0f, 150.0f), 1.0f,
       {{NOTIFY_ZOOM_STEP, 1.05f, {}}, {NOTIFY_ZOOM_STEP, 1.05f, {}}, {NOTIFY_ZOOM_STEP, 1.05f, {}}, {NOTIFY_ZOOM_STEP, 1.05f, {}}},
       m4, std::pow(1.05f, 4.0f), [m3](Vec2 p) { return near(p.x, 400.0f * m3, 0.5f) && near(p.y, 150.0f, 0.5f); }},
      {"a zoom-out step resets the margin", Vec2(200.0f, 150.0f), 1.0f,
       {{NOTIFY_ZOOM_STEP, 1.05f, {}}, {NOTIFY_ZOOM_STEP, 0.95f, {}}}, 0.15f, 1.05f * 0.95f, nullptr},
      {"a focal point inside the margin stays", Vec2(250.0f, 100.0f), 1.0f, {{NOTIFY_ZOOM_STEP, 1.05f, {}}}, 0.1575f, 1.05f,
       [centre](Vec2 p) { return near(p.x, 200.0f + 50.0f * 1.05f, 0.5f) && near(p.y, 150.0f - 50.0f * 1.05f, 0.5f); }},
      {"a zero factor only resets the margin", Vec2(20.0f, 150.0f), 1.0f,
       {{NOTIFY_ZOOM_STEP, 1.05f, {}}, {NOTIFY_ZOOM_STEP, 0.0f, {}}}, 0.15f, 1.05f, nullptr},
      {"a negative factor only resets the margin", Vec2(200.0f, 150.0f), 1.0f, {{NOTIFY_ZOOM_STEP, -2.0f, {}}}, 0.15f,
       1.0f, [](Vec2 p) { return near(p.x, 200.0f, 0.5f) && near(p.y, 150.0f, 0.5f); }},
      // The zoom total of a linked view: no further than the sender's ratio.
      {"zoomed in beyond the sender: no zoom", Vec2(200.0f, 150.0f), 2.5f,
       {{NOTIFY_SYNC_ZOOM, 1.05f, {{"zoomRatio", "2.0"}, {"focal2center", "0"}}}}, 0.15f, 2.5f, nullptr},
      {"just within the sender's ratio: zooms", Vec2(200.0f, 150.0f), 2.005f,
       {{NOTIFY_SYNC_ZOOM, 1.05f, {{"zoomRatio", "2.0"}, {"focal2center", "0"}}}}, 0.15f, 2.005f * 1.05f, nullptr},
      {"zoomed out beyond the sender: no zoom out", Vec2(200.0f, 150.0f), 1.5f,
       {{NOTIFY_SYNC_ZOOM, 0.95f, {{"zoomRatio", "2.0"}, {"focal2center", "0"}}}}, 0.15f, 1.5f, nullptr},
      // Without the sender's camera target the focal point is pulled toward
      // the centre, never pushed away from it.
      {"sender's focal point further out: nothing pans", Vec2(300.0f, 150.0f), 1.0f,
       {{NOTIFY_SYNC_ZOOM, 1.0f, {{"zoomRatio", "1.0"}, {"focal2center", "150.0"}}}}, 0.15f, 1.0f,
       [](Vec2 p) { return near(p.x, 300.0f, 0.5f) && near(p.y, 150.0f, 0.5f); }},
      {"sender's focal point nearer: pulled toward the centre", Vec2(260.0f, 70.0f), 1.0f,
       {{NOTIFY_SYNC_ZOOM, 1.0f, {{"zoomRatio", "1.0"}, {"focal2center", "40.0"}}}}, 0.15f, 1.0f,
       [centre](Vec2 p) {
         // 100 points away along (0.6, −0.8): 40 points away along the same line.
         return near(p.x, 200.0f + 24.0f, 0.5f) && near(p.y, 150.0f - 32.0f, 0.5f);
       }},
      // Probe ended: recentred only near an edge (m = 45 points of 300).
      {"10 points from the top edge: recentred", Vec2(200.0f, 290.0f), 1.0f, {{NOTIFY_SYNC_RECENTRE, 0.0f, {}}}, 0.15f, 1.0f,
       [centre](Vec2 p) { return p.distance(centre) < 0.5f; }},
      {"60 points from the edges: stays", Vec2(60.0f, 60.0f), 1.0f, {{NOTIFY_SYNC_RECENTRE, 0.0f, {}}}, 0.15f, 1.0f,
       [](Vec2 p) { return p.distance(Vec2(60.0f, 60.0f)) < 0.5f; }},
  };

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Spy* cell = new Spy();
    RecordingViewer* v = addViewer(Size(400, 300));
    show(v, volume);
    v->setRelayTarget(cell);
    drain();
    v->setZoomRatio(c.ratio);
    v->setFocal(v->worldAt(c.focalAt));
    const float ratioBefore = v->getZoomRatio();
    ASSERT_TRUE(near(ratioBefore, c.ratio, 1e-4f));
    ASSERT_TRUE(v->worldToScreen(v->focal()).distance(c.focalAt) < 0.1f);
    for (const Step& s : c.steps) {
      NSUI::NSNotificationData* d = payload(s.factor);
      for (auto& k : s.keys) NSUI::UIJson::setJsonString(d->text, k.first, k.second);
      v->onNotification(static_cast<unsigned>(s.id), d, cell);
      d->release();
    }
    EXPECT_NEAR(v->panMargin, c.margin, 1e-4f);
    EXPECT_NEAR(v->getZoomRatio(), c.zoomAfter, 1e-3f * c.zoomAfter);
    const Vec2 after = v->worldToScreen(v->focal());
    if (c.focalCheck) {
      EXPECT_TRUE(c.focalCheck(after)) << "focal point shown at " << after.x << ", " << after.y;
    }
    cell->release();
  }
}

// The zoom total with the sender's camera target centres this view on it;
// the zoom total this view sends carries its own target and distances.
TEST_F(ViewerLink, ZoomTotalCarriesTheCameraTarget) {
  Spy* cell = new Spy();
  cell->listen({NOTIFY_SYNC_ZOOM}, cell);
  RecordingViewer* a = addViewer(Size(400, 300));
  show(a, volume);
  a->setRelayTarget(cell);
  drain();
  a->zoomBy(1.5f);
  a->panBy(30.0f, -10.0f);
  a->setFocal(a->worldAt(Vec2(260.0f, 70.0f)));
  const Vec3 target = a->getCameraTarget();

  NSUI::NSNotificationData* d = payload(1.5f);
  NSUI::UIJson::setJsonString(d->text, "keep", "this");
  a->onNotification(NOTIFY_SYNC_ZOOM, d, a->getInteractor());
  drain();
  ASSERT_EQ(cell->of(NOTIFY_SYNC_ZOOM).size(), 1u);
  EXPECT_EQ(cell->of(NOTIFY_SYNC_ZOOM)[0].data, d);
  const std::string& t = d->text;
  // Appended in this order after what the payload held.
  const char* order[] = {"keep", "focal2center", "focal_x", "focal_y", "focal_z", "validFocal", "zoomRatio"};
  size_t at = 0;
  for (const char* key : order) {
    const size_t found = t.find(std::string("\"") + key + "\"");
    ASSERT_NE(found, std::string::npos) << key;
    EXPECT_GE(found, at) << key << " in " << t;
    at = found;
  }
  EXPECT_NEAR(NSUI::UIJson::getJsonFloat(t, "focal2center", -1), 100.0f, 0.1f);
  EXPECT_NEAR(NSUI::UIJson::getJsonFloat(t, "focal_x", 0), target.x, 1e-3f);
  EXPECT_NEAR(NSUI::UIJson::getJsonFloat(t, "focal_y", 0), target.y, 1e-3f);
  EXPECT_NEAR(NSUI::UIJson::getJsonFloat(t, "focal_z", 0), target.z, 1e-3f);
  EXPECT_EQ(NSUI::UIJson::getJsonInt(t, "validFocal", 0), 1);
  EXPECT_NEAR(NSUI::UIJson::getJsonFloat(t, "zoomRatio", 0), 1.5f, 1e-3f);

  // Sent down to a second view at its fitted size: zoomed to the same
  // ratio and centred on the first view's target.
  RecordingViewer* b = addViewer(Size(400, 300), Vec2(400, 0));
  show(b, volume);
  b->setRelayTarget(cell);
  drain();
  b->onNotification(NOTIFY_SYNC_ZOOM, d, cell);
  EXPECT_NEAR(b->getZoomRatio(), 1.5f, 1e-3f);
  EXPECT_LT(b->getCameraTarget().distance(target), 1e-2f);
  d->release();
  cell->release();
}

namespace {

// Hands what its viewers pass up back down as a viewer cell does: the steps
// to the viewer that raised them, the totals and the window to the others,
// a picked point to the others as the point to take.
class TestCell : public cocos2d::Ref {
 public:
  TestCell() {
    auto* nc = NSUI::NSNotificationCenter::getInstance();
    for (int id : {NOTIFY_DRAG_PAN, NOTIFY_ZOOM_STEP, NOTIFY_PINCH_ZOOM, NOTIFY_DRAG_WINDOW, NOTIFY_SYNC_PAN, NOTIFY_SYNC_ZOOM,
                   NOTIFY_SYNC_WINDOW, NOTIFY_FOCAL_POINT})
      nc->addObserver(this, this, [this](cocos2d::Ref* s, unsigned int id, NSUI::NSNotificationData* d) { hand(s, id, d); },
                      id);
  }
  ~TestCell() override {
    if (auto* nc = NSUI::NSNotificationCenter::getInstance()) nc->removeAllObservers(this);
  }
  void hand(cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* d) {
    const int code = static_cast<int>(id);
    for (RecordingViewer* v : viewers) {
      const bool raisedIt = v == sender;
      if (code == NOTIFY_DRAG_PAN || code == NOTIFY_ZOOM_STEP || code == NOTIFY_PINCH_ZOOM || code == NOTIFY_DRAG_WINDOW) {
        if (raisedIt) v->onNotification(id, d, this);
      } else if (code == NOTIFY_FOCAL_POINT) {
        if (!raisedIt) v->onNotification(NOTIFY_FOCAL_APPLY, d, this);
      } else if (!raisedIt) {
        v->onNotification(id, d, this);
      }
    }
  }
  std::vector<RecordingViewer*> viewers;
};

NSUI::NSNotificationData* pointPayload(std::initializer_list<std::pair<const char*, std::string>> keys, float f = 0.0f) {
  return payload(f, keys);
}

}  // namespace

TEST_F(ViewerLink, TwoViewersOfOneSeriesFollowEachOther) {
  auto* cell = new TestCell();
  RecordingViewer* a = addViewer(Size(400, 300));
  RecordingViewer* b = addViewer(Size(400, 300), Vec2(400, 0));
  for (RecordingViewer* v : {a, b}) {
    show(v, volume);
    v->setRelayTarget(cell);
    cell->viewers.push_back(v);
  }
  drain();
  auto* nc = NSUI::NSNotificationCenter::getInstance();
  auto fromTool = [&](RecordingViewer* v, int id, NSUI::NSNotificationData* d) {
    nc->postNotification(v->getInteractor(), id, d, v, true);
    d->release();
    drain();
  };

  // Pan: the drag moves the dragged view through the cell, the total the
  // other one.
  const Vec3 a0 = a->getCameraTarget(), b0 = b->getCameraTarget();
  fromTool(a, NOTIFY_DRAG_PAN, pointPayload({{"x", "25.0000"}, {"y", "-15.0000"}}));
  EXPECT_GT(a->getCameraTarget().distance(a0), 1.0f);
  EXPECT_LT(b->getCameraTarget().distance(b0), 1e-4f);
  fromTool(a, NOTIFY_SYNC_PAN, pointPayload({{"x", "25.0000"}, {"y", "-15.0000"}}));
  EXPECT_LT((b->getCameraTarget() - b0).distance(a->getCameraTarget() - a0), 1e-2f) << "both moved alike";

  // Zoom: steps zoom the pinched view, the total brings the other to the
  // same ratio, centred where the first one looks.
  fromTool(a, NOTIFY_ZOOM_STEP, pointPayload({}, 1.25f));
  EXPECT_NEAR(a->getZoomRatio(), 1.25f, 1e-3f);
  EXPECT_NEAR(b->getZoomRatio(), 1.0f, 1e-3f);
  fromTool(a, NOTIFY_SYNC_ZOOM, pointPayload({}, 1.25f));
  EXPECT_NEAR(a->getZoomRatio(), 1.25f, 1e-3f) << "the sender does not zoom twice";
  EXPECT_NEAR(b->getZoomRatio(), 1.25f, 1e-3f);
  EXPECT_LT(b->getCameraTarget().distance(a->getCameraTarget()), 1e-2f);

  // Window: the drag changes the dragged view, the end of the drag the other.
  const float ww0 = a->actor()->getClut()->windowWidth;
  fromTool(a, NOTIFY_DRAG_WINDOW, pointPayload({{"ww", "100.50"}, {"wl", "-20.00"}}));
  EXPECT_GT(a->actor()->getClut()->windowWidth, ww0 + 100.0f);
  EXPECT_NEAR(b->actor()->getClut()->windowWidth, ww0, 1e-3f);
  fromTool(a, NOTIFY_SYNC_WINDOW, pointPayload({}));
  EXPECT_EQ(b->actor()->getClut()->windowWidth, std::trunc(a->actor()->getClut()->windowWidth));
  EXPECT_EQ(b->actor()->getClut()->windowCentre, std::trunc(a->actor()->getClut()->windowCentre));

  // Point: picked in the first view on its own slice; the second view takes
  // it onto its plane.
  b->showPlane(1);
  drain();
  const int sliceA = a->actor()->getSliceIndex();
  const Vec3 picked = a->worldAt(Vec2(120.0f, 200.0f));
  fromTool(a, NOTIFY_FOCAL_POINT,
           pointPayload({{"x", std::to_string(picked.x)}, {"y", std::to_string(picked.y)}, {"z", std::to_string(picked.z)}}));
  EXPECT_LT(a->focal().distance(picked), 1e-3f);
  EXPECT_EQ(a->actor()->getSliceIndex(), sliceA) << "the picking view keeps its slice";
  EXPECT_NEAR(b->focal().y, picked.y, 1e-3f);
  EXPECT_NEAR(b->focal().z, picked.z, 1e-3f);
  cell->release();
}
