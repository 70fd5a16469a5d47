#include "imaging/view/isActorVR.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "imaging/core/isCamera.h"
#include "imaging/core/isImageData.h"
#include "imaging/view/isRenderWindowBase.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace isImageSDK {

using NSUI::NSThreadRequest;

// ------------------------------------------------------------------ view

isVRView isVRView::of(const isCamera* camera) {
  isVRView v;
  if (!camera) return v;
  v.valid = true;
  v.perspective = camera->perspective;
  v.fieldOfView = camera->getFOV();
  v.width = camera->getWidth();
  v.height = camera->getHeight();
  v.nearPlane = camera->getNearPlane();
  v.farPlane = camera->getFarPlane();
  v.zoom = camera->getZoom();
  v.extra = camera->getAdditionalProjection();
  v.eye = camera->getPosition3D();
  v.target = camera->getTarget();
  v.up = camera->getUpVector();
  return v;
}

void isVRView::applyTo(isCamera* camera) const {
  if (!camera || !valid) return;
  camera->perspective = perspective;
  camera->setProjection(fieldOfView, width, height, nearPlane, farPlane, extra);
  camera->setZoom(zoom);
  camera->setPosition3D(eye);
  camera->lookAt(target, up);
}

// --------------------------------------------------------------- context

isVRContext::isVRContext(std::unique_ptr<isVRRenderer> r) : renderer(std::move(r)) {
  viewCamera = isCamera::create();
  if (viewCamera) viewCamera->retain();
}

isVRContext::~isVRContext() {
  if (viewCamera) viewCamera->release();
}

void isVRContext::setVolume(const RayCastVolume* volume) {
  std::lock_guard<std::mutex> lock(mutex);
  pending.volume = true;
  pending.hasVolume = volume && volume->voxels;
  pending.record = pending.hasVolume ? *volume : RayCastVolume();
  // Voxels asked for before belong to the previous volume.
  pending.voxels = false;
  pending.voxelPointer = nullptr;
  volumeSet = pending.hasVolume;
}

void isVRContext::setVoxels(const void* voxels) {
  if (!voxels) return;
  std::lock_guard<std::mutex> lock(mutex);
  pending.voxels = true;
  pending.voxelPointer = voxels;
}

void isVRContext::setWindow(float width, float level, int levels) {
  std::lock_guard<std::mutex> lock(mutex);
  pending.window = true;
  pending.width = width;
  pending.level = level;
  pending.levels = levels;
  windowWidth = width;
  windowLevel = level;
}

void isVRContext::setColorMap(const uint8_t* colorMap) {
  if (!colorMap) return;
  std::lock_guard<std::mutex> lock(mutex);
  pending.colorMap = true;
  pending.colors.assign(colorMap, colorMap + 768);
}

void isVRContext::setRenderMode(int mode) {
  std::lock_guard<std::mutex> lock(mutex);
  pending.mode = true;
  pending.renderMode = mode;
  renderMode = mode;
}

void isVRContext::setView(const isVRView& view, bool toVolumeFrame) {
  if (!view.valid) return;
  std::lock_guard<std::mutex> lock(mutex);
  pending.view = true;
  pending.viewValue = view;
  pending.toVolumeFrame = toVolumeFrame;
}

void isVRContext::applyPending() {
  Pending p;
  {
    std::lock_guard<std::mutex> lock(mutex);
    p = std::move(pending);
    pending = Pending();
  }
  // The volume first: a view in the volume frame depends on its matrix.
  if (p.volume) {
    renderer->setVolume(nullptr);
    appliedRecord = RayCastVolume();
    appliedVolume = false;
    if (p.hasVolume) {
      appliedRecord = p.record;
      appliedVolume = renderer->setVolume(&appliedRecord);
    }
  }
  if (p.voxels && appliedVolume) {
    appliedRecord.voxels = p.voxelPointer;
    renderer->setVoxels(p.voxelPointer);
  }
  if (p.window) renderer->setWindow(p.width, p.level, p.levels);
  if (p.colorMap && p.colors.size() == 768) renderer->setColorMap(p.colors.data());
  if (p.mode) renderer->setRenderMode(p.renderMode);
  if (p.view && viewCamera) {
    p.viewValue.applyTo(viewCamera);
    renderer->setCamera(viewCamera, p.toVolumeFrame);
  }
}

// --------------------------------------------------------------- threads

bool isVRThread::isIdle() {
  for (int round = 0; round < 2; ++round) {
    {
      // The request in progress is set under the queue mutex and cleared
      // under the result mutex: read it under both.
      std::lock_guard<std::recursive_mutex> q(queueMutex);
      std::lock_guard<std::recursive_mutex> r(resultMutex);
      if (stopped) return false;
      if (requestQueue && !requestQueue->empty()) return false;
      if (currentRequest) return false;
      if (resultQueue && !resultQueue->empty()) return false;
    }
    {
      std::lock_guard<std::recursive_mutex> s(stateMutex);
      if (busy) return false;
    }
  }
  return true;
}

int isVRThread::waitingCount() {
  std::lock_guard<std::recursive_mutex> q(queueMutex);
  return requestQueue ? static_cast<int>(requestQueue->size()) : 0;
}

void isVRThread::waitUntilNotRendering(isVRContext* context) {
  std::unique_lock<std::mutex> lock(renderMutex);
  while (rendering) {
    if (context) context->abort();
    renderCondition.wait_for(lock, std::chrono::milliseconds(2));
  }
}

void isVRThread::abortIfCancelled(isVRContext* context) {
  // The request under way is the base's, written under these three mutexes.
  std::lock_guard<std::recursive_mutex> q(queueMutex);
  std::lock_guard<std::recursive_mutex> r(resultMutex);
  std::lock_guard<std::recursive_mutex> s(stateMutex);
  if (context && currentRequest && currentRequest->cancelled) context->abort();
}

void isVRThread::renderRequest(isVRRequest* request, bool dropAborted) {
  if (!request || !request->context) return;
  isVRContext* context = request->context;
  request->context = nullptr;
  {
    // Whoever cancels and then waits for this thread either sees the frame
    // under way or the frame sees the cancellation and does not start.
    std::lock_guard<std::mutex> lock(renderMutex);
    if (request->cancelled) return;
    rendering = true;
  }
  context->applyPending();
  isVRRenderer* renderer = context->getRenderer();
  if (request->clearAbort > 0) renderer->clearAbort();
  if (context->hasAppliedVolume()) {
    renderer->render();
    const bool aborted = renderer->isAborted();
    const RayCastImage& image = renderer->getImage();
    const size_t bytes = static_cast<size_t>(std::max(image.width, 0)) * std::max(image.height, 0) * 3;
    if (!(dropAborted && aborted) && image.width > 0 && image.height > 0 && image.rgb.size() >= bytes) {
      auto frame = std::make_unique<isVRFrame>();
      frame->width = image.width;
      frame->height = image.height;
      frame->pixels.assign(image.rgb.begin(), image.rgb.begin() + static_cast<std::ptrdiff_t>(bytes));
      frame->view = isVRView::of(renderer->getCamera());
      frame->scaleX = frame->view.width / static_cast<float>(image.width);
      frame->scaleY = frame->view.height / static_cast<float>(image.height);
      request->frame = std::move(frame);
    }
  }
  {
    std::lock_guard<std::mutex> lock(renderMutex);
    rendering = false;
  }
  renderCondition.notify_all();
}

bool isVRThreadRT::addRequest(NSThreadRequest* request) {
  {
    // Only the newest request waits: the ones before it are dropped (the
    // queue mutex is released before the base takes it again).
    std::lock_guard<std::recursive_mutex> lock(queueMutex);
    if (requestQueue && !stopped) {
      for (auto* waiting : *requestQueue) waiting->release();  // trip references
      requestQueue->clear();
    }
  }
  if (auto* vr = dynamic_cast<isVRRequest*>(request)) vr->clearAbort = 1;
  return NSThread::addRequest(request);
}

void isVRThreadRT::processRequest(NSThreadRequest* request) {
  runAsBackgroundThread();
  renderRequest(dynamic_cast<isVRRequest*>(request), false);
}

bool isVRThreadBest::addRequest(NSThreadRequest* request) {
  cancelAllRequests();
  if (auto* vr = dynamic_cast<isVRRequest*>(request)) vr->clearAbort = 1;
  return NSThread::addRequest(request);
}

void isVRThreadBest::processRequest(NSThreadRequest* request) {
  runAsBackgroundThread();
  renderRequest(dynamic_cast<isVRRequest*>(request), true);
}

// ----------------------------------------------------------------- actor

isActorVR::~isActorVR() { isActorVR::clear(); }

std::unique_ptr<isVRRenderer> isActorVR::createRenderer(bool) { return std::make_unique<isVRRayCaster>(); }

bool isActorVR::init() {
  if (!isActorObject::init()) return false;
  sprite = cocos2d::Sprite::create();
  if (!sprite) return false;
  sprite->retain();
  sprite->setTexture("imageSDK/spriteExample.png");
  sprite->setAnchorPoint(cocos2d::Vec2::ANCHOR_BOTTOM_LEFT);
  sprite->setPosition(cocos2d::Vec2::ZERO);
  sprite->setVisible(false);
  addNode(sprite);
  imageData = nullptr;

  auto fast = createRenderer(false);
  auto fine = createRenderer(true);
  if (!fast || !fine) return false;
  fast->setImageScale(kFastImageScale);
  fast->setTargetFrameTime(kFastFrameTime);
  fast->setInterpolation(0);
  fine->setImageScale(kFineImageScale);
  fine->setTargetFrameTime(kFineFrameTime);
  fine->setInterpolation(1);
  contextRT = std::make_unique<isVRContext>(std::move(fast));
  contextBest = std::make_unique<isVRContext>(std::move(fine));

  threadBest = new isVRThreadBest();
  threadRT = new isVRThreadRT();
  threadRT->completion = [this](NSThreadRequest* request) { onFrameRT(request); };
  threadBest->completion = [this](NSThreadRequest* request) { onFrameBest(request); };
  return true;
}

void isActorVR::attach(isRenderWindowBase* window) {
  isActorObject::attach(window);
  auto* nc = NSUI::NSNotificationCenter::getInstance();
  if (!nc) return;
  nc->removeAllObservers(this);
  if (!renderWindow) return;
  nc->addObserver(this, renderWindow,
                  [this](cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data) {
                    onNotification(sender, id, data);
                  },
                  NOTIFY_WINDOW_DRAWN);
}

void isActorVR::stopRendering() {
  if (threadRT) {
    contextRT->abort();
    threadRT->cancelAllRequests();
  }
  if (threadBest) {
    contextBest->abort();
    threadBest->cancelAllRequests();
  }
  if (threadRT) threadRT->waitUntilNotRendering(contextRT.get());
  if (threadBest) threadBest->waitUntilNotRendering(contextBest.get());
}

void isActorVR::clear() {
  stopRendering();
  if (threadRT) {
    contextRT->abort();
    stopThread(threadRT);
    threadRT = nullptr;
  }
  if (threadBest) {
    contextBest->abort();
    stopThread(threadBest);
    threadBest = nullptr;
  }
  isActorObject::clear();
  if (auto* nc = NSUI::NSNotificationCenter::getInstance()) nc->removeAllObservers(this);
  if (sprite) {
    sprite->release();
    sprite = nullptr;
  }
  if (imageData) {
    imageData->release();
    imageData = nullptr;
  }
  volume = RayCastVolume();
  fineWanted = false;
}

void isActorVR::setImageData(isImageData* image) {
  if (image == imageData) return;
  // No frame may read the voxels of the image that goes.
  stopRendering();
  fineWanted = false;
  if (imageData) {
    imageData->release();
    imageData = nullptr;
  }
  volume = RayCastVolume();
  if (contextRT) contextRT->setVolume(nullptr);
  if (contextBest) contextBest->setVolume(nullptr);
  isCamera* camera = renderWindow ? renderWindow->getSceneCamera() : nullptr;
  // The next frame shows the new volume.
  if (camera) camera->changed = true;
  takeVolume(image);
  // Without one, the frame of the previous volume goes.
  if (!imageData && sprite) sprite->setVisible(false);
}

void isActorVR::takeVolume(isImageData* image) {
  if (!image) return;
  image->updateInformation();
  if (!image->hasData || !image->isVolume()) return;
  // The ray caster renders grey volumes only.
  if (image->elementType == ELEMENT_RGB) return;
  isImageData* source = image;
  if (image->isMultiFrame()) {
    isImageData* first = image->getFirstFrame();
    if (isImageData* frame = first->getFrame(first->currentFrame)) source = frame;
  }
  void* voxels = source->getScalarPointer();
  if (!voxels) return;

  image->retain();
  imageData = image;
  for (int a = 0; a < 3; ++a) {
    volume.dimensions[a] = image->dimensions[a];
    volume.spacing[a] = image->spacing[a];
  }
  volume.voxels = voxels;
  volume.elementType = image->elementType;
  std::memcpy(volume.matrix, image->worldMatrix.m, sizeof(volume.matrix));

  float width = 255.0f, centre = 128.0f;
  image->getDefaultWindow(&width, &centre);
  const SliceRecord* first = image->getSlice(0);
  // The render mode follows the data: a maximum projection for float PET.
  const int mode = (image->elementType == ELEMENT_FLOAT && first && first->modality == MODALITY_PT) ? 3 : 0;
  for (isVRContext* context : {contextRT.get(), contextBest.get()}) {
    if (!context) continue;
    context->setVolume(&volume);
    context->setWindow(width, centre, 256);
    context->setRenderMode(mode);
  }
}

void isActorVR::setFrameIndex(int index) {
  if (!imageData) return;
  isImageData* first = imageData->getFirstFrame();
  if (!first || !imageData->isMultiFrame()) return;
  if (index >= 0 && index < first->frameCount) {
    first->currentFrame = index;
    isImageData* frame = first->getFrame(index);
    if (void* voxels = frame ? frame->getScalarPointer() : nullptr) volume.voxels = voxels;
  }
  if (contextRT) contextRT->setVoxels(volume.voxels);
  if (contextBest) contextBest->setVoxels(volume.voxels);
  if (renderWindow && renderWindow->getSceneCamera()) renderWindow->getSceneCamera()->changed = true;
}

void isActorVR::setColorTable(const uint8_t* table) {
  if (!table) return;
  if (contextRT) contextRT->setColorMap(table);
  if (contextBest) contextBest->setColorMap(table);
}

void isActorVR::shiftWindow(float deltaWidth, float deltaLevel) {
  if (!contextRT) return;
  const float width = std::max(kMinWindowWidth, contextRT->getWindowWidth() + deltaWidth);
  const float level = contextRT->getWindowLevel() + deltaLevel;
  contextRT->setWindow(width, level, 256);
  if (contextBest) contextBest->setWindow(width, level, 256);
}

void isActorVR::onNotification(cocos2d::Ref*, unsigned int id, NSUI::NSNotificationData*) {
  if (id == NOTIFY_WINDOW_DRAWN) requestRender();
}

void isActorVR::requestRender() {
  if (!renderWindow || !visible || !threadRT || !contextRT) return;
  // Without a volume the flag stays for the first frame of the next one.
  if (!contextRT->hasVolume()) return;
  isCamera* camera = renderWindow->getSceneCamera();
  if (!camera) return;
  if (!camera->changed) {
    if (threadBest) threadBest->abortIfCancelled(contextBest.get());
    queueFineFrame();
    return;
  }
  camera->changed = false;
  contextBest->abort();
  if (threadBest) threadBest->cancelAllRequests();
  fineWanted = false;
  contextRT->setView(camera, true);
  auto* request = new isVRRequest();
  request->context = contextRT.get();
  request->autorelease();
  threadRT->addRequest(request);
}

void isActorVR::uploadFrame(isVRFrame* frame) {
  std::lock_guard<std::mutex> lock(uploadMutex);
  if (!sprite) return;
  auto* texture = new cocos2d::Texture2D();
  texture->autorelease();
  const ssize_t bytes = static_cast<ssize_t>(frame->pixels.size());
  if (!texture->initWithData(frame->pixels.data(), bytes, cocos2d::Texture2D::PixelFormat::RGB888, frame->width,
                             frame->height, cocos2d::Size(static_cast<float>(frame->width),
                                                          static_cast<float>(frame->height))))
    return;
  sprite->setTexture(texture);
  sprite->setTextureRect(cocos2d::Rect(cocos2d::Vec2::ZERO, texture->getContentSize()));
  sprite->setScale(frame->scaleX, frame->scaleY);
}

void isActorVR::onFrameRT(NSThreadRequest* request) {
  auto* r = dynamic_cast<isVRRequest*>(request);
  if (!r || !r->frame) return;
  if (r->cancelled) {
    r->frame.reset();
    return;
  }
  uploadFrame(r->frame.get());
  if (visible && sprite && !sprite->isVisible()) sprite->setVisible(true);
  ++shownGeneration;
  fineView = r->frame->view;
  r->frame.reset();
  fineWanted = true;
  queueFineFrame();
}

void isActorVR::queueFineFrame() {
  if (!fineWanted || !threadBest || !contextBest) return;
  if (!isThreadIdle(threadBest)) return;
  fineWanted = false;
  // The fine frame renders exactly the view of the fast frame on screen,
  // which is already in the volume frame.
  contextBest->setView(fineView, false);
  auto* request = new isVRRequest();
  request->context = contextBest.get();
  request->generation = shownGeneration;
  request->autorelease();
  threadBest->addRequest(request);
}

void isActorVR::onFrameBest(NSThreadRequest* request) {
  auto* r = dynamic_cast<isVRRequest*>(request);
  if (!r || !r->frame) return;
  // Only the fine version of the fast frame on screen is shown.
  if (r->cancelled || r->frame->width < 1 || r->generation != shownGeneration) {
    r->frame.reset();
    return;
  }
  uploadFrame(r->frame.get());
  r->frame.reset();
}

}  // namespace isImageSDK
