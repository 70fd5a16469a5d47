// Persistent key/value settings of the application.
//
// Values live in memory; flush() writes them to <writable path>/UserDefault.xml
// (through a temporary file and a rename, so a crash never leaves a torn
// file) when something changed. Director::end() flushes too. Every call is
// safe from any thread.
#pragma once

#include <map>
#include <mutex>
#include <string>

#include "engine/base/Data.h"
#include "engine/base/ccMacros.h"

NS_CC_BEGIN

class UserDefault {
 public:
  static UserDefault* getInstance();
  // Flushes and forgets the instance; the next getInstance() reads the file
  // again (from the writable path of that moment).
  static void destroyInstance();

  // Typed getters read the stored text (integers with atoi rules, reals with
  // atof, booleans as "true"/"false"); a missing key gives the default.
  bool getBoolForKey(const char* key, bool defaultValue = false);
  int getIntegerForKey(const char* key, int defaultValue = 0);
  float getFloatForKey(const char* key, float defaultValue = 0.0f);
  double getDoubleForKey(const char* key, double defaultValue = 0.0);
  std::string getStringForKey(const char* key, const std::string& defaultValue = std::string());
  // Stored as base64 text.
  Data getDataForKey(const char* key, const Data& defaultValue = Data::Null);

  void setBoolForKey(const char* key, bool value);
  void setIntegerForKey(const char* key, int value);
  void setFloatForKey(const char* key, float value);
  void setDoubleForKey(const char* key, double value);
  void setStringForKey(const char* key, const std::string& value);
  void setDataForKey(const char* key, const Data& value);

  // Whether a value is stored under key (also when it equals some default).
  bool hasKey(const char* key);
  void deleteValueForKey(const char* key);

  // Writes the file when something changed since the last write. Returns
  // false when the write failed (the values stay pending).
  bool flush();

  // Path of the backing file of this instance.
  std::string getFilePath();
  static std::string getXMLFilePath();
  static bool isXMLFileExist();

 private:
  UserDefault();
  void load();
  bool lookup(const char* key, std::string* out);
  void store(const char* key, std::string value);

  std::mutex _mutex;
  std::map<std::string, std::string> _values;
  std::string _filePath;
  bool _dirty = false;
};

NS_CC_END
