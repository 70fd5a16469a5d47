// screens: 1920x1080 1280x800
// The viewer screen in the running program: series sent by a DICOM peer
// into the library, the screen pushed on a series folder as the study
// browser pushes it, then only SDL events at what is shown: layouts, the
// quick bar, the window menu and editor, the slider, the protocol menu, the
// tag viewer, the 4-D strip and a return while a series still loads.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>

#include <filesystem>

#include "app/viewer/imageViewerPC.h"
#include "e2e/e2e_scenario.h"
#include "imaging/core/isSharedObjects.h"
#include "imaging/viewers/appManager.h"
#include "imaging/viewers/isViewerMulti.h"
#include "shell/AppDelegate.h"
#include "toolkit/foundation/NSLanguage.h"

USING_NS_CC;
namespace fs = std::filesystem;

namespace {

// The series folder (relative to the storage root) of the series with
// `images` image rows; empty when there is none.
std::string seriesWithImages(int images) {
  return fwtest::E2EDriver::queryLibraryText(
      "SELECT s.path FROM series s WHERE (SELECT COUNT(*) FROM image i WHERE i.seriesID = s.ID) = " +
      std::to_string(images));
}

imageViewerPC* shownScreen() {
  Scene* scene = Director::getInstance()->getRunningScene();
  return scene ? dynamic_cast<imageViewerPC*>(scene->getChildByName("imageViewPC")) : nullptr;
}

bool focusedWindow(float& width, float& level) {
  imageViewerPC* screen = shownScreen();
  return screen && screen->viewerMulti && screen->viewerMulti->getFocusedWindowLevel(width, level);
}

int focusedSlice() {
  imageViewerPC* screen = shownScreen();
  int info[2] = {-1, 0};
  if (!screen || !screen->viewerMulti || !screen->viewerMulti->getFocusedSliceInfo(info)) return -1;
  return info[0];
}

int shownLayout() {
  imageViewerPC* screen = shownScreen();
  return screen && screen->layoutManager ? screen->layoutManager->getLayout() : -1;
}

}  // namespace

class ViewerScreen : public fwtest::E2EScenario {};

TEST_F(ViewerScreen, SeriesFromThePeerThroughTheToolsByHand) {
  const std::string ct = fixtures + "ct/", pet = fixtures + "pet/", big = fixtures + "big/";
  fixtures = ct;
  ASSERT_TRUE(makeFixtures({"--only", "ct_phantom", "--size", "64x64", "--slices", "40"}));
  fixtures = pet;
  ASSERT_TRUE(makeFixtures({"--only", "pt_4d", "--size", "64x64", "--slices", "5"}));
  fixtures = big;
  ASSERT_TRUE(makeFixtures({"--only", "ct_phantom", "--size", "64x64", "--slices", "200"}));

  AppDelegate app;
  fwtest::E2EDriver driver(scenarioName());
  const int rc = driver.run(app, [&](fwtest::E2EDriver& d) {
    d.frames(5);
    for (const std::string& folder : {ct + "ct_phantom_HFS", pet + "pt_4d", big + "ct_phantom_FFS"}) {
      std::string log;
      ASSERT_EQ(d.runCommand("/usr/bin/storescu", {"-aec", "fernwick", "+sd", "127.0.0.1", "4587", folder}, 300, &log),
                0)
          << log;
    }
    ASSERT_TRUE(d.waitFrames([] { return fwtest::E2EDriver::queryLibrary("SELECT COUNT(*) FROM image") == 340; },
                             3600));
    const std::string ctSeries = seriesWithImages(40), petSeries = seriesWithImages(100);
    ASSERT_FALSE(ctSeries.empty());
    ASSERT_FALSE(petSeries.empty());
    Scene* home = Director::getInstance()->getRunningScene();

    // The CT volume: the busy overlay, then "mpr" with the 3-D page.
    Director::getInstance()->pushScene(imageViewerPC::createScene(ctSeries));
    d.frames(2);
    d.shot("01-loading");
    ASSERT_TRUE(d.waitForNode("btnViewAxial"));
    d.frames(10);
    EXPECT_EQ(shownLayout(), 4);
    d.shot("02-mpr-3d-page");

    ASSERT_TRUE(d.clickNode("btnTile2x2"));
    d.frames(10);
    d.shot("03-tile-2x2");

    // Another cell clicked (the sagittal one, bottom left): the quick bar
    // comes onto it; "max" and back.
    const Rect area = shownScreen()->viewerArea();
    d.clickAt(area.getMinX() + area.size.width * 0.25f, area.getMinY() + area.size.height * 0.25f, 5);
    ASSERT_TRUE(d.waitForNode("max"));
    d.shot("04-quick-bar");
    ASSERT_TRUE(d.clickNode("max", 10));
    d.shot("05-maximised");
    ASSERT_TRUE(d.clickNode("max", 10));

    // The window menu's "Abdomen" preset.
    ASSERT_TRUE(d.clickNode("btnCmdWL"));
    ASSERT_TRUE(d.waitForNode("windowLevelMenu"));
    d.shot("06-window-menu");
    ASSERT_TRUE(d.clickText("Abdomen", "windowLevelMenu", 5));
    float width = 0, level = 0;
    ASSERT_TRUE(focusedWindow(width, level));
    EXPECT_FLOAT_EQ(width, 400.0f);
    EXPECT_FLOAT_EQ(level, 60.0f);

    // The editor: width and level retyped, Escape applies.
    ASSERT_TRUE(d.clickNode("btnCmdWL"));
    ASSERT_TRUE(d.clickText(NSUI::getLocalizedString("tool_ww_Input"), "windowLevelMenu", 5));
    ASSERT_TRUE(d.waitForNode("editWW_view"));
    d.shot("07-editor");
    for (const char* field : {"editWW", "editWL"}) {
      ASSERT_TRUE(d.clickNodeIn("editWW_view", field));
      for (int i = 0; i < 8; ++i) d.press(SDLK_BACKSPACE, 1);
      d.type(std::string(field) == "editWW" ? "1000" : "200");
    }
    d.press(SDLK_ESCAPE, 5);
    EXPECT_EQ(d.findVisible("editWW_view"), nullptr);
    ASSERT_TRUE(focusedWindow(width, level));
    EXPECT_FLOAT_EQ(width, 1000.0f);
    EXPECT_FLOAT_EQ(level, 200.0f);

    // The slider: the focused slice follows the ball.
    Node* slider = d.findVisible("sliderSlice");
    ASSERT_NE(slider, nullptr);
    const Rect bar = fwtest::E2EDriver::worldRect(slider);
    const int before = focusedSlice();
    d.drag(Vec2(bar.getMidX(), bar.getMidY()), Vec2(bar.getMinX() + bar.size.width * 0.9f, bar.getMidY()));
    d.frames(3);
    EXPECT_NE(focusedSlice(), before);

    // The protocol menu: "MPR and 3D" gives four cells and its picture.
    ASSERT_TRUE(d.clickNode("btnCmdProtocal"));
    ASSERT_TRUE(d.waitForNode("protocalMenu"));
    d.frames(20);  // the rows' pictures arrive through the picture queue
    d.shot("08-protocol-menu");
    ASSERT_TRUE(d.clickText("MPR and 3D", "protocalMenu", 10));
    EXPECT_TRUE(d.waitFrames([] { return shownLayout() == 3; }, 120));
    d.frames(30);
    d.shot("09-mpr3d");

    // The quick bar's "info": the DICOM menu, then the tag viewer.
    d.clickAt(area.getMinX() + area.size.width * 0.25f, area.getMinY() + area.size.height * 0.25f, 5);
    ASSERT_TRUE(d.clickNode("info"));
    ASSERT_TRUE(d.waitForNode("dcmMenu"));
    ASSERT_TRUE(d.clickText("Dicom Meta Info", "dcmMenu", 5));
    ASSERT_TRUE(d.waitForNode("dcmInfo"));
    EXPECT_TRUE(d.waitFrames([&] { return d.findText("(0008,0060)", "dcmInfo") != nullptr; }, 300));
    d.shot("10-tag-viewer");
    ASSERT_TRUE(d.clickNode("btn_back", 5));
    EXPECT_EQ(d.findVisible("dcmInfo"), nullptr);

    ASSERT_TRUE(d.clickNode("goBack", 5));
    EXPECT_TRUE(d.waitFrames([&] { return Director::getInstance()->getRunningScene() == home; }, 60));

    // The 4-D PET: the strip steps the phases, the phase menu picks one.
    Director::getInstance()->pushScene(imageViewerPC::createScene(petSeries));
    ASSERT_TRUE(d.waitForNode("4DPlayUI", 1200));
    ASSERT_TRUE(d.clickNode("btn4DNext"));
    ASSERT_TRUE(d.clickNode("btn4DNext"));
    EXPECT_TRUE(d.waitForText("btn4DMenu", "Phase 3", 30));
    d.shot("11-phase-strip");
    ASSERT_TRUE(d.clickNode("btn4DMenu"));
    ASSERT_TRUE(d.waitForNode("phaseMenu"));
    d.shot("12-phase-menu");
    ASSERT_TRUE(d.clickText("Phase 1", "phaseMenu", 5));
    EXPECT_TRUE(d.waitForText("btn4DMenu", "Phase 1", 30));
    ASSERT_TRUE(d.clickNode("goBack", 5));
    EXPECT_TRUE(d.waitFrames([&] { return Director::getInstance()->getRunningScene() == home; }, 60));

    // A cold 200-slice series: Escape while it loads leaves no reader.
    const std::string coldSeries = seriesWithImages(200);
    ASSERT_FALSE(coldSeries.empty());
    Director::getInstance()->pushScene(imageViewerPC::createScene(coldSeries));
    d.frames(2);
    d.press(SDLK_ESCAPE, 2);
    EXPECT_TRUE(d.waitFrames([&] { return Director::getInstance()->getRunningScene() == home; }, 60));
    auto* registry = isImageSDK::isSharedObjects::getInstance();
    EXPECT_TRUE(d.waitFrames([&] { return registry->getObjectByName(coldSeries) == nullptr; }, 600));
    EXPECT_EQ(registry->getObjectByName(ctSeries), nullptr);
  });
  EXPECT_EQ(rc, 0);
}
