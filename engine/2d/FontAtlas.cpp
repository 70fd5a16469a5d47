#include "engine/2d/FontAtlas.h"

#include <fontconfig/fontconfig.h>
#include <fribidi.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include <hb-ft.h>
#include <hb.h>

#include <algorithm>
#include <cmath>
#include <map>

#include "engine/base/ccLog.h"
#include "engine/platform/FileUtils.h"
#include "engine/renderer/Texture2D.h"
#include "engine/renderer/ccGLStateCache.h"

NS_CC_BEGIN

namespace {

// The face every label uses unless it names a font file.
constexpr const char* kSystemFamily = "DejaVu Sans";

struct FallbackFont {
  std::string file;
  int index = 0;
  FcCharSet* charset = nullptr;  // owned copy
};

// Process-wide font state; reachable until exit (atlases are never
// evicted), dropped only by purgeAll.
struct Registry {
  FT_Library library = nullptr;
  bool systemResolved = false;
  std::string systemPath;
  int systemIndex = 0;
  std::vector<FallbackFont> fallbacks;
  std::map<std::pair<std::string, int>, FontAtlas*> atlases;  // (path, size)
  unsigned generation = 0;
};

Registry& registry() {
  static auto* r = new Registry;
  return *r;
}

FT_Library library() {
  Registry& r = registry();
  if (!r.library && FT_Init_FreeType(&r.library) != 0) {
    log("FontAtlas: FreeType cannot start");
    r.library = nullptr;
  }
  return r.library;
}

// Resolves the system font and its fallback list through fontconfig once.
void resolveSystemFonts() {
  Registry& r = registry();
  if (r.systemResolved) return;
  r.systemResolved = true;
  if (!FcInit()) {
    log("FontAtlas: fontconfig cannot start");
    return;
  }
  FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(kSystemFamily));
  if (!pattern) return;
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  if (FcPattern* match = FcFontMatch(nullptr, pattern, &result)) {
    FcChar8* file = nullptr;
    int index = 0;
    if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch) r.systemPath = reinterpret_cast<char*>(file);
    if (FcPatternGetInteger(match, FC_INDEX, 0, &index) == FcResultMatch) r.systemIndex = index;
    FcPatternDestroy(match);
  }
  // The sorted list, trimmed to fonts that add coverage, is the fallback
  // order for characters a face lacks.
  if (FcFontSet* set = FcFontSort(nullptr, pattern, FcTrue, nullptr, &result)) {
    for (int i = 0; i < set->nfont; ++i) {
      FcChar8* file = nullptr;
      int index = 0;
      FcCharSet* charset = nullptr;
      if (FcPatternGetString(set->fonts[i], FC_FILE, 0, &file) != FcResultMatch) continue;
      FcPatternGetInteger(set->fonts[i], FC_INDEX, 0, &index);
      if (FcPatternGetCharSet(set->fonts[i], FC_CHARSET, 0, &charset) != FcResultMatch) continue;
      FallbackFont f;
      f.file = reinterpret_cast<char*>(file);
      f.index = index;
      f.charset = FcCharSetCopy(charset);
      r.fallbacks.push_back(std::move(f));
    }
    FcFontSetDestroy(set);
  }
  FcPatternDestroy(pattern);
  if (r.systemPath.empty()) log("FontAtlas: no font matches \"%s\"", kSystemFamily);
}

bool isSpace(char32_t c) { return c == U' ' || c == U'\u3000' || c == U'\u00A0'; }

// Characters between which a line may break without a space.
bool isCJK(char32_t c) {
  return (c >= 0x2E80 && c <= 0x2FDF) || (c >= 0x3040 && c <= 0x30FF) || (c >= 0x3100 && c <= 0x31FF) ||
         (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xAC00 && c <= 0xD7AF) ||
         (c >= 0xF900 && c <= 0xFAFF) || (c >= 0x20000 && c <= 0x2FA1F);
}

// Punctuation that must not start a line.
bool isClosingPunctuation(char32_t c) {
  switch (c) {
    case 0x3001: case 0x3002: case 0xFF0C: case 0xFF0E: case 0xFF01: case 0xFF1F: case 0xFF1A:
    case 0xFF1B: case 0x300D: case 0x300F: case 0xFF09: case 0x3011: case U',': case U'.': case U'!':
    case U'?': case U':': case U';': case U')':
      return true;
    default:
      return false;
  }
}

// Characters that stay with the face of the character before them.
bool followsPrevious(char32_t c) {
  if (isSpace(c) || c == 0x200C || c == 0x200D || (c >= 0xFE00 && c <= 0xFE0F)) return true;
  const hb_unicode_general_category_t cat = hb_unicode_general_category(hb_unicode_funcs_get_default(), c);
  return cat == HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK ||
         cat == HB_UNICODE_GENERAL_CATEGORY_SPACING_MARK || cat == HB_UNICODE_GENERAL_CATEGORY_ENCLOSING_MARK;
}

bool mayBeRightToLeft(char32_t c) {
  return (c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFF) ||
         (c >= 0x200E && c <= 0x200F) || (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069) ||
         (c >= 0x10800 && c <= 0x10FFF) || (c >= 0x1E800 && c <= 0x1EFFF);
}

}  // namespace

struct FontAtlas::Face {
  FT_Face ft = nullptr;
  hb_font_t* hb = nullptr;
  bool failed = false;
  ~Face() {
    if (hb) hb_font_destroy(hb);
    if (ft) FT_Done_Face(ft);
  }
};

struct FontAtlas::Scratch {
  struct Run {
    int start = 0, end = 0;  // characters
    int level = 0;
    int face = 0;
    int g0 = 0, g1 = 0;  // shaped glyphs, in visual order within the run
  };
  struct Shaped {
    int glyph = 0;  // index into _glyphs
    int cluster = 0;
    float advance = 0, xOffset = 0, yOffset = 0;
  };
  std::u32string para;
  std::vector<FriBidiCharType> types;
  std::vector<FriBidiBracketType> brackets;
  std::vector<FriBidiLevel> levels;
  std::vector<int> faceOf;
  std::vector<float> advance;
  std::vector<uint8_t> clusterStart;
  std::vector<Run> runs;
  std::vector<Shaped> shaped;
  std::vector<int> order;
  hb_buffer_t* buffer = hb_buffer_create();
  ~Scratch() { hb_buffer_destroy(buffer); }
};

FontAtlas* FontAtlas::get(const std::string& fontName, int pixelSize) {
  if (pixelSize <= 0) pixelSize = 1;
  Registry& r = registry();
  std::string path;
  if (!fontName.empty() && FileUtils::getInstance()->isFileExist(fontName))
    path = FileUtils::getInstance()->fullPathForFilename(fontName);
  if (path.empty()) {
    resolveSystemFonts();
    path = r.systemPath;
  }
  auto key = std::make_pair(path, pixelSize);
  auto it = r.atlases.find(key);
  if (it != r.atlases.end()) return it->second;
  auto* atlas = new FontAtlas;
  if (!atlas->init(path, pixelSize)) {
    delete atlas;
    atlas = nullptr;
    resolveSystemFonts();
    if (path != r.systemPath && !r.systemPath.empty()) {
      log("FontAtlas: cannot load font %s, using the system font", fontName.c_str());
      atlas = get(std::string(), pixelSize);
    }
  }
  r.atlases.emplace(key, atlas);
  return atlas;
}

void FontAtlas::purgeAll() {
  Registry& r = registry();
  for (auto& kv : r.atlases) delete kv.second;
  r.atlases.clear();
  ++r.generation;
}

unsigned FontAtlas::generation() { return registry().generation; }

void FontAtlas::releaseTextures() {
  for (auto& kv : registry().atlases) {
    if (!kv.second) continue;
    for (auto& page : kv.second->_pages) {
      if (page->texture) page->texture->release();
      page->texture = nullptr;
    }
  }
}

FontAtlas::~FontAtlas() {
  for (auto& page : _pages)
    if (page->texture) page->texture->release();
}

bool FontAtlas::init(const std::string& path, int pixelSize) {
  FT_Library lib = library();
  if (!lib || path.empty()) return false;
  Registry& r = registry();
  auto primary = std::make_unique<Face>();
  const int index = path == r.systemPath ? r.systemIndex : 0;
  if (FT_New_Face(lib, path.c_str(), index, &primary->ft) != 0) {
    primary->ft = nullptr;
    return false;
  }
  if (FT_IS_SCALABLE(primary->ft)) FT_Set_Pixel_Sizes(primary->ft, 0, static_cast<FT_UInt>(pixelSize));
  primary->hb = hb_ft_font_create_referenced(primary->ft);
  _path = path;
  _pixelSize = pixelSize;
  const FT_Size_Metrics& m = primary->ft->size->metrics;
  _lineHeight = static_cast<int>(std::ceil(static_cast<double>(m.height) / 64.0));
  _ascender = static_cast<float>(m.ascender) / 64.0f;
  if (_lineHeight <= 0) _lineHeight = pixelSize;
  _faces.push_back(std::move(primary));
  resolveSystemFonts();
  _faces.resize(1 + r.fallbacks.size());
  _scratch = std::make_unique<Scratch>();
  return true;
}

FontAtlas::Face* FontAtlas::face(int index) {
  auto& slot = _faces[static_cast<size_t>(index)];
  if (!slot) {
    slot = std::make_unique<Face>();
    const FallbackFont& f = registry().fallbacks[static_cast<size_t>(index - 1)];
    if (FT_New_Face(library(), f.file.c_str(), f.index, &slot->ft) != 0) {
      slot->ft = nullptr;
      slot->failed = true;
      log("FontAtlas: cannot open fallback font %s", f.file.c_str());
    } else {
      if (FT_IS_SCALABLE(slot->ft)) {
        FT_Set_Pixel_Sizes(slot->ft, 0, static_cast<FT_UInt>(_pixelSize));
      } else if (slot->ft->num_fixed_sizes > 0) {
        FT_Select_Size(slot->ft, 0);
      }
      slot->hb = hb_ft_font_create_referenced(slot->ft);
    }
  }
  return slot->failed ? nullptr : slot.get();
}

int FontAtlas::faceFor(char32_t cp) {
  auto it = _faceOfChar.find(cp);
  if (it != _faceOfChar.end()) return it->second;
  int chosen = 0;
  if (FT_Get_Char_Index(_faces[0]->ft, cp) == 0) {
    const auto& fallbacks = registry().fallbacks;
    for (size_t i = 0; i < fallbacks.size(); ++i) {
      if (fallbacks[i].file == _path || !FcCharSetHasChar(fallbacks[i].charset, cp)) continue;
      Face* f = face(static_cast<int>(i + 1));
      if (f && FT_Get_Char_Index(f->ft, cp) != 0) {
        chosen = static_cast<int>(i + 1);
        break;
      }
    }
  }
  _faceOfChar.emplace(cp, chosen);
  return chosen;
}

bool FontAtlas::place(int width, int height, int& page, int& x, int& y) {
  // Shelf packing with one pixel of space around each glyph.
  const int w = width + 1, h = height + 1;
  if (w > kPageSize || h > kPageSize) return false;
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (_pages.empty() || attempt == 1) {
      auto p = std::make_unique<Page>();
      p->pixels.assign(static_cast<size_t>(kPageSize) * kPageSize, 0);
      p->shelfX = p->shelfY = 1;
      _pages.push_back(std::move(p));
    }
    Page& p = *_pages.back();
    if (p.shelfX + w > kPageSize) {
      p.shelfY += p.shelfHeight;
      p.shelfX = 1;
      p.shelfHeight = 0;
    }
    if (p.shelfY + h > kPageSize) continue;
    x = p.shelfX;
    y = p.shelfY;
    p.shelfX += w;
    p.shelfHeight = std::max(p.shelfHeight, h);
    page = static_cast<int>(_pages.size()) - 1;
    return true;
  }
  return false;
}

int FontAtlas::glyphFor(int faceIndex, unsigned glyphId) {
  const uint64_t key = (static_cast<uint64_t>(faceIndex) << 32) | glyphId;
  auto it = _glyphIndex.find(key);
  if (it != _glyphIndex.end()) return it->second;
  Glyph g;
  Face* f = faceIndex == 0 ? _faces[0].get() : face(faceIndex);
  if (f && FT_Load_Glyph(f->ft, glyphId, FT_LOAD_DEFAULT | FT_LOAD_TARGET_LIGHT | FT_LOAD_COLOR) == 0 &&
      (f->ft->glyph->format == FT_GLYPH_FORMAT_BITMAP ||
       FT_Render_Glyph(f->ft->glyph, FT_RENDER_MODE_NORMAL) == 0)) {
    const FT_GlyphSlot slot = f->ft->glyph;
    const FT_Bitmap& bm = slot->bitmap;
    const int w = static_cast<int>(bm.width), h = static_cast<int>(bm.rows);
    if (w > 0 && h > 0 && place(w, h, g.page, g.x, g.y)) {
      g.width = w;
      g.height = h;
      g.bearingX = slot->bitmap_left;
      g.bearingY = slot->bitmap_top;
      Page& p = *_pages[static_cast<size_t>(g.page)];
      for (int row = 0; row < h; ++row) {
        const unsigned char* src = bm.buffer + static_cast<ptrdiff_t>(row) * bm.pitch;
        uint8_t* dst = p.pixels.data() + static_cast<size_t>(g.y + row) * kPageSize + g.x;
        for (int col = 0; col < w; ++col) {
          switch (bm.pixel_mode) {
            case FT_PIXEL_MODE_GRAY: dst[col] = src[col]; break;
            case FT_PIXEL_MODE_MONO: dst[col] = (src[col >> 3] & (0x80 >> (col & 7))) ? 255 : 0; break;
            case FT_PIXEL_MODE_BGRA: dst[col] = src[col * 4 + 3]; break;
            default: dst[col] = 0; break;
          }
        }
      }
      p.dirtyTop = std::min(p.dirtyTop, g.y);
      p.dirtyBottom = std::max(p.dirtyBottom, g.y + h);
    }
  }
  _glyphs.push_back(g);
  const int index = static_cast<int>(_glyphs.size()) - 1;
  _glyphIndex.emplace(key, index);
  return index;
}

Texture2D* FontAtlas::pageTexture(int page) {
  if (page < 0 || page >= pageCount() || !GL::isContextReady()) return nullptr;
  Page& p = *_pages[static_cast<size_t>(page)];
  if (!p.texture) {
    auto* t = new Texture2D;
    if (!t->initWithData(p.pixels.data(), static_cast<ssize_t>(p.pixels.size()), Texture2D::PixelFormat::A8,
                         kPageSize, kPageSize, Size(kPageSize, kPageSize))) {
      t->release();
      return nullptr;
    }
    p.texture = t;
    p.dirtyTop = kPageSize;
    p.dirtyBottom = 0;
  } else if (p.dirtyTop < p.dirtyBottom) {
    p.texture->updateWithData(p.pixels.data() + static_cast<size_t>(p.dirtyTop) * kPageSize, 0, p.dirtyTop,
                              kPageSize, p.dirtyBottom - p.dirtyTop);
    p.dirtyTop = kPageSize;
    p.dirtyBottom = 0;
  }
  return p.texture;
}

void FontAtlas::layout(const std::u32string& text, float maxWidth, Layout& out) {
  out.lines.clear();
  out.maxLineWidth = 0;
  if (text.empty()) return;
  Scratch& s = *_scratch;
  size_t pos = 0;
  while (true) {
    const size_t nl = text.find(U'\n', pos);
    const size_t paraEnd = nl == std::u32string::npos ? text.size() : nl;
    // The paragraph without control characters; a tab counts as a space.
    s.para.clear();
    bool rtl = false;
    for (size_t i = pos; i < paraEnd; ++i) {
      char32_t c = text[i];
      if (c == U'\t') c = U' ';
      if (c < 0x20 || (c >= 0x7F && c < 0xA0)) continue;
      rtl = rtl || mayBeRightToLeft(c);
      s.para.push_back(c);
    }
    const int n = static_cast<int>(s.para.size());
    if (n == 0) {
      out.lines.emplace_back();
    } else {
      // Embedding levels.
      s.levels.assign(static_cast<size_t>(n), 0);
      if (rtl) {
        s.types.resize(static_cast<size_t>(n));
        s.brackets.resize(static_cast<size_t>(n));
        const auto* str = reinterpret_cast<const FriBidiChar*>(s.para.data());
        fribidi_get_bidi_types(str, n, s.types.data());
        fribidi_get_bracket_types(str, n, s.types.data(), s.brackets.data());
        FriBidiParType base = FRIBIDI_PAR_ON;
        if (!fribidi_get_par_embedding_levels_ex(s.types.data(), s.brackets.data(), n, &base, s.levels.data()))
          std::fill(s.levels.begin(), s.levels.end(), 0);
      }
      // Faces, then runs of one level and face.
      s.faceOf.resize(static_cast<size_t>(n));
      for (int i = 0; i < n; ++i) {
        const char32_t c = s.para[static_cast<size_t>(i)];
        if (i > 0 && followsPrevious(c)) {
          const int prev = s.faceOf[static_cast<size_t>(i - 1)];
          Face* pf = prev == 0 ? _faces[0].get() : face(prev);
          if (pf && FT_Get_Char_Index(pf->ft, c) != 0) {
            s.faceOf[static_cast<size_t>(i)] = prev;
            continue;
          }
        }
        s.faceOf[static_cast<size_t>(i)] = c < 0x80 && _faces[0] ? (FT_Get_Char_Index(_faces[0]->ft, c) ? 0 : faceFor(c))
                                                                  : faceFor(c);
      }
      s.runs.clear();
      for (int i = 0; i < n; ++i) {
        const int level = s.levels[static_cast<size_t>(i)];
        const int f = s.faceOf[static_cast<size_t>(i)];
        if (s.runs.empty() || s.runs.back().level != level || s.runs.back().face != f) {
          Scratch::Run r;
          r.start = i;
          r.level = level;
          r.face = f;
          s.runs.push_back(r);
        }
        s.runs.back().end = i + 1;
      }
      // Shaping.
      s.shaped.clear();
      s.advance.assign(static_cast<size_t>(n), 0.0f);
      s.clusterStart.assign(static_cast<size_t>(n), 0);
      for (auto& run : s.runs) {
        run.g0 = static_cast<int>(s.shaped.size());
        Face* f = run.face == 0 ? _faces[0].get() : face(run.face);
        if (!f) f = _faces[0].get();
        hb_buffer_clear_contents(s.buffer);
        hb_buffer_add_utf32(s.buffer, reinterpret_cast<const uint32_t*>(s.para.data()), n,
                            static_cast<unsigned>(run.start), run.end - run.start);
        hb_buffer_set_direction(s.buffer, (run.level & 1) ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
        hb_buffer_guess_segment_properties(s.buffer);
        hb_shape(f->hb, s.buffer, nullptr, 0);
        unsigned count = 0;
        const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(s.buffer, &count);
        const hb_glyph_position_t* gpos = hb_buffer_get_glyph_positions(s.buffer, nullptr);
        const int faceIndex = f == _faces[0].get() ? 0 : run.face;
        for (unsigned g = 0; g < count; ++g) {
          Scratch::Shaped sh;
          sh.cluster = static_cast<int>(info[g].cluster);
          sh.advance = static_cast<float>(gpos[g].x_advance) / 64.0f;
          sh.xOffset = static_cast<float>(gpos[g].x_offset) / 64.0f;
          sh.yOffset = static_cast<float>(gpos[g].y_offset) / 64.0f;
          sh.glyph = glyphFor(faceIndex, info[g].codepoint);
          if (sh.cluster >= 0 && sh.cluster < n) {
            s.advance[static_cast<size_t>(sh.cluster)] += sh.advance;
            s.clusterStart[static_cast<size_t>(sh.cluster)] = 1;
          }
          s.shaped.push_back(sh);
        }
        run.g0 = static_cast<int>(s.shaped.size()) - static_cast<int>(count);
        run.g1 = static_cast<int>(s.shaped.size());
      }
      // Lines in logical order.
      int ls = 0;
      while (ls < n) {
        int le = n;
        bool soft = false;
        if (maxWidth > 0) {
          float w = 0;
          int lastBreak = -1;
          for (int i = ls; i < n; ++i) {
            const char32_t c = s.para[static_cast<size_t>(i)];
            const bool boundary = i > ls && s.clusterStart[static_cast<size_t>(i)];
            if (boundary) {
              const char32_t prev = s.para[static_cast<size_t>(i - 1)];
              if ((isSpace(prev) && !isSpace(c)) || ((isCJK(prev) || isCJK(c)) && !isClosingPunctuation(c) && !isSpace(c)))
                lastBreak = i;
            }
            if (boundary && !isSpace(c) && w + s.advance[static_cast<size_t>(i)] > maxWidth + 0.01f) {
              le = lastBreak > ls ? lastBreak : i;
              soft = true;
              break;
            }
            w += s.advance[static_cast<size_t>(i)];
          }
        }
        int visEnd = le;
        if (soft)
          while (visEnd > ls && isSpace(s.para[static_cast<size_t>(visEnd - 1)])) --visEnd;
        // Pieces of runs on this line, then the visual order of the pieces.
        s.order.clear();
        int maxLevel = 0, minOdd = 255;
        for (int r = 0; r < static_cast<int>(s.runs.size()); ++r) {
          const auto& run = s.runs[static_cast<size_t>(r)];
          if (run.end <= ls || run.start >= visEnd) continue;
          s.order.push_back(r);
          maxLevel = std::max(maxLevel, run.level);
          if (run.level & 1) minOdd = std::min(minOdd, run.level);
        }
        for (int level = maxLevel; level >= minOdd && level > 0; --level) {
          size_t i = 0;
          while (i < s.order.size()) {
            if (s.runs[static_cast<size_t>(s.order[i])].level < level) {
              ++i;
              continue;
            }
            size_t j = i;
            while (j < s.order.size() && s.runs[static_cast<size_t>(s.order[j])].level >= level) ++j;
            std::reverse(s.order.begin() + static_cast<ptrdiff_t>(i), s.order.begin() + static_cast<ptrdiff_t>(j));
            i = j;
          }
        }
        Line line;
        float x = 0;
        for (int r : s.order) {
          const auto& run = s.runs[static_cast<size_t>(r)];
          for (int g = run.g0; g < run.g1; ++g) {
            const auto& sh = s.shaped[static_cast<size_t>(g)];
            if (sh.cluster < ls || sh.cluster >= visEnd) continue;
            if (_glyphs[static_cast<size_t>(sh.glyph)].page >= 0)
              line.glyphs.push_back(PlacedGlyph{x + sh.xOffset, sh.yOffset, sh.glyph});
            x += sh.advance;
          }
        }
        line.width = x;
        out.maxLineWidth = std::max(out.maxLineWidth, x);
        out.lines.push_back(std::move(line));
        ls = le;
        if (soft)
          while (ls < n && isSpace(s.para[static_cast<size_t>(ls)])) ++ls;
      }
    }
    if (nl == std::u32string::npos) break;
    pos = nl + 1;
  }
}

std::u32string utf8ToUtf32(const std::string& text) {
  std::u32string out;
  out.reserve(text.size());
  const auto* p = reinterpret_cast<const unsigned char*>(text.data());
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    const unsigned char c = p[i];
    if (c < 0x80) {
      out.push_back(c);
      ++i;
      continue;
    }
    int len = 0;
    char32_t cp = 0, min = 0;
    if ((c & 0xE0) == 0xC0) {
      len = 2;
      cp = c & 0x1F;
      min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
      len = 3;
      cp = c & 0x0F;
      min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
      len = 4;
      cp = c & 0x07;
      min = 0x10000;
    }
    bool ok = len > 0 && i + static_cast<size_t>(len) <= n;
    for (int k = 1; ok && k < len; ++k) {
      if ((p[i + static_cast<size_t>(k)] & 0xC0) != 0x80) ok = false;
      else cp = (cp << 6) | (p[i + static_cast<size_t>(k)] & 0x3F);
    }
    if (ok && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
    if (ok) {
      out.push_back(cp);
      i += static_cast<size_t>(len);
    } else {
      out.push_back(0xFFFD);
      ++i;
      while (i < n && (p[i] & 0xC0) == 0x80) ++i;
    }
  }
  return out;
}

NS_CC_END
