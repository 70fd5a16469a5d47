// Colour lookup table of a displayed slice: a window (width and centre) with
// a linear, logarithmic or inverse logarithmic curve turns each pixel value
// into a grey level 0-255, and a table of 256 packed colours turns that grey
// level into a colour.
//
// Every window change is announced with NOTIFY_OVERLAY_WINDOW {"ww","wl"}
// (serial kind, sender the table, object `notificationObject`; broadcast
// while that is null).
#pragma once

#include <cstdint>

#include "imaging/core/isObject.h"

namespace isImageSDK {

enum ClutMode : int32_t {
  CLUT_MODE_LINEAR = 0,
  CLUT_MODE_LOG = 1,
  CLUT_MODE_INVERSE_LOG = 2,
};

class isClut : public isObject {
 public:
  // Autoreleased; null on failure (never fails).
  static isClut* create();
  ~isClut() override;

  // Frees both arrays.
  void clear() override;
  // Grey colour ramp, window 255/128, unsigned 8-bit range, lookup table
  // built. The inherited id and name are left as they are.
  bool init() override;

  // Float data: stored exactly (pending 9072 of this table withdrawn, posted
  // "%.1f"); other types: truncated and handed to setWindowInt.
  void setWindow(float width, float centre);
  // Stores when either value moved by 0.01 or more; posts 9072 ("%i") every
  // time.
  void setWindowInt(int width, int centre);
  // Rebuilds the lookup table when it is dirty.
  void updateLookupTable();
  // Value range of an element type.
  void setValueType(int elementType);
  // 768 bytes: red, green, blue of each of the 256 entries.
  void getColorTableRGB(uint8_t* out) const;

  // Grey level of a float sample under the current window and curve. A
  // window narrower than 1e-6 is a step at its centre.
  int mapFloat(float value) const;
  // Grey level of an integer sample through the lookup table (rebuilt
  // first when dirty is the caller's business).
  int mapInteger(int value) const {
    int index = value - rangeMin;
    if (index < 0) index = 0;
    if (index >= lookupSize) index = lookupSize - 1;
    return lookupTable ? lookupTable[index] : 0;
  }

  int32_t elementType = 0;
  uint8_t* lookupTable = nullptr;
  int32_t lookupSize = 256;
  int32_t outputHigh = 255;
  int32_t outputLow = 0;
  int32_t rangeMax = 255;
  int32_t rangeMin = 0;
  float windowCentre = 128.0f;
  float windowWidth = 255.0f;
  uint32_t* colorTable = nullptr;  // 256 entries, R<<24 | G<<16 | B<<8 | A
  bool lookupDirty = true;
  bool eagerRebuild = true;
  void* notificationObject = nullptr;  // not retained
  int32_t curveMode = CLUT_MODE_LINEAR;

 protected:
  isClut() = default;

 private:
  void markDirty();
  void postWindow(const char* width, const char* centre);
};

}  // namespace isImageSDK
