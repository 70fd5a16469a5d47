// The layout widget from which the mouse-aware panels derive.
//
// Mouse input becomes four virtual operations that receive the pointer in
// the node's own space; each returns true to consume the event. An event
// reaches them only when the node and all its ancestors are visible, the
// camera dispatching the event is one the node is drawn by, and the point
// lies strictly inside the node's content rectangle. Every NSLayout has its
// own scene-graph listener, so an event goes front to back through the
// layouts under the pointer until one consumes it.
//
// While on stage the node pumps the picture loads queued on its
// UIControlGenerater part (every 0.05 s, first after 0.1 s).
//
// Mixins: the message toast and the HTTP requests are bound to the node
// itself; its requests are cancelled at cleanup.
#pragma once

#include "engine/cocos2d.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/UIHttpPhisical.h"
#include "toolkit/foundation/UILocalConfig.h"
#include "toolkit/widgets/UIControlBase.h"
#include "toolkit/widgets/UIControlGenerater.h"

namespace NSUI {

class NSLayout : public cocos2d::ui::Layout,
                 public UIControlGenerater,
                 public UILocalConfig,
                 public UIJson,
                 public UIControlBase,
                 public UIHttpPhisical {
public:
    static NSLayout* create();

    NSLayout();
    ~NSLayout() override;

    bool init() override;
    void cleanup() override;
    void onEnterTransitionDidFinish() override;
    void onExit() override;

    // Points in node space; true consumes the event. The base versions
    // consume nothing.
    virtual bool onMouseScroll(float x, float y, float scrollY);
    virtual bool onMouseDown(float x, float y);
    virtual bool onMouseUp(float x, float y);
    virtual bool onMouseMove(float x, float y);

    // The picture-load pump tick.
    void updateImageQueue(float dt);

    static constexpr float kImagePumpInterval = 0.05f;
    static constexpr float kImagePumpDelay = 0.1f;

    // True when the pointer of `event` is strictly inside `node`, the node and
    // its ancestors are visible, and the camera being visited (if any) draws
    // it: the shared test of the toolkit's mouse handlers. `local`, when
    // given, receives the pointer in the node's space.
    static bool isMouseOver(cocos2d::ui::Widget* node, cocos2d::EventMouse* event,
                            cocos2d::Vec2* local = nullptr);

protected:
    enum class MouseKind { Scroll, Down, Up, Move };
    // The shared tests and the call to the virtual operation.
    void handleMouse(cocos2d::EventMouse* event, MouseKind kind);

    cocos2d::EventListenerMouse* _mouseListener = nullptr; // one reference held
    bool _leftMouseDown = false;
    bool _rightMouseDown = false;
    bool _middleMouseDown = false;
    cocos2d::Vec2 _previousMousePoint;
};

} // namespace NSUI
