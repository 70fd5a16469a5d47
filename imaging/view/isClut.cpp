#include "imaging/view/isClut.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "imaging/core/isImageTypes.h"
#include "toolkit/foundation/NSFormat.h"
#include "toolkit/foundation/NSJson.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace isImageSDK {

namespace {

// Truncation towards zero of a float into the int range (NaN gives 0).
int truncateToInt(float v) {
  if (!(v == v)) return 0;
  double t = std::trunc(static_cast<double>(v));
  if (t > 2147483647.0) return 2147483647;
  if (t < -2147483648.0) return -2147483647 - 1;
  return static_cast<int>(t);
}

}  // namespace

isClut* isClut::create() {
  auto* clut = new (std::nothrow) isClut();
  if (!clut) return nullptr;
  if (!clut->init()) {
    delete clut;
    return nullptr;
  }
  clut->autorelease();
  return clut;
}

isClut::~isClut() {
  std::free(lookupTable);
  std::free(colorTable);
}

void isClut::clear() {
  std::free(lookupTable);
  std::free(colorTable);
  lookupTable = nullptr;
  colorTable = nullptr;
}

bool isClut::init() {
  std::free(colorTable);
  colorTable = static_cast<uint32_t*>(std::malloc(256 * sizeof(uint32_t)));
  if (!colorTable) return false;
  for (uint32_t i = 0; i < 256; ++i) colorTable[i] = (i << 24) | (i << 16) | (i << 8) | 255u;
  curveMode = CLUT_MODE_LINEAR;
  outputHigh = 255;
  outputLow = 0;
  rangeMax = 255;
  rangeMin = 0;
  windowWidth = 255.0f;
  windowCentre = 128.0f;
  elementType = 0;
  std::free(lookupTable);
  lookupTable = nullptr;
  lookupSize = 256;
  lookupDirty = true;
  eagerRebuild = true;
  updateLookupTable();
  return true;
}

void isClut::markDirty() {
  lookupDirty = true;
  if (eagerRebuild) updateLookupTable();
}

void isClut::postWindow(const char* width, const char* centre) {
  auto* centreObj = NSUI::NSNotificationCenter::getInstance();
  if (!centreObj) return;
  std::string text;
  NSUI::UIJson::setJsonString(text, "ww", width);
  NSUI::UIJson::setJsonString(text, "wl", centre);
  centreObj->postNotificationText(this, NOTIFY_OVERLAY_WINDOW, text, notificationObject, false);
}

void isClut::setWindow(float width, float centre) {
  if (elementType == ELEMENT_FLOAT) {
    windowWidth = width;
    windowCentre = centre;
    if (auto* nc = NSUI::NSNotificationCenter::getInstance())
      nc->cancelNotifications(this, NOTIFY_OVERLAY_WINDOW, notificationObject);
    postWindow(NSUI::formatString("%.1f", width).c_str(), NSUI::formatString("%.1f", centre).c_str());
    return;
  }
  setWindowInt(truncateToInt(width), truncateToInt(centre));
}

void isClut::setWindowInt(int width, int centre) {
  const bool same = std::fabs(windowCentre - static_cast<float>(centre)) < 0.01f &&
                    std::fabs(windowWidth - static_cast<float>(width)) < 0.01f;
  if (!same) {
    windowWidth = static_cast<float>(width);
    windowCentre = static_cast<float>(centre);
    markDirty();
  }
  postWindow(NSUI::formatString("%i", width).c_str(), NSUI::formatString("%i", centre).c_str());
}

void isClut::setValueType(int type) {
  if (type == elementType) return;
  elementType = type;
  switch (type) {
    case ELEMENT_UINT8:
      rangeMin = 0;
      rangeMax = 255;
      lookupSize = 256;
      break;
    case ELEMENT_INT16:
      rangeMin = -32768;
      rangeMax = 32767;
      lookupSize = 65536;
      break;
    default:
      rangeMin = 0;
      rangeMax = 65535;
      lookupSize = 65536;
      break;
  }
  markDirty();
}

void isClut::updateLookupTable() {
  if (!lookupDirty) return;
  std::free(lookupTable);
  lookupTable = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(lookupSize)));
  lookupDirty = false;
  if (!lookupTable || elementType == ELEMENT_FLOAT) return;

  // The ramp is the one the window names: slope and steps come from the
  // unclamped edges; only the range of entries written is clamped, so a
  // window reaching past the value range keeps its grey levels.
  double lowEdge = std::trunc(static_cast<double>(windowCentre) - static_cast<double>(windowWidth) * 0.5);
  double highEdge = std::trunc(static_cast<double>(windowCentre) + static_cast<double>(windowWidth) * 0.5);
  if (!(lowEdge == lowEdge)) lowEdge = 0.0;
  if (!(highEdge == highEdge)) highEdge = lowEdge + 1.0;
  if (highEdge <= lowEdge) highEdge = lowEdge + 1.0;
  const double n = highEdge - lowEdge;

  uint8_t* table = lookupTable;
  const int64_t first = rangeMin, last = rangeMax;
  // Values below the window, inside it and above it.
  const int64_t curveFrom = static_cast<int64_t>(std::clamp(lowEdge, static_cast<double>(first), static_cast<double>(last) + 1.0));
  const int64_t curveTo = static_cast<int64_t>(std::clamp(highEdge, static_cast<double>(first) - 1.0, static_cast<double>(last)));
  for (int64_t v = first; v < curveFrom && v <= last; ++v) table[v - first] = 0;
  for (int64_t v = std::max<int64_t>(curveTo + 1, first); v <= last; ++v) table[v - first] = 255;

  if (curveMode == CLUT_MODE_LOG || curveMode == CLUT_MODE_INVERSE_LOG) {
    const float step = static_cast<float>(9.0 / n);
    for (int64_t v = curveFrom; v <= curveTo; ++v) {
      const double i = static_cast<double>(v) - lowEdge;
      float g;
      if (curveMode == CLUT_MODE_LOG)
        g = std::log10(static_cast<float>(i * step + 1.0)) * 255.0f;
      else
        g = (1.0f - std::log10(static_cast<float>((n - i) * step + 1.0))) * 255.0f;
      table[v - first] = static_cast<uint8_t>(std::clamp(static_cast<int>(g), 0, 255));
    }
  } else {
    // x × s + b with s = (high − low) / n and b = (low × hi − high × lo) / n,
    // written so that the edges land exactly on outputLow and outputHigh.
    const double span = static_cast<double>(outputHigh - outputLow);
    for (int64_t v = curveFrom; v <= curveTo; ++v) {
      const double g = (static_cast<double>(v) - lowEdge) * span / n + outputLow;
      table[v - first] = static_cast<uint8_t>(static_cast<int64_t>(g) & 0xff);
    }
  }
}

int isClut::mapFloat(float value) const {
  const double w = windowWidth, c = windowCentre;
  if (!(value == value)) return 0;
  if (!(std::fabs(w) >= 1e-6)) return value >= c ? 255 : 0;
  const float lo = static_cast<float>(c - w * 0.5);
  const float hi = static_cast<float>(c + w * 0.5);
  double g;
  switch (curveMode) {
    case CLUT_MODE_LOG:
      if (value >= hi) return 255;
      if (value <= lo) return 0;
      g = std::log10((static_cast<double>(value) - lo) * (9.0 / (static_cast<double>(hi) - lo)) + 1.0) * 255.0;
      break;
    case CLUT_MODE_INVERSE_LOG:
      if (value >= hi) return 255;
      if (value <= lo) return 0;
      g = (1.0 - std::log10((static_cast<double>(hi) - value) * (9.0 / (static_cast<double>(hi) - lo)) + 1.0)) * 255.0;
      break;
    default:
      g = (static_cast<double>(value) - lo) * (1.0 / w) * 255.0;
      break;
  }
  if (!(g > 0.0)) return 0;
  if (g >= 255.0) return 255;
  return static_cast<int>(g);
}

void isClut::getColorTableRGB(uint8_t* out) const {
  if (!out || !colorTable) return;
  for (int i = 0; i < 256; ++i) {
    out[3 * i] = static_cast<uint8_t>(colorTable[i] >> 24);
    out[3 * i + 1] = static_cast<uint8_t>(colorTable[i] >> 16);
    out[3 * i + 2] = static_cast<uint8_t>(colorTable[i] >> 8);
  }
}

}  // namespace isImageSDK
