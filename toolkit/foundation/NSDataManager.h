// Data objects: long-lived background services woken once a second by the
// data-object manager, which holds them, ticks them and stops them.
#pragma once

#include "engine/cocos2d.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/UIHttpPhisical.h"

namespace NSUI {

// Base of the data objects. A derived object registers itself in its init by
// appending itself to NSDataManager::getInstance()->dataObjects (the list
// retains it), sets its own tickInterval and counts ticks in update(). Its
// HTTP requests go through the mix-in and come back to onHttpResponse.
class NSDatas : public cocos2d::Ref, public UIJson, public UIHttpPhisical {
 public:
  NSDatas();
  // Cancels this object's HTTP requests, as stop() does.
  ~NSDatas() override;

  // Makes this object the owner of its HTTP requests; tickInterval = 1,
  // tickCount = 0.
  virtual bool init();
  // Cancels every HTTP request of this object.
  virtual void stop();
  // The tick, once a second on the UI thread; empty here.
  virtual void update(float dt);

  int tickInterval = 1;
  int tickCount = 0;

 protected:
  void cancelHttpRequests();
};

class NSDataManager : public cocos2d::Ref {
 public:
  // The singleton, made on first use (UI thread). After purgeSingletons()
  // this returns null: code that may run during teardown checks the result.
  static NSDataManager* getInstance();

  NSDataManager();
  ~NSDataManager() override;

  // scheduled = false.
  virtual bool init();
  // Stops every data object, releases them all and unschedules the tick.
  virtual void stop();

  // Switches the tick "_nsDataManager" (every 1.0 s, first after 0.5 s) on
  // or off.
  void setEnabled(bool on);
  // The tick: update() of every object registered when it began, in order.
  void update(float dt);

  // Stops and releases the singleton and stops getInstance() from making a
  // new one. Part of the application teardown (purgeSingletons).
  static void purgeInstance();

  cocos2d::Vector<NSDatas*> dataObjects;
  bool scheduled = false;
};

}  // namespace NSUI
