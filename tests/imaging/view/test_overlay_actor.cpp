// The overlay of a render window, headless: where the corner blocks and
// their rows land for a window size and screen density, the search order of
// findItem, edge letters from 9070, patient fields from 9084, hiding with
// the window, clearing and removing the actor.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "imaging/view/isActorOverlay.h"
#include "imaging/view/isNodeOverlay.h"
#include "test_window.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "toolkit/widgets/NSLayout.h"
#include "view_support.h"

using namespace viewtest;
using isImageSDK::isActorOverlay;
using isImageSDK::isNodeOverlayText;

namespace {

constexpr int kTL = isActorOverlay::kTopLeft;
constexpr int kTR = isActorOverlay::kTopRight;
constexpr int kBL = isActorOverlay::kBottomLeft;
constexpr int kBR = isActorOverlay::kBottomRight;

class OverlayActorTest : public ::testing::Test {
 protected:
  void SetUp() override { makeWindow(cocos2d::Size(640, 480)); }
  void TearDown() override { cocos2d::Device::setDPI(96); }

  void makeWindow(const cocos2d::Size& size) {
    if (window) window->removeFromParent();
    window = TestWindow::create(size);
    engine.scene->addChild(window);
    overlay = window->getActorManager()->getOverlayActor();
  }
  void postText(int id, const std::string& payload, void* object = nullptr) {
    NSUI::NSNotificationCenter::getInstance()->postNotificationText(nullptr, id, payload, object ? object : window,
                                                                    false);
    stepFrames(6);
  }
  // The viewer's usual filling: two top-left rows, a bottom-left row with a
  // label and the window, two top-right rows and the cine buttons, and one
  // bottom-right text.
  void fill() {
    overlay->addTopLeftText("Axial");
    overlay->addTopLeftText("(50%) ");
    overlay->addCornerRow(kTL);
    overlay->addTopLeftText("S:12.5mm");
    overlay->addBottomLeftText(" ww/wl:");
    overlay->addBottomLeftText("400 40 ");
    overlay->addTopRightText("2017.08.15 09:30:12 ");
    overlay->addCornerRow(kTR);
    overlay->addTopRightText("M 045Y W=72 ");
    overlay->addCornerRow(kTR);
    for (const char* name : {"multi_prior", "multi_status", "multi_next"}) {
      auto* b = overlay->addTopRightButton();
      b->bindNotification("imageSDK/play.png", "imageSDK/play.png", NOTIFY_OVERLAY_STATIC);
      b->setName(name);
    }
    overlay->addCornerText(kBR, "BR");
    overlay->updateLayout();
    stepFrames(2);
  }
  // A node's box in the window's space.
  cocos2d::Rect inWindow(cocos2d::Node* n) const {
    const cocos2d::Rect b = n->getBoundingBox();
    const cocos2d::Vec2 o = window->convertToNodeSpace(n->getParent()->convertToWorldSpace(b.origin));
    return cocos2d::Rect(o.x, o.y, b.size.width, b.size.height);
  }
  NSUI::NSLayout* block(int code) const { return overlay->getCorner(code).block; }

  HeadlessEngine engine;
  TestWindow* window = nullptr;
  isActorOverlay* overlay = nullptr;
};

TEST_F(OverlayActorTest, SizesFollowTheScreenDensityAndTheWindowWidth) {
  EXPECT_EQ(overlay->getFontSize(), 30);
  EXPECT_EQ(overlay->getRowHeight(), 34);
  EXPECT_EQ(overlay->getItemWidth(), 320);  // half the window from attach on
  struct Case {
    int dpi;
    float width;
    int font, row, item;
  };
  const Case cases[] = {
      {96, 640, 20, 24, 320},   // 15 points, clamped up
      {254, 640, 30, 34, 320},  // 40 points, clamped down
      {150, 641, 23, 27, 320},  // 23.6 points, integer part
      {96, 3, 20, 24, 1},
      {96, 1, 20, 24, 100},  // narrower than 2 pixels
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.dpi << " dpi, width " << c.width);
    cocos2d::Device::setDPI(c.dpi);
    makeWindow(cocos2d::Size(c.width, 480));
    fill();
    EXPECT_EQ(overlay->getFontSize(), c.font);
    EXPECT_EQ(overlay->getRowHeight(), c.row);
    EXPECT_EQ(overlay->getItemWidth(), c.item);
    for (int code : {kTL, kTR, kBL, kBR}) {
      const auto& corner = overlay->getCorner(code);
      ASSERT_NE(corner.block, nullptr);
      EXPECT_EQ(corner.block->getContentSize(),
                cocos2d::Size(c.item, c.row * static_cast<float>(corner.rows.size())))
          << code;
      for (auto* row : corner.rows) EXPECT_EQ(row->getContentSize(), cocos2d::Size(c.item, c.row));
    }
    for (auto* item : overlay->getItems()) {
      if (item->kind == 1) {
        EXPECT_EQ(dynamic_cast<isNodeOverlayText*>(item)->getFontSize(), c.font);
      } else {
        auto* button = dynamic_cast<isImageSDK::isNodeOverlaySprite*>(item);
        EXPECT_EQ(button->getButtonSize(), c.row);
        EXPECT_EQ(button->getContentSize(), cocos2d::Size(1.5f * c.row, c.row));
      }
    }
  }
}

TEST_F(OverlayActorTest, BlocksSitInTheirCornersWithRowsTopDown) {
  fill();
  EXPECT_EQ(overlay->getCorner(kTL).rows.size(), 2u);
  EXPECT_EQ(overlay->getCorner(kTR).rows.size(), 3u);
  EXPECT_EQ(overlay->getCorner(kBL).rows.size(), 1u);
  EXPECT_EQ(overlay->getItems().size(), 11u);
  struct Case {
    int code;
    float x, y;  // the block's origin in the window
    int rowType;
  };
  const Case cases[] = {
      {kTL, 0, 480 - 48, 3},
      {kTR, 320, 480 - 72, 4},
      {kBL, 0, 0, 3},
      {kBR, 320, 0, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    NSUI::NSLayout* b = block(c.code);
    EXPECT_EQ(b->getParent(), window);
    EXPECT_EQ(b->getLocalZOrder(), 100);
    EXPECT_EQ(b->getLayoutType(), 1);
    EXPECT_EQ(b->getTag(), static_cast<int>(overlay->getRefID()));
    const cocos2d::Rect r = inWindow(b);
    EXPECT_FLOAT_EQ(r.origin.x, c.x);
    EXPECT_FLOAT_EQ(r.origin.y, c.y);
    const auto& rows = overlay->getCorner(c.code).rows;
    for (size_t i = 0; i < rows.size(); ++i) {
      EXPECT_EQ(rows[i]->getLayoutType(), c.rowType);
      const cocos2d::Rect rr = inWindow(rows[i]);
      EXPECT_FLOAT_EQ(rr.origin.x, c.x) << i;
      EXPECT_FLOAT_EQ(rr.getMaxY(), c.y + b->getContentSize().height - 24.0f * i) << i;
      // Left rows start their first item at the left edge, right rows end
      // their last item at the right edge.
      ASSERT_FALSE(rows[i]->getChildren().empty()) << i;
      const cocos2d::Rect first = inWindow(rows[i]->getChildren().front());
      const cocos2d::Rect last = inWindow(rows[i]->getChildren().back());
      if (c.rowType == 3)
        EXPECT_NEAR(first.origin.x, 0.0f, 0.01f) << i;
      else
        EXPECT_NEAR(last.getMaxX(), 640.0f, 0.01f) << i;
      // Texts are centred on their row.
      for (auto* child : rows[i]->getChildren())
        if (dynamic_cast<isNodeOverlayText*>(child)) EXPECT_NEAR(inWindow(child).getMidY(), rr.getMidY(), 0.01f) << i;
    }
  }
  // Items of one row do not overlap.
  const auto& texts = overlay->getCorner(kTL).rows[0]->getChildren();
  EXPECT_LE(inWindow(texts.at(0)).getMaxX(), inWindow(texts.at(1)).getMinX() + 0.01f);
  // Each cine button gets 1.5 row heights of the row, the last one ending
  // at the window's right edge.
  const auto& buttons = overlay->getCorner(kTR).rows[2]->getChildren();
  ASSERT_EQ(buttons.size(), 3u);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(buttons.at(i)->getPosition().x, 320.0f - 36.0f * (2 - i), 0.01f) << i;
  // A tap in a button's slot reaches that button only, up to the row's
  // edges.
  const cocos2d::Rect row = inWindow(overlay->getCorner(kTR).rows[2]);
  for (int i = 0; i < 3; ++i) {
    const float left = 640.0f - 36.0f * static_cast<float>(3 - i);
    for (auto [x, y] : {std::pair{left + 1, row.getMidY()}, std::pair{left + 35, row.getMinY() + 1},
                        std::pair{left + 18, row.getMaxY() - 1}}) {
      const cocos2d::Vec2 p = window->convertToWorldSpace(cocos2d::Vec2(x, y));
      for (int j = 0; j < 3; ++j) {
        auto* b = dynamic_cast<cocos2d::ui::Widget*>(buttons.at(j));
        EXPECT_EQ(b->hitTest(p), i == j) << i << " at " << x << "," << y << " by " << j;
      }
    }
  }
}

TEST_F(OverlayActorTest, BottomRightBlockKeepsTheCodeItWasAskedWith) {
  struct Case {
    int asked;
    int aligned;
  };
  for (const Case& c : {Case{9, 9}, Case{8, 8}, Case{0, 9}, Case{42, 9}}) {
    SCOPED_TRACE(c.asked);
    overlay->clearItems();
    overlay->addCornerText(c.asked, "x");
    auto* p = dynamic_cast<cocos2d::ui::RelativeLayoutParameter*>(block(kBR)->getLayoutParameter());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(static_cast<int>(p->getAlign()), c.aligned);
    EXPECT_EQ(block(kBR)->getParent(), window);
  }
}

TEST_F(OverlayActorTest, FindItemSearchesTopLeftBottomLeftTopRightBottomRight) {
  isNodeOverlayText* texts[4] = {overlay->addTopLeftText("tl"), overlay->addBottomLeftText("bl"),
                                 overlay->addTopRightText("tr"), overlay->addCornerText(kBR, "br")};
  overlay->addCornerRow(kTL);
  texts[0] = overlay->addTopLeftText("tl, second row");  // found deep in the block
  for (auto* t : texts) t->setName("field");
  overlay->addCornerRow(kTR);
  auto* button = overlay->addTopRightButton();
  button->setName("multi_status");
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(overlay->findItem("field"), texts[i]);
    texts[i]->setName("taken");
  }
  EXPECT_EQ(overlay->findItem("field"), nullptr);
  EXPECT_EQ(overlay->findItem("multi_status"), button);
  overlay->setItemVisible("multi_status", false);
  EXPECT_FALSE(button->isVisible());
  overlay->setItemVisible("absent", false);  // nothing to hide
  overlay->setItemVisible("multi_status", true);
  EXPECT_TRUE(button->isVisible());
}

TEST_F(OverlayActorTest, EdgeLettersComeFromTheWindowsOrientationNotice) {
  cocos2d::Device::setDPI(254);
  overlay->updateLayout();
  postText(NOTIFY_OVERLAY_EDGE_LETTERS, R"({"t":"A","r":"L","b":"P","l":"R"})");
  using E = isActorOverlay::Edge;
  struct Case {
    E edge;
    const char* letter;
    int code;
  };
  const Case cases[] = {{E::kEdgeTop, "A", 2}, {E::kEdgeBottom, "P", 8}, {E::kEdgeLeft, "R", 4}, {E::kEdgeRight, "L", 6}};
  isNodeOverlayText* made[4] = {};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.letter);
    isNodeOverlayText* t = overlay->getEdgeText(c.edge);
    ASSERT_NE(t, nullptr);
    made[c.edge] = t;
    EXPECT_EQ(t->getString(), c.letter);
    EXPECT_EQ(t->getFontSize(), 30);
    EXPECT_EQ(t->getLocalZOrder(), 100);
    EXPECT_EQ(t->getParent(), window);
    const cocos2d::Rect r = inWindow(t);
    switch (c.code) {
      case 2: EXPECT_NEAR(r.getMaxY(), 480, 0.01f); EXPECT_NEAR(r.getMidX(), 320, 0.5f); break;
      case 8: EXPECT_NEAR(r.getMinY(), 0, 0.01f); EXPECT_NEAR(r.getMidX(), 320, 0.5f); break;
      case 4: EXPECT_NEAR(r.getMinX(), 0, 0.01f); EXPECT_NEAR(r.getMidY(), 240, 0.5f); break;
      default: EXPECT_NEAR(r.getMaxX(), 640, 0.01f); EXPECT_NEAR(r.getMidY(), 240, 0.5f); break;
    }
  }
  // Another window's letters change nothing here.
  TestWindow* other = TestWindow::create(cocos2d::Size(100, 100));
  engine.scene->addChild(other);
  postText(NOTIFY_OVERLAY_EDGE_LETTERS, R"({"t":"S","r":"A","b":"I","l":"P"})", other);
  EXPECT_EQ(overlay->getEdgeText(E::kEdgeTop)->getString(), "A");
  // A notice without "l": the left letter empties; the same texts are
  // rebound.
  postText(NOTIFY_OVERLAY_EDGE_LETTERS, R"({"t":"S","r":"A","b":"I"})");
  const char* expected[4] = {"S", "I", "", "A"};
  for (int e = 0; e < 4; ++e) {
    EXPECT_EQ(overlay->getEdgeText(static_cast<E>(e)), made[e]) << e;
    EXPECT_EQ(made[e]->getString(), expected[e]) << e;
  }
}

TEST_F(OverlayActorTest, PatientFieldsComeFromTheDicomInformation) {
  struct Field {
    int id;
    const char* shown;  // prefix "<", suffix ">"
  };
  const Field fields[] = {
      {NOTIFY_OVERLAY_STUDY_ID, "<4711>"},
      {NOTIFY_OVERLAY_SERIES_ID, "<3>"},
      {NOTIFY_OVERLAY_HOSPITAL, "<>"},  // absent: emptied
      {NOTIFY_OVERLAY_SERIES_TIME, "<2017.08.15 09:30:12>"},
      {NOTIFY_OVERLAY_PATIENT, "<DOE^JANE>"},
      {NOTIFY_OVERLAY_PATIENT_INFO, "<F 045Y W=61>"},
      {NOTIFY_OVERLAY_IMAGE_DESC, "<Head routine>"},
  };
  std::vector<isNodeOverlayText*> texts;
  for (const Field& f : fields) {
    auto* t = overlay->addTopRightText("");
    t->bindNotification("before", "<", ">", f.id, false);
    texts.push_back(t);
    overlay->addCornerRow(kTR);
  }
  auto* label = overlay->addTopLeftText(" ww/wl:");
  auto* windowText = overlay->addTopLeftText("");
  windowText->bindNotification("400 40 ", "", "", NOTIFY_OVERLAY_WINDOW, false);
  overlay->addTopRightButton();
  postText(NOTIFY_DICOM_OVERLAY_INFO,
           R"({"studyID":"4711","seriesID":"3","seriesTime":"2017.08.15 09:30:12","patient":"DOE^JANE",)"
           R"("patientInfo":"F 045Y W=61","imageDesc":"Head routine","hospital_x":"not this"})");
  for (size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(texts[i]->getString(), fields[i].shown) << fields[i].id;
  EXPECT_EQ(label->getString(), " ww/wl:");
  EXPECT_EQ(windowText->getString(), "400 40 ");
  // The bound value stays: a rebinding shows it again.
  EXPECT_EQ(texts[0]->getValue(), "before");
}

TEST_F(OverlayActorTest, TheWindowsVisibilityShowsAndHidesTheItems) {
  fill();
  postText(NOTIFY_OVERLAY_EDGE_LETTERS, R"({"t":"A","r":"L","b":"P","l":"R"})");
  auto allShown = [&](bool shown) {
    for (int code : {kTL, kTR, kBL, kBR}) EXPECT_EQ(block(code)->isVisible(), shown) << code;
    for (int e = 0; e < 4; ++e)
      EXPECT_EQ(overlay->getEdgeText(static_cast<isActorOverlay::Edge>(e))->isVisible(), shown) << e;
  };
  window->setVisible(false);
  allShown(false);
  // Filled again while the window is hidden: still hidden.
  overlay->clearItems();
  fill();
  postText(NOTIFY_OVERLAY_EDGE_LETTERS, R"({"t":"A","r":"L","b":"P","l":"R"})");
  allShown(false);
  window->setVisible(true);
  allShown(true);
  // A hidden item stays hidden while the whole overlay shows.
  overlay->setItemVisible("multi_next", false);
  window->setVisible(false);
  window->setVisible(true);
  EXPECT_FALSE(overlay->findItem("multi_next")->isVisible());
}

TEST_F(OverlayActorTest, ClearItemsDetachesAndARefillSizesOnlyTheNewRows) {
  fill();
  NSUI::NSLayout* old = block(kTL);
  postText(NOTIFY_OVERLAY_EDGE_LETTERS, R"({"t":"A","r":"L","b":"P","l":"R"})");
  overlay->clearItems();
  EXPECT_EQ(old->getParent(), nullptr);
  EXPECT_EQ(overlay->getItems().size(), 0u);
  EXPECT_EQ(overlay->findItem("multi_status"), nullptr);
  for (int e = 0; e < 4; ++e) EXPECT_EQ(overlay->getEdgeText(static_cast<isActorOverlay::Edge>(e)), nullptr);
  for (int code : {kTL, kTR, kBL, kBR}) {
    EXPECT_EQ(block(code), nullptr);
    EXPECT_TRUE(overlay->getCorner(code).rows.empty());
  }
  fill();
  EXPECT_NE(block(kTL), old);
  EXPECT_EQ(block(kTL)->getContentSize().height, 48.0f);
  EXPECT_EQ(block(kTR)->getContentSize().height, 72.0f);
  // Rows: code 9 has none to add; a row asked for before the corner's first
  // item is the block's first row.
  overlay->addCornerRow(kBR);
  EXPECT_EQ(overlay->getCorner(kBR).rows.size(), 1u);
  overlay->clearItems();
  overlay->addBottomLeftRow();
  overlay->addBottomLeftText("first");
  EXPECT_EQ(overlay->getCorner(kBL).rows.size(), 1u);
  EXPECT_EQ(overlay->getCorner(kBL).rows[0]->getChildrenCount(), 1);
}

TEST_F(OverlayActorTest, TheManagerMakesOneOverlayAndRemovesIt) {
  EXPECT_EQ(window->getActorManager()->getOverlayActor(), overlay);
  fill();
  NSUI::NSLayout* tl = block(kTL);
  tl->retain();  // the actor held it; it goes with the actor
  window->getActorManager()->removeOverlayActor();
  EXPECT_EQ(tl->getParent(), nullptr);
  EXPECT_EQ(tl->getReferenceCount(), 1u);
  tl->release();
  // A fresh actor: empty, and it observes the window.
  isActorOverlay* fresh = window->getActorManager()->getOverlayActor();
  ASSERT_NE(fresh, nullptr);
  EXPECT_TRUE(fresh->getItems().empty());
  postText(NOTIFY_OVERLAY_EDGE_LETTERS, R"({"t":"A"})");
  ASSERT_NE(fresh->getEdgeText(isActorOverlay::kEdgeTop), nullptr);
  EXPECT_EQ(fresh->getEdgeText(isActorOverlay::kEdgeTop)->getString(), "A");
  // New data releases it with the other actors.
  fresh->addTopLeftText("x");
  const int tag = static_cast<int>(fresh->getRefID());
  ASSERT_NE(window->getChildByTag(tag), nullptr);
  auto* data = isImageSDK::isImageData::create();
  window->setImageData(data);
  data->release();
  EXPECT_EQ(window->getChildByTag(tag), nullptr);
  // A manager without a window makes nothing.
  auto* lone = isImageSDK::isActorManager::create();
  EXPECT_EQ(lone->getOverlayActor(), nullptr);
  lone->removeOverlayActor();
  // The window leaves the scene with its overlay.
  window->getActorManager()->getOverlayActor()->addTopLeftText("y");
  window->removeFromParent();
  window = nullptr;
  stepFrames(2);
}

}  // namespace
