// Reference lines, view frame and active-view marker of one render window.
// The lines are a cross through a point along two axes, open by the world
// length of 30 pixels around the point, in the colours of the two other
// planes; they hide themselves 5 s after they were last drawn.
#pragma once

#include "engine/cocos2d.h"
#include "imaging/view/isActorObject.h"

namespace NSUI {
class NSNotificationData;
}

namespace isImageSDK {

class isNodeLine;

class isActorCrossLine : public isActorObject {
 public:
  CREATE_FUNC(isActorCrossLine)
  ~isActorCrossLine() override;

  void clear() override;
  bool init() override;
  void attach(isRenderWindowBase* window) override;

  // 0 acquired, 1 sagittal, 2 coronal.
  void setFrameColorIndex(int index);
  int getFrameColorIndex() const { return frameColorIndex; }
  void setFrameVisible(bool shown);
  void setCrossLinesVisible(bool shown);
  // Drawn once; never hidden again.
  void showActiveMarker();

  void onNotification(cocos2d::Ref* sender, unsigned int id, NSUI::NSNotificationData* data);
  void updateCrossLines();
  void scheduleAutoHide(bool on);
  void onAutoHide(float elapsed);

  isNodeLine* getLineNode() const { return lineNode; }
  cocos2d::DrawNode* getMarkerNode() const { return markerNode; }
  cocos2d::DrawNode* getFrameNode() const { return frameNode; }
  const cocos2d::Mat4& getCrossFrame() const { return crossFrame; }
  bool isDirty() const { return dirty; }
  bool isFrameShown() const { return frameShown; }
  bool isMarkerShown() const { return markerShown; }
  bool isLinesShown() const { return linesShown; }
  const cocos2d::Color4F& getColor(int i) const { return colorTable[i]; }

  // Never shorter than this around the cross point, in world units.
  static constexpr float kMinimumGap = 2.0f;

 protected:
  isActorCrossLine() = default;
  void drawFrame();

  isNodeLine* lineNode = nullptr;
  cocos2d::DrawNode* markerNode = nullptr;
  cocos2d::DrawNode* frameNode = nullptr;
  cocos2d::Mat4 crossFrame;
  bool dirty = false;
  bool frameShown = false;
  bool markerShown = false;
  bool linesShown = false;
  cocos2d::Color4F colorTable[3];
  int frameColorIndex = 0;
};

}  // namespace isImageSDK
