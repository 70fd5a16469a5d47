// The query and retrieve screen without a window: its form and fields, the
// table it draws over the model's rows, the download button's looks, the
// messages and the ways the window closes. The window itself, with real
// peers and SDL input, is tested in tests/app/screens_gl/.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/data/dcmFinder.h"
#include "app/online/statApplication.h"
#include "engine/cocos2d.h"
#include "engine/platform/GLViewImpl.h"
#include "support_library.h"
#include "toolkit/foundation/AppConfig.h"
#include "toolkit/foundation/NSGlobals.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "toolkit/foundation/UILocalConfig.h"
#include "toolkit/widgets/NSTextField.h"

USING_NS_CC;

namespace {

using Look = dcmFinder::DownloadLook;

struct Call {
  std::string what;
  std::vector<std::string> args;
};

// A headless view of 1280 x 800, the build's resources and language table,
// a running scene and a screen whose calls are recorded.
class FinderScreen : public ::testing::Test {
 protected:
  void SetUp() override {
    // First the case's own writable folder: the settings store is opened
    // there on first use.
    lib = std::make_unique<libtest::Library>();
    FileUtils::getInstance()->setDefaultResourceRootPath(std::string(FW_BINARY_DIR) + "/resources/");
    FileUtils::getInstance()->setSearchPaths({"res/pad/"});
    Director::getInstance()->setOpenGLView(GLViewImpl::createHeadless(Size(1280, 800)));
    config = AppConfig::getInstance();
    config->retain();
    config->languageTable.load();
    NSUI::setLocalizedStringTable(&config->languageTable);
    scene = Scene::create();
    Director::getInstance()->runWithScene(scene);
  }
  void TearDown() override {
    if (window) window->release();
    lib.reset();
    NSUI::setLocalizedStringTable(nullptr);
    config->release();
    Director::destroyInstance();
  }

  dcmModelCalls recordingCalls() {
    dcmModelCalls c;
    c.findPatientByName = [this](auto& ip, auto& port, auto& called, auto& calling, auto& pattern) {
      calls.push_back({"patient", {ip, port, called, calling, pattern}});
      return true;
    };
    c.findStudyByUID = [this](auto&, auto&, auto&, auto&, auto& study) {
      calls.push_back({"study", {study}});
      return true;
    };
    c.getSeriesByUID = [this](const GetTaskRecord& f) {
      calls.push_back({"get", {f[5]}});
      return true;
    };
    return c;
  }
  // The screen in a modal window on the scene, as the home screen opens it.
  dcmFinder* open() {
    window = NSUI::NSResponseWindow::create();
    window->retain();
    window->enableAndroidReturnKey();
    finder = dcmFinder::create(recordingCalls());
    window->addChild(finder);
    finder->form()->setAnchorPoint(Vec2::ANCHOR_MIDDLE_TOP);
    finder->form()->setPosition(Vec2(640, 800));
    scene->addChild(window);
    lib->step(2);
    return finder;
  }

  void study(const std::string& uid, const std::string& name) {
    auto* d = new findStudyData(new FindStudyRecord{"2024.01.31 08:30:00", "General Hospital", "CT head", name,
                                                    "PID42", "19700101", "F", uid, "S1"});
    NSUI::NSNotificationCenter::getInstance()->postNotification(nullptr, NOTIFY_FIND_STUDY_RECORD, d, nullptr, false);
    d->release();
  }
  void series(const std::string& studyUID, const std::string& uid, const std::string& number) {
    auto* d = new findSeriesData(new FindSeriesRecord{"", "CT", "Axial 5 mm", studyUID, uid, number, "12"});
    NSUI::NSNotificationCenter::getInstance()->postNotification(nullptr, NOTIFY_FIND_SERIES_RECORD, d, nullptr,
                                                                false);
    d->release();
  }
  void text(int id, const std::string& t) {
    NSUI::NSNotificationCenter::getInstance()->postNotificationText(nullptr, id, t, nullptr, true);
    lib->step(2);
  }
  // A search for DOE that found study A with series a1 and a2: rows
  // "A +a2 +a1".
  void searched() {
    ASSERT_TRUE(finder->model().search("127.0.0.1", "104", "ORTHANC", "DOE"));
    study("A", "DOE^JANE");
    series("A", "a1", "1");
    series("A", "a2", "2");
    lib->step(12);
    ASSERT_EQ(finder->table()->getRowCount(), 3);
  }

  Node* cellPart(int row, int tag) {
    NSUI::NSTableViewCell* cell = finder->table()->cellAtIndex(row);
    return cell ? cell->getChildByTag(tag) : nullptr;
  }
  std::string textIn(Node* part, const std::string& name) {
    auto* t = part ? dynamic_cast<ui::Text*>(part->getChildByNameDeep(name)) : nullptr;
    return t ? t->getString() : "<none>";
  }
  ui::Button* download(int row) {
    Node* part = cellPart(row, dcmFinder::kSeriesTag);
    return part ? dynamic_cast<ui::Button*>(part->getChildByNameDeep("btnDownload")) : nullptr;
  }
  // The click of a widget through the engine's input, at its centre.
  void click(Node* widget) {
    const Vec2 p = widget->convertToWorldSpace(Vec2(widget->getContentSize() / 2));
    auto* view = Director::getInstance()->getOpenGLView();
    view->injectMouseDown(p.x, p.y, 0);
    view->injectMouseUp(p.x, p.y, 0);
    lib->step();
  }
  std::string messageShown() {
    Node* box = scene->getChildByName("messageBox");
    auto* t = box && box->isVisible() ? dynamic_cast<ui::Text*>(box->getChildByNameDeep("messageBox.text")) : nullptr;
    return t ? t->getString() : "";
  }

  AppConfig* config = nullptr;
  Scene* scene = nullptr;
  std::unique_ptr<libtest::Library> lib;
  NSUI::NSResponseWindow* window = nullptr;
  dcmFinder* finder = nullptr;
  std::vector<Call> calls;
};

TEST_F(FinderScreen, FormTakesTheSavedNodeIntoItsFields) {
  NSUI::UILocalConfig::setStringForKey("dicomServerIP", "10.1.2.3");
  NSUI::UILocalConfig::setStringForKey("dicomServerPort", "11112");
  NSUI::UILocalConfig::setStringForKey("dicomServerTitle", "PACS");
  open();
  Node* form = finder->form();
  ASSERT_NE(form, nullptr);
  EXPECT_EQ(form->getName(), "dcmFind.csb");
  EXPECT_EQ(finder->getContentSize(), form->getContentSize());

  struct Want {
    const char* name;
    const char* text;
    const char* placeholder;
    int mode;
    bool framed;
  } fields[] = {
      {"editIP", "10.1.2.3", "IP address", NSUI::NSTextField::INPUT_DOTTED_DIGITS, false},
      {"editPort", "11112", "Port", NSUI::NSTextField::INPUT_DIGITS, false},
      {"editTitle", "PACS", "AE title", NSUI::NSTextField::INPUT_ANY, false},
      {"editPatient", "", "Patient name", NSUI::NSTextField::INPUT_ANY, true},
  };
  for (const auto& w : fields) {
    SCOPED_TRACE(w.name);
    Node* n = form->getChildByNameDeep(w.name);
    auto* field = dynamic_cast<NSUI::NSTextField*>(n);
    ASSERT_NE(field, nullptr) << "the marker is still there";
    EXPECT_EQ(field->getString(), w.text);
    EXPECT_EQ(field->getPlaceHolder(), w.placeholder);
    EXPECT_EQ(field->_inputMode, w.mode);
    EXPECT_EQ(field->getFrame() != nullptr, w.framed);
  }
  auto* patient = static_cast<NSUI::NSTextField*>(form->getChildByNameDeep("editPatient"));
  EXPECT_EQ(patient->_textColor, Color3B(44, 44, 44));
  EXPECT_EQ(patient->getContentSize(), Size(250, 26));

  // The table fills the layout below the form; the help shows over it.
  NSUI::NSListView* table = finder->table();
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->getParent(), form);
  EXPECT_EQ(table->getContentSize(), Size(form->getContentSize().width - 20, form->getContentSize().height - 115));
  EXPECT_EQ(table->getPosition(), Vec2(10, 0));
  EXPECT_EQ(table->getRowCount(), 0);
  EXPECT_TRUE(form->getChildByNameDeep("help")->isVisible());
  EXPECT_EQ(static_cast<ui::Text*>(form->getChildByNameDeep("title"))->getString(), "Query and retrieve");
}

TEST_F(FinderScreen, TableShowsEachStudyFollowedByItsSeries) {
  open();
  // Typed into the fields: the search goes out with the wrapped name and
  // the table starts to fill.
  auto* form = finder->form();
  static_cast<NSUI::NSTextField*>(form->getChildByNameDeep("editIP"))->insertString("127.0.0.1");
  static_cast<NSUI::NSTextField*>(form->getChildByNameDeep("editPort"))->insertString("104");
  static_cast<NSUI::NSTextField*>(form->getChildByNameDeep("editTitle"))->insertString("ORTHANC");
  static_cast<NSUI::NSTextField*>(form->getChildByNameDeep("editPatient"))->insertString(" DOE ");
  click(form->getChildByNameDeep("btnSearch"));
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].args, (std::vector<std::string>{"127.0.0.1", "104", "ORTHANC", "", "*DOE*"}));

  study("A", "DOE^JANE WITH A LONG NAME");
  lib->step(3);
  EXPECT_FALSE(form->getChildByNameDeep("help")->isVisible()) << "gone with the first study row";
  series("A", "a1", "1");
  series("A", "a2", "2");
  study("B", "DOE^JOHN");
  lib->step(12);
  NSUI::NSListView* table = finder->table();
  ASSERT_EQ(table->getRowCount(), 4);
  EXPECT_FALSE(form->getChildByNameDeep("help")->isVisible());
  // Study rows 70 high, series rows 60, as wide as the screen.
  EXPECT_EQ(table->getRowOffsets(), (std::vector<float>{0, 70, 130, 190, 260}));
  EXPECT_EQ(finder->tableCellSizeForIndex(table, 0, table->getRows().at(0)),
            Size(finder->getContentSize().width, 70));

  // Each cell shows one of its two parts.
  const struct {
    int row;
    bool isStudy;
    const char* label;
    const char* text;
  } cells[] = {
      {0, true, "name", "DOE^JANE WI"}, {0, true, "hospital", "General Hospital"}, {0, true, "id", "PID42"},
      {1, false, "seriesid", "2"},      {1, false, "desc", "Axial 5 mm"},          {2, false, "seriesid", "1"},
      {2, false, "number", "12"},       {3, true, "name", "DOE^JOHN"},
  };
  for (const auto& c : cells) {
    SCOPED_TRACE(std::to_string(c.row) + " " + c.label);
    Node* study = cellPart(c.row, dcmFinder::kStudyTag);
    Node* series = cellPart(c.row, dcmFinder::kSeriesTag);
    ASSERT_TRUE(study && series);
    EXPECT_EQ(study->isVisible(), c.isStudy);
    EXPECT_EQ(series->isVisible(), !c.isStudy);
    EXPECT_EQ(textIn(c.isStudy ? study : series, c.label), c.text);
  }
  EXPECT_EQ(download(1)->getUserObject(), finder->model().rows()[1]);

  // A new search empties the table; the help stays hidden.
  click(form->getChildByNameDeep("btnSearch"));
  EXPECT_EQ(table->getRowCount(), 0);
  EXPECT_FALSE(form->getChildByNameDeep("help")->isVisible());
}

TEST_F(FinderScreen, DownloadLookFollowsTheRowState) {
  struct Case {
    bool requested, running;
    Look look;
  } cases[] = {
      {false, false, Look::Idle},
      {true, false, Look::Requested},
      {true, true, Look::Running},
      {false, true, Look::Running},
  };
  for (const auto& c : cases) {
    dcmFinderModel::listObject row;
    row.requested = c.requested;
    row.running = c.running;
    EXPECT_EQ(dcmFinder::downloadLook(row), c.look) << c.requested << c.running;
  }

  open();
  searched();
  ui::Button* button = download(1);
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->getActionByTag(dcmFinder::kBlinkTag), nullptr);

  // Requested: white, fading out over 0.5 s and back in over the next 0.5 s.
  click(button);
  ASSERT_EQ(calls.back().what, "get");
  EXPECT_EQ(calls.back().args[0], "a2");
  button = download(1);
  ASSERT_NE(button->getActionByTag(dcmFinder::kBlinkTag), nullptr);
  EXPECT_EQ(button->getColor(), Color3B::WHITE);
  std::vector<int> opacity;
  for (int i = 0; i < 4; ++i) {
    lib->step(15);  // a quarter of a second each
    opacity.push_back(button->getOpacity());
  }
  EXPECT_LT(opacity[1], 30) << "faded out after half a second";
  EXPECT_GT(opacity[3], 225) << "back after a second";
  EXPECT_GT(opacity[0], opacity[1]);
  EXPECT_LT(opacity[2], opacity[3]);

  // A second press of a requested row asks for nothing.
  const size_t before = calls.size();
  click(button);
  EXPECT_EQ(calls.size(), before);

  // Running: red and still blinking, with one blink action.
  text(NOTIFY_RETRIEVE_STATE, "a2");
  button = download(1);
  EXPECT_EQ(button->getColor(), Color3B::RED);
  EXPECT_NE(button->getActionByTag(dcmFinder::kBlinkTag), nullptr);
  EXPECT_EQ(button->getNumberOfRunningActions(), 1);

  // Done: steady and white at full opacity, no message.
  text(NOTIFY_RETRIEVE_PROGRESS, "a2|0|12|0|0");
  button = download(1);
  EXPECT_EQ(button->getActionByTag(dcmFinder::kBlinkTag), nullptr);
  EXPECT_EQ(button->getOpacity(), 255);
  EXPECT_EQ(button->getColor(), Color3B::WHITE);
  EXPECT_EQ(messageShown(), "");

  // A retrieve that lost images: idle again, with the message.
  click(download(2));
  text(NOTIFY_RETRIEVE_STATE, "a1");
  EXPECT_EQ(download(2)->getColor(), Color3B::RED);
  text(NOTIFY_RETRIEVE_PROGRESS, "a1|0|10|2|0");
  EXPECT_EQ(download(2)->getActionByTag(dcmFinder::kBlinkTag), nullptr);
  EXPECT_EQ(messageShown(), "Failed to download the whole series");
}

TEST_F(FinderScreen, CellsOfANewSearchDoNotKeepAnOldBlink) {
  open();
  searched();
  click(download(1));
  click(download(2));
  lib->step(20);  // both caught in the middle of a blink
  ASSERT_NE(download(1)->getActionByTag(dcmFinder::kBlinkTag), nullptr);
  ASSERT_LT(download(2)->getOpacity(), 255);

  // The next search's rows take the recycled cells.
  ASSERT_TRUE(finder->model().search("127.0.0.1", "104", "ORTHANC", "ROE"));
  study("B", "ROE^RICHARD");
  series("B", "b1", "1");
  series("B", "b2", "2");
  lib->step(12);
  ASSERT_EQ(finder->table()->getRowCount(), 3);
  lib->step(20);
  for (int row = 0; row < 3; ++row) {
    SCOPED_TRACE(row);
    NSUI::NSTableViewCell* cell = finder->table()->cellAtIndex(row);
    ASSERT_NE(cell, nullptr);
    auto* b = dynamic_cast<ui::Button*>(cell->getChildByTag(dcmFinder::kSeriesTag)->getChildByNameDeep("btnDownload"));
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->getActionByTag(dcmFinder::kBlinkTag), nullptr);
    EXPECT_EQ(b->getOpacity(), 255);
    EXPECT_EQ(b->getColor(), Color3B::WHITE);
  }
}

TEST_F(FinderScreen, MissingAddressOrPortShowsAMessageAndAsksNothing) {
  open();
  auto* form = finder->form();
  static_cast<NSUI::NSTextField*>(form->getChildByNameDeep("editPort"))->insertString("104");
  click(form->getChildByNameDeep("btnSearch"));
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(messageShown(), "Check the IP and PORT");
  lib->step(150);  // 2 s and a little more
  EXPECT_EQ(messageShown(), "");
}

TEST_F(FinderScreen, EachSearchThatGoesOutIsAUsageEvent) {
  NSUI::setServerUrl("");  // the statistics stay local
  statApplication* stats = statApplication::getInstance();
  stats->start();
  open();
  auto* form = finder->form();
  click(form->getChildByNameDeep("btnSearch"));  // no address: refused
  static_cast<NSUI::NSTextField*>(form->getChildByNameDeep("editIP"))->insertString("127.0.0.1");
  static_cast<NSUI::NSTextField*>(form->getChildByNameDeep("editPort"))->insertString("104");
  click(form->getChildByNameDeep("btnSearch"));
  click(form->getChildByNameDeep("btnSearch"));
  NSUI::NSDBDataModel rows;
  ASSERT_TRUE(stats->db.getRecord("select type,value from stat order by ID", &rows));
  ASSERT_EQ(rows.getRowCount(), 2);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(rows.getValue(i, 0), "30018");
    EXPECT_EQ(rows.getValue(i, 1), "");
  }
  stats->shutdown();
  statApplication::destroyInstance();
}

TEST_F(FinderScreen, BackButtonAndReturnKeyCloseTheWindow) {
  for (const char* how : {"button", "return key"}) {
    SCOPED_TRACE(how);
    if (window) {
      window->release();
      window = nullptr;
    }
    open();
    ASSERT_EQ(window->getParent(), scene);
    if (std::string(how) == "button") {
      click(finder->form()->getChildByNameDeep("btn_back"));
    } else {
      Director::getInstance()->getOpenGLView()->injectKey(EventKeyboard::KeyCode::KEY_ESCAPE, true);
      Director::getInstance()->getOpenGLView()->injectKey(EventKeyboard::KeyCode::KEY_ESCAPE, false);
      lib->step();
    }
    EXPECT_EQ(window->getParent(), nullptr);
    EXPECT_EQ(Director::getInstance()->getRunningScene(), scene) << "only the window goes";
  }
}

// The screen in a second language: form, placeholders and cells.
TEST(FinderScreenGerman, TextsAreTranslated) {
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  {
    libtest::Library lib;
    FileUtils::getInstance()->setDefaultResourceRootPath(std::string(FW_BINARY_DIR) + "/resources/");
    FileUtils::getInstance()->setSearchPaths({"res/pad/"});
    Director::getInstance()->setOpenGLView(GLViewImpl::createHeadless(Size(1280, 800)));
    AppConfig* config = AppConfig::getInstance();
    config->retain();
    config->languageTable.load();
    dcmModelCalls none;
    dcmFinder* finder = dcmFinder::create(none);
    ASSERT_NE(finder, nullptr);
    finder->retain();
    Node* form = finder->form();
    EXPECT_EQ(static_cast<ui::Text*>(form->getChildByNameDeep("title"))->getString(), "Abfragen und Abrufen");
    EXPECT_EQ(static_cast<ui::Button*>(form->getChildByNameDeep("btnSearch"))->getTitleText(), "Suchen");
    EXPECT_EQ(static_cast<NSUI::NSTextField*>(form->getChildByNameDeep("editPatient"))->getPlaceHolder(),
              "Patientenname");
    EXPECT_EQ(static_cast<NSUI::NSTextField*>(form->getChildByNameDeep("editIP"))->getPlaceHolder(), "IP-Adresse");
    // Cells: the series row's fixed labels.
    auto* row = new dcmFinderModel::listObject;
    finder->table()->insertItem(0, row);
    row->release();
    NSUI::NSTableViewCell* cell = finder->table()->getCell(0);
    ASSERT_NE(cell, nullptr);
    Node* series = cell->getChildByTag(dcmFinder::kSeriesTag);
    EXPECT_EQ(static_cast<ui::Text*>(series->getChildByNameDeep("labelSeries"))->getString(), "Serie");
    EXPECT_EQ(static_cast<ui::Text*>(series->getChildByNameDeep("labelImages"))->getString(), "Bilder");
    finder->release();
    config->release();
  }
  Director::destroyInstance();
}

}  // namespace
