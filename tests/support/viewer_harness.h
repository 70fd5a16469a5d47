// The viewer screen's image area in a real SDL window, for the layout tests,
// the viewer benchmarks and the viewer demo: series folders are opened the
// way the viewer screen opens them (folder scan, one cache reader per
// series, the pixels awaited through NOTIFY_4D_LOADED, 4-D arrangements
// split into frames, separate series joined into one frame set on request),
// shown through a layout manager whose multi-view fills the window, and
// driven with the screen's own means: the protocol choice (NOTIFY_PROTOCOL_
// SELECT posted with the manager as object), direct commands on the
// multi-view, the quick tool's maximise post, the 4-D strip's phase step,
// and SDL events pushed into the window (handled at the next frame through
// the same path as a user's).
//
//   fwtest::ViewerHarness h;
//   if (!h.open("layouts", 1000, 800)) ...;      // no display
//   h.openSeries({folder});                      // scan, read, wait, split
//   h.show(h.image(0), isImageSDK::LAYOUT_MPR3D);
//   h.selectLayout("mpr");
//   h.wheel(h.cellCentre(cell), -1);
//   fwtest::Picture p = h.capture("mpr.png");
//   h.close();
//
// Points are in window units with the origin at the bottom left, as the
// engine counts them. No test framework is needed: failures are answered
// with false or null and described by lastError. UI thread only.
#pragma once

#include <SDL2/SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "engine/cocos2d.h"
#include "engine/platform/CCGL.h"
#include "tests/support/notification_settle.h"
#include "tests/support/sdl_events.h"
#include "engine/platform/GLViewImpl.h"
#include "engine/platform/Image.h"
#include "engine/renderer/RendererGL.h"
#include "imaging/core/isBinReader.h"
#include "imaging/core/isFolderScan.h"
#include "imaging/core/isImageData.h"
#include "imaging/view/isActorManager.h"
#include "imaging/view/isActorOverlay.h"
#include "imaging/view/isActorVR.h"
#include "imaging/view/isNodeOverlay.h"
#include "imaging/view/isRenderWindow.h"
#include "imaging/viewers/appManager.h"
#include "imaging/viewers/isViewerBrowser.h"
#include "imaging/viewers/isViewerImage.h"
#include "imaging/viewers/isViewerMulti.h"
#include "imaging/viewers/isViewerVR.h"
#include "toolkit/foundation/NSFormat.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace fwtest {

struct Pixel {
  int r = 0, g = 0, b = 0;
  int sum() const { return r + g + b; }
};

// One frame read back from the window: rows bottom first, RGB.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> rgb;
  bool empty() const { return rgb.empty(); }
  Pixel at(int x, int y) const {
    x = std::clamp(x, 0, width - 1);
    y = std::clamp(y, 0, height - 1);
    const unsigned char* p = rgb.data() + (static_cast<size_t>(y) * width + x) * 3;
    return {p[0], p[1], p[2]};
  }
  Pixel at(const cocos2d::Vec2& p) const { return at(static_cast<int>(p.x), static_cast<int>(p.y)); }
  // Pixels of the rectangle that pass the test.
  int count(const cocos2d::Rect& r, const std::function<bool(const Pixel&)>& is) const {
    int n = 0;
    const int x0 = std::max(0, static_cast<int>(r.getMinX())), x1 = std::min(width, static_cast<int>(r.getMaxX()));
    const int y0 = std::max(0, static_cast<int>(r.getMinY())), y1 = std::min(height, static_cast<int>(r.getMaxY()));
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x)
        if (is(at(x, y))) ++n;
    return n;
  }
};

class ViewerHarness {
 public:

  using Clock = std::chrono::steady_clock;

  ViewerHarness() = default;
  ViewerHarness(const ViewerHarness&) = delete;
  ViewerHarness& operator=(const ViewerHarness&) = delete;
  ~ViewerHarness() { close(); }

  // ------------------------------------------------------------ window

  // Opens a width × height window titled `title` with a fresh running scene
  // and the notification centre's tick under way; the image area is the
  // whole window. False without a display or when the window cannot open.
  bool open(const std::string& title, int width, int height) {
    if (!std::getenv("DISPLAY")) return fail("no display");
    auto* files = cocos2d::FileUtils::getInstance();
#ifdef FW_BINARY_DIR
    files->setDefaultResourceRootPath(FW_BINARY_DIR "/resources/");
#endif
    view = cocos2d::GLViewImpl::createWithRect(title, cocos2d::Rect(0, 0, static_cast<float>(width),
                                                                    static_cast<float>(height)));
    if (!view) return fail("the window did not open");
    w = width;
    h = height;
    area = cocos2d::Rect(0, 0, static_cast<float>(width), static_cast<float>(height));
    cocos2d::Director* d = cocos2d::Director::getInstance();
    d->setOpenGLView(view);
    d->setAnimationInterval(0.0f);
    scene = cocos2d::Scene::create();
    d->runWithScene(scene);
    NSUI::NSNotificationCenter::getInstance();
    d->stepFrame(0.6f);
    windowId = SDL_GetWindowID(SDL_GL_GetCurrentWindow());
    return true;
  }

  // Drops the manager (its multi-view leaves the scene), the readers and
  // their data, and ends the engine. Safe to call twice.
  void close() {
    if (!scene) return;
    if (manager) {
      if (isImageSDK::isViewerMulti* m = manager->getViewerMulti()) m->removeFromParent();
      manager->clear();
      manager->release();
      manager = nullptr;
    }
    if (!cocos2d::Director::getInstance()->isEnded()) frames(2);
    for (isImageSDK::isImageData* f : joined) f->release();
    joined.clear();
    for (Series& s : series) s.reader->release();
    series.clear();
    NSUI::NSNotificationCenter::getInstance()->removeAllObservers(this);
    cocos2d::Director::getInstance()->end();
    cocos2d::Director::destroyInstance();
    scene = nullptr;
    view = nullptr;
  }

  bool isOpen() const { return scene != nullptr; }
  int width() const { return w; }
  int height() const { return h; }
  // Where the multi-view goes (window coordinates); the whole window unless
  // set before the first show.
  cocos2d::Rect area;

  // ------------------------------------------------------------ frames

  // n frames at the Director's own pace (event handling included).
  void frames(int n) {
    for (int i = 0; i < n; ++i) cocos2d::Director::getInstance()->stepFrame();
  }
  // Frames until the serial queue has nothing left to deliver. New cells
  // post their overlay texts (view name, window, position...) one delivery
  // a frame, so a picture taken earlier shows the texts they started with.
  bool settle(int maxFrames = 5000) {
    return fwtest::settleNotifications([this] { frames(1); }, maxFrames) >= 0;
  }

  // Frames until the condition holds; false after `seconds`.
  bool framesUntil(const std::function<bool()>& done, double seconds = 120.0) {
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    while (!done()) {
      if (Clock::now() > end) return false;
      frames(1);
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
  }

  // ------------------------------------------------------------ series

  // Opens the folders as the viewer screen does: each folder is scanned
  // into its series cache, a cache reader reads it, the output's pixels are
  // requested, and frames run until every reader has all its pixels (a
  // reader that decodes announces it with NOTIFY_4D_LOADED; one that found
  // its pixel file has them when the update returns). Then a 4-D
  // arrangement of each output is split into frames. False (lastError)
  // when a folder does not scan or read, or the pixels do not arrive.
  bool openSeries(const std::vector<std::string>& folders, double seconds = 600.0) {
    auto* nc = NSUI::NSNotificationCenter::getInstance();
    std::map<cocos2d::Ref*, int> announced;
    nc->addObserver(this, nullptr,
                    [&announced](cocos2d::Ref* sender, unsigned int, NSUI::NSNotificationData*) { ++announced[sender]; },
                    NOTIFY_4D_LOADED);
    const size_t first = series.size();
    for (const std::string& folder : folders) {
      isImageSDK::isDcmScan scan;
      if (!scan.createCache(folder)) {
        nc->removeObserver(NOTIFY_4D_LOADED, this);
        return fail("no series in " + folder);
      }
      Series s;
      s.folder = folder;
      s.reader = isImageSDK::isBinReader::create();
      s.reader->retain();
      series.push_back(s);
      if (!s.reader->setFileName(folder, isImageSDK::isDcmScan::getCacheFileName(folder))) {
        nc->removeObserver(NOTIFY_4D_LOADED, this);
        return fail("the cache of " + folder + " does not read");
      }
      isImageSDK::isImageData* image = s.reader->getOutputImage();
      image->updateInformation();
      image->update();
      series.back().fromPixelFile = s.reader->isLoadComplete();
    }
    const bool ok = framesUntil(
        [&] {
          for (size_t i = first; i < series.size(); ++i) {
            const Series& s = series[i];
            if (!s.reader->isLoadComplete()) return false;
            if (!s.fromPixelFile && announced[s.reader] == 0) return false;
          }
          return true;
        },
        seconds);
    nc->removeObserver(NOTIFY_4D_LOADED, this);
    if (!ok) return fail("the pixels did not arrive");
    for (size_t i = first; i < series.size(); ++i) {
      isImageSDK::isImageData* image = series[i].reader->getOutputImage();
      image->splitFrames();
      image->updateInformation();
    }
    return true;
  }

  size_t seriesCount() const { return series.size(); }
  // The output of series i (after its frames were split: the first frame).
  isImageSDK::isImageData* image(size_t i) const {
    return i < series.size() ? series[i].reader->getOutputImage() : nullptr;
  }
  std::vector<isImageSDK::isImageData*> images() const {
    std::vector<isImageSDK::isImageData*> out;
    for (const Series& s : series) out.push_back(s.reader->getOutputImage());
    return out;
  }
  isImageSDK::isBinReader* reader(size_t i) const { return i < series.size() ? series[i].reader : nullptr; }

  // The screen's "compare4d" set: the outputs of series [from, to) joined
  // into one frame set headed by the first; null when they do not form
  // one (not all volumes, or slice counts or geometry differ).
  isImageSDK::isImageData* joinFrames(size_t from, size_t to) {
    std::vector<isImageSDK::isImageData*> list;
    for (size_t i = from; i < to && i < series.size(); ++i) list.push_back(image(i));
    for (isImageSDK::isImageData* d : list) {
      if (!d->isVolume()) return nullptr;
    }
    isImageSDK::isImageData* set = isImageSDK::isImageData::createFrameSet(list);
    if (set) {
      // The set's later frames are held by the chain; the readers keep
      // their outputs. Hold every frame for as long as the harness lives.
      for (isImageSDK::isImageData* d : list) {
        d->retain();
        joined.push_back(d);
      }
    }
    return set;
  }

  // ------------------------------------------------------------ showing

  // One data in a layout through the manager (setImageData); the
  // multi-view joins the scene on the first show.
  void show(isImageSDK::isImageData* data, int layoutId) {
    ensureManager();
    manager->setImageData(data, area, layoutId);
    attach();
    frames(2);
    settle();
  }
  // Several data side by side (setImageDataList, "compare2d").
  void showSideBySide(const std::vector<isImageSDK::isImageData*>& list) {
    ensureManager();
    manager->setImageDataList(list, area);
    attach();
    frames(2);
    settle();
  }

  isImageSDK::appManager* getManager() const { return manager; }
  isImageSDK::isViewerMulti* multi() const { return manager ? manager->getViewerMulti() : nullptr; }
  int layout() const { return manager ? manager->getLayout() : 0; }

  // ------------------------------------------------------------ commands

  // The protocol menu's choice: NOTIFY_PROTOCOL_SELECT with the layout name
  // as text, posted with the manager as object (serial, delivered at the
  // next frame), then two frames.
  void selectLayout(const std::string& name) {
    if (!manager) return;
    NSUI::NSNotificationCenter::getInstance()->postNotificationText(nullptr, NOTIFY_PROTOCOL_SELECT, name, manager,
                                                                    false);
    // Serial: delivered in its turn, one delivery a frame.
    const int id = isImageSDK::appManager::getLayoutId(name);
    if (id) framesUntil([&] { return manager->getLayout() == id; }, 10.0);
    frames(3);
    settle();
  }
  // A command of the screen on the multi-view (its focused cell).
  void command(unsigned int id, NSUI::NSNotificationData* data = nullptr) {
    if (isImageSDK::isViewerMulti* m = multi()) m->handleCommand(id, data);
  }
  void commandInt(unsigned int id, int value) {
    if (isImageSDK::isViewerMulti* m = multi()) m->handleCommandInt(id, value);
  }
  // The quick tool bar's maximise button for one render window: the image
  // area as flat JSON {"x","y","w","h"} ("%.6f"), the window's reference id
  // as task value, broadcast, serial; then a few frames. The same post puts
  // it back.
  // The serial queue hands out one delivery per frame and every render
  // window observes the post, so frames run until the addressed window has
  // toggled and then until the others have had theirs.
  void maximise(cocos2d::Ref* window) {
    auto* render = dynamic_cast<isImageSDK::isRenderWindow*>(window);
    const bool was = render && render->maximized;
    postMaximise(window);
    if (render) framesUntil([&] { return render->maximized != was; }, 10.0);
    frames(40);
  }
  // The post alone (for key handlers that run inside a frame).
  void postMaximise(cocos2d::Ref* window) {
    auto* data = new NSUI::NSNotificationData();
    std::string text;
    NSUI::UIJson::setJsonString(text, "x", NSUI::formatString("%.6f", area.origin.x));
    NSUI::UIJson::setJsonString(text, "y", NSUI::formatString("%.6f", area.origin.y));
    NSUI::UIJson::setJsonString(text, "w", NSUI::formatString("%.6f", area.size.width));
    NSUI::UIJson::setJsonString(text, "h", NSUI::formatString("%.6f", area.size.height));
    data->text = text;
    data->taskValue = static_cast<int>(window->getRefID());
    NSUI::NSNotificationCenter::getInstance()->postNotification(nullptr, NOTIFY_CELL_MAXIMISE, data, nullptr, false);
    data->release();
  }
  // The 4-D strip's next-phase button: with p the manager's phase index,
  // when a next phase exists the multi-view shows p + 1. False when there
  // was none.
  bool nextPhase() {
    if (!manager || !manager->hasNextPhase()) return false;
    multi()->setPhase(manager->getPhaseIndex() + 1);
    return true;
  }
  // The previous-phase button: p − 1 when p > 0.
  bool previousPhase() {
    if (!manager) return false;
    const int p = manager->getPhaseIndex();
    if (p <= 0) return false;
    multi()->setPhase(p - 1);
    return true;
  }

  // ------------------------------------------------------------ input

  // Moves the system pointer into the window (the wheel acts where it is)
  // and runs frames until SDL knows it there.
  bool pointerTo(const cocos2d::Vec2& p) {
    const int x = static_cast<int>(p.x), y = h - static_cast<int>(p.y);
    SDL_WarpMouseInWindow(SDL_GL_GetCurrentWindow(), x, y);
    for (int i = 0; i < 60; ++i) {
      frames(1);
      int mx = -1, my = -1;
      SDL_GetMouseState(&mx, &my);
      if (mx == x && my == y) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return fail("the pointer did not move");
  }
  // Wheel notches over point p (positive: away from the user), one event
  // per notch, handled at the next frame. The pointer moves there first
  // when it is elsewhere.
  bool wheel(const cocos2d::Vec2& p, int notchesAway, bool pointerThere = false) {
    if (!pointerThere && !pointerTo(p)) return false;
    const int step = notchesAway > 0 ? 1 : -1;
    for (int i = 0; i != notchesAway; i += step)
      if (!push(wheelEvent(windowId, step))) return false;
    return true;
  }
  // Button 0 left, 1 right, 2 middle.
  bool mouseButton(bool down, const cocos2d::Vec2& p, int button = 0) {
    return push(mouseButtonEvent(windowId, h, down, p, button));
  }
  bool mouseMove(const cocos2d::Vec2& p, int button = -1) {
    const Uint32 mask = button == 0 ? SDL_BUTTON_LMASK : button == 1 ? SDL_BUTTON_RMASK : button == 2 ? SDL_BUTTON_MMASK : 0;
    return push(mouseMoveEvent(windowId, h, p, mask));
  }
  // A drag with one button from `from` to `to` in `steps` moves, one frame
  // each, then the release and two frames.
  bool drag(const cocos2d::Vec2& from, const cocos2d::Vec2& to, int steps = 10, int button = 0) {
    if (!mouseButton(true, from, button)) return false;
    frames(1);
    for (int i = 1; i <= steps; ++i) {
      if (!mouseMove(from + (to - from) * (static_cast<float>(i) / static_cast<float>(steps)), button)) return false;
      frames(1);
    }
    if (!mouseButton(false, to, button)) return false;
    frames(2);
    return true;
  }
  bool key(SDL_Keycode sym) {
    for (Uint32 type : {SDL_KEYDOWN, SDL_KEYUP})
      if (!push(keyEvent(windowId, type, sym))) return false;
    return true;
  }

  // ------------------------------------------------------------ cells

  // The cells in the multi-view's order (ascending key, then the order of
  // adding).
  std::vector<isImageSDK::KeyViewProperty*> cells() const {
    std::vector<isImageSDK::KeyViewProperty*> out;
    if (isImageSDK::isViewerMulti* m = multi())
      for (auto& entry : m->cells)
        for (isImageSDK::KeyViewProperty* c : entry.second) out.push_back(c);
    return out;
  }
  // The cell showing that data; null when none.
  isImageSDK::KeyViewProperty* cellOfData(isImageSDK::isImageData* data) const {
    for (isImageSDK::KeyViewProperty* c : cells())
      if (c->imageData == data) return c;
    return nullptr;
  }
  // The first cell of a view kind; null when none.
  isImageSDK::KeyViewProperty* cellOfKind(int kind) const {
    for (isImageSDK::KeyViewProperty* c : cells())
      if (c->getViewKind() == kind) return c;
    return nullptr;
  }
  static isImageSDK::isViewerBrowser* browserOf(isImageSDK::KeyViewProperty* cell) {
    return cell ? dynamic_cast<isImageSDK::isViewerBrowser*>(cell->getViewer()) : nullptr;
  }
  static isImageSDK::isViewerVR* volumeOf(isImageSDK::KeyViewProperty* cell) {
    return cell ? dynamic_cast<isImageSDK::isViewerVR*>(cell->getViewer()) : nullptr;
  }
  // The first image viewer of a 2-D cell; null for other cells.
  static isImageSDK::isViewerImage* imageViewerOf(isImageSDK::KeyViewProperty* cell) {
    isImageSDK::isViewerBrowser* b = browserOf(cell);
    return b && !b->getImageViewers().empty() ? b->getImageViewers().at(0) : nullptr;
  }
  // A node's rectangle in window coordinates.
  static cocos2d::Rect rectOf(cocos2d::Node* node) {
    if (!node) return cocos2d::Rect::ZERO;
    const cocos2d::Vec2 o = node->convertToWorldSpace(cocos2d::Vec2::ZERO);
    return cocos2d::Rect(o, node->getContentSize());
  }
  static cocos2d::Rect cellRect(isImageSDK::KeyViewProperty* cell) {
    return cell ? rectOf(dynamic_cast<cocos2d::Node*>(cell->getViewer())) : cocos2d::Rect::ZERO;
  }
  static cocos2d::Vec2 centreOf(const cocos2d::Rect& r) { return {r.getMidX(), r.getMidY()}; }
  // Window point of a world point shown by an image viewer.
  static cocos2d::Vec2 screenOf(isImageSDK::isViewerImage* v, const cocos2d::Vec3& world) {
    return v->convertToWorldSpace(v->worldToScreen(world));
  }

  // Frames until the volume viewer shows the full-quality frame of its
  // current view with both of its threads idle.
  bool waitForVolume(isImageSDK::isViewerVR* viewer, double seconds = 180.0) {
    if (!viewer) return fail("no volume viewer");
    isImageSDK::isActorVR* actor = viewer->getVolumeActor();
    if (!actor) return fail("no volume actor");
    frames(1);
    const int width = static_cast<int>(viewer->getContentSize().width);
    return framesUntil(
        [&] {
          cocos2d::Texture2D* t = actor->getSprite()->getTexture();
          return actor->getSprite()->isVisible() && t && t->getPixelsWide() == width &&
                 !viewer->getSceneCamera()->changed && isImageSDK::isActorVR::isThreadIdle(actor->getThreadRT()) &&
                 isImageSDK::isActorVR::isThreadIdle(actor->getThreadBest());
        },
        seconds);
  }

  // The text an image viewer's overlay shows for a bound value (for example
  // NOTIFY_OVERLAY_WINDOW, "<ww> <wl> "); "" when no item shows it.
  static std::string overlayText(isImageSDK::isViewerImage* v, int id) {
    if (!v || !v->getActorManager()) return "";
    isImageSDK::isActorOverlay* overlay = v->getActorManager()->getOverlayActor();
    if (!overlay) return "";
    for (isImageSDK::isNodeOverlay* item : overlay->getItems()) {
      auto* text = dynamic_cast<isImageSDK::isNodeOverlayText*>(item);
      if (text && text->notificationId == id) return text->getString();
    }
    return "";
  }

  // ------------------------------------------------------------ pictures

  // Renders two frames and reads the second back; also saves it as the PNG
  // at `path` (top row first) unless the path is empty.
  Picture capture(const std::string& path) {
    Picture p;
    p.width = w;
    p.height = h;
    cocos2d::Director* d = cocos2d::Director::getInstance();
    d->stepFrame();
    auto* gl = dynamic_cast<cocos2d::RendererGL*>(d->getRenderer()->getBackend());
    if (!gl) return p;
    const int cw = w, ch = h;
    gl->runAfterNextFrame([&p, cw, ch] {
      p.rgb.resize(static_cast<size_t>(cw) * ch * 3);
      glPixelStorei(GL_PACK_ALIGNMENT, 1);
      glReadBuffer(GL_BACK);
      glReadPixels(0, 0, cw, ch, GL_RGB, GL_UNSIGNED_BYTE, p.rgb.data());
    });
    d->stepFrame();
    if (!path.empty() && !p.rgb.empty()) {
      std::vector<unsigned char> flipped(p.rgb.size());
      for (int r = 0; r < h; ++r)
        std::memcpy(&flipped[static_cast<size_t>(r) * w * 3], &p.rgb[static_cast<size_t>(h - 1 - r) * w * 3],
                    static_cast<size_t>(w) * 3);
      cocos2d::Image::writePng(path, flipped.data(), w, h, 3);
    }
    return p;
  }

  std::string lastError;
  cocos2d::Scene* scene = nullptr;
  Uint32 windowId = 0;

 private:
  struct Series {
    std::string folder;
    isImageSDK::isBinReader* reader = nullptr;  // retained
    bool fromPixelFile = false;                 // complete when its update returned
  };

  bool fail(const std::string& why) {
    lastError = why;
    return false;
  }
  bool push(SDL_Event e) {
    if (SDL_PushEvent(&e) == 1) return true;
    return fail(std::string("SDL_PushEvent: ") + SDL_GetError());
  }
  void ensureManager() {
    if (manager) return;
    manager = isImageSDK::appManager::create();
    manager->retain();
  }
  void attach() {
    isImageSDK::isViewerMulti* m = manager->getViewerMulti();
    if (m && !m->getParent()) scene->addChild(m, -100);
  }

  cocos2d::GLViewImpl* view = nullptr;
  int w = 0, h = 0;
  std::vector<Series> series;
  std::vector<isImageSDK::isImageData*> joined;  // retained
  isImageSDK::appManager* manager = nullptr;     // retained
};

}  // namespace fwtest
