// The texts and buttons over one render window: four corner blocks of rows
// (top-left, top-right, bottom-left, bottom-right), the orientation letter
// at the centre of each edge, and the patient and study fields that arrive
// with the DICOM information of the image. The viewer decides what goes
// where; this actor makes the nodes, places them and keeps their sizes in
// step with the window and the screen's pixel density.
//
// A block is a vertical layout of rows, aligned in the window by its corner
// code; a row packs its items from the left (left blocks) or the right
// (right blocks). Blocks and edge letters are the actor's child nodes;
// rows and items live inside the blocks.
#pragma once

#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "imaging/view/isActorObject.h"

namespace NSUI {
class NSLayout;
class NSNotificationData;
}  // namespace NSUI

namespace isImageSDK {

class isNodeOverlay;
class isNodeOverlayText;
class isNodeOverlaySprite;

class isActorOverlay : public isActorObject {
 public:
  // Corner codes: the window's relative alignments.
  static constexpr int kTopLeft = 1;
  static constexpr int kTopRight = 3;
  static constexpr int kBottomLeft = 7;
  static constexpr int kBottomRight = 9;

  // One corner: its block, its rows in order and the row new items go to.
  struct CornerRecord {
    int rowIndex = 0;
    NSUI::NSLayout* block = nullptr;
    std::vector<NSUI::NSLayout*> rows;
    NSUI::NSLayout* currentRow = nullptr;
  };

  // The four edge letters, in this order.
  enum Edge { kEdgeTop = 0, kEdgeBottom = 1, kEdgeLeft = 2, kEdgeRight = 3 };

  CREATE_FUNC(isActorOverlay)
  ~isActorOverlay() override;

  void clear() override;
  bool init() override;
  // Drops any items, observes the window's edge letters (9070) and DICOM
  // information (9084), and takes half the window's width as item width.
  void attach(isRenderWindowBase* window) override;

  // 1 top-left, 3 top-right, 7 bottom-left, any other code bottom-right.
  // Makes the block and its first row on first use.
  CornerRecord& getCornerBlock(int align);
  // A static text in the current row of the corner; the caller usually
  // binds it again with its own id, prefix and suffix.
  isNodeOverlayText* addCornerText(int align, const std::string& value);
  isNodeOverlayText* addTopLeftText(const std::string& value) { return addCornerText(kTopLeft, value); }
  isNodeOverlayText* addTopRightText(const std::string& value) { return addCornerText(kTopRight, value); }
  isNodeOverlayText* addBottomLeftText(const std::string& value) { return addCornerText(kBottomLeft, value); }
  // A cine button in the current top-right row, one row high; bound by the
  // caller.
  isNodeOverlaySprite* addTopRightButton();
  // A new current row in the block of code 1, 3 or 7 (the block exists
  // already); other codes do nothing.
  void addCornerRow(int align);
  void addBottomLeftRow() { addCornerRow(kBottomLeft); }

  // The first node of that name in the top-left, bottom-left, top-right and
  // bottom-right blocks, in that order; null when there is none.
  cocos2d::Node* findItem(const std::string& name) const;
  void setItemVisible(const std::string& name, bool shown);
  // Edge letters and blocks; the render window follows its own visibility
  // with it. Items made later take the same state.
  void setItemsVisible(bool shown);
  // Takes the nodes out of the window and forgets blocks, rows, items and
  // edge letters (the actor still holds the nodes until clear).
  void clearItems();
  // Item width from the window, font from the screen density (4 mm,
  // 20 to 30 points), rows 4 pixels taller than the font.
  void updateLayout();

  void setOrientationLabels(const std::string& top, const std::string& bottom, const std::string& left,
                            const std::string& right);
  // Fills the study, series, hospital, time, patient and description fields
  // from the JSON text; an absent key empties its field.
  void setPatientInfo(const std::string& json);
  void onNotification(cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data);

  // The corner record of a code (as getCornerBlock maps it), without making
  // anything.
  const CornerRecord& getCorner(int align) const { return corners[cornerSlot(align)]; }
  isNodeOverlayText* getEdgeText(Edge edge) const { return edgeTexts[edge]; }
  const std::vector<isNodeOverlay*>& getItems() const { return items; }
  int getItemWidth() const { return itemWidth; }
  int getFontSize() const { return fontSize; }
  int getRowHeight() const { return rowHeight; }
  bool areItemsVisible() const { return itemsVisible; }

  static constexpr int kBlockZOrder = 100;

 protected:
  isActorOverlay() = default;
  // Slots: 0 top-left, 1 top-right, 2 bottom-left, 3 bottom-right.
  static int cornerSlot(int align);
  NSUI::NSLayout* makeRow(int slot);
  void forgetItems();
  int windowItemWidth() const;

  CornerRecord corners[4];
  std::vector<isNodeOverlay*> items;         // not retained: children of the rows
  isNodeOverlayText* edgeTexts[4] = {};      // in the child-node list
  int itemWidth = 100;
  int fontSize = 30;
  int rowHeight = 34;
  bool itemsVisible = true;
};

}  // namespace isImageSDK
