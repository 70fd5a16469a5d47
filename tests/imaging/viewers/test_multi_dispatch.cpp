// The multi-view's dispatcher with real cells headless: one table of which
// cells carry out each command and what the screen hears of it, the cell a
// command acts on, the 2-D cell turned into a volume cell and back in place,
// the conversions refused while a window is maximised, and deleting the
// selected measurement in every view of its data.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "app/data/english_texts.h"
#include "engine/ui/Text.h"
#include "imaging/core/isROIManager.h"
#include "imaging/view/isActorROI.h"
#include "imaging/view/isActorVR.h"
#include "imaging/view/isClut.h"
#include "imaging/view/isInteractorImage.h"
#include "imaging/viewers/isViewerBrowser.h"
#include "imaging/viewers/isViewerMulti.h"
#include "imaging/viewers/isViewerVR.h"
#include "tests/imaging/viewers/command_support.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "tests/support/notification_settle.h"
#include "viewer_support.h"

using namespace isImageSDK;
using namespace viewertest;
using cocos2d::Rect;
using cocos2d::Size;
using cocos2d::Vec2;
using cocos2d::Vec3;
using viewercmd::Spy;

namespace {

// The multi-view with a record of every command it hands to a cell.
class MultiProbe : public isViewerMulti {
 public:
  CREATE_FUNC(MultiProbe);
  struct Handed {
    KeyViewProperty* cell;
    unsigned int id;
    bool hasData;
    int taskValue;
    std::string text;
  };
  void handDown(KeyViewProperty* cell, unsigned int id, NSUI::NSNotificationData* data) override {
    handed.push_back({cell, id, data != nullptr, data ? data->taskValue : 0, data ? data->text : ""});
    isViewerMulti::handDown(cell, id, data);
  }
  std::vector<Handed> handed;
};

// The parent's channel (the screen) and the broadcast channel.
const std::vector<int> kParentIds = {9001, 9002, 9040, 9041, 9042, 9043, 9044, 9096};

// Frames until nothing is left to deliver; the frames it took.
inline int settle() { return fwtest::settleNotifications([] { stepFrames(1); }); }

struct DispatchTest : ::testing::Test {
  // One engine for the suite: the notification centre ticks on the
  // scheduler of the first one.
  static void SetUpTestSuite() { engine = std::make_unique<HeadlessEngine>(Size(1400, 900)); }
  static void TearDownTestSuite() { engine.reset(); }
  static inline std::unique_ptr<HeadlessEngine> engine;
  libtest::EnglishTexts english;
  cocos2d::Node* screen = nullptr;
  MultiProbe* multi = nullptr;
  std::vector<isImageData*> images;
  isImageData* ct = nullptr;
  isImageData* ct2 = nullptr;
  std::map<std::string, KeyViewProperty*> cell;
  std::unique_ptr<Spy> parentSpy, broadcastSpy;

  void SetUp() override {
    screen = cocos2d::Node::create();
    engine->scene->addChild(screen);
    multi = MultiProbe::create();
    screen->addChild(multi);
    ct = phantom(40);
    ct2 = phantom(20);
    parentSpy = std::make_unique<Spy>();
    parentSpy->listen(kParentIds, screen);
    broadcastSpy = std::make_unique<Spy>();
    broadcastSpy->listen({NOTIFY_TOOLS_RELAYOUT}, nullptr);
  }
  void TearDown() override {
    parentSpy.reset();
    broadcastSpy.reset();
    screen->removeFromParent();
    stepFrames(2);
    for (auto* i : images) i->release();
    isROIManager::destroyInstance();
  }
  isImageData* phantom(int slices) {
    images.push_back(makePhantom(24, 24, slices));
    return images.back();
  }
  std::vector<KeyViewProperty*> allCells() {
    std::vector<KeyViewProperty*> out;
    for (auto& entry : multi->cells)
      for (KeyViewProperty* c : entry.second) out.push_back(c);
    return out;
  }
  KeyViewProperty* add(const std::string& name, int kind, bool linked, Rect rect, isImageData* data) {
    const std::vector<KeyViewProperty*> before = allCells();
    multi->addView(kind, linked, rect, data);
    KeyViewProperty* found = nullptr;
    for (KeyViewProperty* c : allCells())
      if (std::find(before.begin(), before.end(), c) == before.end()) found = c;
    cell[name] = found;
    return found;
  }
  // The table's layout. A: the focused linked axial cell; B another linked
  // axial one; C, D linked sagittal and coronal; E an unlinked axial cell;
  // G a linked volume cell; H a linked acquired-slice cell; I a linked
  // oblique cell; all on ct. F: a linked axial cell of another series that
  // shows ct fused over it. Map order: A B C D E G H I, then F.
  void buildTable() {
    multi->removeAllViews();
    cell.clear();
    add("A", 1, true, Rect(0, 450, 300, 300), ct);
    add("B", 1, true, Rect(300, 450, 300, 300), ct);
    add("C", 2, true, Rect(600, 450, 300, 300), ct);
    add("D", 3, true, Rect(900, 450, 300, 300), ct);
    add("E", 1, false, Rect(0, 0, 300, 300), ct);
    add("G", 5, true, Rect(300, 0, 300, 300), ct);
    add("H", 0, true, Rect(600, 0, 300, 300), ct);
    add("I", 4, true, Rect(900, 0, 200, 200), ct);
    KeyViewProperty* f = add("F", 1, true, Rect(1100, 0, 300, 300), ct2);
    ct->retain();
    f->secondImageData = ct;
    ASSERT_EQ(multi->getFocusedCell(), cell["A"]);
  }
  std::string nameOf(KeyViewProperty* c) {
    for (auto& [n, k] : cell)
      if (k == c) return n;
    return "?";
  }
  // "A9001 C9085": who got what, in order.
  std::string handedText() {
    std::string out;
    for (auto& h : multi->handed) out += (out.empty() ? "" : " ") + nameOf(h.cell) + std::to_string(h.id);
    return out;
  }
  std::string parentText() {
    std::string out;
    for (auto& d : parentSpy->got) {
      out += (out.empty() ? "" : " ") + std::to_string(d.id);
      EXPECT_EQ(d.sender, static_cast<cocos2d::Ref*>(multi));
    }
    return out;
  }
  // The integers of the 9113 posts, "" for none.
  std::string relayoutText() {
    std::string out;
    for (auto& d : broadcastSpy->got) out += std::to_string(d.intValue);
    return out;
  }
  void clearRecords() {
    settle();
    multi->handed.clear();
    for (auto& d : parentSpy->got)
      if (d.data) d.data->release();
    parentSpy->got.clear();
    for (auto& d : broadcastSpy->got)
      if (d.data) d.data->release();
    broadcastSpy->got.clear();
  }
  static isViewerBrowser* browser(KeyViewProperty* c) { return dynamic_cast<isViewerBrowser*>(c->getViewer()); }
  static isViewerVR* volume(KeyViewProperty* c) { return dynamic_cast<isViewerVR*>(c->getViewer()); }
  // The address a viewer sends from.
  static cocos2d::Ref* senderOf(KeyViewProperty* c) { return dynamic_cast<cocos2d::Ref*>(c->getViewer()); }
  // The colour of the window's corner in the next frame the volume actor
  // shows (the render threads run on their own: frames are pumped until the
  // frame arrives, for at most 10 s).
  static std::vector<int> cornerOfNextFrame(isViewerVR* vr) {
    isActorVR* actor = vr->getVolumeActor();
    cocos2d::Texture2D* before = actor->getSprite()->getTexture();
    vr->getSceneCamera()->changed = true;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    for (;;) {
      cocos2d::Texture2D* t = actor->getSprite()->getTexture();
      if (actor->getSprite()->isVisible() && t != before && t->getCpuPixels().size() >= 3) break;
      if (std::chrono::steady_clock::now() > end) return {};
      stepFrames(1);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const auto& px = actor->getSprite()->getTexture()->getCpuPixels();
    return {px[0], px[1], px[2]};
  }
  static int firstSlice(KeyViewProperty* c) { return browser(c)->getImageViewers().at(0)->imageActor->getSliceIndex(); }
};

}  // namespace

TEST_F(DispatchTest, WhichCellsCarryOutEachCommandAndWhatTheScreenHears) {
  struct Case {
    unsigned int id;
    const char* target;  // the sending cell; "" = the focused cell A
    const char* handed;
    const char* parent;
    const char* relayout;  // the integers of 9113
  };
  const Case cases[] = {
      // A linked axial step: the cell steps, B and F are aligned (no command),
      // the other orthogonal kinds take the new focal point.
      {9001, "", "A9001 C9085 D9085", "9001", ""},
      {9002, "", "A9002 C9085 D9085", "9002", ""},
      {9001, "E", "E9001", "9001", ""},
      {9001, "H", "H9001", "9001", ""},
      {9001, "I", "", "9001", ""},
      {9001, "G", "", "9001", ""},
      {9005, "", "", "", ""},
      {9008, "", "A9008", "", ""},
      {9008, "G", "G9008", "", ""},
      {9008, "H", "", "", ""},
      {9010, "B", "", "", ""},     // already axial: nothing, not even 9113
      {9010, "H", "", "", "0"},    // acquired slices take no plane
      {9014, "H", "", "", "1"},
      {9015, "G", "", "", "1"},
      {9013, "", "A9013", "", ""},
      {9013, "G", "", "", ""},
      {9017, "", "A9017 B9017 C9017 D9017 H9017 I9017 F9017", "", ""},
      {9017, "G", "G9017 G9017 G9017 G9017 G9017 G9017 G9017 G9017", "", ""},
      {9017, "E", "E9017", "", ""},
      {9018, "", "A9018", "", ""},
      {9021, "G", "", "", ""},
      {9026, "", "A9026", "", ""},
      {9028, "G", "", "", ""},
      {9022, "", "A9022 B9022 C9022 D9022 H9022 I9022 F9025", "", ""},
      {9022, "E", "E9022", "", ""},
      {9022, "G", "G9022", "", ""},
      {9029, "", "A9029 B9029 C9029 D9029 H9029 I9029", "", ""},
      {9029, "F", "F9029", "", ""},
      {9030, "", "A9030 B9030 C9030 D9030 H9030 I9030", "", ""},
      {9030, "G", "G9030", "", ""},
      {9034, "", "A9034 B9034 C9034 D9034 H9034 I9034 F9034", "", ""},
      {9034, "G", "", "", ""},
      {9035, "", "A9035 B9035 C9035 D9035 H9035 I9035 F9035", "", ""},
      {9035, "G", "G9035", "", ""},
      {9036, "", "A9036 B9036 C9036 D9036 G9036 H9036 I9036 F9036", "", ""},
      {9037, "E", "E9037", "", ""},
      {9038, "G", "G9038", "", ""},
      {9038, "", "", "", ""},
      {9039, "", "A9039 B9039 C9039 D9039 I9039 F9039", "", ""},
      {9039, "H", "", "", ""},
      {9040, "", "A9040", "9040", ""},
      {9044, "G", "", "9044", ""},
      {9045, "", "", "", ""},  // no measurement selected
      {9053, "", "A9053", "", ""},
      {9055, "G", "G9055", "", ""},
      {9057, "G", "G9057", "", ""},
      {9057, "", "", "", ""},
      {9065, "", "B9065 F9065", "", ""},
      {9065, "H", "", "", ""},
      {9066, "", "B9066 C9066 D9066 F9066", "", ""},
      {9066, "I", "", "", ""},
      {9067, "", "B9067 C9067 D9067 H9067 I9067 F9067", "", ""},
      {9067, "E", "", "", ""},
      {9085, "", "B9085 C9085 D9085 H9085 I9085 F9085", "", ""},
      {9085, "H", "", "", ""},
      {9096, "C", "A9096 B9096 D9096 G9096 H9096 I9096 F9096", "9096", "0"},
      {9096, "G", "A9096 B9096 C9096 D9096 H9096 I9096 F9096", "9096", "1"},
      {9096, "E", "", "9096", "0"},
      {9106, "", "", "", ""},
      {9999, "", "", "", ""},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(std::to_string(k.id) + " on " + (*k.target ? k.target : "the focused cell"));
    buildTable();
    clearRecords();
    KeyViewProperty* target = *k.target ? cell[k.target] : cell["A"];
    if (*k.target)
      multi->handleNotification(k.id, nullptr, senderOf(target));
    else
      multi->handleCommand(k.id, nullptr);
    settle();
    EXPECT_EQ(handedText(), k.handed);
    EXPECT_EQ(parentText(), k.parent);
    EXPECT_EQ(relayoutText(), k.relayout);
    // The multi-view's own payload is the slice step's 9085; the others
    // pass through as given (none here).
    for (auto& h : multi->handed) EXPECT_EQ(h.hasData, h.id == 9085 && k.id != 9085);
    if (k.id == 9096) {
      EXPECT_EQ(multi->getFocusedCell(), target);
    }
  }
}

TEST_F(DispatchTest, DirectCommandsAndSliceBoundsAndAScreenlessMultiView) {
  buildTable();
  // 9005: the focused cell's grid starts at the given slice.
  clearRecords();
  multi->handleCommandInt(9005, 7);
  EXPECT_EQ(firstSlice(cell["A"]), 7);
  EXPECT_EQ(browser(cell["A"])->firstSliceIndex, 7);

  // The last slice: the screen hears of the step, nothing moves.
  browser(cell["A"])->getImageViewers().at(0)->goToSlice(39, false);
  const int b = firstSlice(cell["B"]);
  clearRecords();
  multi->handleCommand(9001, nullptr);
  settle();
  EXPECT_EQ(parentText(), "9001");
  EXPECT_EQ(handedText(), "");
  EXPECT_EQ(firstSlice(cell["A"]), 39);
  EXPECT_EQ(firstSlice(cell["B"]), b);
  // The first slice, stepping back.
  browser(cell["A"])->getImageViewers().at(0)->goToSlice(0, false);
  clearRecords();
  multi->handleCommand(9002, nullptr);
  settle();
  EXPECT_EQ(parentText(), "9002");
  EXPECT_EQ(handedText(), "");
  // One step in from the end goes through and B follows to the same slice;
  // sagittal and coronal cells get the new focal point as x, y, z text.
  multi->handleCommand(9001, nullptr);
  EXPECT_EQ(firstSlice(cell["A"]), 1);
  EXPECT_EQ(firstSlice(cell["B"]), 1);
  const float* m = browser(cell["A"])->getCurrentViewer()->planeFrame.m;
  std::string focal;
  NSUI::UIJson::setJsonFloat(focal, "x", m[12]);
  NSUI::UIJson::setJsonFloat(focal, "y", m[13]);
  NSUI::UIJson::setJsonFloat(focal, "z", m[14]);
  ASSERT_EQ(handedText(), "A9001 C9085 D9085");
  EXPECT_EQ(multi->handed[1].text, focal);
  EXPECT_EQ(multi->handed[2].text, focal);

  // 9106 hides the focused cell's slider.
  auto* root = cocos2d::Node::create();
  root->setName("root");
  auto* slider = cocos2d::Node::create();
  slider->setName("slider");
  root->addChild(slider);
  browser(cell["A"])->addChild(root);
  multi->handleCommand(9106, nullptr);
  EXPECT_FALSE(slider->isVisible());

  // A multi-view on no screen: the ROI tools reach the cell but nobody is
  // told; steps and focus go to the broadcast channel.
  Spy broadcast;
  broadcast.listen({9001, 9040, 9096}, nullptr);
  MultiProbe* alone = MultiProbe::create();
  alone->retain();
  alone->addView(1, true, Rect(0, 0, 300, 300), ct);
  clearRecords();
  alone->handleCommand(9040, nullptr);
  alone->handleCommand(9001, nullptr);
  alone->handleCommand(9096, nullptr);
  settle();
  ASSERT_EQ(alone->handed.size(), 2u);
  EXPECT_EQ(alone->handed[0].id, 9040u);
  EXPECT_EQ(alone->handed[1].id, 9001u);
  EXPECT_TRUE(broadcast.of(9040).empty());
  EXPECT_EQ(broadcast.of(9001).size(), 1u);
  EXPECT_EQ(broadcast.of(9096).size(), 1u);
  EXPECT_EQ(relayoutText(), "0");
  EXPECT_EQ(parentText(), "");
  alone->release();
}

TEST_F(DispatchTest, TheTargetIsTheSendingViewersCellOrTheFocusedCell) {
  buildTable();
  // A sender that is no viewer leaves the focused cell as target.
  clearRecords();
  multi->handleNotification(9013, nullptr, screen);
  EXPECT_EQ(handedText(), "A9013");

  // A viewer that has left the multi-view: ignored, focus and all.
  isViewer* gone = cell["B"]->getViewer();
  gone->retainViewer();
  multi->removeAllViews();
  add("N", 1, true, Rect(0, 0, 300, 300), ct);
  clearRecords();
  multi->handleNotification(9096, nullptr, dynamic_cast<cocos2d::Ref*>(gone));
  multi->handleNotification(9013, nullptr, dynamic_cast<cocos2d::Ref*>(gone));
  settle();
  EXPECT_EQ(handedText(), "");
  EXPECT_EQ(parentText(), "");
  EXPECT_EQ(relayoutText(), "");
  EXPECT_EQ(multi->getFocusedCell(), cell["N"]);
  gone->releaseViewer();

  // No cell at all: nothing.
  multi->removeAllViews();
  clearRecords();
  multi->handleCommand(9001, nullptr);
  multi->handleCommand(9096, nullptr);
  settle();
  EXPECT_EQ(parentText(), "");
  EXPECT_EQ(relayoutText(), "");
}

TEST_F(DispatchTest, VolumeAndBackInPlaceKeepingPlaceFocusRectangleWindowAndColours) {
  KeyViewProperty* a = add("A", 1, true, Rect(20, 400, 500, 360), ct);
  add("B", 3, true, Rect(520, 400, 400, 360), ct);
  add("C", 1, false, Rect(20, 0, 400, 360), ct);
  const uint32_t key = a->getKey();
  // A colour table of its own and a window of its own on the cell.
  uint8_t table[768];
  for (int i = 0; i < 256; ++i) {
    table[3 * i] = static_cast<uint8_t>(i);
    table[3 * i + 1] = static_cast<uint8_t>(255 - i);
    table[3 * i + 2] = static_cast<uint8_t>(i / 2);
  }
  browser(a)->getImageViewers().at(0)->applyColorTable(table);
  multi->setWindowLevel(700, 90);
  const std::vector<KeyViewProperty*> order(multi->cells[key].begin(), multi->cells[key].end());
  clearRecords();

  multi->handleCommand(9014, nullptr);
  isViewerVR* vr = volume(a);
  ASSERT_NE(vr, nullptr);
  EXPECT_TRUE(vr->getSceneCamera()->changed) << "rendered anew";
  settle();
  EXPECT_EQ(a->getViewKind(), VIEW_KIND_VR);
  EXPECT_EQ(vr->getParent(), multi);
  EXPECT_EQ(vr->getRelayTarget(), multi);
  EXPECT_EQ(Rect(vr->getPosition(), vr->getContentSize()), Rect(20, 400, 500, 360));
  EXPECT_EQ(vr->getImageData(), ct);
  EXPECT_TRUE(vr->linked);
  isActorVR* actor = vr->getVolumeActor();
  ASSERT_NE(actor, nullptr);
  EXPECT_FLOAT_EQ(actor->getContextRT()->getWindowWidth(), 700.0f);
  EXPECT_FLOAT_EQ(actor->getContextRT()->getWindowLevel(), 90.0f);
  // The corner of a rendered frame shows colour entry 0: (0, 255, 0).
  EXPECT_EQ(cornerOfNextFrame(vr), (std::vector<int>{0, 255, 0})) << "the cell's colour table on the volume";
  EXPECT_EQ(relayoutText(), "1");
  EXPECT_EQ(multi->getFocusedCell(), a);
  EXPECT_EQ(a->getKey(), key);
  EXPECT_EQ(std::vector<KeyViewProperty*>(multi->cells[key].begin(), multi->cells[key].end()), order);
  EXPECT_EQ(multi->getCellCount(), 3);
  EXPECT_EQ(multi->getChildrenCount(), 3) << "the viewer cell left the multi-view";
  EXPECT_EQ(multi->findCell(vr), a);

  // Back to 2-D: with a linked coronal cell present the new coronal cell
  // copies its slice position; the window comes from the volume.
  browser(cell["B"])->getImageViewers().at(0)->goToSlice(5, false);
  clearRecords();
  multi->handleCommand(9012, nullptr);
  settle();
  isViewerBrowser* back = browser(a);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(a->getViewKind(), VIEW_KIND_CORONAL);
  EXPECT_EQ(back->owner, multi);
  EXPECT_EQ(Rect(back->getPosition(), back->getContentSize()), Rect(20, 400, 500, 360));
  EXPECT_EQ(back->getImageViewers().at(0)->getContentSize(), Size(500, 360)) << "grid laid out";
  EXPECT_EQ(firstSlice(a), 5);
  float width = 0, level = 0;
  ASSERT_TRUE(multi->getFocusedWindowLevel(width, level));
  EXPECT_FLOAT_EQ(width, 700.0f);
  EXPECT_FLOAT_EQ(level, 90.0f);
  EXPECT_EQ(relayoutText(), "0");
  EXPECT_EQ(multi->getFocusedCell(), a);
  EXPECT_EQ(std::vector<KeyViewProperty*>(multi->cells[key].begin(), multi->cells[key].end()), order);
  EXPECT_EQ(multi->findCell(back), a);

  // The unlinked cell C through volume and back to axial with no linked
  // axial cell to copy: it keeps the volume's camera target and zoom.
  multi->handleNotification(9015, nullptr, senderOf(cell["C"]));
  EXPECT_EQ(cell["C"]->getViewKind(), VIEW_KIND_MIP);
  EXPECT_FALSE(cell["C"]->getViewer()->linked);
  Vec3 target, up;
  volume(cell["C"])->getCameraTargetAndUp(&target, &up);
  multi->handleNotification(9010, nullptr, senderOf(cell["C"]));
  ASSERT_NE(browser(cell["C"]), nullptr);
  EXPECT_EQ(cell["C"]->getViewKind(), VIEW_KIND_AXIAL);
  EXPECT_FALSE(cell["C"]->getViewer()->linked);
  isViewerImage* v = browser(cell["C"])->getImageViewers().at(0);
  const Vec3 focal(v->planeFrame.m[12], v->planeFrame.m[13], v->planeFrame.m[14]);
  EXPECT_NEAR(focal.z, target.z, 1.01f) << "the nearest slice to the volume's centre";
  EXPECT_NEAR(browser(cell["C"])->getZoomRatio(), 1.0f, 1e-3f);
}

TEST_F(DispatchTest, PlaneKindsCopyAnExistingCellOrKeepTheirOwnPointAndZoom) {
  KeyViewProperty* a = add("A", 1, true, Rect(0, 0, 400, 400), ct);
  KeyViewProperty* s = add("S", 2, true, Rect(400, 0, 400, 400), ct);
  browser(s)->setZoomRatio(1.8f);
  browser(s)->getImageViewers().at(0)->goToSlice(6, false);
  const Vec3 centre = browser(s)->getViewCenter();

  // To sagittal with a linked sagittal cell: its slice, zoom and pan.
  multi->handleCommand(9011, nullptr);
  EXPECT_EQ(a->getViewKind(), VIEW_KIND_SAGITTAL);
  EXPECT_EQ(firstSlice(a), 6);
  EXPECT_NEAR(browser(a)->getZoomRatio(), 1.8f, 1e-3f);
  EXPECT_LT(browser(a)->getViewCenter().distance(centre), 1e-2f);

  // To coronal with no coronal cell: the focal point and zoom stay.
  browser(a)->setZoomRatio(2.5f);
  isViewerImage* v = browser(a)->getCurrentViewer();
  const Vec3 before(v->planeFrame.m[12], v->planeFrame.m[13], v->planeFrame.m[14]);
  multi->handleCommand(9012, nullptr);
  EXPECT_EQ(a->getViewKind(), VIEW_KIND_CORONAL);
  const Vec3 after(v->planeFrame.m[12], v->planeFrame.m[13], v->planeFrame.m[14]);
  EXPECT_LT(after.distance(before), 2.01f) << "within a slice of the point";
  EXPECT_NEAR(browser(a)->getZoomRatio(), 2.5f, 1e-3f);
}

TEST_F(DispatchTest, ConversionsRefusedWhileAWindowIsMaximised) {
  KeyViewProperty* a = add("A", 1, true, Rect(0, 0, 400, 400), ct);
  KeyViewProperty* g = add("G", 5, true, Rect(400, 0, 400, 400), ct);
  struct Case {
    KeyViewProperty* cell;
    unsigned int id;
  };
  for (const Case& k : {Case{a, 9014}, Case{a, 9015}, Case{g, 9010}, Case{g, 9012}}) {
    SCOPED_TRACE(k.id);
    isViewer* viewer = k.cell->getViewer();
    if (isViewerBrowser* b = browser(k.cell)) b->getImageViewers().at(0)->maximized = true;
    if (isViewerVR* vr = volume(k.cell)) vr->maximized = true;
    const int kind = k.cell->getViewKind();
    clearRecords();
    multi->handleNotification(k.id, nullptr, senderOf(k.cell));
    auto* text = dynamic_cast<cocos2d::ui::Text*>(engine->scene->getChildByNameDeep("messageBox.text"));
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->getString(), "Go back to the normal size firstly");
    cocos2d::Node* box = engine->scene->getChildByNameDeep("messageBox");
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    stepFrames(60 * 2 + 30);
    EXPECT_FALSE(box->isVisible()) << "gone after 2 s";
    EXPECT_EQ(k.cell->getViewer(), viewer);
    EXPECT_EQ(k.cell->getViewKind(), kind);
    EXPECT_EQ(relayoutText(), "");
    EXPECT_EQ(parentText(), "");
    EXPECT_EQ(multi->getChildrenCount(), 2);
  }
}

TEST_F(DispatchTest, DeletingTheSelectedMeasurementInEveryViewOfItsData) {
  buildTable();
  // A line drawn in the focused cell stays selected.
  isViewerImage* viewer = browser(cell["A"])->getCurrentViewer();
  int64_t clockMs = 1'000'000;
  auto* tool = dynamic_cast<isInteractorImage*>(viewer->getInteractor());
  ASSERT_NE(tool, nullptr);
  tool->setClock([&clockMs] { return clockMs; });
  multi->handleCommand(9040, nullptr);
  settle();
  ASSERT_EQ(tool->getToolMode(), TOOL_MODE_ROI_LINE);
  auto* view = cocos2d::Director::getInstance()->getOpenGLView();
  const Vec2 from = viewer->convertToWorldSpace(Vec2(100, 100)), to = viewer->convertToWorldSpace(Vec2(200, 180));
  view->injectTouches(cocos2d::EventTouch::EventCode::BEGAN, {1}, {from});
  clockMs += 200;
  for (int k = 1; k <= 4; ++k)
    view->injectTouches(cocos2d::EventTouch::EventCode::MOVED, {1}, {from + (to - from) * (k / 4.0f)});
  view->injectTouches(cocos2d::EventTouch::EventCode::ENDED, {1}, {to});
  clockMs += 1000;
  settle();
  ASSERT_EQ(viewer->getROIActor()->getROIActors().size(), 1u);
  isActorROIBase* line = tool->getActiveROI();
  ASSERT_NE(line, nullptr);
  const int roiId = static_cast<int>(line->getROIData()->getRefID());

  clearRecords();
  multi->handleCommand(9045, nullptr);
  EXPECT_EQ(handedText(), "A9045 B9045 C9045 D9045 H9045 I9045");
  for (auto& h : multi->handed) EXPECT_EQ(h.taskValue, roiId);
  settle();
  EXPECT_TRUE(viewer->getROIActor()->getROIActors().empty());
  EXPECT_EQ(tool->getActiveROI(), nullptr);

  // Nothing selected any more: nothing is handed down.
  clearRecords();
  multi->handleCommand(9045, nullptr);
  EXPECT_EQ(handedText(), "");
}
