// viewerdemo: opens series folders the way the viewer screen does and shows
// them through the layout manager in a window, to look at every layout by
// hand.
//
//   viewerdemo [--layout NAME] [--size WxH] [--shots DIR] FOLDER...
//
// One folder opens in "mpr3d" (or --layout); several open side by side in
// "compare2d". Keys:
//   1-8      layouts "2dview", "browser2d", "mpr3d", "mpr", "mpr2",
//            "2dslice", "compare2d", "compare4d" (the protocol choice)
//   N / P    next / previous phase of a 4-D series
//   V / X    the focused cell as volume rendering / maximum intensity
//   A S C    the focused cell axial, sagittal, coronal
//   W        the window tool (drag with the left button)
//   M        maximise the focused window, again to restore
//   Q, Esc   quit
// With --shots DIR every layout is shown once, its picture written as
// DIR/<layout>.png, and the program ends.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "support/viewer_harness.h"

using namespace isImageSDK;
using cocos2d::EventKeyboard;

namespace {

void usage() {
  std::fprintf(stderr, "usage: viewerdemo [--layout NAME] [--size WxH] [--shots DIR] FOLDER...\n");
}

// The focused cell's current render window (2-D viewer or volume viewer).
cocos2d::Ref* focusedWindow(fwtest::ViewerHarness& h) {
  isViewerMulti* m = h.multi();
  KeyViewProperty* cell = m ? m->getFocusedCell() : nullptr;
  if (!cell) return nullptr;
  if (isViewerBrowser* b = fwtest::ViewerHarness::browserOf(cell)) return b->getCurrentViewer();
  return fwtest::ViewerHarness::volumeOf(cell);
}

void settle(fwtest::ViewerHarness& h) {
  if (KeyViewProperty* vr = h.cellOfKind(VIEW_KIND_VR)) h.waitForVolume(fwtest::ViewerHarness::volumeOf(vr), 60.0);
  if (KeyViewProperty* mip = h.cellOfKind(VIEW_KIND_MIP)) h.waitForVolume(fwtest::ViewerHarness::volumeOf(mip), 60.0);
  h.frames(2);
}

}  // namespace

int main(int argc, char** argv) {
  std::string layout, shots;
  int width = 1200, height = 800;
  std::vector<std::string> folders;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--layout" && i + 1 < argc) {
      layout = argv[++i];
    } else if (a == "--shots" && i + 1 < argc) {
      shots = argv[++i];
    } else if (a == "--size" && i + 1 < argc) {
      if (std::sscanf(argv[++i], "%dx%d", &width, &height) != 2 || width < 64 || height < 64) {
        usage();
        return 2;
      }
    } else if (a == "-h" || a == "--help") {
      usage();
      return 0;
    } else {
      std::string f = a;
      if (f.back() != '/') f += '/';
      folders.push_back(f);
    }
  }
  if (folders.empty()) {
    usage();
    return 2;
  }
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  fwtest::ViewerHarness h;
  if (!h.open("viewerdemo", width, height)) {
    std::fprintf(stderr, "viewerdemo: %s\n", h.lastError.c_str());
    return 1;
  }
  // The series caches and pixel files go below a writable folder of the
  // user's temporary directory.
  const char* tmp = std::getenv("TMPDIR");
  cocos2d::FileUtils::getInstance()->setWritablePath(std::string(tmp && *tmp ? tmp : "/tmp") + "/viewerdemo/");
  std::fprintf(stderr, "viewerdemo: reading %zu series...\n", folders.size());
  if (!h.openSeries(folders)) {
    std::fprintf(stderr, "viewerdemo: %s\n", h.lastError.c_str());
    return 1;
  }
  if (h.seriesCount() == 1) {
    const int id = layout.empty() ? LAYOUT_MPR3D : appManager::getLayoutId(layout);
    h.show(h.image(0), id ? id : LAYOUT_MPR3D);
  } else {
    h.showSideBySide(h.images());
    if (!layout.empty()) h.selectLayout(layout);
  }
  std::fprintf(stderr, "viewerdemo: layout \"%s\", %zu cells\n", layoutName(h.layout()), h.cells().size());

  if (!shots.empty()) {
    std::string dir = shots;
    if (dir.back() != '/') dir += '/';
    for (int id = 1; id <= kLayoutCount; ++id) {
      h.selectLayout(layoutName(id));
      settle(h);
      const std::string path = dir + layoutName(id) + ".png";
      h.capture(path);
      std::fprintf(stderr, "viewerdemo: %s (layout %d, %zu cells)\n", path.c_str(), h.layout(), h.cells().size());
    }
    h.close();
    return 0;
  }

  bool quit = false;
  auto* keys = cocos2d::EventListenerKeyboard::create();
  keys->onKeyPressed = [&](EventKeyboard::KeyCode code, cocos2d::Event*) {
    using K = EventKeyboard::KeyCode;
    const int k = static_cast<int>(code);
    if (k >= static_cast<int>(K::KEY_1) && k <= static_cast<int>(K::KEY_8)) {
      const char* name = layoutName(k - static_cast<int>(K::KEY_1) + 1);
      NSUI::NSNotificationCenter::getInstance()->postNotificationText(nullptr, NOTIFY_PROTOCOL_SELECT, name,
                                                                      h.getManager(), false);
      std::fprintf(stderr, "viewerdemo: \"%s\"\n", name);
      return;
    }
    switch (code) {
      case K::KEY_N: h.nextPhase(); break;
      case K::KEY_P: h.previousPhase(); break;
      case K::KEY_V: h.command(NOTIFY_VIEW_TYPE_VR); break;
      case K::KEY_X: h.command(NOTIFY_VIEW_TYPE_MIP); break;
      case K::KEY_A: h.command(NOTIFY_VIEW_TYPE_AXIAL); break;
      case K::KEY_S: h.command(NOTIFY_VIEW_TYPE_SAGITTAL); break;
      case K::KEY_C: h.command(NOTIFY_VIEW_TYPE_CORONAL); break;
      case K::KEY_W: h.command(NOTIFY_TOOL_WINDOW_BY_TOUCH); break;
      case K::KEY_M:
        if (cocos2d::Ref* w = focusedWindow(h)) h.postMaximise(w);
        break;
      case K::KEY_Q:
      case K::KEY_ESCAPE: quit = true; break;
      default: break;
    }
  };
  cocos2d::Director* d = cocos2d::Director::getInstance();
  d->getEventDispatcher()->addEventListenerWithFixedPriority(keys, 1);
  std::fprintf(stderr, "viewerdemo: keys 1-8 layouts, N/P phase, V/X volume, A/S/C planes, W window tool, "
                       "M maximise, Q quit\n");
  while (!quit && !d->isEnded()) {
    const auto t0 = std::chrono::steady_clock::now();
    d->stepFrame();
    std::this_thread::sleep_until(t0 + std::chrono::milliseconds(16));
  }
  d->getEventDispatcher()->removeEventListener(keys);
  h.close();
  return 0;
}
