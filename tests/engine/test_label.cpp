// Label metrics, wrapping, explicit sizes and text order with real fonts
// (FreeType, fontconfig, HarfBuzz, FriBidi), headless.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <cmath>
#include <string>
#include <vector>

#include "engine/2d/FontAtlas.h"
#include "engine/cocos2d.h"
#include "support_scene.h"

USING_NS_CC;

namespace {

float widthOf(const std::string& text, float size = 20) {
  return Label::createWithSystemFont(text, "", size)->getDisplayWidth();
}

// Glyph indices of a text laid out on one line, left to right.
std::vector<int> glyphsOf(FontAtlas* atlas, const std::string& text) {
  FontAtlas::Layout layout;
  atlas->layout(utf8ToUtf32(text), 0, layout);
  std::vector<int> out;
  for (const auto& line : layout.lines)
    for (const auto& g : line.glyphs) out.push_back(g.glyph);
  return out;
}

float xOf(const FontAtlas::Layout& layout, int glyph) {
  for (const auto& g : layout.lines.at(0).glyphs)
    if (g.glyph == glyph) return g.x;
  ADD_FAILURE() << "glyph " << glyph << " not on the line";
  return -1;
}

}  // namespace

TEST(Label, OneLineMetricsFollowTheFace) {
  HeadlessEngine engine;
  auto* l = Label::createWithSystemFont("Patient", "", 20);
  ASSERT_NE(l, nullptr);
  const float lh = l->getLineHeight();
  EXPECT_EQ(lh, std::ceil(lh));
  EXPECT_GE(lh, 20.0f);
  EXPECT_LE(lh, 30.0f);
  EXPECT_EQ(l->getContentSize().height, lh);
  EXPECT_EQ(l->getContentSize().width, l->getDisplayWidth());
  EXPECT_GT(l->getDisplayWidth(), 20.0f);
  EXPECT_EQ(l->getQuadCount(), 7);
  // Advances add up: twice the text is twice as wide, to a pixel.
  EXPECT_NEAR(widthOf("PatientPatient"), 2 * l->getDisplayWidth(), 1.0f);
  // A bigger size is wider and taller.
  auto* big = Label::createWithSystemFont("Patient", "", 40);
  EXPECT_GT(big->getDisplayWidth(), 1.8f * l->getDisplayWidth());
  EXPECT_GT(big->getLineHeight(), 1.8f * lh);
}

TEST(Label, EmptyTextAndLineBreaks) {
  HeadlessEngine engine;
  struct Case {
    const char* text;
    int lines;
  };
  const Case cases[] = {{"", 0}, {"a", 1}, {"a\nb", 2}, {"a\n", 2}, {"\n\n", 3}, {"a\r\nb", 2}};
  for (const Case& c : cases) {
    auto* l = Label::createWithSystemFont(c.text, "", 16);
    SCOPED_TRACE(c.text);
    EXPECT_EQ(l->getStringNumLines(), c.lines);
    EXPECT_EQ(l->getContentSize().height, l->getLineHeight() * static_cast<float>(c.lines));
    if (c.lines == 0) EXPECT_EQ(l->getContentSize().width, 0.0f);
  }
}

TEST(Label, WrapsAtWordsBetweenCjkAndInsideLongWords) {
  HeadlessEngine engine;
  const float alphaBeta = widthOf("alpha beta");
  const float cjkTwo = widthOf("中文");
  struct Case {
    const char* text;
    float width;
    int lines;
  };
  const Case cases[] = {
      {"alpha beta alpha beta", alphaBeta + 1, 2},    // "alpha beta" / "alpha beta"
      {"alpha beta gamma delta", 0, 1},               // no width: one line
      {"alphabetagammadelta", widthOf("alphabeta") + 1, 3},  // broken inside the word
      {"中文中文中文", cjkTwo + 1, 3},                  // anywhere between CJK characters
      {"alpha   beta", widthOf("alpha") + 2, 2},       // spaces at the break vanish
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    auto* l = Label::createWithSystemFont(c.text, "", 20);
    l->setWidth(c.width);
    EXPECT_EQ(l->getStringNumLines(), c.lines);
    EXPECT_EQ(l->getContentSize().height, l->getLineHeight() * static_cast<float>(c.lines));
    if (c.width > 0) {
      EXPECT_EQ(l->getContentSize().width, c.width);
      EXPECT_LE(l->getDisplayWidth(), c.width);
    }
  }
}

TEST(Label, CjkComesFromTheFallbackFont) {
  HeadlessEngine engine;
  auto* l = Label::createWithSystemFont("中文字符", "", 24);
  // Four drawn glyphs, each wider than the box DejaVu draws for a missing
  // character would not be; all four differ (not four copies of a
  // missing-glyph box).
  EXPECT_EQ(l->getQuadCount(), 4);
  const auto glyphs = glyphsOf(l->getFontAtlas(), "中文字符");
  ASSERT_EQ(glyphs.size(), 4u);
  EXPECT_EQ(std::set<int>(glyphs.begin(), glyphs.end()).size(), 4u);
  EXPECT_GT(l->getDisplayWidth(), 3 * 20.0f);
}

TEST(Label, ExplicitSizePersistsUntilTheTextChanges) {
  HeadlessEngine engine;
  auto* l = Label::createWithSystemFont("x", "", 18);
  const float natural = l->getDisplayWidth();
  l->setContentSize(Size(50, 40));
  l->setTextColor(Color4B::RED);
  l->setAlignment(TextHAlignment::CENTER, TextVAlignment::CENTER);
  l->setString("x");  // same text: no change
  EXPECT_EQ(l->getContentSize(), Size(50, 40));
  EXPECT_EQ(l->getDisplayWidth(), natural);
  l->setString("xx");
  EXPECT_EQ(l->getContentSize().height, l->getLineHeight());
  EXPECT_EQ(l->getContentSize().width, l->getDisplayWidth());
  EXPECT_GT(l->getDisplayWidth(), natural);
}

TEST(Label, FontSettersRelayout) {
  HeadlessEngine engine;
  auto* l = Label::create();
  l->setString("Series");
  const float small = l->getDisplayWidth();
  l->setSystemFontSize(24);
  EXPECT_GT(l->getDisplayWidth(), small);
  EXPECT_EQ(l->getContentSize().width, l->getDisplayWidth());
  // Any family name is the system font; a missing font file falls back to it.
  l->setSystemFontName("Arial");
  const float arial = l->getDisplayWidth();
  EXPECT_TRUE(l->setTTFConfig(TTFConfig("fonts/missing.ttf", 24)));
  EXPECT_EQ(l->getDisplayWidth(), arial);
}

TEST(Label, ArabicIsShapedAndReadsRightToLeft) {
  HeadlessEngine engine;
  FontAtlas* atlas = FontAtlas::get("", 24);
  ASSERT_NE(atlas, nullptr);
  const std::string meem = "\u0645", word = "\u0645\u0631\u062d\u0628\u0627";  // "marhaba"
  const int isolatedMeem = glyphsOf(atlas, meem).at(0);
  FontAtlas::Layout layout;
  atlas->layout(utf8ToUtf32(word + " abc"), 0, layout);
  ASSERT_EQ(layout.lines.size(), 1u);
  const auto& glyphs = layout.lines[0].glyphs;
  ASSERT_GE(glyphs.size(), 8u);
  // The first letter joins the next one: HarfBuzz picks its initial form,
  // which is not the isolated glyph, and it sits rightmost.
  const auto rightmost = std::max_element(glyphs.begin(), glyphs.end(),
                                          [](const auto& a, const auto& b) { return a.x < b.x; });
  EXPECT_NE(rightmost->glyph, isolatedMeem);
  // The paragraph is right to left: the Latin run comes first on the left
  // and keeps its own order.
  const int a = glyphsOf(atlas, "a").at(0), c = glyphsOf(atlas, "c").at(0);
  EXPECT_LT(xOf(layout, a), xOf(layout, c));
  for (const auto& g : glyphs)
    if (g.glyph != a && g.glyph != c && g.glyph != glyphsOf(atlas, "b").at(0)) EXPECT_GT(g.x, xOf(layout, c));
}
