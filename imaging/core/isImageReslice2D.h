// Samples a volume on an arbitrary plane.
//
// The plane is a 4 x 4 matrix in the volume's local millimetre frame: first
// column the plane's x axis, second its y axis, third its normal, fourth the
// position of output pixel (0, 0). Setting it sizes the output so that it
// covers the whole volume as seen on that plane, with a pixel spacing that
// steps one voxel along the axis each plane axis crosses fastest. Samples are
// trilinear (or tricubic); a slab of parallel planes centred on the plane can
// be projected into one image by minimum, maximum, mean or sum.
#pragma once

#include "imaging/core/SliceRecord.h"
#include "imaging/core/isImageFilter.h"
#include "imaging/core/isResliceKernels.h"

namespace isImageSDK {

// What one execution hands to the sampling routine: the output slice's
// buffer, size, spacing, element type and the plane matrix, then the
// projection and interpolation settings.
struct ResliceParameters : SliceRecord {
  int projectionMode = PROJECTION_MAX;
  int slabSampleCount = 1;
  float slabStep = 1.0f;
  int interpolation = INTERPOLATION_LINEAR;
  float backgroundValue = 0.0f;
};

class isImageReslice2D : public isImageFilter {
 public:
  // Not autoreleased: the caller holds the only reference.
  static isImageReslice2D* create();
  ~isImageReslice2D() override;

  bool init() override;
  // Rebuilds the output geometry: one zero-filled slice placed at
  // world matrix × reslice matrix, or no slice when there is nothing to
  // resample.
  void updateInformation() override;
  // Connects the volume (null disconnects), takes the background of its
  // element type (-1024 for signed 16-bit, else 0) and resets the plane to
  // the identity: set the matrix after the input.
  void setInputData(isImageData* image) override;
  void execute(isImageData* inImage, isImageData* outImage) override;

  // Stores the plane and recomputes the output extent.
  void setResliceMatrix(const cocos2d::Mat4& matrix);
  // Thickness in millimetres, turned into an odd number of samples along the
  // normal that span exactly the thickness.
  void setSlabThickness(float thickness);
  void setProjectionMode(int mode);

  int outputWidth = 1;
  int outputHeight = 1;
  float outputSpacingX = 1.0f;
  float outputSpacingY = 1.0f;
  float sampleStep = 1.0f;  // along the normal: normal spacing, then the slab step
  int interpolation = INTERPOLATION_LINEAR;
  cocos2d::Mat4 resliceMatrix;
  float backgroundValue = 0.0f;
  int projectionMode = PROJECTION_MAX;
  int slabSampleCount = 1;
  float normalSpacing = 1.0f;
  float slabThickness = 0.01f;

 protected:
  isImageReslice2D() = default;

 private:
  // Sizes the output after the plane and the input's geometry.
  void updateOutputExtent();
  // False when the last extent computation met a geometry it cannot sample
  // (a spacing or a plane axis of zero length, a singular plane matrix): the
  // output then has no slice.
  bool extentUsable_ = true;
};

}  // namespace isImageSDK
