// Shows one plane of an image (or of the current frame of a 4-D set) in a
// render window: it owns the chain that cuts the plane out of the data
// (plane stage for the acquired, sagittal and coronal planes, oblique
// reslice otherwise, a pass-through slice last), its image node and colour
// lookup table, and posts slice number, position, orientation, slab
// thickness and window for the overlay and the tools of its window.
#pragma once

#include <mutex>
#include <string>

#include "engine/cocos2d.h"
#include "imaging/core/SliceRecord.h"
#include "imaging/core/isImageData.h"
#include "imaging/core/isImagePlane.h"
#include "imaging/core/isImageReslice2D.h"
#include "imaging/core/isImageSlice.h"
#include "imaging/view/isActorObject.h"
#include "imaging/view/isClut.h"
#include "imaging/view/isNodeImage.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSNotificationCenter.h"

namespace isImageSDK {

class isActorImage : public isActorObject, public NSUI::UIJson {
 public:
  CREATE_FUNC(isActorImage)
  ~isActorImage() override;

  void clear() override;
  bool init() override;
  void attach(isRenderWindowBase* window) override;
  void setVisible(bool value) override;
  virtual void onNotification(cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data);

  // Data and output.
  void setImageData(isImageData* data);
  void setFrameIndex(int n);
  SliceRecord* getOutputSlice();
  SliceRecord* getOutputSliceInfo();
  void getSliceCenter(cocos2d::Vec3* out);
  bool getSliceCorners(cocos2d::Vec3* out);
  bool hasValidSlice();

  // Planes and slices.
  void showOriginalPlane() { showPlane(PLANE_ORIGINAL); }
  void showSagittalPlane() { showPlane(PLANE_SAGITTAL); }
  void showCoronalPlane() { showPlane(PLANE_CORONAL); }
  void resetSlice();
  void setSliceIndex(int n);
  void setSlicePosition(float x, float y, float z);
  void setResliceMatrix(const cocos2d::Mat4& m);
  void setSlabThickness(float mm);
  void setInterpolationMode(int mode);

  // Window and colours.
  void setWindow(float width, float centre);
  void adjustWindow(float dWidth, float dCentre);
  // 768 bytes, RGB per entry.
  void setColorTable(const uint8_t* rgb);
  void setClutMode(int mode);
  void postViewState();
  void postJsonNotification(int id, const std::string& text, bool immediate);

  // Region statistics and the pixel probe (UI thread).
  struct RegionStatistics {
    float min = 0.0f;
    float max = 0.0f;
    float sum = 0.0f;
    float mean = 0.0f;
    float deviation = 0.0f;  // n − 1; 0 for a single pixel
    int64_t count = 0;
  };
  // Reads the displayed slice's pixel whose centre is nearest the world
  // point; false outside the pixels, without pixels or for RGB data.
  bool getPixelValue(const cocos2d::Vec3& world, float* value);
  // Shoelace area of the closed polygon, summed in double.
  static float polygonArea(const cocos2d::Vec2* points, int n);
  // Even-odd rule with half-open edges.
  static bool pointInPolygon(const cocos2d::Vec2* points, int n, float x, float y);
  // Pixels whose centre (c·sx, r·sy) lies within radius of (cx, cy), all
  // in slice millimetres.
  static RegionStatistics circleStatistics(const uint8_t* pixels, int w, int h, float sx, float sy, float cx, float cy, float radius);
  static RegionStatistics circleStatistics(const uint16_t* pixels, int w, int h, float sx, float sy, float cx, float cy, float radius);
  static RegionStatistics circleStatistics(const int16_t* pixels, int w, int h, float sx, float sy, float cx, float cy, float radius);
  static RegionStatistics circleStatistics(const float* pixels, int w, int h, float sx, float sy, float cx, float cy, float radius);
  // Pixels (c, r) inside the polygon given in pixel units.
  static RegionStatistics polygonStatistics(const uint8_t* pixels, int w, int h, const cocos2d::Vec2* points, int n);
  static RegionStatistics polygonStatistics(const uint16_t* pixels, int w, int h, const cocos2d::Vec2* points, int n);
  static RegionStatistics polygonStatistics(const int16_t* pixels, int w, int h, const cocos2d::Vec2* points, int n);
  static RegionStatistics polygonStatistics(const float* pixels, int w, int h, const cocos2d::Vec2* points, int n);

  isClut* getClut() const { return clut; }
  isNodeImage* getImageNode() const { return imageNode; }
  isImagePlane* getPlane() const { return plane; }
  isImageReslice2D* getReslice() const { return reslice; }
  isImageSlice* getImageSlice() const { return imageSlice; }
  isImageData* getImageData() const { return imageData; }
  int getSliceIndex() const { return sliceIndex; }
  int getPlaneOrientation() const { return planeOrientation; }
  bool isPlaneMode() const { return planeMode; }
  float getSlabThickness() const { return slabThickness; }
  const std::string& getPositionText() const { return positionText; }

 protected:
  isActorImage() = default;

  void showPlane(int orientation);
  isImageData* currentFrame();
  float defaultThickness(int orientation);
  void updatePositionText(const SliceRecord* record);
  void* windowObject() const { return renderWindow; }
  // Answers a 9095 request (the record in the payload's object).
  void answerRegionRequest(NSUI::NSNotificationData* data);

  float slabThickness = 1.0f;
  int32_t interpolationMode = 1;
  int32_t planeOrientation = 0;
  bool planeMode = true;
  int32_t sliceIndex = 0;
  isImageData* imageData = nullptr;   // retained
  isClut* clut = nullptr;             // held by the image node
  isNodeImage* imageNode = nullptr;   // retained
  isImageSlice* imageSlice = nullptr; // owned
  isImageReslice2D* reslice = nullptr;  // owned
  isImagePlane* plane = nullptr;      // owned
  std::string positionText;
  // The data's source reader's pixel lock, when the source has one.
  std::recursive_mutex* sourceMutex = nullptr;
};

}  // namespace isImageSDK
