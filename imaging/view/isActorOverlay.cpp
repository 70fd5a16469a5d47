#include "imaging/view/isActorOverlay.h"

#include <algorithm>

#include "imaging/view/isNodeOverlay.h"
#include "imaging/view/isRenderWindow.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"
#include "toolkit/widgets/NSLayout.h"

namespace isImageSDK {

namespace {

NSUI::NSNotificationCenter* centre() { return NSUI::NSNotificationCenter::getInstance(); }

// Rows of the left-hand blocks pack from the left, those of the right-hand
// blocks from the right.
constexpr int kRowLeft = cocos2d::ui::Layout::ROW_LEFT;
constexpr int kRowRight = cocos2d::ui::Layout::ROW_RIGHT;

bool isLeftSlot(int slot) { return slot == 0 || slot == 2; }

// Relative codes of the edge letters: top, bottom, left, right centre.
constexpr int kEdgeCodes[4] = {2, 8, 4, 6};

// The key of the DICOM information that fills a field, or null.
const char* patientKey(int id) {
  switch (id) {
    case NOTIFY_OVERLAY_STUDY_ID: return "studyID";
    case NOTIFY_OVERLAY_SERIES_ID: return "seriesID";
    case NOTIFY_OVERLAY_HOSPITAL: return "hospital";
    case NOTIFY_OVERLAY_SERIES_TIME: return "seriesTime";
    case NOTIFY_OVERLAY_PATIENT: return "patient";
    case NOTIFY_OVERLAY_PATIENT_INFO: return "patientInfo";
    case NOTIFY_OVERLAY_IMAGE_DESC: return "imageDesc";
    default: return nullptr;
  }
}

}  // namespace

isActorOverlay::~isActorOverlay() { isActorOverlay::clear(); }

bool isActorOverlay::init() {
  isActorObject::init();
  fontSize = 30;
  rowHeight = 34;
  itemWidth = 100;
  itemsVisible = true;
  forgetItems();
  return true;
}

void isActorOverlay::attach(isRenderWindowBase* window) {
  isActorObject::attach(window);
  clearItems();
  auto* nc = centre();
  if (nc) nc->removeAllObservers(this);
  if (renderWindow && nc) {
    auto cb = [this](cocos2d::Ref* s, unsigned int i, NSUI::NSNotificationData* d) { onNotification(s, i, d); };
    nc->addObserver(this, renderWindow, cb, NOTIFY_OVERLAY_EDGE_LETTERS);
    nc->addObserver(this, renderWindow, cb, NOTIFY_DICOM_OVERLAY_INFO);
  }
  itemWidth = windowItemWidth();
  // A window that hides its content hides the overlay made for it too.
  itemsVisible = renderWindow ? renderWindow->isContentVisible() : true;
}

void isActorOverlay::clear() {
  isActorObject::clear();
  clearItems();
}

int isActorOverlay::windowItemWidth() const {
  if (!renderWindow) return itemWidth;
  const int half = static_cast<int>(renderWindow->getContentSize().width / 2.0f);
  return half < 1 ? 100 : half;
}

int isActorOverlay::cornerSlot(int align) {
  switch (align) {
    case kTopLeft: return 0;
    case kTopRight: return 1;
    case kBottomLeft: return 2;
    default: return 3;
  }
}

void isActorOverlay::forgetItems() {
  for (auto& corner : corners) corner = CornerRecord();
  items.clear();
  for (auto*& text : edgeTexts) text = nullptr;
}

void isActorOverlay::clearItems() {
  detach();
  forgetItems();
}

NSUI::NSLayout* isActorOverlay::makeRow(int slot) {
  CornerRecord& corner = corners[slot];
  NSUI::NSLayout* row = NSUI::NSLayout::create();
  if (!row) return nullptr;
  corner.rows.push_back(row);
  corner.currentRow = row;
  row->setLayoutType(isLeftSlot(slot) ? kRowLeft : kRowRight);
  row->setContentSize(cocos2d::Size(static_cast<float>(itemWidth), static_cast<float>(rowHeight)));
  corner.block->addChild(row);
  return row;
}

isActorOverlay::CornerRecord& isActorOverlay::getCornerBlock(int align) {
  const int slot = cornerSlot(align);
  CornerRecord& corner = corners[slot];
  bool made = false;
  if (!corner.block) {
    corner.block = NSUI::NSLayout::create();
    if (!corner.block) return corner;
    // The bottom-right block keeps the code it was asked with when the
    // window can align by it; anything else would leave it unplaced.
    const int code = (slot == 3 && (align < 1 || align > 9)) ? kBottomRight : align;
    corner.block->setRelativeLayoutParameter(code, "", cocos2d::ui::Margin::ZERO);
    made = true;
  }
  if (!corner.currentRow) {
    makeRow(slot);
    corner.rowIndex = 0;
  }
  if (made) {
    NSUI::NSLayout* block = corner.block;
    addNode(block);
    block->setZOrder(kBlockZOrder);
    block->setLayoutType(cocos2d::ui::Layout::VERTICAL);
    block->setContentSize(
        cocos2d::Size(static_cast<float>(itemWidth), static_cast<float>((corner.rowIndex + 1) * rowHeight)));
    block->setVisible(itemsVisible);
  }
  return corner;
}

isNodeOverlayText* isActorOverlay::addCornerText(int align, const std::string& value) {
  CornerRecord& corner = getCornerBlock(align);
  if (!corner.currentRow) return nullptr;
  isNodeOverlayText* text = isNodeOverlayText::create();
  if (!text) return nullptr;
  corner.currentRow->addChild(text);
  text->setRenderWindow(dynamic_cast<isRenderWindow*>(renderWindow));
  text->bindNotification(value, "", "", NOTIFY_OVERLAY_STATIC, false);
  text->setFontSize(static_cast<float>(fontSize));
  items.push_back(text);
  return text;
}

isNodeOverlaySprite* isActorOverlay::addTopRightButton() {
  CornerRecord& corner = getCornerBlock(kTopRight);
  if (!corner.currentRow) return nullptr;
  isNodeOverlaySprite* button = isNodeOverlaySprite::create();
  if (!button) return nullptr;
  corner.currentRow->addChild(button);
  button->setRenderWindow(dynamic_cast<isRenderWindow*>(renderWindow));
  button->setButtonSize(static_cast<float>(rowHeight));
  items.push_back(button);
  return button;
}

void isActorOverlay::addCornerRow(int align) {
  if (align != kTopLeft && align != kTopRight && align != kBottomLeft) return;
  const int slot = cornerSlot(align);
  CornerRecord& corner = corners[slot];
  // A row asked for before the corner's first item: the new block's first
  // row is that row.
  if (!corner.block) {
    getCornerBlock(align);
    return;
  }
  if (!makeRow(slot)) return;
  corner.rowIndex += 1;
  corner.block->setContentSize(
      cocos2d::Size(static_cast<float>(itemWidth), static_cast<float>((corner.rowIndex + 1) * rowHeight)));
}

cocos2d::Node* isActorOverlay::findItem(const std::string& name) const {
  for (int slot : {0, 2, 1, 3}) {
    if (!corners[slot].block) continue;
    if (cocos2d::Node* node = corners[slot].block->getChildByNameDeep(name)) return node;
  }
  return nullptr;
}

void isActorOverlay::setItemVisible(const std::string& name, bool shown) {
  if (cocos2d::Node* node = findItem(name)) node->setVisible(shown);
}

void isActorOverlay::setItemsVisible(bool shown) {
  itemsVisible = shown;
  for (auto* text : edgeTexts)
    if (text) text->setVisible(shown);
  for (int slot : {0, 2, 1, 3})
    if (corners[slot].block) corners[slot].block->setVisible(shown);
}

void isActorOverlay::updateLayout() {
  if (!renderWindow) return;
  itemWidth = windowItemWidth();
  // Four millimetres on the screen, within what stays legible and compact.
  fontSize = std::clamp(static_cast<int>(static_cast<float>(cocos2d::Device::getDPI()) * 4.0f / 25.4f), 20, 30);
  rowHeight = fontSize + 4;
  for (isNodeOverlay* item : items) {
    if (item->kind == 1) {
      if (auto* text = dynamic_cast<isNodeOverlayText*>(item)) text->setFontSize(static_cast<float>(fontSize));
    } else if (auto* button = dynamic_cast<isNodeOverlaySprite*>(item)) {
      button->setButtonSize(static_cast<float>(rowHeight));
    }
  }
  const cocos2d::Size rowSize(static_cast<float>(itemWidth), static_cast<float>(rowHeight));
  for (CornerRecord& corner : corners) {
    if (!corner.block) continue;
    corner.block->setContentSize(cocos2d::Size(rowSize.width, rowSize.height * static_cast<float>(corner.rows.size())));
    for (NSUI::NSLayout* row : corner.rows) row->setContentSize(rowSize);
  }
  for (auto* text : edgeTexts)
    if (text) text->setFontSize(static_cast<float>(fontSize));
}

void isActorOverlay::setOrientationLabels(const std::string& top, const std::string& bottom, const std::string& left,
                                          const std::string& right) {
  const std::string* letters[4] = {&top, &bottom, &left, &right};
  for (int edge = 0; edge < 4; ++edge) {
    isNodeOverlayText*& text = edgeTexts[edge];
    if (!text) {
      text = isNodeOverlayText::create();
      if (!text) continue;
      text->setRelativeLayoutParameter(kEdgeCodes[edge], "", cocos2d::ui::Margin::ZERO);
      addNode(text);
      text->setFontSize(static_cast<float>(fontSize));
      text->setZOrder(kBlockZOrder);
      text->setVisible(itemsVisible);
    }
    text->bindNotification(*letters[edge], "", "", NOTIFY_OVERLAY_STATIC, false);
  }
}

void isActorOverlay::setPatientInfo(const std::string& json) {
  for (isNodeOverlay* item : items) {
    if (item->kind != 1) continue;
    const char* key = patientKey(item->notificationId);
    if (!key) continue;
    if (auto* text = dynamic_cast<isNodeOverlayText*>(item)) text->showValue(NSUI::UIJson::getJsonString(json, key));
  }
}

void isActorOverlay::onNotification(cocos2d::Ref* /*sender*/, unsigned int id, NSUI::NSNotificationData* data) {
  const std::string text = data ? data->text : std::string();
  switch (id) {
    case NOTIFY_OVERLAY_EDGE_LETTERS: {
      using NSUI::UIJson;
      setOrientationLabels(UIJson::getJsonString(text, "t"), UIJson::getJsonString(text, "b"),
                           UIJson::getJsonString(text, "l"), UIJson::getJsonString(text, "r"));
      break;
    }
    case NOTIFY_DICOM_OVERLAY_INFO:
      setPatientInfo(text);
      break;
    default:
      break;
  }
}

}  // namespace isImageSDK
