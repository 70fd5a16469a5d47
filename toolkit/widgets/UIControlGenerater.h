// Picture loads into image views and sprites, one at a time per owner.
//
// A picture already in the texture cache is applied at once (the aspect-fit
// operations); otherwise the load is queued. The owning layout's pump calls
// loadNextImage every 0.05 s while it is on stage; that starts the front
// job on the texture cache's loader thread when no load is in flight, and
// the completion applies the picture on the UI thread. So the queue is
// first in, first out, with one load in flight and at most one start per
// pump tick.
//
// Every queued job holds one reference on its target until its completion
// has run (or the mixin is destroyed), so a target removed from its screen
// meanwhile stays alive until then. A picture that cannot be decoded leaves
// the target's scale as it was.
#pragma once

#include <deque>
#include <string>

#include "engine/cocos2d.h"

namespace NSUI {

class NSTextField;

class UIControlGenerater {
public:
    struct ImageLoadJob {
        std::string path;                // file path, also the texture cache key
        cocos2d::Node* target = nullptr; // one reference held while the job exists
        bool isWidget = true;            // ImageView (true) or Sprite (false)
        int fitMode = 0;                 // 0 unscaled, 1 aspect fit into fitSize
        cocos2d::Size fitSize;
        float scaleXFactor = 1.0f;       // sprites in mode 1 only
    };

    UIControlGenerater() = default;
    // Releases every queued target and the target of the load in flight,
    // and unbinds the pending completion from the texture cache.
    virtual ~UIControlGenerater();

    // Uniform scale s = min(fit.w / w, fit.h / h) of the view's picture.
    void loadImageViewAspectFit(cocos2d::ui::ImageView* view, std::string path, cocos2d::Size fit);
    // Scale (s × scaleXFactor, s) of the sprite's texture rectangle.
    void loadImageAspectFit(cocos2d::Sprite* sprite, std::string path, cocos2d::Size fit, float scaleXFactor);
    // Always queued, even when cached; shown unscaled.
    void loadImageAsync(cocos2d::ui::ImageView* view, std::string path);

    // The pump step: starts the front job when nothing is in flight.
    void loadNextImage();
    // The completion of the load in flight (UI thread).
    void onImageLoaded(cocos2d::Texture2D* texture);

    // A form field of 150 × fontSize with the placeholder, placed and
    // anchored, its text in fontSize (UIControlGeneraterTextField.cpp).
    NSTextField* createTextField(std::string placeholder, cocos2d::Vec2 position, int fontSize,
                                 cocos2d::Vec2 anchorPoint);

    size_t getPendingLoadCount() const { return _pendingLoads.size(); }
    bool isLoadInFlight() const { return _currentLoad.target != nullptr; }

private:
    void queue(ImageLoadJob job);
    // Applies a loaded picture to the job's target; `loaded` false keeps
    // the target's scale.
    static void apply(const ImageLoadJob& job, bool loaded);

    std::deque<ImageLoadJob> _pendingLoads;
    ImageLoadJob _currentLoad;
};

} // namespace NSUI
