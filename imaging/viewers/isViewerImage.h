// The 2-D image viewer: a render window that shows one plane of one image
// data set (the slices as acquired, an axial, sagittal or coronal plane of a
// volume, or an oblique plane) through its image actor, with its overlay
// texts, reference lines and colour table, and that keeps in step with the
// other views of its cell.
//
// A viewer cell creates viewers, gives them data, sets itself as their
// relay target and drives them through `onNotification` with itself as the
// sender. What the viewer's own tools raise and concerns the other views
// goes up to the relay target; what comes down from it is executed.
//
// The class is one unit written in several files, one per topic:
//   isViewerImage.cpp          life cycle, data, cross lines, slice path
//   isViewerImageCommands.cpp  the command entry, maximise, capture, posts
//   isViewerImagePlanes.cpp    planes, camera, slices, focal point, picking
//   isViewerImageLink.cpp      pan, zoom, window and point of linked views
//   isViewerImageOverlay.cpp   overlay items and the DICOM patient texts
//   isViewerImageColor.cpp     colour tables and the background
//
// UI thread only, except the DICOM text read, which runs as a one-shot job
// and hands its result back to the UI thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/cocos2d.h"
#include "imaging/core/SliceRecord.h"
#include "imaging/core/isImageData.h"
#include "imaging/view/isActorImage.h"
#include "imaging/view/isRenderWindow.h"
#include "imaging/viewers/isViewer.h"
#include "toolkit/foundation/NSNotificationCenter.h"

namespace isImageSDK {

class isViewerImage : public isRenderWindow, public isViewer {
 public:
  // ------------------------------------------------ life cycle and data
  // (isViewerImage.cpp)

  // Constructed and initialised, autoreleased; null when init fails.
  static isViewerImage* create();
  ~isViewerImage() override;

  // Render window first (actor manager, observers), then the image
  // interaction tool with this viewer as its target, the fields, and the
  // broadcast observers of the full-information switches.
  bool init() override;
  // Runs from the engine's removal and again from the destructor: releases
  // the window's parts and the image actor, drops a pending DICOM text
  // result and posts NOTIFY_VIEWER_CLEANUP with the viewer's ref id.
  void cleanup() override;
  // Draws the window; a dirty overlay is rebuilt after it and the image
  // actor re-posts its view state so that the new texts fill at once.
  void visit(cocos2d::Renderer* renderer, const cocos2d::Mat4& parentTransform, uint32_t parentFlags) override;
  using cocos2d::Node::visit;
  // The 28 ids the viewer observes with itself as object.
  void addNotificationIds() override;

  // Viewer interface.
  // A different kind runs its own command for it (0: acquired slices,
  // 1 axial, 2 sagittal, 3 coronal, 4 oblique) as if the relay target sent
  // it, then stores the kind.
  void setViewKind(int kind) override;
  void retainViewer() override;
  void releaseViewer() override;
  // Nothing for the data already shown. Otherwise the window takes it, a
  // fresh image actor shows it (a volume at plane 0, other data at slice 0
  // as kind 0) and the default colour table for it is loaded.
  void setImageData(isImageData* data) override;
  isImageData* getImageData() override { return imageData; }
  void setViewVisible(bool visible) override;

  // Shows (when the image tool is not drawing a measurement, there is an
  // image actor and the kind is axial, sagittal or coronal) or hides the
  // reference lines, and the view frame with them as `frameShown` says.
  void setCrossLinesShown(bool show);
  // The view frame follows `frameShown`.
  void syncFrameVisible();
  // Path of the DICOM file of the shown slice; "" without image actor.
  std::string getSliceFilePath();

  // ------------------------------------------------------------ commands
  // (isViewerImageCommands.cpp)

  // The command entry: the observed ids, the broadcast ids and the direct
  // calls of the cell (sender the cell). Ids it does not handle go to the
  // render window.
  void onNotification(unsigned int id, NSUI::NSNotificationData* data, cocos2d::Ref* sender) override;
  // Hands the plane frame to the view's own reference lines (9087) and
  // point text (9071) when the lines are shown; the latest of a frame wins.
  void postPlaneFrame();

  // ----------------------------------------------------- planes and camera
  // (isViewerImagePlanes.cpp)

  // Shows plane 0 (acquired), 1 (sagittal) or 2 (coronal) at its middle
  // slice, places the camera and sets the view kind from the plane's edge
  // letters.
  void showPlane(int plane);
  // The plane of the data whose edges read coronal.
  void showCoronalView();
  // Places the camera for a plane of an image block: anterior (or
  // superior) up, the patient's right on the screen's left; then fits.
  void setupPlaneCamera(const int32_t* dimensions, const float* spacing, const cocos2d::Mat4& matrix, int plane);
  // Centres and zooms the camera on the shown slice.
  void fitCameraToSlice();
  // Posts the camera change, refits the plane and makes the current view
  // zoom ratio 1.
  void notifyViewChanged() override;
  // Moves to a slice; outside the plane's range the viewer hides itself.
  void goToSlice(int index, bool recentre);
  // Slices of the shown plane: 0 without image actor, −1 for an oblique
  // plane.
  int getSliceCount();
  // Focal point (and, in plane mode, the slice) to a world position, then
  // the margin pan keeps it inside the window.
  void setFocalPoint(const cocos2d::Vec3& position);
  // World vector from one slice to the next of a volume; zero otherwise.
  cocos2d::Vec3 getSliceStep();
  // World point of the shown slice under a window point (y from the
  // bottom); false without image actor or slice.
  bool pickPoint(const cocos2d::Vec2& screenPoint, cocos2d::Vec3* worldPoint) override;
  // Back to the middle slice, the focal point onto it.
  void recentre();
  // Focal point := the point moved along the slice normal onto the plane
  // through the current focal point.
  void applyFocalPoint(const cocos2d::Vec3& point);
  // Turns the plane and the camera together about the plane's own y axis
  // through the focal point (degrees).
  void rotateOblique(float degrees);
  // Pans so that a world point keeps `panMargin` of the window's width and
  // height free around it.
  void marginPan(const cocos2d::Vec3& point);

  // --------------------------------------------------------- colour tables
  // (isViewerImageColor.cpp)

  // A built-in table or a table file by name; the background follows
  // (white behind an inverted grey image). A name of at most one character
  // or a table that does not read changes nothing but the background.
  void loadColorTable(const std::string& name);
  // A ready 768-byte table to the image actor; a white first entry makes
  // the background white, any other entry black.
  void applyColorTable(const uint8_t* table);

  // ------------------------------------------------ overlay and DICOM texts
  // (isViewerImageOverlay.cpp)

  // Builds the overlay items of the window (short set in small windows or
  // by the setting, full set otherwise); `refreshButtons` shows the cine
  // buttons only for a multi-frame slice. Starts the patient-text read when
  // the data has no description yet.
  void updateOverlay(int refreshButtons) override;
  // Drops the pending result of the patient-text read, so that nothing
  // reaches a viewer that is going away.
  void cancelDicomInfoRead();
  // The patient and study texts of one DICOM file as flat JSON (the 9084
  // text); false, with `json` untouched, when the file does not open. Any
  // thread: it opens its own reader and touches nothing else.
  static bool readDicomInfo(const std::string& path, std::string* json);

  // ------------------------------------------------------------ fields

  isActorImage* getImageActor() const { return imageActor; }

  // The window's image actor, taken when data is set; retained.
  isActorImage* imageActor = nullptr;
  // Columns 0-2: row direction, column direction and normal of the shown
  // plane; translation: the focal point, where the reference lines cross.
  cocos2d::Mat4 planeFrame;
  // Fraction of the window kept free around the focal point after a zoom.
  float panMargin = 0.15f;
  // The cross-line actor's view frame is to be shown (written by the cell).
  bool frameShown = false;
  // The overlay shows the full patient and study texts.
  bool showFullInfo = false;
  // The overlay is rebuilt at the next visit.
  bool overlayDirty = false;

 protected:
  isViewerImage();

  // -------------------------------------------- commands (Commands.cpp)
  // The broadcast maximise toggle (task value = the window to maximise).
  void toggleMaximise(NSUI::NSNotificationData* data);
  // The broadcast capture request: a copy of the shown slice for 9104.
  void captureSlice(NSUI::NSNotificationData* data);
  // The full-information switch (9058 hide, 9059 show).
  void switchFullInfo(bool show);

  // ----------------------------------------- linked views (Link.cpp)
  // Pan, zoom, window and point of linked views: 9061-9068 and 9085.
  // True when the id is one of them (it has then been relayed or applied).
  bool handleLinkedNotification(unsigned int id, NSUI::NSNotificationData* data, cocos2d::Ref* sender);
  // A zoom step keeping the focal point inside the margin (f = factor).
  void zoomStepWithMargin(float factor, NSUI::NSNotificationData* data);
  // Adds the focal keys and the zoom ratio to a 9066 payload.
  void addZoomFocalKeys(NSUI::NSNotificationData* data);
  // A 9066 received from the relay target.
  void applyLinkedZoom(NSUI::NSNotificationData* data);
  // Posts this view's window to the relay target (9067).
  void postWindowToRelay();
  // The focal point brought back into view when it is near an edge (9068).
  void keepFocalPointInView();

  // ------------------------------------------ DICOM texts (Overlay.cpp)
  // Starts the read of the first slice's patient texts (one at a time).
  void startDicomInfoRead();
  // State of the patient-text read of this viewer; defined with it.
  struct DicomInfoRead;
  std::shared_ptr<DicomInfoRead> dicomInfoRead;
};

}  // namespace isImageSDK
