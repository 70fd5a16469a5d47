#include "app/viewer/dcmInfoList.h"

#include <cstring>

#include "dcmsdk/dcmSDK.h"
#include "toolkit/foundation/AppConfig.h"
#include "toolkit/foundation/NSNotificationCenter.h"

USING_NS_CC;

namespace {

template <class T>
T* child(Node* root, const std::string& name) {
  return root ? dynamic_cast<T*>(root->getChildByNameDeep(name)) : nullptr;
}

void translate(Node* node) {
  if (auto* config = AppConfig::getInstance()) config->translateNode(node, "");
}

int currentLanguage() {
  auto* app = Application::getInstance();
  return app ? static_cast<int>(app->getCurrentLanguage()) : 0;
}

}  // namespace

dcmInfoList::listObject* dcmInfoList::listObject::create(std::string tag, std::string intro, std::string value) {
  auto* row = new listObject();
  row->tag = std::move(tag);
  row->intro = std::move(intro);
  row->value = std::move(value);
  row->autorelease();
  return row;
}

// ------------------------------------------------------------------ window

NSUI::NSResponseWindow* dcmInfoList::createWindow() {
  auto* window = NSUI::NSResponseWindow::create();
  if (!window) return nullptr;
  window->enableAndroidReturnKey(true);
  auto* viewer = dcmInfoList::create();
  if (!viewer) return window;
  viewer->setupList();
  window->addChild(viewer);
  window->placePanel(viewer->panel);
  return window;
}

dcmInfoList::~dcmInfoList() {
  if (link) link->viewer = nullptr;
  // A viewer that was never cleaned up still outlives its worker.
  waitDone();
}

bool dcmInfoList::init() {
  if (!Node::init()) return false;
  filePath.clear();
  loadPending = true;
  link = std::make_shared<Link>();
  link->viewer = this;
  setName("dcmInfo");
  if (Node* loaded = CSLoader::createNode(kPanelName)) {
    loaded->setName(kPanelName);
    addChild(loaded);
    panel = loaded;
  }
  return true;
}

void dcmInfoList::setupList() {
  if (panel) translate(panel);
  highlightEnabled = false;
  Node* place = panel ? panel->getChildByNameDeep("dcmList") : nullptr;
  if (place) {
    tagTable = NSUI::NSListView::create();
    tagTable->setContentSize(place->getContentSize());
    tagTable->setAnchorPoint(place->getAnchorPoint());
    tagTable->setPosition(place->getPosition());
    place->getParent()->addChild(tagTable, place->getLocalZOrder());
    place->setVisible(false);
    tagTable->maxInertiaSpeed = kMaxInertiaSpeed;
    tagTable->delegate = this;
    tagTable->reloadData();
  }
  if (auto* back = child<ui::Button>(panel, "btn_back"))
    back->addClickEventListener([this](Ref* sender) { onButtonClicked(sender); });
}

void dcmInfoList::onEnterTransitionDidFinish() {
  Node::onEnterTransitionDidFinish();
  if (!loadPending) return;
  loadPending = false;
  startReading();
}

void dcmInfoList::startReading() {
  std::weak_ptr<Link> weak = link;
  NSUI::NSRunableThread::create([this](void*) { readTags(); }, nullptr, this, [weak] {
    auto l = weak.lock();
    if (l && l->viewer) l->viewer->showTags();
  });
}

void dcmInfoList::cleanup() {
  waitDone();
  Node::cleanup();
  if (auto* center = NSUI::NSNotificationCenter::getInstance()) center->removeAllObservers(this);
  tagRecords.clear();
  // A completion still queued finds no viewer.
  if (link) link->viewer = nullptr;
}

void dcmInfoList::onButtonClicked(Ref* sender) {
  auto* button = dynamic_cast<Node*>(sender);
  if (!button || button->getName() != "btn_back") return;
  NSUI::NSResponseWindow::closeHolding(this);
}

// ------------------------------------------------------------------ reading

void dcmInfoList::readTags() {
  if (filePath.size() < 3) return;
  dcmSDK::dcmReadTag reader;
  reader.setLanguage(currentLanguage());
  if (!reader.setFile(filePath.c_str())) return;
  int count = 0;
  dcmSDK::DicomTags** list = reader.getTagList(count);
  if (!list) return;
  // The reader's records go with it: the rows keep copies.
  tagRecords.reserve(tagRecords.size() + static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    const dcmSDK::DicomTags* r = list[i];
    if (!r) continue;
    auto text = [](const char* field, size_t size) { return std::string(field, strnlen(field, size)); };
    tagRecords.push_back(TagRecord{text(r->tag, sizeof r->tag), text(r->value, sizeof r->value),
                                   text(r->description, sizeof r->description), r->isPrivate != 0});
  }
}

std::string dcmInfoList::shortIntro(const std::string& description) {
  if (description.size() <= kIntroBytes) return description;
  // Back off continuation bytes (10xxxxxx): the cut falls before the lead
  // byte of a character that does not fit whole.
  size_t cut = kIntroBytes;
  while (cut > 0 && (static_cast<unsigned char>(description[cut]) & 0xC0) == 0x80) --cut;
  return description.substr(0, cut);
}

void dcmInfoList::showTags() {
  if (filePath.size() < 3 || !tagTable) return;
  for (bool privatePass : {false, true})
    for (const TagRecord& r : tagRecords)
      if (r.isPrivate == privatePass)
        tagTable->insertRow(tagTable->getRowCount(), listObject::create(r.tag, shortIntro(r.description), r.value));
}

// ------------------------------------------------------------------ rows

Size dcmInfoList::tableCellSizeForIndex(NSUI::NSTableView* table, int64_t, Ref*) {
  return Size(table ? table->getContentSize().width : getContentSize().width, kRowHeight);
}

NSUI::NSTableViewCell* dcmInfoList::tableCellAtIndex(NSUI::NSTableView* table, int64_t row, const Size& cellSize) {
  if (!table || row < 0 || row >= table->getRowCount()) return nullptr;
  auto* data = dynamic_cast<listObject*>(table->getRows().at(row));
  if (!data) return nullptr;
  NSUI::NSTableViewCell* cell = table->cellAtIndex(row);
  if (!cell) cell = table->dequeueCell();
  if (!cell) {
    cell = NSUI::NSTableViewCell::create();
    if (Node* layout = CSLoader::createNode(kRowLayoutName)) {
      layout->setContentSize(cellSize);
      ui::Helper::doLayout(layout);
      translate(layout);
      layout->setTag(kRowLayoutTag);
      cell->addChild(layout);
    }
  }
  cell->setContentSize(cellSize);
  if (Node* layout = cell->getChildByTag(kRowLayoutTag)) {
    if (layout->getContentSize().width != cellSize.width) {
      layout->setContentSize(cellSize);
      ui::Helper::doLayout(layout);
    }
    auto* intro = child<ui::Text>(layout, "intro");
    if (auto* t = child<ui::Text>(layout, "tag")) {
      t->setString(data->tag);
      // Tags deep in sequences (">>>(gggg,eeee)") are narrowed to end before
      // the description.
      t->setScale(1.0f);
      const float room = intro ? intro->getPositionX() - t->getPositionX() - 6.0f : 0.0f;
      const float width = t->getContentSize().width;
      if (room > 0 && width > room) t->setScaleX(room / width);
    }
    if (intro) intro->setString(data->intro);
    if (auto* t = child<ui::Text>(layout, "value")) t->setString(data->value);
  }
  return cell;
}
