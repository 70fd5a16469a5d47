// The overlay of a render window in a real window: the four corners filled
// the way the image viewer fills them, the cine buttons and the edge
// letters over a multi-frame colour image. The screenshot is for reading as a
// radiologist would; the probes check that the texts are drawn inside their
// corners, that corners and letters stay apart, and that a click on the
// play button reaches it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "imaging/view/isActorManager.h"
#include "imaging/view/isActorOverlay.h"
#include "imaging/view/isNodeOverlay.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "toolkit/widgets/NSLayout.h"
#include "view_gl_support.h"

USING_NS_CC;
using namespace viewtest;
using isImageSDK::isActorOverlay;

namespace {

constexpr int kW = 720, kH = 600;

// Eight 160 × 160 colour frames of a head-first supine axial slice: a dim
// field with a bright disc that moves to the right from frame to frame.
isImageSDK::isImageData* makeCineImage() {
  constexpr int n = 160, frames = 8;
  auto* image = isImageSDK::isImageData::create();
  const double row[3] = {1, 0, 0}, col[3] = {0, 1, 0}, pos[3] = {-40, -40, 0};
  const int32_t size[2] = {n, n};
  const float spacing[3] = {0.5f, 0.5f, 1.0f};
  isImageSDK::SliceRecord* r = image->addSlice(size, frames, spacing, isImageSDK::ELEMENT_RGB, 0, 0,
                                               isImageSDK::makeSliceMatrix(row, col, pos, 0, 0));
  if (!r) return image;
  auto* px = static_cast<uint8_t*>(r->pixels);
  for (int f = 0; f < frames; ++f)
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) {
        uint8_t* p = px + ((static_cast<size_t>(f) * n + j) * n + i) * 3;
        const float dx = static_cast<float>(i - 50 - 8 * f), dy = static_cast<float>(j - 80);
        const bool disc = dx * dx + dy * dy < 30.0f * 30.0f;
        p[0] = disc ? 230 : 40;
        p[1] = disc ? 120 : 40;
        p[2] = disc ? 40 : 60;
      }
  r->pixelsLoaded = true;
  image->setIdentifier("cine");
  return image;
}

class OverlayView : public WindowTest {
 protected:
  OverlayView() : WindowTest("overlay", kW, kH) {}
  void SetUp() override {
    WindowTest::SetUp();
    if (!ready()) return;
    cine = makeCineImage();
    TestWindow* w = TestWindow::create(Size(700, 580));
    scene->addChild(w);
    w->setPosition(Vec2(10, 10));
    windows.push_back(w);
    actors.push_back(w->show(cine));
    w->lookAtSlice(0.8f);
    overlay = windows[0]->getActorManager()->getOverlayActor();
    fill();
    windows[0]->updateOrientationLabels();
    post();
    stepWindowFrames(3);
  }
  void TearDown() override {
    if (cine) cine->release();
    WindowTest::TearDown();
  }

  // What the image viewer puts into a normal window with the full set of
  // texts, plus a bottom-right slice number.
  void fill() {
    using T = isImageSDK::isNodeOverlayText;
    auto colour = [](T* t, const Color4B& c) { t->setTextColor(c); };
    T* t = overlay->addTopLeftText("");
    t->bindNotification("Axial", " ", "", NOTIFY_OVERLAY_VIEW_NAME, false);
    colour(t, Color4B::YELLOW);
    overlay->addTopLeftText("")->bindNotification("", "", "", NOTIFY_OVERLAY_LOAD_PROGRESS, false);
    overlay->addCornerRow(isActorOverlay::kTopLeft);
    overlay->addTopLeftText("")->bindNotification("", " Ex:", "", NOTIFY_OVERLAY_STUDY_ID, false);
    overlay->addCornerRow(isActorOverlay::kTopLeft);
    overlay->addTopLeftText("")->bindNotification("", " Se:", "", NOTIFY_OVERLAY_SERIES_ID, false);
    overlay->addCornerRow(isActorOverlay::kTopLeft);
    t = overlay->addTopLeftText("");
    t->bindNotification("", " ", "", NOTIFY_OVERLAY_SLICE_POSITION, false);
    colour(t, Color4B::ORANGE);

    overlay->addBottomLeftText(" Thk:");
    t = overlay->addBottomLeftText("");
    t->bindNotification("", "", "", NOTIFY_OVERLAY_SLAB_THICKNESS, false);
    colour(t, Color4B::YELLOW);
    overlay->addBottomLeftRow();
    overlay->addBottomLeftText(" ww/wl:");
    t = overlay->addBottomLeftText("");
    t->bindNotification(" ", "", "", NOTIFY_OVERLAY_WINDOW, true);
    colour(t, Color4B::YELLOW);

    const int rightFields[] = {NOTIFY_OVERLAY_HOSPITAL, NOTIFY_OVERLAY_SERIES_TIME, NOTIFY_OVERLAY_PATIENT,
                               NOTIFY_OVERLAY_PATIENT_INFO, NOTIFY_OVERLAY_IMAGE_DESC};
    for (int id : rightFields) {
      overlay->addTopRightText("")->bindNotification("", "", " ", id, false);
      overlay->addCornerRow(isActorOverlay::kTopRight);
    }
    const struct {
      const char* picture;
      int id;
      const char* name;
    } buttons[] = {{"imageSDK/leftArrow.png", NOTIFY_CINE_PRIOR, "multi_prior"},
                   {"imageSDK/play.png", NOTIFY_CINE_STATE, "multi_status"},
                   {"imageSDK/rightArrow.png", NOTIFY_CINE_NEXT, "multi_next"}};
    for (const auto& b : buttons) {
      auto* button = overlay->addTopRightButton();
      button->bindNotification(b.picture, b.picture, b.id);
      button->setName(b.name);
    }
    overlay->addCornerText(isActorOverlay::kBottomRight, "")
        ->bindNotification("", " Im:", "", NOTIFY_OVERLAY_SLICE_INDEX, false);
    overlay->updateLayout();
  }

  // What the image actor, the reader of the DICOM information and the cine
  // post for the window.
  void post() {
    auto* nc = NSUI::NSNotificationCenter::getInstance();
    void* w = windows[0];
    nc->postNotificationFloat(nullptr, NOTIFY_OVERLAY_LOAD_PROGRESS, 0.62f, w, true);
    nc->postNotificationText(nullptr, NOTIFY_OVERLAY_SLICE_POSITION, "S:0.0mm", w, true);
    nc->postNotificationFloat(nullptr, NOTIFY_OVERLAY_SLAB_THICKNESS, 1.25f, w, true);
    nc->postNotificationText(nullptr, NOTIFY_OVERLAY_WINDOW, R"({"ww":"400","wl":"40"})", w, true);
    nc->postNotificationText(nullptr, NOTIFY_OVERLAY_SLICE_INDEX, R"({"index":"1","count":"1"})", w, true);
    nc->postNotificationText(nullptr, NOTIFY_DICOM_OVERLAY_INFO,
                             R"({"studyID":"4711","seriesID":"3","hospital":"St Elsewhere_Radiology",)"
                             R"("seriesTime":"2017.08.15 09:30:12","patient":"DOE^JANE",)"
                             R"("patientInfo":"F 045Y W=61","imageDesc":"Cardiac cine"})",
                             w, true);
  }

  // The node's box on the screen (window pixels, origin bottom-left).
  Rect onScreen(Node* n) const {
    const Rect b = n->getBoundingBox();
    const Vec2 lo = n->getParent()->convertToWorldSpace(b.origin);
    const Vec2 hi = n->getParent()->convertToWorldSpace(Vec2(b.getMaxX(), b.getMaxY()));
    return Rect(lo.x, lo.y, hi.x - lo.x, hi.y - lo.y);
  }
  // Pixels of the box that are text-bright (white or coloured, not grey
  // anatomy of the phantom at the corners, which is black air).
  static int brightPixels(const Shot& s, const Rect& r) {
    int n = 0;
    for (int y = std::max(0, static_cast<int>(r.getMinY())); y < std::min(kH, static_cast<int>(r.getMaxY())); ++y)
      for (int x = std::max(0, static_cast<int>(r.getMinX())); x < std::min(kW, static_cast<int>(r.getMaxX())); ++x) {
        const Rgb c = s.at(x, y);
        if (std::max({c.r, c.g, c.b}) > 180) ++n;
      }
    return n;
  }
  // The smallest box around the bright pixels inside r (empty when none).
  static Rect brightBounds(const Shot& s, const Rect& r) {
    int x0 = kW, y0 = kH, x1 = -1, y1 = -1;
    for (int y = std::max(0, static_cast<int>(r.getMinY())); y < std::min(kH, static_cast<int>(std::ceil(r.getMaxY()))); ++y)
      for (int x = std::max(0, static_cast<int>(r.getMinX())); x < std::min(kW, static_cast<int>(std::ceil(r.getMaxX()))); ++x) {
        const Rgb c = s.at(x, y);
        if (std::max({c.r, c.g, c.b}) <= 180) continue;
        x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
      }
    if (x1 < 0) return Rect();
    return Rect(static_cast<float>(x0), static_cast<float>(y0), static_cast<float>(x1 - x0 + 1),
                static_cast<float>(y1 - y0 + 1));
  }

  isActorOverlay* overlay = nullptr;
  isImageSDK::isImageData* cine = nullptr;
};

TEST_F(OverlayView, CornersLettersAndCineButtonsAreLegibleAndApart) {
  const Shot shot = capture("overlay_view.png");
  const Rect win(10, 10, 700, 580);
  const float rowHeight = static_cast<float>(overlay->getRowHeight());
  // What is drawn: every text and button, and the four letters. A text's
  // box includes the font's leading; it counts as its row's band. A cine
  // picture has transparent margins; it counts by its symbol.
  std::vector<Rect> boxes;
  auto band = [&](Rect r) {
    if (r.size.height > rowHeight) {
      r.origin.y += (r.size.height - rowHeight) / 2;
      r.size.height = rowHeight;
    }
    return r;
  };
  for (int code : {1, 3, 7, 9}) {
    SCOPED_TRACE(code);
    Node* block = overlay->getCorner(code).block;
    ASSERT_NE(block, nullptr);
    const Rect r = onScreen(block);
    EXPECT_TRUE(win.containsPoint(r.origin) && win.containsPoint(Vec2(r.getMaxX(), r.getMaxY())));
    // Something is drawn in every row of every block.
    for (auto* row : overlay->getCorner(code).rows) {
      EXPECT_GT(brightPixels(shot, onScreen(row)), 20);
      for (Node* item : row->getChildren()) {
        ASSERT_TRUE(item->isVisible());
        if (dynamic_cast<isImageSDK::isNodeOverlaySprite*>(item)) {
          // Looked for in the width the row gave the button: the pictures'
          // margins reach into their neighbours'.
          const Rect box = onScreen(item);
          const float w = item->getContentSize().width * item->getScaleX();
          const Rect symbol = brightBounds(shot, Rect(box.getMaxX() - w, box.origin.y, w, box.size.height));
          EXPECT_GE(symbol.size.height, 0.4f * rowHeight);
          boxes.push_back(symbol);
        } else {
          boxes.push_back(band(onScreen(item)));
        }
      }
    }
  }
  for (int e = 0; e < 4; ++e) {
    SCOPED_TRACE(e);
    auto* letter = overlay->getEdgeText(static_cast<isActorOverlay::Edge>(e));
    ASSERT_NE(letter, nullptr);
    EXPECT_EQ(letter->getString().size(), 1u);
    const Rect r = band(onScreen(letter));
    EXPECT_TRUE(win.containsPoint(r.origin) && win.containsPoint(Vec2(r.getMaxX(), r.getMaxY())));
    EXPECT_GT(brightPixels(shot, r), 20);
    boxes.push_back(r);
  }
  // No two things drawn overlap.
  for (size_t i = 0; i < boxes.size(); ++i)
    for (size_t j = i + 1; j < boxes.size(); ++j) {
      const Rect a = boxes[i], b = boxes[j];
      const bool apart = a.getMaxX() <= b.getMinX() + 0.5f || b.getMaxX() <= a.getMinX() + 0.5f ||
                         a.getMaxY() <= b.getMinY() + 0.5f || b.getMaxY() <= a.getMinY() + 0.5f;
      EXPECT_TRUE(apart) << i << " and " << j;
    }
  // The letters of a head-first supine patient seen from the feet.
  EXPECT_EQ(overlay->getEdgeText(isActorOverlay::kEdgeTop)->getString(), "A");
  EXPECT_EQ(overlay->getEdgeText(isActorOverlay::kEdgeBottom)->getString(), "P");
  EXPECT_EQ(overlay->getEdgeText(isActorOverlay::kEdgeLeft)->getString(), "R");
  EXPECT_EQ(overlay->getEdgeText(isActorOverlay::kEdgeRight)->getString(), "L");
}

TEST_F(OverlayView, EachCineButtonTakesTheClicksOnItsOwnSymbol) {
  const Uint32 windowId = SDL_GetWindowID(SDL_GL_GetCurrentWindow());
  SDL_PumpEvents();
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  Recorder rec;
  rec.listen({NOTIFY_CINE_TOGGLE, NOTIFY_CINE_PRIOR, NOTIFY_CINE_NEXT, NOTIFY_CINE_STATE}, windows[0]);
  // The symbols sit 1.5 rows apart; a click on the middle of each picture
  // (at its symbol) reaches that button only. Play comes last: it starts
  // the cine.
  const struct {
    const char* name;
    int posted;
  } cases[] = {{"multi_prior", NOTIFY_CINE_PRIOR}, {"multi_next", NOTIFY_CINE_NEXT}, {"multi_status", NOTIFY_CINE_TOGGLE}};
  float previousX = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Node* button = overlay->findItem(c.name);
    ASSERT_NE(button, nullptr);
    const Rect r = onScreen(button);
    if (previousX > 0) {
      EXPECT_GE(std::fabs(r.getMidX() - previousX), 1.5f * overlay->getRowHeight() - 0.5f);
    }
    previousX = r.getMidX();
    rec.got.clear();
    const int x = static_cast<int>(r.getMidX()), y = kH - static_cast<int>(r.getMidY());
    pushButton(windowId, SDL_MOUSEBUTTONDOWN, SDL_BUTTON_LEFT, x, y);
    stepWindowFrames(1);
    pushButton(windowId, SDL_MOUSEBUTTONUP, SDL_BUTTON_LEFT, x, y);
    stepWindowFrames(4);
    ASSERT_FALSE(rec.got.empty());
    EXPECT_EQ(rec.got[0].id, static_cast<unsigned>(c.posted));
    EXPECT_EQ(rec.of(NOTIFY_CINE_TOGGLE).size() + rec.of(NOTIFY_CINE_PRIOR).size() + rec.of(NOTIFY_CINE_NEXT).size(),
              1u);
  }
  // The image node plays and says so; the button shows pause.
  stepWindowFrames(30);
  capture("overlay_view_playing.png");
  const auto states = rec.of(NOTIFY_CINE_STATE);
  ASSERT_FALSE(states.empty());
  EXPECT_EQ(states[0].intValue, 1);
}

}  // namespace

int main(int argc, char** argv) { return viewtest::runWindowTests(argc, argv); }
