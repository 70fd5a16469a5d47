// The query and retrieve window in a real SDL window (1280 x 800) under a
// virtual screen, with real DICOM peers on loopback, driven by SDL events
// pushed into the window's queue: fields typed into, search pressed, the
// study and series rows drawn, a retrieve followed by the blinking and
// colour of its download button, the help node, the return key, a closed
// port and the texts in German. Each state is captured and checked by
// probe pixels; with FW_SHOT_DIR set the PNG captures are kept there.
//
// The program runs itself again inside a network namespace of its own (the
// storage server binds its fixed port), so cases never meet.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <SDL2/SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/data/dataService.h"
#include "app/data/dcmCallbacks.h"
#include "app/data/dcmMessages.h"
#include "app/data/dcmFinder.h"
#include "dcmsdk/dcmSDK.h"
#include "engine/cocos2d.h"
#include "support/window_input.h"
#include "engine/platform/GLViewImpl.h"
#include "engine/platform/CCGL.h"
#include "engine/platform/Image.h"
#include "engine/renderer/Renderer.h"
#include "engine/renderer/RendererGL.h"
#include "engine_gl/support_xvfb.h"
#include "orthanc_peer.h"
#include "screen_window.h"
#include "tests/support/loopback.h"
#include "toolkit/foundation/AppConfig.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "toolkit/widgets/NSTextField.h"
#include "tools/dcmfixtures/fixtures.h"

USING_NS_CC;
namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 800;

using fwtest::near;
using fwtest::Rgb;
std::string str(Rgb c) {
  return "(" + std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b) + ")";
}

// Study folders of the peers: two studies of patients called DOE (the
// first with a large series, so that its retrieve lasts a while, and a
// small one), and one of another patient that a search for DOE must not
// find.
struct Fixture {
  struct Series {
    std::string study, uid, number, modality, description;
    int images;
    int size;
  };
  std::vector<std::string> files;
  std::vector<Series> series;

  void write(const std::string& dir) {
    const std::string root = "1.2.826.0.1.3680043.10.1141.77";
    struct Study {
      const char *uid, *name, *id, *birth, *sex, *date, *time, *desc, *number;
    } studies[] = {
        {"1", "DOE^JANE", "PID100", "19620315", "F", "20240131", "083000", "CT chest", "ST1"},
        {"2", "DOE^JOHN", "PID200", "19581102", "M", "20240205", "141500", "MR head", "ST2"},
        {"3", "ROE^RICHARD", "PID300", "19700101", "M", "20240206", "090000", "CT knee", "ST3"},
    };
    series = {{"1", "1.1", "1", "CT", "Chest 1 mm", 1200, 256},
              {"1", "1.2", "2", "CT", "Scout", 2, 64},
              {"2", "2.1", "5", "MR", "T2 axial", 3, 64},
              {"3", "3.1", "1", "CT", "Knee", 1, 64}};
    for (auto& s : series) {
      const Study& st = studies[std::stoi(s.study) - 1];
      s.uid = root + "." + s.uid;
      s.study = root + "." + st.uid;
      const std::string folder = dir + "/" + s.uid;
      fs::create_directories(folder);
      for (int i = 0; i < s.images; ++i) {
        const std::string path = folder + "/" + std::to_string(i) + ".dcm";
        auto tag = [](uint16_t g, uint16_t e) { return static_cast<uint32_t>(g) << 16 | e; };
        dcmfixtures::writeTagged(path,
                                 {{tag(0x0010, 0x0010), st.name},
                                  {tag(0x0010, 0x0020), st.id},
                                  {tag(0x0010, 0x0030), st.birth},
                                  {tag(0x0010, 0x0040), st.sex},
                                  {tag(0x0020, 0x000D), s.study},
                                  {tag(0x0020, 0x0010), st.number},
                                  {tag(0x0008, 0x0020), st.date},
                                  {tag(0x0008, 0x0030), st.time},
                                  {tag(0x0008, 0x1030), st.desc},
                                  {tag(0x0008, 0x0080), "Fernwick General"},
                                  {tag(0x0020, 0x000E), s.uid},
                                  {tag(0x0020, 0x0011), s.number},
                                  {tag(0x0008, 0x103E), s.description},
                                  {tag(0x0008, 0x0060), s.modality},
                                  {tag(0x0008, 0x0018), s.uid + "." + std::to_string(i + 1)},
                                  {tag(0x0020, 0x0013), std::to_string(i + 1)}},
                                 s.size, s.size);
        files.push_back(path);
      }
    }
  }
};

pid_t spawn(const std::vector<std::string>& argv, const std::string& log) {
  pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    FILE* f = freopen(log.c_str(), "w", stdout);
    if (f) dup2(fileno(stdout), 2);
    std::vector<char*> a;
    for (auto& s : argv) a.push_back(const_cast<char*>(s.c_str()));
    a.push_back(nullptr);
    execvp(a[0], a.data());
    _exit(127);
  }
  return pid;
}

bool storeInto(uint16_t port, const std::string& title, const std::vector<std::string>& files,
               const std::string& log) {
  std::vector<std::string> load = {"storescu", "-aec", title, "127.0.0.1", std::to_string(port)};
  load.insert(load.end(), files.begin(), files.end());
  int status = -1;
  waitpid(spawn(load, log), &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string readAll(const std::string& path) {
  std::ifstream in(path);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class FinderWindow : public screentest::ScreenWindow {
 protected:
  void SetUp() override {
    if (screentest::g_noScreen) GTEST_SKIP() << "no display and no Xvfb";
    dcmSDK::setLogCallback(dcmLogCallback);
    dcmSDK::setMsgCallback(dcmMsgCallback);
    dcmSDK::setgb2utf8Callback(dcmGb2Utf8Callback);
    // Behind the pop-up: the colour of the home screen's table.
    openScreen("finder", kWidth, kHeight, Color4B(236, 238, 242, 255), 40);
    service = dataService::getInstance();
  }
  void TearDown() override {
    if (screentest::g_noScreen) return;
    if (window) {
      window->removeFromParent();
      window->release();
    }
    step(2);
    if (service) {
      service->stop();
      dataService::destroyInstance();
    }
    step(3);
    for (pid_t p : peers) {
      kill(-p, SIGKILL);
      waitpid(p, nullptr, 0);
    }
    closeScreen();
  }

  // A click at design point (x, y), origin bottom-left.
  void clickAt(float x, float y) {
    input().mouseMove(Vec2(x, y));
    input().mouseButton(true, Vec2(x, y));
    step();
    input().mouseButton(false, Vec2(x, y));
    step();
  }
  void click(Node* n) {
    ASSERT_NE(n, nullptr);
    const Vec2 p = centreOf(n);
    clickAt(p.x, p.y);
  }
  void typeText(const std::string& text) {
    input().text(text);
    step();
  }
  void key(SDL_Keycode sym) {
    input().key(sym);
    step();
  }
  // Clicks into a field of the form and types the text there.
  void fill(const std::string& name, const std::string& text) {
    auto* field = dynamic_cast<NSUI::NSTextField*>(form()->getChildByNameDeep(name));
    ASSERT_NE(field, nullptr) << name;
    // Near the right end, so that the caret goes after any text there.
    const Vec2 p = field->convertToWorldSpace(Vec2(field->getContentSize().width - 6, field->getContentSize().height / 2));
    clickAt(p.x, p.y);
    ASSERT_TRUE(field->isAttached()) << name;
    for (size_t n = field->getString().size(); n > 0; --n) key(SDLK_BACKSPACE);
    // One key at a time, as typed.
    for (char c : text) typeText(std::string(1, c));
    EXPECT_EQ(field->getString(), text) << name;
  }
  static Rgb at(const Image& img, const Vec2& p) {
    return fwtest::pixelAt(img, static_cast<int>(p.x), static_cast<int>(p.y));
  }

  void openWindow() {
    window = dcmFinder::createWindow();
    ASSERT_NE(window, nullptr);
    window->retain();
    scene->addChild(window);
    finder = dynamic_cast<dcmFinder*>(window->getChildren().at(0));
    ASSERT_NE(finder, nullptr);
    step(3);
  }
  Node* form() const { return finder->form(); }
  void search(uint16_t port, const std::string& title, const std::string& patient) {
    fill("editIP", "127.0.0.1");
    fill("editPort", std::to_string(port));
    fill("editTitle", title);
    fill("editPatient", patient);
    click(form()->getChildByNameDeep("btnSearch"));
  }
  // The rows as the study's patient name and "+<series number>".
  std::string layout() const {
    std::string out;
    for (auto* r : finder->model().rows())
      out += (out.empty() ? "" : " ") + (r->isStudy ? r->patientName : "+" + r->seriesNumber);
    return out;
  }
  ui::Button* downloadOf(int row) const {
    NSUI::NSTableViewCell* cell = finder->table()->cellAtIndex(row);
    Node* part = cell ? cell->getChildByTag(dcmFinder::kSeriesTag) : nullptr;
    return part ? dynamic_cast<ui::Button*>(part->getChildByNameDeep("btnDownload")) : nullptr;
  }
  // A point on the arrow's shaft of a row's download button.
  Vec2 shaftOf(int row) const {
    ui::Button* b = downloadOf(row);
    const Size s = b->getContentSize();
    return b->convertToWorldSpace(Vec2(s.width * 0.5f, s.height * 0.62f));
  }
  // The colours at points in the frame drawn next (read straight from the
  // back buffer, so that samples can follow each other closely).
  std::vector<Rgb> sample(const std::vector<Vec2>& points) {
    std::vector<Rgb> out;
    auto* gl = dynamic_cast<RendererGL*>(director()->getRenderer()->getBackend());
    if (!gl) return out;
    gl->runAfterNextFrame([&] {
      glPixelStorei(GL_PACK_ALIGNMENT, 1);
      glReadBuffer(GL_BACK);
      for (const Vec2& p : points) {
        unsigned char rgb[3] = {};
        glReadPixels(static_cast<int>(p.x), static_cast<int>(p.y), 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
        out.push_back({rgb[0], rgb[1], rgb[2]});
      }
    });
    for (int i = 0; i < 5 && out.empty(); ++i) step();
    return out;
  }
  // The colours at points every 3 frames (0.05 s of the screen's time) over
  // 1.25 s, with the frames' captures: one PNG named `name` first.
  struct Watched {
    std::vector<std::vector<Rgb>> colours;  // per point, in time order
    std::vector<bool> held;                 // whether `holds` was true at each sample
  };
  Watched watch(const std::string& name, const std::vector<Vec2>& points, const std::function<bool()>& holds) {
    Image img;
    capture(name, img);
    Watched w;
    w.colours.resize(points.size());
    for (int i = 0; i < 25; ++i) {
      const std::vector<Rgb> c = sample(points);
      if (c.size() != points.size()) break;
      for (size_t p = 0; p < points.size(); ++p) w.colours[p].push_back(c[p]);
      w.held.push_back(holds());
      step(2);
    }
    return w;
  }
  std::string messageShown() {
    Node* box = scene->getChildByName("messageBox");
    auto* t = box && box->isVisible() ? dynamic_cast<ui::Text*>(box->getChildByNameDeep("messageBox.text")) : nullptr;
    return t ? t->getString() : "";
  }

  dataService* service = nullptr;
  dcmFinder* finder = nullptr;
  std::vector<pid_t> peers;
};

const Rgb kWhite{255, 255, 255};
const Rgb kSeriesRow{40, 44, 52};
const Rgb kStudyRow{62, 70, 88};

TEST_F(FinderWindow, SearchOrthancAndRetrieveASeries) {
  Fixture fixture;
  fixture.write(dir + "/fixture");
  peertest::OrthancPeer orthanc;
  ASSERT_TRUE(orthanc.start(dir + "/orthanc")) << readAll(dir + "/orthanc/orthanc.log");
  ASSERT_TRUE(storeInto(orthanc.port, "ORTHANC", fixture.files, dir + "/store.log")) << readAll(dir + "/store.log");

  openWindow();
  Node* help = form()->getChildByNameDeep("help");
  ASSERT_TRUE(help->isVisible());
  // A point on the ring of the help picture's magnifying glass.
  const Vec2 helpRing = centreOf(form()->getChildByNameDeep("helpIcon")) + Vec2(-35, 10);
  {
    Image img;
    capture("finder_open", img);
    // The help picture over the empty table, the form on top of the scene.
    EXPECT_TRUE(near(at(img, helpRing), {150, 160, 178})) << str(at(img, helpRing));
    EXPECT_TRUE(near(at(img, Vec2(640, 120)), {46, 50, 58})) << str(at(img, Vec2(640, 120)));
    EXPECT_TRUE(near(at(img, Vec2(60, 60)), {236, 238, 242})) << "outside the pop-up";
  }

  search(orthanc.port, "ORTHANC", "DOE");
  // Two studies, each followed by its series (the last to arrive first).
  ASSERT_TRUE(stepUntil([&] { return finder->model().rows().size() >= 5; }, 30)) << layout();
  step(30);
  const std::string rows = layout();
  EXPECT_TRUE(rows == "DOE^JANE +2 +1 DOE^JOHN +5" || rows == "DOE^JANE +1 +2 DOE^JOHN +5" ||
              rows == "DOE^JOHN +5 DOE^JANE +2 +1" || rows == "DOE^JOHN +5 DOE^JANE +1 +2")
      << rows;
  EXPECT_FALSE(help->isVisible());
  EXPECT_EQ(finder->table()->getRowCount(), 5);
  int big = -1, small = -1;  // the rows of the large series and of the MR one
  for (int i = 0; i < 5; ++i) {
    auto* r = finder->model().rows()[i];
    if (!r->isStudy && r->seriesNumber == "1") big = i;
    if (!r->isStudy && r->seriesNumber == "5") small = i;
  }
  ASSERT_GE(big, 0);
  ASSERT_GE(small, 0);
  {
    Image img;
    capture("finder_results", img);
    for (int i = 0; i < 5; ++i) {
      NSUI::NSTableViewCell* cell = finder->table()->cellAtIndex(i);
      ASSERT_NE(cell, nullptr);
      const bool isStudy = finder->model().rows()[i]->isStudy;
      const Vec2 p = cell->convertToWorldSpace(Vec2(4, isStudy ? 35 : 12));
      EXPECT_TRUE(near(at(img, p), isStudy ? kStudyRow : kSeriesRow, 12)) << i << " " << str(at(img, p));
      if (!isStudy) {
        EXPECT_TRUE(near(at(img, shaftOf(i)), kWhite)) << "idle button, row " << i;
      }
    }
    auto* name = dynamic_cast<ui::Text*>(finder->table()->cellAtIndex(0)->getChildByTag(dcmFinder::kStudyTag)
                                            ->getChildByNameDeep("name"));
    EXPECT_TRUE(name->getString() == "DOE^JANE" || name->getString() == "DOE^JOHN");
  }

  // The large series: requested, then running (red, blinking). The MR
  // series asked for meanwhile waits its turn, blinking white.
  click(downloadOf(big));
  EXPECT_TRUE(finder->model().rows()[big]->requested);
  ASSERT_TRUE(stepUntil([&] { return finder->model().rows()[big]->running; }, 30));
  click(downloadOf(small));
  ASSERT_TRUE(finder->model().rows()[small]->requested);
  ASSERT_FALSE(finder->model().rows()[small]->running);
  auto bothGoing = [&] {
    return finder->model().rows()[big]->running && finder->model().rows()[small]->requested &&
           !finder->model().rows()[small]->running;
  };
  const Watched seen = watch("finder_retrieving", {shaftOf(big), shaftOf(small)}, bothGoing);
  // Only the samples taken while the large retrieve still ran count; they
  // must span most of a blink.
  std::vector<Rgb> red, white;
  for (size_t i = 0; i < seen.held.size(); ++i)
    if (seen.held[i]) {
      red.push_back(seen.colours[0][i]);
      white.push_back(seen.colours[1][i]);
    }
  ASSERT_GE(red.size(), 16u) << "the large series' retrieve ended too soon to watch a blink";
  // Running: red at its brightest, near the row's ground at its faintest;
  // never white.
  auto redness = [](Rgb c) { return c.r - c.g; };
  EXPECT_TRUE(std::any_of(red.begin(), red.end(), [&](Rgb c) { return c.r > 200 && redness(c) > 150; }));
  EXPECT_TRUE(std::any_of(red.begin(), red.end(), [](Rgb c) { return near(c, kSeriesRow, 30); }));
  EXPECT_TRUE(std::none_of(red.begin(), red.end(), [](Rgb c) { return c.g > 150; }));
  // Requested: white at its brightest, the ground at its faintest.
  EXPECT_TRUE(std::any_of(white.begin(), white.end(), [](Rgb c) { return near(c, kWhite, 30); }));
  EXPECT_TRUE(std::any_of(white.begin(), white.end(), [](Rgb c) { return near(c, kSeriesRow, 30); }));
  EXPECT_TRUE(std::none_of(white.begin(), white.end(), [&](Rgb c) { return redness(c) > 40; }));

  // Both series arrive; both buttons return to steady white.
  ASSERT_TRUE(stepUntil(
      [&] {
        auto* a = finder->model().rows()[big];
        auto* b = finder->model().rows()[small];
        return !a->running && !a->requested && !b->running && !b->requested;
      },
      120));
  const Watched after = watch("finder_done", {shaftOf(big), shaftOf(small)}, [] { return true; });
  for (const auto& point : after.colours)
    for (const Rgb& c : point) EXPECT_TRUE(near(c, kWhite)) << str(c);
  EXPECT_NE(messageShown(), "Failed to download the whole series");
  for (int row : {big, small}) {
    auto* r = finder->model().rows()[row];
    size_t got = 0;
    for (auto& e : fs::directory_iterator(dcmFinderModel::downloadFolder() + r->seriesUID)) got += e.is_regular_file();
    EXPECT_EQ(got, static_cast<size_t>(std::stoi(r->imageCount))) << r->seriesUID;
  }

  // The return key closes the pop-up and leaves the scene.
  key(SDLK_ESCAPE);
  step(2);
  EXPECT_EQ(window->getParent(), nullptr);
  EXPECT_EQ(director()->getRunningScene(), scene);
  Image img;
  capture("finder_closed", img);
  EXPECT_TRUE(near(at(img, Vec2(640, 400)), {236, 238, 242}));
}

// dcmqrscp answers only its own AE title: the typed title reaches it and the
// rows come; a port where nothing listens leaves the table empty with the
// task service's message.
TEST_F(FinderWindow, SearchDcmqrscpThenAClosedPort) {
  Fixture fixture;
  fixture.write(dir + "/fixture");
  fixture.files.erase(std::remove_if(fixture.files.begin(), fixture.files.end(),
                                     [](const std::string& f) { return f.find(".77.1.1/") != std::string::npos; }),
                      fixture.files.end());
  const std::string qr = dir + "/qr";
  fs::create_directories(qr + "/db");
  const uint16_t port = fwtest::freeLoopbackPort();
  std::ofstream(qr + "/qr.cfg") << "NetworkTCPPort = " << port << "\nMaxPDUSize = 16384\nMaxAssociations = 16\n"
                                << "HostTable BEGIN\nHostTable END\nVendorTable BEGIN\nVendorTable END\n"
                                << "AETable BEGIN\nQRSCP " << qr << "/db RW (200, 1024mb) ANY\nAETable END\n";
  peers.push_back(spawn({"dcmqrscp", "-c", qr + "/qr.cfg"}, qr + "/qr.log"));
  ASSERT_TRUE(fwtest::waitLoopbackPort(port, 10000));
  ASSERT_TRUE(storeInto(port, "QRSCP", fixture.files, dir + "/store.log")) << readAll(dir + "/store.log");

  openWindow();
  search(port, "QRSCP", "DOE");
  ASSERT_TRUE(stepUntil([&] { return finder->model().rows().size() >= 4; }, 30)) << layout();
  step(30);
  EXPECT_EQ(finder->table()->getRowCount(), 4);  // without the large series
  {
    Image img;
    capture("finder_qrscp", img);
    NSUI::NSTableViewCell* cell = finder->table()->cellAtIndex(0);
    EXPECT_TRUE(near(at(img, cell->convertToWorldSpace(Vec2(4, 35))), kStudyRow, 12));
    // dcmqrscp reports no image count: no unit stands alone.
    Node* series = finder->table()->cellAtIndex(1)->getChildByTag(dcmFinder::kSeriesTag);
    EXPECT_EQ(finder->model().rows()[1]->imageCount, "");
    EXPECT_FALSE(series->getChildByNameDeep("labelImages")->isVisible());
  }

  const uint16_t closed = fwtest::freeLoopbackPort();
  fill("editPort", std::to_string(closed));
  click(form()->getChildByNameDeep("btnSearch"));
  EXPECT_EQ(finder->table()->getRowCount(), 0);
  ASSERT_TRUE(stepUntil([&] { return !messageShown().empty(); }, 30));
  EXPECT_EQ(messageShown(), "Check the network and the patient name");
  step(30);
  EXPECT_EQ(finder->table()->getRowCount(), 0);
  EXPECT_FALSE(form()->getChildByNameDeep("help")->isVisible()) << "the help does not come back";
  Image img;
  capture("finder_closed_port", img);
  // The settings keep the last node for the next opening.
  window->removeFromParent();
  window->release();
  window = nullptr;
  openWindow();
  EXPECT_EQ(dynamic_cast<NSUI::NSTextField*>(form()->getChildByNameDeep("editPort"))->getString(),
            std::to_string(closed));
  EXPECT_EQ(dynamic_cast<NSUI::NSTextField*>(form()->getChildByNameDeep("editTitle"))->getString(), "QRSCP");
}

}  // namespace

// The German texts: its own program run (the language is chosen once per
// process).
class FinderWindowGerman : public FinderWindow {
 protected:
  void SetUp() override {
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    FinderWindow::SetUp();
  }
};

TEST_F(FinderWindowGerman, FormAndRowsInGerman) {
  openWindow();
  EXPECT_EQ(dynamic_cast<ui::Text*>(form()->getChildByNameDeep("title"))->getString(), "Abfragen und Abrufen");
  EXPECT_EQ(dynamic_cast<ui::Button*>(form()->getChildByNameDeep("btnSearch"))->getTitleText(), "Suchen");
  EXPECT_EQ(dynamic_cast<NSUI::NSTextField*>(form()->getChildByNameDeep("editPatient"))->getPlaceHolder(),
            "Patientenname");
  // A study and a series row as the library would report them.
  finder->model().search("127.0.0.1", "1", "", "");
  auto* study = new findStudyData(new FindStudyRecord{"2024.01.31 08:30:00", "Klinikum Süd", "CT Thorax",
                                                      "MÜLLER^JÖRG", "PID7", "19620315", "M", "S1", "ST1"});
  NSUI::NSNotificationCenter::getInstance()->postNotification(nullptr, NOTIFY_FIND_STUDY_RECORD, study, nullptr, false);
  study->release();
  auto* series = new findSeriesData(new FindSeriesRecord{"", "CT", "Thorax 1 mm", "S1", "S1.1", "3", "360"});
  NSUI::NSNotificationCenter::getInstance()->postNotification(nullptr, NOTIFY_FIND_SERIES_RECORD, series, nullptr,
                                                              false);
  series->release();
  ASSERT_TRUE(stepUntil([&] { return finder->table()->getRowCount() == 2; }, 10));
  step(5);
  Node* seriesPart = finder->table()->cellAtIndex(1)->getChildByTag(dcmFinder::kSeriesTag);
  EXPECT_EQ(dynamic_cast<ui::Text*>(seriesPart->getChildByNameDeep("labelSeries"))->getString(), "Serie");
  EXPECT_EQ(dynamic_cast<ui::Text*>(seriesPart->getChildByNameDeep("labelImages"))->getString(), "Bilder");
  Image img;
  capture("finder_german", img);
}

int main(int argc, char** argv) {
  bool listing = false;
  for (int i = 1; i < argc; ++i) listing = listing || std::string(argv[i]) == "--gtest_list_tests";
  // Each run in a network namespace of its own: the storage server binds
  // its fixed port, and the peers' ports stay private.
  if (!listing && !std::getenv("FW_FINDER_OWN_NETNS")) {
    setenv("FW_FINDER_OWN_NETNS", "1", 1);
    unsetenv("FW_ISOLATED_NETNS");
    std::vector<std::string> args = {FW_SOURCE_DIR "/scripts/isolated", fs::read_symlink("/proc/self/exe").string()};
    for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
    std::vector<char*> a;
    for (auto& s : args) a.push_back(s.data());
    a.push_back(nullptr);
    execv(a[0], a.data());
    std::perror("isolated");
    return 1;
  }
  if (!listing) screentest::g_noScreen = startVirtualScreen(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
