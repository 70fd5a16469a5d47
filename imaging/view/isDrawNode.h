// A scene node that draws coloured points and line segments given in world
// coordinates (millimetres of patient space). The measurement actors redraw
// their shapes into it from scratch (clear, then appends); only the render
// window's scene camera draws it, so the shapes follow zoom, pan and
// rotation of the view.
//
// Three vertex buffers (triangles, points, lines) of V3F_C4B_T2F vertices,
// each mirrored in a GL buffer that is re-specified at full capacity in its
// draw command whenever its contents changed. A redraw that rebuilds the same
// vertices (a pan moves the camera, not the shapes) leaves the GL buffer
// alone: the draw command compares the used vertices with a copy of what was
// last uploaded before it uploads. The GL objects are made in the
// first draw command, never in init, so the node works without a context.
// A point's size in pixels travels in its first texture coordinate.
//
// Draw commands of several nodes that follow each other in a pass (the
// measurements of a window) are drawn together where they agree on
// primitive, program, blend function, transform and, for lines, width and
// stipple: their vertices, in command order, go to one draw from client
// memory, so the pixels are those of the separate draws. A command drawn on
// its own uses its node's GL buffer as above.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/cocos2d.h"
#include "imaging/core/isNodeObject.h"

namespace isImageSDK {

class isDrawNode : public cocos2d::Node, public cocos2d::ClippingProtocol, public isNodeObject {
 public:
  CREATE_FUNC(isDrawNode)

  bool init() override;
  void draw(cocos2d::Renderer* renderer, const cocos2d::Mat4& transform, uint32_t flags) override;

  void drawPoint(const cocos2d::Vec3& position, float pointSize, const cocos2d::Color4F& color);
  void drawLine(const cocos2d::Vec3& from, const cocos2d::Vec3& to, const cocos2d::Color4F& color);
  // Always closed: the edge from the last point back to the first is drawn
  // whatever `closed` says. count >= 1.
  void drawPoly(const cocos2d::Vec3* points, int count, bool closed, const cocos2d::Color4F& color);
  // 50 segments plus a closing edge of length zero (51 points) in the plane
  // of the two axes, which are used as given (not normalised). `segments`
  // and `drawLineToCenter` are accepted and ignored.
  void drawCircle(const cocos2d::Vec3& center, const cocos2d::Vec3& axisX, const cocos2d::Vec3& axisY, float radius,
                  float angle, int segments, bool drawLineToCenter, float scaleX, float scaleY,
                  const cocos2d::Color4F& color);
  // Empties the three buffers (capacities stay) and puts the width back to 4.
  void clear();

  int getTriangleCount() const { return bufferCount; }
  int getTriangleCapacity() const { return bufferCapacity; }
  int getPointCount() const { return bufferCountGLPoint; }
  int getPointCapacity() const { return bufferCapacityGLPoint; }
  int getLineCount() const { return bufferCountGLLine; }
  int getLineCapacity() const { return bufferCapacityGLLine; }
  const cocos2d::V3F_C4B_T2F* getPoints() const { return bufferGLPoint; }
  const cocos2d::V3F_C4B_T2F* getLines() const { return bufferGLLine; }
  // Commands queued by the last draw (tests).
  int getQueuedCommands() const { return queuedCommands; }
  // GL buffer uploads made so far, all three buffers together (tests).
  int getUploadCount() const { return uploads; }

  // Draws a run of consecutive commands of draw nodes (the renderer's batch
  // function for them).
  static void drawRun(cocos2d::CustomCommand* const* run, size_t count);

  int32_t lineWidth = 4;
  // Lines drawn with pattern 0x5555, factor 2; set directly by the owner.
  bool lineStipple = false;

 protected:
  isDrawNode() = default;
  ~isDrawNode() override;

  enum Kind { TRIANGLES = 0, POINTS = 1, LINES = 2 };
  struct DrawCommand : cocos2d::CustomCommand {
    isDrawNode* node = nullptr;
    Kind kind = TRIANGLES;
  };
  cocos2d::GLProgram* programFor(Kind kind);
  // The used vertices of one buffer.
  const cocos2d::V3F_C4B_T2F* verticesOf(Kind kind, int32_t* count) const;
  static bool canJoin(DrawCommand& a, DrawCommand& b);
  static void drawJoined(cocos2d::CustomCommand* const* run, size_t count);

  void ensureCapacity(int32_t& capacity, cocos2d::V3F_C4B_T2F*& array, int32_t count, int32_t n);
  void ensureGLObjects();
  void onDraw(const cocos2d::Mat4& transform, uint32_t flags);
  void onDrawGLPoint(const cocos2d::Mat4& transform, uint32_t flags);
  void onDrawGLLine(const cocos2d::Mat4& transform, uint32_t flags);
  // The common body: program, upload when dirty, attributes, draw, unbind.
  // What one GL buffer holds since its last upload: the array's capacity then
  // and a copy of the vertices that were in use.
  struct Uploaded {
    int32_t capacity = -1;
    std::vector<cocos2d::V3F_C4B_T2F> vertices;
  };
  void drawBuffer(cocos2d::GLProgram* program, const cocos2d::Mat4& transform, unsigned int vao, unsigned int vbo,
                  const cocos2d::V3F_C4B_T2F* array, int32_t capacity, int32_t count, bool& dirtyFlag,
                  Uploaded& uploaded, unsigned int primitive, bool lines);

  unsigned int vao = 0, vbo = 0;
  unsigned int vaoGLPoint = 0, vboGLPoint = 0;
  unsigned int vaoGLLine = 0, vboGLLine = 0;
  bool glReady = false;
  bool glUsesVAO = false;

  int32_t bufferCapacity = 0, bufferCount = 0;
  cocos2d::V3F_C4B_T2F* buffer = nullptr;
  int32_t bufferCapacityGLPoint = 0, bufferCountGLPoint = 0;
  cocos2d::V3F_C4B_T2F* bufferGLPoint = nullptr;
  int32_t bufferCapacityGLLine = 0, bufferCountGLLine = 0;
  cocos2d::V3F_C4B_T2F* bufferGLLine = nullptr;

  cocos2d::BlendFunc blendFunc = cocos2d::BlendFunc::ALPHA_PREMULTIPLIED;
  DrawCommand customCommand;
  DrawCommand customCommandGLPoint;
  DrawCommand customCommandGLLine;
  bool dirty = false, dirtyGLPoint = false, dirtyGLLine = false;
  Uploaded uploaded, uploadedGLPoint, uploadedGLLine;
  int queuedCommands = 0;
  int uploads = 0;
};

}  // namespace isImageSDK
