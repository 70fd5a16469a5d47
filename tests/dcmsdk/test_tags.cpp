// Tag values, character sets, tag lists and storage folder names.
#include <gtest/gtest.h>

#include <cstring>
#include <set>

#include "support_dcm.h"
#include "tools/dcmfixtures/extras.h"

using dcmSDK::dcmReader;
using dcmSDK::dcmReadTag;
using namespace dcmtest;

namespace {

std::string petFile() { return series("pet").files[0]; }

struct TagCase {
  unsigned short group, element;
  int size;
  bool found;
  const char* text;
};

TEST(Tags, ValuesFollowTheReaderRules) {
  const TagCase cases[] = {
      {0x0028, 0x0011, 1024, true, "64"},                  // numeric VR as decimal text
      {0x0028, 0x0030, 1024, true, "0.5\\0.7"},            // multi-value joined by "\"
      {0x0010, 0x0010, 1024, true, "FIXTURE^pet"},         // padding removed
      {0x0018, 0x1072, 1024, true, "101500"},              // inside (0054,0016) item 0
      {0x0018, 0x1074, 1024, true, "370000000"},
      {0x0018, 0x1075, 1024, true, "6586.2"},
      {0x0018, 0x1078, 1024, true, "20240102101500"},
      {0x0018, 0x0031, 1024, false, ""},                   // nested, but not a reader tag
      {0x7053, 0x1000, 1024, true, "0.000123"},            // private, UN in implicit VR
      {0x0054, 0x1001, 1024, true, "BQML"},
      {0x0002, 0x0010, 1024, true, "1.2.840.10008.1.2"},   // meta header
      {0x0020, 0x9999, 1024, false, ""},
      {0x0010, 0x0010, 1, true, ""},                       // only room for the NUL
      {0x0010, 0x0010, 8, true, "FIXTURE"},
  };
  dcmReader r;
  ASSERT_TRUE(r.setFile(petFile().c_str()));
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << std::hex << c.group << "," << c.element << " size " << std::dec << c.size);
    char buf[1024];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(r.readDicomTagString(c.group, c.element, buf, c.size), c.found);
    EXPECT_STREQ(buf, c.text);
  }
  char buf[4] = "abc";
  EXPECT_FALSE(r.readDicomTagString(0x0010, 0x0010, buf, 0));
  EXPECT_STREQ(buf, "abc");  // nothing written without room
}

TEST(Tags, AbsentAfterPresentLeavesNoStaleText) {
  dcmReader r;
  ASSERT_TRUE(r.setFile(series("ct_s16").files[0].c_str()));
  char buf[64];
  ASSERT_TRUE(r.readDicomTagString(0x0010, 0x0020, buf, sizeof buf));
  EXPECT_STREQ(buf, "FX-ct_s16");
  EXPECT_FALSE(r.readDicomTagString(0x0054, 0x1001, buf, sizeof buf));
  EXPECT_STREQ(buf, "");
}

TEST(Tags, Uint16FromBinaryAndDecimalTexts) {
  std::string path = scratch() + "/uint16.dcm";
  dcmfixtures::writeTagged(path, {{0x00181060, "125.5"},    // Trigger Time, DS
                                  {0x00200013, "70000"},    // Instance Number, IS out of range
                                  {0x00181050, "abc"},      // Spatial Resolution, DS not a number
                                  {0x00280106, ""}});
  dcmReader r;
  ASSERT_TRUE(r.setFile(path.c_str()));
  unsigned short v = 0;
  EXPECT_TRUE(r.readDicomTagUint16(0x0028, 0x0011, v));
  EXPECT_EQ(v, 64);
  EXPECT_TRUE(r.readDicomTagUint16(0x0018, 0x1060, v));
  EXPECT_EQ(v, 125);
  EXPECT_FALSE(r.readDicomTagUint16(0x0020, 0x0013, v));
  EXPECT_FALSE(r.readDicomTagUint16(0x0018, 0x1050, v));
  EXPECT_FALSE(r.readDicomTagUint16(0x0028, 0x0106, v));
  EXPECT_TRUE(r.readDicomTagUint16(0x0028, 0x0103, v));
  EXPECT_EQ(v, 1);
}

// ---- character sets ----------------------------------------------------------

std::vector<std::string> g_callbackCalls;
void recordingCallback(const char* src, char* dst, int len) {
  g_callbackCalls.push_back(src);
  std::memset(dst, 0, static_cast<size_t>(len));
  std::strncpy(dst, "converted", static_cast<size_t>(len) - 1);
}

struct CharsetCase {
  const char* name;
  const char* charset;  // "" = no (0008,0005)
  std::string value;    // Patient's Name bytes
  int language;
  const char* expect;   // nullptr = only check validity
  int viaCallback;      // 1 yes, 0 no, -1 either
};

bool validUtf8(const std::string& s) {
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (!n || i + n > s.size()) return false;
    for (size_t k = 1; k < n; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += n;
  }
  return true;
}

TEST(Charsets, DeclaredLegacyAndUnknownTextsBecomeValidUtf8) {
  const std::string gb = "\xCD\xF5^\xD0\xA1\xC3\xF7";  // 王^小明 in GB18030
  const CharsetCase cases[] = {
      {"gb18030", "GB18030", gb, 0, "\xE7\x8E\x8B^\xE5\xB0\x8F\xE6\x98\x8E", false},
      {"latin1", "ISO_IR 100", "M\xFCller^J\xF6rg", 0, "M\xC3\xBCller^J\xC3\xB6rg", false},
      {"utf8", "ISO_IR 192", "M\xC3\xBCller", 0, "M\xC3\xBCller", false},
      {"undeclared_callback", "", gb, 0, "converted", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = scratch() + "/cs_" + c.name + ".dcm";
    dcmfixtures::writeTagged(path, {{0x00080005, c.charset}, {0x00100010, c.value}});
    g_callbackCalls.clear();
    dcmSDK::setgb2utf8Callback(recordingCallback);
    dcmReader r;
    ASSERT_TRUE(r.setFile(path.c_str()));
    char buf[256];
    ASSERT_TRUE(r.readDicomTagString(0x0010, 0x0010, buf, sizeof buf));
    dcmSDK::setgb2utf8Callback(nullptr);
    EXPECT_TRUE(validUtf8(buf)) << buf;
    if (c.expect) EXPECT_STREQ(buf, c.expect);
    if (c.viaCallback >= 0) EXPECT_EQ(!g_callbackCalls.empty(), c.viaCallback == 1);
    if (c.viaCallback == 1) EXPECT_EQ(g_callbackCalls[0], c.value);
  }
}

// The examples of the standard in ISO 2022 code extensions (Japanese, Korean,
// Chinese) and GB18030: every reading path returns the same UTF-8 text, never
// escape sequences, and a name's empty last group loses its "=". The legacy
// converter must not be asked.
TEST(Charsets, CodeExtensionsAndEmptyTrailingGroups) {
  const auto examples = dcmfixtures::nameExamples();
  const auto paths = dcmfixtures::writeNameExamples(scratch() + "/names");
  ASSERT_EQ(paths.size(), examples.size());
  dcmSDK::setgb2utf8Callback(recordingCallback);
  g_callbackCalls.clear();
  for (size_t i = 0; i < examples.size(); ++i) {
    SCOPED_TRACE(examples[i].name);
    dcmReader r;
    ASSERT_TRUE(r.setFile(paths[i].c_str()));
    char buf[1024];
    ASSERT_TRUE(r.readDicomTagString(0x0010, 0x0010, buf, sizeof buf));
    EXPECT_EQ(std::string(buf), examples[i].utf8);

    dcmReadTag t;
    ASSERT_TRUE(t.setFile(paths[i].c_str()));
    EXPECT_EQ(t.getTag(0x0010, 0x0010), examples[i].utf8);
    int count = 0;
    dcmSDK::DicomTags** rows = t.getTagList(count);
    std::string listed;
    for (int k = 0; k < count; ++k)
      if (std::strcmp(rows[k]->tag, "(0010,0010)") == 0) listed = rows[k]->value;
    EXPECT_EQ(listed, examples[i].utf8);
  }
  dcmSDK::setgb2utf8Callback(nullptr);
  EXPECT_TRUE(g_callbackCalls.empty());
}

// Delimiters bring back the sets of the first value: a G1 set designated in
// one component is gone after "^", so its bytes there are not read as Korean,
// while half-width katakana (G1 of the first value) come back after "=" without
// a new escape sequence. Values of other VRs keep "^" and "=" as text.
TEST(Charsets, DelimitersRestoreTheInitialSets) {
  const std::string esc = "\x1B";
  struct Case {
    const char* name;
    const char* charset;
    uint32_t tag;
    std::string value;
    std::string expect;
  } cases[] = {
      {"pn_g1_reset", "\\ISO 2022 IR 149", 0x00100010, "A" + esc + "$)C\xC8\xAB^\xC8\xAB",
       "A\xED\x99\x8D^\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"pn_katakana_back", "ISO 2022 IR 13\\ISO 2022 IR 149", 0x00100010,
       "\xD4=" + esc + "$)C\xC8\xAB=\xD4", "\xEF\xBE\x94=\xED\x99\x8D=\xEF\xBE\x94"},
      {"lo_caret_is_text", "\\ISO 2022 IR 149", 0x0008103E, esc + "$)C\xC8\xAB^\xC8\xAB",
       "\xED\x99\x8D^\xED\x99\x8D"},
      {"lo_multi_value", "\\ISO 2022 IR 87", 0x0008103E, esc + "$B;3" + esc + "(B\\" + esc + "$BED" + esc + "(B",
       "\xE5\xB1\xB1\\\xE7\x94\xB0"},
      {"ir13_single_byte", "ISO_IR 13", 0x00100010, "\xD4\xCF\xC0\xDE^\xC0\xDB\xB3",
       "\xEF\xBE\x94\xEF\xBE\x8F\xEF\xBE\x80\xEF\xBE\x9E^\xEF\xBE\x80\xEF\xBE\x9B\xEF\xBD\xB3"},
      {"jis0212", "\\ISO 2022 IR 87\\ISO 2022 IR 159", 0x0008103E, esc + "$(D0!" + esc + "(B",
       "\xE4\xB8\x82"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = scratch() + "/cs_" + c.name + ".dcm";
    dcmfixtures::writeTagged(path, {{0x00080005, c.charset}, {c.tag, c.value}});
    dcmReader r;
    ASSERT_TRUE(r.setFile(path.c_str()));
    char buf[256];
    ASSERT_TRUE(r.readDicomTagString(static_cast<unsigned short>(c.tag >> 16), static_cast<unsigned short>(c.tag),
                                     buf, sizeof buf));
    EXPECT_EQ(std::string(buf), c.expect);
  }
}

TEST(Charsets, WithoutCallbackTheLanguageChoosesTheLegacyCodePage) {
  std::string path = scratch() + "/cs_language.dcm";
  dcmfixtures::writeTagged(path, {{0x00080005, ""}, {0x00100010, "\xCD\xF5^\xD0\xA1\xC3\xF7"}});
  dcmReader r;
  r.setLanguage(1);  // Chinese
  ASSERT_TRUE(r.setFile(path.c_str()));
  char buf[64];
  ASSERT_TRUE(r.readDicomTagString(0x0010, 0x0010, buf, sizeof buf));
  EXPECT_STREQ(buf, "\xE7\x8E\x8B^\xE5\xB0\x8F\xE6\x98\x8E");
  r.setLanguage(0);  // western: still valid UTF-8, never raw bytes
  ASSERT_TRUE(r.readDicomTagString(0x0010, 0x0010, buf, sizeof buf));
  EXPECT_TRUE(validUtf8(buf));
}

TEST(Charsets, CutsNeverSplitACharacter) {
  std::string path = scratch() + "/cs_cut.dcm";
  // Six two-byte characters: 12 bytes.
  dcmfixtures::writeTagged(path, {{0x00080005, "ISO_IR 192"}, {0x0008103E, "\xC3\x84\xC3\x84\xC3\x84\xC3\x84\xC3\x84\xC3\x84"}});
  dcmReader r;
  ASSERT_TRUE(r.setFile(path.c_str()));
  for (int size : {2, 3, 4, 8, 12, 13}) {
    char buf[32];
    ASSERT_TRUE(r.readDicomTagString(0x0008, 0x103E, buf, size));
    size_t len = std::strlen(buf);
    EXPECT_LE(len, static_cast<size_t>(size - 1));
    EXPECT_EQ(len % 2, 0u) << "size " << size;
    EXPECT_EQ(len, static_cast<size_t>(std::min(12, (size - 1) / 2 * 2)));
    EXPECT_TRUE(validUtf8(buf));
  }
}

// ---- tag list ----------------------------------------------------------------

TEST(TagList, MetaFirstThenDatasetWithNestedItemsAndBinarySizes) {
  dcmReadTag t;
  int count = -1;
  EXPECT_EQ(t.getTagList(count), nullptr);
  EXPECT_EQ(count, 0);
  ASSERT_TRUE(t.setFile(petFile().c_str()));
  dcmSDK::DicomTags** rows = t.getTagList(count);
  ASSERT_NE(rows, nullptr);
  ASSERT_GT(count, 40);
  EXPECT_EQ(std::strncmp(rows[0]->tag, "(0002,", 6), 0);
  bool inDataset = false, sawSeq = false, sawNested = false, sawPixels = false, sawPrivate = false;
  std::string previous;
  for (int i = 0; i < count; ++i) {
    const auto& r = *rows[i];
    std::string tag = r.tag;
    if (tag.rfind("(0002,", 0) != 0) inDataset = true;
    if (inDataset) EXPECT_NE(tag.rfind("(0002,", 0), 0u) << "meta rows after dataset rows";
    if (tag == "(0054,0016)") {
      sawSeq = true;
      EXPECT_STREQ(r.value, "(sequence, 1 items)");
      EXPECT_STREQ(r.description, "RadiopharmaceuticalInformationSequence");
    }
    if (tag == ">(0018,1072)") {
      sawNested = true;
      EXPECT_STREQ(r.value, "101500");
    }
    if (tag == "(7fe0,0010)") {
      sawPixels = true;
      EXPECT_STREQ(r.value, "(binary, 6144 bytes)");
    }
    if (tag == "(7053,1000)") {
      sawPrivate = true;
      EXPECT_EQ(r.isPrivate, 1);
      EXPECT_STREQ(r.value, "0.000123");
    }
    if (tag == "(0010,0010)") EXPECT_EQ(r.isPrivate, 0);
  }
  EXPECT_TRUE(sawSeq && sawNested && sawPixels && sawPrivate);
  EXPECT_STREQ(t.getTag(0x0010, 0x0020).c_str(), "FX-pet");
  EXPECT_EQ(t.getTag(0x0010, 0x9999), "");
}

TEST(TagList, ImageScaleIsSpacingXOverSpacingY) {
  dcmReadTag t;
  EXPECT_FLOAT_EQ(t.getImageScale(), 1.0f);
  ASSERT_TRUE(t.setFile(series("ct_s16").files[0].c_str()));
  EXPECT_FLOAT_EQ(t.getImageScale(), 0.7f / 0.5f);
  std::string path = scratch() + "/scale.dcm";
  dcmfixtures::writeTagged(path, {{0x00280030, "0.5"}});
  ASSERT_TRUE(t.setFile(path.c_str()));
  EXPECT_FLOAT_EQ(t.getImageScale(), 1.0f);
  EXPECT_FALSE(t.setFile((scratch() + "/nothing.dcm").c_str()));
  EXPECT_EQ(t.getTag(0x0010, 0x0010), "");
}

// ---- storage folders ---------------------------------------------------------

struct FolderCase {
  const char* name;
  const char* id;
  const char* study;
  const char* series;
};

std::vector<std::string> components(const std::string& s) {
  std::vector<std::string> out;
  size_t start = 0;
  for (size_t i = 0; i <= s.size(); ++i)
    if (i == s.size() || s[i] == '/') {
      out.push_back(s.substr(start, i - start));
      start = i + 1;
    }
  return out;
}

TEST(Naming, FoldersAreThreeSafeComponents) {
  const std::string longId(300, 'x'), longUid(200, '9');
  const FolderCase cases[] = {
      {"DOE^JOHN", "123", "1.2.3", "1.2.3.4"},
      {"../../etc^x/y", "..\\..", "../../..", "a/b"},
      {"", "", "", ""},
      {"A", "../", ".hidden", ".."},
      {"\xE7\x8E\x8B", longId.c_str(), longUid.c_str(), "1.2"},
  };
  std::set<std::string> seen;
  for (const auto& c : cases) {
    char out[1024];
    ASSERT_TRUE(dcmSDK::dcmServer::getDicomFolder(c.name, c.id, c.study, c.series, out));
    auto parts = components(out);
    ASSERT_EQ(parts.size(), 3u) << out;
    for (const auto& p : parts) {
      EXPECT_FALSE(p.empty()) << out;
      EXPECT_NE(p[0], '.') << out;
      EXPECT_LE(p.size(), 64u + 9u) << out;
      for (char ch : p) EXPECT_TRUE(isalnum(static_cast<unsigned char>(ch)) || ch == '.' || ch == '_' || ch == '-') << out;
    }
    seen.insert(out);
  }
  EXPECT_EQ(seen.size(), std::size(cases));
  char a[1024], b[1024];
  ASSERT_TRUE(dcmSDK::dcmServer::getDicomFolder("DOE^JOHN", "123", "1.2.3", "1.2.3.4", a));
  EXPECT_EQ(components(a)[1], "1.2.3");
  EXPECT_EQ(components(a)[2], "1.2.3.4");
  EXPECT_EQ(components(a)[0].rfind("123_", 0), 0u);
  ASSERT_TRUE(dcmSDK::dcmServer::getDicomFolder("", "", "", "", b));
  EXPECT_EQ(components(b)[1], "unknownStudy");
  EXPECT_EQ(components(b)[2], "unknownSeries");
}

TEST(Naming, PatientsWhoseTextsSanitiseAlikeGetDifferentFolders) {
  char a[1024], b[1024], c[1024], d[1024];
  ASSERT_TRUE(dcmSDK::dcmServer::getDicomFolder("DOE", "A/B", "1", "2", a));
  ASSERT_TRUE(dcmSDK::dcmServer::getDicomFolder("DOE", "A_B", "1", "2", b));
  ASSERT_TRUE(dcmSDK::dcmServer::getDicomFolder("ROE", "A_B", "1", "2", c));
  ASSERT_TRUE(dcmSDK::dcmServer::getDicomFolder("DOE", "A_B", "1", "2", d));
  EXPECT_STRNE(a, b);
  EXPECT_STRNE(b, c);
  EXPECT_STREQ(b, d);  // deterministic
}

}  // namespace
