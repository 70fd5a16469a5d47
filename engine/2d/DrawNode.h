// Immediate shapes kept until clear(): lines, rectangle outlines and solid
// rectangles in node space, drawn as 2-D custom commands (one for the
// filled shapes, then one for the lines) with premultiplied colours.
#pragma once

#include <vector>

#include "engine/base/ccMacros.h"
#include "engine/2d/ClippingProtocol.h"
#include "engine/2d/Node.h"
#include "engine/renderer/CustomCommand.h"

NS_CC_BEGIN

class DrawNode : public Node, public ClippingProtocol {
 public:
  CREATE_FUNC(DrawNode)

  // Width in pixels of the lines added from now on (default 1).
  void setLineWidth(float width) { _lineWidth = width > 0 ? width : 1.0f; }
  float getLineWidth() const { return _lineWidth; }

  void drawLine(const Vec2& from, const Vec2& to, const Color4F& color);
  // Outline of the axis-aligned rectangle with corners origin and dest.
  void drawRect(const Vec2& origin, const Vec2& dest, const Color4F& color);
  void drawSolidRect(const Vec2& origin, const Vec2& dest, const Color4F& color);
  void clear();

  void visit(Renderer* renderer, const Mat4& parentTransform, uint32_t parentFlags) override;
  void draw(Renderer* renderer, const Mat4& transform, uint32_t flags) override;

  struct Vertex {
    float x, y, z;
    Color4B color;
  };
  struct LineBatch {
    float width;
    std::vector<Vertex> vertices;  // pairs
  };

  // For tests: what is queued.
  const std::vector<Vertex>& getTriangleVertices() const { return _triangles; }
  const std::vector<LineBatch>& getLineBatches() const { return _lines; }

 protected:
  DrawNode() = default;
  void onDrawTriangles(const Mat4& transform);
  void onDrawLines(const Mat4& transform);

  float _lineWidth = 1.0f;
  std::vector<Vertex> _triangles;
  std::vector<LineBatch> _lines;
  CustomCommand _customCommandTriangles;
  CustomCommand _customCommandLines;
};

NS_CC_END
