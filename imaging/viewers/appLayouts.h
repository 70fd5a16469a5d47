// The eight layouts of the multi-view as pure geometry: for a layout id, the
// size of the multi-view and the number of data it shows, the ordered list of
// cells the layout adds (view kind, rectangle, link flag, which data, and the
// grid the cell is split into right after it is added). The layout manager
// applies these lists to the multi-view; the layout icon tool draws them, so
// an icon cannot disagree with its layout.
//
// Rectangles are (x, y, width, height) in the multi-view's coordinates with
// y upward. The fixed layouts work in floats; the compare layouts place
// their cells on an integer grid fitted to the view's aspect.
//
// The phase helpers below answer the layout manager's questions about a
// 4-D series (a chain of volumes, one per phase).
#pragma once

#include <string>
#include <vector>

#include "engine/math/Geometry.h"

namespace isImageSDK {

class isImageData;

enum LayoutId : int {
  LAYOUT_NONE = 0,
  LAYOUT_2DVIEW = 1,     // "2dview": one cell in the acquired orientation
  LAYOUT_BROWSER2D = 2,  // "browser2d": that cell split 2 × 2
  LAYOUT_MPR3D = 3,      // "mpr3d": axial, coronal, volume, sagittal in quarters
  LAYOUT_MPR = 4,        // "mpr": axial over sagittal, coronal on the right half
  LAYOUT_MPR2 = 5,       // "mpr2": axial (2 rows), sagittal, coronal in columns
  LAYOUT_2DSLICE = 6,    // "2dslice": one acquired-slice cell
  LAYOUT_COMPARE2D = 7,  // "compare2d": one cell per data
  LAYOUT_COMPARE4D = 8,  // "compare4d": one cell per frame of each 4-D series
};
constexpr int kLayoutCount = 8;

// The name of a layout id; "" for 0 and any id outside 1-8.
const char* layoutName(int id);
// The id of a layout name by exact, case-sensitive comparison; 0 for any
// other name, "" included.
int layoutIdOf(const std::string& name);

// A cell whose kind follows its data: a volume takes the orientation class
// of its first slice (axial, sagittal, coronal, or acquired slice when none
// fits), other data the acquired-slice kind.
constexpr int kCellKindOfData = -1;

struct LayoutCell {
  int kind = kCellKindOfData;  // ViewKind, or kCellKindOfData
  cocos2d::Rect rect;
  bool linked = true;
  int order = 0;  // place in the order of adding, from 0
  // Which data the cell shows: an index into the layout's data list (for
  // "compare4d", into its list of frames).
  int data = 0;
  // Right after the cell is added (it then has the focus) it is split into
  // this grid by `gridCommand` sent to the multi-view; 0 when it keeps its
  // own single viewer.
  int gridRows = 0;
  int gridColumns = 0;
  int gridCommand = 0;
};

// The aspect-fitted grid of the compare layouts for n cells in a W × H view.
struct CompareGrid {
  int columns = 0;
  int rows = 0;
  int cellWidth = 0;
  int cellHeight = 0;
};

// No cells (all zero) for n < 1 or a view narrower or lower than 1. Otherwise
// columns and rows are at least 1 and hold n cells with the fewest rows, the
// shape following the aspect H / W (with fixed shapes for 1-4, 6, 8 and 9
// cells), and each cell is at least 1 × 1 with 2-unit gaps between cells.
CompareGrid compareGrid(int n, float W, float H);
// Cell k of the grid, row by row from the top left; the last column and the
// top row are aligned with the view's right and top edges.
cocos2d::Rect compareCellRect(const CompareGrid& grid, int k, float W, float H);

// The cells of layout `id` in a W × H view showing `n` data (for
// "compare4d", n frames), in the order of adding. Empty for n < 1, for a view
// narrower or lower than 1, and for ids outside 1-8. Cell sizes are at least
// 1. "compare2d" with a single data shows it twice, unlinked.
std::vector<LayoutCell> layoutCells(int id, float W, float H, int n);

// The view kind a kCellKindOfData cell takes for its data in layout
// `layoutId`, bringing the data up to date first. "2dview" and "browser2d"
// take the orientation class of the first slice whatever the data (a
// multi-view adds no oriented cell for data that is not a volume); the
// compare layouts take it for a volume and the acquired-slice kind for
// other data. 0 for null data and for data without slices.
int dataCellKind(int layoutId, isImageData* data);

// --- 4-D series ---

// Whether the data belongs to a 4-D set (its first frame carries the
// multi-frame flag).
bool belongsToFrameSet(const isImageData* data);
// Switches the phase mode (`frameLinked`) of the data and, for data of a
// 4-D set, of every frame of its set.
void setPhaseModeOfSet(isImageData* data, bool on);
// The entries of "compare4d" for a data list: for each data of a 4-D set,
// every frame of its set in frame order when its phase mode is on, else the
// data itself. Empty when any data is not part of a 4-D set.
std::vector<isImageData*> compare4DEntries(const std::vector<isImageData*>& list);
// −1 unless the list holds exactly one data of a 4-D set; then the current
// frame index of its set when its phase mode is on, else 0.
int phaseIndexOf(const std::vector<isImageData*>& list);
// False unless the list holds exactly one data of a 4-D set; then true when
// its phase mode is off, else whether its set has a frame after the current
// one.
bool hasNextPhaseIn(const std::vector<isImageData*>& list);

}  // namespace isImageSDK
