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

// Drawn as a 96 x 72 design enlarged 4.5 times (gaps and lines included),
// so that the picture reads the same on the protocol button, which shows it
// at 0.11 (about 48 x 36 points), and in the protocol menu (60 wide).
constexpr int kDesignWidth = 96;
constexpr int kDesignHeight = 72;
constexpr double kScale = 4.5;
constexpr int kWidth = 432;
constexpr int kHeight = 324;
constexpr int kMargin = 4;     // design units
constexpr int kInnerLine = 2;  // design units: the lines between a cell's viewers

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

// A design length or position in picture pixels.
int px(double design) { return static_cast<int>(design * kScale + 0.5); }

void drawLayout(Canvas& canvas, int id) {
  const int W = kDesignWidth - 2 * kMargin;
  const int H = kDesignHeight - 2 * kMargin;
  for (const LayoutCell& cell : layoutCells(id, static_cast<float>(W), static_cast<float>(H), sampleCount(id))) {
    // Cell rectangles have y upward; the picture's rows run downward.
    const double x = kMargin + cell.rect.origin.x;
    const double w = cell.rect.size.width;
    const double h = cell.rect.size.height;
    const double y = kMargin + H - cell.rect.origin.y - h;
    canvas.fill(px(x), px(y), px(x + w) - px(x), px(y + h) - px(y), cell.kind == VIEW_KIND_VR ? kVolumeCell : kCell);
    for (int c = 1; c < cell.gridColumns; ++c)
      canvas.fill(px(x + w * c / cell.gridColumns - kInnerLine / 2.0), px(y), px(kInnerLine), px(y + h) - px(y), kGround);
    for (int r = 1; r < cell.gridRows; ++r)
      canvas.fill(px(x), px(y + h * r / cell.gridRows - kInnerLine / 2.0), px(x + w) - px(x), px(kInnerLine), kGround);
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
