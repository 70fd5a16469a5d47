// Notification ids are defined once, in NSNotifyIds.h: a second definition
// elsewhere (even with the same value) lets two layers drift apart silently.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "toolkit/foundation/NSNotifyIds.h"

namespace fs = std::filesystem;

namespace {

struct Definition {
  std::string file;
  std::string name;
};

std::vector<Definition> scanDefinitions(const fs::path& root) {
  // A notification id is an integer constant or macro named NOTIFY_* or kNotify*.
  static const std::regex def(
      R"((?:constexpr|const|static)\s+(?:unsigned\s+)?(?:int|long|unsigned)\s+((?:NOTIFY_|kNotify)\w*)\s*=)"
      R"(|#\s*define\s+((?:NOTIFY_|kNotify)\w*)\s+\d)");
  std::vector<Definition> out;
  for (const char* top : {"engine", "dcmsdk", "toolkit", "imaging", "app", "shell", "tools"}) {
    fs::path dir = root / top;
    if (!fs::exists(dir)) continue;
    for (auto& entry : fs::recursive_directory_iterator(dir)) {
      if (!entry.is_regular_file()) continue;
      auto ext = entry.path().extension().string();
      if (ext != ".h" && ext != ".cpp" && ext != ".hpp") continue;
      std::ifstream in(entry.path());
      std::stringstream ss;
      ss << in.rdbuf();
      std::string text = ss.str();
      for (std::sregex_iterator it(text.begin(), text.end(), def), end; it != end; ++it) {
        std::string name = (*it)[1].matched ? (*it)[1].str() : (*it)[2].str();
        out.push_back({fs::relative(entry.path(), root).string(), name});
      }
    }
  }
  return out;
}

TEST(NotifyIds, EveryIdIsDefinedOnceInTheOneHeader) {
  auto defs = scanDefinitions(FW_SOURCE_DIR);
  ASSERT_FALSE(defs.empty());
  std::map<std::string, int> count;
  for (auto& d : defs) {
    EXPECT_EQ(d.file, "toolkit/foundation/NSNotifyIds.h") << d.name << " is defined in " << d.file;
    ++count[d.name];
  }
  for (auto& [name, n] : count) EXPECT_EQ(n, 1) << name << " is defined " << n << " times";
}

TEST(NotifyIds, EveryIdHasOneName) {
  // Two names for one number let two layers talk past each other: one posts
  // under the first name, the other observes "another" id that is the same.
  std::ifstream in(std::string(FW_SOURCE_DIR) + "/toolkit/foundation/NSNotifyIds.h");
  std::stringstream ss;
  ss << in.rdbuf();
  const std::string text = ss.str();
  static const std::regex def(R"((\[\[deprecated[^\]]*\]\]\s*)?constexpr\s+int\s+(\w+)\s*=\s*(\w+)\s*;)");
  std::map<std::string, std::string> nameOf;  // value -> name
  int literals = 0;
  for (std::sregex_iterator it(text.begin(), text.end(), def), end; it != end; ++it) {
    const bool deprecated = (*it)[1].matched;
    const std::string name = (*it)[2], value = (*it)[3];
    if (!std::isdigit(static_cast<unsigned char>(value[0]))) {
      // A name defined through another name is an old name on its way out.
      EXPECT_TRUE(deprecated) << name << " = " << value << " is a second name; mark it deprecated";
      continue;
    }
    EXPECT_FALSE(deprecated) << name;
    ++literals;
    auto [at, fresh] = nameOf.emplace(value, name);
    EXPECT_TRUE(fresh) << value << " is named both " << at->second << " and " << name;
  }
  EXPECT_GT(literals, 100);
}

TEST(NotifyIds, ValuesTheLayersAgreeOn) {
  // The numbers other programs and stored payloads rely on.
  EXPECT_EQ(NOTIFY_ACTIVITY_PROGRESS, 1001);
  EXPECT_EQ(NOTIFY_DICOM_FILE_STORED, 2017);
  EXPECT_EQ(NOTIFY_SLICE_ARRIVED, 9109);
  EXPECT_EQ(NOTIFY_4D_LOADED, 9112);
}

}  // namespace
