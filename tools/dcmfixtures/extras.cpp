#include "tools/dcmfixtures/extras.h"

#include <sys/stat.h>

#include <cstdio>
#include <stdexcept>

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctk.h>

#include "tools/dcmfixtures/fixtures.h"

namespace dcmfixtures {

namespace {

void check(const OFCondition& c, const std::string& what) {
  if (c.bad()) throw std::runtime_error(what + ": " + c.text());
}

std::string number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.6g", v);
  return buf;
}

const std::string kEsc = "\x1B";

// Item 0 of a new sequence in the item.
DcmItem* macro(DcmItem& item, const DcmTagKey& sequence) {
  DcmItem* sub = nullptr;
  check(item.findOrCreateSequenceItem(sequence, sub, 0), "macro sequence");
  return sub;
}

void putOrientationMeasures(DcmItem& group, const EnhancedMr& e) {
  DcmItem* measures = macro(group, DCM_PixelMeasuresSequence);
  check(measures->putAndInsertString(DCM_PixelSpacing, (number(e.spacingRow) + "\\" + number(e.spacingColumn)).c_str()),
        "spacing");
  check(measures->putAndInsertString(DCM_SliceThickness, number(e.thickness).c_str()), "thickness");
  check(macro(group, DCM_PlaneOrientationSequence)->putAndInsertString(DCM_ImageOrientationPatient, "1\\0\\0\\0\\1\\0"),
        "orientation");
  DcmItem* transform = macro(group, DCM_PixelValueTransformationSequence);
  check(transform->putAndInsertString(DCM_RescaleIntercept, number(e.intercept).c_str()), "intercept");
  check(transform->putAndInsertString(DCM_RescaleSlope, number(e.slope).c_str()), "slope");
  check(transform->putAndInsertString(DCM_RescaleType, "US"), "rescale type");
  DcmItem* voi = macro(group, DCM_FrameVOILUTSequence);
  check(voi->putAndInsertString(DCM_WindowCenter, number(e.windowCenter).c_str()), "centre");
  check(voi->putAndInsertString(DCM_WindowWidth, number(e.windowWidth).c_str()), "width");
}

}  // namespace

std::vector<NameExample> nameExamples() {
  const std::string e = kEsc;
  return {
      // Japanese, JIS X 0208 in G0 ("\ISO 2022 IR 87").
      {"ir87", "\\ISO 2022 IR 87",
       "Yamada^Tarou=" + e + "$B;3ED" + e + "(B^" + e + "$BB@O:" + e + "(B=" + e + "$B$d$^$@" + e + "(B^" + e +
           "$B$?$m$&" + e + "(B",
       "Yamada^Tarou=\xE5\xB1\xB1\xE7\x94\xB0^\xE5\xA4\xAA\xE9\x83\x8E="
       "\xE3\x82\x84\xE3\x81\xBE\xE3\x81\xA0^\xE3\x81\x9F\xE3\x82\x8D\xE3\x81\x86"},
      // Japanese, half-width katakana in G1 with JIS X 0201 romaji in G0,
      // kanji and hiragana in JIS X 0208.
      {"ir13_ir87", "ISO 2022 IR 13\\ISO 2022 IR 87",
       "\xD4\xCF\xC0\xDE^\xC0\xDB\xB3=" + e + "$B;3ED" + e + "(J^" + e + "$BB@O:" + e + "(J=" + e + "$B$d$^$@" + e +
           "(J^" + e + "$B$?$m$&" + e + "(J",
       "\xEF\xBE\x94\xEF\xBE\x8F\xEF\xBE\x80\xEF\xBE\x9E^\xEF\xBE\x80\xEF\xBE\x9B\xEF\xBD\xB3="
       "\xE5\xB1\xB1\xE7\x94\xB0^\xE5\xA4\xAA\xE9\x83\x8E="
       "\xE3\x82\x84\xE3\x81\xBE\xE3\x81\xA0^\xE3\x81\x9F\xE3\x82\x8D\xE3\x81\x86"},
      // Korean, KS X 1001 in G1 ("\ISO 2022 IR 149").
      {"ir149", "\\ISO 2022 IR 149",
       "Hong^Gildong=" + e + "$)C\xFB\xF3^" + e + "$)C\xD1\xCE\xD4\xD7=" + e + "$)C\xC8\xAB^" + e +
           "$)C\xB1\xE6\xB5\xBF",
       "Hong^Gildong=\xE6\xB4\xAA^\xE5\x90\x89\xE6\xB4\x9E=\xED\x99\x8D^\xEA\xB8\xB8\xEB\x8F\x99"},
      // Chinese, GB 2312 in G1 ("\ISO 2022 IR 58"), empty last group.
      {"ir58", "\\ISO 2022 IR 58", "Zhang^XiaoDong=" + e + "$)A\xD5\xC5^" + e + "$)A\xD0\xA1\xB6\xAB=",
       "Zhang^XiaoDong=\xE5\xBC\xA0^\xE5\xB0\x8F\xE4\xB8\x9C"},
      // Chinese, GB18030, empty last group.
      {"gb18030", "GB18030", "Wang^XiaoDong=\xCD\xF5^\xD0\xA1\x96\x7C=",
       "Wang^XiaoDong=\xE7\x8E\x8B^\xE5\xB0\x8F\xE6\x9D\xB1"},
  };
}

std::vector<std::string> writeNameExamples(const std::string& dir) {
  std::string cur;
  for (size_t i = 0; i <= dir.size(); ++i) {
    if ((i == dir.size() || dir[i] == '/') && !cur.empty()) mkdir(cur.c_str(), 0755);
    if (i < dir.size()) cur.push_back(dir[i]);
  }
  std::vector<std::string> paths;
  for (const NameExample& n : nameExamples()) {
    const std::string path = dir + "/" + n.name + ".dcm";
    writeTagged(path, {{0x00080005, n.charset}, {0x00100010, n.encoded}}, 8, 8);
    paths.push_back(path);
  }
  return paths;
}

int enhancedSample(const EnhancedMr& e, int x, int y, int frame) {
  (void)e;
  return (x * 7 + y * 31 + frame * 401) % 4000;
}

double enhancedZ(const EnhancedMr& e, int frame) {
  const int k = e.descending ? e.frames - 1 - frame : frame;
  return e.z0 + k * e.step;
}

void writeEnhancedMr(const std::string& path, const EnhancedMr& e) {
  DcmFileFormat ff;
  DcmDataset& d = *ff.getDataset();
  const std::string root = "2.25.4711" + std::to_string(e.frames) + (e.shared ? "1" : "2") + (e.descending ? "1" : "0") +
                           (e.topLevelToo ? "1" : "0");
  check(d.putAndInsertString(DCM_SOPClassUID, UID_EnhancedMRImageStorage), "sop class");
  check(d.putAndInsertString(DCM_SOPInstanceUID, (root + ".3").c_str()), "sop");
  check(d.putAndInsertString(DCM_StudyInstanceUID, (root + ".1").c_str()), "study");
  check(d.putAndInsertString(DCM_SeriesInstanceUID, (root + ".2").c_str()), "series");
  check(d.putAndInsertString(DCM_FrameOfReferenceUID, (root + ".4").c_str()), "for");
  check(d.putAndInsertString(DCM_PatientName, "FIXTURE^enhanced"), "name");
  check(d.putAndInsertString(DCM_PatientID, "FX-enhanced"), "id");
  check(d.putAndInsertString(DCM_PatientSex, "M"), "sex");
  check(d.putAndInsertString(DCM_StudyDate, "20240102"), "date");
  check(d.putAndInsertString(DCM_StudyTime, "101010"), "time");
  check(d.putAndInsertString(DCM_StudyID, "7"), "study id");
  check(d.putAndInsertString(DCM_SeriesNumber, "5"), "series number");
  check(d.putAndInsertString(DCM_InstanceNumber, "1"), "instance");
  check(d.putAndInsertString(DCM_Modality, "MR"), "modality");
  check(d.putAndInsertString(DCM_SeriesDescription, "fixture enhanced MR"), "description");
  check(d.putAndInsertString(DCM_PatientPosition, "HFS"), "position");
  check(d.putAndInsertUint16(DCM_Rows, static_cast<Uint16>(e.height)), "rows");
  check(d.putAndInsertUint16(DCM_Columns, static_cast<Uint16>(e.width)), "columns");
  check(d.putAndInsertUint16(DCM_SamplesPerPixel, 1), "spp");
  check(d.putAndInsertString(DCM_PhotometricInterpretation, "MONOCHROME2"), "pi");
  check(d.putAndInsertUint16(DCM_BitsAllocated, 16), "ba");
  check(d.putAndInsertUint16(DCM_BitsStored, 16), "bs");
  check(d.putAndInsertUint16(DCM_HighBit, 15), "hb");
  check(d.putAndInsertUint16(DCM_PixelRepresentation, 0), "pr");
  check(d.putAndInsertString(DCM_NumberOfFrames, std::to_string(e.frames).c_str()), "frames");

  if (e.topLevelToo) {
    check(d.putAndInsertString(DCM_PixelSpacing, "1\\1"), "top spacing");
    check(d.putAndInsertString(DCM_SliceThickness, "1"), "top thickness");
    check(d.putAndInsertString(DCM_RescaleSlope, "1"), "top slope");
    check(d.putAndInsertString(DCM_RescaleIntercept, "0"), "top intercept");
    check(d.putAndInsertString(DCM_WindowCenter, "40"), "top centre");
    check(d.putAndInsertString(DCM_WindowWidth, "400"), "top width");
  }

  DcmItem* shared = nullptr;
  check(d.findOrCreateSequenceItem(DCM_SharedFunctionalGroupsSequence, shared, 0), "shared groups");
  if (e.shared) putOrientationMeasures(*shared, e);
  for (int k = 0; k < e.frames; ++k) {
    DcmItem* frame = nullptr;
    check(d.findOrCreateSequenceItem(DCM_PerFrameFunctionalGroupsSequence, frame, k), "per-frame groups");
    DcmItem* content = macro(*frame, DCM_FrameContentSequence);
    check(content->putAndInsertUint32(DCM_InStackPositionNumber, static_cast<Uint32>(k + 1)), "stack position");
    const std::string pos = number(e.x0) + "\\" + number(e.y0) + "\\" + number(enhancedZ(e, k));
    check(macro(*frame, DCM_PlanePositionSequence)->putAndInsertString(DCM_ImagePositionPatient, pos.c_str()),
          "frame position");
    if (!e.shared) putOrientationMeasures(*frame, e);
  }

  const size_t plane = static_cast<size_t>(e.width) * e.height;
  std::vector<Uint16> px(plane * e.frames);
  for (int k = 0; k < e.frames; ++k)
    for (int y = 0; y < e.height; ++y)
      for (int x = 0; x < e.width; ++x)
        px[k * plane + static_cast<size_t>(y) * e.width + x] = static_cast<Uint16>(enhancedSample(e, x, y, k));
  check(d.putAndInsertUint16Array(DCM_PixelData, px.data(), px.size()), "pixels");
  check(ff.saveFile(path.c_str(), EXS_LittleEndianExplicit), "saving " + path);
}

}  // namespace dcmfixtures
