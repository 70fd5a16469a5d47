// Turns a volume into one displayable slice along one of the volume's own
// axes: an acquired slice, a sagittal plane (across x) or a coronal plane
// (across y), optionally as a thick-slab minimum, maximum, mean or sum of an
// odd number of adjacent planes.
//
// The output holds exactly one slice whose matrix places the plane in the
// world. In sagittal and coronal outputs the columns run along the acquired
// slices (the volume's z axis) and the rows along y (sagittal) or x
// (coronal); sagittal planes are counted from the far end of the x axis.
#pragma once

#include "imaging/core/isImageFilter.h"
#include "imaging/core/isResliceKernels.h"

namespace isImageSDK {

class isImagePlane : public isImageFilter {
 public:
  // Not autoreleased: the caller holds the only reference.
  static isImagePlane* create();
  ~isImagePlane() override;

  bool init() override;
  // Rebuilds the output geometry (emptied, then one slice) when this filter
  // or a node upstream is information-modified.
  void updateInformation() override;
  // Connects the volume (null disconnects) and starts at plane 0.
  void setInputData(isImageData* image) override;
  // Extracts the plane into the output slice.
  void execute(isImageData* inImage, isImageData* outImage) override;

  void setSliceIndex(int index);
  void setOrientation(int orientation);
  void setProjectionMode(int mode);
  // Interpolation mode the image actor compares and sets (1 = linear). The
  // plane's samples lie on voxel centres, so the value leaves the output
  // unchanged; a different value still marks the data modified.
  void setInterpolationMode(int mode);
  int getInterpolationMode() const { return interpolationMode; }
  // Thickness in millimetres, turned into an odd sample count along the
  // plane's axis.
  void setSlabThickness(double thickness);
  // Planes along the current orientation; -1 without an input.
  int getSliceCount();
  // The plane nearest to a world position (millimetres), not clamped to the
  // plane range; -1 without an input, or when the planes along that axis
  // have no positive spacing (coincident slices have no nearest plane).
  int getSliceIndexForPosition(double x, double y, double z);

  int slabSampleCount = 1;
  int projectionMode = PROJECTION_MAX;
  int interpolationMode = 1;
  int orientation = PLANE_ORIGINAL;
  int sliceIndex = -1;

 protected:
  isImagePlane() = default;

 private:
  // Spacing of the input along the current orientation's axis.
  float axisSpacing() const;
};

}  // namespace isImageSDK
