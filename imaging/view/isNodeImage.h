// The sprite that shows one slice record: it pulls the record from its
// pipeline source when that changed, maps the pixels on the CPU through the
// colour lookup table into an RGB texture, and plays the frames of a
// multi-frame record on the cine commands of its render window.
#pragma once

#include <mutex>
#include <vector>

#include "imaging/core/SliceRecord.h"
#include "imaging/core/isFilterObject.h"
#include "imaging/view/isClut.h"
#include "imaging/view/isNodeSprite.h"
#include "toolkit/foundation/NSNotificationCenter.h"

namespace isImageSDK {

class isNodeImage : public isNodeSprite {
 public:
  static isNodeImage* create();

  bool init() override;
  void cleanup() override;
  void visit(cocos2d::Renderer* renderer, const cocos2d::Mat4& parentTransform, uint32_t parentFlags) override;
  using cocos2d::Node::visit;
  // Observes the cine commands of s (the render window) and posts under it.
  void setNotificationSender(cocos2d::Ref* sender) override;

  // Shows r: texture, pixel-spacing scale and image matrix (a record whose
  // pixels are not ready shrinks the node to 0.0001); stops the cine and
  // returns to frame 0; posts the cine-button visibility.
  virtual void setSliceRecord(SliceRecord* record);
  virtual isClut* setClut(isClut* table);
  virtual void markWindowDirty() { textureDirty = true; }
  virtual void markColorDirty() { textureDirty = true; }
  // Rebuilds the texture of the current record and frame.
  virtual void refreshTexture();
  // The RGB texture of the current record and frame, autoreleased; null
  // without table, record or pixels.
  virtual cocos2d::Texture2D* buildTexture();

  // Pipeline stage whose output's first slice is shown (retained).
  void setPipelineSource(isFilterObject* source);
  isFilterObject* getPipelineSource() const { return pipelineSource; }
  isClut* getClut() const { return clut; }
  SliceRecord* getSliceRecord() const { return sliceRecord; }
  int getFrameIndex() const { return frameIndex; }
  bool isCinePlaying() const { return cinePlaying; }
  int getCineInterval() const { return cineInterval; }

  // The lock under which the pipeline's source stores pixels from its
  // loading thread; held while the node pulls the pipeline.
  void setSourceMutex(std::recursive_mutex* mutex) { sourceMutex = mutex; }

  bool sourceModified = false;

 protected:
  isNodeImage() = default;
  ~isNodeImage() override;

  void onCineNotification(cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data);
  void cineTick(float dt);
  void stopCine();
  bool canPlay() const;
  // The node's own texture rectangle from a texture.
  void applyTexture(cocos2d::Texture2D* texture);
  void releaseAll();
  // The RGB bytes of the current record and frame through the table.
  bool mapPixels(std::vector<uint8_t>& rgb);
  // buildTexture, or the node's own texture refilled when the size matches.
  cocos2d::Texture2D* updateTexture();

  SliceRecord* sliceRecord = nullptr;  // not retained: belongs to the pipeline output
  isClut* clut = nullptr;              // retained
  isFilterObject* pipelineSource = nullptr;  // retained
  bool textureDirty = false;
  bool frameAdvanced = false;
  int32_t frameIndex = 0;
  bool cinePlaying = false;
  int32_t cineTickCount = 0;
  int32_t cineInterval = 60;
  cocos2d::Ref* cineSender = nullptr;  // not retained
  std::recursive_mutex* sourceMutex = nullptr;
  cocos2d::Texture2D* ownTexture = nullptr;  // last texture this node made; held by the sprite
  std::vector<uint8_t> mappedPixels;
};

}  // namespace isImageSDK
