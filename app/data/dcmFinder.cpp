#include "app/data/dcmFinder.h"

#include <chrono>
#include <thread>

#include "app/online/statApplication.h"
#include "toolkit/foundation/AppConfig.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/widgets/NSMessageBox.h"
#include "toolkit/widgets/NSTextField.h"

USING_NS_CC;

namespace {

constexpr const char* kFormFile = "dcmFind.csb";
constexpr const char* kStudyFile = "dcmFindPatient.csb";
constexpr const char* kSeriesFile = "dcmFindSeries.csb";
constexpr const char* kTextPrefix = "dcmfind.";
constexpr int kTableZOrder = 100;
constexpr int kDownloadZOrder = 100;
constexpr float kMaxInertiaSpeed = 4000.0f;
constexpr int kSearchEvent = 18;

const Color3B kPatientTextColour(44, 44, 44);

}  // namespace

// ---------------------------------------------------------------- button looks

dcmFinder::DownloadLook dcmFinder::downloadLook(const listObject& row) {
  if (row.running) return DownloadLook::Running;
  if (row.requested) return DownloadLook::Requested;
  return DownloadLook::Idle;
}

void dcmFinder::applyDownloadLook(ui::Button* button, DownloadLook look) {
  if (!button) return;
  Action* blink = button->getActionByTag(kBlinkTag);
  if (look == DownloadLook::Idle) {
    if (blink) button->stopAction(blink);
    button->setOpacity(255);
    button->setColor(Color3B::WHITE);
    return;
  }
  if (!blink) {
    auto* forever = RepeatForever::create(
        Sequence::create(FadeOut::create(kBlinkHalfPeriod), FadeIn::create(kBlinkHalfPeriod), nullptr));
    forever->setTag(kBlinkTag);
    button->runAction(forever);
  }
  button->setColor(look == DownloadLook::Running ? Color3B::RED : Color3B::WHITE);
}

// ---------------------------------------------------------------- creation

dcmFinder::dcmFinder(dcmModelCalls calls) : model_(std::move(calls)) {}

dcmFinder::~dcmFinder() { model_.close(); }

dcmFinder* dcmFinder::create(dcmModelCalls calls) {
  auto* finder = new (std::nothrow) dcmFinder(std::move(calls));
  if (!finder || !finder->init()) {
    delete finder;
    return nullptr;
  }
  finder->autorelease();
  finder->setupForm();
  return finder;
}

NSUI::NSResponseWindow* dcmFinder::createWindow() {
  auto* window = NSUI::NSResponseWindow::create();
  if (!window) return nullptr;
  window->enableAndroidReturnKey();
  dcmFinder* finder = create();
  if (!finder) return window;
  window->addChild(finder);
  window->placePanel(finder->form());
  return window;
}

bool dcmFinder::init() {
  if (!Node::init()) return false;
  // Rows, states and messages come from the model; its events keep the
  // table in step (row indices are the model's, which the table mirrors).
  model_.events.inserted = [this](int index) {
    if (table_) table_->insertItem(index, model_.rows()[index]);
    if (model_.rows()[index]->isStudy) updateHelp();
  };
  model_.events.removed = [this](int index) {
    if (table_) table_->removeRow(index);
  };
  model_.events.updated = [this](int index) {
    if (table_) table_->updateCellSizeAtIndex(index);
  };
  model_.events.message = [](const std::string& text, float seconds) { NSUI::showMessageBox(text, seconds); };

  form_ = CSLoader::createNode(kFormFile);
  if (form_) {
    form_->setName(kFormFile);
    setContentSize(form_->getContentSize());
    addChild(form_);
  }
  // Reads the saved node into the form texts and listens to 2011, 2012,
  // 2004 and 2005 from any sender.
  model_.open();
  return true;
}

void dcmFinder::onEnterTransitionDidFinish() { Node::onEnterTransitionDidFinish(); }

void dcmFinder::cleanup() {
  // No worker runs for this screen, so this returns at once.
  while (!isDone()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  Node::cleanup();
  model_.close();
  if (auto* centre = NSUI::NSNotificationCenter::getInstance()) centre->removeAllObservers(this);
}

// ---------------------------------------------------------------- the form

void dcmFinder::setupForm() {
  if (!form_) return;
  if (auto* config = AppConfig::getInstance()) config->translateNode(form_, kTextPrefix);

  const Size layout = form_->getContentSize();
  table_ = NSUI::NSListView::create();
  if (table_) {
    table_->setContentSize(Size(layout.width - 20, layout.height - kFormHeight));
    table_->setAnchorPoint(Vec2::ANCHOR_BOTTOM_LEFT);
    table_->setPosition(Vec2(10, 0));
    table_->maxInertiaSpeed = kMaxInertiaSpeed;
    table_->delegate = this;
    highlightEnabled = false;
    form_->addChild(table_, kTableZOrder);
    table_->reloadData();
  }

  for (const char* name : {"btn_back", "btnSearch"}) {
    auto* button = dynamic_cast<ui::Button*>(form_->getChildByNameDeep(name));
    if (!button) continue;
    button->addClickEventListener([this](Ref* sender) { onButton(sender); });
    if (std::string(name) == "btnSearch") button->setPressedActionEnabled(true);
  }

  NSUI::NSTextField* ip = replaceField("editIP", false);
  NSUI::NSTextField* port = replaceField("editPort", false);
  NSUI::NSTextField* title = replaceField("editTitle", false);
  replaceField("editPatient", true);
  if (ip) ip->_inputMode = NSUI::NSTextField::INPUT_DOTTED_DIGITS;
  if (port) port->_inputMode = NSUI::NSTextField::INPUT_DIGITS;
  if (ip && !model_.formIP.empty()) ip->insertString(model_.formIP);
  if (port && !model_.formPort.empty()) port->insertString(model_.formPort);
  if (title && !model_.formTitle.empty()) title->insertString(model_.formTitle);
  updateHelp();
}

NSUI::NSTextField* dcmFinder::replaceField(const std::string& name, bool framed) {
  auto* marker = dynamic_cast<ui::TextField*>(form_->getChildByNameDeep(name));
  if (!marker) return nullptr;
  Node* parent = marker->getParent();
  // The placeholder in the user's language when the table has one (the
  // form's markers are not relabelled themselves).
  std::string placeholder = marker->getPlaceHolder();
  if (auto* config = AppConfig::getInstance()) {
    const std::string translated = config->getLocalizedString(kTextPrefix + name);
    if (!translated.empty()) placeholder = translated;
  }
  const int fontSize = static_cast<int>(marker->getFontSize());
  const Vec2 position = marker->getPosition() + Vec2(0, 2);
  NSUI::NSTextField* field = nullptr;
  if (framed) {
    field = NSUI::NSTextField::create(placeholder, marker->getContentSize());
    if (field) {
      field->setAnchorPoint(marker->getAnchorPoint());
      field->setPosition(position);
      field->_fontSize = fontSize;
      field->_placeholderFontSize = fontSize;
      field->_textColor = kPatientTextColour;
      field->setPlaceHolder(placeholder);
    }
  } else {
    field = createTextField(placeholder, position, fontSize, marker->getAnchorPoint());
  }
  if (!field) return nullptr;
  field->setName(name);
  parent->addChild(field, marker->getLocalZOrder());
  if (framed) field->createFrame();
  marker->removeFromParent();
  return field;
}

std::string dcmFinder::fieldText(const std::string& name) const {
  auto* field = form_ ? dynamic_cast<NSUI::NSTextField*>(form_->getChildByNameDeep(name)) : nullptr;
  return field ? field->getString() : std::string();
}

void dcmFinder::updateHelp() {
  if (Node* help = form_ ? form_->getChildByNameDeep("help") : nullptr) help->setVisible(model_.helpVisible());
}

// ---------------------------------------------------------------- input

void dcmFinder::onButton(Ref* sender) {
  auto* button = dynamic_cast<ui::Button*>(sender);
  if (!button) return;
  const std::string& name = button->getName();
  if (name == "btn_back") {
    NSUI::NSResponseWindow::closeHolding(this);
  } else if (name == "btnSearch") {
    if (model_.search(fieldText("editIP"), fieldText("editPort"), fieldText("editTitle"), fieldText("editPatient")))
      statApplication::getInstance()->addStat(kSearchEvent, "");
  } else if (name == "btnDownload") {
    if (auto* row = dynamic_cast<listObject*>(button->getUserObject())) model_.download(row);
  }
}

void dcmFinder::onNotification(Ref*, unsigned int id, NSUI::NSNotificationData* data) {
  model_.onNotification(id, data);
}

// ---------------------------------------------------------------- table

Size dcmFinder::tableCellSizeForIndex(NSUI::NSTableView*, int64_t, Ref* rowData) {
  auto* row = dynamic_cast<listObject*>(rowData);
  return Size(getContentSize().width, row && row->isStudy ? kStudyRowHeight : kSeriesRowHeight);
}

NSUI::NSTableViewCell* dcmFinder::tableCellAtIndex(NSUI::NSTableView* table, int64_t row, const Size&) {
  NSUI::NSTableViewCell* cell = table->cellAtIndex(row);
  if (!cell) cell = table->dequeueCell();
  if (!cell) {
    cell = NSUI::NSTableViewCell::create();
    auto* config = AppConfig::getInstance();
    for (auto [file, tag] : {std::pair{kSeriesFile, kSeriesTag}, std::pair{kStudyFile, kStudyTag}}) {
      Node* part = CSLoader::createNode(file);
      if (!part) continue;
      part->setTag(tag);
      part->setAnchorPoint(Vec2::ANCHOR_BOTTOM_LEFT);
      part->setPosition(Vec2::ZERO);
      part->setVisible(false);
      if (config) config->translateNode(part, kTextPrefix);
      cell->addChild(part);
    }
    if (auto* download = dynamic_cast<ui::Button*>(cell->getChildByNameDeep("btnDownload"))) {
      download->setLocalZOrder(kDownloadZOrder);
      download->setPressedActionEnabled(true);
      download->addClickEventListener([this](Ref* sender) { onButton(sender); });
    }
  }
  const auto& rows = table->getRows();
  if (row >= 0 && row < static_cast<int64_t>(rows.size()))
    configureCell(cell, dynamic_cast<listObject*>(rows.at(static_cast<ssize_t>(row))));
  return cell;
}

void dcmFinder::configureCell(NSUI::NSTableViewCell* cell, listObject* row) {
  if (!row) return;
  Node* series = cell->getChildByTag(kSeriesTag);
  Node* study = cell->getChildByTag(kStudyTag);
  Node* shown = row->isStudy ? study : series;
  if (series) series->setVisible(!row->isStudy);
  if (study) study->setVisible(row->isStudy);
  if (!shown) return;
  for (const auto& [name, text] : dcmFinderModel::cellTexts(*row))
    if (auto* label = dynamic_cast<ui::Text*>(shown->getChildByNameDeep(name))) label->setString(text);
  if (!row->isStudy) {
    // A node that does not report the image count leaves no dangling unit.
    if (Node* unit = shown->getChildByNameDeep("labelImages")) unit->setVisible(!row->imageCount.empty());
    if (auto* download = dynamic_cast<ui::Button*>(shown->getChildByNameDeep("btnDownload"))) {
      download->setUserObject(row);
      applyDownloadLook(download, downloadLook(*row));
    }
  } else if (series) {
    // A cell that showed a series before keeps no blinking under the study.
    if (auto* download = dynamic_cast<ui::Button*>(series->getChildByNameDeep("btnDownload"))) {
      download->setUserObject(nullptr);
      applyDownloadLook(download, DownloadLook::Idle);
    }
  }
}
