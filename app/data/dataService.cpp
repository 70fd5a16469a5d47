#include "app/data/dataService.h"

namespace {
dataService* g_service = nullptr;
}  // namespace

dataService* dataService::getInstance() {
  if (!g_service) g_service = new dataService;  // the kept reference
  return g_service;
}

dataService* dataService::getInstanceIfExists() { return g_service; }

void dataService::destroyInstance() {
  dataService* service = g_service;
  g_service = nullptr;
  if (service) service->release();
}

dataService::~dataService() {
  if (g_service == this) g_service = nullptr;
}

void dataService::echoNodes(int /*mode*/) {}

void dataService::stop() {}
