// layouticons: writes <folder>/<layout name>.png, one 432 × 324 picture per
// layout, drawn from the same cell lists the layout manager applies: light
// cells on a dark ground, the volume-rendering cell tinted, a cell that the
// layout splits into a grid shown with its inner lines, and the compare
// layouts with a sample of 2 (side by side) and 6 (3 × 2) cells.
//
// Usage: layouticons <output folder>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/platform/Image.h"
#include "imaging/viewers/appLayouts.h"
#include "imaging/viewers/isViewer.h"

using namespace isImageSDK;

namespace {

// The protocol button shows the picture at 0.11 of its size (about 48 x 36
// points), the protocol menu at 60 points wide.
constexpr int kWidth = 432;
constexpr int kHeight = 324;
constexpr int kMargin = 18;
constexpr int kInnerLine = 9;  // width of the lines between a cell's viewers

struct Colour {
  unsigned char r, g, b;
};
constexpr Colour kGround{36, 40, 48};
constexpr Colour kCell{208, 214, 224};
constexpr Colour kVolumeCell{236, 178, 104};

class Canvas {
 public:
  Canvas() : pixels(kWidth * kHeight * 4) { fill(0, 0, kWidth, kHeight, kGround); }

  // (x, y) is the top-left pixel.
  void fill(int x, int y, int w, int h, Colour c) {
    for (int j = std::max(0, y); j < std::min(kHeight, y + h); ++j) {
      for (int i = std::max(0, x); i < std::min(kWidth, x + w); ++i) {
        unsigned char* p = &pixels[(j * kWidth + i) * 4];
        p[0] = c.r;
        p[1] = c.g;
        p[2] = c.b;
        p[3] = 255;
      }
    }
  }

  std::vector<unsigned char> pixels;
};

// How many data a layout's picture shows.
int sampleCount(int id) {
  if (id == LAYOUT_COMPARE2D) return 2;
  if (id == LAYOUT_COMPARE4D) return 6;
  return 1;
}

void drawLayout(Canvas& canvas, int id) {
  const int W = kWidth - 2 * kMargin;
  const int H = kHeight - 2 * kMargin;
  for (const LayoutCell& cell : layoutCells(id, static_cast<float>(W), static_cast<float>(H), sampleCount(id))) {
    // Cell rectangles have y upward; the picture's rows run downward.
    const int x = kMargin + static_cast<int>(cell.rect.origin.x);
    const int w = static_cast<int>(cell.rect.size.width);
    const int h = static_cast<int>(cell.rect.size.height);
    const int y = kMargin + H - static_cast<int>(cell.rect.origin.y) - h;
    canvas.fill(x, y, w, h, cell.kind == VIEW_KIND_VR ? kVolumeCell : kCell);
    for (int c = 1; c < cell.gridColumns; ++c) {
      canvas.fill(x + w * c / cell.gridColumns - kInnerLine / 2, y, kInnerLine, h, kGround);
    }
    for (int r = 1; r < cell.gridRows; ++r) {
      canvas.fill(x, y + h * r / cell.gridRows - kInnerLine / 2, w, kInnerLine, kGround);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: layouticons <output folder>\n");
    return 2;
  }
  const std::string folder = argv[1];
  for (int id = 1; id <= kLayoutCount; ++id) {
    Canvas canvas;
    drawLayout(canvas, id);
    const std::string path = folder + "/" + layoutName(id) + ".png";
    if (!cocos2d::Image::writePng(path, canvas.pixels.data(), kWidth, kHeight, 4)) {
      std::fprintf(stderr, "layouticons: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
