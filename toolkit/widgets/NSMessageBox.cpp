#include "toolkit/widgets/NSMessageBox.h"

#include "engine/cocos2d.h"
#include "toolkit/widgets/UIControlBase.h"

namespace NSUI {

void showMessageBox(std::string text, float seconds) {
  cocos2d::Scene* scene = cocos2d::Director::getInstance()->getRunningScene();
  if (!scene) return;
  auto* host = dynamic_cast<messageView*>(scene->getChildByName("ns_fun_messageBox"));
  if (!host) {
    host = messageView::create();
    if (!host) return;
    host->setName("ns_fun_messageBox");
    scene->addChild(host);
    host->setWidget(scene);
  }
  host->showMessage(std::move(text), seconds);
}

}  // namespace NSUI
