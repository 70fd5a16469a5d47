#include "app/online/updateService.h"

updateService* updateService::create() {
  auto* service = new updateService;
  if (!service->init()) {
    delete service;
    return nullptr;
  }
  service->autorelease();
  return service;
}

bool updateService::init() {
  working = false;
  return true;
}
