#include "imaging/viewers/appLayouts.h"

#include <algorithm>

#include "imaging/core/isImageData.h"
#include "imaging/viewers/appManager.h"
#include "imaging/viewers/isViewer.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace isImageSDK {

namespace {

const char* const kLayoutNames[kLayoutCount + 1] = {
    "", "2dview", "browser2d", "mpr3d", "mpr", "mpr2", "2dslice", "compare2d", "compare4d"};

LayoutCell makeCell(int kind, float x, float y, float w, float h, bool linked, int data) {
  LayoutCell cell;
  cell.kind = kind;
  cell.rect = cocos2d::Rect(x, y, std::max(w, 1.0f), std::max(h, 1.0f));
  cell.linked = linked;
  cell.data = data;
  return cell;
}

// The columns × rows of n cells (n ≥ 1) in a view of aspect a = H / W.
void fitGrid(int n, float a, int& columns, int& rows) {
  switch (n) {
    case 1: columns = 1; rows = 1; return;
    case 2: columns = a > 1.0f ? 1 : 2; rows = a > 1.0f ? 2 : 1; return;
    case 3: columns = a > 1.0f ? 1 : 3; rows = a > 1.0f ? 3 : 1; return;
    case 4: columns = 2; rows = 2; return;
    case 6: columns = a > 1.0f ? 2 : 3; rows = a > 1.0f ? 3 : 2; return;
    case 8: columns = a > 1.0f ? 2 : 4; rows = a > 1.0f ? 4 : 2; return;
    case 9: columns = 3; rows = 3; return;
    default: break;
  }
  // Widen one column at a time until the grid holds n cells, each time with
  // the rows that keep the cells near square. A row count above n is cut to
  // n (the trimming below would remove those rows anyway), which also keeps
  // the conversion in range; below 1 it becomes 1, so that a very wide view
  // stops at n columns instead of going on until a row fits.
  columns = 0;
  do {
    ++columns;
    const double fitted = static_cast<double>(columns * a + 0.5f);
    rows = fitted >= n ? n : std::max(1, static_cast<int>(fitted));
  } while (static_cast<long long>(rows) * columns < n);
  while (static_cast<long long>(rows - 1) * columns >= n) --rows;
}

}  // namespace

const char* layoutName(int id) {
  if (id < 1 || id > kLayoutCount) return "";
  return kLayoutNames[id];
}

int layoutIdOf(const std::string& name) {
  if (name.empty()) return LAYOUT_NONE;
  for (int id = 1; id <= kLayoutCount; ++id) {
    if (name == kLayoutNames[id]) return id;
  }
  return LAYOUT_NONE;
}

CompareGrid compareGrid(int n, float W, float H) {
  CompareGrid grid;
  // Also refuses NaN sizes.
  if (n < 1 || !(W >= 1.0f) || !(H >= 1.0f)) return grid;
  fitGrid(n, H / W, grid.columns, grid.rows);
  grid.cellWidth = std::max(1, static_cast<int>(W - (2 * grid.columns - 2)) / grid.columns);
  grid.cellHeight = std::max(1, static_cast<int>(H - (2 * grid.rows - 2)) / grid.rows);
  return grid;
}

cocos2d::Rect compareCellRect(const CompareGrid& grid, int k, float W, float H) {
  if (grid.columns < 1 || grid.rows < 1 || k < 0) return cocos2d::Rect();
  const int column = k % grid.columns;
  const int row = k / grid.columns;  // from the top
  const float w = static_cast<float>(grid.cellWidth);
  const float h = static_cast<float>(grid.cellHeight);
  const float x = column == grid.columns - 1 ? W - w : static_cast<float>(column * (grid.cellWidth + 2));
  const float y = row == 0 ? H - h : static_cast<float>((grid.rows - row - 1) * (grid.cellHeight + 2));
  return cocos2d::Rect(x, y, w, h);
}

std::vector<LayoutCell> layoutCells(int id, float W, float H, int n) {
  std::vector<LayoutCell> cells;
  if (n < 1 || !(W >= 1.0f) || !(H >= 1.0f)) return cells;
  switch (id) {
    case LAYOUT_2DVIEW:
      cells.push_back(makeCell(kCellKindOfData, 0, 0, W, H, true, 0));
      break;
    case LAYOUT_BROWSER2D: {
      LayoutCell cell = makeCell(kCellKindOfData, 0, 0, W, H, true, 0);
      cell.gridRows = 2;
      cell.gridColumns = 2;
      cell.gridCommand = NOTIFY_LAYOUT_2X2;
      cells.push_back(cell);
      break;
    }
    case LAYOUT_MPR3D: {
      const float w = W / 2 - 2, h = H / 2 - 2;
      cells.push_back(makeCell(VIEW_KIND_AXIAL, 0, H - h, w, h, true, 0));
      cells.push_back(makeCell(VIEW_KIND_CORONAL, W - w, H - h, w, h, true, 0));
      cells.push_back(makeCell(VIEW_KIND_VR, W - w, 0, w, h, true, 0));
      cells.push_back(makeCell(VIEW_KIND_SAGITTAL, 0, 0, w, h, true, 0));
      break;
    }
    case LAYOUT_MPR: {
      const float w = W / 2 - 2, h = H / 2 - 2;
      cells.push_back(makeCell(VIEW_KIND_AXIAL, 0, H - h, w, h, true, 0));
      cells.push_back(makeCell(VIEW_KIND_SAGITTAL, 0, 0, w, h, true, 0));
      cells.push_back(makeCell(VIEW_KIND_CORONAL, W - w, 0, w, H, true, 0));
      break;
    }
    case LAYOUT_MPR2: {
      const float w = (W - 8) / 3;
      LayoutCell axial = makeCell(VIEW_KIND_AXIAL, 0, 0, w, H, true, 0);
      axial.gridRows = 2;
      axial.gridColumns = 1;
      axial.gridCommand = NOTIFY_LAYOUT_2X1;
      cells.push_back(axial);
      cells.push_back(makeCell(VIEW_KIND_SAGITTAL, w + 2, 0, w, H, true, 0));
      cells.push_back(makeCell(VIEW_KIND_CORONAL, W - w, 0, w, H, true, 0));
      break;
    }
    case LAYOUT_2DSLICE:
      cells.push_back(makeCell(VIEW_KIND_SLICE, 0, 0, W, H, true, 0));
      break;
    case LAYOUT_COMPARE2D:
    case LAYOUT_COMPARE4D: {
      // A single series is compared with itself: shown twice, each cell on
      // its own.
      const bool twice = id == LAYOUT_COMPARE2D && n == 1;
      const int count = twice ? 2 : n;
      const CompareGrid grid = compareGrid(count, W, H);
      for (int k = 0; k < count; ++k) {
        const cocos2d::Rect r = compareCellRect(grid, k, W, H);
        cells.push_back(makeCell(kCellKindOfData, r.origin.x, r.origin.y, r.size.width, r.size.height, !twice,
                                 twice ? 0 : k));
      }
      break;
    }
    default:
      break;
  }
  for (size_t i = 0; i < cells.size(); ++i) cells[i].order = static_cast<int>(i);
  return cells;
}

int dataCellKind(int layoutId, isImageData* data) {
  if (!data) return VIEW_KIND_SLICE;
  const bool oriented = layoutId == LAYOUT_2DVIEW || layoutId == LAYOUT_BROWSER2D || data->isVolume();
  if (!oriented) return VIEW_KIND_SLICE;
  data->update();
  return appManager::getSliceOrientation(data->getSlice(0));
}

bool belongsToFrameSet(const isImageData* data) { return data && data->isMultiFrame(); }

void setPhaseModeOfSet(isImageData* data, bool on) {
  if (!data) return;
  data->frameLinked = on;
  if (!belongsToFrameSet(data)) return;
  isImageData* frame = data->firstFrame;
  for (int i = 0; frame && i < data->firstFrame->frameCount; ++i, frame = frame->nextFrame) {
    frame->frameLinked = on;
  }
}

std::vector<isImageData*> compare4DEntries(const std::vector<isImageData*>& list) {
  std::vector<isImageData*> entries;
  for (isImageData* data : list) {
    if (!belongsToFrameSet(data)) return {};
    if (!data->frameLinked) {
      entries.push_back(data);
      continue;
    }
    for (int i = 0; i < data->firstFrame->frameCount; ++i) {
      if (isImageData* frame = data->getFrame(i)) entries.push_back(frame);
    }
  }
  return entries;
}

int phaseIndexOf(const std::vector<isImageData*>& list) {
  if (list.size() != 1 || !belongsToFrameSet(list[0])) return -1;
  const isImageData* data = list[0];
  return data->frameLinked ? data->firstFrame->currentFrame : 0;
}

bool hasNextPhaseIn(const std::vector<isImageData*>& list) {
  if (list.size() != 1 || !belongsToFrameSet(list[0])) return false;
  isImageData* data = list[0];
  if (!data->frameLinked) return true;
  return data->getFrame(data->firstFrame->currentFrame + 1) != nullptr;
}

}  // namespace isImageSDK
