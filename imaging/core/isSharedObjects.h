// Process-wide registry of imaging objects that the screens look up again by
// name: the series cache readers (and with them their image data) are
// registered under the series id. The viewer screen's loading job registers
// its readers from its own thread, so the list is guarded by a lock of its
// own; getInstance() itself belongs on the UI thread (the screen asks for
// the registry before it starts the job).
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "imaging/core/isObject.h"

namespace isImageSDK {

class isSharedObjects : public cocos2d::Ref {
 public:
  // The singleton, created on first use.
  static isSharedObjects* getInstance();

  ~isSharedObjects() override;
  virtual bool init();
  // Releases every registered object and empties the list.
  virtual void clear();

  // Registers the object with a reference added; nothing when that very
  // object is registered already.
  void addObject(isObject* object);
  // The first registered object of that name (no reference added), or null.
  isObject* getObjectByName(const std::string& name) const;
  // Removes and releases the first registered object of that name.
  void removeObjectByName(const std::string& name);

  // The registered objects (each holds one reference), guarded by `lock`;
  // readers of the vector itself hold it while another thread may register.
  std::vector<isObject*> objects;
  mutable std::recursive_mutex lock;

 protected:
  isSharedObjects() = default;
};

// Releases the process-wide imaging objects at teardown: the registry, the
// ROI manager and the list of hanging protocols. A later use of any of them
// starts empty.
void shutdown();

}  // namespace isImageSDK
