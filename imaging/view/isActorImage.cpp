#include "imaging/view/isActorImage.h"

#include <algorithm>
#include <cmath>

#include "imaging/core/isBinReader.h"
#include "imaging/core/isSeriesCache.h"
#include "imaging/view/isNodeImageByShader.h"
#include "imaging/view/isOrientation.h"
#include "imaging/view/isRenderWindowBase.h"
#include "toolkit/foundation/NSFormat.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace isImageSDK {

using cocos2d::Vec3;

namespace {

NSUI::NSNotificationCenter* centre() { return NSUI::NSNotificationCenter::getInstance(); }

std::string jsonOf(std::initializer_list<std::pair<const char*, std::string>> pairs) {
  std::string text;
  for (auto& [key, value] : pairs) NSUI::UIJson::setJsonString(text, key, value);
  return text;
}

int truncated(float v) {
  if (!std::isfinite(v)) return 0;
  return static_cast<int>(std::clamp(std::trunc(static_cast<double>(v)), -2147483647.0, 2147483647.0));
}

}  // namespace

isActorImage::~isActorImage() { isActorImage::clear(); }

bool isActorImage::init() {
  if (!isActorObject::init()) return false;
  // The slice program's node when the program can be had; the CPU node
  // otherwise (no GL context, program files missing or not linking).
  imageNode = nullptr;
  if (isNodeImageByShader* shaderNode = isNodeImageByShader::create()) {
    if (isNodeImageByShader::canCreateProgram()) imageNode = shaderNode;
  }
  if (!imageNode) imageNode = isNodeImage::create();
  if (!imageNode) return false;
  imageNode->retain();
  imageNode->setTexture("imageSDK/spriteExample.png");
  imageNode->setAnchorPoint(cocos2d::Vec2::ANCHOR_BOTTOM_LEFT);
  addRenderNode(imageNode);
  clut = isClut::create();
  if (!clut) return false;
  imageNode->setClut(clut);
  slabThickness = 1.0f;
  interpolationMode = 1;
  planeOrientation = 0;
  plane = isImagePlane::create();
  reslice = isImageReslice2D::create();
  imageSlice = isImageSlice::create();
  if (!plane || !reslice || !imageSlice) return false;
  imageSlice->setInputData(plane->getOutputImage());
  planeMode = true;
  imageNode->setPipelineSource(imageSlice);
  if (auto* nc = centre())
    nc->addObserver(this, this, [this](cocos2d::Ref* s, unsigned int i, NSUI::NSNotificationData* d) { onNotification(s, i, d); },
                    NOTIFY_SLICE_ARRIVED);
  return true;
}

void isActorImage::clear() {
  isActorObject::clear();
  if (auto* nc = centre()) nc->removeAllObservers(this);
  // The slice stage reads the plane's or the reslice's output: it goes first.
  if (imageNode) imageNode->setPipelineSource(nullptr);
  if (imageSlice) imageSlice->release();
  imageSlice = nullptr;
  if (imageNode) imageNode->release();
  imageNode = nullptr;
  if (imageData) imageData->release();
  imageData = nullptr;
  if (reslice) reslice->release();
  reslice = nullptr;
  if (plane) plane->release();
  plane = nullptr;
}

void isActorImage::attach(isRenderWindowBase* window) {
  isActorObject::attach(window);
  if (clut) clut->notificationObject = renderWindow;
  auto* nc = centre();
  if (!nc) return;
  nc->removeObserver(NOTIFY_ROI_INFO, this);
  if (window) {
    auto cb = [this](cocos2d::Ref* s, unsigned int i, NSUI::NSNotificationData* d) { onNotification(s, i, d); };
    nc->addObserver(this, window, cb, NOTIFY_ROI_INFO);
    nc->addObserver(this, nullptr, cb, NOTIFY_LOADING_PROGRESS);
  }
  if (imageNode) imageNode->setNotificationSender(window);
}

void isActorImage::setVisible(bool value) {
  visible = value;
  if (imageNode) imageNode->setVisible(value);
}

// --------------------------------------------------------------- data

isImageData* isActorImage::currentFrame() {
  if (!imageData) return nullptr;
  isImageData* first = imageData->getFirstFrame();
  if (first && first->isMultiFrame()) {
    if (isImageData* frame = first->getFrame(first->currentFrame)) return frame;
  }
  return imageData;
}

void isActorImage::setImageData(isImageData* data) {
  if (!data || data == imageData) return;
  data->retain();
  if (imageData) imageData->release();
  imageData = data;
  plane->setInputData(nullptr);
  reslice->setInputData(nullptr);
  planeMode = true;
  plane->setInputData(currentFrame());
  imageSlice->setInputData(plane->getOutputImage());
  // Pulls that read the reader's slices hold its pixel lock.
  sourceMutex = nullptr;
  for (isFilterObject* stage = data; stage; stage = stage->input)
    if (auto* reader = dynamic_cast<isBinReader*>(stage)) {
      sourceMutex = &reader->dataMutex;
      break;
    }
  imageNode->setSourceMutex(sourceMutex);

  // The table learns the data's type first, so that a float window is kept
  // exactly rather than truncated.
  data->updateInformation();
  if (!data->slices.empty()) clut->setValueType(data->slices.front()->elementType);
  float width = 255.0f, centreValue = 128.0f;
  data->getDefaultWindow(width, centreValue);
  clut->setWindow(width, centreValue);
  imageNode->markWindowDirty();

  sliceIndex = 0;
  showOriginalPlane();
  setSliceIndex(std::max(0, plane->getSliceCount() / 2));
  postJsonNotification(NOTIFY_ORIENTATION_CHANGED, jsonOf({{"orient", "1"}}), true);
}

void isActorImage::setFrameIndex(int n) {
  if (!imageData) return;
  isImageData* first = imageData->getFirstFrame();
  const int count = first && first->isMultiFrame() ? first->frameCount : 1;
  if (n < 0 || n >= count) return;
  if (first) first->currentFrame = n;
  isImageData* frame = currentFrame();
  if (planeMode) {
    plane->setInput(frame);
    plane->inputImage = frame;
    plane->dataModified = true;
  } else {
    reslice->setInput(frame);
    reslice->inputImage = frame;
    reslice->dataModified = true;
  }
}

SliceRecord* isActorImage::getOutputSlice() {
  if (!imageData) return nullptr;
  isImageData* out = imageSlice->getOutputImage();
  if (!out) return nullptr;
  out->updateInformation();
  if (out->slices.empty()) return nullptr;
  out->update();
  return out->slices.empty() ? nullptr : out->slices.front();
}

SliceRecord* isActorImage::getOutputSliceInfo() {
  if (!imageData) return nullptr;
  isImageData* out = imageSlice->getOutputImage();
  if (!out) return nullptr;
  out->updateInformation();
  return out->slices.empty() ? nullptr : out->slices.front();
}

void isActorImage::getSliceCenter(Vec3* out) {
  if (!out) return;
  *out = Vec3::ZERO;
  if (!imageData || !imageSlice->inputImage) return;
  isImageData* in = imageSlice->inputImage;
  in->updateInformation();
  if (in->slices.empty()) return;
  const SliceRecord* r = in->slices.front();
  r->matrix.transformPoint(Vec3((r->width - 1) * r->spacingX * 0.5f, (r->height - 1) * r->spacingY * 0.5f, 0.0f), out);
}

bool isActorImage::getSliceCorners(Vec3* out) {
  if (!out || !imageSlice || !imageSlice->inputImage) return false;
  isImageData* in = imageSlice->inputImage;
  in->updateInformation();
  if (in->slices.empty()) return false;
  const SliceRecord* r = in->slices.front();
  const float w = (r->width - 1) * r->spacingX, h = (r->height - 1) * r->spacingY;
  const Vec3 local[4] = {Vec3(0, 0, 0), Vec3(w, 0, 0), Vec3(w, h, 0), Vec3(0, h, 0)};
  for (int i = 0; i < 4; ++i) r->matrix.transformPoint(local[i], &out[i]);
  return true;
}

bool isActorImage::hasValidSlice() {
  if (!planeMode) return true;
  return sliceIndex >= 0 && sliceIndex < plane->getSliceCount();
}

// --------------------------------------------------------------- planes

float isActorImage::defaultThickness(int orientation) {
  if (!imageData || !imageData->isVolume()) return 1.0f;
  switch (orientation) {
    case PLANE_SAGITTAL: return imageData->spacing[0];
    case PLANE_CORONAL: return imageData->spacing[1];
    default: return imageData->spacing[2];
  }
}

void isActorImage::showPlane(int orientation) {
  if (!imageData) return;
  const bool leavingOblique = !planeMode;
  if (!planeMode) {
    plane->setInputData(currentFrame());
    reslice->setInputData(nullptr);
    imageSlice->setInputData(plane->getOutputImage());
    if (plane->getInterpolationMode() != interpolationMode) plane->setInterpolationMode(interpolationMode);
    plane->setSlabThickness(slabThickness);
    // Back on the slice the actor counts, not the plane's first one.
    plane->setSliceIndex(sliceIndex);
    planeMode = true;
  }
  if (planeOrientation == orientation) {
    if (orientation == PLANE_ORIGINAL) setSlabThickness(defaultThickness(PLANE_ORIGINAL));
    // Back from an oblique plane: the measurements of this plane return.
    if (leavingOblique) {
      postJsonNotification(NOTIFY_ORIENTATION_CHANGED, jsonOf({{"orient", std::to_string(orientation + 1)}}), true);
      postJsonNotification(NOTIFY_SLICE_CHANGED, jsonOf({{"index", std::to_string(sliceIndex + 1)}}), true);
    }
    return;
  }
  plane->setOrientation(orientation);
  planeOrientation = orientation;
  postJsonNotification(NOTIFY_ORIENTATION_CHANGED, jsonOf({{"orient", std::to_string(orientation + 1)}}), true);
  const int count = plane->getSliceCount();
  int n = count / 2;
  if (n >= count) n = count - 1;
  if (n < 0) n = 0;
  setSliceIndex(n);
  setSlabThickness(defaultThickness(orientation));
}

void isActorImage::resetSlice() {
  if (!imageData) return;
  showOriginalPlane();
  setSliceIndex(std::max(0, plane->getSliceCount() / 2));
}

void isActorImage::setSliceIndex(int n) {
  if (!imageData || !planeMode) return;
  sliceIndex = n;
  const int count = plane->getSliceCount();
  if (n < 0 || n >= count) {
    setVisible(false);
    return;
  }
  plane->setSliceIndex(n);
  setVisible(true);

  isImageData* out = plane->getOutputImage();
  std::unique_lock<std::recursive_mutex> lock;
  if (sourceMutex) lock = std::unique_lock<std::recursive_mutex>(*sourceMutex);
  if (out) {
    plane->updateInformation();
    if (!out->slices.empty()) {
      plane->update();
      // The plane was pulled here, not through the slice stage: the stage
      // must still learn that its input changed.
      imageSlice->informationModified = true;
      imageSlice->dataModified = true;
      if (out->slices.empty()) return;
      const SliceRecord* record = out->slices.front();
      const bool waiting = !record->pixelsLoaded;
      const std::string path = record->filePath;
      updatePositionText(record);
      if (lock.owns_lock()) lock.unlock();
      if (waiting) {
        // The first source up the chain loads this file next.
        isFilterObject* stage = plane->input;
        while (stage && !stage->isSource()) stage = stage->input;
        if (auto* source = dynamic_cast<isImageFilter*>(stage)) source->prioritizeImage(this, path);
      }
      if (auto* nc = centre()) nc->postNotificationText(this, NOTIFY_OVERLAY_SLICE_POSITION, positionText, windowObject(), true);
    }
  }
  postJsonNotification(NOTIFY_OVERLAY_SLICE_INDEX,
                       jsonOf({{"index", std::to_string(n + 1)}, {"count", std::to_string(count)}}), false);
  postJsonNotification(NOTIFY_SLICE_CHANGED, jsonOf({{"index", std::to_string(n + 1)}}), true);
}

void isActorImage::updatePositionText(const SliceRecord* record) {
  const float* m = record->matrix.m;
  const float A[3] = {m[0], m[1], m[2]};
  const float B[3] = {m[4], m[5], m[6]};
  char labels[12];
  computeOrientationLabels(A, B, labels, record->feetFirstCode, record->positionCode);
  float p[3] = {m[12], m[13], m[14]};
  record->toPatientFrame(p);
  switch (orientationLetterSum(labels)) {
    case 303:
      positionText = p[2] > 0 ? NSUI::formatString("S:%.1fmm", p[2]) : NSUI::formatString("I:%.1fmm", 0.0f - p[2]);
      break;
    case 301:
      positionText = p[0] > 0 ? NSUI::formatString("L:%.1fmm", p[0]) : NSUI::formatString("R:%.1fmm", 0.0f - p[0]);
      break;
    case 314:
      positionText = p[1] > 0 ? NSUI::formatString("P:%.1fmm", p[1]) : NSUI::formatString("A:%.1fmm", 0.0f - p[1]);
      break;
    default:
      positionText.clear();
      break;
  }
}

void isActorImage::setSlicePosition(float x, float y, float z) {
  if (!imageData || !planeMode) return;
  setSliceIndex(plane->getSliceIndexForPosition(x, y, z));
}

void isActorImage::setResliceMatrix(const cocos2d::Mat4& m) {
  if (!imageData) return;
  setVisible(true);
  if (planeMode) {
    plane->setInputData(nullptr);
    reslice->setInputData(currentFrame());
    imageSlice->setInputData(reslice->getOutputImage());
    const int mode = interpolationMode == 2 ? INTERPOLATION_CUBIC : INTERPOLATION_LINEAR;
    if (reslice->interpolation != mode) {
      reslice->interpolation = mode;
      reslice->dataModified = true;
    }
    reslice->setSlabThickness(slabThickness);
    planeMode = false;
    postJsonNotification(NOTIFY_OVERLAY_SLICE_INDEX, jsonOf({{"index", "-1"}, {"count", "0"}}), false);
    // Oblique planes are keyed by the plane itself, so that measurements
    // drawn on one are filed under it and shown only there.
    postJsonNotification(NOTIFY_ORIENTATION_CHANGED, jsonOf({{"orient", "4"}}), true);
  }
  imageData->updateInformation();
  reslice->setResliceMatrix(imageData->worldMatrix.getInversed() * m);
  std::string printed;
  for (float v : m.m) printed += NSUI::formatString("%.2f", static_cast<double>(v));
  postJsonNotification(NOTIFY_SLICE_CHANGED,
                       jsonOf({{"index", std::to_string(static_cast<int32_t>(NSUI::foldedHash(printed)))}}), true);
}

void isActorImage::setSlabThickness(float mm) {
  slabThickness = mm;
  if (planeMode)
    plane->setSlabThickness(mm);
  else
    reslice->setSlabThickness(mm);
  if (auto* nc = centre()) nc->postNotificationFloat(this, NOTIFY_OVERLAY_SLAB_THICKNESS, mm, windowObject(), true);
}

void isActorImage::setInterpolationMode(int mode) {
  if (!imageData || mode == interpolationMode) return;
  interpolationMode = mode;
  if (planeMode) {
    if (plane->getInterpolationMode() != mode) plane->setInterpolationMode(mode);
  } else {
    const int m = mode == 2 ? INTERPOLATION_CUBIC : INTERPOLATION_LINEAR;
    if (reslice->interpolation != m) {
      reslice->interpolation = m;
      reslice->dataModified = true;
    }
  }
}

// --------------------------------------------------------------- window

void isActorImage::setWindow(float width, float centreValue) {
  clut->setWindow(width, centreValue);
  imageNode->markWindowDirty();
}

void isActorImage::adjustWindow(float dWidth, float dCentre) {
  if (!imageData) return;
  imageData->updateInformation();
  if (imageData->slices.empty()) return;
  const SliceRecord* first = imageData->slices.front();
  float factor = 1.0f;
  if (first->elementType == ELEMENT_INT16 || first->elementType == ELEMENT_UINT16)
    factor = 10.0f;
  else if (first->elementType == ELEMENT_FLOAT)
    factor = 200.0f;
  dWidth *= factor;
  dCentre *= factor;
  const float w = static_cast<float>(truncated(clut->windowWidth));
  const float c = static_cast<float>(truncated(clut->windowCentre));
  float newWidth, newCentre;
  if (first->modality == MODALITY_PT && c - w * 0.5f <= 1.0f) {
    newCentre = std::max(c + dCentre, 2.0f);
    newWidth = 2.0f * newCentre;
  } else {
    newWidth = std::max(w + dWidth, 2.0f);
    newCentre = c + dCentre;
  }
  clut->setWindow(newWidth, newCentre);
  imageNode->markWindowDirty();
}

void isActorImage::setColorTable(const uint8_t* rgb) {
  if (!clut || !rgb || !clut->colorTable) return;
  for (int i = 0; i < 256; ++i)
    clut->colorTable[i] = (static_cast<uint32_t>(rgb[3 * i]) << 24) | (static_cast<uint32_t>(rgb[3 * i + 1]) << 16) |
                          (static_cast<uint32_t>(rgb[3 * i + 2]) << 8) | 255u;
  imageNode->markColorDirty();
}

void isActorImage::setClutMode(int mode) {
  if (!clut || mode == clut->curveMode) return;
  clut->curveMode = mode;
  clut->lookupDirty = true;
  if (clut->eagerRebuild) clut->updateLookupTable();
  imageNode->markColorDirty();
}

void isActorImage::postViewState() {
  if (!imageData) return;
  auto* nc = centre();
  if (!nc) return;
  nc->postNotificationFloat(this, NOTIFY_OVERLAY_SLAB_THICKNESS, slabThickness, windowObject(), true);
  nc->postNotificationText(this, NOTIFY_OVERLAY_SLICE_POSITION, positionText, windowObject(), true);
  imageData->updateInformation();
  const bool isFloat = !imageData->slices.empty() && imageData->slices.front()->elementType == ELEMENT_FLOAT;
  std::string ww, wl;
  if (isFloat) {
    ww = NSUI::formatString("%.1f", clut->windowWidth);
    wl = NSUI::formatString("%.1f", clut->windowCentre);
  } else {
    ww = NSUI::formatString("%i", truncated(clut->windowWidth));
    wl = NSUI::formatString("%i", truncated(clut->windowCentre));
  }
  nc->postNotificationText(this, NOTIFY_OVERLAY_WINDOW, jsonOf({{"ww", ww}, {"wl", wl}}), windowObject(), false);
}

void isActorImage::postJsonNotification(int id, const std::string& text, bool immediate) {
  auto* nc = centre();
  if (!nc) return;
  nc->cancelNotifications(this, id, windowObject());
  nc->postNotificationText(this, id, text, windowObject(), immediate);
}

// --------------------------------------------------------------- notifications

void isActorImage::onNotification(cocos2d::Ref*, unsigned int id, NSUI::NSNotificationData* data) {
  if (id == static_cast<unsigned>(NOTIFY_ROI_INFO)) {
    std::unique_lock<std::recursive_mutex> lock;
    if (sourceMutex) lock = std::unique_lock<std::recursive_mutex>(*sourceMutex);
    answerRegionRequest(data);
    return;
  }
  if (id == static_cast<unsigned>(NOTIFY_SLICE_ARRIVED)) {
    if (!planeMode || !data) return;
    std::unique_lock<std::recursive_mutex> lock;
    if (sourceMutex) lock = std::unique_lock<std::recursive_mutex>(*sourceMutex);
    SliceRecord* record = getOutputSlice();
    if (!record || record->pixelsLoaded) return;
    if (static_cast<int>(foldedHash(record->filePath)) != data->indexValue) return;
    plane->informationModified = true;
    plane->dataModified = true;
    imageNode->sourceModified = true;
    return;
  }
  if (id == static_cast<unsigned>(NOTIFY_LOADING_PROGRESS)) {
    if (!imageData || !data) return;
    if (static_cast<int>(foldedHash(imageData->getIdentifier())) != data->indexValue) return;
    if (auto* nc = centre()) nc->postNotification(this, NOTIFY_OVERLAY_LOAD_PROGRESS, data, windowObject(), true);
  }
}

}  // namespace isImageSDK
