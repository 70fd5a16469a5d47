// End-to-end driver: the real program (the application delegate, as the
// `fernwick` entry starts it) in its real SDL window, driven between frames
// by a scenario that sees only what a user sees and does only what a user
// does: nodes found by name in the running scene, SDL mouse, wheel, key and
// text events pushed at their rectangles, external tools (storescu,
// dcmdump) run while the program keeps drawing, waits within a frame budget
// for something to show, and screenshots through the engine's capture.
//
//   fwtest::E2EDriver d("viewer_1920");
//   int rc = d.run(app, [&](fwtest::E2EDriver& d) {
//     ASSERT_TRUE(d.waitForNode("goBack"));
//     d.clickNode("btnTile2x2");
//     d.shot("grid");
//   });
//
// Each scenario is one test case in a process of its own (the teardown ends
// the process-wide services for good); the program reads a fresh writable
// folder from FW_WRITABLE_PATH (fwtest::AppEnvironment). Screenshots go to
// FW_E2E_SHOTS, else <build>/e2e/<scenario>/.
#pragma once

#include <sqlite3.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "support/app_driver.h"
#include "support/sdl_events.h"

namespace fwtest {

class E2EDriver : public AppDriver {
 public:
  using Script = std::function<void(E2EDriver&)>;

  explicit E2EDriver(std::string scenario) : scenario_(std::move(scenario)) {}

  int run(cocos2d::Application& app, Script script) {
    return AppDriver::run(app, [this, script](AppDriver&) {
      if (script) script(*this);
    });
  }

  // ------------------------------------------------------------ the scene
  // The first node named `name` in the running scene (depth first, children
  // in drawing order) that is shown: it and every ancestor visible.
  cocos2d::Node* findVisible(const std::string& name) const {
    cocos2d::Scene* scene = runningScene();
    return scene ? findIn(scene, name) : nullptr;
  }
  // The same below the shown node named `under` (a window whose own name
  // repeats one of its children's).
  cocos2d::Node* findVisibleIn(const std::string& under, const std::string& name) const {
    cocos2d::Node* root = findVisible(under);
    if (!root) return nullptr;
    for (cocos2d::Node* child : root->getChildren())
      if (cocos2d::Node* found = findIn(child, name)) return found;
    return nullptr;
  }
  static cocos2d::Scene* runningScene() {
    auto* director = cocos2d::Director::getInstanceIfExists();
    return director ? director->getRunningScene() : nullptr;
  }
  // The first shown label or text widget that reads `text`, under the shown
  // node named `under` (anywhere in the scene when empty): a menu row, a
  // list cell.
  cocos2d::Node* findText(const std::string& text, const std::string& under = "") const {
    cocos2d::Node* root = under.empty() ? runningScene() : findVisible(under);
    return root && !text.empty() ? findTextIn(root, text) : nullptr;
  }
  bool clickText(const std::string& text, const std::string& under = "", int settleFrames = 2) {
    cocos2d::Node* node = findText(text, under);
    if (!node) return false;
    const cocos2d::Rect r = worldRect(node);
    clickAt(r.getMidX(), r.getMidY(), settleFrames);
    return true;
  }
  // The node's content rectangle in world points (origin bottom left).
  static cocos2d::Rect worldRect(cocos2d::Node* node) {
    const cocos2d::Size size = node->getContentSize();
    const cocos2d::Vec2 corners[] = {node->convertToWorldSpace(cocos2d::Vec2(0, 0)),
                                     node->convertToWorldSpace(cocos2d::Vec2(size.width, 0)),
                                     node->convertToWorldSpace(cocos2d::Vec2(0, size.height)),
                                     node->convertToWorldSpace(cocos2d::Vec2(size.width, size.height))};
    float x0 = corners[0].x, y0 = corners[0].y, x1 = x0, y1 = y0;
    for (const cocos2d::Vec2& c : corners) {
      x0 = std::min(x0, c.x), y0 = std::min(y0, c.y), x1 = std::max(x1, c.x), y1 = std::max(y1, c.y);
    }
    return cocos2d::Rect(x0, y0, x1 - x0, y1 - y0);
  }
  // Frames until the node is shown, at most `frames` of them.
  cocos2d::Node* waitForNode(const std::string& name, int frames = 600) {
    cocos2d::Node* found = nullptr;
    waitFrames([&] { return (found = findVisible(name)) != nullptr; }, frames);
    return found;
  }
  // Frames until done() holds (checked after each frame); false when the
  // budget ran out first.
  bool waitFrames(const std::function<bool()>& done, int frames = 600) {
    for (int i = 0; i < frames && !quitting(); ++i) {
      if (done()) return true;
      frame();
    }
    return done();
  }
  // The shown label or text widget named `name` reads `text`.
  bool waitForText(const std::string& name, const std::string& text, int frames = 600) {
    return waitFrames([&] { return textOf(name) == text; }, frames);
  }
  std::string textOf(const std::string& name) const { return textOfNode(findVisible(name)); }
  static std::string textOfNode(cocos2d::Node* node) {
    if (auto* label = dynamic_cast<cocos2d::Label*>(node)) return label->getString();
    if (auto* text = dynamic_cast<cocos2d::ui::Text*>(node)) return text->getString();
    if (auto* button = dynamic_cast<cocos2d::ui::Button*>(node)) return button->getTitleText();
    return {};
  }

  // ------------------------------------------------------------ input
  // A left click at the centre of the shown node; false when it is not shown.
  bool clickNode(const std::string& name, int settleFrames = 2) { return clickShown(findVisible(name), settleFrames); }
  bool clickNodeIn(const std::string& under, const std::string& name, int settleFrames = 2) {
    return clickShown(findVisibleIn(under, name), settleFrames);
  }
  bool clickShown(cocos2d::Node* node, int settleFrames = 2) {
    if (!node) return false;
    const cocos2d::Rect r = worldRect(node);
    clickAt(r.getMidX(), r.getMidY(), settleFrames);
    return true;
  }
  void clickAt(float x, float y, int settleFrames = 2) {
    mouseMove(x, y);
    frame();
    click(x, y);
    frames(settleFrames);
  }
  // A left drag from `a` to `b` in `steps` moves, one frame each.
  void drag(const cocos2d::Vec2& a, const cocos2d::Vec2& b, int steps = 10, int button = 0) {
    mouseMove(a.x, a.y);
    frame();
    mouseDown(a.x, a.y, button);
    frame();
    for (int i = 1; i <= steps; ++i) {
      const cocos2d::Vec2 p = a + (b - a) * (static_cast<float>(i) / steps);
      mouseMove(p.x, p.y, button);
      frame();
    }
    mouseUp(b.x, b.y, button);
    frames(2);
  }
  // Wheel notches (positive: away from the user) with the pointer at (x, y),
  // one notch per frame.
  void wheelAt(float x, float y, int notches) {
    mouseMove(x, y);
    frame();
    for (int i = 0; i < std::abs(notches); ++i) {
      push(wheelEvent(windowId(), notches > 0 ? 1 : -1));
      frame();
    }
  }
  // Typed text, split into pieces SDL carries, one frame each.
  void type(const std::string& utf8) {
    for (size_t at = 0; at < utf8.size();) {
      size_t n = std::min<size_t>(utf8.size() - at, 24);
      while (at + n < utf8.size() && (static_cast<unsigned char>(utf8[at + n]) & 0xC0) == 0x80) --n;
      text(utf8.substr(at, n));
      frame();
      at += n;
    }
  }
  void press(SDL_Keycode code, int settleFrames = 2) {
    key(code);
    frames(settleFrames);
  }

  // ------------------------------------------------------------ the world
  // Runs a program to its end while the program under test keeps drawing;
  // its exit status (-1 when it could not start or ran past `seconds`).
  int runCommand(const std::string& program, const std::vector<std::string>& args, double seconds = 120,
                 std::string* output = nullptr) {
    ChildProcess child = spawnProgram(program, args, output != nullptr);
    if (child.pid < 0) return -1;
    int status = -1;
    const bool ended = waitFrames([&] { return (status = reapIfEnded(child)) != kRunning; },
                                  static_cast<int>(seconds * 60));
    if (output) *output = child.seen;
    if (!ended) {
      kill(child.pid, SIGKILL);
      waitpid(child.pid, nullptr, 0);
      if (child.output >= 0) close(child.output);
      return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // The first column of the first row of a query on the program's library
  // file (read-only; the library writes in WAL mode, so reading beside it is
  // safe); -1 when the file or the query fails.
  static long long queryLibrary(const std::string& sql) {
    long long value = -1;
    firstRow(sql, [&](sqlite3_stmt* st) { value = sqlite3_column_int64(st, 0); });
    return value;
  }
  // The same for a text column; empty when the file or the query fails.
  static std::string queryLibraryText(const std::string& sql) {
    std::string value;
    firstRow(sql, [&](sqlite3_stmt* st) {
      if (const unsigned char* text = sqlite3_column_text(st, 0)) value = reinterpret_cast<const char*>(text);
    });
    return value;
  }
  static std::string writablePath() {
    const char* p = std::getenv("FW_WRITABLE_PATH");
    std::string path = p ? p : "";
    if (!path.empty() && path.back() != '/') path += '/';
    return path;
  }

  // ------------------------------------------------------------ pictures
  // Saves what the next frame draws as <shots>/<name>.png; the path, empty
  // when nothing could be read.
  std::string shot(const std::string& name) {
    const std::string folder = shotFolder();
    std::filesystem::create_directories(folder);
    const std::string path = folder + "/" + name + ".png";
    return grabFrame(path).rgb.empty() ? std::string() : path;
  }
  std::string shotFolder() const {
    if (const char* dir = std::getenv("FW_E2E_SHOTS"); dir && *dir) return std::string(dir) + "/" + scenario_;
#ifdef FW_BINARY_DIR
    return std::string(FW_BINARY_DIR) + "/e2e/" + scenario_;
#else
    return (std::filesystem::temp_directory_path() / "fernwick-e2e" / scenario_).string();
#endif
  }

 private:
  static constexpr int kRunning = -2;

  // Runs `sql` on the library file and hands its first row to `read`.
  static void firstRow(const std::string& sql, const std::function<void(sqlite3_stmt*)>& read) {
    const std::string file = writablePath() + "kq/dicom/dicomDB";
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
      sqlite3_busy_timeout(db, 2000);
      sqlite3_stmt* st = nullptr;
      if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK && sqlite3_step(st) == SQLITE_ROW) read(st);
      sqlite3_finalize(st);
    }
    sqlite3_close(db);
  }

  static cocos2d::Node* findTextIn(cocos2d::Node* node, const std::string& text) {
    if (!node->isVisible()) return nullptr;
    if (textOfNode(node) == text) return node;
    for (cocos2d::Node* child : node->getChildren())
      if (cocos2d::Node* found = findTextIn(child, text)) return found;
    return nullptr;
  }
  static cocos2d::Node* findIn(cocos2d::Node* node, const std::string& name) {
    if (!node->isVisible()) return nullptr;
    if (node->getName() == name) return node;
    for (cocos2d::Node* child : node->getChildren())
      if (cocos2d::Node* found = findIn(child, name)) return found;
    return nullptr;
  }
  // Reads what the child's output holds now, without waiting; false once
  // the output has ended.
  static bool drain(ChildProcess& child) {
    char buf[4096];
    for (;;) {
      pollfd p{child.output, POLLIN, 0};
      if (poll(&p, 1, 0) <= 0) return true;
      const ssize_t n = read(child.output, buf, sizeof buf);
      if (n <= 0) return false;
      child.seen.append(buf, static_cast<size_t>(n));
    }
  }
  // The child's wait status once it ended, else kRunning.
  static int reapIfEnded(ChildProcess& child) {
    if (child.output >= 0 && !drain(child)) {
      close(child.output);
      child.output = -1;
    }
    int status = 0;
    const pid_t r = waitpid(child.pid, &status, WNOHANG);
    if (r == 0) return kRunning;
    if (child.output >= 0) {
      drain(child);
      close(child.output);
      child.output = -1;
    }
    return r == child.pid ? status : -1;
  }

  std::string scenario_;
};

}  // namespace fwtest
