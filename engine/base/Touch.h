// One touch point. Locations are in design units, origin bottom-left, y up.
#pragma once

#include "engine/base/Ref.h"
#include "engine/math/Vec2.h"

NS_CC_BEGIN

class Touch : public Ref {
 public:
  // How a layer receives touches.
  enum class DispatchMode { ALL_AT_ONCE, ONE_BY_ONE };

  Touch() = default;

  Vec2 getLocation() const { return _point; }
  Vec2 getPreviousLocation() const { return _prevPoint; }
  Vec2 getStartLocation() const { return _startPoint; }
  // getLocation() - getPreviousLocation().
  Vec2 getDelta() const { return _point - _prevPoint; }
  // The same locations; there is no separate view space (design units are
  // window pixels with the origin bottom-left).
  Vec2 getLocationInView() const { return _point; }
  Vec2 getPreviousLocationInView() const { return _prevPoint; }
  Vec2 getStartLocationInView() const { return _startPoint; }

  int getID() const { return _id; }
  int getId() const { return _id; }

  // The first call sets start = previous = current; later calls move the
  // current location to the previous one first.
  void setTouchInfo(int id, float x, float y);
  // Overwrites the current location only, so the next platform move reports
  // it as the previous location.
  void setLocation(const Vec2& location) { _point = location; }

  // Seconds since the epoch (low 32 bits) of the last input event of any
  // kind. Any thread.
  static unsigned int getTimeStamp();
  // Called by the view for every input event.
  static void updateTimeStamp();

 private:
  int _id = 0;
  bool _startPointCaptured = false;
  Vec2 _startPoint;
  Vec2 _point;
  Vec2 _prevPoint;
};

NS_CC_END
