#include "imaging/view/isNodeImageByShader.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/base/Director.h"
#include "engine/base/base64.h"
#include "engine/base/ccLog.h"
#include "engine/platform/FileUtils.h"
#include "engine/renderer/GLProgramCache.h"
#include "engine/renderer/GLProgramState.h"
#include "engine/renderer/Renderer.h"
#include "engine/renderer/ccGLStateCache.h"
#include "imaging/core/isImageTypes.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace isImageSDK {

int isNodeImageByShader::shaderProgramEnabled = 1;
const char* const isNodeImageByShader::kProgramName = "isImageSDK.sliceProgram";

namespace {

// The decoded text of a base64 program file; empty when it is missing or
// does not decode.
std::string programText(const char* name) {
  auto* files = cocos2d::FileUtils::getInstance();
  const std::string path = files->fullPathForFilename(name);
  if (path.empty()) return {};
  const std::string encoded = files->getStringFromFile(path);
  if (encoded.empty()) return {};
  unsigned char* decoded = nullptr;
  const int n = cocos2d::safeBase64Decode(reinterpret_cast<const unsigned char*>(encoded.data()),
                                          static_cast<unsigned int>(encoded.size()), &decoded);
  std::string text;
  if (n > 0 && decoded) text.assign(reinterpret_cast<const char*>(decoded), static_cast<size_t>(n));
  std::free(decoded);
  return text;
}

// The slice program: from the cache, or read, decoded, compiled and cached.
cocos2d::GLProgram* sliceProgram() {
  if (!cocos2d::GL::isContextReady()) return nullptr;
  auto* cache = cocos2d::GLProgramCache::getInstance();
  if (cocos2d::GLProgram* program = cache->getGLProgram(isNodeImageByShader::kProgramName)) return program;
  const std::string vertex = programText("i.v");
  const std::string fragment = programText("id.f");
  if (vertex.empty() || fragment.empty()) return nullptr;
  cocos2d::GLProgram* program = cocos2d::GLProgram::createWithByteArrays(vertex.c_str(), fragment.c_str());
  if (program) cache->addGLProgram(program, isNodeImageByShader::kProgramName);
  return program;
}

uint8_t lowByte(uint32_t v) { return static_cast<uint8_t>(v & 0xff); }
uint8_t highByte(uint32_t v) { return static_cast<uint8_t>((v >> 8) & 0xff); }

// The CPU mapping's window edge: truncated towards zero, NaN as 0, kept to
// a range where the uniforms stay finite.
double edge(double v) {
  if (!(v == v)) return 0.0;
  return std::clamp(std::trunc(v), -1e9, 1e9);
}

}  // namespace

isNodeImageByShader* isNodeImageByShader::create() {
  auto* node = new (std::nothrow) isNodeImageByShader();
  if (node && node->init()) {
    node->autorelease();
    return node;
  }
  delete node;
  return nullptr;
}

bool isNodeImageByShader::canCreateProgram() { return sliceProgram() != nullptr; }

isNodeImageByShader::~isNodeImageByShader() { deleteColorTexture(); }

bool isNodeImageByShader::init() {
  if (!isNodeImage::init()) return false;
  colorTexture = 0;
  colorTextureDirty = false;
  floatOffset = 0.0f;
  floatScale = 1.0f;
  if (shaderProgramEnabled != 1) {
    usesCpuPath = true;
    return true;
  }
  cocos2d::GLProgram* program = sliceProgram();
  if (!program) return false;
  // A state of the node's own: its uniforms are this node's window.
  setGLProgram(program);
  usesCpuPath = false;
  return true;
}

void isNodeImageByShader::cleanup() {
  isNodeImage::cleanup();
  deleteColorTexture();
}

void isNodeImageByShader::deleteColorTexture() {
  if (colorTexture != 0) cocos2d::GL::deleteTexture(colorTexture);
  colorTexture = 0;
}

isClut* isNodeImageByShader::setClut(isClut* table) {
  isNodeImage::setClut(table);
  if (!usesCpuPath) colorTextureDirty = true;
  return table;
}

void isNodeImageByShader::markWindowDirty() {
  if (!drawsThroughProgram()) textureDirty = true;
}

void isNodeImageByShader::markColorDirty() {
  if (!drawsThroughProgram()) textureDirty = true;
  if (!usesCpuPath) colorTextureDirty = true;
}

void isNodeImageByShader::placeForRecord(const SliceRecord& r) {
  setScaleX(r.spacingX);
  setScaleY(r.spacingY);
  // As the CPU node: texel centres on pixel centres.
  cocos2d::Mat4 shift;
  cocos2d::Mat4::createTranslation(-r.spacingX * 0.5f, -r.spacingY * 0.5f, 0.0f, &shift);
  setImageMatrix(r.matrix * shift);
}

void isNodeImageByShader::setSliceRecord(SliceRecord* record) {
  if (usesCpuPath || !record || !programDraws(record->elementType)) {
    isNodeImage::setSliceRecord(record);
    return;
  }
  sliceRecord = record;
  if (record->pixelsLoaded) {
    frameIndex = 0;
    cocos2d::Texture2D* texture = buildSliceTexture();
    if (!texture) return;
    applyTexture(texture);
    placeForRecord(*record);
  } else {
    setScaleX(0.0001f);
    setScaleY(0.0001f);
  }
  if (auto* nc = NSUI::NSNotificationCenter::getInstance()) {
    const int many = record->frameCount > 1 ? 1 : 0;
    for (int id : {NOTIFY_CINE_VISIBLE_9050, NOTIFY_CINE_VISIBLE_9051, NOTIFY_CINE_VISIBLE_9052})
      nc->postNotificationInt(this, id, many, cineSender, true);
  }
  stopCine();
}

void isNodeImageByShader::refreshTexture() {
  if (!drawsThroughProgram()) {
    isNodeImage::refreshTexture();
    return;
  }
  if (cocos2d::Texture2D* texture = buildSliceTexture()) applyTexture(texture);
}

bool isNodeImageByShader::fillSliceTexels(const SliceRecord& r, int frame, std::vector<uint8_t>& out,
                                          float* scaleOut, float* offsetOut) {
  const int64_t n = static_cast<int64_t>(r.width) * r.height;
  if (n <= 0 || r.width <= 0 || !programDraws(r.elementType)) return false;
  const int frames = r.frameCount > 0 ? r.frameCount : 1;
  if (frame < 0 || frame >= frames) frame = 0;
  const bool ready = r.pixelsLoaded && r.pixels;
  if (r.elementType == ELEMENT_RGB) {
    out.resize(static_cast<size_t>(3 * n));
    if (ready)
      std::memcpy(out.data(), static_cast<const uint8_t*>(r.pixels) + 3 * n * frame, out.size());
    else
      std::memset(out.data(), 0, out.size());
    return true;
  }
  out.resize(static_cast<size_t>(2 * n));
  uint8_t* t = out.data();
  if (!ready) {
    std::memset(t, 0, out.size());
    return true;
  }
  auto put = [t](int64_t i, uint32_t v) {
    t[2 * i] = lowByte(v);
    t[2 * i + 1] = highByte(v);
  };
  switch (r.elementType) {
    case ELEMENT_UINT8: {
      const uint8_t* p = static_cast<const uint8_t*>(r.pixels) + n * frame;
      for (int64_t i = 0; i < n; ++i) put(i, p[i]);
      if (scaleOut) *scaleOut = 1.0f;
      if (offsetOut) *offsetOut = 0.0f;
      break;
    }
    case ELEMENT_INT16: {
      const int16_t* p = static_cast<const int16_t*>(r.pixels) + n * frame;
      for (int64_t i = 0; i < n; ++i) put(i, static_cast<uint32_t>(p[i] + 32768));
      break;
    }
    case ELEMENT_UINT16: {
      const uint16_t* p = static_cast<const uint16_t*>(r.pixels) + n * frame;
      for (int64_t i = 0; i < n; ++i) put(i, p[i]);
      break;
    }
    case ELEMENT_FLOAT: {
      const float* p = static_cast<const float*>(r.pixels) + n * frame;
      // The frame's own range, from its first finite value on; NaN and
      // infinities take no part in it.
      bool seeded = false;
      float lo = 0.0f, hi = 1.0f;
      for (int64_t i = 0; i < n; ++i) {
        const float v = p[i];
        if (!std::isfinite(v)) continue;
        if (!seeded) {
          lo = hi = v;
          seeded = true;
        } else if (v < lo) {
          lo = v;
        } else if (v > hi) {
          hi = v;
        }
      }
      if (lo >= hi) hi = lo + 1.0f;
      double span = static_cast<double>(hi) - lo;
      // A range too narrow (or values too large) for a finite factor.
      if (!(span >= 1e-30) || !std::isfinite(65535.0 / span * std::fabs(static_cast<double>(lo))))
        span = std::max(1.0, std::fabs(static_cast<double>(lo)) * 1e-6);
      const float scale = static_cast<float>(65535.0 / span);
      const float offset = static_cast<float>(-static_cast<double>(lo) * 65535.0 / span);
      for (int64_t i = 0; i < n; ++i) {
        const double v = p[i];
        double x = v * scale + offset;
        if (!(x == x)) x = 0.0;  // NaN
        put(i, static_cast<uint32_t>(std::clamp(std::trunc(x), 0.0, 65535.0)));
      }
      if (scaleOut) *scaleOut = scale;
      if (offsetOut) *offsetOut = offset;
      break;
    }
    default:
      return false;
  }
  return true;
}

cocos2d::Texture2D* isNodeImageByShader::buildSliceTexture() {
  SliceRecord* r = sliceRecord;
  if (!r || !programDraws(r->elementType)) return nullptr;
  // The table keeps the element type: float windows are stored exactly.
  if (clut) clut->setValueType(r->elementType);
  if (!fillSliceTexels(*r, frameIndex, sliceTexels, &floatScale, &floatOffset)) return nullptr;
  const auto format =
      r->elementType == ELEMENT_RGB ? cocos2d::Texture2D::PixelFormat::RGB888 : cocos2d::Texture2D::PixelFormat::AI88;
  // The node's own texture of the same size and format takes the texels in
  // place.
  cocos2d::Texture2D* current = getTexture();
  if (current && current == ownTexture && current->getPixelsWide() == r->width &&
      current->getPixelsHigh() == r->height && current->getPixelFormat() == format &&
      current->updateWithData(sliceTexels.data(), 0, 0, r->width, r->height))
    return current;
  auto* texture = new (std::nothrow) cocos2d::Texture2D();
  if (!texture) return nullptr;
  texture->autorelease();
  if (!texture->initWithData(sliceTexels.data(), static_cast<ssize_t>(sliceTexels.size()), format, r->width,
                             r->height,
                             cocos2d::Size(static_cast<float>(r->width), static_cast<float>(r->height))))
    return nullptr;
  texture->setTexParameters({GL_LINEAR, GL_LINEAR, GL_CLAMP_TO_EDGE, GL_CLAMP_TO_EDGE});
  texture->retain();
  if (ownTexture) ownTexture->release();
  ownTexture = texture;
  return texture;
}

isNodeImageByShader::ProgramUniforms isNodeImageByShader::computeUniforms(const isClut& table, int elementType,
                                                                          float scale, float offset) {
  ProgramUniforms u;
  u.curve = table.curveMode == CLUT_MODE_LOG || table.curveMode == CLUT_MODE_INVERSE_LOG ? table.curveMode : 0;
  u.pixelType = elementType == ELEMENT_RGB ? 2 : 1;
  const double w = table.windowWidth, c = table.windowCentre;
  if (elementType == ELEMENT_FLOAT) {
    // The CPU rule for float samples: edges c ± w/2, and a window narrower
    // than 1e-6 is a step at its centre. In texel units through the frame's
    // scale and offset.
    const double centre = std::isfinite(c) ? c : 0.0;
    if (!(std::fabs(w) >= 1e-6) || !std::isfinite(w)) {
      const float step = static_cast<float>(scale * centre + offset);
      u.wwMin = u.wwMax = step;
      u.wwLinear = u.wwLogRatio = 0.0f;
      return u;
    }
    const double lo = static_cast<float>(centre - w * 0.5);
    const double hi = static_cast<float>(centre + w * 0.5);
    const double texelLo = scale * lo + offset, texelHi = scale * hi + offset;
    const double span = texelHi - texelLo;
    u.wwMin = static_cast<float>(texelLo);
    u.wwMax = static_cast<float>(texelHi);
    if (span == 0.0 || !std::isfinite(255.0 / span)) {
      u.wwMax = u.wwMin;
      return u;
    }
    u.wwLinear = static_cast<float>(255.0 / span);
    u.wwLogRatio = static_cast<float>(9.0 / span);
    return u;
  }
  // Integer samples: the lookup table's edges, truncated, at least one
  // value apart; signed values shifted as their texels are.
  const double lowEdge = edge(c - w * 0.5);
  double highEdge = edge(c + w * 0.5);
  if (highEdge <= lowEdge) highEdge = lowEdge + 1.0;
  const double n = highEdge - lowEdge;
  const double shift = elementType == ELEMENT_INT16 ? 32768.0 : 0.0;
  u.wwMin = static_cast<float>(lowEdge + shift);
  u.wwMax = static_cast<float>(highEdge + shift);
  u.wwLinear = static_cast<float>(255.0 / n);
  u.wwLogRatio = static_cast<float>(9.0 / n);
  return u;
}

void isNodeImageByShader::uploadColorTexture() {
  if (!colorTextureDirty || usesCpuPath || !clut || colorTexture == 0) return;
  uint8_t rgb[768];
  clut->getColorTableRGB(rgb);
  // Unit 1 stays active for the upload (the engine's helper returns to 0).
  glActiveTexture(GL_TEXTURE1);
  glBindTexture(GL_TEXTURE_2D, colorTexture);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 256, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, rgb);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glActiveTexture(GL_TEXTURE0);
  colorTextureDirty = false;
}

void isNodeImageByShader::bindColorTexture() {
  if (!cocos2d::GL::isContextReady() || usesCpuPath) return;
  // The texture name is made here, in the first draw, never in init.
  if (colorTexture == 0) {
    GLuint name = 0;
    glGenTextures(1, &name);
    colorTexture = name;
    colorTextureDirty = true;
  }
  uploadColorTexture();
  cocos2d::GL::bindTexture2DN(1, colorTexture);
  glActiveTexture(GL_TEXTURE0);
}

void isNodeImageByShader::unbindColorTexture() {
  if (!cocos2d::GL::isContextReady()) return;
  cocos2d::GL::bindTexture2DN(1, 0);
  glActiveTexture(GL_TEXTURE0);
}

void isNodeImageByShader::fallBackToCpu() {
  if (usesCpuPath) return;
  usesCpuPath = true;
  setGLProgramState(
      cocos2d::GLProgramState::getOrCreateWithGLProgramName(cocos2d::GLProgram::SHADER_NAME_POSITION_TEXTURE_COLOR_NO_MVP));
  deleteColorTexture();
  colorTextureDirty = false;
  // The frame shown stays, and so does a running cine: only the mapping
  // moves to the processor, with a texture built now.
  if (sliceRecord) isNodeImage::refreshTexture();
}

void isNodeImageByShader::draw(cocos2d::Renderer* renderer, const cocos2d::Mat4& transform, uint32_t flags) {
  if (!usesCpuPath && shaderProgramEnabled != 0) {
    cocos2d::Director* director = cocos2d::Director::getInstanceIfExists();
    if (director && director->getSecondsPerFrame() > kSlowFrameSeconds) {
      cocos2d::log("Rendering is too slow. Disable cubic shader program.");
      shaderProgramEnabled = 0;
      fallBackToCpu();
    }
  }
  cocos2d::GLProgramState* state = getGLProgramState();
  if (!drawsThroughProgram()) {
    // The start picture or a CPU texture: through the program as it is.
    if (!usesCpuPath && state) state->setUniformInt("u_pt", 0);
    Sprite::draw(renderer, transform, flags);
    return;
  }
  if (!_texture || !state || !clut || _rect.size.width <= 0 || _rect.size.height <= 0) return;
  _insideBounds = renderer->checkVisibility(transform, _contentSize);
  if (!_insideBounds) return;

  beginScissor(renderer);
  const bool depth = isDepthTest();
  beforeDrawCommand.init(_globalZOrder, transform, flags);
  beforeDrawCommand.func = [this] { bindColorTexture(); };
  beforeDrawCommand.set3D(depth);
  renderer->addCommand(&beforeDrawCommand);

  const ProgramUniforms u = computeUniforms(*clut, sliceRecord->elementType, floatScale, floatOffset);
  state->setUniformInt("u_opacity", u.curve);
  state->setUniformFloat("u_wwMin", u.wwMin);
  state->setUniformFloat("u_wwLinear", u.wwLinear);
  state->setUniformFloat("u_wwMax", u.wwMax);
  state->setUniformFloat("u_wwLogRatio", u.wwLogRatio);
  state->setUniformInt("u_pt", u.pixelType);
  state->setUniformInt("u_fs", 0);
  state->setUniformFloat("u_vw", static_cast<float>(_texture->getPixelsWide()));
  state->setUniformFloat("u_vh", static_cast<float>(_texture->getPixelsHigh()));

  updateColors();
  _trianglesCommand.init(_globalZOrder, _texture->getName(), state, _blendFunc, _triangles, transform, flags);
  _trianglesCommand.set3D(depth);
  renderer->addCommand(&_trianglesCommand);

  afterDrawCommand.init(_globalZOrder, transform, flags);
  afterDrawCommand.func = [this] { unbindColorTexture(); };
  afterDrawCommand.set3D(depth);
  renderer->addCommand(&afterDrawCommand);
  endScissor(renderer);
}

}  // namespace isImageSDK
