// The image node that maps on the graphics card: the slice goes up once as
// a 16-bit texture (two bytes per texel, RGB as it is), and window, curve
// and colour table are applied by the slice program at every draw, so that
// a window drag changes uniforms only. The CPU mapping of the base stays
// available: a node starts on it when the program is switched off for the
// process, and moves to it for good when a frame is too slow.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/renderer/CustomCommand.h"
#include "imaging/view/isNodeImage.h"

namespace isImageSDK {

class isNodeImageByShader : public isNodeImage {
 public:
  // Null when the slice program cannot be had (no GL context, missing or
  // undecodable program files, a program that does not link).
  static isNodeImageByShader* create();
  // Whether the slice program exists or can be built now. The program is
  // compiled once per process (per GL context) and kept in the engine's
  // program cache.
  static bool canCreateProgram();

  // 1 while nodes may draw through the program; the first frame slower than
  // kSlowFrameSeconds clears it for the rest of the process.
  static int shaderProgramEnabled;
  static constexpr float kSlowFrameSeconds = 0.3f;
  // Name of the slice program in the engine's program cache.
  static const char* const kProgramName;

  bool init() override;
  void cleanup() override;
  void draw(cocos2d::Renderer* renderer, const cocos2d::Mat4& transform, uint32_t flags) override;

  void setSliceRecord(SliceRecord* record) override;
  isClut* setClut(isClut* table) override;
  void markWindowDirty() override;
  void markColorDirty() override;
  void refreshTexture() override;

  // The 16-bit (or RGB) texture of the current record and frame; the
  // node's own texture refilled in place when size and format match.
  cocos2d::Texture2D* buildSliceTexture();
  // Moves the node to the CPU mapping for good: standard program, colour
  // texture deleted, a CPU texture of the current frame built at once.
  void fallBackToCpu();

  bool isOnCpuPath() const { return usesCpuPath; }
  float getFloatScale() const { return floatScale; }
  float getFloatOffset() const { return floatOffset; }
  uint32_t getColorTexture() const { return colorTexture; }

  // The slice program's uniforms for a table and element type; float frames
  // map through scale and offset into texel units.
  struct ProgramUniforms {
    int curve = 0;            // "u_opacity"
    float wwMin = 0.0f;       // "u_wwMin"
    float wwLinear = 0.0f;    // "u_wwLinear"
    float wwMax = 0.0f;       // "u_wwMax"
    float wwLogRatio = 0.0f;  // "u_wwLogRatio"
    int pixelType = 1;        // "u_pt": 1 grey values, 2 RGB
  };
  static ProgramUniforms computeUniforms(const isClut& table, int elementType, float floatScale, float floatOffset);

  // Texels of frame `frame` of r: two bytes each (low byte first) for the
  // grey types, three for RGB; zeros while r's pixels are not ready. Float
  // frames also give their scale and offset into 0 ... 65535 (unchanged
  // otherwise). False for an empty record or an unsupported type.
  static bool fillSliceTexels(const SliceRecord& r, int frame, std::vector<uint8_t>& out, float* floatScale,
                              float* floatOffset);
  // Whether the program can draw records of this element type.
  static bool programDraws(int elementType) { return elementType >= 0 && elementType <= 4; }

 protected:
  isNodeImageByShader() = default;
  ~isNodeImageByShader() override;

  void uploadColorTexture();
  void bindColorTexture();
  void unbindColorTexture();
  void deleteColorTexture();
  void placeForRecord(const SliceRecord& r);
  // The current record goes through the program.
  bool drawsThroughProgram() const { return !usesCpuPath && sliceRecord && programDraws(sliceRecord->elementType); }

  cocos2d::CustomCommand beforeDrawCommand;
  cocos2d::CustomCommand afterDrawCommand;
  uint32_t colorTexture = 0;
  float floatOffset = 0.0f;
  float floatScale = 1.0f;
  bool usesCpuPath = true;
  bool colorTextureDirty = false;
  std::vector<uint8_t> sliceTexels;
};

}  // namespace isImageSDK
