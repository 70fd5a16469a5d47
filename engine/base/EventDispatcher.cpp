#include "engine/base/EventDispatcher.h"

#include <algorithm>
#include <unordered_map>

#include "engine/2d/Camera.h"
#include "engine/2d/Node.h"
#include "engine/2d/Scene.h"
#include "engine/base/Director.h"
#include "engine/base/ccLog.h"

NS_CC_BEGIN

// Counts nested dispatches; additions and removals are settled when the
// outermost one ends.
struct EventDispatcher::DispatchGuard {
  explicit DispatchGuard(EventDispatcher* d) : dispatcher(d) {
    dispatcher->retain();
    ++dispatcher->_inDispatch;
  }
  ~DispatchGuard() {
    if (--dispatcher->_inDispatch == 0) {
      for (EventListener* l : dispatcher->_toAdd) {
        if (l->_isRegistered) dispatcher->_listeners.push_back(l);
        else l->release();
      }
      dispatcher->_toAdd.clear();
      if (dispatcher->_needsPurge) dispatcher->purgeRemoved();
    }
    dispatcher->release();
  }
  EventDispatcher* dispatcher;
};

EventDispatcher::EventDispatcher() = default;

EventDispatcher::~EventDispatcher() {
  for (EventListener* l : _listeners) {
    l->_isRegistered = false;
    l->release();
  }
  for (EventListener* l : _toAdd) {
    l->_isRegistered = false;
    l->release();
  }
}

void EventDispatcher::addListener(EventListener* listener) {
  listener->retain();
  listener->_isRegistered = true;
  listener->_order = _nextOrder++;
  if (_inDispatch > 0) _toAdd.push_back(listener);
  else _listeners.push_back(listener);
}

void EventDispatcher::addEventListenerWithSceneGraphPriority(EventListener* listener, Node* node) {
  if (!listener || !node) return;
  if (listener->_isRegistered) {
    log("EventDispatcher: the listener is registered already (use clone())");
    return;
  }
  if (!listener->checkAvailable()) return;
  listener->_node = node;
  listener->_fixedPriority = 0;
  node->_hasSceneGraphListeners = true;
  addListener(listener);
}

void EventDispatcher::addEventListenerWithFixedPriority(EventListener* listener, int fixedPriority) {
  if (!listener) return;
  if (listener->_isRegistered) {
    log("EventDispatcher: the listener is registered already (use clone())");
    return;
  }
  if (fixedPriority == 0) {
    log("EventDispatcher: fixed priority 0 is reserved for the scene graph");
    return;
  }
  if (!listener->checkAvailable()) return;
  listener->_node = nullptr;
  listener->_fixedPriority = fixedPriority;
  addListener(listener);
}

EventListenerCustom* EventDispatcher::addCustomEventListener(const std::string& eventName,
                                                             const std::function<void(EventCustom*)>& callback) {
  EventListenerCustom* l = EventListenerCustom::create(eventName, callback);
  if (l) addEventListenerWithFixedPriority(l, 1);
  return l;
}

void EventDispatcher::removeEventListener(EventListener* listener) {
  if (!listener || !listener->_isRegistered) return;
  listener->_isRegistered = false;
  _paused.erase(listener);
  if (_inDispatch > 0) {
    _needsPurge = true;
    return;
  }
  auto it = std::find(_listeners.begin(), _listeners.end(), listener);
  if (it != _listeners.end()) {
    _listeners.erase(it);
    listener->_node = nullptr;
    listener->release();
  }
}

void EventDispatcher::purgeRemoved() {
  _needsPurge = false;
  std::vector<EventListener*> keep;
  keep.reserve(_listeners.size());
  std::vector<EventListener*> drop;
  for (EventListener* l : _listeners) (l->_isRegistered ? keep : drop).push_back(l);
  _listeners.swap(keep);
  for (EventListener* l : drop) {
    l->_node = nullptr;
    l->release();
  }
}

namespace {
void collectDescendants(Node* node, std::vector<Node*>& out) {
  std::vector<Node*> order;
  node->collectVisitOrder(order);
  out.insert(out.end(), order.begin(), order.end());
}
}  // namespace

void EventDispatcher::removeEventListenersForTarget(Node* target, bool recursive) {
  if (!target) return;
  std::vector<Node*> nodes{target};
  if (recursive) {
    nodes.clear();
    collectDescendants(target, nodes);
  }
  for (Node* n : nodes) {
    auto matches = [n](EventListener* l) { return l->_isRegistered && l->_node == n; };
    std::vector<EventListener*> found;
    for (EventListener* l : _listeners)
      if (matches(l)) found.push_back(l);
    for (EventListener* l : _toAdd)
      if (matches(l)) found.push_back(l);
    for (EventListener* l : found) {
      // The node may be going away: forget it before the listener can be
      // released (a listener still pending addition is dropped later).
      l->_node = nullptr;
      removeEventListener(l);
    }
  }
}

void EventDispatcher::removeEventListenersForType(EventListener::Type type) {
  std::vector<EventListener*> found;
  for (EventListener* l : _listeners)
    if (l->_isRegistered && l->_type == type) found.push_back(l);
  for (EventListener* l : _toAdd)
    if (l->_isRegistered && l->_type == type) found.push_back(l);
  for (EventListener* l : found) removeEventListener(l);
}

void EventDispatcher::removeCustomEventListeners(const std::string& customEventName) {
  std::vector<EventListener*> found;
  for (EventListener* l : _listeners)
    if (l->_isRegistered && l->_type == EventListener::Type::CUSTOM && l->_listenerID == customEventName)
      found.push_back(l);
  for (EventListener* l : _toAdd)
    if (l->_isRegistered && l->_type == EventListener::Type::CUSTOM && l->_listenerID == customEventName)
      found.push_back(l);
  for (EventListener* l : found) removeEventListener(l);
}

void EventDispatcher::removeAllEventListeners() {
  std::vector<EventListener*> found(_listeners);
  found.insert(found.end(), _toAdd.begin(), _toAdd.end());
  for (EventListener* l : found) removeEventListener(l);
}

void EventDispatcher::pauseEventListenersForTarget(Node* target, bool recursive) {
  std::vector<Node*> nodes{target};
  if (recursive) {
    nodes.clear();
    collectDescendants(target, nodes);
  }
  for (Node* n : nodes) {
    for (EventListener* l : _listeners)
      if (l->_isRegistered && l->_node == n) _paused.insert(l);
    for (EventListener* l : _toAdd)
      if (l->_isRegistered && l->_node == n) _paused.insert(l);
  }
}

void EventDispatcher::resumeEventListenersForTarget(Node* target, bool recursive) {
  std::vector<Node*> nodes{target};
  if (recursive) {
    nodes.clear();
    collectDescendants(target, nodes);
  }
  for (Node* n : nodes) {
    for (EventListener* l : _listeners)
      if (l->_node == n) _paused.erase(l);
    for (EventListener* l : _toAdd)
      if (l->_node == n) _paused.erase(l);
  }
}

size_t EventDispatcher::getListenerCount() const {
  size_t n = 0;
  for (EventListener* l : _listeners)
    if (l->_isRegistered) ++n;
  for (EventListener* l : _toAdd)
    if (l->_isRegistered) ++n;
  return n;
}

void EventDispatcher::collectEventOrder(Scene* scene, std::vector<Node*>& out) {
  out.clear();
  if (!scene) return;
  scene->collectVisitOrder(out);
  std::reverse(out.begin(), out.end());
}

bool EventDispatcher::isListenerAvailable(EventListener* l) const {
  if (!l->_isRegistered || !l->_isEnabled) return false;
  if (_paused.count(l)) return false;
  if (l->_node && !l->_node->isRunning()) return false;
  return true;
}

std::vector<EventListener*> EventDispatcher::orderedListeners(EventListener::Type type,
                                                              const std::string* customID) const {
  std::vector<EventListener*> negative, positive;
  std::unordered_map<Node*, std::vector<EventListener*>> byNode;
  for (EventListener* l : _listeners) {
    if (!l->_isRegistered || l->_type != type) continue;
    if (customID && l->_listenerID != *customID) continue;
    if (l->_node) byNode[l->_node].push_back(l);
    else if (l->_fixedPriority < 0) negative.push_back(l);
    else positive.push_back(l);
  }
  auto byPriority = [](const EventListener* a, const EventListener* b) {
    return a->_fixedPriority < b->_fixedPriority || (a->_fixedPriority == b->_fixedPriority && a->_order < b->_order);
  };
  std::sort(negative.begin(), negative.end(), byPriority);
  std::sort(positive.begin(), positive.end(), byPriority);

  std::vector<EventListener*> out(negative);
  if (!byNode.empty()) {
    Director* d = Director::getInstanceIfExists();
    Scene* scene = d ? d->getRunningScene() : nullptr;
    std::vector<Node*> order;
    collectEventOrder(scene, order);
    for (Node* n : order) {
      auto it = byNode.find(n);
      if (it == byNode.end()) continue;
      // Several listeners on one node: the newest first (it was added on top).
      std::vector<EventListener*>& ls = it->second;
      std::sort(ls.begin(), ls.end(), [](const EventListener* a, const EventListener* b) { return a->_order > b->_order; });
      out.insert(out.end(), ls.begin(), ls.end());
    }
  }
  out.insert(out.end(), positive.begin(), positive.end());
  return out;
}

void EventDispatcher::dispatchEvent(Event* event) {
  if (!_isEnabled || !event) return;
  switch (event->getType()) {
    case Event::Type::TOUCH:
      dispatchTouchEvent(static_cast<EventTouch*>(event));
      break;
    case Event::Type::MOUSE:
      dispatchMouseEvent(static_cast<EventMouse*>(event));
      break;
    case Event::Type::KEYBOARD:
      dispatchSimple(event, EventListener::Type::KEYBOARD, nullptr);
      break;
    case Event::Type::CUSTOM: {
      const std::string name = static_cast<EventCustom*>(event)->getEventName();
      dispatchSimple(event, EventListener::Type::CUSTOM, &name);
      break;
    }
    default:
      break;
  }
}

void EventDispatcher::dispatchCustomEvent(const std::string& eventName, void* optionalUserData) {
  EventCustom ev(eventName);
  ev.setUserData(optionalUserData);
  dispatchEvent(&ev);
}

void EventDispatcher::dispatchSimple(Event* event, EventListener::Type type, const std::string* customID) {
  DispatchGuard guard(this);
  Vector<EventListener*> listeners;
  for (EventListener* l : orderedListeners(type, customID)) listeners.pushBack(l);
  for (EventListener* l : listeners) {
    if (!isListenerAvailable(l)) continue;
    event->setCurrentTarget(l->_node);
    if (l->_onEvent) l->_onEvent(event);
    if (event->isStopped()) break;
  }
  event->setCurrentTarget(nullptr);
}

void EventDispatcher::dispatchMouseEvent(EventMouse* event) {
  DispatchGuard guard(this);
  Vector<EventListener*> listeners;
  for (EventListener* l : orderedListeners(EventListener::Type::MOUSE, nullptr)) listeners.pushBack(l);
  if (listeners.empty()) return;

  Director* d = Director::getInstanceIfExists();
  Scene* scene = d ? d->getRunningScene() : nullptr;
  Vector<Camera*> cameras;
  if (scene)
    for (Camera* c : scene->getCameras()) cameras.pushBack(c);

  Camera* const previous = Camera::_visitingCamera;
  std::unordered_set<EventListener*> offered;
  auto offerUnder = [&](Camera* camera) {
    Camera::_visitingCamera = camera;
    for (EventListener* l : listeners) {
      if (offered.count(l) || !isListenerAvailable(l)) continue;
      if (l->_node && camera && !l->_node->isVisitableByVisitingCamera()) continue;
      offered.insert(l);
      event->setCurrentTarget(l->_node);
      if (l->_onEvent) l->_onEvent(event);
      if (event->isStopped()) return false;
    }
    return true;
  };
  if (cameras.empty()) {
    offerUnder(nullptr);
  } else {
    for (Camera* camera : cameras)
      if (!offerUnder(camera)) break;
  }
  Camera::_visitingCamera = previous;
  event->setCurrentTarget(nullptr);
}

void EventDispatcher::forgetTouch(Touch* touch) {
  auto forget = [touch](EventListener* l) {
    if (l->_type != EventListener::Type::TOUCH_ONE_BY_ONE) return;
    auto& claimed = static_cast<EventListenerTouchOneByOne*>(l)->_claimedTouches;
    claimed.erase(std::remove(claimed.begin(), claimed.end(), touch), claimed.end());
  };
  for (EventListener* l : _listeners) forget(l);
  for (EventListener* l : _toAdd) forget(l);
}

void EventDispatcher::dispatchTouchEvent(EventTouch* event) {
  DispatchGuard guard(this);
  const EventTouch::EventCode code = event->getEventCode();
  const bool finishing = code == EventTouch::EventCode::ENDED || code == EventTouch::EventCode::CANCELLED;

  Vector<EventListener*> oneByOne, allAtOnce;
  for (EventListener* l : orderedListeners(EventListener::Type::TOUCH_ONE_BY_ONE, nullptr)) oneByOne.pushBack(l);
  for (EventListener* l : orderedListeners(EventListener::Type::TOUCH_ALL_AT_ONCE, nullptr)) allAtOnce.pushBack(l);

  Director* d = Director::getInstanceIfExists();
  Scene* scene = d ? d->getRunningScene() : nullptr;
  Camera* const previous = Camera::_visitingCamera;
  Camera::_visitingCamera = scene ? scene->getDefaultCamera() : nullptr;

  // Scene-graph listeners need camera flag 1.
  auto takesTouches = [this](EventListener* l) {
    return isListenerAvailable(l) && (!l->_node || l->_node->hasCameraFlag(1));
  };

  const std::vector<Touch*> touches = event->getTouches();
  std::vector<Touch*> remaining;
  for (Touch* touch : touches) {
    if (event->isStopped()) break;
    bool withheld = false;
    if (code == EventTouch::EventCode::BEGAN) {
      _swallowedTouchIds.erase(touch->getID());
      for (EventListener* base : oneByOne) {
        if (!takesTouches(base)) continue;
        auto* l = static_cast<EventListenerTouchOneByOne*>(base);
        event->setCurrentTarget(l->_node);
        const bool claimed = l->onTouchBegan && l->onTouchBegan(touch, event);
        if (claimed && l->_isRegistered) {
          l->_claimedTouches.push_back(touch);
          if (l->_swallowTouches) {
            withheld = true;
            _swallowedTouchIds.insert(touch->getID());
          }
        }
        if (withheld || event->isStopped()) break;
      }
    } else {
      for (EventListener* base : oneByOne) {
        auto* l = static_cast<EventListenerTouchOneByOne*>(base);
        auto& claimed = l->_claimedTouches;
        if (std::find(claimed.begin(), claimed.end(), touch) == claimed.end()) continue;
        if (finishing) claimed.erase(std::remove(claimed.begin(), claimed.end(), touch), claimed.end());
        if (!takesTouches(base)) continue;
        event->setCurrentTarget(l->_node);
        switch (code) {
          case EventTouch::EventCode::MOVED: if (l->onTouchMoved) l->onTouchMoved(touch, event); break;
          case EventTouch::EventCode::ENDED: if (l->onTouchEnded) l->onTouchEnded(touch, event); break;
          case EventTouch::EventCode::CANCELLED: if (l->onTouchCancelled) l->onTouchCancelled(touch, event); break;
          default: break;
        }
        if (l->_swallowTouches) withheld = true;
        if (withheld || event->isStopped()) break;
      }
      if (_swallowedTouchIds.count(touch->getID())) withheld = true;
      if (finishing) {
        _swallowedTouchIds.erase(touch->getID());
        forgetTouch(touch);
      }
    }
    if (!withheld) remaining.push_back(touch);
  }

  if (!remaining.empty() && !event->isStopped()) {
    event->setTouches(remaining);
    for (EventListener* base : allAtOnce) {
      if (!takesTouches(base)) continue;
      auto* l = static_cast<EventListenerTouchAllAtOnce*>(base);
      event->setCurrentTarget(l->_node);
      switch (code) {
        case EventTouch::EventCode::BEGAN: if (l->onTouchesBegan) l->onTouchesBegan(remaining, event); break;
        case EventTouch::EventCode::MOVED: if (l->onTouchesMoved) l->onTouchesMoved(remaining, event); break;
        case EventTouch::EventCode::ENDED: if (l->onTouchesEnded) l->onTouchesEnded(remaining, event); break;
        case EventTouch::EventCode::CANCELLED: if (l->onTouchesCancelled) l->onTouchesCancelled(remaining, event); break;
      }
      if (event->isStopped()) break;
    }
    event->setTouches(touches);
  }
  if (finishing)
    for (Touch* t : touches) {
      _swallowedTouchIds.erase(t->getID());
      forgetTouch(t);
    }
  event->setCurrentTarget(nullptr);
  Camera::_visitingCamera = previous;
}

bool EventDispatcher::dispatchReturnKeyChain() {
  Director* d = Director::getInstanceIfExists();
  Scene* scene = d ? d->getRunningScene() : nullptr;
  if (!scene) return false;
  std::vector<Node*> order;
  collectEventOrder(scene, order);
  Vector<Node*> asked;
  for (Node* n : order)
    if (n != scene && n->_returnKeyEnabled && n->isRunning()) asked.pushBack(n);
  Vector<Node*> keepScene{scene};
  for (Node* n : asked) {
    // An earlier answer may have taken this node out of the scene.
    if (!n->isRunning() || n->getScene() != scene) continue;
    if (n->onResponseReturn()) return true;
  }
  return scene->onResponseReturn();
}

NS_CC_END
