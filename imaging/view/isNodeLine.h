// A scene node that draws plain coloured line segments in world space. The
// owner fills the vertex list directly (pairs of vertices, one segment each)
// and the node draws them with one custom command per frame, reading the
// vertices from client memory.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/cocos2d.h"
#include "imaging/core/isNodeObject.h"

namespace isImageSDK {

class isNodeLine : public cocos2d::Node, public cocos2d::ClippingProtocol, public isNodeObject {
 public:
  // 16 bytes: position (world units), then colour bytes.
  struct Vertex {
    float x, y, z;
    uint8_t r, g, b, a;
  };
  static_assert(sizeof(Vertex) == 16, "line vertices are 16 bytes");

  CREATE_FUNC(isNodeLine)

  bool init() override;
  void cleanup() override;
  void draw(cocos2d::Renderer* renderer, const cocos2d::Mat4& transform, uint32_t flags) override;

  // Appends the segment from -> to in one colour.
  void addLine(const cocos2d::Vec3& from, const cocos2d::Vec3& to, const cocos2d::Color4F& color);

  void setLineWidth(int width) { lineWidth = width; }
  int getLineWidth() const { return lineWidth; }

  // Open to the owner, which empties it before adding a new set.
  std::vector<Vertex> vertices;

 protected:
  isNodeLine() = default;
  void onDraw(const cocos2d::Mat4& transform, uint32_t flags);

  cocos2d::CustomCommand command;
  int lineWidth = 4;
};

}  // namespace isImageSDK
