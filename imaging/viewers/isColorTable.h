// Colour tables: what the 256 grey levels of a windowed slice look like.
//
// A table is 256 RGB entries (768 bytes), entry i for grey level i. Two are
// built in, the grey ramp ("noClut.plist") and the inverted grey ramp
// ("bwInverse.plist"); every other name is a property-list resource found
// through the engine's search paths, whose root dictionary holds the arrays
// "Red", "Green" and "Blue" of exactly 256 elements, each a text holding a
// decimal integer of which the low 8 bits are used. Other keys are ignored.
// In "Perfusion.plist" the arrays "Red" and "Blue" are stored exchanged: its
// "Blue" fills the red bytes and its "Red" the blue bytes.
//
// The 2-D image viewer and the volume viewer read tables here; the viewers
// keep the background rules (white behind an inverted grey image).
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace isImageSDK {

class isImageData;

constexpr int kColorTableEntries = 256;
constexpr int kColorTableBytes = 3 * kColorTableEntries;
using ColorTable = std::array<uint8_t, kColorTableBytes>;

constexpr const char* kColorTableGrey = "noClut.plist";
constexpr const char* kColorTableInverseGrey = "bwInverse.plist";
// The table file whose "Red" and "Blue" arrays are stored exchanged.
constexpr const char* kColorTablePerfusion = "Perfusion.plist";

// Entry i := (i, i, i), or (255 − i, …) when inverted.
void makeGreyTable(ColorTable& table, bool inverted);

// Fills `table` with the table of that name: a built-in one, or one read from
// its resource file. False, with `table` untouched, for a name of at most one
// character, a file that cannot be found or read, and a file whose three
// arrays are not all there with exactly 256 text elements each (the viewer
// then keeps the table it shows).
bool readColorTable(const std::string& name, ColorTable& table);

// The table a viewer starts with for this data: the inverted grey ramp when
// the first slice is PT or NM or is stored inverted (MONOCHROME1), the grey
// ramp otherwise, also for null data or data without slices. Asks the data
// for its information only (no pixels are loaded).
const char* defaultColorTableName(isImageData* data);

// Whether the inverted grey ramp goes on a white background for this data:
// yes unless the first slice is itself stored inverted (that image already
// shows dark on light, and keeps the black background). False for null data.
bool inverseTableWantsWhiteBackground(isImageData* data);

// Whether a ready table goes on a white background: its entry 0 is white.
bool tableWantsWhiteBackground(const uint8_t* table);

}  // namespace isImageSDK
