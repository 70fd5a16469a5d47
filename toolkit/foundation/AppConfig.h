// The settings singleton: the sizes of the screen, the localisation table,
// the layout flag, the program version, the service base address and the
// application identifier; its init runs the first-run and version
// bookkeeping in the settings store.
//
// The application delegate makes it first thing at launch, keeps it alive
// with its own reference and releases it at teardown; from then on
// getInstance() answers null (as the notification centre does) and never
// builds a second object. UI thread only.
#pragma once

#include <string>

#include "engine/base/Ref.h"
#include "engine/math/Geometry.h"
#include "toolkit/foundation/NSLanguage.h"

namespace cocos2d {
class Node;
}

class AppConfig : public cocos2d::Ref {
 public:
  // Made on first use: constructed, stored as the singleton, init() run (its
  // result ignored) and autoreleased; it is not retained here. Null once the
  // singleton has been destroyed.
  static AppConfig* getInstance();

  // Both sizes 960 x 640, the table's file "language.dat", the service base
  // address set (serviceBaseAddress()), phoneLayout false.
  AppConfig();
  // The singleton's destruction clears the singleton for good.
  ~AppConfig() override;

  // Version bookkeeping and first-run keys (written without flushing):
  //  - "app_current_version" missing: it becomes "2.5", then
  //    "app_install_time" the local time, then "app_init_db" "1";
  //  - another version stored: it becomes "2.5", nothing else changes;
  //  - "app_identifier" missing: the unsigned decimal folded hash of the
  //    device description followed by the local time, stored.
  // Always true.
  virtual bool init();

  // "2.5".
  std::string getVersion() const { return "2.5"; }
  // The service base address (NSUI::getServerUrl), scheme and host without
  // a trailing "/".
  std::string getServerUrl() const;
  std::string getAppIdentifier() const { return appIdentifier; }
  // The table's answer for `key` ("" when none); the next look-up
  // overwrites the text, so callers copy it first.
  std::string& getLocalizedString(std::string key) { return languageTable.getString(std::move(key)); }
  // Relabels the node's descendants from the table (NSUI::NSLanguage::
  // translateNode; the caller links the widget toolkit).
  void translateNode(cocos2d::Node* node, std::string prefix) { languageTable.translateNode(node, std::move(prefix)); }
  cocos2d::Size* getDesignSize() { return &designSize; }
  void setWinSize(const cocos2d::Size& size) { winSize = size; }

  // The service base address the constructor sets: $FW_SERVICE_URL when set
  // and not empty, otherwise "https://127.0.0.1:9", a loopback port where
  // nothing listens, so that requests fail at once and nothing leaves the
  // machine until a real service exists.
  static std::string serviceBaseAddress();
  // $FW_SERVICE_CA: a PEM file the HTTP client verifies the service with
  // instead of the system store; "" when unset.
  static std::string serviceCAFile();

  cocos2d::Size winSize;
  cocos2d::Size designSize;
  NSUI::NSLanguage languageTable;
  bool phoneLayout = false;
  std::string appIdentifier;
};
