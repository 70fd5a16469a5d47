// The layout and hanging-protocol manager: turns the image data of a viewer
// screen into the cells of a multi-view, knows the eight layouts by id and
// name, reads the hanging protocols from "protocal/protocal.xml" and tells
// which of them fit a set of series.
//
// This part of the manager answers the questions that need no multi-view:
// layout ids, the protocol list and its filter, and the orientation class of
// a slice. The cell geometry of every layout is in appLayouts.h.
#pragma once

#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "imaging/core/ProtocalList.h"
#include "imaging/viewers/appLayouts.h"
#include "toolkit/foundation/NSJson.h"

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

class appManager : public cocos2d::Ref, public NSUI::UIJson {
 public:
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
};

}  // namespace isImageSDK
