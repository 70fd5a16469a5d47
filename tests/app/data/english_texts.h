// The English texts of the language table the build made, installed as the
// process's table for as long as the object lives.
#pragma once

#include <cstdlib>
#include <string>

#include "engine/cocos2d.h"
#include "toolkit/foundation/NSLanguage.h"

namespace libtest {

struct EnglishTexts {
  NSUI::NSLanguage language;

  EnglishTexts() {
    setenv("LC_ALL", "C", 1);
    cocos2d::FileUtils::getInstance()->setDefaultResourceRootPath(std::string(FW_BINARY_DIR) + "/resources/");
    cocos2d::FileUtils::getInstance()->purgeCachedEntries();
    language.load();
    NSUI::setLocalizedStringTable(&language);
  }
  ~EnglishTexts() { NSUI::setLocalizedStringTable(nullptr); }
  EnglishTexts(const EnglishTexts&) = delete;
  EnglishTexts& operator=(const EnglishTexts&) = delete;
};

}  // namespace libtest
