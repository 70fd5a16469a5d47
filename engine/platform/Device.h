// Facts about the machine and display.
#pragma once

#include <string>

#include "engine/base/ccMacros.h"

NS_CC_BEGIN

class Device {
 public:
  // "<PRETTY_NAME of os-release>; <machine architecture>; <host name>",
  // stable on one machine (for example "Debian GNU/Linux 12 (bookworm);
  // x86_64; ward-3"). Never uses the machine id.
  static std::string getDeviceInfo();

  // Display resolution in dots per inch: 96 unless set to a plausible value
  // (50 to 400) by the window layer from the display.
  static int getDPI();
  // Values outside 50..400 restore 96.
  static void setDPI(int dpi);

 private:
  Device() = delete;
};

NS_CC_END
