#include "imaging/viewers/isViewer.h"

namespace isImageSDK {

const char* viewKindLabel(int kind) {
  switch (kind) {
    case VIEW_KIND_AXIAL: return "Axial";
    case VIEW_KIND_SAGITTAL: return "Sagittal";
    case VIEW_KIND_CORONAL: return "Coronal";
    case VIEW_KIND_OBLIQUE: return "Oblique";
    case VIEW_KIND_VR: return "VR";
    case VIEW_KIND_MIP: return "MIP";
    default: return "Slice";  // acquired slices, no kind yet, or unknown
  }
}

}  // namespace isImageSDK
