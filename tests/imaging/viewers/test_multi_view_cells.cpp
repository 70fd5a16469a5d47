// The multi-view's bookkeeping of cells, independent of what a cell shows:
// keys and map order, focus, link partners, the linked sets, life cycle and
// the command entries. The cells hold small stand-in viewers.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "imaging/view/view_support.h"
#include "imaging/viewers/isViewerMulti.h"

using namespace isImageSDK;

namespace {

// A viewer node that only carries the interface's values and its data.
class StandInViewer : public cocos2d::Node, public isViewer {
 public:
  static StandInViewer* create(int kind, bool isLinked, isImageData* data) {
    auto* v = new StandInViewer();
    v->init();
    v->autorelease();
    v->viewKind = kind;
    v->linked = isLinked;
    v->data = data;
    return v;
  }
  void retainViewer() override { retain(); }
  void releaseViewer() override { release(); }
  isImageData* getImageData() override { return data; }
  isImageData* data = nullptr;  // not retained: the tests' data outlive the cells
};

// The multi-view with its storage step open to the tests and its
// dispatcher recording what reaches it.
class MultiProbe : public isViewerMulti {
 public:
  CREATE_FUNC(MultiProbe);
  using isViewerMulti::storeCell;

  struct Call {
    unsigned int id;
    cocos2d::Ref* sender;
    int intValue;
    float floatValue;
  };
  void handleNotification(unsigned int id, NSUI::NSNotificationData* data, cocos2d::Ref* sender) override {
    calls.push_back({id, sender, data ? data->intValue : 0, data ? data->floatValue : 0.0f});
  }
  std::vector<Call> calls;
};

// A record of a stand-in viewer on data (and second data), placed under
// the multi-view like a real cell.
KeyViewProperty* addCell(MultiProbe* multi, int kind, bool isLinked, isImageData* data,
                         isImageData* second = nullptr) {
  auto* viewer = StandInViewer::create(kind, isLinked, data);
  multi->addChild(viewer);
  KeyViewProperty* cell = KeyViewProperty::create();
  cell->setViewer(viewer);
  data->retain();
  cell->imageData = data;
  if (second) {
    second->retain();
    cell->secondImageData = second;
  }
  multi->storeCell(cell);
  return cell;
}

struct MultiViewCells : ::testing::Test {
  viewtest::HeadlessEngine engine;
  MultiProbe* multi = nullptr;
  isImageData* a = nullptr;
  isImageData* b = nullptr;
  isImageData* c = nullptr;
  void SetUp() override {
    multi = MultiProbe::create();
    engine.scene->addChild(multi);
    a = isImageData::create();
    b = isImageData::create();
    c = isImageData::create();
    // Reference ids in creation order, so the keys sort a < b < c.
    a->getRefID();
    b->getRefID();
    c->getRefID();
  }
  void TearDown() override {
    multi->removeFromParent();
    a->release();
    b->release();
    c->release();
  }
  std::vector<KeyViewProperty*> mapOrder() {
    std::vector<KeyViewProperty*> out;
    for (auto& entry : multi->cells)
      for (KeyViewProperty* cell : entry.second) out.push_back(cell);
    return out;
  }
};

}  // namespace

TEST(CellKey, DataIdPlusAMillionTimesTheSecondWrapping) {
  struct Case {
    uint32_t data, second, key;
  };
  const Case cases[] = {
      {5, 0, 5},
      {5, 3, 3000005},
      {1, 4294, 4294000001u},
      // 4295 × 1,000,000 = 4,295,000,000 ≡ 32,704 (mod 2^32).
      {7, 4295, 32711},
      {0xFFFFFFFFu, 1, 999999},
  };
  for (const Case& k : cases) EXPECT_EQ(KeyViewProperty::cellKey(k.data, k.second), k.key) << k.data << "," << k.second;

  isImageData* data = isImageData::create();
  isImageData* second = isImageData::create();
  EXPECT_EQ(KeyViewProperty::cellKey(data, nullptr), data->getRefID());
  EXPECT_EQ(KeyViewProperty::cellKey(data, second), data->getRefID() + 1000000u * second->getRefID());
  data->release();
  second->release();
}

TEST(CellRecord, HoldsItsViewerAndDataAndLetsThemGoOnClear) {
  isImageData* data = isImageData::create();
  auto* viewer = StandInViewer::create(VIEW_KIND_AXIAL, true, data);
  viewer->retain();
  KeyViewProperty* cell = KeyViewProperty::create();
  cell->retain();
  EXPECT_EQ(cell->id, -1);
  EXPECT_EQ(cell->getViewKind(), VIEW_KIND_NONE);

  const unsigned int viewerCount = viewer->getReferenceCount();
  cell->setViewer(viewer);
  EXPECT_EQ(viewer->getReferenceCount(), viewerCount + 1);
  EXPECT_EQ(cell->getViewKind(), VIEW_KIND_AXIAL);
  cell->setViewer(viewer);  // the same viewer again keeps one hold
  EXPECT_EQ(viewer->getReferenceCount(), viewerCount + 1);
  data->retain();
  cell->imageData = data;
  EXPECT_EQ(cell->getKey(), data->getRefID());

  cell->clear();
  EXPECT_EQ(viewer->getReferenceCount(), viewerCount);
  EXPECT_EQ(data->getReferenceCount(), 1u);
  EXPECT_EQ(cell->getViewer(), nullptr);
  EXPECT_EQ(cell->imageData, nullptr);
  EXPECT_EQ(cell->getViewKind(), VIEW_KIND_NONE);
  cell->release();
  viewer->release();
  data->release();
}

TEST_F(MultiViewCells, CellsOfOneDataShareAKeyInInsertionOrderAndOtherDataSortByReferenceId) {
  KeyViewProperty* c1 = addCell(multi, VIEW_KIND_AXIAL, true, c);
  KeyViewProperty* a1 = addCell(multi, VIEW_KIND_SAGITTAL, true, a);
  KeyViewProperty* c2 = addCell(multi, VIEW_KIND_CORONAL, true, c);
  KeyViewProperty* fused = addCell(multi, VIEW_KIND_AXIAL, true, a, b);
  KeyViewProperty* a2 = addCell(multi, VIEW_KIND_SLICE, true, a);

  ASSERT_EQ(multi->cells.size(), 3u);
  EXPECT_EQ(multi->cells.at(c->getRefID()).size(), 2);
  EXPECT_EQ(mapOrder(), (std::vector<KeyViewProperty*>{a1, a2, c1, c2, fused}));
  EXPECT_EQ(multi->getCellCount(), 5);

  // The first cell took the focus; no later one did.
  EXPECT_EQ(multi->getFocusedCell(), c1);
  EXPECT_EQ(multi->getFocusedViewKind(), VIEW_KIND_AXIAL);
}

TEST_F(MultiViewCells, FindCellSearchesOnlyTheKeyOfTheViewersCurrentData) {
  KeyViewProperty* first = addCell(multi, VIEW_KIND_AXIAL, true, a);
  KeyViewProperty* second = addCell(multi, VIEW_KIND_CORONAL, true, a);
  auto* viewer = static_cast<StandInViewer*>(second->getViewer());
  EXPECT_EQ(multi->findCell(first->getViewer()), first);
  EXPECT_EQ(multi->findCell(viewer), second);
  EXPECT_EQ(multi->findCell(nullptr), nullptr);

  auto* stranger = StandInViewer::create(VIEW_KIND_AXIAL, true, a);
  EXPECT_EQ(multi->findCell(stranger), nullptr);

  viewer->data = b;  // the viewer now shows other data: its cell is not found
  EXPECT_EQ(multi->findCell(viewer), nullptr);
}

TEST_F(MultiViewCells, LinkPartnerIsTheFirstLinkedTwoDimensionalCellInMapOrder) {
  KeyViewProperty* volume = addCell(multi, VIEW_KIND_VR, true, a);
  KeyViewProperty* loose = addCell(multi, VIEW_KIND_AXIAL, false, a);
  KeyViewProperty* oblique = addCell(multi, VIEW_KIND_OBLIQUE, true, b);
  KeyViewProperty* axial = addCell(multi, VIEW_KIND_AXIAL, true, c);

  EXPECT_EQ(multi->findLinkPartner(axial), oblique);
  EXPECT_EQ(multi->findLinkPartner(volume), oblique);
  EXPECT_EQ(multi->findLinkPartner(loose), nullptr);  // an unlinked cell has none
  EXPECT_EQ(multi->findLinkPartner(nullptr), nullptr);
}

TEST_F(MultiViewCells, LinkedSets) {
  // Map order: A0 A1 A2 | B0 | C0 C1 | F (b fused with c: the largest key).
  std::map<std::string, KeyViewProperty*> n;
  n["A0"] = addCell(multi, VIEW_KIND_AXIAL, true, a);
  n["A1"] = addCell(multi, VIEW_KIND_SAGITTAL, false, a);
  n["A2"] = addCell(multi, VIEW_KIND_SLICE, true, a);
  n["C0"] = addCell(multi, VIEW_KIND_VR, true, c);
  n["B0"] = addCell(multi, VIEW_KIND_OBLIQUE, true, b);
  n["C1"] = addCell(multi, VIEW_KIND_AXIAL, true, c);
  n["F"] = addCell(multi, VIEW_KIND_CORONAL, true, b, c);
  n["U"] = addCell(multi, VIEW_KIND_CORONAL, false, b);  // unlinked, key b
  KeyViewProperty* bare = KeyViewProperty::create();      // no viewer, not stored

  using Collect = std::function<void(std::vector<KeyViewProperty*>&)>;
  struct Case {
    const char* what;
    Collect run;
    std::vector<std::string> expected;
  };
  isViewerMulti* m = multi;
  auto src = [&](const char* name) { return n[name]; };
  const std::vector<Case> cases = {
      {"linked from A0", [&](auto& o) { m->collectLinked(src("A0"), o); }, {"A0", "A2", "B0", "C0", "C1", "F"}},
      {"linked from the unlinked A1", [&](auto& o) { m->collectLinked(src("A1"), o); }, {"A1"}},
      {"same kind as A0 (axial)", [&](auto& o) { m->collectLinkedSameKind(src("A0"), o); }, {"A0", "C1"}},
      {"same kind as F (coronal)", [&](auto& o) { m->collectLinkedSameKind(src("F"), o); }, {"F"}},
      {"same kind from the unlinked U", [&](auto& o) { m->collectLinkedSameKind(src("U"), o); }, {"U"}},
      {"planes from A2", [&](auto& o) { m->collectLinkedPlanes(src("A2"), o); }, {"A0", "B0", "C1", "F"}},
      {"orthogonal from C0", [&](auto& o) { m->collectLinkedOrthogonal(src("C0"), o); }, {"A0", "C1", "F"}},
      {"same data a from C1", [&](auto& o) { m->collectLinkedSameData(src("C1"), a, o); }, {"A0", "A2"}},
      {"same data b from A0", [&](auto& o) { m->collectLinkedSameData(src("A0"), b, o); }, {"B0", "F"}},
      {"same data from the unlinked A1", [&](auto& o) { m->collectLinkedSameData(src("A1"), c, o); }, {"A1"}},
      {"fused with c from A0", [&](auto& o) { m->collectLinkedFused(src("A0"), c, o); }, {"F"}},
      {"of kind axial", [&](auto& o) { m->collectLinkedOfKind(VIEW_KIND_AXIAL, o); }, {"A0", "C1"}},
      {"of kind sagittal (only unlinked)", [&](auto& o) { m->collectLinkedOfKind(VIEW_KIND_SAGITTAL, o); }, {}},
      {"of kind coronal", [&](auto& o) { m->collectLinkedOfKind(VIEW_KIND_CORONAL, o); }, {"F"}},
  };
  std::map<KeyViewProperty*, std::string> names;
  for (auto& [name, cell] : n) names[cell] = name;
  for (const Case& k : cases) {
    std::vector<KeyViewProperty*> out = {bare};  // cleared first
    k.run(out);
    std::vector<std::string> got;
    for (KeyViewProperty* cell : out) got.push_back(names.count(cell) ? names[cell] : "?");
    EXPECT_EQ(got, k.expected) << k.what;
  }

  // A source without a viewer is unlinked: the set is the source alone.
  std::vector<KeyViewProperty*> out;
  multi->collectLinkedSameKind(bare, out);
  EXPECT_EQ(out, std::vector<KeyViewProperty*>{bare});
}

TEST_F(MultiViewCells, RemoveAllViewsTakesTheViewersOffAndClearsTheFocusButKeepsListening) {
  KeyViewProperty* first = addCell(multi, VIEW_KIND_AXIAL, true, a);
  addCell(multi, VIEW_KIND_CORONAL, true, b);
  auto* viewer = static_cast<StandInViewer*>(first->getViewer());
  viewer->retain();
  auto* nc = NSUI::NSNotificationCenter::getInstance();
  nc->postNotificationInt(nullptr, 9017, 1, multi, false);
  nc->postNotificationInt(nullptr, 9001, 2, multi, true);

  multi->removeAllViews();
  EXPECT_EQ(viewer->getParent(), nullptr);
  EXPECT_TRUE(multi->cells.empty());
  EXPECT_EQ(multi->getFocusedCell(), nullptr);
  EXPECT_EQ(multi->getFocusedViewKind(), 0);
  EXPECT_EQ(multi->getChildrenCount(), 0);

  viewtest::stepFrames(3);
  EXPECT_EQ(viewer->getReferenceCount(), 1u);  // the cell let it go
  viewer->release();
  EXPECT_TRUE(multi->calls.empty()) << "queued deliveries withdrawn";
  nc->postNotificationInt(nullptr, 9017, 3, multi, false);
  viewtest::stepFrames(2);
  ASSERT_EQ(multi->calls.size(), 1u);
  EXPECT_EQ(multi->calls[0].intValue, 3);

  // The next cell takes the focus again.
  KeyViewProperty* next = addCell(multi, VIEW_KIND_SAGITTAL, true, c);
  EXPECT_EQ(multi->getFocusedCell(), next);
  EXPECT_EQ(multi->getFocusedViewKind(), VIEW_KIND_SAGITTAL);
}

TEST_F(MultiViewCells, CommandEntriesAndObservedIdsAllEndInTheDispatcher) {
  auto* nc = NSUI::NSNotificationCenter::getInstance();
  const std::vector<int>& ids = isViewerMulti::observedIds();
  ASSERT_EQ(ids.size(), 35u);
  for (int id : ids) EXPECT_TRUE(nc->hasObserver(id, multi, multi)) << id;
  for (int id : {9005, 9034, 9045, 9053, 9054, 9055, 9057, 9106})
    EXPECT_FALSE(nc->hasObserver(id, multi, multi)) << id << " is a direct command only";

  multi->handleCommandInt(9053, 4);
  multi->handleCommandFloat(9007, 2.5f);
  auto* payload = new NSUI::NSNotificationData();
  payload->intValue = 9;
  multi->handleCommand(9106, payload);
  payload->release();
  cocos2d::Ref* poster = StandInViewer::create(VIEW_KIND_AXIAL, true, a);
  nc->postNotificationInt(poster, 9096, 1, multi, false);
  nc->postNotificationInt(poster, 9096, 1, nullptr, false);  // broadcast: not for the multi-view
  viewtest::stepFrames(3);

  ASSERT_EQ(multi->calls.size(), 4u);
  EXPECT_EQ(multi->calls[0].id, 9053u);
  EXPECT_EQ(multi->calls[0].intValue, 4);
  EXPECT_EQ(multi->calls[0].sender, nullptr);
  EXPECT_EQ(multi->calls[1].id, 9007u);
  EXPECT_EQ(multi->calls[1].floatValue, 2.5f);
  EXPECT_EQ(multi->calls[2].id, 9106u);
  EXPECT_EQ(multi->calls[2].intValue, 9);
  EXPECT_EQ(multi->calls[3].id, 9096u);
  EXPECT_EQ(multi->calls[3].sender, poster);
}

TEST_F(MultiViewCells, LifeCycleColoursAndTheFocusAfterCleanup) {
  EXPECT_EQ(multi->getBackGroundColor(), cocos2d::Color3B::BLACK);
  EXPECT_EQ(multi->getBackGroundColorOpacity(), 255);
  EXPECT_EQ(multi->getBackGroundColorType(), cocos2d::ui::Layout::BackGroundColorType::SOLID);

  auto* director = cocos2d::Director::getInstance();
  auto* entering = MultiProbe::create();
  engine.scene->addChild(entering);  // the running scene enters it at once
  const cocos2d::Color4F grey(233.0f / 255.0f, 239.0f / 255.0f, 249.0f / 255.0f, 1.0f);
  EXPECT_EQ(director->getClearColor(), grey);

  KeyViewProperty* cell = addCell(entering, VIEW_KIND_AXIAL, true, a);
  auto* viewer = static_cast<StandInViewer*>(cell->getViewer());
  viewer->retain();
  ASSERT_EQ(entering->getFocusedCell(), cell);
  entering->removeFromParent();  // cleanup
  EXPECT_EQ(director->getClearColor(), cocos2d::Color4F(0, 0, 0, 1));
  EXPECT_TRUE(entering->cells.empty());
  EXPECT_EQ(entering->getFocusedCell(), nullptr);
  EXPECT_EQ(entering->getFocusedViewKind(), 0);
  viewtest::stepFrames(1);
  EXPECT_EQ(viewer->getReferenceCount(), 1u);  // the record released its viewer
  viewer->release();
  auto* nc = NSUI::NSNotificationCenter::getInstance();
  for (int id : isViewerMulti::observedIds()) EXPECT_FALSE(nc->hasObserver(id, entering, entering)) << id;
}
