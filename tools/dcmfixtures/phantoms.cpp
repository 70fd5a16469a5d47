#include "tools/dcmfixtures/phantoms.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <stdexcept>
#include <vector>

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctk.h>

#include "tools/vrdebug/phantom.h"

namespace dcmfixtures {

namespace {

void check(const OFCondition& c, const std::string& what) {
  if (c.bad()) throw std::runtime_error(what + ": " + c.text());
}

void put(DcmItem& d, const DcmTagKey& key, const std::string& value, const char* what) {
  check(d.putAndInsertString(key, value.c_str()), what);
}

std::string ds(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", v);
  return buf;
}

uint64_t fnv64(const std::string& s) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : s) {
    h ^= c;
    h *= 1099511628211ull;
  }
  return h;
}

std::string uid(const std::string& seed) { return "2.25." + std::to_string(fnv64(seed)); }

// Origin (patient mm) of voxel (0, 0, 0) of a block centred on the origin.
double origin(int count, double spacing) { return -0.5 * (count - 1) * spacing; }

// The elements every image of both series carries.
void putCommon(DcmItem& d, const std::string& seed, const std::string& modality, const std::string& position,
               int instance, int width, int height, double spacingX, double spacingY, double thickness,
               const double positionMm[3]) {
  put(d, DCM_SOPInstanceUID, uid(seed + "/sop/" + std::to_string(instance)), "sop");
  put(d, DCM_StudyInstanceUID, uid(seed + "/study"), "study");
  put(d, DCM_SeriesInstanceUID, uid(seed + "/series"), "series");
  put(d, DCM_FrameOfReferenceUID, uid(seed + "/for"), "frame of reference");
  put(d, DCM_PatientName, "PHANTOM^" + modality, "name");
  put(d, DCM_PatientID, "FX-phantom-" + modality, "id");
  put(d, DCM_PatientBirthDate, "19700101", "birth");
  put(d, DCM_PatientSex, "O", "sex");
  put(d, DCM_PatientWeight, "70", "weight");
  put(d, DCM_InstitutionName, "Fixture Hospital", "institution");
  put(d, DCM_StudyDate, "20240102", "study date");
  put(d, DCM_StudyTime, "101010", "study time");
  put(d, DCM_SeriesDate, "20240102", "series date");
  put(d, DCM_SeriesTime, "102000", "series time");
  put(d, DCM_StudyID, "1", "study id");
  put(d, DCM_SeriesNumber, "2", "series number");
  put(d, DCM_InstanceNumber, std::to_string(instance), "instance");
  put(d, DCM_Modality, modality, "modality");
  put(d, DCM_PatientPosition, position, "position");
  put(d, DCM_ImagePositionPatient, ds(positionMm[0]) + "\\" + ds(positionMm[1]) + "\\" + ds(positionMm[2]), "ipp");
  put(d, DCM_ImageOrientationPatient, "1\\0\\0\\0\\1\\0", "iop");
  put(d, DCM_SliceLocation, ds(positionMm[2]), "slice location");
  // Pixel Spacing: between rows first, then between columns.
  put(d, DCM_PixelSpacing, ds(spacingY) + "\\" + ds(spacingX), "spacing");
  put(d, DCM_SliceThickness, ds(thickness), "thickness");
  check(d.putAndInsertUint16(DCM_Rows, static_cast<Uint16>(height)), "rows");
  check(d.putAndInsertUint16(DCM_Columns, static_cast<Uint16>(width)), "columns");
  check(d.putAndInsertUint16(DCM_SamplesPerPixel, 1), "samples");
  put(d, DCM_PhotometricInterpretation, "MONOCHROME2", "photometric");
  check(d.putAndInsertUint16(DCM_BitsAllocated, 16), "bits allocated");
  check(d.putAndInsertUint16(DCM_PixelRepresentation, 0), "pixel representation");
}

std::string fileName(const std::string& dir, const char* stem, int index) {
  char name[64];
  std::snprintf(name, sizeof name, "%s_%05d.dcm", stem, index);
  return dir + "/" + name;
}

}  // namespace

// ---------------------------------------------------------------- CT phantom

Series writeCtPhantom(const std::string& dir, const CtPhantom& p) {
  if (p.width < 1 || p.height < 1 || p.slices < 2 || p.width > 65535 || p.height > 65535)
    throw std::runtime_error("CT phantom: bad size");
  std::filesystem::create_directories(dir);
  Series s;
  s.variant.name = "ct_phantom_" + p.position;
  s.variant.modality = "CT";
  s.variant.bitsStored = 12;
  s.variant.highBit = 11;
  s.variant.intercept = -1024;
  s.variant.position = p.position;
  s.width = p.width;
  s.height = p.height;
  s.slices = p.slices;
  const std::string seed = "ct-phantom/" + p.position + "/" + std::to_string(p.width) + "x" +
                           std::to_string(p.height) + "x" + std::to_string(p.slices);
  const size_t plane = static_cast<size_t>(p.width) * p.height;
  std::vector<int16_t> hu(plane);
  std::vector<Uint16> stored(plane);
  for (int z = 0; z < p.slices; ++z) {
    vrdebug::makeCtPhantomSlice(hu.data(), p.width, p.height, p.slices, z);
    for (size_t i = 0; i < plane; ++i) stored[i] = static_cast<Uint16>(std::clamp(hu[i] + 1024, 0, 4095));
    double pos[3];
    ctPhantomPoint(p, 0, 0, z, pos);
    DcmFileFormat ff;
    DcmDataset& d = *ff.getDataset();
    put(d, DCM_SOPClassUID, UID_CTImageStorage, "sop class");
    putCommon(d, seed, "CT", p.position, z + 1, p.width, p.height, p.spacingX, p.spacingY, p.sliceSpacing, pos);
    put(d, DCM_SeriesDescription, "phantom CT " + p.position, "description");
    put(d, DCM_ImageType, "ORIGINAL\\PRIMARY\\AXIAL", "image type");
    put(d, DCM_ScanOptions, "HELICAL MODE", "scan options");
    check(d.putAndInsertUint16(DCM_BitsStored, 12), "bits stored");
    check(d.putAndInsertUint16(DCM_HighBit, 11), "high bit");
    put(d, DCM_RescaleIntercept, "-1024", "intercept");
    put(d, DCM_RescaleSlope, "1", "slope");
    put(d, DCM_RescaleType, "HU", "rescale type");
    put(d, DCM_WindowCenter, "40", "window centre");
    put(d, DCM_WindowWidth, "400", "window width");
    check(d.putAndInsertUint16Array(DCM_PixelData, stored.data(), static_cast<unsigned long>(plane)), "pixels");
    const std::string path = fileName(dir, ("ct_" + p.position).c_str(), z + 1);
    check(ff.saveFile(path.c_str(), EXS_LittleEndianExplicit), "saving " + path);
    s.files.push_back(path);
    s.zPositions.push_back(pos[2]);
  }
  return s;
}

int ctPhantomValue(const CtPhantom& p, int x, int y, int z) {
  if (x < 0 || y < 0 || z < 0 || x >= p.width || y >= p.height || z >= p.slices) return -1000;
  std::vector<int16_t> slice(static_cast<size_t>(p.width) * p.height);
  vrdebug::makeCtPhantomSlice(slice.data(), p.width, p.height, p.slices, z);
  return slice[static_cast<size_t>(y) * p.width + x];
}

Voxel ctPhantomSphereVoxel(const CtPhantom& p, int sphere) {
  const vrdebug::PhantomSphere& s = vrdebug::phantomSpheres().at(static_cast<size_t>(sphere));
  // Voxel k's centre lies at the fraction (k + 0.5) / n.
  auto index = [](float fraction, int n) { return std::clamp(static_cast<int>(std::floor(fraction * n)), 0, n - 1); };
  return {index(s.cx, p.width), index(s.cy, p.height), index(s.cz, p.slices)};
}

void ctPhantomPoint(const CtPhantom& p, double x, double y, double z, double out[3]) {
  out[0] = origin(p.width, p.spacingX) + x * p.spacingX;
  out[1] = origin(p.height, p.spacingY) + y * p.spacingY;
  out[2] = origin(p.slices, p.sliceSpacing) + z * p.sliceSpacing;
}

// ---------------------------------------------------------------- 4-D PET

namespace {

// Whole voxels the sphere moves per phase, in x and in y.
void petStep(const Pet4d& p, int& dx, int& dy) {
  dx = dy = 0;
  if (p.phases < 2) return;
  dx = std::max(1, static_cast<int>(0.6 * p.width / (p.phases - 1)));
  dy = std::max(1, static_cast<int>(0.4 * p.height / (p.phases - 1)));
}

// Sphere radius in voxels: below one step, so that no other phase's sphere
// reaches this phase's centre.
double petRadius(const Pet4d& p) {
  int dx, dy;
  petStep(p, dx, dy);
  if (p.phases < 2) return 0.08 * std::min(p.width, p.height);
  return 0.9 * std::sqrt(static_cast<double>(dx * dx + dy * dy));
}

}  // namespace

Voxel petSphereVoxel(const Pet4d& p, int phase) {
  int dx, dy;
  petStep(p, dx, dy);
  const int span = p.phases - 1;
  return {p.width / 2 - dx * span / 2 + dx * phase, p.height / 2 - dy * span / 2 + dy * phase, p.slices / 2};
}

int petSphereValue(int phase) { return 1000 + 20 * phase; }

int petValue(const Pet4d& p, int x, int y, int z, int phase) {
  const Voxel c = petSphereVoxel(p, phase);
  const double r = petRadius(p);
  const double ex = x - c.x, ey = y - c.y, ez = z - c.z;
  if (ex * ex + ey * ey + ez * ez <= r * r) return petSphereValue(phase);
  const double bx = (x - 0.5 * (p.width - 1)) / (0.45 * p.width);
  const double by = (y - 0.5 * (p.height - 1)) / (0.40 * p.height);
  return bx * bx + by * by <= 1.0 ? kPetBodyValue : 0;
}

Series write4dPet(const std::string& dir, const Pet4d& p) {
  if (p.width < 8 || p.height < 8 || p.slices < 2 || p.phases < 2 || p.slices > 32767 || p.phases > 32767 ||
      static_cast<long>(p.slices) * p.phases > 32767)
    throw std::runtime_error("4-D PET: bad size");
  std::filesystem::create_directories(dir);
  Series s;
  s.variant.name = "pt_4d";
  s.variant.modality = "PT";
  s.variant.hasWindow = false;
  s.width = p.width;
  s.height = p.height;
  s.slices = p.slices * p.phases;
  const std::string seed = "pt-4d/" + std::to_string(p.width) + "x" + std::to_string(p.height) + "x" +
                           std::to_string(p.slices) + "x" + std::to_string(p.phases);
  const size_t plane = static_cast<size_t>(p.width) * p.height;
  std::vector<Uint16> px(plane);
  for (int phase = 0; phase < p.phases; ++phase) {
    for (int z = 0; z < p.slices; ++z) {
      const int instance = phase * p.slices + z + 1;
      for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
          px[static_cast<size_t>(y) * p.width + x] = static_cast<Uint16>(petValue(p, x, y, z, phase));
      const double pos[3] = {origin(p.width, p.spacing), origin(p.height, p.spacing),
                             origin(p.slices, p.spacing) + z * p.spacing};
      DcmFileFormat ff;
      DcmDataset& d = *ff.getDataset();
      put(d, DCM_SOPClassUID, UID_PositronEmissionTomographyImageStorage, "sop class");
      putCommon(d, seed, "PT", "HFS", instance, p.width, p.height, p.spacing, p.spacing, p.spacing, pos);
      put(d, DCM_SeriesDescription, "phantom PET dynamic", "description");
      put(d, DCM_ImageType, "ORIGINAL\\PRIMARY", "image type");
      put(d, DCM_SeriesType, "DYNAMIC\\IMAGE", "series type");
      put(d, DCM_Units, "BQML", "units");
      put(d, DCM_DecayCorrection, "START", "decay correction");
      check(d.putAndInsertUint16(DCM_NumberOfSlices, static_cast<Uint16>(p.slices)), "number of slices");
      check(d.putAndInsertUint16(DCM_NumberOfTimeSlices, static_cast<Uint16>(p.phases)), "time slices");
      check(d.putAndInsertUint16(DCM_ImageIndex, static_cast<Uint16>(instance)), "image index");
      put(d, DCM_FrameReferenceTime, ds(static_cast<double>(phase) * p.frameMillis), "frame time");
      put(d, DCM_ActualFrameDuration, std::to_string(p.frameMillis), "frame duration");
      check(d.putAndInsertUint16(DCM_BitsStored, 16), "bits stored");
      check(d.putAndInsertUint16(DCM_HighBit, 15), "high bit");
      put(d, DCM_RescaleIntercept, "0", "intercept");
      put(d, DCM_RescaleSlope, "1", "slope");
      check(d.putAndInsertUint16Array(DCM_PixelData, px.data(), static_cast<unsigned long>(plane)), "pixels");
      const std::string path = fileName(dir, "pt4d", instance);
      check(ff.saveFile(path.c_str(), EXS_LittleEndianExplicit), "saving " + path);
      s.files.push_back(path);
      s.zPositions.push_back(pos[2]);
    }
  }
  return s;
}

}  // namespace dcmfixtures
