#include "app/data/sniffer.h"

namespace NSUI {

namespace {
sniffer* g_sniffer = nullptr;
}  // namespace

sniffer::sniffer() : udpComm(kPort, kBufferSize) {}

sniffer::~sniffer() {
  if (g_sniffer == this) g_sniffer = nullptr;
}

sniffer* sniffer::getInstance() {
  if (!g_sniffer) g_sniffer = new sniffer;
  return g_sniffer;
}

sniffer* sniffer::getInstanceIfExists() { return g_sniffer; }

void sniffer::destroyInstance() {
  sniffer* s = g_sniffer;
  g_sniffer = nullptr;
  delete s;
}

void sniffer::startDiscovery() {}

}  // namespace NSUI
