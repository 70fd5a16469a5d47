// Fonts for labels: one FontAtlas per (font, pixel size), made on first use
// and kept for the life of the process. An atlas owns the FreeType faces
// (the primary face and, opened on demand, the fontconfig fallbacks for
// characters the primary face lacks), the HarfBuzz fonts that shape with
// them, and A8 pages of 1024 x 1024 into which glyphs are rasterised on the
// CPU the first time they are laid out. A page becomes a texture only when a
// label is drawn with a GL context; headless the pixels stay on the CPU.
//
// UI thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/base/ccMacros.h"

NS_CC_BEGIN

class Texture2D;

class FontAtlas {
 public:
  static constexpr int kPageSize = 1024;

  // A rasterised glyph: its rectangle on a page (pixels, row 0 at the top)
  // and its bearing from the pen position (y up).
  struct Glyph {
    int page = -1;  // -1: nothing to draw (blank glyph)
    int x = 0, y = 0, width = 0, height = 0;
    int bearingX = 0, bearingY = 0;
  };

  // A glyph placed on a line: pen position relative to the line's start and
  // baseline (y up), and the index of its rasterised glyph.
  struct PlacedGlyph {
    float x = 0, y = 0;
    int glyph = 0;
  };
  struct Line {
    float width = 0;
    std::vector<PlacedGlyph> glyphs;
  };
  struct Layout {
    std::vector<Line> lines;
    float maxLineWidth = 0;
  };

  // fontName: a font file that FileUtils resolves, otherwise (empty or any
  // family name) the system font. Null only when no font can be loaded.
  static FontAtlas* get(const std::string& fontName, int pixelSize);
  // Drops every atlas (benchmarks, tests; textures are released) and moves
  // to a new generation: labels notice and fetch a fresh atlas when drawn.
  static void purgeAll();
  static unsigned generation();
  // Forgets every page texture (the GL context is going away); pages are
  // uploaded again when next drawn.
  static void releaseTextures();

  int getPixelSize() const { return _pixelSize; }
  // The primary face's height metric rounded up to whole pixels.
  int getLineHeight() const { return _lineHeight; }
  // Distance from a line's top to its baseline.
  float getAscender() const { return _ascender; }
  const std::string& getFontPath() const { return _path; }

  // Lays out UTF-32 text: paragraphs at "\n", bidirectional order per line,
  // shaping per run of one face and direction, wrapping at maxWidth (0: no
  // wrapping) at word boundaries, between CJK characters, and inside a word
  // that is longer than the width. Rasterises the glyphs it needs.
  void layout(const std::u32string& text, float maxWidth, Layout& out);

  const Glyph& glyph(int index) const { return _glyphs[static_cast<size_t>(index)]; }
  int pageCount() const { return static_cast<int>(_pages.size()); }
  // The CPU pixels of a page (kPageSize x kPageSize, A8).
  const std::vector<uint8_t>& pagePixels(int page) const { return _pages[static_cast<size_t>(page)]->pixels; }
  // The page as a texture, with pending glyphs uploaded; null without a GL
  // context.
  Texture2D* pageTexture(int page);

  ~FontAtlas();

 private:
  struct Face;
  struct Page {
    std::vector<uint8_t> pixels;
    int shelfX = 0, shelfY = 0, shelfHeight = 0;
    int dirtyTop = kPageSize, dirtyBottom = 0;  // rows not yet uploaded
    Texture2D* texture = nullptr;
  };

  FontAtlas() = default;
  bool init(const std::string& path, int pixelSize);
  Face* face(int index);
  int faceFor(char32_t cp);
  int glyphFor(int faceIndex, unsigned glyphId);
  bool place(int width, int height, int& page, int& x, int& y);

  std::string _path;
  int _pixelSize = 0;
  int _lineHeight = 0;
  float _ascender = 0;
  // 0 = primary; i > 0 = fallback i - 1 of the system list, opened on use.
  std::vector<std::unique_ptr<Face>> _faces;
  std::unordered_map<char32_t, int> _faceOfChar;
  std::unordered_map<uint64_t, int> _glyphIndex;  // (face << 32 | glyph id) -> _glyphs
  std::vector<Glyph> _glyphs;
  std::vector<std::unique_ptr<Page>> _pages;
  // Scratch buffers reused across layouts.
  struct Scratch;
  std::unique_ptr<Scratch> _scratch;
};

// UTF-8 -> UTF-32; invalid sequences become U+FFFD.
std::u32string utf8ToUtf32(const std::string& text);

NS_CC_END
