// The node in which web pages are to be shown: a full-window node above
// every screen element (z 100000) with the command addresses a page host
// would intercept. No page is rendered here; a host placed in this node
// offers each address a page is about to open to handleAddress, and a true
// answer is a command that must not be opened.
#pragma once

#include <string>

#include "engine/cocos2d.h"

namespace NSUI {

class NSWebView : public cocos2d::Node {
public:
    static constexpr int kZOrder = 100000;

    static NSWebView* create();
    ~NSWebView() override;

    bool init() override;
    void cleanup() override;
    void onEnterTransitionDidFinish() override;
    // Nothing happens when the node starts leaving the stage.
    void onExitTransitionDidStart() override;
    void setVisible(bool visible) override;
    void removeFromParent() override;

    // Whether the node is visible.
    virtual bool isShown();
    // Whether the address is one of the node's own commands; the base
    // takes none.
    virtual bool handleAddress(std::string address);

    // Command paths on the local host.
    std::string retryAddress;
    std::string backToMainAddress;
    std::string removeAddress;
    std::string updateAddress;
    std::string openUrlAddress;

protected:
    NSWebView() = default;
};

} // namespace NSUI
