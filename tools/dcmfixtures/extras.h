// Further fixtures: person names in the character sets of the DICOM
// examples, and an enhanced multi-frame MR image whose geometry, rescale and
// window live only in its functional groups.
#pragma once

#include <string>
#include <vector>

namespace dcmfixtures {

// One encoded person name: Specific Character Set, the bytes of Patient's
// Name in that set, and the UTF-8 text a reader returns for it.
struct NameExample {
  std::string name;
  std::string charset;
  std::string encoded;
  std::string utf8;
};
std::vector<NameExample> nameExamples();
// Writes "<dir>/<example name>.dcm" for every example (a small CT image whose
// Patient's Name and Specific Character Set are the example's); returns the
// paths in the order of nameExamples().
std::vector<std::string> writeNameExamples(const std::string& dir);

struct EnhancedMr {
  int frames = 12;
  int width = 16, height = 12;
  // Pixel Measures, Plane Orientation, Pixel Value Transformation and Frame
  // VOI LUT in the Shared Functional Groups; false: in every frame's item of
  // the Per-frame Functional Groups instead. Plane Position is always per
  // frame.
  bool shared = true;
  // Frames stored from the last position to the first.
  bool descending = false;
  // Also writes top-level Pixel Spacing 1\1, Slice Thickness 1, Rescale
  // Slope 1 and Intercept 0 and Window 40/400, as some writers do.
  bool topLevelToo = false;
  double slope = 2.1079, intercept = -3;
  double windowCenter = 1070, windowWidth = 1860;
  double spacingRow = 0.8, spacingColumn = 0.6;  // Pixel Spacing values 1 and 2
  double thickness = 3, step = 2.5;               // frame k lies at z0 + k × step
  double x0 = -6, y0 = -4.5, z0 = -20;
};
// Stored sample of frame k (0-based, in file order) at (x, y).
int enhancedSample(const EnhancedMr& e, int x, int y, int frame);
// Image Position z of frame k in file order.
double enhancedZ(const EnhancedMr& e, int frame);
// Writes an Enhanced MR Image Storage file, explicit VR little endian,
// 16-bit unsigned, without the top-level Image Position and Orientation,
// Pixel Spacing, Slice Thickness, Rescale and Window elements (unless
// topLevelToo).
void writeEnhancedMr(const std::string& path, const EnhancedMr& e);

}  // namespace dcmfixtures
