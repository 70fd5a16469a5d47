#include "app/online/statApplication.h"

namespace {
statApplication* g_stats = nullptr;
}  // namespace

statApplication* statApplication::getInstance() {
  if (!g_stats) g_stats = new statApplication;  // the kept reference
  return g_stats;
}

statApplication* statApplication::getInstanceIfExists() { return g_stats; }

void statApplication::destroyInstance() {
  statApplication* stats = g_stats;
  g_stats = nullptr;
  if (stats) stats->release();
}

statApplication::~statApplication() {
  if (g_stats == this) g_stats = nullptr;
}

void statApplication::start() {}

void statApplication::addStat(int /*event*/, std::string /*value*/) {}

void statApplication::shutdown() {}
