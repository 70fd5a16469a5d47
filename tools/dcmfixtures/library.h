// A patient library for the library's tests and benchmarks: P patients × S
// studies × E series × I images, every text distinct and known, and a
// hostile set whose texts try to break SQL, JSON and paths.
#pragma once

#include <string>
#include <vector>

namespace dcmfixtures {

// The texts of one image of the library fixture.
struct LibraryImage {
  int p = 0, s = 0, e = 0, i = 0;
  std::string path;  // written file
  std::string patientName, patientID, birthDate, sex;
  std::string studyUID, studyID, studyDate, studyTime, studyDescription;
  std::string seriesUID, seriesDate, seriesTime, seriesDescription, seriesNumber;
  std::string sopInstanceUID, instanceNumber;
  std::string modality;     // "CT" for even series, "MR" for odd
  std::string institution;  // "" (absent) for every third series
  std::string kvp, tubeCurrent;  // CT only
};

// The texts of image (p, s, e, i), without writing anything.
LibraryImage libraryImage(int p, int s, int e, int i);
// Writes dir/pP/sS/eE/iI.dcm for every image (width × height, 16-bit) and
// returns them in that order.
std::vector<LibraryImage> writeLibrary(const std::string& dir, int patients, int studies, int series, int images,
                                       int width = 16, int height = 16);

struct HostileFile {
  std::string path;
  std::string what;
  bool cut = false;  // cut short; DCMTK's tools refuse to send it
  // Texts as stored (UTF-8) for the files that are not cut.
  std::string patientName, patientID, studyUID, seriesUID, sopInstanceUID, sex, studyTime, modality;
};
// Writes the hostile set into dir (flat) and returns it.
std::vector<HostileFile> writeHostileLibrary(const std::string& dir);

}  // namespace dcmfixtures
