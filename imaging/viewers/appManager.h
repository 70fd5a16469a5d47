// The layout and hanging-protocol manager: turns the image data of a viewer
// screen into the cells of a multi-view, knows the eight layouts by id and
// name, reads the hanging protocols from "protocal/protocal.xml" and tells
// which of them fit a set of series.
//
// The statics answer the questions that need no multi-view: layout ids, the
// protocol list and its filter, and the orientation class of a slice. A
// manager object owns one multi-view and lays out its data in it; the cell
// geometry of every layout is in appLayouts.h.
#pragma once

#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "imaging/core/ProtocalList.h"
#include "imaging/viewers/appLayouts.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSNotificationCenter.h"

namespace isImageSDK {

struct SliceRecord;

// What the protocol filter judges a set of series by. The viewer screen
// fills it from its loaded data, the study browser from the rows of one
// series.
struct SeriesSummary {
  int seriesCount = 0;
  int imageCount = 0;
  bool isVolume = false;  // the data forms a volume
  bool is4D = false;      // the data is a multi-frame (4-D) set
};

// Where the protocol list is read from, through the engine's search paths.
constexpr const char* kProtocolFile = "protocal/protocal.xml";

class isImageData;
class isViewerMulti;

class appManager : public cocos2d::Ref, public NSUI::UIJson {
 public:
  // A new manager (zero rectangle, empty list), autoreleased; null when init
  // fails.
  static appManager* create();
  ~appManager() override;

  // Zero rectangle, no multi-view, layout 0, no relay target; observes 9114
  // addressed to the manager.
  virtual bool init();
  // Releases the multi-view and forgets it; releases and forgets the data.
  // The layout id and the rectangle stay.
  virtual void clear();

  // The multi-view, null before the first data was shown.
  isViewerMulti* getViewerMulti() const { return viewerMulti; }
  // The current layout id, 0 for none.
  int getLayout() const { return layoutId; }
  const std::vector<isImageData*>& getImageDataList() const { return imageDataList; }
  const cocos2d::Rect& getViewRect() const { return viewRect; }

  // Where 9114 is passed on (serial queue, the manager as sender) before the
  // manager switches layout; not retained. The viewer screen sets itself.
  void setRelayTarget(cocos2d::Ref* target) { relayTarget = target; }
  cocos2d::Ref* getRelayTarget() const { return relayTarget; }

  // Several series side by side ("compare2d"). The multi-view is created at
  // the rectangle on first use (z order -100); an existing one keeps its
  // size and place.
  void setImageDataList(const std::vector<isImageData*>& list, const cocos2d::Rect& rect);
  // One data in layout `id`. Data that is not a volume always gets one
  // acquired-slice cell and layout 6.
  void setImageData(isImageData* data, const cocos2d::Rect& rect, int id);
  // With a multi-view: the list becomes [data] and layout 6 is shown.
  void replaceImageData(isImageData* data);
  // Rebuilds the cells for layout `id`. Nothing without a multi-view or
  // data. Switches phase mode on for every 4-D set shown; the compare
  // layouts switch it off on the data they show.
  void setLayout(int id);

  // The phase of the one 4-D series shown: -1 unless the list holds exactly
  // one data of a 4-D set; its current frame index in phase mode, else 0.
  int getPhaseIndex() const;
  // False unless the list holds exactly one data of a 4-D set; then true
  // when its phase mode is off, else whether a later frame exists.
  bool hasNextPhase() const;

  // 9114 (a layout name in the payload text): passed on to the relay
  // target first, then the named layout is shown when it is known and not
  // the current one.
  virtual void onNotification(cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data);

  // The id of a layout name by exact, case-sensitive comparison: "2dview" 1,
  // "browser2d" 2, "mpr3d" 3, "mpr" 4, "mpr2" 5, "2dslice" 6, "compare2d" 7,
  // "compare4d" 8; any other name, "" included, 0.
  static int getLayoutId(const std::string& name);

  // The process-wide protocol list, in file order. While it is empty the
  // file is read: "protocal.number" gives N (as text), and protocols 1 to N
  // take their file, title and type from "protocal.<i>.file", ".title" and
  // ".type" (a missing key gives ""). A missing file, or one without
  // "protocal.number", leaves the list empty, and the next call reads the
  // file again. The imaging shutdown empties the list. UI thread only.
  static std::vector<ProtocolInfo>& getProtocolList();

  // Appends to `out`, in list order, the protocols whose layout fits:
  // two or more series: "compare2d", and "compare4d" above 50 images;
  // otherwise, not a volume: "2dslice" and "compare2d"; otherwise (a volume)
  // every layout but those two and, without the 4-D flag, "compare4d"; a
  // volume of fewer than 5 images only "browser2d".
  static void getProtocolsFor(std::vector<ProtocolInfo>& out, const SeriesSummary& summary);

  // The orientation class of a slice from the first letters of its four
  // edge labels: 1 axial, 2 sagittal, 3 coronal; 0 for any other plane and
  // for no slice.
  static int getSliceOrientation(const SliceRecord* slice);

 protected:
  appManager() = default;

  // Creates the multi-view at the rectangle when there is none.
  void ensureViewerMulti(const cocos2d::Rect& rect);
  // Replaces the data list; the new data are retained, the old released.
  // Null entries are left out.
  void setDataList(const std::vector<isImageData*>& list);
  // The compare layouts (ids 7 and 8).
  void layoutCompare();
  void layoutCompare4D();

  cocos2d::Rect viewRect;
  // The data shown, in order, each retained: a re-layout first drops every
  // cell, and the data must outlive that.
  std::vector<isImageData*> imageDataList;
  isViewerMulti* viewerMulti = nullptr;  // retained
  int layoutId = 0;
  cocos2d::Ref* relayTarget = nullptr;  // not retained
};

}  // namespace isImageSDK
