#include "imaging/viewers/isColorTable.h"

#include "engine/cocos2d.h"
#include "imaging/core/isImageData.h"
#include "toolkit/foundation/NSDictionary.h"

namespace isImageSDK {

namespace {

// The first slice after the information update, or null.
SliceRecord* firstSlice(isImageData* data) {
  if (!data) return nullptr;
  data->updateInformation();
  return data->slices.empty() ? nullptr : data->slices[0];
}

// The array under the key when it has exactly 256 elements, else null.
cocos2d::__Array* channel(NSUI::NSDictionary* dict, const char* key) {
  auto* array = dynamic_cast<cocos2d::__Array*>(dict->objectForKey(key));
  return array && array->count() == kColorTableEntries ? array : nullptr;
}

// Element i of each array into byte `offset` of entry i; false when an
// element is not a text.
bool fillChannel(cocos2d::__Array* array, int offset, ColorTable& table) {
  for (int i = 0; i < kColorTableEntries; ++i) {
    auto* text = dynamic_cast<cocos2d::__String*>(array->getObjectAtIndex(i));
    if (!text) return false;
    table[static_cast<size_t>(3 * i + offset)] = static_cast<uint8_t>(text->intValue() & 0xFF);
  }
  return true;
}

std::string baseName(const std::string& name) {
  const size_t slash = name.find_last_of('/');
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

}  // namespace

void makeGreyTable(ColorTable& table, bool inverted) {
  for (int i = 0; i < kColorTableEntries; ++i) {
    const auto v = static_cast<uint8_t>(inverted ? 255 - i : i);
    table[static_cast<size_t>(3 * i)] = table[static_cast<size_t>(3 * i + 1)] = table[static_cast<size_t>(3 * i + 2)] = v;
  }
}

bool readColorTable(const std::string& name, ColorTable& table) {
  if (name.size() <= 1) return false;
  if (name == kColorTableInverseGrey || name == kColorTableGrey) {
    makeGreyTable(table, name == kColorTableInverseGrey);
    return true;
  }
  const std::string path = cocos2d::FileUtils::getInstance()->fullPathForFilename(name);
  if (path.empty()) return false;
  NSUI::NSDictionary* dict = NSUI::NSDictionary::createWithContentsOfFile(path.c_str());
  if (!dict) return false;
  cocos2d::__Array* red = channel(dict, "Red");
  cocos2d::__Array* green = channel(dict, "Green");
  cocos2d::__Array* blue = channel(dict, "Blue");
  bool ok = red && green && blue;
  if (ok) {
    if (baseName(name) == kColorTablePerfusion) std::swap(red, blue);
    ColorTable read{};
    ok = fillChannel(red, 0, read) && fillChannel(green, 1, read) && fillChannel(blue, 2, read);
    if (ok) table = read;
  }
  dict->release();
  return ok;
}

const char* defaultColorTableName(isImageData* data) {
  const SliceRecord* first = firstSlice(data);
  if (!first) return kColorTableGrey;
  const bool inverse = first->modality == MODALITY_PT || first->modality == MODALITY_NM || first->displayCode > 1;
  return inverse ? kColorTableInverseGrey : kColorTableGrey;
}

bool inverseTableWantsWhiteBackground(isImageData* data) {
  if (!data) return false;
  const SliceRecord* first = firstSlice(data);
  return !first || first->displayCode <= 1;
}

bool tableWantsWhiteBackground(const uint8_t* table) {
  return table && table[0] == 255 && table[1] == 255 && table[2] == 255;
}

}  // namespace isImageSDK
