// The interface every scene-graph node of the imaging code carries next to its
// engine node base: one hook with an empty default that such nodes may
// override.
#pragma once

namespace isImageSDK {

class isNodeObject {
public:
    virtual ~isNodeObject() = default;
    virtual void onNodeObjectEvent() {}
};

}  // namespace isImageSDK
