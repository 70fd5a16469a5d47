// Process-wide list of measurement records (ROIs). Each record is held with
// one reference. The measurement code registers its records here; the
// imaging shutdown clears and releases the manager.
#pragma once

#include <vector>

#include "engine/cocos2d.h"

namespace isImageSDK {

class isROIManager : public cocos2d::Ref {
 public:
  // The singleton, created on first use. UI thread only.
  static isROIManager* getInstance();
  // Clears, releases and forgets the singleton when it exists, so that a
  // later `getInstance` starts with an empty manager.
  static void destroyInstance();

  ~isROIManager() override;
  virtual bool init();
  // Releases every record and empties the list.
  virtual void clear();

  // Appends the record with a reference added; nothing when it is listed.
  void addROI(cocos2d::Ref* record);

  std::vector<cocos2d::Ref*> rois;

 protected:
  isROIManager() = default;
};

}  // namespace isImageSDK
