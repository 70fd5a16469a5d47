// The 2-D viewer's command entry: which ids it passes up to its relay target
// (to which object, on which queue, with which payload) and which it runs,
// for each way an id reaches it; then the maximise toggle, the capture of
// the shown slice and the full-information setting.
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>

#include "command_support.h"
#include "engine/base/base64.h"
#include "imaging/view/isActorCrossLine.h"
#include "imaging/view/isActorOverlay.h"
#include "imaging/view/isActorROI.h"
#include "imaging/view/isInteractorImage.h"
#include "toolkit/foundation/NSFormat.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "toolkit/foundation/UILocalConfig.h"

using namespace isImageSDK;
using cocos2d::Size;
using cocos2d::Vec2;
using cocos2d::Vec3;
using viewercmd::Delivery;
using viewercmd::drain;
using viewercmd::RecordingViewer;
using viewercmd::Spy;
using viewercmd::stepFrames;

namespace {

// What a viewer shows and how, as far as the commands change it.
struct State {
  int slice = 0;
  bool visible = true;
  float ww = 0, wl = 0;
  int curve = 0;
  int interpolation = 0;
  float slab = 0;
  int kind = 0;
  int orientation = 0;
  int tool = -1;
  Vec3 eye, target;
  float zoom = 0, zoomRatio = 0;
  Vec3 focal;
  bool fullInfo = false;
  bool maximized = false;
  size_t rois = 0;
  uint32_t colour0 = 0;
  bool marker = false;
  size_t captures = 0;

  bool operator==(const State& o) const {
    return slice == o.slice && visible == o.visible && ww == o.ww && wl == o.wl && curve == o.curve &&
           interpolation == o.interpolation && slab == o.slab && kind == o.kind && orientation == o.orientation &&
           tool == o.tool && eye == o.eye && target == o.target && zoom == o.zoom && zoomRatio == o.zoomRatio &&
           focal == o.focal && fullInfo == o.fullInfo && maximized == o.maximized && rois == o.rois &&
           colour0 == o.colour0 && marker == o.marker && captures == o.captures;
  }
};

// How an id reaches the viewer: observed on itself, on the broadcast
// channel, or called by its holder.
enum class Path { kObserved, kBroadcast, kDirect };

// What the viewer does with it.
enum class Outcome {
  kNothing,         // neither passed up nor run
  kRun,             // run here, nothing passed up
  kUpImmediate,     // passed up on the immediate queue, not run
  kUpSerial,        // passed up on the serial queue, not run
  kUpImmediateRun,  // passed up (immediate) and run here as well
};

// The three senders of the table.
enum class From { kOwnWithTarget, kTarget, kNoTarget };

const char* fromName(From f) {
  return f == From::kOwnWithTarget ? "own window, relay target set" : f == From::kTarget ? "relay target" : "no relay target";
}

using Prepare = std::function<void(RecordingViewer*)>;
using Payload = std::function<NSUI::NSNotificationData*(RecordingViewer*)>;
using Effect = std::function<bool(const State& before, const State& after)>;

struct Row {
  int id;
  Path path;
  bool volume;  // the CT volume, else a single ultrasound image
  Outcome own, fromTarget, alone;
  Payload payload;  // null: no payload
  Prepare prepare;  // null: nothing
  Effect effect;    // what running it changes
  bool samePayload = true;  // passed up as the very object received
  std::string upText;       // when set: the text passed up
};

NSUI::NSNotificationData* json(std::initializer_list<std::pair<const char*, const char*>> pairs) {
  auto* d = new NSUI::NSNotificationData();
  for (auto& p : pairs) NSUI::UIJson::setJsonString(d->text, p.first, p.second);
  return d;
}
Payload text(std::initializer_list<std::pair<const char*, const char*>> pairs) {
  std::vector<std::pair<const char*, const char*>> copy(pairs);
  return [copy](RecordingViewer*) {
    auto* d = new NSUI::NSNotificationData();
    for (auto& p : copy) NSUI::UIJson::setJsonString(d->text, p.first, p.second);
    return d;
  };
}
Payload number(float f, int i = 0) {
  return [f, i](RecordingViewer*) {
    auto* d = new NSUI::NSNotificationData();
    d->floatValue = f;
    d->intValue = i;
    return d;
  };
}
Payload empty() {
  return [](RecordingViewer*) { return new NSUI::NSNotificationData(); };
}
Payload taskOwnId() {
  return [](RecordingViewer* v) {
    auto* d = new NSUI::NSNotificationData();
    d->taskValue = static_cast<int>(v->getRefID());
    return d;
  };
}

constexpr int kFiller = 424242;

class ViewerCommands : public viewercmd::ViewerTest {
 protected:
  void SetUp() override {
    ViewerTest::SetUp();
    volume = viewercmd::makeVolume();
    single = viewercmd::makeSingleImage();
    broadcast = new Spy();
    broadcast->listen({NOTIFY_QUICK_TOOL_SHOW, NOTIFY_MAXIMISE_STATE, NOTIFY_FAVOURITE_SAVE}, nullptr);
  }
  void TearDown() override {
    freeCaptures();
    broadcast->release();
    ViewerTest::TearDown();
    volume->release();
    single->release();
  }
  // The slice copies are the receiver's: the test frees each once.
  void freeCaptures() {
    const std::vector<Delivery> copies = broadcast->of(NOTIFY_FAVOURITE_SAVE);
    for (; freedCopies < copies.size(); ++freedCopies) {
      auto* copy = static_cast<SliceRecord*>(copies[freedCopies].userData);
      if (!copy) continue;
      std::free(copy->pixels);
      delete copy;
    }
  }

  State snap(RecordingViewer* v) {
    State s;
    isActorImage* a = v->actor();
    if (a) {
      s.slice = a->getSliceIndex();
      s.ww = a->getClut()->windowWidth;
      s.wl = a->getClut()->windowCentre;
      s.curve = a->getClut()->curveMode;
      s.interpolation = a->getPlane()->getInterpolationMode();
      s.slab = a->getSlabThickness();
      s.orientation = a->getPlaneOrientation();
      s.colour0 = a->getClut()->colorTable ? a->getClut()->colorTable[0] : 0;
    }
    s.visible = v->isContentVisible();
    s.kind = v->viewKind;
    if (auto* tool = dynamic_cast<isInteractorImage*>(v->getInteractor())) s.tool = tool->getToolMode();
    const CameraState c = v->getCameraState();
    s.eye = c.eye;
    s.target = c.target;
    s.zoom = c.zoom;
    s.zoomRatio = v->getZoomRatio();
    s.focal = v->focal();
    s.fullInfo = v->showFullInfo;
    s.maximized = v->maximized;
    if (auto* rois = v->getROIActor()) s.rois = rois->getROIActors().size();
    if (auto* lines = v->getActorManager()->getCrossLineActor()) s.marker = lines->isMarkerShown();
    s.captures = broadcast->of(NOTIFY_FAVOURITE_SAVE).size();
    return s;
  }

  // Sends the row's id once the way the row says and checks the outcome.
  void check(const Row& row, From from) {
    SCOPED_TRACE(::testing::Message() << "id " << row.id << ", " << fromName(from) << (row.volume ? ", volume" : ", single image"));
    Spy* cell = new Spy();
    cell->listen({row.id, kFiller}, cell);
    NSUI::UILocalConfig::setStringForKeyNoFlush(NSUI::kShowDcmFullInfoSetting, "0");
    RecordingViewer* v = addViewer();
    ASSERT_NE(v, nullptr);
    show(v, row.volume ? volume : single);
    if (from != From::kNoTarget) v->setRelayTarget(cell);
    if (row.prepare) row.prepare(v);
    drain();
    cell->got.clear();
    v->received.clear();
    const State before = snap(v);
    const size_t shownBefore = broadcast->of(NOTIFY_QUICK_TOOL_SHOW).size();

    NSUI::NSNotificationData* data = row.payload ? row.payload(v) : nullptr;
    cocos2d::Ref* sender = from == From::kTarget ? static_cast<cocos2d::Ref*>(cell) : v->getInteractor();
    auto* nc = NSUI::NSNotificationCenter::getInstance();
    // Two serial entries ahead of whatever the viewer queues: an immediate
    // post arrives no later than the second, a serial one after it.
    for (int i = 0; i < 2; ++i) nc->postNotificationInt(nullptr, kFiller, i, cell, false);
    switch (row.path) {
      case Path::kObserved: nc->postNotification(sender, row.id, data, v, true); break;
      case Path::kBroadcast: nc->postNotification(sender, row.id, data, nullptr, true); break;
      case Path::kDirect: v->onNotification(static_cast<unsigned>(row.id), data, sender); break;
    }
    for (int i = 0; i < 600 && cell->of(kFiller).size() < 2; ++i) stepFrames(1);
    drain(5);
    const State after = snap(v);

    const Outcome expected = from == From::kOwnWithTarget ? row.own : from == From::kTarget ? row.fromTarget : row.alone;
    std::vector<Delivery> up = cell->of(row.id);
    const std::vector<Delivery> fillers = cell->of(kFiller);
    ASSERT_EQ(fillers.size(), 2u);
    const bool passedUp = expected == Outcome::kUpImmediate || expected == Outcome::kUpSerial ||
                          expected == Outcome::kUpImmediateRun;
    if (passedUp) {
      ASSERT_EQ(up.size(), 1u) << "passed up once to the relay target";
      EXPECT_EQ(up[0].sender, v);
      if (row.samePayload) {
        EXPECT_EQ(up[0].data, data) << "the payload received travels on";
      }
      if (!row.upText.empty()) {
        EXPECT_EQ(up[0].text, row.upText);
      }
      const bool immediate = up[0].frame <= fillers[1].frame;
      EXPECT_EQ(immediate, expected != Outcome::kUpSerial) << "queue";
    } else {
      EXPECT_TRUE(up.empty()) << "nothing passed up";
    }
    if (row.id == NOTIFY_FOCUS_REQUEST) {
      // Passed up, then the quick tools are asked for this window.
      std::vector<Delivery> shown = broadcast->of(NOTIFY_QUICK_TOOL_SHOW);
      shown.erase(shown.begin(), shown.begin() + static_cast<long>(shownBefore));
      ASSERT_EQ(shown.size(), passedUp ? 1u : 0u);
      if (passedUp) {
        EXPECT_EQ(shown[0].sender, v);
        EXPECT_EQ(shown[0].object, v);
        EXPECT_GT(shown[0].frame, up[0].frame) << "after the relay, on the serial queue";
      }
    }
    const bool runs = expected == Outcome::kRun || expected == Outcome::kUpImmediateRun;
    if (runs) {
      ASSERT_TRUE(row.effect) << "a row that runs names its effect";
      EXPECT_TRUE(row.effect(before, after)) << "the command ran";
    } else {
      EXPECT_TRUE(before == after) << "nothing changed in the view";
    }
    // A viewer never hears its own posts.
    for (auto& r : v->received) EXPECT_NE(r.sender, v) << "id " << r.id;
    if (data) data->release();
    removeViewer(v);
    drain(2);
    cell->release();
    freeCaptures();
  }

  void run(const std::vector<Row>& rows) {
    for (const Row& row : rows)
      for (From f : {From::kOwnWithTarget, From::kTarget, From::kNoTarget}) check(row, f);
  }

  isImageData* volume = nullptr;
  isImageData* single = nullptr;
  Spy* broadcast = nullptr;
  size_t freedCopies = 0;
};

bool near(float a, float b, float eps = 1e-3f) { return std::fabs(a - b) <= eps; }

using O = Outcome;
constexpr Path kObs = Path::kObserved;
constexpr Path kBc = Path::kBroadcast;
constexpr Path kDir = Path::kDirect;

Effect toolMode(int mode) {
  return [mode](const State& b, const State& a) { return b.tool != mode && a.tool == mode; };
}
Effect cameraMoved() {
  return [](const State& b, const State& a) { return b.target.distance(a.target) > 1e-3f; };
}
Effect zoomed() {
  return [](const State& b, const State& a) { return !near(b.zoom, a.zoom, 1e-6f); };
}
Effect focalMoved() {
  return [](const State& b, const State& a) { return b.focal.distance(a.focal) > 1e-3f; };
}
Effect kindBecomes(int kind) {
  return [kind](const State& b, const State& a) { return b.kind != kind && a.kind == kind; };
}
Prepare toolFirst(int mode) {
  return [mode](RecordingViewer* v) { dynamic_cast<isInteractorImage*>(v->getInteractor())->setToolMode(mode); };
}

}  // namespace

// Every id the viewer handles, from its own window (relay target set), from
// the relay target, and without relay target.
TEST_F(ViewerCommands, RelayRuleOfEveryId) {
  const Payload point = text({{"x", "20.0"}, {"y", "-30.0"}, {"z", "40.0"}});
  const Payload pan = text({{"x", "30.0000"}, {"y", "-20.0000"}});
  std::string windowText;
  NSUI::UIJson::setJsonString(windowText, "ww", "400");
  NSUI::UIJson::setJsonString(windowText, "wl", "-40");
  // A zoom total as a linked view sends it down: the sender's ratio equals
  // this view's, so the zoom is taken.
  const Payload zoomTotal = [](RecordingViewer*) {
    auto* d = json({{"zoomRatio", "1.000000"}});
    d->floatValue = 1.25f;
    return d;
  };
  const std::vector<Row> rows = {
      // Slices, planes and view kind.
      {NOTIFY_SLICE_NEXT, kObs, true, O::kUpImmediate, O::kRun, O::kRun, nullptr, nullptr,
       [](const State& b, const State& a) { return a.slice == b.slice + 1; }},
      {NOTIFY_SLICE_PREVIOUS, kObs, true, O::kUpImmediate, O::kRun, O::kRun, nullptr, nullptr,
       [](const State& b, const State& a) { return a.slice == b.slice - 1; }},
      {NOTIFY_VIEW_RECENTRE, kDir, true, O::kUpSerial, O::kRun, O::kRun, nullptr,
       [](RecordingViewer* v) { v->actor()->setSliceIndex(3); },
       [](const State& b, const State& a) { return b.slice == 3 && a.slice == 12; }},
      {NOTIFY_SET_RESLICE_MODE, kDir, true, O::kUpSerial, O::kRun, O::kRun, number(0.0f, 0), nullptr,
       [](const State& b, const State& a) { return b.interpolation != 0 && a.interpolation == 0; }},
      {NOTIFY_SLAB_STEP, kDir, true, O::kUpSerial, O::kRun, O::kRun, number(5.0f), nullptr,
       [](const State& b, const State& a) { return near(a.slab, b.slab + 5.0f); }},
      {NOTIFY_ROTATE_3D, kObs, true, O::kUpSerial, O::kRun, O::kRun, number(30.0f), nullptr,
       kindBecomes(VIEW_KIND_OBLIQUE)},
      {NOTIFY_VIEW_TYPE_OBLIQUE, kDir, true, O::kNothing, O::kNothing, O::kNothing, nullptr, nullptr, nullptr},
      {NOTIFY_VIEW_TYPE_AXIAL, kDir, true, O::kUpSerial, O::kRun, O::kRun, nullptr,
       [](RecordingViewer* v) { v->showPlane(1); }, kindBecomes(VIEW_KIND_AXIAL)},
      {NOTIFY_VIEW_TYPE_SAGITTAL, kDir, true, O::kUpSerial, O::kRun, O::kRun, nullptr, nullptr,
       kindBecomes(VIEW_KIND_SAGITTAL)},
      {NOTIFY_VIEW_TYPE_CORONAL, kDir, true, O::kUpSerial, O::kRun, O::kRun, nullptr, nullptr,
       kindBecomes(VIEW_KIND_CORONAL)},
      {NOTIFY_VIEW_TYPE_ORIGINAL, kDir, true, O::kUpSerial, O::kRun, O::kRun, nullptr,
       [](RecordingViewer* v) { v->showPlane(1); },
       [](const State& b, const State& a) { return b.orientation == 1 && a.orientation == 0; }},
      {NOTIFY_VIEW_SYNC, kObs, true, O::kUpSerial, O::kRun, O::kRun, nullptr,
       [](RecordingViewer* v) {
         v->notifyViewChanged();
         v->zoomBy(2.0f);
       },
       [](const State& b, const State& a) { return near(b.zoomRatio, 2.0f) && near(a.zoomRatio, 1.0f); }},
      // Window, curve and colour table.
      {NOTIFY_WINDOW_DEFAULT, kObs, true, O::kUpSerial, O::kRun, O::kRun, nullptr,
       [](RecordingViewer* v) { v->actor()->setWindow(100.0f, 0.0f); },
       [](const State& b, const State& a) { return b.ww == 100.0f && a.ww == 400.0f && a.wl == 40.0f; }},
      {NOTIFY_WINDOW_PRESET, kObs, true, O::kUpSerial, O::kRun, O::kRun, text({{"ww", "321"}, {"wl", "-12"}}), nullptr,
       [](const State&, const State& a) { return a.ww == 321.0f && a.wl == -12.0f; }},
      {NOTIFY_WINDOW_INPUT, kObs, true, O::kUpSerial, O::kUpSerial, O::kNothing, empty(), nullptr, nullptr},
      {NOTIFY_OPACITY_LINEAR, kObs, true, O::kUpSerial, O::kRun, O::kRun, nullptr,
       [](RecordingViewer* v) { v->actor()->setClutMode(2); },
       [](const State& b, const State& a) { return b.curve == 2 && a.curve == 0; }},
      {NOTIFY_OPACITY_LOG, kObs, true, O::kUpSerial, O::kRun, O::kRun, nullptr, nullptr,
       [](const State& b, const State& a) { return b.curve == 0 && a.curve == 1; }},
      {NOTIFY_OPACITY_LOG_INVERSE, kObs, true, O::kUpSerial, O::kRun, O::kRun, nullptr, nullptr,
       [](const State& b, const State& a) { return b.curve == 0 && a.curve == 2; }},
      {NOTIFY_CLUT_SELECT, kDir, true, O::kRun, O::kRun, O::kRun, text({}),
       nullptr, nullptr},  // payload text set below
      {NOTIFY_DRAG_WINDOW, kObs, true, O::kUpImmediate, O::kRun, O::kRun, text({{"ww", "40.00"}, {"wl", "10.00"}}), nullptr,
       [](const State& b, const State& a) { return a.ww > b.ww && a.wl > b.wl; }},
      // Its own window goes up in a new payload, in whole numbers.
      {NOTIFY_SYNC_WINDOW, kObs, true, O::kUpSerial, O::kRun, O::kNothing, text({{"ww", "700"}, {"wl", "100"}}),
       [](RecordingViewer* v) { v->actor()->setWindow(400.7f, -40.9f); },
       [](const State&, const State& a) { return a.ww == 700.0f && a.wl == 100.0f; }, false, windowText},
      // Tools and measurements.
      {NOTIFY_TOOL_SELECT, kDir, true, O::kUpSerial, O::kRun, O::kRun, nullptr, nullptr, toolMode(TOOL_MODE_PROBE)},
      {NOTIFY_TOOL_WINDOW_BY_TOUCH, kObs, true, O::kUpSerial, O::kRun, O::kRun, nullptr, nullptr, toolMode(TOOL_MODE_WINDOW)},
      {NOTIFY_TOOL_ZOOM, kObs, true, O::kUpSerial, O::kRun, O::kRun, nullptr, nullptr, toolMode(TOOL_MODE_ZOOM)},
      {NOTIFY_TOOL_MOVE, kObs, true, O::kUpSerial, O::kRun, O::kRun, nullptr, toolFirst(TOOL_MODE_PROBE), toolMode(TOOL_MODE_PAN)},
      {NOTIFY_TOOL_PROBE, kDir, true, O::kUpSerial, O::kRun, O::kRun, nullptr, nullptr, toolMode(TOOL_MODE_LOCATE)},
      {NOTIFY_ROI_LINE, kObs, true, O::kUpSerial, O::kRun, O::kRun, nullptr, nullptr, toolMode(TOOL_MODE_ROI_LINE)},
      {NOTIFY_ROI_POINT, kObs, true, O::kUpSerial, O::kRun, O::kRun, nullptr, nullptr, toolMode(TOOL_MODE_ROI_POINT)},
      {NOTIFY_ROI_ANGLE, kObs, true, O::kUpSerial, O::kRun, O::kRun, nullptr, nullptr, toolMode(TOOL_MODE_ROI_ANGLE)},
      {NOTIFY_ROI_CIRCLE, kObs, true, O::kUpSerial, O::kRun, O::kRun, nullptr, nullptr, toolMode(TOOL_MODE_ROI_CIRCLE)},
      {NOTIFY_ROI_POLYGON, kObs, true, O::kUpSerial, O::kRun, O::kRun, nullptr, nullptr, toolMode(TOOL_MODE_ROI_POLYGON)},
      {NOTIFY_ROI_REMOVE, kDir, true, O::kRun, O::kRun, O::kRun,
       [](RecordingViewer* v) {
         auto* d = new NSUI::NSNotificationData();
         const auto& rois = v->getROIActor()->getROIActors();
         d->taskValue = rois.empty() ? -1 : static_cast<int>(rois.front()->getROIData()->getRefID());
         return d;
       },
       [](RecordingViewer* v) {
         drain();  // the measurements follow the slice notices of the new data first
         v->getROIActor()->createPointROI(v->getCameraTarget());
       },
       [](const State& b, const State& a) { return b.rois == 1 && a.rois == 0; }},
      // Pan, zoom and point of linked views (volume).
      {NOTIFY_DRAG_PAN, kObs, true, O::kUpImmediate, O::kRun, O::kRun, pan, nullptr, cameraMoved()},
      {NOTIFY_ZOOM_STEP, kObs, true, O::kUpImmediate, O::kRun, O::kRun, number(1.05f), nullptr, zoomed()},
      {NOTIFY_PINCH_ZOOM, kObs, true, O::kUpImmediate, O::kRun, O::kRun, number(1.25f), nullptr, zoomed()},
      {NOTIFY_SYNC_PAN, kObs, true, O::kUpSerial, O::kRun, O::kNothing, pan, nullptr, cameraMoved()},
      {NOTIFY_SYNC_ZOOM, kObs, true, O::kUpSerial, O::kRun, O::kNothing, zoomTotal, nullptr, zoomed()},
      {NOTIFY_SYNC_RECENTRE, kObs, true, O::kUpImmediate, O::kRun, O::kRun, nullptr,
       [](RecordingViewer* v) { v->setFocal(v->worldAt(Vec2(200.0f, 290.0f))); }, cameraMoved()},
      {NOTIFY_FOCAL_POINT, kObs, true, O::kUpImmediateRun, O::kRun, O::kRun, point, nullptr, focalMoved()},
      {NOTIFY_FOCAL_APPLY, kDir, true, O::kRun, O::kRun, O::kRun, point, nullptr, focalMoved()},
      // The same for a single image: only the zoom step, the window drag and
      // the window go up.
      {NOTIFY_DRAG_PAN, kObs, false, O::kRun, O::kRun, O::kRun, pan, nullptr, cameraMoved()},
      {NOTIFY_ZOOM_STEP, kObs, false, O::kUpImmediate, O::kRun, O::kRun, number(1.05f), nullptr, zoomed()},
      {NOTIFY_PINCH_ZOOM, kObs, false, O::kRun, O::kRun, O::kRun, number(1.25f), nullptr, zoomed()},
      {NOTIFY_DRAG_WINDOW, kObs, false, O::kUpImmediate, O::kRun, O::kRun, text({{"ww", "40.00"}, {"wl", "10.00"}}), nullptr,
       [](const State& b, const State& a) { return a.ww > b.ww; }},
      {NOTIFY_SYNC_PAN, kObs, false, O::kNothing, O::kRun, O::kNothing, pan, nullptr, cameraMoved()},
      {NOTIFY_SYNC_ZOOM, kObs, false, O::kNothing, O::kNothing, O::kNothing, zoomTotal, nullptr, nullptr},
      {NOTIFY_SYNC_WINDOW, kObs, false, O::kUpSerial, O::kRun, O::kNothing, text({{"ww", "70"}, {"wl", "20"}}), nullptr,
       [](const State&, const State& a) { return a.ww == 70.0f && a.wl == 20.0f; }, false},
      {NOTIFY_SYNC_RECENTRE, kObs, false, O::kNothing, O::kRun, O::kRun, nullptr,
       [](RecordingViewer* v) { v->setFocal(v->worldAt(Vec2(200.0f, 290.0f))); }, cameraMoved()},
      {NOTIFY_FOCAL_POINT, kObs, false, O::kRun, O::kRun, O::kRun, point, nullptr, focalMoved()},
      // Other commands.
      {NOTIFY_SHOW_ACTIVE_MARKER, kDir, true, O::kUpSerial, O::kRun, O::kRun, nullptr, nullptr,
       [](const State& b, const State& a) { return !b.marker && a.marker; }},
      {NOTIFY_FOCUS_REQUEST, kObs, true, O::kUpImmediate, O::kUpImmediate, O::kNothing, empty(), nullptr, nullptr},
      {NOTIFY_DICOM_INFO_HIDE, kBc, true, O::kRun, O::kRun, O::kRun, empty(),
       [](RecordingViewer* v) { v->onNotification(NOTIFY_DICOM_INFO_SHOW, nullptr, nullptr); },
       [](const State& b, const State& a) { return b.fullInfo && !a.fullInfo; }},
      {NOTIFY_DICOM_INFO_SHOW, kBc, true, O::kRun, O::kRun, O::kRun, empty(), nullptr,
       [](const State& b, const State& a) { return !b.fullInfo && a.fullInfo; }},
      {NOTIFY_CELL_MAXIMISE, kBc, true, O::kRun, O::kRun, O::kRun,
       [](RecordingViewer* v) {
         auto* d = json({{"w", "800"}, {"h", "600"}});
         d->taskValue = static_cast<int>(v->getRefID());
         return d;
       },
       nullptr, [](const State& b, const State& a) { return !b.maximized && a.maximized; }},
      {NOTIFY_CELL_LINK, kBc, true, O::kUpSerial, O::kNothing, O::kNothing, taskOwnId(), nullptr, nullptr},
      {NOTIFY_CELL_CAPTURE, kBc, true, O::kRun, O::kRun, O::kRun, empty(), nullptr,
       [](const State& b, const State& a) { return a.captures == b.captures + 1; }},
  };
  std::vector<Row> all = rows;
  for (Row& r : all)
    if (r.id == NOTIFY_CLUT_SELECT) {
      r.payload = [](RecordingViewer*) {
        auto* d = new NSUI::NSNotificationData();
        d->text = "bwInverse.plist";
        return d;
      };
      r.effect = [](const State& b, const State& a) { return b.colour0 != a.colour0; };
    }
  run(all);
}

// 9100 with this window's id: it fills its parent's parent at the given size
// and keeps its zoom and pan; every other viewer steps out of sight. The
// next 9100 puts both back.
TEST_F(ViewerCommands, MaximiseKeepsTheViewAndMovesTheOthersAway) {
  RecordingViewer* a = addViewer(Size(400, 300), Vec2(20, 30));
  RecordingViewer* b = addViewer(Size(400, 300), Vec2(420, 30));
  a->getParent()->setPosition(Vec2(100, 50));
  show(a, volume);
  show(b, volume);
  a->frameShown = true;
  a->syncFrameVisible();
  a->zoomBy(1.6f);
  a->panBy(25.0f, -15.0f);
  drain();
  ASSERT_TRUE(a->getActorManager()->getCrossLineActor()->isFrameShown());
  const CameraState before = a->getCameraState();
  auto* nc = NSUI::NSNotificationCenter::getInstance();
  auto toggle = [&](RecordingViewer* target) {
    auto* d = json({{"x", "0"}, {"y", "0"}, {"w", "800"}, {"h", "600"}});
    d->taskValue = static_cast<int>(target->getRefID());
    nc->postNotification(nullptr, NOTIFY_CELL_MAXIMISE, d, nullptr, true);
    d->release();
    drain();
  };
  auto expectSameCamera = [&](const char* when) {
    const CameraState now = a->getCameraState();
    EXPECT_LT(now.eye.distance(before.eye), 1e-3f) << when;
    EXPECT_LT(now.target.distance(before.target), 1e-3f) << when;
    EXPECT_LT(now.up.distance(before.up), 1e-4f) << when;
    EXPECT_NEAR(now.zoom, before.zoom, 1e-6f * before.zoom) << when;
  };

  toggle(a);
  EXPECT_TRUE(a->maximized);
  EXPECT_EQ(a->getPosition(), Vec2(-100, -50)) << "at the origin of its parent's parent";
  EXPECT_EQ(a->getContentSize(), Size(800, 600));
  expectSameCamera("maximised");
  EXPECT_FALSE(a->getActorManager()->getCrossLineActor()->isFrameShown());
  EXPECT_TRUE(b->maximized);
  EXPECT_EQ(b->getPosition(), Vec2(10000, 10000));
  EXPECT_EQ(b->getContentSize(), Size(128, 128));
  std::vector<Delivery> states = broadcast->of(NOTIFY_MAXIMISE_STATE);
  ASSERT_EQ(states.size(), 1u) << "only the maximised viewer tells";
  EXPECT_EQ(states[0].sender, a);
  EXPECT_EQ(states[0].intValue, 1);

  toggle(a);
  EXPECT_FALSE(a->maximized);
  EXPECT_EQ(a->getPosition(), Vec2(20, 30));
  EXPECT_EQ(a->getContentSize(), Size(400, 300));
  expectSameCamera("restored");
  EXPECT_FALSE(b->maximized);
  EXPECT_EQ(b->getPosition(), Vec2(420, 30));
  EXPECT_EQ(b->getContentSize(), Size(400, 300));
  states = broadcast->of(NOTIFY_MAXIMISE_STATE);
  ASSERT_EQ(states.size(), 2u);
  EXPECT_EQ(states[1].sender, a);
  EXPECT_EQ(states[1].intValue, 0);
}

// One capture request with task value 0 gives one copy, from the viewer that
// took it; a request with a viewer's id gives that viewer's slice, with the
// frame on screen first.
TEST_F(ViewerCommands, CaptureGivesOneCopyOfTheFrameOnScreen) {
  isImageData* cine = viewercmd::makeSingleImage(3, 40, 30);
  RecordingViewer* a = addViewer();
  RecordingViewer* b = addViewer(Size(400, 300), Vec2(400, 0));
  show(a, cine);
  show(b, volume);
  drain();  // the image node takes its slice at its first visit
  auto* nc = NSUI::NSNotificationCenter::getInstance();
  for (int i = 0; i < 2; ++i) {
    nc->postNotification(nullptr, NOTIFY_CINE_NEXT, nullptr, a, true);
    drain(2);
  }
  ASSERT_EQ(a->actor()->getImageNode()->getFrameIndex(), 2);
  auto capture = [&](int task) {
    auto* d = new NSUI::NSNotificationData();
    d->taskValue = task;
    nc->postNotification(nullptr, NOTIFY_CELL_CAPTURE, d, nullptr, true);
    drain();
    return d;
  };
  auto copies = [&] { return broadcast->of(NOTIFY_FAVOURITE_SAVE); };

  // Task value 0: whichever viewer handles it first claims it.
  NSUI::NSNotificationData* any = capture(0);
  ASSERT_EQ(copies().size(), 1u);
  const auto* first = static_cast<const SliceRecord*>(copies()[0].userData);
  ASSERT_NE(first, nullptr);
  RecordingViewer* taker = any->taskValue == static_cast<int>(a->getRefID()) ? a : b;
  ASSERT_TRUE(any->taskValue == static_cast<int>(a->getRefID()) || any->taskValue == static_cast<int>(b->getRefID()));
  EXPECT_EQ(first->width, taker->actor()->getOutputSliceInfo()->width);
  EXPECT_EQ(copies()[0].sender, nullptr);
  any->release();

  // Addressed to the cine viewer: frame 2 (samples 30) at the start.
  capture(static_cast<int>(a->getRefID()))->release();
  ASSERT_EQ(copies().size(), 2u);
  const auto* copy = static_cast<const SliceRecord*>(copies()[1].userData);
  ASSERT_NE(copy, nullptr);
  ASSERT_NE(copy->pixels, nullptr);
  EXPECT_EQ(copy->width, 40);
  EXPECT_EQ(copy->height, 30);
  const auto* px = static_cast<const uint8_t*>(copy->pixels);
  int wrong = 0;
  for (int i = 0; i < 40 * 30; ++i) wrong += px[i] != 30;
  EXPECT_EQ(wrong, 0) << "first sample " << int(px[0]);
  EXPECT_NE(copy->pixels, a->actor()->getOutputSliceInfo()->pixels) << "a copy, not the shown buffer";

  // An id no viewer has: no copy.
  capture(1)->release();
  EXPECT_EQ(copies().size(), 2u);
  removeViewer(a);
  cine->release();
}

// 9058 and 9059 write the setting and flush it, drop the overlay and have it
// rebuilt at the next visit; the switch to the state already shown does
// nothing at all.
TEST_F(ViewerCommands, FullInformationSwitchWritesTheSettingOnce) {
  RecordingViewer* v = addViewer();
  show(v, volume);
  drain();
  const std::string name = NSUI::kShowDcmFullInfoSetting;
  auto fileText = [] {
    std::ifstream in(cocos2d::UserDefault::getInstance()->getFilePath());
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  auto stored = [&](const char* value) {
    return ">" + cocos2d::safeBase64EncodeString(std::string(value)) + "<";
  };
  auto setting = [&] { return NSUI::UILocalConfig::getStringForKey(name.c_str(), "unset"); };
  ASSERT_FALSE(v->showFullInfo) << "the default is the short texts";

  // Already hidden: nothing written, nothing rebuilt.
  v->onNotification(NOTIFY_DICOM_INFO_HIDE, nullptr, nullptr);
  EXPECT_EQ(setting(), "unset");
  EXPECT_FALSE(v->overlayDirty);

  isActorOverlay* old = v->getActorManager()->getOverlayActor();
  ASSERT_NE(old, nullptr);
  old->retain();
  v->onNotification(NOTIFY_DICOM_INFO_SHOW, nullptr, nullptr);
  EXPECT_TRUE(v->showFullInfo);
  EXPECT_EQ(setting(), "1");
  EXPECT_NE(fileText().find(stored("1")), std::string::npos) << "flushed";
  EXPECT_TRUE(v->overlayDirty);
  EXPECT_NE(v->getActorManager()->getOverlayActor(), old) << "the overlay is made anew";
  old->release();
  stepFrames(1);
  EXPECT_FALSE(v->overlayDirty) << "rebuilt at the visit";

  // Shown already: the setting is left as it is (here changed behind the
  // viewer's back, in memory only).
  NSUI::UILocalConfig::setStringForKeyNoFlush(name.c_str(), "x");
  const std::string onDisk = fileText();
  v->onNotification(NOTIFY_DICOM_INFO_SHOW, nullptr, nullptr);
  EXPECT_EQ(setting(), "x");
  EXPECT_EQ(fileText(), onDisk);
  EXPECT_FALSE(v->overlayDirty);

  v->onNotification(NOTIFY_DICOM_INFO_HIDE, nullptr, nullptr);
  EXPECT_FALSE(v->showFullInfo);
  EXPECT_EQ(setting(), "0");
  EXPECT_NE(fileText().find(stored("0")), std::string::npos);
  EXPECT_TRUE(v->overlayDirty);
  stepFrames(1);
  EXPECT_FALSE(v->overlayDirty);
  NSUI::UILocalConfig::setStringForKeyNoFlush(name.c_str(), "y");
  v->onNotification(NOTIFY_DICOM_INFO_HIDE, nullptr, nullptr);
  EXPECT_EQ(setting(), "y");
  EXPECT_FALSE(v->overlayDirty);
}

// The plane frame goes to the view's own reference lines and point text as
// one payload, the latest of a frame only, and only while the lines show.
TEST_F(ViewerCommands, PlaneFramePostsTheLatestFrameOnce) {
  RecordingViewer* v = addViewer();
  show(v, volume);
  v->setCrossLinesShown(true);
  drain();
  ASSERT_TRUE(v->getActorManager()->getCrossLineActor()->isLinesShown());
  Spy* own = new Spy();
  own->listen({NOTIFY_CROSS_POSITION, NOTIFY_PROBE_POINT}, v);
  v->setFocal(Vec3(1.5f, -2.25f, 3.125f));
  v->postPlaneFrame();
  v->setFocal(Vec3(7.0f, -8.0f, 1.0f / 3.0f));
  v->postPlaneFrame();
  drain();
  const std::vector<Delivery> frames = own->of(NOTIFY_CROSS_POSITION), points = own->of(NOTIFY_PROBE_POINT);
  ASSERT_EQ(frames.size(), 1u);
  ASSERT_EQ(points.size(), 1u);
  EXPECT_EQ(frames[0].sender, v);
  EXPECT_EQ(points[0].sender, nullptr);
  EXPECT_EQ(frames[0].data, points[0].data) << "one payload for both";
  EXPECT_EQ(own->got[0].id, static_cast<unsigned>(NOTIFY_CROSS_POSITION)) << "9087 first";
  std::string expected;
  const char* keys[12] = {"nx1", "nx2", "nx3", "ny1", "ny2", "ny3", "nz1", "nz2", "nz3", "x", "y", "z"};
  for (int i = 0; i < 12; ++i)
    NSUI::UIJson::setJsonString(expected, keys[i], NSUI::formatString("%.6f", v->planeFrame.m[(i / 3) * 4 + i % 3]));
  EXPECT_EQ(frames[0].text, expected);
  EXPECT_EQ(NSUI::UIJson::getJsonString(frames[0].text, "z"), "0.333333");

  // Lines hidden: nothing posted.
  v->setCrossLinesShown(false);
  drain();
  const size_t mark = own->got.size();
  v->postPlaneFrame();
  drain();
  EXPECT_EQ(own->got.size(), mark);
  own->release();
}

// Slice steps neither clamp nor wrap: past the last slice the view hides,
// one step back shows the last slice again. A plane command for the plane
// already shown leaves the view as it is.
TEST_F(ViewerCommands, StepsPastTheEndAndPlanesAlreadyShown) {
  RecordingViewer* v = addViewer();
  show(v, volume);
  drain();
  v->actor()->setSliceIndex(23);
  v->onNotification(NOTIFY_SLICE_NEXT, nullptr, nullptr);
  EXPECT_FALSE(v->isContentVisible()) << "hidden";
  v->onNotification(NOTIFY_SLICE_PREVIOUS, nullptr, nullptr);
  EXPECT_TRUE(v->isContentVisible());
  EXPECT_EQ(v->actor()->getSliceIndex(), 23);

  ASSERT_EQ(v->viewKind, VIEW_KIND_AXIAL);
  v->zoomBy(2.0f);
  const State zoomed = snap(v);
  v->onNotification(NOTIFY_VIEW_TYPE_AXIAL, nullptr, nullptr);
  EXPECT_TRUE(snap(v) == zoomed) << "axial on an axial view";

  RecordingViewer* s = addViewer(Size(400, 300), Vec2(400, 0));
  show(s, single);
  ASSERT_EQ(s->viewKind, VIEW_KIND_SLICE);
  s->zoomBy(2.0f);
  const State before = snap(s);
  s->onNotification(NOTIFY_VIEW_TYPE_ORIGINAL, nullptr, nullptr);
  EXPECT_TRUE(snap(s) == before) << "acquired slices on a view of them";
}
