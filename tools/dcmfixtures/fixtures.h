// Deterministic synthetic DICOM series for tests and benchmarks.
//
// Every sample is a known function of (x, y, z) (z = slice, or frame for
// multi-frame files), so a reader's output can be checked value by value.
// Nothing here exposes DCMTK types.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dcmfixtures {

enum class Xfer { ELE, ILE, BEE, Deflated, JpegLossless, JpegLs, Rle, JpegBaseline };

struct Variant {
  std::string name;
  std::string modality = "CT";
  std::string photometric = "MONOCHROME2";
  int samples = 1;
  int bitsAllocated = 16, bitsStored = 16, highBit = 15, pixelRep = 0;
  int planar = 0;
  int frames = 1;           // > 1: one multi-frame file per series
  double slope = 1, intercept = 0;
  bool hasWindow = true;
  double windowCenter = 40, windowWidth = 400;
  Xfer xfer = Xfer::ELE;
  bool garbageHighBits = false;  // noise above High Bit (uncompressed only)
  std::string position = "HFS";  // Patient Position; "" = absent
  bool irregularSpacing = false;
  bool shuffledNames = false;
  bool pet = false;              // decay data, radiopharmaceutical sequence
  bool lossy = false;            // decoded values differ slightly from the function
};

struct Series {
  Variant variant;
  int width = 0, height = 0, slices = 0;
  std::vector<std::string> files;  // slice order (z = 0, 1, ...)
  std::vector<double> zPositions;  // Image Position z of each slice
};

// Every regular variant the tests exercise (uncompressed and compressed).
std::vector<Variant> allVariants();
const Variant* findVariant(const std::string& name);

// Writes one series of the variant into dir (created when missing).
Series writeSeries(const std::string& dir, const Variant& v, int width = 64, int height = 48, int slices = 4);

// Stored value of a grey sample, after Bits Stored masking and sign
// extension (what a correct decoder returns).
int32_t greyValue(const Variant& v, int x, int y, int z);
// Colour of a pixel as RGB.
void rgbValue(const Variant& v, int x, int y, int z, uint8_t rgb[3]);
// Stored Y, Cb, Cr of a pixel of a YBR_FULL or YBR_FULL_422 variant (the
// latter: chroma of the pair of consecutive pixels holding it; width is the
// image's).
void ybrValue(const Variant& v, int x, int y, int z, int width, uint8_t ybr[3]);
// Rescaled value: stored * slope + intercept.
double modalityValue(const Variant& v, int x, int y, int z);

// Hostile and broken files. Each entry: a file name and why it is bad. All
// of them must be refused by a reader without reading past any buffer.
struct Broken {
  std::string path;
  std::string what;
  bool parsesHeader;  // the header is fine; only the pixels are bad
};
std::vector<Broken> writeBroken(const std::string& dir);
// The damaged files among them that once stalled or crashed readers: JPEG
// baseline, extended and lossless streams with a TEM marker after SOI, a
// DICOMDIR with one byte inserted into a record type's length, a meta header
// declaring explicit VR in front of an implicit VR dataset. writeBroken
// includes them.
std::vector<Broken> writeHostile(const std::string& dir);
// One slice of the variant written as a bare dataset in the variant's
// transfer syntax: no preamble, no meta header.
std::string writeDatasetOnly(const std::string& path, const Variant& v, int width = 64, int height = 48);

// A small CT file (ct_s16, 64 x 48, one slice) with the given elements set to
// raw bytes (key = group << 16 | element; the dictionary gives the VR). An
// empty value removes the element.
void writeTagged(const std::string& path, const std::vector<std::pair<uint32_t, std::string>>& elements,
                 int width = 64, int height = 48);

}  // namespace dcmfixtures
