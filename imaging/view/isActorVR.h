// Volume rendering in one render window. Two ray-cast contexts, each with a
// worker thread of its own: the fast one renders a reduced frame after every
// camera change (only the newest waiting request is kept), the fine one
// renders the same view at full quality once the fast frame is on screen and
// is dropped as soon as the camera moves again. Frames become the texture of
// a sprite that covers the window.
//
// The contexts are written only by their own render thread. The UI thread
// puts window, colour map, render mode, volume, voxels and view into a block
// of pending changes under the context's mutex; the thread applies the block
// at the start of each frame, so every change shows with the next frame.
// Before a volume is released both threads are stopped at a ray boundary and
// waited for, so no frame ever reads freed voxels.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/cocos2d.h"
#include "imaging/core/isRayCast.h"
#include "imaging/core/isRayCastTypes.h"
#include "imaging/view/isActorObject.h"
#include "toolkit/foundation/NSThread.h"

namespace NSUI {
class NSNotificationData;
}

namespace isImageSDK {

class isCamera;
class isImageData;

// The view of a camera as plain numbers: what a ray-cast context copies.
struct isVRView {
  bool valid = false;
  bool perspective = false;
  float fieldOfView = 60.0f;
  float width = 1.0f, height = 1.0f;
  float nearPlane = 1.0f, farPlane = 1000.0f;
  float zoom = 1.0f;
  cocos2d::Mat4 extra;
  cocos2d::Vec3 eye, target, up;

  static isVRView of(const isCamera* camera);
  // Projection, zoom, eye, target and up of the camera become this view.
  void applyTo(isCamera* camera) const;
};

// What a render thread needs of its context. The program renders with the
// ray caster (isVRRayCaster); tests put a stand-in in its place.
class isVRRenderer {
 public:
  virtual ~isVRRenderer() = default;
  // Null: no volume. The record is the caller's and outlives its use.
  virtual bool setVolume(const RayCastVolume* volume) = 0;
  virtual void setVoxels(const void* voxels) = 0;
  virtual void setCamera(isCamera* camera, bool toVolumeFrame) = 0;
  virtual isCamera* getCamera() const = 0;
  virtual void setWindow(float width, float level, int levels) = 0;
  virtual void setColorMap(const uint8_t* colorMap) = 0;
  virtual void setRenderMode(int mode) = 0;
  virtual void setInterpolation(int interpolation) = 0;
  virtual void setImageScale(float scale) = 0;
  virtual float getImageScale() const = 0;
  virtual void setTargetFrameTime(float ms) = 0;
  virtual void render() = 0;
  // Any thread: stops the frame in progress between rays.
  virtual void abort() = 0;
  virtual bool isAborted() const = 0;
  virtual void clearAbort() = 0;
  virtual const RayCastImage& getImage() const = 0;
};

// The ray caster behind the renderer interface.
class isVRRayCaster : public isVRRenderer {
 public:
  bool setVolume(const RayCastVolume* volume) override { return context.setVolume(volume); }
  void setVoxels(const void* voxels) override { context.setVoxels(voxels); }
  void setCamera(isCamera* camera, bool toVolumeFrame) override { context.setCamera(camera, toVolumeFrame); }
  isCamera* getCamera() const override { return context.getCamera(); }
  void setWindow(float width, float level, int levels) override { context.setWindow(width, level, levels); }
  void setColorMap(const uint8_t* colorMap) override { context.setColorMap(colorMap); }
  void setRenderMode(int mode) override { context.setRenderMode(mode); }
  void setInterpolation(int interpolation) override { context.setInterpolation(interpolation); }
  void setImageScale(float scale) override { context.setImageScale(scale); }
  float getImageScale() const override { return context.getImageScale(); }
  void setTargetFrameTime(float ms) override { context.setTargetFrameTime(ms); }
  void render() override { context.render(); }
  void abort() override { context.abort(); }
  bool isAborted() const override { return context.isAborted(); }
  // The context clears its flag itself when a frame starts.
  void clearAbort() override {}
  const RayCastImage& getImage() const override { return context.getImage(); }

  RayCastContext context;
};

// A frame made on a render thread and shown on the UI thread.
struct isVRFrame {
  int32_t width = 0, height = 0;
  // Camera size ÷ frame size: the sprite scale that fills the window.
  float scaleX = 1.0f, scaleY = 1.0f;
  std::vector<uint8_t> pixels;  // RGB, top row first
  // The context's own camera when the frame was made (volume frame).
  isVRView view;
};

// One render context and the changes waiting for its next frame.
class isVRContext {
 public:
  explicit isVRContext(std::unique_ptr<isVRRenderer> renderer);
  ~isVRContext();
  isVRContext(const isVRContext&) = delete;
  isVRContext& operator=(const isVRContext&) = delete;

  // ---- UI thread: taken by the next frame ----
  // The record is copied; null (or a record without voxels) leaves the
  // context without a volume.
  void setVolume(const RayCastVolume* volume);
  void setVoxels(const void* voxels);
  void setWindow(float width, float level, int levels = 256);
  void setColorMap(const uint8_t* colorMap);
  void setRenderMode(int mode);
  // toVolumeFrame maps eye, target and up into the volume frame.
  void setView(const isVRView& view, bool toVolumeFrame);
  void setView(const isCamera* camera, bool toVolumeFrame) { setView(isVRView::of(camera), toVolumeFrame); }
  void abort() { renderer->abort(); }

  // What was last asked for (UI thread).
  float getWindowWidth() const { return windowWidth; }
  float getWindowLevel() const { return windowLevel; }
  int getRenderMode() const { return renderMode; }
  bool hasVolume() const { return volumeSet; }

  // ---- render thread ----
  // Applies the waiting changes to the renderer.
  void applyPending();
  // Whether the renderer took the volume last applied.
  bool hasAppliedVolume() const { return appliedVolume; }
  isVRRenderer* getRenderer() const { return renderer.get(); }

 private:
  struct Pending {
    bool volume = false;
    bool hasVolume = false;
    RayCastVolume record;
    bool voxels = false;
    const void* voxelPointer = nullptr;
    bool window = false;
    float width = 255.0f, level = 128.0f;
    int levels = 256;
    bool colorMap = false;
    std::vector<uint8_t> colors;
    bool mode = false;
    int renderMode = 0;
    bool view = false;
    isVRView viewValue;
    bool toVolumeFrame = false;
  };

  std::unique_ptr<isVRRenderer> renderer;
  std::mutex mutex;
  Pending pending;               // guarded by mutex
  RayCastVolume appliedRecord;   // render thread: what the renderer points at
  bool appliedVolume = false;    // render thread
  isCamera* viewCamera = nullptr;  // render thread: carries a pending view
  float windowWidth = 255.0f, windowLevel = 128.0f;
  int renderMode = 0;
  bool volumeSet = false;
};

// The request of a render thread: the context on the way in, the frame on
// the way out.
class isVRRequest : public NSUI::NSThreadRequest {
 public:
  isVRContext* context = nullptr;
  std::unique_ptr<isVRFrame> frame;
  // 1: the context's abort flag is cleared before rendering.
  int clearAbort = 0;
  // Fine frames: the fast frame on screen when the request was made.
  int generation = 0;
};

// Common part of the two render threads.
class isVRThread : public NSUI::NSThread {
 public:
  // Not rendering, nothing waiting, nothing finished and undelivered; read
  // under the thread's mutexes, twice.
  bool isIdle();
  // UI thread: returns once no frame is being rendered. The context is
  // aborted again while waiting, since a frame that was just starting may
  // have cleared the flag.
  void waitUntilNotRendering(isVRContext* context);
  // Number of requests waiting to be rendered.
  int waitingCount();
  // UI thread: aborts the context again when the frame under way belongs to
  // a cancelled request. A frame clears the abort flag as it starts, so an
  // abort that lands just before that is lost; asking once a frame bounds
  // the work spent on a view nobody waits for.
  void abortIfCancelled(isVRContext* context);

 protected:
  // Renders the request's context into a frame. With dropAborted an aborted
  // frame yields no frame.
  void renderRequest(isVRRequest* request, bool dropAborted);

  std::mutex renderMutex;
  std::condition_variable renderCondition;
  bool rendering = false;  // guarded by renderMutex
};

// The fast thread: keeps only the newest waiting request.
class isVRThreadRT : public isVRThread {
 public:
  bool addRequest(NSUI::NSThreadRequest* request) override;
  void processRequest(NSUI::NSThreadRequest* request) override;
};

// The fine thread: every new request cancels what came before; aborted
// frames are dropped.
class isVRThreadBest : public isVRThread {
 public:
  bool addRequest(NSUI::NSThreadRequest* request) override;
  void processRequest(NSUI::NSThreadRequest* request) override;
};

class isActorVR : public isActorObject, public NSUI::NSThreadSafeDestroy {
 public:
  CREATE_FUNC(isActorVR)
  ~isActorVR() override;

  // Stops and waits for both threads, then drops observers, nodes, sprite
  // and image.
  void clear() override;
  bool init() override;
  // Observes NOTIFY_WINDOW_DRAWN of the window.
  void attach(isRenderWindowBase* window) override;

  // A volume with one contiguous buffer; anything else leaves the actor
  // without an image. Float PET renders as a maximum projection.
  void setImageData(isImageData* image);
  isImageData* getImageData() const { return imageData; }
  // Another frame of a 4-D set; the camera is marked changed.
  void setFrameIndex(int index);
  // 256 entries of red, green, blue.
  void setColorTable(const uint8_t* table);
  // Width at least 2.
  void shiftWindow(float deltaWidth, float deltaLevel);

  void onNotification(cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data);
  // On every drawn frame of the window: a fast frame when the camera moved.
  void requestRender();
  void onFrameRT(NSUI::NSThreadRequest* request);
  void onFrameBest(NSUI::NSThreadRequest* request);
  static bool isThreadIdle(isVRThread* thread) { return thread && thread->isIdle(); }

  cocos2d::Sprite* getSprite() const { return sprite; }
  isVRContext* getContextRT() const { return contextRT.get(); }
  isVRContext* getContextBest() const { return contextBest.get(); }
  isVRThreadRT* getThreadRT() const { return threadRT; }
  isVRThreadBest* getThreadBest() const { return threadBest; }
  const RayCastVolume& getVolume() const { return volume; }

  // Settings of the two contexts.
  static constexpr float kFastImageScale = 0.1f;
  static constexpr float kFastFrameTime = 30.0f;
  static constexpr float kFineImageScale = 1.0f;
  static constexpr float kFineFrameTime = 5000.0f;
  static constexpr float kMinWindowWidth = 2.0f;

 protected:
  isActorVR() = default;
  // The renderer of each context; the ray caster unless a test says so.
  virtual std::unique_ptr<isVRRenderer> createRenderer(bool fullQuality);

  // Stops the frames in progress, drops every request and frame, and
  // returns once neither thread renders.
  void stopRendering();
  // Holds the image when it is a volume the ray caster renders, and hands
  // it to both contexts with its default window and render mode.
  void takeVolume(isImageData* image);
  void uploadFrame(isVRFrame* frame);
  // Queues the fine frame of the last fast view when both threads are idle.
  void queueFineFrame();

  RayCastVolume volume;
  isImageData* imageData = nullptr;  // retained
  cocos2d::Sprite* sprite = nullptr;  // retained
  std::mutex uploadMutex;
  std::unique_ptr<isVRContext> contextRT;
  std::unique_ptr<isVRContext> contextBest;
  isVRThreadRT* threadRT = nullptr;
  isVRThreadBest* threadBest = nullptr;
  // A fast frame is on screen whose fine frame has not been queued yet.
  bool fineWanted = false;
  isVRView fineView;
  // Counts the fast frames shown; a fine frame of an older one is dropped.
  int shownGeneration = 0;
};

}  // namespace isImageSDK
