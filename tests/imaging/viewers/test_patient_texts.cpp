// The patient and study texts of the overlay, read from real files: one
// table of element sets against the JSON read back key by key.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "imaging/viewers/isDcmTextReader.h"
#include "toolkit/foundation/NSJson.h"
#include "tools/dcmfixtures/fixtures.h"
#include "viewer_support.h"

using isImageSDK::readPatientInfoFile;

namespace {

namespace fs = std::filesystem;

const std::string& scratch() { return viewertest::scratchFolder("patient-texts"); }

constexpr uint32_t tag(uint16_t group, uint16_t element) { return uint32_t(group) << 16 | element; }

// Elements of the fixture file that the rows below change.
constexpr uint32_t kInstitution = tag(0x0008, 0x0080), kStudyDate = tag(0x0008, 0x0020),
                   kSeriesDate = tag(0x0008, 0x0021), kAcqDate = tag(0x0008, 0x0022),
                   kStudyTime = tag(0x0008, 0x0030), kSeriesTime = tag(0x0008, 0x0031),
                   kAcqTime = tag(0x0008, 0x0032), kStudyDesc = tag(0x0008, 0x1030),
                   kSeriesDesc = tag(0x0008, 0x103E), kName = tag(0x0010, 0x0010),
                   kBirth = tag(0x0010, 0x0030), kSex = tag(0x0010, 0x0040), kAge = tag(0x0010, 0x1010),
                   kWeight = tag(0x0010, 0x1030), kProtocol = tag(0x0018, 0x1030), kStudyId = tag(0x0020, 0x0010),
                   kSeriesNumber = tag(0x0020, 0x0011);

bool hasKey(const std::string& json, const char* key) {
  size_t start = 0, end = 0;
  return NSUI::UIJson::findJsonValue(json, key, start, end);
}

}  // namespace

// The fixture file alone: study 1, series 3, series 2024-01-02 10:20:00,
// patient FIXTURE^ct_s16, F, born 19700101, 75 kg, series description; no
// institution. The whole text shows the key order.
TEST(PatientTexts, FixtureFileGivesTheKeysInOrder) {
  const std::string path = scratch() + "plain.dcm";
  dcmfixtures::writeTagged(path, {});
  std::string json;
  ASSERT_TRUE(readPatientInfoFile(path, json));
  EXPECT_EQ(json,
            "{\"studyID\":\"1\",\"seriesID\":\"3\",\"seriesTime\":\"2024.01.02 10:20:00\","
            "\"patient\":\"FIXTURE^ct_s16\",\"patientInfo\":\"F 19700101 W=75\",\"imageDesc\":\"fixture ct_s16\"}");
}

TEST(PatientTexts, ElementSetsGiveTheirTexts) {
  struct Row {
    const char* what;
    std::vector<std::pair<uint32_t, std::string>> elements;
    // Expected values; null: the key is absent.
    std::vector<std::pair<const char*, const char*>> expect;
  };
  const char* const absent = nullptr;
  const Row rows[] = {
      {"comma in the institution", {{kInstitution, "A, B"}}, {{"hospital", "A_ B"}}},
      {"series date and time with a fraction",
       {{kSeriesDate, "20170815"}, {kSeriesTime, "093012.5"}},
       {{"seriesTime", "2017.08.15 09:30:12"}}},
      {"study date and time when the series has none",
       {{kSeriesDate, ""}, {kSeriesTime, ""}, {kStudyDate, "20200304"}, {kStudyTime, "111213"}},
       {{"seriesTime", "2020.03.04 11:12:13"}}},
      {"acquisition date and time when series and study have none",
       {{kSeriesDate, ""}, {kSeriesTime, ""}, {kStudyDate, ""}, {kStudyTime, ""}, {kAcqDate, "20190203"},
        {kAcqTime, "040506"}},
       {{"seriesTime", "2019.02.03 04:05:06"}}},
      {"a short time keeps its separators", {{kSeriesTime, "0930"}}, {{"seriesTime", "2024.01.02 09:30:"}}},
      {"a time without any date", {{kSeriesDate, ""}, {kStudyDate, ""}}, {{"seriesTime", " 10:20:00"}}},
      {"no time: no series time", {{kSeriesTime, ""}, {kStudyTime, ""}}, {{"seriesTime", absent}}},
      {"sex, age and weight", {{kSex, "M"}, {kAge, "045Y"}, {kWeight, "72"}}, {{"patientInfo", "M 045Y W=72"}}},
      {"sex 0000, birth date, weight 0", {{kSex, "0000"}, {kWeight, "0"}}, {{"patientInfo", " 19700101"}}},
      {"nothing about the patient", {{kSex, ""}, {kBirth, ""}, {kWeight, ""}}, {{"patientInfo", ""}}},
      {"protocol name first", {{kProtocol, "HEAD ROUTINE"}}, {{"imageDesc", "HEAD ROUTINE"}}},
      {"no protocol name: series description", {{kProtocol, ""}}, {{"imageDesc", "fixture ct_s16"}}},
      {"a protocol name of blanks counts as none", {{kProtocol, "  "}}, {{"imageDesc", "fixture ct_s16"}}},
      {"study description last", {{kSeriesDesc, ""}, {kStudyDesc, "BRAIN"}}, {{"imageDesc", "BRAIN"}}},
      {"no description at all", {{kSeriesDesc, ""}}, {{"imageDesc", absent}}},
      {"no study id, series number or name",
       {{kStudyId, ""}, {kSeriesNumber, ""}, {kName, ""}},
       {{"studyID", absent}, {"seriesID", absent}, {"patient", absent}, {"patientInfo", "F 19700101 W=75"}}},
      {"quotes, commas, braces and a backslash",
       {{kName, "O\"Brien, {Pat}\\Alias"}, {kProtocol, "a \"b\", {c}: d\\e"}},
       {{"patient", "O\"Brien, {Pat}\\Alias"}, {"imageDesc", "a \"b\", {c}: d\\e"}}},
  };
  int n = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const std::string path = scratch() + "row" + std::to_string(n++) + ".dcm";
    dcmfixtures::writeTagged(path, row.elements);
    std::string json;
    ASSERT_TRUE(readPatientInfoFile(path, json));
    for (const auto& [key, value] : row.expect) {
      SCOPED_TRACE(key);
      if (!value) {
        EXPECT_FALSE(hasKey(json, key)) << json;
      } else {
        EXPECT_TRUE(hasKey(json, key)) << json;
        EXPECT_EQ(NSUI::UIJson::getJsonString(json, key), value);
      }
    }
  }
}

TEST(PatientTexts, FileThatIsNotDicomGivesNothing) {
  const std::string path = scratch() + "notes.txt";
  std::ofstream(path) << "not an image";
  std::string json = "untouched";
  EXPECT_FALSE(readPatientInfoFile(path, json));
  EXPECT_FALSE(readPatientInfoFile(scratch() + "missing.dcm", json));
  EXPECT_FALSE(readPatientInfoFile("", json));
  EXPECT_EQ(json, "untouched");
}
