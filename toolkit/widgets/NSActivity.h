// The busy overlay: a pale full-window layer with a turning spinner, an
// optional message, percentage and buttons, shown while a long job runs.
// At most one exists; it is reached through the static operations. It takes
// every touch and mouse event that lands on it, shows the progress (1001)
// and message (1002) that worker code posts on the broadcast channel, and
// reports a button press by posting 1003 with itself as sender.
#pragma once

#include <string>

#include "engine/cocos2d.h"
#include "toolkit/foundation/NSNotificationCenter.h"

namespace NSUI {

class NSActivity : public cocos2d::ui::Layout {
 public:
  // Child tags.
  static constexpr int kSpinnerTag = 1001;
  static constexpr int kPercentTag = 100;
  static constexpr int kMessageTag = 101;
  static constexpr int kZOrder = 10500;

  // The shown overlay, created and added to parent when there is none;
  // an overlay already shown is returned unchanged (it is not moved).
  static NSActivity* show(cocos2d::Node* parent);
  // Removes the shown overlay; nothing happens when none is shown.
  static void close();
  // Closes the overlay when one is shown.
  static void hide();
  // The shown overlay, or null.
  static NSActivity* getInstance() { return s_instance; }

  // Handler of 1001 (percentage) and 1002 (message).
  virtual void onNotification(cocos2d::Ref* sender, int id, NSNotificationData* data);

  void setMessage(const std::string& text);
  const std::string& getMessage() const { return _message; }
  // One more button at (w/2, h/2 - 150) whose click posts 1003.
  cocos2d::ui::Button* addButton(const std::string& title, const cocos2d::Color3B& titleColor);
  // Colour of the message and percentage labels, those shown and later ones.
  void setTextColor(const cocos2d::Color4B& color);
  const cocos2d::Color4B& getTextColor() const { return _textColor; }

  bool init() override;
  void cleanup() override;
  void showSpinner();

 protected:
  NSActivity() = default;
  ~NSActivity() override;

  cocos2d::Color4B _textColor = cocos2d::Color4B::BLUE;
  std::string _message;

 private:
  cocos2d::Label* makeLabel(const std::string& text, float size);
  // Drops the observers and the static reference bookkeeping; the caller
  // releases the static reference.
  void forget();
  void registerMouseBlock();

  cocos2d::EventListenerMouse* _mouseBlock = nullptr;  // retained

  static NSActivity* s_instance;
};

}  // namespace NSUI
