// Label: a line or block of text.
//
//   auto* l = Label::createWithSystemFont("Patient", "", 14);   // system font, 14 px
//   auto* t = Label::createWithTTF("Text", "fonts/x.ttf", 12);    // a font file
//   l->setString("…");            // lays the text out at once (no GL needed)
//   l->getContentSize();          // (widest line, lines × line height), or the
//                                 // dimensions where they are set
//   l->getDisplayWidth();         // the widest laid-out line, whatever the size
//   l->getLineHeight();           // the face's line height, whole pixels
//   l->setWidth(200);             // wrap at 200 units (setDimensions(w, h) too)
//   l->setAlignment(TextHAlignment::CENTER, TextVAlignment::CENTER);
//   l->setTextColor(Color4B(…));  // × node colour × displayed opacity
//   l->enableShadow(Color4B::BLACK, Size(2, -2));
//   l->setSystemFontName(""), setSystemFontSize(16), setTTFConfig({file, 16})
//
// Sizes are pixels (one design unit is one pixel). The system font (an empty
// name or any name that is not a font file) is DejaVu Sans through
// fontconfig; characters it lacks come from fontconfig's fallback fonts. A
// name that FileUtils resolves to a file is loaded as a font file. Text is
// shaped with HarfBuzz and ordered per line with the Unicode bidirectional
// algorithm, so Arabic and Hebrew read right to left.
//
// A width wraps at word boundaries, between CJK characters, and inside a
// word longer than the width. A content size set explicitly with
// setContentSize stays until the text changes; alignment then applies
// within that size. The anchor is (0.5, 0.5).
//
// Drawn as one quad per glyph from the glyph atlas of its (font, size), one
// triangles command per atlas page, shadow quads first. UI thread only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/2d/Node.h"
#include "engine/base/ccMacros.h"
#include "engine/base/ccTypes.h"
#include "engine/renderer/TrianglesCommand.h"

NS_CC_BEGIN

class FontAtlas;

// Codes 0 are left and top.
enum class TextHAlignment { LEFT = 0, CENTER = 1, RIGHT = 2 };
enum class TextVAlignment { TOP = 0, CENTER = 1, BOTTOM = 2 };

struct TTFConfig {
  std::string fontFilePath;
  float fontSize = 12;
  TTFConfig() = default;
  TTFConfig(const std::string& path, float size) : fontFilePath(path), fontSize(size) {}
};

class Label : public Node {
 public:
  // An empty label with the system font at 12 pixels.
  static Label* create();
  static Label* create(const std::string& text, const std::string& font, float fontSize,
                       const Size& dimensions = Size::ZERO, TextHAlignment hAlignment = TextHAlignment::LEFT,
                       TextVAlignment vAlignment = TextVAlignment::TOP);
  static Label* createWithSystemFont(const std::string& text, const std::string& font, float fontSize,
                                     const Size& dimensions = Size::ZERO,
                                     TextHAlignment hAlignment = TextHAlignment::LEFT,
                                     TextVAlignment vAlignment = TextVAlignment::TOP);
  static Label* createWithTTF(const std::string& text, const std::string& fontFile, float fontSize,
                              const Size& dimensions = Size::ZERO,
                              TextHAlignment hAlignment = TextHAlignment::LEFT,
                              TextVAlignment vAlignment = TextVAlignment::TOP);
  static Label* createWithTTF(const TTFConfig& config, const std::string& text,
                              TextHAlignment hAlignment = TextHAlignment::LEFT, int maxLineWidth = 0);

  bool init() override;

  virtual void setString(const std::string& text);
  virtual const std::string& getString() const { return _text; }
  // Characters (code points) and laid-out lines.
  int getStringLength() const { return static_cast<int>(_text32.size()); }
  int getStringNumLines() const;

  // Fonts. A system-font label and a TTF label differ only in how the name
  // is read: both resolve a font file first, then fall back to the system
  // font.
  virtual void setSystemFontName(const std::string& font);
  const std::string& getSystemFontName() const { return _fontName; }
  virtual void setSystemFontSize(float size);
  float getSystemFontSize() const { return _fontSize; }
  virtual bool setTTFConfig(const TTFConfig& config);
  TTFConfig getTTFConfig() const { return TTFConfig(_fontName, _fontSize); }
  float getFontSize() const { return _fontSize; }

  // The primary face's height metric, rounded up to whole pixels.
  float getLineHeight() const;
  // The widest laid-out line, whatever the content size.
  float getDisplayWidth() const;

  // Width 0 = no wrapping; height 0 = as many lines as the text needs.
  virtual void setDimensions(float width, float height);
  const Size& getDimensions() const { return _dimensions; }
  virtual void setWidth(float width) { setDimensions(width, _dimensions.height); }
  float getWidth() const { return _dimensions.width; }
  virtual void setHeight(float height) { setDimensions(_dimensions.width, height); }
  float getHeight() const { return _dimensions.height; }
  virtual void setMaxLineWidth(float width) { setWidth(width); }
  float getMaxLineWidth() const { return _dimensions.width; }

  void setAlignment(TextHAlignment hAlignment) { setHorizontalAlignment(hAlignment); }
  void setAlignment(TextHAlignment hAlignment, TextVAlignment vAlignment);
  virtual void setHorizontalAlignment(TextHAlignment hAlignment);
  virtual void setVerticalAlignment(TextVAlignment vAlignment);
  TextHAlignment getHorizontalAlignment() const { return _hAlignment; }
  TextVAlignment getVerticalAlignment() const { return _vAlignment; }

  virtual void setTextColor(const Color4B& color);
  const Color4B& getTextColor() const { return _textColor; }

  // A copy of the glyphs under the text, offset in units (y up). A blur
  // radius above 0 is drawn as 0.
  virtual void enableShadow(const Color4B& shadowColor = Color4B::BLACK, const Size& offset = Size(2, -2),
                            int blurRadius = 0);
  virtual void disableEffect();
  bool isShadowEnabled() const { return _shadowEnabled; }
  const Color4B& getShadowColor() const { return _shadowColor; }
  const Size& getShadowOffset() const { return _shadowOffset; }

  void setBlendFunc(const BlendFunc& blendFunc) { _blendFunc = blendFunc; }
  const BlendFunc& getBlendFunc() const { return _blendFunc; }

  // Keeps the size until the text changes; the text is aligned within it.
  void setContentSize(const Size& size) override;

  void draw(Renderer* renderer, const Mat4& transform, uint32_t flags) override;

  // Inspection (tests, tools): the atlas this label draws from (null when no
  // font could be loaded) and the number of glyph quads drawn per page.
  FontAtlas* getFontAtlas() const { return _atlas; }
  int getQuadCount() const;

  ~Label() override;

 protected:
  Label();
  bool initWithFont(const std::string& text, const std::string& font, float fontSize, const Size& dimensions,
                    TextHAlignment hAlignment, TextVAlignment vAlignment);
  // Font changes: re-resolves the atlas and lays the text out again.
  void updateFont();
  // Text, font or dimensions changed: lays out and sets the natural size.
  void relayout();
  // Builds the glyph quads for the current content size and alignment.
  void updateQuads();
  void updateColors();

  struct PageBatch;

  std::string _text;
  std::u32string _text32;
  std::string _fontName;
  float _fontSize = 12;
  Size _dimensions = Size::ZERO;
  TextHAlignment _hAlignment = TextHAlignment::LEFT;
  TextVAlignment _vAlignment = TextVAlignment::TOP;
  Color4B _textColor = Color4B::WHITE;
  bool _shadowEnabled = false;
  Color4B _shadowColor = Color4B::BLACK;
  Size _shadowOffset = Size(2, -2);
  BlendFunc _blendFunc = BlendFunc::ALPHA_PREMULTIPLIED;
  bool _explicitSize = false;

  FontAtlas* _atlas = nullptr;  // owned by the font registry
  unsigned _atlasGeneration = 0;
  struct LayoutData;
  std::unique_ptr<LayoutData> _layout;
  std::vector<std::unique_ptr<PageBatch>> _batches;
};

NS_CC_END
