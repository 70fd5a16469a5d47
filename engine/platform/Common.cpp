#include "engine/platform/Common.h"

#include <cctype>
#include <cstdlib>

NS_CC_BEGIN

namespace {
struct LanguageCode {
  const char* code;
  LanguageType type;
};
const LanguageCode kCodes[] = {
    {"en", LanguageType::ENGLISH},   {"zh", LanguageType::CHINESE},   {"fr", LanguageType::FRENCH},
    {"it", LanguageType::ITALIAN},   {"de", LanguageType::GERMAN},    {"es", LanguageType::SPANISH},
    {"nl", LanguageType::DUTCH},     {"ru", LanguageType::RUSSIAN},   {"ko", LanguageType::KOREAN},
    {"ja", LanguageType::JAPANESE},  {"hu", LanguageType::HUNGARIAN}, {"pt", LanguageType::PORTUGUESE},
    {"ar", LanguageType::ARABIC},    {"nb", LanguageType::NORWEGIAN}, {"nn", LanguageType::NORWEGIAN},
    {"no", LanguageType::NORWEGIAN}, {"pl", LanguageType::POLISH},    {"tr", LanguageType::TURKISH},
    {"uk", LanguageType::UKRAINIAN}, {"ro", LanguageType::ROMANIAN},  {"bg", LanguageType::BULGARIAN},
};
}  // namespace

LanguageType languageTypeFromLocale(const std::string& locale) {
  std::string lang;
  for (char c : locale) {
    if (c == '_' || c == '.' || c == '@' || c == '-') break;
    lang += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  for (const auto& lc : kCodes)
    if (lang == lc.code) return lc.type;
  return LanguageType::ENGLISH;
}

std::string currentLocaleName() {
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = getenv(var);
    if (v && *v) return v;
  }
  return std::string();
}

const char* languageCode(LanguageType language) {
  for (const auto& lc : kCodes)
    if (lc.type == language) return lc.code;
  return "en";
}

NS_CC_END
