// The send window in a real SDL window (960 x 640) on its own virtual
// screen, inside a network namespace of its own that holds a veth pair
// (10.88.0.5/24 on one end, so that the own-address and manual rows exist) besides
// loopback. Input goes through SDL's event queue; storescp and Orthanc
// listen on loopback ports. Screenshots are checked by probe pixels and
// kept in FW_SHOT_DIR (default /tmp) as send_*.png.
#include <gtest/gtest.h>

#include <SDL2/SDL.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "app/data/dataService.h"
#include "app/data/dcmCallbacks.h"
#include "app/data/dcmMessages.h"
#include "app/data/dcmSend.h"
#include "app/data/sniffer.h"
#include "engine/cocos2d.h"
#include "support/window_input.h"
#include "engine/platform/GLViewImpl.h"
#include "engine/platform/Image.h"
#include "engine_gl/support_xvfb.h"
#include "orthanc_peer.h"
#include "screen_window.h"
#include "support/loopback.h"
#include "toolkit/foundation/AppConfig.h"
#include "toolkit/foundation/NSLanguage.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "tools/dcmfixtures/fixtures.h"

USING_NS_CC;
namespace fs = std::filesystem;

namespace {

constexpr int kWidth = 960;
constexpr int kHeight = 640;
const char* const kOwnAddress = "10.88.0.5";

using fwtest::Rgb;

int sh(const std::string& command) {
  const int rc = std::system(command.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// storescp on the port; with slowSeconds it pauses that long after each
// image, so that a send's progress can be watched.
pid_t startStorescp(uint16_t port, const std::string& out, int slowSeconds = 0) {
  fs::create_directories(out);
  pid_t pid = fork();
  if (pid == 0) {
    const std::string p = std::to_string(port), slow = std::to_string(slowSeconds);
    execlp("storescp", "storescp", "--sleep-after", slow.c_str(), "-od", out.c_str(), p.c_str(),
           static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

size_t filesUnder(const std::string& dir, size_t nameLength = 0) {
  size_t n = 0;
  std::error_code ec;
  for (auto& e : fs::recursive_directory_iterator(dir, ec))
    if (e.is_regular_file() && (nameLength == 0 || e.path().filename().string().size() == nameLength)) ++n;
  return n;
}

class SendWindow : public screentest::ScreenWindow {
 protected:
  // Language of the case ("" keeps English).
  virtual const char* locale() const { return "C"; }
  // Whether the namespace gets an adapter besides loopback.
  virtual bool withNetwork() const { return true; }

  void SetUp() override {
    if (screentest::g_noScreen) GTEST_SKIP() << "no display and no Xvfb";
    // The veth pair only ever goes into a namespace made for this case.
    if (!std::getenv("FW_ISOLATED_NETNS")) GTEST_SKIP() << "runs only inside scripts/isolated";
    if (withNetwork()) {
      ASSERT_EQ(sh(std::string("ip link add fwsend0 type veth peer name fwsend1 && ip addr add ") + kOwnAddress +
                   "/24 dev fwsend0 && ip link set fwsend0 up && ip link set fwsend1 up"),
                0);
    }
    setenv("LC_ALL", locale(), 1);
    dcmSDK::setLogCallback(dcmLogCallback);
    dcmSDK::setMsgCallback(dcmMsgCallback);
    dcmSDK::setgb2utf8Callback(dcmGb2Utf8Callback);
    frameSleepMs = 0;  // stepUntil paces the frames itself
    openScreen("send", kWidth, kHeight, Color4B(200, 204, 210, 255), 40);
    ASSERT_NE(dataService::getInstance(), nullptr);
  }

  void TearDown() override {
    if (screentest::g_noScreen || !scene) return;
    if (window) window->removeFromParent();
    step(2);
    if (auto* s = dataService::getInstanceIfExists()) s->stop();
    dataService::destroyInstance();
    NSUI::sniffer::destroyInstance();
    step(3);
    for (pid_t p : children) {
      kill(p, SIGTERM);
      waitpid(p, nullptr, 0);
    }
    orthanc.stop();
    closeScreen();
  }

  void afterFrame() override {
    if (observer) observer();
  }
  // Frames (about 60 a second of wall time) until pred holds.
  bool stepUntil(const std::function<bool()>& pred, double seconds = 30) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
      step();
      if (pred()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(15));
    }
    return pred();
  }

  // ------------------------------------------------------------ input
  void mouse(Uint32 type, const Vec2& p) {
    if (type == SDL_MOUSEMOTION)
      input().mouseMove(p, true);
    else
      input().mouseButton(type == SDL_MOUSEBUTTONDOWN, p);
  }
  void click(const Vec2& p) {
    mouse(SDL_MOUSEBUTTONDOWN, p);
    step();
    mouse(SDL_MOUSEBUTTONUP, p);
    step(2);
  }
  void drag(const Vec2& from, const Vec2& to) {
    mouse(SDL_MOUSEBUTTONDOWN, from);
    step();
    for (int i = 1; i <= 8; ++i) {
      mouse(SDL_MOUSEMOTION, from + (to - from) * (i / 8.0f));
      step();
    }
    mouse(SDL_MOUSEBUTTONUP, to);
    step(40);  // the swipe menu settles
  }
  void typeText(const std::string& text) {
    for (char c : text) {
      input().text(std::string(1, c));
      step();
    }
  }
  void key(SDL_Keycode sym, int times = 1) {
    for (int i = 0; i < times; ++i) {
      input().key(sym);
      step();
    }
  }


  // ------------------------------------------------------------ the window
  dcmSend* open(const std::string& folder, const std::string& label) {
    window = dcmSend::createWindow();
    EXPECT_NE(window, nullptr);
    if (!window) return nullptr;
    scene->addChild(window);
    auto* screen = dynamic_cast<dcmSend*>(window->getChildByName("dcmSend"));
    EXPECT_NE(screen, nullptr);
    if (screen) screen->setSendData(folder, label);
    step(3);
    return screen;
  }
  static Node* cellOf(NSUI::NSTableView* table, int row) { return table->cellAtIndex(row); }
  // A point in a row of a table, at a fraction of its width.
  static Vec2 inRow(NSUI::NSTableView* table, int row, float fx = 0.3f) {
    Node* cell = table->cellAtIndex(row);
    if (!cell) return Vec2(-1, -1);
    return cell->convertToWorldSpace(Vec2(table->getContentSize().width * fx, dcmSend::kRowHeight * 0.5f));
  }
  static std::string textOf(Node* root, const std::string& name) {
    auto* t = root ? dynamic_cast<ui::Text*>(root->getChildByNameDeep(name)) : nullptr;
    return t ? t->getString() : "<none>";
  }
  std::string ratioOf(dcmSend* s, int row) {
    Node* cell = s->getTransferTable()->cellAtIndex(row);
    auto* t = cell ? dynamic_cast<ui::Text*>(cell->getChildByNameDeep("ratio")) : nullptr;
    return t && t->isVisible() ? t->getString() : "";
  }
  Node* retryOf(dcmSend* s, int row) {
    Node* cell = s->getTransferTable()->cellAtIndex(row);
    return cell ? cell->getChildByNameDeep("dcmNodeSend_retry") : nullptr;
  }
  // Selects the manual row, clears its address and types a new one.
  void typeAddress(dcmSend* s, const std::string& address) {
    click(inRow(s->getNodeTable(), 1));
    auto* field =
        dynamic_cast<NSUI::NSTextField*>(s->getNodeTable()->cellAtIndex(1)->getChildByTag(dcmSend::kAddressFieldTag));
    ASSERT_NE(field, nullptr);
    ASSERT_TRUE(field->isAttached());
    key(SDLK_END);
    key(SDLK_BACKSPACE, static_cast<int>(field->getString().size()));
    typeText(address);
    EXPECT_EQ(field->getString(), address);
  }
  // The Orthanc process this case started (found by its own configuration file).
  pid_t orthancPid() const {
    FILE* p = popen(("pgrep -f '" + orthanc.dir + "/orthanc.json'").c_str(), "r");
    if (!p) return -1;
    int pid = -1;
    if (fscanf(p, "%d", &pid) != 1) pid = -1;
    pclose(p);
    return pid;
  }
  ui::Button* inputSendButton(dcmSend* s) {
    Node* cell = s->getNodeTable()->cellAtIndex(1);
    return cell ? dynamic_cast<ui::Button*>(cell->getChildByName(dcmSend::kInputSendName)) : nullptr;
  }

  // ------------------------------------------------------------ pixels
  static Rgb at(const Image& img, int x, int y) { return fwtest::pixelAt(img, x, y); }
  static bool near(Rgb c, Rgb want, int tol = 40) { return fwtest::near(c, want, tol); }
  // Pixels near a colour inside a node's on-screen rectangle.
  static int inkIn(const Image& img, Node* n, Rgb colour, int tol = 50) {
    if (!n) return -1;
    const Vec2 a = n->convertToWorldSpace(Vec2::ZERO);
    const Vec2 b = n->convertToWorldSpace(Vec2(n->getContentSize().width, n->getContentSize().height));
    int count = 0;
    for (int y = std::max(0, static_cast<int>(std::min(a.y, b.y))); y < std::min<int>(kHeight, std::max(a.y, b.y)); ++y)
      for (int x = std::max(0, static_cast<int>(std::min(a.x, b.x))); x < std::min<int>(kWidth, std::max(a.x, b.x));
           ++x)
        if (near(at(img, x, y), colour, tol)) ++count;
    return count;
  }

  std::vector<pid_t> children;
  peertest::OrthancPeer orthanc;
  std::function<void()> observer;  // called after every frame
};

const Rgb kBlue{21, 170, 254};
const Rgb kOrange{250, 150, 40};

TEST_F(SendWindow, ManualAddressSendsASeriesToStorescpAndOrthanc) {
  const std::string folder = dir + "/series/";
  const auto series = dcmfixtures::writeSeries(folder, *dcmfixtures::findVariant("ct_ele"), 64, 64, 4);
  uint16_t scpPort = fwtest::freeLoopbackPort();
  children.push_back(startStorescp(scpPort, dir + "/received", 1));
  ASSERT_TRUE(fwtest::waitLoopbackPort(scpPort, 20000));
  ASSERT_TRUE(orthanc.start(dir + "/orthanc"));

  dcmSend* s = open(folder, "DOE^JOHN CT 3");
  ASSERT_NE(s, nullptr);
  NSUI::NSListView* nodes = s->getNodeTable();
  NSUI::NSListView* transfers = s->getTransferTable();
  ASSERT_EQ(nodes->getRowCount(), 2);
  EXPECT_EQ(s->localRowCount, 2);
  // Opening started one discovery sweep (over the veth pair's subnet).
  EXPECT_FALSE(s->discoveryPending);
  ASSERT_NE(NSUI::sniffer::getInstanceIfExists(), nullptr);
  EXPECT_EQ(textOf(nodes->cellAtIndex(0), "ip"), std::string(kOwnAddress) + ":4587");
  EXPECT_EQ(textOf(nodes->cellAtIndex(0), "name"), "Local");
  EXPECT_EQ(textOf(nodes->cellAtIndex(1), "name"), "Address:");
  Node* help = s->getPanel()->getChildByName(dcmSend::kHelpName);
  ASSERT_NE(help, nullptr);
  EXPECT_TRUE(help->isVisible());
  Image img;
  capture("send_open", img);
  EXPECT_GT(inkIn(img, help, kBlue, 30), 2000);  // the help picture's blue row, arrow and bar
  EXPECT_GT(inkIn(img, nodes->cellAtIndex(0)->getChildByNameDeep("name"), kBlue), 20);

  // Every state each transfer row passes through, frame by frame.
  std::vector<std::string> seen[2];
  observer = [&] {
    for (int r = 0; r < 2 && r < transfers->getRowCount(); ++r) {
      const std::string ratio = ratioOf(s, r);
      const std::string kind = ratio.find('%') != std::string::npos ? "%" : ratio;
      if (!kind.empty() && (seen[r].empty() || seen[r].back() != kind)) seen[r].push_back(kind);
    }
  };

  // The manual row, selected and typed into: its send button appears.
  typeAddress(s, "127.0.0.1:" + std::to_string(scpPort));
  ui::Button* sendInput = inputSendButton(s);
  ASSERT_NE(sendInput, nullptr);
  EXPECT_TRUE(sendInput->isVisible());
  click(centreOf(sendInput));
  ASSERT_EQ(transfers->getRowCount(), 1);
  EXPECT_FALSE(help->isVisible());
  EXPECT_EQ(textOf(transfers->cellAtIndex(0), "ip"), "127.0.0.1");
  EXPECT_EQ(textOf(transfers->cellAtIndex(0), "path"), "DOE^JOHN CT 3");
  // A second press on the same node queues nothing.
  click(centreOf(sendInput));
  EXPECT_EQ(transfers->getRowCount(), 1);

  // The same folder to Orthanc, queued behind the first send.
  typeAddress(s, "127.0.0.1:" + std::to_string(orthanc.port));
  click(centreOf(inputSendButton(s)));
  ASSERT_EQ(transfers->getRowCount(), 2);

  ASSERT_TRUE(stepUntil([&] { return ratioOf(s, 0).find('%') != std::string::npos && ratioOf(s, 1) == "Waiting"; }))
      << ratioOf(s, 0) << " / " << ratioOf(s, 1);
  capture("send_running", img);
  EXPECT_GT(inkIn(img, transfers->cellAtIndex(0)->getChildByNameDeep("ratio"), kBlue), 20);
  EXPECT_GT(inkIn(img, transfers->cellAtIndex(1)->getChildByNameDeep("ratio"), kBlue), 20);
  EXPECT_LT(inkIn(img, help, kBlue, 30), 200);  // the help picture is gone

  ASSERT_TRUE(stepUntil([&] { return ratioOf(s, 0) == "Done" && ratioOf(s, 1) == "Done"; }, 60))
      << ratioOf(s, 0) << " / " << ratioOf(s, 1);
  observer = nullptr;
  EXPECT_EQ(seen[0], (std::vector<std::string>{"Waiting", "%", "Done"}));
  EXPECT_EQ(seen[1].front(), "Waiting");
  EXPECT_EQ(seen[1].back(), "Done");
  capture("send_done", img);
  EXPECT_GT(inkIn(img, transfers->cellAtIndex(1)->getChildByNameDeep("ratio"), kBlue), 20);
  EXPECT_EQ(filesUnder(dir + "/received"), series.files.size());
  EXPECT_EQ(filesUnder(orthanc.dir + "/db", 36), series.files.size());
}

TEST_F(SendWindow, ClosedPortFailsAndRetryCompletesOnceStorescpListens) {
  const std::string folder = dir + "/series/";
  const auto series = dcmfixtures::writeSeries(folder, *dcmfixtures::findVariant("ct_ele"), 64, 64, 5);
  const uint16_t port = fwtest::freeLoopbackPort();
  dcmSend* s = open(folder, "ROE^JANE MR 5");
  ASSERT_NE(s, nullptr);
  typeAddress(s, "127.0.0.1:" + std::to_string(port));
  click(centreOf(inputSendButton(s)));
  ASSERT_EQ(s->getTransferTable()->getRowCount(), 1);
  ASSERT_TRUE(stepUntil([&] { return retryOf(s, 0) && retryOf(s, 0)->isVisible(); }));
  EXPECT_EQ(ratioOf(s, 0), "");  // hidden while the retry button shows
  Image img;
  capture("send_failed", img);
  EXPECT_GT(inkIn(img, retryOf(s, 0), kOrange), 100);

  children.push_back(startStorescp(port, dir + "/received"));
  ASSERT_TRUE(fwtest::waitLoopbackPort(port, 20000));
  std::vector<std::string> seen;
  observer = [&] {
    const std::string r = retryOf(s, 0)->isVisible() ? "retry" : ratioOf(s, 0);
    if (seen.empty() || seen.back() != r) seen.push_back(r);
  };
  click(centreOf(retryOf(s, 0)));
  ASSERT_TRUE(stepUntil([&] { return ratioOf(s, 0) == "Done"; }, 60)) << ratioOf(s, 0);
  observer = nullptr;
  ASSERT_GE(seen.size(), 3u);
  EXPECT_EQ(seen[0], "retry");
  EXPECT_EQ(seen[1], "Waiting");
  EXPECT_EQ(seen.back(), "Done");
  capture("send_retried", img);
  EXPECT_EQ(inkIn(img, retryOf(s, 0), kOrange, 30), 0);
  EXPECT_EQ(filesUnder(dir + "/received"), series.files.size());
}

TEST_F(SendWindow, SwipeDeleteRemovesAFailedSendAndReturnKeyCloses) {
  const std::string folder = dir + "/series/";
  dcmfixtures::writeSeries(folder, *dcmfixtures::findVariant("ct_ele"), 32, 32, 2);
  dcmSend* s = open(folder, "ROE^JANE");
  ASSERT_NE(s, nullptr);
  const std::string address = "127.0.0.1:" + std::to_string(fwtest::freeLoopbackPort());
  typeAddress(s, address);
  click(centreOf(inputSendButton(s)));
  ASSERT_EQ(s->getTransferTable()->getRowCount(), 1);
  ASSERT_TRUE(stepUntil([&] { return retryOf(s, 0) && retryOf(s, 0)->isVisible(); }));

  // Closed with Escape, opened again: the failed task is listed, no help.
  window->retain();
  key(SDLK_ESCAPE);
  step(2);
  EXPECT_EQ(window->getParent(), nullptr);
  window->release();
  window = nullptr;
  s = open(folder, "ROE^JANE");
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(s->getTransferTable()->getRowCount(), 1);
  EXPECT_EQ(s->getPanel()->getChildByName(dcmSend::kHelpName), nullptr);
  auto* task = dynamic_cast<dcmSendingObject*>(s->getTransferTable()->getRows().at(0));
  ASSERT_NE(task, nullptr);
  task->retain();
  // The same folder to the same node again: the listed task is highlighted.
  typeAddress(s, address);
  click(centreOf(inputSendButton(s)));
  EXPECT_EQ(s->getTransferTable()->getRowCount(), 1);
  ASSERT_NE(s->getTransferTable()->getPressedCell(), nullptr);
  EXPECT_EQ(s->getTransferTable()->getPressedCell()->rowIndex, 0);

  // Dragged sideways the row shows its delete button; pressing it removes
  // the row and the task is never sent.
  NSUI::NSListView* transfers = s->getTransferTable();
  drag(inRow(transfers, 0, 0.1f), inRow(transfers, 0, 0.1f) + Vec2(200, 0));
  Node* del = transfers->cellAtIndex(0)->getChildByNameDeep("del");
  ASSERT_NE(del, nullptr);
  Image img;
  capture("send_swiped", img);
  EXPECT_GT(inkIn(img, del, Rgb{220, 50, 50}), 3000);
  click(centreOf(del));
  ASSERT_TRUE(stepUntil([&] { return transfers->getRowCount() == 0; }, 5));
  EXPECT_EQ(task->state, DCM_TASK_DONE);
  task->release();

  // The back button closes the window too.
  auto* back = dynamic_cast<ui::Button*>(s->getPanel()->getChildByNameDeep("btn_back"));
  ASSERT_NE(back, nullptr);
  window->retain();
  click(centreOf(back));
  EXPECT_EQ(window->getParent(), nullptr);
  window->release();
  window = nullptr;
}

// Stored, echoed and discovered nodes: the table follows the model row for
// row, and an update redraws only the row that changed.
TEST_F(SendWindow, StoredEchoedAndDiscoveredNodesAndTheSendButton) {
  auto* db = dataService::getInstance()->database;
  ASSERT_NE(db, nullptr);
  db->saveNeighbor(5, "PACS", "10.88.0.20", "104", "pacs-1");
  db->saveNeighbor(2, "Ward PC", "10.88.0.21", "4587", "peer-2");
  dcmSend* s = open(dir + "/none/", "nothing");
  ASSERT_NE(s, nullptr);
  NSUI::NSListView* table = s->getNodeTable();
  auto sameRows = [&] {
    const auto& model = s->getNodes().rows();
    if (table->getRowCount() != static_cast<int64_t>(model.size())) return false;
    for (size_t i = 0; i < model.size(); ++i)
      if (table->getRows().at(i) != model[i]) return false;
    return true;
  };
  ASSERT_EQ(table->getRowCount(), 4);
  EXPECT_TRUE(sameRows());
  // Saved just now: both heard recently, so read in reverse below the fixed rows.
  EXPECT_EQ(textOf(table->cellAtIndex(2), "name"), "Ward PC");
  EXPECT_EQ(textOf(table->cellAtIndex(3), "name"), "PACS");
  EXPECT_EQ(textOf(table->cellAtIndex(3), "ip"), "10.88.0.20:104");

  // Marks in every row; an echo answer for PACS rewrites its row only.
  for (int r = 0; r < 4; ++r)
    dynamic_cast<ui::Text*>(table->cellAtIndex(r)->getChildByNameDeep("last"))->setString("mark");
  auto* centre = NSUI::NSNotificationCenter::getInstance();
  centre->postNotificationText(nullptr, NOTIFY_NODE_REPLY,
                               R"({"ok":0,"appid":"pacs-1","name":"PACS 2","ip":"10.88.0.20","port":"11112"})",
                               nullptr, false);
  ASSERT_TRUE(stepUntil([&] { return textOf(table->cellAtIndex(3), "name") == "PACS 2"; }, 5));
  EXPECT_EQ(textOf(table->cellAtIndex(3), "ip"), "10.88.0.20:11112");
  EXPECT_EQ(textOf(table->cellAtIndex(3), "last"), "");
  for (int r : {0, 1, 2}) EXPECT_EQ(textOf(table->cellAtIndex(r), "last"), "mark") << r;
  auto* wifi = dynamic_cast<ui::ImageView*>(table->cellAtIndex(3)->getChildByNameDeep("wifi"));
  EXPECT_NE(wifi->getTextureFile().find("Wi-Fi-Red"), std::string::npos);  // heard at 00:00:00 today
  Image img;
  capture("send_nodes_echo", img);
  EXPECT_GT(inkIn(img, wifi, Rgb{230, 60, 60}), 30);

  // A new peer from discovery goes in below the fixed rows.
  centre->postNotificationText(nullptr, NOTIFY_PEER_FOUND,
                               R"({"appid":"mac-3","device":"4","name":"Reading room","ip":"10.88.0.30"})", nullptr,
                               false);
  ASSERT_TRUE(stepUntil([&] { return table->getRowCount() == 5; }, 5));
  EXPECT_TRUE(sameRows());
  EXPECT_EQ(textOf(table->cellAtIndex(2), "name"), "Reading room");
  EXPECT_EQ(textOf(table->cellAtIndex(2), "ip"), "10.88.0.30");
  auto* device = dynamic_cast<ui::ImageView*>(table->cellAtIndex(2)->getChildByNameDeep("device"));
  EXPECT_NE(device->getTextureFile().find("device_Mac"), std::string::npos);
  capture("send_nodes", img);
  EXPECT_GT(inkIn(img, table->cellAtIndex(2)->getChildByNameDeep("wifi"), Rgb{60, 200, 90}), 30);
  EXPECT_GT(inkIn(img, device, Rgb{190, 196, 206}), 30);

  // The send button without a chosen row only says so.
  auto* sendButton = dynamic_cast<ui::Button*>(s->getPanel()->getChildByNameDeep("dcmNode_send"));
  ASSERT_NE(sendButton, nullptr);
  click(centreOf(sendButton));
  EXPECT_EQ(textOf(scene->getChildByName("messageBox"), "messageBox.text"),
            "Please choose a patient or series, and open again.");
  EXPECT_EQ(s->getTransferTable()->getRowCount(), 0);

  // Touching a row selects and highlights it; the send button queues the
  // folder for that node.
  click(inRow(table, 2, 0.6f));
  ASSERT_NE(table->getSelectedCell(), nullptr);
  EXPECT_EQ(table->getSelectedCell()->rowIndex, 2);
  capture("send_selected", img);
  const Vec2 p = inRow(table, 2, 0.6f), q = inRow(table, 3, 0.6f);
  const Rgb selected = at(img, static_cast<int>(p.x), static_cast<int>(p.y) + 20);
  const Rgb plain = at(img, static_cast<int>(q.x), static_cast<int>(q.y) + 20);
  EXPECT_GT(selected.r - plain.r, 25) << selected.r << " " << plain.r;
  EXPECT_LT(selected.b, plain.b + 5);
  click(centreOf(sendButton));
  ASSERT_EQ(s->getTransferTable()->getRowCount(), 1);
  EXPECT_EQ(textOf(s->getTransferTable()->cellAtIndex(0), "ip"), "Reading room---10.88.0.30");
  EXPECT_EQ(textOf(s->getTransferTable()->cellAtIndex(0), "path"), "nothing");
}

// Retrieves started by the query screen are listed below the sends: one
// running from Orthanc, one failed for a series Orthanc does not hold.
TEST_F(SendWindow, RetrieveRowsFollowTheLibraryAndRetry) {
  ASSERT_TRUE(orthanc.start(dir + "/orthanc"));
  const std::string port = std::to_string(orthanc.port);
  const char* study = "1.2.826.0.1.3680043.2.1143.950.1";
  const char* seriesUid = "1.2.826.0.1.3680043.2.1143.951.1";
  const char* unknown = "1.2.826.0.1.3680043.2.1143.951.9";
  std::string files;
  constexpr int kImages = 3;
  for (int i = 1; i <= kImages; ++i) {
    const std::string f = dir + "/upload/im" + std::to_string(i) + ".dcm";
    fs::create_directories(dir + "/upload");
    dcmfixtures::writeTagged(f,
                             {{0x00100010, "DOE^JOHN"}, {0x00100020, "P1"}, {0x0020000D, study},
                              {0x0020000E, seriesUid}, {0x00080060, "CT"}, {0x00200011, "3"},
                              {0x00080018, "1.2.826.0.1.3680043.2.1143.952." + std::to_string(i)},
                              {0x00200013, std::to_string(i)}},
                             16, 16);
    files += " " + f;
  }
  ASSERT_EQ(sh("storescu -aec ORTHANC 127.0.0.1 " + port + files + " >/dev/null 2>&1"), 0);

  dataService* svc = dataService::getInstance();
  const std::string dest = dir + "/down";
  fs::create_directories(dest);
  ASSERT_TRUE(svc->getter.getSeriesByUID("127.0.0.1", port.c_str(), "ORTHANC", "", study, unknown, dest.c_str(),
                                         "ROE^JANE", "5", "MR"));
  ASSERT_TRUE(stepUntil([&] { return svc->failedRetrieves.size() == 1; }, 60));
  // Orthanc holds still while the window opens, so the retrieve is listed
  // waiting; then it goes on.
  const pid_t peer = orthancPid();
  ASSERT_GT(peer, 0);
  ASSERT_EQ(kill(peer, SIGSTOP), 0);
  ASSERT_TRUE(svc->getter.getSeriesByUID("127.0.0.1", port.c_str(), "ORTHANC", "", study, seriesUid, dest.c_str(),
                                         "DOE^JOHN", "3", "CT"));
  dcmSend* s = open(dir + "/series/", "DOE");
  ASSERT_NE(s, nullptr);
  NSUI::NSListView* transfers = s->getTransferTable();
  const int listed = static_cast<int>(transfers->getRowCount());
  const std::string first = ratioOf(s, 0), firstPath = textOf(transfers->cellAtIndex(0), "path");
  kill(peer, SIGCONT);
  ASSERT_EQ(listed, 2);
  EXPECT_EQ(first, "Waiting");
  EXPECT_EQ(firstPath, "3(CT)");
  EXPECT_EQ(s->getPanel()->getChildByName(dcmSend::kHelpName), nullptr);
  EXPECT_EQ(textOf(transfers->cellAtIndex(0), "ip"), "DOE^JOHN");
  EXPECT_EQ(textOf(transfers->cellAtIndex(1), "ip"), "ROE^JANE");
  EXPECT_EQ(textOf(transfers->cellAtIndex(1), "path"), "5(MR)");
  EXPECT_TRUE(retryOf(s, 1)->isVisible());

  ASSERT_TRUE(stepUntil([&] { return ratioOf(s, 0) == "Done"; }, 60)) << ratioOf(s, 0);
  EXPECT_EQ(textOf(transfers->cellAtIndex(0), "path"), "3(CT " + std::to_string(kImages) + ")");
  EXPECT_EQ(filesUnder(dest + "/" + seriesUid), static_cast<size_t>(kImages));
  Image img;
  capture("send_retrieves", img);
  EXPECT_GT(inkIn(img, transfers->cellAtIndex(0)->getChildByNameDeep("ratio"), kBlue), 20);
  EXPECT_GT(inkIn(img, retryOf(s, 1), kOrange), 100);

  // Retried: waiting again, a new library task that fails the same way.
  bool hid = false;
  observer = [&] { hid = hid || !retryOf(s, 1)->isVisible(); };
  click(centreOf(retryOf(s, 1)));
  ASSERT_TRUE(stepUntil([&] { return hid && retryOf(s, 1)->isVisible(); }, 60));
  observer = nullptr;
  EXPECT_EQ(svc->failedRetrieves.size(), 1u);

  // A failed retrieve is removed from its swipe menu, in the library too.
  drag(inRow(transfers, 1, 0.1f), inRow(transfers, 1, 0.1f) + Vec2(200, 0));
  Node* del = transfers->cellAtIndex(1)->getChildByNameDeep("del");
  ASSERT_NE(del, nullptr);
  click(centreOf(del));
  ASSERT_TRUE(stepUntil([&] { return transfers->getRowCount() == 1; }, 5));
  EXPECT_TRUE(svc->failedRetrieves.empty());
}

class SendWindowGerman : public SendWindow {
 protected:
  const char* locale() const override { return "de_DE.UTF-8"; }
};

TEST_F(SendWindowGerman, TextsAreTranslated) {
  const std::string folder = dir + "/series/";
  dcmfixtures::writeSeries(folder, *dcmfixtures::findVariant("ct_ele"), 32, 32, 2);
  dcmSend* s = open(folder, "MUSTERMANN");
  ASSERT_NE(s, nullptr);
  Node* panel = s->getPanel();
  EXPECT_EQ(textOf(panel, "dcmNode_title"), "An einen DICOM-Knoten senden");
  EXPECT_EQ(textOf(panel, "dcmNode_transfers"), "Übertragungen");
  EXPECT_EQ(dynamic_cast<ui::Button*>(panel->getChildByNameDeep("dcmNode_send"))->getTitleText(), "Senden");
  EXPECT_EQ(textOf(s->getNodeTable()->cellAtIndex(0), "name"), "Lokal");
  EXPECT_EQ(textOf(s->getNodeTable()->cellAtIndex(1), "name"), "Adresse:");
  const uint16_t port = fwtest::freeLoopbackPort();
  children.push_back(startStorescp(port, dir + "/received", 1));
  ASSERT_TRUE(fwtest::waitLoopbackPort(port, 20000));
  typeAddress(s, "127.0.0.1:" + std::to_string(port));
  click(centreOf(inputSendButton(s)));
  EXPECT_EQ(inputSendButton(s)->getTitleText(), "Senden");
  ASSERT_EQ(s->getTransferTable()->getRowCount(), 1);
  // Waiting until the sender has taken the task, then done.
  EXPECT_TRUE(ratioOf(s, 0) == "Wartet" || ratioOf(s, 0).find('%') != std::string::npos) << ratioOf(s, 0);
  ASSERT_TRUE(stepUntil([&] { return ratioOf(s, 0) == "Fertig"; })) << ratioOf(s, 0);
  Image img;
  capture("send_german", img);
  // A manual address that is no dotted address is refused, in German.
  typeAddress(s, "10.0.0");
  click(centreOf(inputSendButton(s)));
  Node* box = scene->getChildByName("messageBox");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(textOf(box, "messageBox.text"), "Ungültige IP-Adresse");
  EXPECT_EQ(s->getTransferTable()->getRowCount(), 1);
}

class SendWindowOffline : public SendWindow {
 protected:
  bool withNetwork() const override { return false; }
};

TEST_F(SendWindowOffline, OneLockedNoNetworkRow) {
  dcmSend* s = open(dir + "/series/", "DOE");
  ASSERT_NE(s, nullptr);
  NSUI::NSListView* table = s->getNodeTable();
  ASSERT_EQ(table->getRowCount(), 1);
  EXPECT_EQ(s->localRowCount, 1);
  EXPECT_EQ(textOf(table->cellAtIndex(0), "ip"), "No network");
  EXPECT_EQ(textOf(table->cellAtIndex(0), "name"), "Check the network connection");
  click(inRow(table, 0));
  click(centreOf(s->getPanel()->getChildByNameDeep("dcmNode_send")));
  EXPECT_EQ(s->getTransferTable()->getRowCount(), 0);
  EXPECT_EQ(scene->getChildByName("messageBox"), nullptr);
  Image img;
  capture("send_offline", img);
  EXPECT_GT(inkIn(img, table->cellAtIndex(0)->getChildByNameDeep("name"), kBlue), 20);
}

}  // namespace

int main(int argc, char** argv) {
  setenv("SDL_AUDIODRIVER", "dummy", 0);
  setenv("LIBGL_ALWAYS_SOFTWARE", "1", 0);
  screentest::startScreenUnlessListing(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
