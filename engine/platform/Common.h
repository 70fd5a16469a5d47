// Language codes and their detection from the locale.
#pragma once

#include <string>

#include "engine/base/ccMacros.h"

NS_CC_BEGIN

// Numeric values are stable: they index the localisation file's languages.
enum class LanguageType {
  ENGLISH = 0,
  CHINESE,
  FRENCH,
  ITALIAN,
  GERMAN,
  SPANISH,
  DUTCH,
  RUSSIAN,
  KOREAN,
  JAPANESE,
  HUNGARIAN,
  PORTUGUESE,
  ARABIC,
  NORWEGIAN,
  POLISH,
  TURKISH,
  UKRAINIAN,
  ROMANIAN,
  BULGARIAN,
};

// Language of a POSIX locale name ("de_DE.UTF-8", "pt_BR", "nb_NO@euro").
// C, POSIX, empty and unknown languages give ENGLISH.
LanguageType languageTypeFromLocale(const std::string& locale);

// The locale that decides the user's language: the first non-empty of
// LC_ALL, LC_MESSAGES and LANG ("" when none is set).
std::string currentLocaleName();

// ISO 639-1 code of a language ("en", "zh", ..., "nb" for Norwegian).
const char* languageCode(LanguageType language);

NS_CC_END
