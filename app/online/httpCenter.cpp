#include "app/online/httpCenter.h"

httpCenter* httpCenter::create() {
  auto* center = new httpCenter;
  if (!center->init()) {
    delete center;
    return nullptr;
  }
  center->autorelease();
  return center;
}

void httpCenter::start() {}
