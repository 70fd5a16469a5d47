// The multi-view: the widget that fills the viewer screen's image area with
// cells. Each cell pairs one viewer with the image data it shows: a viewer
// cell (a grid of 2-D image viewers, kinds 0-4) or a volume viewer (kinds 5
// and 6). The multi-view knows which cell has the focus and which cells are
// linked, answers the screen's queries about the focused cell and hands the
// screen's commands to its cells. Where cells go is decided by the layout
// manager, which calls addView with every cell's kind and rectangle.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "engine/ui/Layout.h"
#include "imaging/core/isImageData.h"
#include "imaging/core/isNodeObject.h"
#include "imaging/core/isObject.h"
#include "imaging/viewers/isViewer.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSNotificationCenter.h"

namespace isImageSDK {

class isViewerBrowser;
class isViewerImage;
class isViewerVR;

// One cell: the viewer and the data it shows. The viewer is held through
// retainViewer / releaseViewer, both data retained.
class KeyViewProperty : public isObject {
 public:
  // Autoreleased; null when init fails.
  static KeyViewProperty* create();
  ~KeyViewProperty() override;

  // Releases both data and the viewer and forgets them.
  void clear() override;
  // Id -1, empty name, no data, no second data, no viewer.
  bool init() override;

  // Releases the old viewer, keeps and retains the new one.
  void setViewer(isViewer* viewer);
  isViewer* getViewer() const { return viewer; }
  // The viewer's kind; 7 without a viewer.
  int getViewKind() const;
  // The key of the cell's data (see cellKey).
  uint32_t getKey() const;

  // Reference id of the data plus 1,000,000 times that of the second data
  // when there is one, in unsigned 32-bit arithmetic (it wraps).
  static uint32_t cellKey(uint32_t dataId, uint32_t secondDataId);
  static uint32_t cellKey(isImageData* data, isImageData* secondData);

  isImageData* imageData = nullptr;        // retained
  isImageData* secondImageData = nullptr;  // retained; part of the key

 protected:
  KeyViewProperty() = default;

  isViewer* viewer = nullptr;  // held through retainViewer
};

class isViewerMulti : public cocos2d::ui::Layout, public isNodeObject, public NSUI::UIJson {
 public:
  // Autoreleased; null when init fails.
  static isViewerMulti* create();
  ~isViewerMulti() override;

  // Registers the observers; black background until the first cell.
  bool init() override;
  // Removes every observer for good, empties the cells (focus cleared) and
  // sets the clear colour back to black.
  void cleanup() override;
  // The light grey-blue clear colour behind the cells.
  void onEnterTransitionDidFinish() override;

  // Commands and notifications. The screen calls handleCommand (no sender);
  // observed notifications arrive through onNotification.
  virtual void handleNotification(unsigned int id, NSUI::NSNotificationData* data, cocos2d::Ref* sender);
  virtual void handleCommand(unsigned int id, NSUI::NSNotificationData* data);
  virtual void handleCommandInt(unsigned int id, int value);
  virtual void handleCommandFloat(unsigned int id, float value);
  // The multi-view's ids, each observed with the multi-view as object.
  virtual void registerNotifications();
  virtual void onNotification(cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data);

  // The ids registerNotifications observes, in registration order.
  static const std::vector<int>& observedIds();

  // Adds one cell of the kind in rect (the multi-view's own coordinates)
  // showing data. Nothing for null data, a kind above 6, or (kinds 1-6) data
  // that is not a volume. The first cell of an empty multi-view takes the
  // focus.
  void addView(unsigned int kind, bool linked, const cocos2d::Rect& rect, isImageData* data);
  // Withdraws the deliveries queued for the multi-view, takes every cell's
  // viewer off the screen, releases the cells and clears the focus.
  void removeAllViews();

  // The cell of a viewer, searched under the key of the viewer's current
  // data only; null without one.
  KeyViewProperty* findCell(isViewer* viewer);
  // For a linked cell: the first linked 2-D cell (kinds 0-4) in map order.
  KeyViewProperty* findLinkPartner(KeyViewProperty* cell);
  // Copies slice position, pan and zoom of reference to a linked target.
  void syncCell(KeyViewProperty* target, KeyViewProperty* reference, bool slice, bool zoom, bool pan);

  // Linked sets, in map order (ascending key, then insertion order). An
  // unlinked source gives the source alone; otherwise the cells that pass
  // the test among those whose viewer is linked and the source itself.
  void collectLinked(KeyViewProperty* source, std::vector<KeyViewProperty*>& out);
  void collectLinkedSameKind(KeyViewProperty* source, std::vector<KeyViewProperty*>& out);
  void collectLinkedPlanes(KeyViewProperty* source, std::vector<KeyViewProperty*>& out);
  void collectLinkedOrthogonal(KeyViewProperty* source, std::vector<KeyViewProperty*>& out);
  void collectLinkedSameData(KeyViewProperty* source, isImageData* data, std::vector<KeyViewProperty*>& out);
  void collectLinkedFused(KeyViewProperty* source, isImageData* data, std::vector<KeyViewProperty*>& out);
  // Every cell of the kind whose viewer is linked.
  void collectLinkedOfKind(int kind, std::vector<KeyViewProperty*>& out);

  // Queries and setters of the screen. Each answers false (0, "") and
  // writes nothing when there is no focused cell or nothing to report.
  int getFocusedViewKind();
  // The focused view's rectangle in the multi-view's parent space.
  bool getFocusedViewRect(cocos2d::Rect& rect);
  void setWindowLevel(float width, float level);
  bool getFocusedWindowLevel(float& width, float& level);
  // info[0] slice index, info[1] slice count of the plane (-1 when the
  // image actor has no data or is not in plane mode).
  bool getFocusedSliceInfo(int* info);
  std::string getFocusedFilePath();
  // Every cell shows frame n of its 4-D series.
  void setPhase(int n);

  // The one place where the multi-view's viewers come to be: a viewer cell
  // (kinds 0-4, the multi-view its owner, grid laid out) or a volume viewer
  // (kinds 5 and 6, the multi-view its relay target), sized and placed by
  // rect and added as a child. Null for any other kind.
  isViewer* createViewer(int kind, const cocos2d::Rect& rect);
  // Viewers made by createViewer so far.
  int getCreatedViewerCount() const { return createdViewers; }

  KeyViewProperty* getFocusedCell() const { return focusedCell; }
  int getCellCount() const;

  // Cell key → cells showing that data, in insertion order.
  std::map<uint32_t, cocos2d::Vector<KeyViewProperty*>> cells;

 protected:
  isViewerMulti() = default;

  // Appends a finished cell under its key; the first cell of an empty
  // multi-view takes the focus.
  void storeCell(KeyViewProperty* cell);
  // Releases every cell; the focus goes with them.
  void releaseCells();
  template <class Test>
  void collect(KeyViewProperty* source, Test test, std::vector<KeyViewProperty*>& out);

  // The volume cells' part of the queries (defined with the volume viewer).
  isViewer* createVolumeViewer(int kind, const cocos2d::Rect& rect);
  bool volumeViewRect(isViewerVR* viewer, cocos2d::Rect& rect);
  bool volumeWindowLevel(isViewerVR* viewer, float& width, float& level);
  void volumeSetWindow(isViewerVR* viewer, float width, float level);
  std::string volumeFilePath(isViewerVR* viewer);
  void volumeSetPhase(isViewerVR* viewer, int n);
  static isViewerVR* asVolumeViewer(isViewer* viewer);

  // The dispatcher's parts (isViewerMultiDispatch.cpp).
  // The cell a command acts on: the cell of a sending viewer, the focused
  // cell otherwise; null when there is none (the command is ignored).
  KeyViewProperty* commandTarget(cocos2d::Ref* sender);
  // A command carried out by one cell, with the multi-view as sender: the
  // viewer cell's router or the volume viewer's command entry.
  virtual void handDown(KeyViewProperty* cell, unsigned int id, NSUI::NSNotificationData* data);
  // Hands the command to every member of a set for which keep(member) holds.
  template <class Keep>
  void handToSet(const std::vector<KeyViewProperty*>& set, unsigned int id, NSUI::NSNotificationData* data,
                 Keep keep);
  // To the screen the multi-view sits on (the broadcast channel without a
  // parent), the multi-view as sender.
  void postToParent(unsigned int id, NSUI::NSNotificationData* data, bool immediate);
  // Tells the screen whether the focused or converted cell is a volume cell.
  void postToolsRelayout(bool volume);
  // The conversion refused: a window of the cell is maximised.
  void refuseWhileMaximised();

  void dispatchSliceStep(KeyViewProperty* target, unsigned int id, NSUI::NSNotificationData* data);
  void dispatchPlaneKind(KeyViewProperty* target, unsigned int id);
  void dispatchVolumeKind(KeyViewProperty* target, unsigned int id);
  void dispatchWindow(KeyViewProperty* target, unsigned int id, NSUI::NSNotificationData* data);
  void dispatchTool(KeyViewProperty* target, unsigned int id, NSUI::NSNotificationData* data);
  void dispatchRemoveROI(KeyViewProperty* target);
  void dispatchSync(KeyViewProperty* target, unsigned int id, NSUI::NSNotificationData* data);
  void dispatchFocus(KeyViewProperty* target);

  // Replace the viewer of one cell record in place (key, place in cells and
  // focus stay): a viewer cell becomes a volume viewer of kind 5 or 6, a
  // volume viewer a viewer cell of kind 1-3. Position, size, window and (to
  // the volume) colour table go across; the new viewer keeps the old one's
  // linked flag.
  void toVolumeCell(KeyViewProperty* cell, int kind);
  void toSliceCell(KeyViewProperty* cell, int kind);

  // The focal point of an image viewer (where its reference lines cross);
  // zero without an image actor.
  static cocos2d::Vec3 focalPointOf(isViewerImage* viewer);
  // The cell's viewer as a viewer cell, or null.
  static isViewerBrowser* asViewerCell(KeyViewProperty* cell);

  KeyViewProperty* focusedCell = nullptr;  // not retained; one of cells
  int createdViewers = 0;
};

}  // namespace isImageSDK
