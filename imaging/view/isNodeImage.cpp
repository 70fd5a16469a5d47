#include "imaging/view/isNodeImage.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "imaging/core/isImageData.h"
#include "imaging/core/isImageTypes.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace isImageSDK {

namespace {
const char* const kCineKey = "isNodeImage_cine";
}

isNodeImage* isNodeImage::create() {
  auto* node = new (std::nothrow) isNodeImage();
  if (node && node->init()) {
    node->autorelease();
    return node;
  }
  delete node;
  return nullptr;
}

isNodeImage::~isNodeImage() {
  if (auto* nc = NSUI::NSNotificationCenter::getInstance()) nc->removeAllObservers(this);
  releaseAll();
}

bool isNodeImage::init() {
  if (!Sprite::init()) return false;
  enableDepthTest(true);
  removeCameraMask(1, true);
  setFlipY(true);
  sliceRecord = nullptr;
  textureDirty = false;
  sourceModified = false;
  frameAdvanced = false;
  frameIndex = 0;
  cinePlaying = false;
  cineTickCount = 0;
  cineInterval = 60;
  cineSender = nullptr;
  return true;
}

void isNodeImage::releaseAll() {
  if (ownTexture) ownTexture->release();
  ownTexture = nullptr;
  if (clut) clut->release();
  clut = nullptr;
  if (pipelineSource) pipelineSource->release();
  pipelineSource = nullptr;
}

void isNodeImage::cleanup() {
  Node::cleanup();
  unschedule(kCineKey);
  cinePlaying = false;
  if (auto* nc = NSUI::NSNotificationCenter::getInstance()) nc->removeAllObservers(this);
  cineSender = nullptr;
  releaseAll();
}

void isNodeImage::setNotificationSender(cocos2d::Ref* sender) {
  if (sender == cineSender) return;
  auto* nc = NSUI::NSNotificationCenter::getInstance();
  if (!nc) return;
  nc->removeAllObservers(this);
  cineSender = sender;
  notificationSender = sender;
  auto cb = [this](cocos2d::Ref* s, unsigned int id, NSUI::NSNotificationData* d) { onCineNotification(s, id, d); };
  for (int id : {NOTIFY_CINE_TOGGLE, NOTIFY_CINE_PRIOR, NOTIFY_CINE_NEXT}) nc->addObserver(this, sender, cb, id);
}

isClut* isNodeImage::setClut(isClut* table) {
  if (table) table->retain();
  if (clut) clut->release();
  clut = table;
  if (clut) clut->eagerRebuild = false;
  return table;
}

void isNodeImage::setPipelineSource(isFilterObject* source) {
  if (source) source->retain();
  if (pipelineSource) pipelineSource->release();
  pipelineSource = source;
}

void isNodeImage::applyTexture(cocos2d::Texture2D* texture) {
  Sprite::setTexture(texture);
  const cocos2d::Size size = texture->getContentSize();
  setTextureRect(cocos2d::Rect(0, 0, size.width, size.height));
}

void isNodeImage::setSliceRecord(SliceRecord* record) {
  sliceRecord = record;
  if (record && record->pixelsLoaded) {
    frameIndex = 0;
    cocos2d::Texture2D* texture = updateTexture();
    if (!texture) return;
    applyTexture(texture);
    setScaleX(record->spacingX);
    setScaleY(record->spacingY);
    // Texel centres on pixel centres: pixel (i, j) of the slice lies at
    // (i × sx, j × sy) in slice millimetres, as everywhere else.
    cocos2d::Mat4 shift;
    cocos2d::Mat4::createTranslation(-record->spacingX * 0.5f, -record->spacingY * 0.5f, 0.0f, &shift);
    setImageMatrix(record->matrix * shift);
  } else if (record) {
    setScaleX(0.0001f);
    setScaleY(0.0001f);
  }
  stopCine();
  if (record) {
    auto* nc = NSUI::NSNotificationCenter::getInstance();
    const int many = record->frameCount > 1 ? 1 : 0;
    if (nc) {
      for (int id : {NOTIFY_CINE_VISIBLE_9050, NOTIFY_CINE_VISIBLE_9051, NOTIFY_CINE_VISIBLE_9052})
        nc->postNotificationInt(this, id, many, cineSender, true);
    }
  }
}

void isNodeImage::stopCine() {
  frameIndex = 0;
  if (cinePlaying) {
    cinePlaying = false;
    unschedule(kCineKey);
    if (auto* nc = NSUI::NSNotificationCenter::getInstance())
      nc->postNotificationInt(this, NOTIFY_CINE_STATE, 0, cineSender, true);
  }
}

void isNodeImage::refreshTexture() {
  cocos2d::Texture2D* texture = updateTexture();
  if (texture) applyTexture(texture);
}

bool isNodeImage::mapPixels(std::vector<uint8_t>& rgb) {
  if (!clut || !sliceRecord) return false;
  SliceRecord* r = sliceRecord;
  clut->setValueType(r->elementType);
  clut->updateLookupTable();
  const int64_t n = static_cast<int64_t>(r->width) * r->height;
  if (n <= 0) return false;
  const int frames = r->frameCount > 0 ? r->frameCount : 1;
  const int frame = frameIndex >= 0 && frameIndex < frames ? frameIndex : 0;

  rgb.resize(static_cast<size_t>(3 * n));
  const bool ready = r->pixelsLoaded && r->pixels;
  if (r->elementType == ELEMENT_RGB) {
    // An RGB record whose pixels have not arrived is black, like the others.
    if (ready)
      std::memcpy(rgb.data(), static_cast<const uint8_t*>(r->pixels) + 3 * n * frame, static_cast<size_t>(3 * n));
    else
      std::memset(rgb.data(), 0, rgb.size());
    return true;
  }
  if (!ready) {
    const uint8_t fill = (r->modality == MODALITY_PT || r->modality == MODALITY_NM) ? 255 : 0;
    std::memset(rgb.data(), fill, rgb.size());
    return true;
  }
  const uint32_t* colours = clut->colorTable;
  uint8_t* out = rgb.data();
  auto put = [colours, out](int64_t i, int grey) {
    const uint32_t c = colours[grey];
    out[3 * i] = static_cast<uint8_t>(c >> 24);
    out[3 * i + 1] = static_cast<uint8_t>(c >> 16);
    out[3 * i + 2] = static_cast<uint8_t>(c >> 8);
  };
  const uint8_t* table = clut->lookupTable;
  if (!table && r->elementType != ELEMENT_FLOAT) return false;
  switch (r->elementType) {
    case ELEMENT_UINT8: {
      const uint8_t* p = static_cast<const uint8_t*>(r->pixels) + n * frame;
      for (int64_t i = 0; i < n; ++i) put(i, table[p[i] - clut->rangeMin]);
      break;
    }
    case ELEMENT_INT16: {
      const int16_t* p = static_cast<const int16_t*>(r->pixels) + n * frame;
      const int offset = -clut->rangeMin;
      for (int64_t i = 0; i < n; ++i) put(i, table[p[i] + offset]);
      break;
    }
    case ELEMENT_UINT16: {
      const uint16_t* p = static_cast<const uint16_t*>(r->pixels) + n * frame;
      for (int64_t i = 0; i < n; ++i) put(i, table[p[i] - clut->rangeMin]);
      break;
    }
    case ELEMENT_FLOAT: {
      const float* p = static_cast<const float*>(r->pixels) + n * frame;
      for (int64_t i = 0; i < n; ++i) put(i, clut->mapFloat(p[i]));
      break;
    }
    default:
      std::memset(rgb.data(), 0, rgb.size());
      break;
  }
  return true;
}

cocos2d::Texture2D* isNodeImage::buildTexture() {
  if (!mapPixels(mappedPixels)) return nullptr;
  auto* texture = new (std::nothrow) cocos2d::Texture2D();
  if (!texture) return nullptr;
  texture->autorelease();
  const SliceRecord* r = sliceRecord;
  if (!texture->initWithData(mappedPixels.data(), static_cast<ssize_t>(mappedPixels.size()),
                             cocos2d::Texture2D::PixelFormat::RGB888, r->width, r->height,
                             cocos2d::Size(static_cast<float>(r->width), static_cast<float>(r->height))))
    return nullptr;
  return texture;
}

cocos2d::Texture2D* isNodeImage::updateTexture() {
  // The node's own texture of the same size takes the new pixels in place;
  // otherwise a new one is made.
  cocos2d::Texture2D* current = getTexture();
  const SliceRecord* r = sliceRecord;
  if (current && current == ownTexture && r && current->getPixelsWide() == r->width &&
      current->getPixelsHigh() == r->height && current->getPixelFormat() == cocos2d::Texture2D::PixelFormat::RGB888) {
    if (!mapPixels(mappedPixels)) return nullptr;
    if (current->updateWithData(mappedPixels.data(), 0, 0, r->width, r->height)) return current;
  }
  cocos2d::Texture2D* texture = buildTexture();
  // Held, so that its address cannot come back as some other texture.
  if (texture) texture->retain();
  if (ownTexture) ownTexture->release();
  ownTexture = texture;
  return texture;
}

void isNodeImage::visit(cocos2d::Renderer* renderer, const cocos2d::Mat4& parentTransform, uint32_t parentFlags) {
  if (!isVisible() || !isVisitableByVisitingCamera()) return;
  if (pipelineSource &&
      (sourceModified || pipelineSource->isInformationModified() || pipelineSource->isDataModified())) {
    std::unique_lock<std::recursive_mutex> lock;
    if (sourceMutex) lock = std::unique_lock<std::recursive_mutex>(*sourceMutex);
    pipelineSource->update();
    isFilterObject* out = pipelineSource->getOutput();
    SliceRecord* record = nullptr;
    if (out) {
      out->update();
      auto* image = dynamic_cast<isImageData*>(out);
      if (image && !image->slices.empty()) record = image->slices.front();
    }
    if (lock.owns_lock()) lock.unlock();
    setSliceRecord(record);
    sourceModified = false;
    textureDirty = false;
  } else if (textureDirty) {
    // A window or colour change redraws the frame shown; only a new record
    // stops the cine and returns to the first frame.
    refreshTexture();
    textureDirty = false;
  }
  frameAdvanced = false;
  Node::visit(renderer, parentTransform, parentFlags);
}

bool isNodeImage::canPlay() const {
  return sliceRecord && sliceRecord->pixelsLoaded && sliceRecord->frameCount > 1;
}

void isNodeImage::onCineNotification(cocos2d::Ref*, unsigned int id, NSUI::NSNotificationData*) {
  auto* nc = NSUI::NSNotificationCenter::getInstance();
  if (id == static_cast<unsigned>(NOTIFY_CINE_TOGGLE)) {
    if (cinePlaying) {
      cinePlaying = false;
      unschedule(kCineKey);
    } else if (canPlay()) {
      cinePlaying = true;
      cineTickCount = 0;
      schedule([this](float dt) { cineTick(dt); }, 0.005f, CC_REPEAT_FOREVER, 0.1f, kCineKey);
    }
    if (nc) nc->postNotificationInt(this, NOTIFY_CINE_STATE, cinePlaying ? 1 : 0, cineSender, true);
    return;
  }
  const bool prior = id == static_cast<unsigned>(NOTIFY_CINE_PRIOR);
  if (!prior && id != static_cast<unsigned>(NOTIFY_CINE_NEXT)) return;
  if (!sliceRecord) return;
  if (cinePlaying) {
    cineInterval = prior ? std::min(cineInterval + 20, 120) : std::max(cineInterval - 20, 5);
    cineTickCount = 0;
    return;
  }
  const int frames = sliceRecord->frameCount > 0 ? sliceRecord->frameCount : 1;
  frameIndex = prior ? (frameIndex - 1 < 0 ? frames - 1 : frameIndex - 1) : (frameIndex + 1 >= frames ? 0 : frameIndex + 1);
  refreshTexture();
  frameAdvanced = true;
}

void isNodeImage::cineTick(float) {
  if (!cinePlaying) return;
  if (canPlay() && !frameAdvanced && cineInterval > 0 && cineTickCount % cineInterval == 0) {
    frameIndex = frameIndex + 1 >= sliceRecord->frameCount ? 0 : frameIndex + 1;
    refreshTexture();
    frameAdvanced = true;
  }
  ++cineTickCount;
}

}  // namespace isImageSDK
