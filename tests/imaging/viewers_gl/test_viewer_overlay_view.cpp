// The 2-D viewer's overlay in a real window: the CT phantom with the
// patient texts of its first slice's file, first with the short set, then,
// after the full-information switch rebuilds it at the next frame, with the
// full set. The screenshots are for reading; the probes check that the
// full set writes more rows in the top-left and top-right corners and
// nothing new at the bottom.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "imaging/view/isActorOverlay.h"
#include "imaging/viewers/isViewerImage.h"
#include "imaging/view_gl/view_gl_support.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "tools/dcmfixtures/fixtures.h"

USING_NS_CC;
using namespace viewtest;
using isImageSDK::isViewerImage;

namespace {

constexpr int kW = 720, kH = 600;

constexpr uint32_t tag(uint16_t group, uint16_t element) { return uint32_t(group) << 16 | element; }

// Pixels of a rectangle of the shot brighter than the dark image border.
int inkIn(const Shot& shot, int x0, int y0, int x1, int y1) {
  int n = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0; x < x1; ++x) {
      const Rgb c = shot.at(x, y);
      if (c.r + c.g > 300) ++n;
    }
  return n;
}

class ViewerOverlayView : public WindowTest {
 protected:
  ViewerOverlayView() : WindowTest("viewer overlay", kW, kH) {}
};

TEST_F(ViewerOverlayView, ShortThenFullSetOverTheCtPhantom) {
  if (!ready()) return;
  const std::string path = std::string(FW_BINARY_DIR) + "/viewer_overlay_patient.dcm";
  dcmfixtures::writeTagged(path, {{tag(0x0010, 0x0010), "DOE^JANE"},
                                  {tag(0x0010, 0x0040), "F"},
                                  {tag(0x0010, 0x1010), "052Y"},
                                  {tag(0x0010, 0x1030), "64"},
                                  {tag(0x0008, 0x0080), "General Hospital, East Wing"},
                                  {tag(0x0008, 0x0021), "20170815"},
                                  {tag(0x0008, 0x0031), "093012.5"},
                                  {tag(0x0018, 0x1030), "CHEST ROUTINE"}});
  image->slices[0]->filePath = path;

  isViewerImage* v = isViewerImage::create();
  ASSERT_NE(v, nullptr);
  scene->addChild(v);
  v->setPosition(Vec2(10, 10));
  v->setContentSize(Size(700, 580));
  v->showFullInfo = false;
  bool arrived = false;
  NSUI::NSNotificationCenter::getInstance()->addObserver(
      &arrived, v, [&arrived](Ref*, unsigned int, NSUI::NSNotificationData*) { arrived = true; },
      NOTIFY_DICOM_OVERLAY_INFO);
  v->setImageData(image);
  for (int i = 0; i < 600 && !arrived; ++i) {
    stepWindowFrames(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_TRUE(arrived);
  NSUI::NSNotificationCenter::getInstance()->removeAllObservers(&arrived);
  v->imageActor->postViewState();
  stepWindowFrames(12);
  const Shot shortSet = capture("viewer_overlay_short.png");

  // The switch as the full-information command leaves it: the actor gone,
  // the overlay rebuilt at the next visit from the stored texts.
  v->showFullInfo = true;
  v->getActorManager()->removeOverlayActor();
  v->overlayDirty = true;
  stepWindowFrames(12);
  const Shot fullSet = capture("viewer_overlay_full.png");

  // Window pixels: the viewer spans x 10-710, y 10-590 (bottom-up).
  const int topLeftShort = inkIn(shortSet, 10, 390, 300, 590), topLeftFull = inkIn(fullSet, 10, 390, 300, 590);
  const int topRightShort = inkIn(shortSet, 420, 390, 710, 590), topRightFull = inkIn(fullSet, 420, 390, 710, 590);
  EXPECT_GT(topLeftShort, 0);
  EXPECT_GT(topRightShort, 0);
  EXPECT_GT(topLeftFull, topLeftShort);
  EXPECT_GT(topRightFull, topRightShort);
  EXPECT_EQ(inkIn(fullSet, 10, 10, 300, 120) > 0, inkIn(shortSet, 10, 10, 300, 120) > 0);
  v->removeFromParent();
  stepWindowFrames(2);
}

}  // namespace

int main(int argc, char** argv) { return runWindowTests(argc, argv); }
