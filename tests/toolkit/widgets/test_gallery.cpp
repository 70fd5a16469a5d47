// The widget gallery in a real window under Xvfb, driven by SDL events
// pushed into the window's queue: a 10,000-row list with a pressed row and
// a half-open swipe menu, the scroll bar while the list coasts, a message
// toast, and a modal window that keeps a click and the wheel from what it
// covers. Set FW_SHOT_DIR to keep the screenshots.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "engine/platform/Image.h"
#include "engine_gl/support_xvfb.h"
#include "headless_stage.h"

#ifndef FW_WIDGETGALLERY
#define FW_WIDGETGALLERY ""
#endif

namespace {

struct Picture {
    cocos2d::Image image;
    // RGB at (x, y), origin top-left.
    const unsigned char* at(int x, int y) const
    {
        return image.getData() + (static_cast<size_t>(y) * image.getWidth() + x) * image.getComponents();
    }
};

class GalleryTest : public ::testing::Test {
public:
    static void SetUpTestSuite()
    {
        if (std::string(FW_WIDGETGALLERY).empty() || startVirtualScreen(0, nullptr)) {
            skipped = true;
            return;
        }
        const char* keep = std::getenv("FW_SHOT_DIR");
        dir = keep && *keep ? std::string(keep) : scratch.path;
        const std::string cmd = "LIBGL_ALWAYS_SOFTWARE=1 SDL_AUDIODRIVER=dummy ASAN_OPTIONS=detect_leaks=0 '" +
                                std::string(FW_WIDGETGALLERY) + "' --out '" + dir + "' > '" + dir +
                                "/gallery.log' 2>&1";
        status = std::system(cmd.c_str());
        std::ifstream in(dir + "/results.txt");
        std::string key;
        double value = 0;
        while (in >> key >> value)
            results[key] = value;
    }
    void SetUp() override
    {
        if (skipped)
            GTEST_SKIP() << "no display and no Xvfb";
        ASSERT_EQ(status, 0) << "see " << dir << "/gallery.log";
    }
    static Picture load(const std::string& name)
    {
        Picture p;
        EXPECT_TRUE(p.image.initWithImageFile(dir + "/" + name)) << name;
        EXPECT_EQ(p.image.getWidth(), 1280);
        EXPECT_EQ(p.image.getHeight(), 800);
        return p;
    }

    static inline bool skipped = false;
    static inline int status = -1;
    static inline ScratchDir scratch;
    static inline std::string dir;
    static inline std::map<std::string, double> results;
};

} // namespace

TEST_F(GalleryTest, PressedRowAndHalfOpenSwipeMenu)
{
    EXPECT_EQ(results["rows"], 10000);
    Picture shot = load("list_pressed_swipe.png");
    ASSERT_NE(shot.image.getData(), nullptr);
    // Row 2 (y 200..260 from the top) slid 75 units right over its red menu.
    const unsigned char* menu = shot.at(60, 230);
    EXPECT_GT(menu[0], 150);
    EXPECT_LT(menu[1], 90);
    // The pressed row carries the yellow highlight, its neighbour does not.
    const unsigned char* pressed = shot.at(500, 250);
    EXPECT_GT(pressed[0], pressed[2] + 20);
    const unsigned char* plain = shot.at(500, 310);
    EXPECT_GT(plain[2], plain[0]);
}

TEST_F(GalleryTest, ScrollBarShowsWhileTheListCoasts)
{
    EXPECT_EQ(results["coasting"], 1);
    Picture shot = load("list_scrolling.png");
    ASSERT_NE(shot.image.getData(), nullptr);
    int bright = 0;
    for (int y = 80; y < 760; ++y) {
        const unsigned char* p = shot.at(677, y);
        bright += p[0] > 150 && p[1] > 150 && p[2] > 150;
    }
    EXPECT_GE(bright, 20);
    EXPECT_LE(bright, 40);
}

TEST_F(GalleryTest, MessageToastOverTheList)
{
    Picture shot = load("list_toast.png");
    ASSERT_NE(shot.image.getData(), nullptr);
    const unsigned char* box = shot.at(1000, 650);
    EXPECT_NEAR(box[0], 100, 25);
    EXPECT_NEAR(box[0], box[2], 6);
    const unsigned char* outside = shot.at(1000, 600);
    EXPECT_GT(outside[0], 200);
}

TEST_F(GalleryTest, ModalWindowKeepsClickAndWheelFromWhatItCovers)
{
    Picture shot = load("modal.png");
    ASSERT_NE(shot.image.getData(), nullptr);
    EXPECT_LT(shot.at(1100, 300)[0], 190); // dimmed behind the pop-up
    EXPECT_GT(shot.at(450, 350)[0], 240);  // the pop-up's panel
    EXPECT_EQ(results["covered_clicks"], 0);
    EXPECT_EQ(results["covered_wheel_moved"], 0);
    // The same click and wheel reach them once the window is gone.
    EXPECT_EQ(results["uncovered_clicks"], 1);
    EXPECT_EQ(results["uncovered_wheel_moved"], -60);
    EXPECT_LE(results["visible_cells"], 13);
}
