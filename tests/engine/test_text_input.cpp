// Typed and pasted text is cleaned before it reaches the text field.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "support_scene.h"

USING_NS_CC;

namespace {

class Field : public IMEDelegate {
 public:
  std::vector<std::string> received;

 protected:
  bool canAttachWithIME() override { return true; }
  bool canDetachWithIME() override { return true; }
  void insertText(const char* text, size_t len) override { received.emplace_back(text, len); }
};

}  // namespace

TEST(TextInput, InvalidUtf8AndControlsAreDropped) {
  struct Case {
    const char* name;
    std::string typed;
    std::vector<std::string> arrives;
  };
  const Case cases[] = {
      {"plain", "abc", {"abc"}},
      {"pasted lines", "a\r\nb", {"a\nb"}},
      {"enter alone", "\n", {"\n"}},
      {"tab and escape", "a\tb\x1b" "c\x7f", {"abc"}},
      {"accents and CJK", "\xc3\xa9\xe4\xb8\xad", {"\xc3\xa9\xe4\xb8\xad"}},
      {"four-byte", "\xf0\x9f\x98\x80", {"\xf0\x9f\x98\x80"}},
      {"stray continuation", "a\x80" "b", {"ab"}},
      {"truncated at the end", "ab\xe4\xb8", {"ab"}},
      {"truncated before ASCII", "\xe4" "a", {"a"}},
      {"overlong slash", "\xc0\xaf" "x", {"x"}},
      {"surrogate", "\xed\xa0\x80" "x", {"x"}},
      {"beyond U+10FFFF", "\xf4\x90\x80\x80" "x", {"x"}},
      {"C1 control", "\xc2\x85" "x", {"x"}},
      {"nothing left", "\x01\xff", {}},
  };
  HeadlessEngine e;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Field field;
    ASSERT_TRUE(field.attachWithIME());
    e.view()->injectText(c.typed);
    EXPECT_EQ(field.received, c.arrives);
    field.detachWithIME();
  }
}
