#include "toolkit/foundation/NSCapture.h"

#include <set>
#include <string>

#include "engine/cocos2d.h"
#include "toolkit/foundation/NSFormat.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace NSUI {

namespace {

// Names handed to captures whose files are not written yet (UI thread).
std::set<std::string>& pendingNames() {
  static auto* names = new std::set<std::string>;
  return *names;
}

std::string freeCaptureName(const std::string& folder) {
  auto* files = cocos2d::FileUtils::getInstance();
  const std::string stem = folder + getTimestampString();
  std::string name = stem + ".jpg";
  for (int n = 1; files->isFileExist(name) || pendingNames().count(name); ++n)
    name = stem + "-" + std::to_string(n) + ".jpg";
  return name;
}

}  // namespace

void captureScreen(int x, int y, int width, int height) {
  auto* files = cocos2d::FileUtils::getInstance();
  const std::string folder = files->getWritablePath() + "kq" + "/" + "tmp" + "/" + "capture" + "/";
  files->createDirectory(folder);
  const std::string name = freeCaptureName(folder);
  pendingNames().insert(name);
  cocos2d::utils::captureScreen(
      [name](bool ok, const std::string& path) {
        pendingNames().erase(name);
        if (!ok) return;
        if (NSNotificationCenter* centre = NSNotificationCenter::getInstance())
          centre->postNotificationText(nullptr, NOTIFY_CAPTURE_SAVED, path, nullptr, false);
      },
      name, x, y, width, height);
}

}  // namespace NSUI
