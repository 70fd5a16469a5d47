// A transient message over the running scene, for code without a widget of
// its own (services, viewers, screens' helpers).
#pragma once

#include <string>

namespace NSUI {

// Shows `text` in the running scene's message box for `seconds`: the
// scene's direct child "ns_fun_messageBox" (a messageView, made and added
// on first use with the scene as its widget) shows it through
// UIControlBase::showMessage, so every caller in a scene shares one box and
// a new text replaces the shown one and restarts its time. Nothing happens
// without a running scene. UI thread.
void showMessageBox(std::string text, float seconds);

}  // namespace NSUI
