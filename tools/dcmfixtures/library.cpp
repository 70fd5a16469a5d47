#include "tools/dcmfixtures/library.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <stdexcept>

#include "tools/dcmfixtures/fixtures.h"

namespace dcmfixtures {

namespace {

constexpr uint32_t tag(uint16_t g, uint16_t e) { return (uint32_t(g) << 16) | e; }

std::string two(int v) {
  char b[8];
  std::snprintf(b, sizeof b, "%02d", v % 100);
  return b;
}

const char* kRoot = "1.2.826.0.1.3680043.10.1001";

}  // namespace

LibraryImage libraryImage(int p, int s, int e, int i) {
  LibraryImage m;
  m.p = p, m.s = s, m.e = e, m.i = i;
  std::string ps = std::to_string(p), ss = std::to_string(s), es = std::to_string(e), is = std::to_string(i);
  m.patientName = "LIBRARY^PATIENT" + ps;
  m.patientID = "LIB" + ps;
  m.birthDate = std::to_string(1940 + p % 60) + two(1 + p % 12) + two(1 + p % 28);
  m.sex = p % 2 ? "M" : "F";
  m.studyUID = std::string(kRoot) + "." + ps + "." + ss;
  m.studyID = "ST" + ss;
  m.studyDate = "2024" + two(1 + s % 12) + two(1 + (p + s) % 28);
  m.studyTime = two(8 + s % 10) + two(p % 60) + two(s % 60);
  m.studyDescription = "Study " + ss + " of patient " + ps;
  m.seriesUID = m.studyUID + "." + es;
  m.seriesDate = m.studyDate;
  m.seriesTime = two(8 + s % 10) + two(p % 60) + two((10 + e) % 60);
  m.seriesDescription = "Series " + es + " of study " + ss;
  m.seriesNumber = std::to_string(e + 1);
  m.sopInstanceUID = m.seriesUID + "." + is;
  m.instanceNumber = std::to_string(i + 1);
  m.modality = e % 2 ? "MR" : "CT";
  m.institution = e % 3 == 2 ? "" : "Fernwick Hospital " + ps;
  if (m.modality == "CT") {
    m.kvp = std::to_string(100 + 10 * (e % 5));
    m.tubeCurrent = std::to_string(200 + 50 * (s % 4));
  }
  return m;
}

std::vector<LibraryImage> writeLibrary(const std::string& dir, int patients, int studies, int series, int images,
                                       int width, int height) {
  std::vector<LibraryImage> out;
  for (int p = 0; p < patients; ++p)
    for (int s = 0; s < studies; ++s)
      for (int e = 0; e < series; ++e) {
        std::string folder = dir + "/p" + std::to_string(p) + "/s" + std::to_string(s) + "/e" + std::to_string(e);
        std::filesystem::create_directories(folder);
        for (int i = 0; i < images; ++i) {
          LibraryImage m = libraryImage(p, s, e, i);
          m.path = folder + "/i" + std::to_string(i) + ".dcm";
          writeTagged(m.path,
                      {{tag(0x0010, 0x0010), m.patientName},
                       {tag(0x0010, 0x0020), m.patientID},
                       {tag(0x0010, 0x0030), m.birthDate},
                       {tag(0x0010, 0x0040), m.sex},
                       {tag(0x0020, 0x000D), m.studyUID},
                       {tag(0x0020, 0x0010), m.studyID},
                       {tag(0x0008, 0x0020), m.studyDate},
                       {tag(0x0008, 0x0030), m.studyTime},
                       {tag(0x0008, 0x1030), m.studyDescription},
                       {tag(0x0020, 0x000E), m.seriesUID},
                       {tag(0x0008, 0x0021), m.seriesDate},
                       {tag(0x0008, 0x0031), m.seriesTime},
                       {tag(0x0008, 0x103E), m.seriesDescription},
                       {tag(0x0020, 0x0011), m.seriesNumber},
                       {tag(0x0008, 0x0018), m.sopInstanceUID},
                       {tag(0x0020, 0x0013), m.instanceNumber},
                       {tag(0x0008, 0x0060), m.modality},
                       {tag(0x0008, 0x0080), m.institution},
                       {tag(0x0018, 0x0060), m.kvp},
                       {tag(0x0018, 0x1151), m.tubeCurrent}},
                      width, height);
          out.push_back(m);
        }
      }
  return out;
}

std::vector<HostileFile> writeHostileLibrary(const std::string& dir) {
  std::filesystem::create_directories(dir);
  std::vector<HostileFile> out;
  auto add = [&](const std::string& file, const std::string& what,
                 std::vector<std::pair<uint32_t, std::string>> elements) {
    HostileFile h;
    h.path = dir + "/" + file;
    h.what = what;
    // Defaults of the set; an element given later wins.
    std::vector<std::pair<uint32_t, std::string>> all = {
        {tag(0x0010, 0x0010), "HOSTILE^PLAIN"}, {tag(0x0010, 0x0020), "H0"},
        {tag(0x0020, 0x000D), std::string(kRoot) + ".9"}, {tag(0x0020, 0x000E), std::string(kRoot) + ".9.1"},
        {tag(0x0008, 0x0018), std::string(kRoot) + ".9.1." + std::to_string(out.size() + 1)},
        {tag(0x0010, 0x0040), "F"}, {tag(0x0008, 0x0030), "101010"}, {tag(0x0008, 0x0060), "CT"},
        {tag(0x0020, 0x0013), std::to_string(out.size() + 1)}};
    for (auto& e : elements) {
      bool replaced = false;
      for (auto& a : all)
        if (a.first == e.first) a.second = e.second, replaced = true;
      if (!replaced) all.push_back(e);
    }
    writeTagged(h.path, all, 16, 16);
    auto value = [&](uint32_t key) {
      for (auto& a : all)
        if (a.first == key) return a.second;
      return std::string();
    };
    h.patientName = value(tag(0x0010, 0x0010));
    h.patientID = value(tag(0x0010, 0x0020));
    h.studyUID = value(tag(0x0020, 0x000D));
    h.seriesUID = value(tag(0x0020, 0x000E));
    h.sopInstanceUID = value(tag(0x0008, 0x0018));
    h.sex = value(tag(0x0010, 0x0040));
    h.studyTime = value(tag(0x0008, 0x0030));
    h.modality = value(tag(0x0008, 0x0060));
    out.push_back(h);
    return out.size() - 1;
  };
  add("sql_name.dcm", "a name that ends a SQL literal", {{tag(0x0010, 0x0010), "O'Brien\"; DROP TABLE patient;--"}});
  add("quote_name.dcm", "a name with a backslash and a quote", {{tag(0x0010, 0x0010), "a\\\"b"}, {tag(0x0010, 0x0020), "H2"}});
  add("dotdot_uids.dcm", "UIDs and an ID that climb out of the root",
      {{tag(0x0010, 0x0020), "../../../tmp/escape"},
       {tag(0x0020, 0x000D), "../../etc"},
       {tag(0x0020, 0x000E), "a/../../b"},
       {tag(0x0008, 0x0018), "../../../../tmp/evil"}});
  size_t gb = add("gb18030.dcm", "a GB18030 name with its character set",
                  {{tag(0x0008, 0x0005), "GB18030"},
                   {tag(0x0010, 0x0010), "\xD5\xC5\xC8\xFD"},
                   {tag(0x0010, 0x0020), "H4"}});
  out[gb].patientName = "\xE5\xBC\xA0\xE4\xB8\x89";  // as UTF-8
  add("nouid_1.dcm", "no SOP Instance UID (1 of 2)",
      {{tag(0x0008, 0x0018), ""}, {tag(0x0010, 0x0020), "H5"}, {tag(0x0020, 0x0013), "1"}});
  add("nouid_2.dcm", "no SOP Instance UID (2 of 2)",
      {{tag(0x0008, 0x0018), ""}, {tag(0x0010, 0x0020), "H5"}, {tag(0x0020, 0x0013), "2"}});
  add("sex_o.dcm", "sex O", {{tag(0x0010, 0x0040), "O"}, {tag(0x0010, 0x0020), "H6"}});
  add("time_fraction.dcm", "a study time with a fraction",
      {{tag(0x0008, 0x0030), "123045.123456"}, {tag(0x0008, 0x0020), "20240305"}, {tag(0x0010, 0x0020), "H7"}});
  add("long_modality.dcm", "a 300-byte modality", {{tag(0x0008, 0x0060), std::string(300, 'M')}, {tag(0x0010, 0x0020), "H8"}});

  // Cut short: in the header, and in the pixel data.
  auto cut = [&](const std::string& file, const std::string& what, bool inHeader) {
    size_t k = add(file, what, {{tag(0x0010, 0x0020), "H9"}});
    out[k].cut = true;
    struct stat st;
    if (stat(out[k].path.c_str(), &st) != 0) throw std::runtime_error("cannot stat " + out[k].path);
    off_t size = inHeader ? 300 : st.st_size - 100;
    if (truncate(out[k].path.c_str(), size) != 0) throw std::runtime_error("cannot cut " + out[k].path);
  };
  cut("cut_header.dcm", "cut short in the header", true);
  cut("cut_pixels.dcm", "cut short in the pixel data", false);
  return out;
}

}  // namespace dcmfixtures
