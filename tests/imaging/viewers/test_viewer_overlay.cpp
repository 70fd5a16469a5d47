// The 2-D viewer's overlay, headless: which texts and buttons each kind of
// data and window gets, in which rows and colours; the cine buttons; and
// the patient texts read from the first slice's file on a job thread and
// handed back to the viewer that asked, and only to it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "imaging/view/isActorOverlay.h"
#include "imaging/view/isNodeOverlay.h"
#include "imaging/viewers/isDcmTextReader.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "toolkit/widgets/NSLayout.h"
#include "tools/dcmfixtures/fixtures.h"
#include "viewer_support.h"

using namespace isImageSDK;
using namespace viewertest;
using cocos2d::Size;

namespace {

namespace fs = std::filesystem;

const std::string& scratch() { return viewertest::scratchFolder("viewer-overlay"); }

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

constexpr uint32_t tag(uint16_t group, uint16_t element) { return uint32_t(group) << 16 | element; }

// One slice of a modality with `frames` frames (a cine loop when above 1).
isImageData* makeSlice(int modality, int frames = 1, const std::string& path = "") {
  auto* image = isImageData::create();
  const int32_t size[2] = {16, 12};
  const float spacing[2] = {1.0f, 1.0f};
  SliceRecord* s = image->addSlice(size, frames, spacing, ELEMENT_INT16, 0, 0, cocos2d::Mat4::IDENTITY);
  auto* px = static_cast<int16_t*>(s->pixels);
  for (int i = 0; i < 16 * 12 * frames; ++i) px[i] = static_cast<int16_t>(i % 200);
  s->modality = modality;
  s->windowWidth = 200.0f;
  s->windowCenter = 100.0f;
  s->filePath = path;
  image->setIdentifier("slice");
  return image;
}

// A block as text: rows joined by "|", items by ","; a text by its id, a
// button by its name. "" when the corner has no block.
std::string describe(isActorOverlay* overlay, int code) {
  const auto& corner = overlay->getCorner(code);
  std::string out;
  for (size_t r = 0; r < corner.rows.size(); ++r) {
    if (r) out += "|";
    bool first = true;
    for (cocos2d::Node* child : corner.rows[r]->getChildren()) {
      auto* item = dynamic_cast<isNodeOverlay*>(child);
      if (!item) continue;
      if (!first) out += ",";
      first = false;
      out += item->kind == 2 ? child->getName() : std::to_string(item->notificationId);
    }
  }
  return out;
}

// Every text of the overlay bound to an id, in creation order.
std::vector<isNodeOverlayText*> textsOf(isActorOverlay* overlay, int id) {
  std::vector<isNodeOverlayText*> out;
  for (isNodeOverlay* item : overlay->getItems())
    if (item->kind == 1 && item->notificationId == id)
      if (auto* t = dynamic_cast<isNodeOverlayText*>(item)) out.push_back(t);
  return out;
}

isNodeOverlayText* textOf(isActorOverlay* overlay, int id) {
  auto all = textsOf(overlay, id);
  return all.empty() ? nullptr : all.front();
}

bool sameColour(const cocos2d::Color4B& a, const cocos2d::Color4B& b) {
  return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
}

// A file reader for the jobs that waits until the test lets it go and
// counts the files it was asked for.
struct HeldReader {
  std::mutex mutex;
  std::condition_variable cv;
  bool open = false;
  std::atomic<int> calls{0};

  isDcmTextReader::FileReader reader() {
    return [this](const std::string& path, std::string& json) {
      calls.fetch_add(1);
      std::unique_lock<std::mutex> lock(mutex);
      cv.wait(lock, [this] { return open; });
      return readPatientInfoFile(path, json);
    };
  }
  void release() {
    std::lock_guard<std::mutex> lock(mutex);
    open = true;
    cv.notify_all();
  }
};

class ViewerOverlayTest : public ::testing::Test {
 protected:
  void TearDown() override {
    // No job may outlive the test that started it.
    waitForJobs();
    isDcmTextReader::setFileReader(nullptr);
  }

  static bool waitForJobs() {
    for (int i = 0; i < 4000 && isDcmTextReader::jobsRunning() > 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return isDcmTextReader::jobsRunning() == 0;
  }
  // Frames until the condition holds (the job's hand-off and the serial
  // queue each need frames).
  static bool pumpUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 2000; ++i) {
      if (done()) return true;
      stepFrames(1);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return done();
  }
  // Every job ended and whatever it handed back delivered.
  static void settle() {
    waitForJobs();
    stepFrames(12);
  }

  HeadlessEngine engine;
  Recorder rec;
};

// ---------------------------------------------------------------- items

TEST_F(ViewerOverlayTest, CtVolumeGetsTheShortOrTheFullSet) {
  struct Row {
    bool full;
    const char *topLeft, *bottomLeft, *topRight;
  };
  const Row rows[] = {
      {false, "9074,9111|9077", "9116,9078|9116,9072", "9080|9082|multi_prior,multi_status,multi_next"},
      {true, "9074,9111|9075|9076|9077", "9116,9078|9116,9072",
       "9079|9080|9081|9082|9083|multi_prior,multi_status,multi_next"},
  };
  auto* data = makePhantom(16, 16, 8);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.full ? "full" : "short");
    isViewerImage* v = addViewer(engine.scene, Size(400, 300));
    v->setImageData(data);
    v->showFullInfo = row.full;
    v->updateOverlay(1);
    isActorOverlay* overlay = v->getActorManager()->getOverlayActor();
    EXPECT_EQ(describe(overlay, isActorOverlay::kTopLeft), row.topLeft);
    EXPECT_EQ(describe(overlay, isActorOverlay::kBottomLeft), row.bottomLeft);
    EXPECT_EQ(describe(overlay, isActorOverlay::kTopRight), row.topRight);
    EXPECT_EQ(describe(overlay, isActorOverlay::kBottomRight), "");

    // Labels, colours and the tap on the window.
    ASSERT_NE(textOf(overlay, NOTIFY_OVERLAY_VIEW_NAME), nullptr);
    EXPECT_EQ(textOf(overlay, NOTIFY_OVERLAY_VIEW_NAME)->getString(), " Axial");
    EXPECT_TRUE(sameColour(textOf(overlay, NOTIFY_OVERLAY_VIEW_NAME)->getTextColor(), cocos2d::Color4B::YELLOW));
    EXPECT_TRUE(sameColour(textOf(overlay, NOTIFY_OVERLAY_SLICE_POSITION)->getTextColor(), cocos2d::Color4B::ORANGE));
    auto labels = textsOf(overlay, NOTIFY_OVERLAY_STATIC);
    ASSERT_EQ(labels.size(), 2u);
    EXPECT_EQ(labels[0]->getString(), " Thk:");
    EXPECT_EQ(labels[1]->getString(), " ww/wl:");
    for (int id : {NOTIFY_OVERLAY_STATIC, NOTIFY_OVERLAY_SLAB_THICKNESS, NOTIFY_OVERLAY_WINDOW})
      for (auto* t : textsOf(overlay, id)) EXPECT_TRUE(sameColour(t->getTextColor(), cocos2d::Color4B::YELLOW)) << id;
    EXPECT_TRUE(textOf(overlay, NOTIFY_OVERLAY_WINDOW)->isTouchable());
    EXPECT_FALSE(textOf(overlay, NOTIFY_OVERLAY_SERIES_TIME)->isTouchable());
    if (row.full) {
      EXPECT_EQ(textOf(overlay, NOTIFY_OVERLAY_STUDY_ID)->getString(), " Ex:");
      EXPECT_EQ(textOf(overlay, NOTIFY_OVERLAY_SERIES_ID)->getString(), " Se:");
    }

    // The actor's posts fill the texts bound to them.
    v->imageActor->postViewState();
    stepFrames(12);
    EXPECT_EQ(textOf(overlay, NOTIFY_OVERLAY_WINDOW)->getString().rfind("400", 0), 0u)
        << textOf(overlay, NOTIFY_OVERLAY_WINDOW)->getString();
    EXPECT_NE(textOf(overlay, NOTIFY_OVERLAY_SLICE_POSITION)->getString().find("mm"), std::string::npos);
    v->removeFromParent();
  }
  data->release();
}

TEST_F(ViewerOverlayTest, SmallWindowsShowThePositionOnlyForSlicesWithOne) {
  struct Row {
    const char* what;
    int modality;
    Size size;
    const char* topLeft;
  };
  const Row rows[] = {
      {"MR 200 x 400", MODALITY_MR, Size(200, 400), "9077"},
      {"ultrasound 200 x 400", MODALITY_US, Size(200, 400), ""},
      {"CT 400 x 249", MODALITY_CT, Size(400, 249), "9077"},
      {"PT 250 x 250: the normal set", MODALITY_PT, Size(250, 250), "9074,9111|9077"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    auto* data = makeSlice(row.modality);
    isViewerImage* v = addViewer(engine.scene, row.size);
    v->setImageData(data);
    v->updateOverlay(1);
    isActorOverlay* overlay = v->getActorManager()->getOverlayActor();
    EXPECT_EQ(describe(overlay, isActorOverlay::kTopLeft), row.topLeft);
    if (row.size.width < 250 || row.size.height < 250) {
      EXPECT_EQ(describe(overlay, isActorOverlay::kBottomLeft), "");
      EXPECT_EQ(describe(overlay, isActorOverlay::kTopRight), "");
      EXPECT_EQ(overlay->getItems().size(), row.topLeft[0] ? 1u : 0u);
      if (auto* t = textOf(overlay, NOTIFY_OVERLAY_SLICE_POSITION)) {
        EXPECT_TRUE(sameColour(t->getTextColor(), cocos2d::Color4B::ORANGE));
      }
    } else {
      // A slice that is not a volume has no thickness row.
      EXPECT_EQ(describe(overlay, isActorOverlay::kBottomLeft), "9116,9072");
    }
    v->removeFromParent();
    data->release();
  }
}

TEST_F(ViewerOverlayTest, CineButtonsShowOnlyForAMultiFrameSlice) {
  for (int frames : {1, 3}) {
    SCOPED_TRACE(frames);
    auto* data = makeSlice(MODALITY_US, frames);
    isViewerImage* v = addViewer(engine.scene);
    v->setImageData(data);
    v->updateOverlay(1);
    isActorOverlay* overlay = v->getActorManager()->getOverlayActor();
    const struct {
      const char* name;
      const char* picture;
      int id;
    } expected[] = {{"multi_prior", "imageSDK/leftArrow.png", NOTIFY_CINE_PRIOR},
                    {"multi_status", "imageSDK/play.png", NOTIFY_CINE_STATE},
                    {"multi_next", "imageSDK/rightArrow.png", NOTIFY_CINE_NEXT}};
    for (const auto& e : expected) {
      auto* button = dynamic_cast<isNodeOverlaySprite*>(overlay->findItem(e.name));
      ASSERT_NE(button, nullptr) << e.name;
      EXPECT_EQ(button->notificationId, e.id);
      EXPECT_GT(button->getImageHeight(), 0) << e.picture << " did not load";
      EXPECT_EQ(button->isVisible(), frames > 1) << e.name;
    }
    v->removeFromParent();
    data->release();
  }
}

// ------------------------------------------------------- patient texts

TEST_F(ViewerOverlayTest, PatientTextsReachTheOverlayAndEveryFrameOnce) {
  const std::string path = scratch() + "patient.dcm";
  dcmfixtures::writeTagged(path, {{tag(0x0010, 0x0040), "M"}, {tag(0x0010, 0x1010), "045Y"},
                                  {tag(0x0010, 0x1030), "72"}, {tag(0x0008, 0x0080), "A, B"}});
  std::string expected;
  ASSERT_TRUE(readPatientInfoFile(path, expected));

  // Two phases of one volume: the description belongs to both.
  auto* phase0 = makePhantom(8, 8, 4);
  auto* phase1 = makePhantom(8, 8, 4);
  phase0->slices[0]->filePath = path;
  ASSERT_EQ(isImageData::createFrameSet({phase0, phase1}), phase0);

  isViewerImage* v = addViewer(engine.scene);
  v->showFullInfo = true;
  rec.listen({NOTIFY_DICOM_OVERLAY_INFO}, v);
  v->setImageData(phase0);
  ASSERT_TRUE(pumpUntil([&] { return !rec.of(NOTIFY_DICOM_OVERLAY_INFO).empty(); }));
  settle();
  auto posted = rec.of(NOTIFY_DICOM_OVERLAY_INFO);
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].sender, nullptr);
  EXPECT_EQ(posted[0].text, expected);
  EXPECT_EQ(phase0->getDescription(), expected);
  EXPECT_EQ(phase1->getDescription(), expected);
  isActorOverlay* overlay = v->getActorManager()->getOverlayActor();
  EXPECT_EQ(textOf(overlay, NOTIFY_OVERLAY_PATIENT_INFO)->getString(), "M 045Y W=72 ");
  EXPECT_EQ(textOf(overlay, NOTIFY_OVERLAY_HOSPITAL)->getString(), "A_ B ");

  // The next rebuild takes the stored texts at once and opens no file.
  HeldReader counting;
  counting.release();
  isDcmTextReader::setFileReader(counting.reader());
  v->showFullInfo = false;
  v->updateOverlay(1);
  overlay = v->getActorManager()->getOverlayActor();
  EXPECT_EQ(textOf(overlay, NOTIFY_OVERLAY_PATIENT_INFO)->getString(), "M 045Y W=72 ");
  settle();
  EXPECT_EQ(counting.calls.load(), 0);
  EXPECT_EQ(rec.of(NOTIFY_DICOM_OVERLAY_INFO).size(), 1u);
  phase0->release();
  phase1->release();
}

TEST_F(ViewerOverlayTest, UnreadableFileStoresNothingAndTheNextRebuildReadsAgain) {
  const std::string path = scratch() + "later.dcm";
  std::ofstream(path) << "not yet an image";
  auto* data = makeSlice(MODALITY_CT, 1, path);
  isViewerImage* v = addViewer(engine.scene);
  rec.listen({NOTIFY_DICOM_OVERLAY_INFO}, v);
  v->setImageData(data);
  settle();
  EXPECT_TRUE(rec.of(NOTIFY_DICOM_OVERLAY_INFO).empty());
  EXPECT_EQ(data->getDescription(), "");

  dcmfixtures::writeTagged(path, {{tag(0x0010, 0x0010), "DOE^JANE"}});
  v->updateOverlay(1);
  ASSERT_TRUE(pumpUntil([&] { return !rec.of(NOTIFY_DICOM_OVERLAY_INFO).empty(); }));
  EXPECT_EQ(NSUI::UIJson::getJsonString(rec.of(NOTIFY_DICOM_OVERLAY_INFO)[0].text, "patient"), "DOE^JANE");
  EXPECT_EQ(NSUI::UIJson::getJsonString(data->getDescription(), "patient"), "DOE^JANE");
  data->release();
}

TEST_F(ViewerOverlayTest, TwoQuickRebuildsStartOneRead) {
  const std::string path = scratch() + "quick.dcm";
  dcmfixtures::writeTagged(path, {});
  HeldReader held;
  isDcmTextReader::setFileReader(held.reader());
  auto* data = makeSlice(MODALITY_CT, 1, path);
  isViewerImage* v = addViewer(engine.scene);
  rec.listen({NOTIFY_DICOM_OVERLAY_INFO}, v);
  v->setImageData(data);
  v->updateOverlay(1);
  stepFrames(3);
  v->updateOverlay(1);
  held.release();
  ASSERT_TRUE(pumpUntil([&] { return !rec.of(NOTIFY_DICOM_OVERLAY_INFO).empty(); }));
  settle();
  EXPECT_EQ(held.calls.load(), 1);
  EXPECT_EQ(rec.of(NOTIFY_DICOM_OVERLAY_INFO).size(), 1u);
  data->release();
}

TEST_F(ViewerOverlayTest, DataChangedDuringTheReadGetsItsOwnTexts) {
  const std::string first = scratch() + "first.dcm", second = scratch() + "second.dcm";
  dcmfixtures::writeTagged(first, {{tag(0x0010, 0x0010), "FIRST^PATIENT"}});
  dcmfixtures::writeTagged(second, {{tag(0x0010, 0x0010), "SECOND^PATIENT"}});
  HeldReader held;
  isDcmTextReader::setFileReader(held.reader());
  auto* a = makeSlice(MODALITY_CT, 1, first);
  auto* b = makeSlice(MODALITY_MR, 1, second);
  isViewerImage* v = addViewer(engine.scene);
  rec.listen({NOTIFY_DICOM_OVERLAY_INFO}, v);
  v->setImageData(a);
  v->setImageData(b);
  held.release();
  ASSERT_TRUE(pumpUntil([&] { return !rec.of(NOTIFY_DICOM_OVERLAY_INFO).empty(); }));
  settle();
  auto posted = rec.of(NOTIFY_DICOM_OVERLAY_INFO);
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(NSUI::UIJson::getJsonString(posted[0].text, "patient"), "SECOND^PATIENT");
  EXPECT_EQ(a->getDescription(), "");
  EXPECT_EQ(NSUI::UIJson::getJsonString(b->getDescription(), "patient"), "SECOND^PATIENT");
  EXPECT_EQ(held.calls.load(), 2);
  a->release();
  b->release();
}

// The first slice's file is a FIFO: the read stays open until the test
// writes the file into it. The viewer that asked is destroyed meanwhile and
// another one made (often at the same address) for the same data; the
// finished read must reach neither, nor write into the data.
TEST_F(ViewerOverlayTest, ReadFinishingAfterItsViewerIsGoneReachesNoOtherViewer) {
  const std::string fifo = scratch() + "slow.fifo", source = scratch() + "slow.dcm";
  dcmfixtures::writeTagged(source, {{tag(0x0010, 0x0010), "GONE^BEFORE"}});
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // The job copies what comes through the FIFO into a file of its own and
  // reads that.
  std::atomic<int> calls{0};
  isDcmTextReader::setFileReader([&calls](const std::string& path, std::string& json) {
    calls.fetch_add(1);
    const std::string bytes = readAll(path);
    const std::string copy = path + ".copy";
    std::ofstream(copy, std::ios::binary) << bytes;
    return readPatientInfoFile(copy, json);
  });

  auto* data = makeSlice(MODALITY_CT, 1, fifo);
  isViewerImage* first = addViewer(engine.scene);
  first->setImageData(data);
  ASSERT_EQ(isDcmTextReader::jobsRunning(), 1);
  first->removeFromParent();
  stepFrames(2);

  // The same data, its texts meanwhile known (as another viewer of it
  // would have read them), in a new viewer.
  const std::string kept = "{\"patient\":\"KEPT\"}";
  data->setDescription(kept);
  isViewerImage* next = addViewer(engine.scene);
  rec.listen({NOTIFY_DICOM_OVERLAY_INFO}, next);
  next->setImageData(data);

  {
    const std::string bytes = readAll(source);
    const int fd = open(fifo.c_str(), O_WRONLY);  // waits for the job's open
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(fd);
  }
  ASSERT_TRUE(waitForJobs());
  stepFrames(20);
  EXPECT_EQ(calls.load(), 1);
  EXPECT_TRUE(rec.of(NOTIFY_DICOM_OVERLAY_INFO).empty());
  EXPECT_EQ(data->getDescription(), kept);
  EXPECT_EQ(textOf(next->getActorManager()->getOverlayActor(), NOTIFY_OVERLAY_PATIENT_INFO)->getString(), " ");
  data->release();
}

}  // namespace
