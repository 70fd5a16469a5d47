// The interface every viewer implements (2-D image viewer, viewer cell,
// volume viewer), so that the multi-view layout and the screens can hold,
// show, hide and feed a viewer without knowing its kind.
//
// It is a plain class, not reference counted by itself: the object behind it
// is a cocos2d::Ref, and a holder keeps it alive through retainViewer and
// releaseViewer (retain when storing the pointer, release when dropping it).
#pragma once

#include <cstdint>

namespace isImageSDK {

class isImageData;

// What a viewer shows (`isViewer::viewKind`, also the kind a layout adds a
// view with). Kinds 0-4 are 2-D image viewers in viewer cells, 5 and 6 the
// volume viewer.
enum ViewKind : int32_t {
  VIEW_KIND_SLICE = 0,     // the slices as acquired, or a single image
  VIEW_KIND_AXIAL = 1,
  VIEW_KIND_SAGITTAL = 2,
  VIEW_KIND_CORONAL = 3,
  VIEW_KIND_OBLIQUE = 4,   // a resliced plane in any orientation
  VIEW_KIND_VR = 5,        // volume rendering
  VIEW_KIND_MIP = 6,       // maximum-intensity projection
  VIEW_KIND_NONE = 7,      // no kind yet
};

// The overlay label of a kind: "Slice", "Axial", "Sagittal", "Coronal",
// "Oblique", "VR", "MIP"; "Slice" for kind 7 and any value outside 0-7.
const char* viewKindLabel(int kind);

class isViewer {
 public:
  virtual ~isViewer() {}
  // Implementations act only when the kind differs from viewKind.
  virtual void setViewKind(int kind) {}
  virtual void retainViewer() {}
  virtual void releaseViewer() {}
  virtual void setImageData(isImageData* data) {}
  // Null until data is set.
  virtual isImageData* getImageData() { return nullptr; }
  // A fusion slot no viewer stores: every viewer keeps the empty setter and
  // the null getter, and holders treat a null second data as absent.
  virtual void setSecondImageData(isImageData* data) {}
  virtual isImageData* getSecondImageData() { return nullptr; }
  virtual void setViewVisible(bool visible) {}

  int32_t viewKind = VIEW_KIND_NONE;
  // Takes part in the synchronisation of linked cells; set by the layout
  // that adds the view, changed by the cell on command.
  bool linked = true;
};

}  // namespace isImageSDK
