// Layout geometry: the cells of the eight layouts (kind, rectangle, link flag,
// order, data, inner grid) at three screen sizes, the aspect-fitted grid of
// the compare layouts, views without area, the orientation class of a
// slice, and the phase questions about a 4-D series.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "imaging/core/isImageData.h"
#include "imaging/viewers/appLayouts.h"
#include "imaging/viewers/appManager.h"
#include "imaging/viewers/isViewer.h"
#include "toolkit/foundation/NSNotifyIds.h"

using namespace isImageSDK;

namespace {

constexpr int D = kCellKindOfData;

struct Cell {
  int kind;
  float x, y, w, h;
  bool linked = true;
  int data = 0;
  int gridRows = 0, gridColumns = 0, gridCommand = 0;
};

std::string describe(const LayoutCell& c) {
  char text[200];
  std::snprintf(text, sizeof text, "#%d kind %d (%g, %g, %g, %g) %s data %d grid %dx%d/%d", c.order, c.kind,
                c.rect.origin.x, c.rect.origin.y, c.rect.size.width, c.rect.size.height,
                c.linked ? "linked" : "unlinked", c.data, c.gridRows, c.gridColumns, c.gridCommand);
  return text;
}

void expectCells(const std::vector<LayoutCell>& got, const std::vector<Cell>& want, const std::string& what) {
  ASSERT_EQ(got.size(), want.size()) << what;
  for (size_t i = 0; i < want.size(); ++i) {
    const LayoutCell& g = got[i];
    const Cell& w = want[i];
    const std::string where = what + ", cell " + std::to_string(i) + ": " + describe(g);
    EXPECT_EQ(g.order, static_cast<int>(i)) << where;
    EXPECT_EQ(g.kind, w.kind) << where;
    EXPECT_NEAR(g.rect.origin.x, w.x, 1e-3) << where;
    EXPECT_NEAR(g.rect.origin.y, w.y, 1e-3) << where;
    EXPECT_NEAR(g.rect.size.width, w.w, 1e-3) << where;
    EXPECT_NEAR(g.rect.size.height, w.h, 1e-3) << where;
    EXPECT_EQ(g.linked, w.linked) << where;
    EXPECT_EQ(g.data, w.data) << where;
    EXPECT_EQ(g.gridRows, w.gridRows) << where;
    EXPECT_EQ(g.gridColumns, w.gridColumns) << where;
    EXPECT_EQ(g.gridCommand, w.gridCommand) << where;
  }
}

Cell split(Cell c, int rows, int columns, int command) {
  c.gridRows = rows;
  c.gridColumns = columns;
  c.gridCommand = command;
  return c;
}

}  // namespace

TEST(Layouts, IdsAndNamesAreExact) {
  const std::vector<std::pair<std::string, int>> cases = {
      {"2dview", 1},   {"browser2d", 2}, {"mpr3d", 3},     {"mpr", 4},      {"mpr2", 5},
      {"2dslice", 6},  {"compare2d", 7}, {"compare4d", 8}, {"", 0},         {"MPR2", 0},
      {"Mpr", 0},      {"2DVIEW", 0},    {"compare4D", 0}, {"mpr ", 0},     {" mpr", 0},
      {"mpr3", 0},     {"browser", 0},   {"1", 0},         {std::string("mpr\0x", 5), 0}};
  for (const auto& [name, id] : cases) EXPECT_EQ(appManager::getLayoutId(name), id) << '"' << name << '"';
  for (int id = 1; id <= kLayoutCount; ++id) EXPECT_EQ(appManager::getLayoutId(layoutName(id)), id);
  EXPECT_STREQ(layoutName(0), "");
  EXPECT_STREQ(layoutName(9), "");
  EXPECT_STREQ(layoutName(-1), "");
}

TEST(Layouts, CellsOfEveryLayout) {
  const int X = NOTIFY_LAYOUT_2X2, R = NOTIFY_LAYOUT_2X1;
  const bool U = false;  // unlinked
  struct Case {
    int id;
    float W, H;
    int n;
    std::vector<Cell> cells;
  };
  const float w5 = (1000.0f - 8) / 3;  // 330.67
  const std::vector<Case> cases = {
      // 1000 × 800
      {1, 1000, 800, 1, {{D, 0, 0, 1000, 800}}},
      {2, 1000, 800, 1, {split({D, 0, 0, 1000, 800}, 2, 2, X)}},
      {3, 1000, 800, 1, {{1, 0, 402, 498, 398}, {3, 502, 402, 498, 398}, {5, 502, 0, 498, 398}, {2, 0, 0, 498, 398}}},
      {4, 1000, 800, 1, {{1, 0, 402, 498, 398}, {2, 0, 0, 498, 398}, {3, 502, 0, 498, 800}}},
      {5, 1000, 800, 1, {split({1, 0, 0, w5, 800}, 2, 1, R), {2, w5 + 2, 0, w5, 800}, {3, 1000 - w5, 0, w5, 800}}},
      {6, 1000, 800, 1, {{0, 0, 0, 1000, 800}}},
      {7, 1000, 800, 1, {{D, 0, 0, 499, 800, U}, {D, 501, 0, 499, 800, U}}},
      {7, 1000, 800, 2, {{D, 0, 0, 499, 800}, {D, 501, 0, 499, 800, true, 1}}},
      {8, 1000, 800, 4, {{D, 0, 401, 499, 399, true, 0}, {D, 501, 401, 499, 399, true, 1},
                         {D, 0, 0, 499, 399, true, 2}, {D, 501, 0, 499, 399, true, 3}}},
      // 908 × 600
      {1, 908, 600, 1, {{D, 0, 0, 908, 600}}},
      {2, 908, 600, 1, {split({D, 0, 0, 908, 600}, 2, 2, X)}},
      {3, 908, 600, 1, {{1, 0, 302, 452, 298}, {3, 456, 302, 452, 298}, {5, 456, 0, 452, 298}, {2, 0, 0, 452, 298}}},
      {4, 908, 600, 1, {{1, 0, 302, 452, 298}, {2, 0, 0, 452, 298}, {3, 456, 0, 452, 600}}},
      {5, 908, 600, 1, {split({1, 0, 0, 300, 600}, 2, 1, R), {2, 302, 0, 300, 600}, {3, 608, 0, 300, 600}}},
      {6, 908, 600, 1, {{0, 0, 0, 908, 600}}},
      {7, 908, 600, 1, {{D, 0, 0, 453, 600, U}, {D, 455, 0, 453, 600, U}}},
      {8, 908, 600, 4, {{D, 0, 301, 453, 299, true, 0}, {D, 455, 301, 453, 299, true, 1},
                        {D, 0, 0, 453, 299, true, 2}, {D, 455, 0, 453, 299, true, 3}}},
      // 1280 × 720
      {1, 1280, 720, 1, {{D, 0, 0, 1280, 720}}},
      {2, 1280, 720, 1, {split({D, 0, 0, 1280, 720}, 2, 2, X)}},
      {3, 1280, 720, 1, {{1, 0, 362, 638, 358}, {3, 642, 362, 638, 358}, {5, 642, 0, 638, 358}, {2, 0, 0, 638, 358}}},
      {4, 1280, 720, 1, {{1, 0, 362, 638, 358}, {2, 0, 0, 638, 358}, {3, 642, 0, 638, 720}}},
      {5, 1280, 720, 1, {split({1, 0, 0, 424, 720}, 2, 1, R), {2, 426, 0, 424, 720}, {3, 856, 0, 424, 720}}},
      {6, 1280, 720, 1, {{0, 0, 0, 1280, 720}}},
      {7, 1280, 720, 1, {{D, 0, 0, 639, 720, U}, {D, 641, 0, 639, 720, U}}},
      {8, 1280, 720, 4, {{D, 0, 361, 639, 359, true, 0}, {D, 641, 361, 639, 359, true, 1},
                         {D, 0, 0, 639, 359, true, 2}, {D, 641, 0, 639, 359, true, 3}}},
      // A tall view stacks one series compared with itself.
      {7, 600, 1200, 1, {{D, 0, 601, 600, 599, U}, {D, 0, 0, 600, 599, U}}},
      // Five series: 3 columns × 2 rows, the last column flush right.
      {7, 1200, 600, 5, {{D, 0, 301, 398, 299, true, 0}, {D, 400, 301, 398, 299, true, 1},
                         {D, 802, 301, 398, 299, true, 2}, {D, 0, 0, 398, 299, true, 3},
                         {D, 400, 0, 398, 299, true, 4}}},
      // Twelve phases of one 4-D series: 4 × 3, every cell linked.
      {8, 1000, 800, 12, {{D, 0, 535, 248, 265, true, 0},   {D, 250, 535, 248, 265, true, 1},
                          {D, 500, 535, 248, 265, true, 2}, {D, 752, 535, 248, 265, true, 3},
                          {D, 0, 267, 248, 265, true, 4},   {D, 250, 267, 248, 265, true, 5},
                          {D, 500, 267, 248, 265, true, 6}, {D, 752, 267, 248, 265, true, 7},
                          {D, 0, 0, 248, 265, true, 8},     {D, 250, 0, 248, 265, true, 9},
                          {D, 500, 0, 248, 265, true, 10},  {D, 752, 0, 248, 265, true, 11}}},
      // Unknown ids add nothing.
      {0, 1000, 800, 1, {}},
      {9, 1000, 800, 1, {}},
  };
  for (const Case& c : cases) {
    const std::string what = "layout " + std::to_string(c.id) + " in " + std::to_string(int(c.W)) + " x " +
                             std::to_string(int(c.H)) + " with " + std::to_string(c.n) + " data";
    expectCells(layoutCells(c.id, c.W, c.H, c.n), c.cells, what);
  }
}

TEST(Layouts, AspectFittedGrid) {
  struct Shape {
    int columns, rows, w, h;
  };
  struct Case {
    float W, H;
    std::vector<Shape> byCount;  // n = 0, 1, 2, ...
  };
  const std::vector<Case> cases = {
      {1200, 600, {{0, 0, 0, 0},       {1, 1, 1200, 600},  {2, 1, 599, 600},   {3, 1, 398, 600},
                   {2, 2, 599, 299},   {3, 2, 398, 299},   {3, 2, 398, 299},   {4, 2, 298, 299},
                   {4, 2, 298, 299},   {3, 3, 398, 198},   {5, 2, 238, 299},   {5, 3, 238, 198},
                   {5, 3, 238, 198},   {5, 3, 238, 198},   {5, 3, 238, 198},   {5, 3, 238, 198},
                   {6, 3, 198, 198},   {6, 3, 198, 198},   {6, 3, 198, 198},   {7, 3, 169, 198},
                   {7, 3, 169, 198}}},
      {600, 1200, {{0, 0, 0, 0},       {1, 1, 600, 1200},  {1, 2, 600, 599},   {1, 3, 600, 398},
                   {2, 2, 299, 599},   {2, 3, 299, 398},   {2, 3, 299, 398},   {2, 4, 299, 298},
                   {2, 4, 299, 298},   {3, 3, 198, 398},   {3, 4, 198, 298},   {3, 4, 198, 298},
                   {3, 4, 198, 298},   {3, 5, 198, 238},   {3, 5, 198, 238},   {3, 5, 198, 238},
                   {3, 6, 198, 198},   {3, 6, 198, 198},   {3, 6, 198, 198},   {4, 5, 148, 238},
                   {4, 5, 148, 238}}},
      {800, 800, {{0, 0, 0, 0},        {1, 1, 800, 800},   {2, 1, 399, 800},   {3, 1, 265, 800},
                  {2, 2, 399, 399},    {3, 2, 265, 399},   {3, 2, 265, 399},   {3, 3, 265, 265},
                  {4, 2, 198, 399},    {3, 3, 265, 265},   {4, 3, 198, 265},   {4, 3, 198, 265},
                  {4, 3, 198, 265},    {4, 4, 198, 198},   {4, 4, 198, 198},   {4, 4, 198, 198},
                  {4, 4, 198, 198},    {5, 4, 158, 198},   {5, 4, 158, 198},   {5, 4, 158, 198},
                  {5, 4, 158, 198}}},
      // Views without area hold no grid at all.
      {0, 600, std::vector<Shape>(21, {0, 0, 0, 0})},
      {1200, 0, std::vector<Shape>(21, {0, 0, 0, 0})},
      {0.5f, 600, std::vector<Shape>(21, {0, 0, 0, 0})},
      // A very wide view: the first columns round to no row at all; each
      // still gets one, so five series take five columns, none left empty.
      {1200, 100, {{0, 0, 0, 0}, {1, 1, 1200, 100}, {2, 1, 599, 100}, {3, 1, 398, 100}, {2, 2, 599, 49},
                   {5, 1, 238, 100}}},
  };
  for (const Case& c : cases) {
    for (size_t n = 0; n < c.byCount.size(); ++n) {
      const Shape& want = c.byCount[n];
      const CompareGrid got = compareGrid(static_cast<int>(n), c.W, c.H);
      const std::string what = std::to_string(n) + " cells in " + std::to_string(c.W) + " x " + std::to_string(c.H);
      EXPECT_EQ(got.columns, want.columns) << what;
      EXPECT_EQ(got.rows, want.rows) << what;
      EXPECT_EQ(got.cellWidth, want.w) << what;
      EXPECT_EQ(got.cellHeight, want.h) << what;

      // The compare layouts place exactly the grid's cells: inside the view,
      // apart from each other, row by row from the top left.
      const std::vector<LayoutCell> cells = layoutCells(LAYOUT_COMPARE4D, c.W, c.H, static_cast<int>(n));
      ASSERT_EQ(cells.size(), want.columns ? n : size_t{0}) << what;
      for (size_t k = 0; k < cells.size(); ++k) {
        const cocos2d::Rect& r = cells[k].rect;
        EXPECT_EQ(r.size.width, want.w) << what << ", cell " << k;
        EXPECT_EQ(r.size.height, want.h) << what << ", cell " << k;
        EXPECT_GE(r.getMinX(), 0) << what << ", cell " << k;
        EXPECT_GE(r.getMinY(), 0) << what << ", cell " << k;
        EXPECT_LE(r.getMaxX(), c.W) << what << ", cell " << k;
        EXPECT_LE(r.getMaxY(), c.H) << what << ", cell " << k;
        for (size_t j = 0; j < k; ++j) {
          const cocos2d::Rect& q = cells[j].rect;
          const bool apart = q.getMaxX() + 2 <= r.getMinX() || r.getMaxX() + 2 <= q.getMinX() ||
                             q.getMaxY() + 2 <= r.getMinY() || r.getMaxY() + 2 <= q.getMinY();
          EXPECT_TRUE(apart) << what << ", cells " << j << " and " << k;
          // A later cell is never above an earlier one, nor left of it in
          // the same row.
          EXPECT_TRUE(r.getMaxY() < q.getMaxY() || (r.getMaxY() == q.getMaxY() && r.getMinX() > q.getMinX()))
              << what << ", cells " << j << " and " << k;
        }
      }
    }
  }
}

TEST(Layouts, ViewsWithoutAreaOrDataGetNoCells) {
  for (int id = 0; id <= kLayoutCount + 1; ++id) {
    for (int n : {0, 1, 2, 5, 20}) {
      EXPECT_TRUE(layoutCells(id, 0, 600, n).empty()) << "layout " << id << ", " << n << " data, 0 x 600";
      EXPECT_TRUE(layoutCells(id, 1200, 0, n).empty()) << "layout " << id << ", " << n << " data, 1200 x 0";
      EXPECT_TRUE(layoutCells(id, -10, -10, n).empty()) << "layout " << id << ", " << n << " data, -10 x -10";
      EXPECT_TRUE(layoutCells(id, NAN, 600, n).empty()) << "layout " << id << ", " << n << " data, NaN x 600";
    }
    EXPECT_TRUE(layoutCells(id, 1000, 800, 0).empty()) << "layout " << id << " without data";
  }
}

TEST(Layouts, TinyViewsKeepCellsOfAtLeastOneUnit) {
  for (int id = 1; id <= kLayoutCount; ++id) {
    for (float side : {1.0f, 3.0f, 7.0f}) {
      for (int n : {1, 2, 5, 40}) {
        const std::vector<LayoutCell> cells = layoutCells(id, side, side, n);
        EXPECT_FALSE(cells.empty()) << "layout " << id << " in " << side << " x " << side;
        for (const LayoutCell& cell : cells) {
          EXPECT_GE(cell.rect.size.width, 1.0f) << "layout " << id << " in " << side << ": " << describe(cell);
          EXPECT_GE(cell.rect.size.height, 1.0f) << "layout " << id << " in " << side << ": " << describe(cell);
        }
      }
    }
  }
}

namespace {

// Rows along `row`, columns along `column`, the normal their cross product.
cocos2d::Mat4 planeMatrix(const cocos2d::Vec3& row, const cocos2d::Vec3& column) {
  cocos2d::Vec3 normal;
  cocos2d::Vec3::cross(row, column, &normal);
  cocos2d::Mat4 m;
  const cocos2d::Vec3 axes[3] = {row, column, normal};
  for (int i = 0; i < 3; ++i) {
    m.m[4 * i] = axes[i].x;
    m.m[4 * i + 1] = axes[i].y;
    m.m[4 * i + 2] = axes[i].z;
  }
  return m;
}

const cocos2d::Mat4 kAxial = planeMatrix({1, 0, 0}, {0, 0, 1});
const cocos2d::Mat4 kCoronal = planeMatrix({1, 0, 0}, {0, 1, 0});

isImageData* makeVolume(const cocos2d::Mat4& m = kAxial) {
  isImageData* image = isImageData::create();
  const int32_t d[3] = {4, 4, 3};
  const float s[3] = {1.0f, 1.0f, 2.0f};
  image->buildVolume(d, s, ELEMENT_INT16, 0, 0, m);
  return image;
}

}  // namespace

TEST(Layouts, SliceOrientationClass) {
  struct Case {
    const char* what;
    cocos2d::Vec3 row, column;
    int positionCode = POSITION_SUPINE, feetFirstCode = HEAD_FIRST;
    int kind;
  };
  // The display frame: x right to left of the patient, y head to foot, z
  // front to back.
  const std::vector<Case> cases = {
      {"axial", {1, 0, 0}, {0, 0, 1}, POSITION_SUPINE, HEAD_FIRST, 1},
      {"axial, feet first prone", {1, 0, 0}, {0, 0, 1}, 1, 1, 1},
      {"axial, rows flipped", {-1, 0, 0}, {0, 0, -1}, POSITION_SUPINE, HEAD_FIRST, 1},
      {"sagittal", {0, 0, 1}, {0, 1, 0}, POSITION_SUPINE, HEAD_FIRST, 2},
      {"coronal", {1, 0, 0}, {0, 1, 0}, POSITION_SUPINE, HEAD_FIRST, 3},
      {"coronal turned a quarter", {0, 1, 0}, {-1, 0, 0}, POSITION_SUPINE, HEAD_FIRST, 3},
      {"oblique, both edges along the same axis", {0.6f, 0.5657f, 0.5657f}, {0.8f, -0.4243f, -0.4243f},
       POSITION_SUPINE, HEAD_FIRST, 0},
      {"no geometry", {0, 0, 0}, {0, 0, 0}, POSITION_SUPINE, HEAD_FIRST, 0},
  };
  for (const Case& c : cases) {
    SliceRecord slice;
    slice.matrix = planeMatrix(c.row, c.column);
    slice.positionCode = c.positionCode;
    slice.feetFirstCode = c.feetFirstCode;
    EXPECT_EQ(appManager::getSliceOrientation(&slice), c.kind) << c.what;
  }
  EXPECT_EQ(appManager::getSliceOrientation(nullptr), 0);
}

namespace {

// A 4-D set of `phases` volumes; the caller releases every frame.
std::vector<isImageData*> makeFrameSet(int phases) {
  std::vector<isImageData*> frames;
  for (int i = 0; i < phases; ++i) frames.push_back(makeVolume());
  EXPECT_EQ(isImageData::createFrameSet(frames), frames[0]);
  return frames;
}

void releaseAll(const std::vector<isImageData*>& images) {
  for (isImageData* image : images) image->release();
}

}  // namespace

TEST(Layouts, KindOfADataCell) {
  isImageData* axialVolume = makeVolume(kAxial);
  isImageData* coronalVolume = makeVolume(kCoronal);
  isImageData* coronalImage = isImageData::create();
  const int32_t size[2] = {4, 4};
  const float spacing[2] = {1, 1};
  coronalImage->addSlice(size, 1, spacing, ELEMENT_INT16, 0, 0, kCoronal);
  isImageData* empty = isImageData::create();
  struct Case {
    const char* what;
    isImageData* data;
    int single, compare;  // kind in "2dview"/"browser2d", in the compare layouts
  };
  const std::vector<Case> cases = {
      {"axial volume", axialVolume, 1, 1},
      {"coronal volume", coronalVolume, 3, 3},
      {"a single coronal image", coronalImage, 3, 0},
      {"no slices", empty, 0, 0},
      {"no data", nullptr, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(dataCellKind(LAYOUT_2DVIEW, c.data), c.single) << c.what;
    EXPECT_EQ(dataCellKind(LAYOUT_BROWSER2D, c.data), c.single) << c.what;
    EXPECT_EQ(dataCellKind(LAYOUT_COMPARE2D, c.data), c.compare) << c.what;
    EXPECT_EQ(dataCellKind(LAYOUT_COMPARE4D, c.data), c.compare) << c.what;
  }
  releaseAll({axialVolume, coronalVolume, coronalImage, empty});
}

TEST(Layouts, PhaseQuestions) {
  std::vector<isImageData*> frames = makeFrameSet(5);
  isImageData* set = frames[0];
  isImageData* plain = makeVolume();

  // Phase mode on, stepping through the set.
  setPhaseModeOfSet(set, true);
  for (int p = 0; p < 5; ++p) {
    set->currentFrame = p;
    EXPECT_EQ(phaseIndexOf({set}), p);
    EXPECT_EQ(hasNextPhaseIn({set}), p < 4) << "at phase " << p;
    // A later frame of the set answers for the set.
    EXPECT_EQ(phaseIndexOf({frames[2]}), p);
  }

  // Phase mode off: index 0, and the next phase is always there.
  set->currentFrame = 4;
  setPhaseModeOfSet(set, false);
  for (isImageData* frame : frames) EXPECT_FALSE(frame->frameLinked);
  EXPECT_EQ(phaseIndexOf({set}), 0);
  EXPECT_TRUE(hasNextPhaseIn({set}));

  // Not exactly one data of a 4-D set.
  EXPECT_EQ(phaseIndexOf({set, frames[1]}), -1);
  EXPECT_FALSE(hasNextPhaseIn({set, frames[1]}));
  EXPECT_EQ(phaseIndexOf({plain}), -1);
  EXPECT_FALSE(hasNextPhaseIn({plain}));
  EXPECT_EQ(phaseIndexOf({}), -1);
  EXPECT_FALSE(hasNextPhaseIn({}));
  EXPECT_EQ(phaseIndexOf({nullptr}), -1);

  plain->release();
  releaseAll(frames);
}

TEST(Layouts, CompareFourDimensionalEntries) {
  std::vector<isImageData*> first = makeFrameSet(3);
  std::vector<isImageData*> second = makeFrameSet(2);
  isImageData* plain = makeVolume();

  setPhaseModeOfSet(first[0], true);
  setPhaseModeOfSet(second[0], true);
  EXPECT_EQ(compare4DEntries({first[0]}), first) << "every frame of the set, in frame order";
  EXPECT_EQ(compare4DEntries({first[1]}), first) << "from any frame of the set";
  EXPECT_EQ(compare4DEntries({first[0], second[0]}),
            (std::vector<isImageData*>{first[0], first[1], first[2], second[0], second[1]}));

  // A data whose phase mode is off stands for itself.
  second[0]->frameLinked = false;
  EXPECT_EQ(compare4DEntries({first[0], second[0]}),
            (std::vector<isImageData*>{first[0], first[1], first[2], second[0]}));

  // Any data outside a 4-D set empties the list.
  EXPECT_TRUE(compare4DEntries({first[0], plain}).empty());
  EXPECT_TRUE(compare4DEntries({plain}).empty());
  EXPECT_TRUE(compare4DEntries({nullptr}).empty());
  EXPECT_TRUE(compare4DEntries({}).empty());

  plain->release();
  releaseAll(first);
  releaseAll(second);
}
