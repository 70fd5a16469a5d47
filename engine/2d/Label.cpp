#include "engine/2d/Label.h"

#include <algorithm>
#include <cmath>

#include "engine/2d/FontAtlas.h"
#include "engine/base/ccLog.h"
#include "engine/platform/FileUtils.h"
#include "engine/renderer/GLProgram.h"
#include "engine/renderer/GLProgramState.h"
#include "engine/renderer/Renderer.h"
#include "engine/renderer/Texture2D.h"

NS_CC_BEGIN

namespace {
// Quads per command: indices are 16-bit.
constexpr size_t kMaxQuadsPerBatch = 65536 / 4;
}  // namespace

struct Label::LayoutData {
  FontAtlas::Layout layout;
};

struct Label::PageBatch {
  int page = 0;
  int shadowQuads = 0;
  std::vector<V3F_C4B_T2F> verts;
  std::vector<unsigned short> indices;
  TrianglesCommand command;
};

Label::Label() : _layout(std::make_unique<LayoutData>()) {}

Label::~Label() = default;

Label* Label::create() {
  auto* l = new Label;
  if (l->init()) {
    l->autorelease();
    return l;
  }
  delete l;
  return nullptr;
}

Label* Label::create(const std::string& text, const std::string& font, float fontSize, const Size& dimensions,
                     TextHAlignment hAlignment, TextVAlignment vAlignment) {
  return createWithSystemFont(text, font, fontSize, dimensions, hAlignment, vAlignment);
}

Label* Label::createWithSystemFont(const std::string& text, const std::string& font, float fontSize,
                                   const Size& dimensions, TextHAlignment hAlignment, TextVAlignment vAlignment) {
  auto* l = new Label;
  if (l->initWithFont(text, font, fontSize, dimensions, hAlignment, vAlignment)) {
    l->autorelease();
    return l;
  }
  delete l;
  return nullptr;
}

Label* Label::createWithTTF(const std::string& text, const std::string& fontFile, float fontSize,
                            const Size& dimensions, TextHAlignment hAlignment, TextVAlignment vAlignment) {
  if (!FileUtils::getInstance()->isFileExist(fontFile))
    log("Label: font file %s not found, using the system font", fontFile.c_str());
  return createWithSystemFont(text, fontFile, fontSize, dimensions, hAlignment, vAlignment);
}

Label* Label::createWithTTF(const TTFConfig& config, const std::string& text, TextHAlignment hAlignment,
                            int maxLineWidth) {
  return createWithTTF(text, config.fontFilePath, config.fontSize, Size(static_cast<float>(maxLineWidth), 0),
                       hAlignment, TextVAlignment::TOP);
}

bool Label::init() { return initWithFont("", "", 12, Size::ZERO, TextHAlignment::LEFT, TextVAlignment::TOP); }

bool Label::initWithFont(const std::string& text, const std::string& font, float fontSize, const Size& dimensions,
                         TextHAlignment hAlignment, TextVAlignment vAlignment) {
  if (!Node::init()) return false;
  setAnchorPoint(Vec2(0.5f, 0.5f));
  if (GLProgramState* state = GLProgramState::getOrCreateWithGLProgramName(GLProgram::SHADER_NAME_LABEL_A8_COLOR))
    setGLProgramState(state);
  _fontName = font;
  _fontSize = fontSize;
  _dimensions = Size(std::max(0.0f, dimensions.width), std::max(0.0f, dimensions.height));
  _hAlignment = hAlignment;
  _vAlignment = vAlignment;
  _text = text;
  _text32 = utf8ToUtf32(text);
  updateFont();
  return true;
}

void Label::setString(const std::string& text) {
  if (text == _text) return;
  _text = text;
  _text32 = utf8ToUtf32(text);
  _explicitSize = false;
  relayout();
}

int Label::getStringNumLines() const { return static_cast<int>(_layout->layout.lines.size()); }

void Label::setSystemFontName(const std::string& font) {
  if (font == _fontName) return;
  _fontName = font;
  updateFont();
}

void Label::setSystemFontSize(float size) {
  if (size == _fontSize) return;
  _fontSize = size;
  updateFont();
}

bool Label::setTTFConfig(const TTFConfig& config) {
  if (!config.fontFilePath.empty() && !FileUtils::getInstance()->isFileExist(config.fontFilePath))
    log("Label: font file %s not found, using the system font", config.fontFilePath.c_str());
  _fontName = config.fontFilePath;
  _fontSize = config.fontSize;
  updateFont();
  return _atlas != nullptr;
}

void Label::updateFont() {
  _atlas = FontAtlas::get(_fontName, static_cast<int>(std::lround(_fontSize)));
  _atlasGeneration = FontAtlas::generation();
  relayout();
}

float Label::getLineHeight() const { return _atlas ? static_cast<float>(_atlas->getLineHeight()) : 0.0f; }

float Label::getDisplayWidth() const { return std::ceil(_layout->layout.maxLineWidth); }

void Label::setDimensions(float width, float height) {
  width = std::max(0.0f, width);
  height = std::max(0.0f, height);
  if (width == _dimensions.width && height == _dimensions.height) return;
  _dimensions = Size(width, height);
  relayout();
}

void Label::setAlignment(TextHAlignment hAlignment, TextVAlignment vAlignment) {
  if (hAlignment == _hAlignment && vAlignment == _vAlignment) return;
  _hAlignment = hAlignment;
  _vAlignment = vAlignment;
  updateQuads();
}

void Label::setHorizontalAlignment(TextHAlignment hAlignment) { setAlignment(hAlignment, _vAlignment); }

void Label::setVerticalAlignment(TextVAlignment vAlignment) { setAlignment(_hAlignment, vAlignment); }

void Label::setTextColor(const Color4B& color) {
  _textColor = color;
}

void Label::enableShadow(const Color4B& shadowColor, const Size& offset, int blurRadius) {
  if (blurRadius > 0) {
    static bool logged = false;
    if (!logged) log("Label: shadow blur is not drawn (radius %d drawn as 0)", blurRadius);
    logged = true;
  }
  _shadowEnabled = true;
  _shadowColor = shadowColor;
  _shadowOffset = offset;
  updateQuads();
}

void Label::disableEffect() {
  if (!_shadowEnabled) return;
  _shadowEnabled = false;
  updateQuads();
}

void Label::setContentSize(const Size& size) {
  _explicitSize = true;
  Node::setContentSize(size);
  updateQuads();
}

void Label::relayout() {
  FontAtlas::Layout& layout = _layout->layout;
  if (_atlas) {
    _atlas->layout(_text32, _dimensions.width, layout);
  } else {
    layout.lines.clear();
    layout.maxLineWidth = 0;
  }
  if (!_explicitSize) {
    const float lineHeight = getLineHeight();
    Size natural(_dimensions.width > 0 ? _dimensions.width : std::ceil(layout.maxLineWidth),
                 _dimensions.height > 0 ? _dimensions.height : lineHeight * static_cast<float>(layout.lines.size()));
    Node::setContentSize(natural);
  }
  updateQuads();
}

int Label::getQuadCount() const {
  int n = 0;
  for (const auto& b : _batches) n += static_cast<int>(b->verts.size() / 4);
  return n;
}

void Label::updateQuads() {
  for (auto& b : _batches) {
    b->verts.clear();
    b->indices.clear();
    b->shadowQuads = 0;
  }
  const FontAtlas::Layout& layout = _layout->layout;
  if (!_atlas || layout.lines.empty()) {
    _batches.clear();
    return;
  }
  const float lineHeight = static_cast<float>(_atlas->getLineHeight());
  const float boxW = _contentSize.width, boxH = _contentSize.height;
  const float block = lineHeight * static_cast<float>(layout.lines.size());
  float top = boxH;
  if (_vAlignment == TextVAlignment::CENTER) top = boxH - std::round((boxH - block) / 2);
  else if (_vAlignment == TextVAlignment::BOTTOM) top = block;
  const float inv = 1.0f / static_cast<float>(FontAtlas::kPageSize);

  auto batchFor = [this](int page) -> PageBatch* {
    for (auto& b : _batches)
      if (b->page == page) return b.get();
    _batches.push_back(std::make_unique<PageBatch>());
    _batches.back()->page = page;
    return _batches.back().get();
  };
  auto emit = [&](float dx, float dy, bool shadow) {
    for (size_t li = 0; li < layout.lines.size(); ++li) {
      const FontAtlas::Line& line = layout.lines[li];
      float x0 = 0;
      if (_hAlignment == TextHAlignment::CENTER) x0 = std::round((boxW - line.width) / 2);
      else if (_hAlignment == TextHAlignment::RIGHT) x0 = std::round(boxW - line.width);
      const float baseline = std::round(top - lineHeight * static_cast<float>(li) - _atlas->getAscender());
      for (const FontAtlas::PlacedGlyph& pg : line.glyphs) {
        const FontAtlas::Glyph& g = _atlas->glyph(pg.glyph);
        PageBatch* b = batchFor(g.page);
        if (b->verts.size() / 4 >= kMaxQuadsPerBatch) continue;
        const float left = std::round(x0 + pg.x) + static_cast<float>(g.bearingX) + dx;
        const float topY = baseline + std::round(pg.y) + static_cast<float>(g.bearingY) + dy;
        const float right = left + static_cast<float>(g.width);
        const float bottom = topY - static_cast<float>(g.height);
        const float u0 = static_cast<float>(g.x) * inv, u1 = static_cast<float>(g.x + g.width) * inv;
        const float v0 = static_cast<float>(g.y) * inv, v1 = static_cast<float>(g.y + g.height) * inv;
        const auto base = static_cast<unsigned short>(b->verts.size());
        V3F_C4B_T2F v;
        v.vertices = Vec3(left, topY, 0);
        v.texCoords = Tex2F(u0, v0);
        b->verts.push_back(v);  // top left
        v.vertices = Vec3(left, bottom, 0);
        v.texCoords = Tex2F(u0, v1);
        b->verts.push_back(v);  // bottom left
        v.vertices = Vec3(right, topY, 0);
        v.texCoords = Tex2F(u1, v0);
        b->verts.push_back(v);  // top right
        v.vertices = Vec3(right, bottom, 0);
        v.texCoords = Tex2F(u1, v1);
        b->verts.push_back(v);  // bottom right
        const unsigned short quad[6] = {base, static_cast<unsigned short>(base + 1), static_cast<unsigned short>(base + 2),
                                        static_cast<unsigned short>(base + 3), static_cast<unsigned short>(base + 2),
                                        static_cast<unsigned short>(base + 1)};
        b->indices.insert(b->indices.end(), quad, quad + 6);
        if (shadow) ++b->shadowQuads;
      }
    }
  };
  if (_shadowEnabled) emit(_shadowOffset.width, _shadowOffset.height, true);
  emit(0, 0, false);
  _batches.erase(std::remove_if(_batches.begin(), _batches.end(), [](const auto& b) { return b->verts.empty(); }),
                 _batches.end());
}

void Label::updateColors() {
  const Color3B& node = getDisplayedColor();
  const unsigned opacity = getDisplayedOpacity();
  const Color4B text(static_cast<uint8_t>(_textColor.r * node.r / 255), static_cast<uint8_t>(_textColor.g * node.g / 255),
                     static_cast<uint8_t>(_textColor.b * node.b / 255),
                     static_cast<uint8_t>(_textColor.a * opacity / 255));
  const Color4B shadow(_shadowColor.r, _shadowColor.g, _shadowColor.b,
                       static_cast<uint8_t>(_shadowColor.a * opacity / 255));
  for (auto& b : _batches) {
    const size_t shadowVerts = static_cast<size_t>(b->shadowQuads) * 4;
    for (size_t i = 0; i < b->verts.size(); ++i) b->verts[i].colors = i < shadowVerts ? shadow : text;
  }
}

void Label::draw(Renderer* renderer, const Mat4& transform, uint32_t flags) {
  if (_atlasGeneration != FontAtlas::generation()) updateFont();
  if (_batches.empty() || !_atlas) return;
  if (!getGLProgramState()) {
    if (GLProgramState* state = GLProgramState::getOrCreateWithGLProgramName(GLProgram::SHADER_NAME_LABEL_A8_COLOR))
      setGLProgramState(state);
  }
  // Colours are cheap to refill; the displayed colour and opacity may have
  // changed through a parent without telling this node.
  updateColors();
  for (auto& b : _batches) {
    Texture2D* texture = _atlas->pageTexture(b->page);
    TrianglesCommand::Triangles tris;
    tris.verts = b->verts.data();
    tris.vertCount = static_cast<int>(b->verts.size());
    tris.indices = b->indices.data();
    tris.indexCount = static_cast<int>(b->indices.size());
    b->command.init(_globalZOrder, texture ? texture->getName() : 0, getGLProgramState(), _blendFunc, tris,
                    transform, flags);
    renderer->addCommand(&b->command);
  }
}

NS_CC_END
