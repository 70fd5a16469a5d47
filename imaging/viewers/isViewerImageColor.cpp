// The 2-D image viewer: colour tables and the background that follows them
// (white behind an inverted grey image, black otherwise).
#include "imaging/viewers/isColorTable.h"
#include "imaging/viewers/isViewerImage.h"

namespace isImageSDK {

void isViewerImage::loadColorTable(const std::string& name) {
  if (name.size() <= 1) return;
  // Every table starts from the black background; only the inverted grey
  // ramp asks for white.
  if (focused) setFocused(false);
  ColorTable table;
  if (name == kColorTableInverseGrey) {
    makeGreyTable(table, true);
    if (imageActor) imageActor->setColorTable(table.data());
    // An image stored inverted already shows dark on light: it stays on
    // black.
    if (imageData && inverseTableWantsWhiteBackground(imageData) && !focused) setFocused(true);
    return;
  }
  if (name == kColorTableGrey) {
    makeGreyTable(table, false);
    if (imageActor) imageActor->setColorTable(table.data());
    return;
  }
  // A table file that does not read leaves the shown table.
  if (readColorTable(name, table) && imageActor) imageActor->setColorTable(table.data());
}

void isViewerImage::applyColorTable(const uint8_t* table) {
  if (!table) return;
  if (imageActor) imageActor->setColorTable(table);
  setFocused(tableWantsWhiteBackground(table));
}

}  // namespace isImageSDK
