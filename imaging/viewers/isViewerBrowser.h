// The viewer cell: the 2-D cell of the multi-view, a layer holding a grid of
// 2-D image viewers that show one image data with consecutive slices (viewer
// k shows the first slice + k). It plays through the slices, changes its
// grid, and routes viewer notifications: what its viewers raise goes up to
// its owner, the multi-view; what the owner sends comes down to the viewers.
//
// The cell may carry slice controls under a child named "root" ("slider",
// "btnPrior", "btnNext", "addImage", "delImage"); it finds them by name and
// works without them.
#pragma once

#include <cstdint>
#include <string>

#include "engine/cocos2d.h"
#include "imaging/core/isImageData.h"
#include "imaging/viewers/isViewer.h"
#include "imaging/viewers/isViewerImage.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSNotificationCenter.h"

namespace isImageSDK {

class isViewerMulti;

class isViewerBrowser : public isViewer, public cocos2d::Layer, public NSUI::UIJson {
 public:
  // Autoreleased; null when init fails.
  static isViewerBrowser* create();
  ~isViewerBrowser() override;

  // Viewer interface.
  void setViewKind(int kind) override;
  void retainViewer() override { retain(); }
  void releaseViewer() override { release(); }
  void setImageData(isImageData* data) override;
  // The first image viewer's data.
  isImageData* getImageData() override;
  void setSecondImageData(isImageData*) override {}
  isImageData* getSecondImageData() override { return nullptr; }
  void setViewVisible(bool visible) override { setVisible(visible); }

  // The router (see the cell's table of ids). The owner passes itself as
  // sender; the image viewers' relayed posts arrive with the viewer as
  // sender.
  virtual void handleNotification(unsigned int id, NSUI::NSNotificationData* data, cocos2d::Ref* sender);
  virtual void onCellEvent() {}
  virtual void onNotification(cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data);

  bool init() override;
  void cleanup() override;
  void onEnterTransitionDidFinish() override { cocos2d::Layer::onEnterTransitionDidFinish(); }
  bool onTouchBegan(cocos2d::Touch* touch, cocos2d::Event* event) override;
  void onTouchEnded(cocos2d::Touch* touch, cocos2d::Event* event) override;

  // The cell's node: the address its viewers post to and it posts from (the
  // viewer interface comes first, so the cell's own pointer is not it).
  cocos2d::Ref* node() { return static_cast<cocos2d::Ref*>(this); }

  // The ids the cell observes on itself, in registration order.
  static const std::vector<int>& observedIds();

  // Grid. (0, 0) and any size below 1 count as 1.
  void setGrid(int rows, int columns);
  void layoutGrid();
  // Viewer n's rectangle in a cell of the given size: 2-point gaps, row 0
  // at the top, the last column flush right and the last row at the bottom.
  static cocos2d::Rect gridCellRect(const cocos2d::Size& size, int rows, int columns, int n);
  // The first slice that centres g consecutive slices in a stack of n.
  static int centeredFirstSlice(int sliceCount, int places);
  void centerSlices();
  void setFirstSlice(int index, bool updateSliderToo);
  void applyFirstSlice();
  void setFocalPoints(const cocos2d::Vec3& point, const cocos2d::Vec3& step);
  void moveTo(const cocos2d::Vec3& point);
  cocos2d::Vec3 getViewCenter();
  void setViewCenter(const cocos2d::Vec3& point);
  float getZoomRatio();
  void setZoomRatio(float ratio);
  void setWindowLevel(float width, float level);
  // 768 bytes R, G, B; untouched without an image actor.
  void getColorTable(uint8_t* rgb);
  std::string getFilePath();
  // The current viewer's rectangle in the cell's parent space.
  bool getCurrentWindowRect(cocos2d::Rect& rect);
  bool hasMaximisedWindow();
  void hideControls();
  void updateSlider();
  void stopPlay();
  void togglePlay();
  void onPlayTick(float dt);
  // The schedule key of the play tick.
  std::string playKey() const;

  const cocos2d::Vector<isViewerImage*>& getImageViewers() const { return imageViewers; }
  isViewerImage* getCurrentViewer() const { return currentViewer; }
  // The image actor of a viewer; null without.
  static isActorImage* imageActorOf(isViewerImage* viewer);

  isViewerMulti* owner = nullptr;  // not retained
  int gridRows = 1;
  int gridColumns = 1;
  int firstSliceIndex = 0;
  bool playing = false;
  int playTickCount = 0;
  int playInterval = 60;

  static constexpr int kMinPlayInterval = 5;
  static constexpr int kMaxPlayInterval = 120;
  static constexpr int kPlayIntervalStep = 20;

 protected:
  isViewerBrowser();

  // The one place where the cell's image viewers come to be: made, added as
  // a child, relayed to the cell and appended.
  isViewerImage* addImageViewer();
  // Makes one image viewer (autoreleased).
  virtual isViewerImage* makeImageViewer() { return isViewerImage::create(); }
  void releaseImageViewers();
  // Grid commands refuse while a window of the cell is maximised.
  void requestGrid(int rows, int columns);
  // The grid's viewer that is sender, or null.
  isViewerImage* imageViewerOf(cocos2d::Ref* sender);
  void setActive(isViewerImage* viewer, bool active);
  void setFocusMark(isViewerImage* viewer, bool shown);
  void handToViewers(unsigned int id, NSUI::NSNotificationData* data, cocos2d::Ref* except = nullptr,
                     bool skipSliceKind = false);
  void postToOwner(unsigned int id, NSUI::NSNotificationData* data, bool immediate);
  void postPlayState();
  // A descendant of "root", or null.
  cocos2d::Node* control(const std::string& name);
  static bool strictlyInside(cocos2d::Node* node, cocos2d::Touch* touch);

  cocos2d::Vector<isViewerImage*> imageViewers;  // retained
  isViewerImage* currentViewer = nullptr;        // not retained
};

}  // namespace isImageSDK
