// Region statistics and the pixel probe of the image actor: the pixel under
// a world point, and the area, extent and pixel statistics of a circle or a
// polygon drawn on the displayed slice.
//
// Pixel (column c, row r) has its centre at (c·sx, r·sy) in slice-local
// millimetres. Regions are scanned as row spans: a circle's span comes from
// the square root and is then settled with the exact per-pixel test; a
// polygon's spans come from the crossings of the row with its edges, using
// the same half-open rule and the same crossing formula as pointInPolygon,
// so both select the same pixels. The deviation is a second pass over the
// spans, so no value buffer is needed.
#include <algorithm>
#include <cmath>
#include <vector>

#include "imaging/view/isActorImage.h"
#include "imaging/view/isROIData.h"
#include "toolkit/foundation/NSFormat.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace isImageSDK {

namespace {

struct Span {
  int row;
  int c0;
  int c1;  // inclusive
};

// The x where the edge from j to i crosses the line y; shared by the
// per-pixel test and the row scan.
inline double crossingX(const cocos2d::Vec2& pi, const cocos2d::Vec2& pj, double y) {
  return (static_cast<double>(pj.x) - pi.x) * (y - pi.y) / (static_cast<double>(pj.y) - pi.y) + pi.x;
}

inline bool edgeSpansRow(const cocos2d::Vec2& pi, const cocos2d::Vec2& pj, double y) {
  const double lo = std::min(pi.y, pj.y);
  const double hi = std::max(pi.y, pj.y);
  return y >= lo && y < hi;
}

template <class T>
isActorImage::RegionStatistics statisticsOver(const T* pixels, int w, const std::vector<Span>& spans) {
  isActorImage::RegionStatistics s;
  double sum = 0.0;
  int64_t n = 0;
  float lo = 0.0f;
  float hi = 0.0f;
  for (const Span& span : spans) {
    const T* row = pixels + static_cast<size_t>(span.row) * static_cast<size_t>(w);
    for (int c = span.c0; c <= span.c1; ++c) {
      const float v = static_cast<float>(row[c]);
      if (n == 0) {
        lo = hi = v;
      } else {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
      }
      sum += v;
      ++n;
    }
  }
  if (n == 0) return s;
  const double mean = sum / static_cast<double>(n);
  double squares = 0.0;
  if (n > 1) {
    for (const Span& span : spans) {
      const T* row = pixels + static_cast<size_t>(span.row) * static_cast<size_t>(w);
      for (int c = span.c0; c <= span.c1; ++c) {
        const double d = static_cast<double>(row[c]) - mean;
        squares += d * d;
      }
    }
  }
  s.min = lo;
  s.max = hi;
  s.sum = static_cast<float>(sum);
  s.mean = static_cast<float>(mean);
  s.deviation = n > 1 ? static_cast<float>(std::sqrt(squares / static_cast<double>(n - 1))) : 0.0f;
  s.count = n;
  return s;
}

std::vector<Span> circleSpans(int w, int h, float sx, float sy, float cx, float cy, float radius) {
  std::vector<Span> spans;
  if (w <= 0 || h <= 0 || !(sx > 0.0f) || !(sy > 0.0f) || !(radius >= 0.0f)) return spans;
  const double r2 = static_cast<double>(radius) * radius;
  auto inside = [&](int c, double dy2) {
    const double dx = static_cast<double>(c) * sx - cx;
    return dx * dx + dy2 <= r2;
  };
  const int r0 = std::max(0, static_cast<int>(std::floor((static_cast<double>(cy) - radius) / sy)));
  const int r1 = std::min(h - 1, static_cast<int>(std::floor((static_cast<double>(cy) + radius) / sy)) + 1);
  for (int r = r0; r <= r1; ++r) {
    const double dy = static_cast<double>(r) * sy - cy;
    const double dy2 = dy * dy;
    if (dy2 > r2) continue;
    const double half = std::sqrt(r2 - dy2);
    int c0 = static_cast<int>(std::ceil((cx - half) / sx));
    int c1 = static_cast<int>(std::floor((cx + half) / sx));
    // Settle the ends with the exact test.
    while (inside(c0 - 1, dy2)) --c0;
    while (c0 <= c1 && !inside(c0, dy2)) ++c0;
    while (inside(c1 + 1, dy2)) ++c1;
    while (c1 >= c0 && !inside(c1, dy2)) --c1;
    c0 = std::max(c0, 0);
    c1 = std::min(c1, w - 1);
    if (c0 <= c1) spans.push_back({r, c0, c1});
  }
  return spans;
}

std::vector<Span> polygonSpans(int w, int h, const cocos2d::Vec2* p, int n) {
  std::vector<Span> spans;
  if (w <= 0 || h <= 0 || !p || n < 1) return spans;
  float minX = p[0].x, maxX = p[0].x, minY = p[0].y, maxY = p[0].y;
  for (int i = 1; i < n; ++i) {
    minX = std::min(minX, p[i].x);
    maxX = std::max(maxX, p[i].x);
    minY = std::min(minY, p[i].y);
    maxY = std::max(maxY, p[i].y);
  }
  if (!std::isfinite(minX) || !std::isfinite(maxX) || !std::isfinite(minY) || !std::isfinite(maxY)) return spans;
  const int colFirst = std::max(0, static_cast<int>(std::floor(minX)));
  const int colLast = std::min(w - 1, static_cast<int>(std::floor(maxX)));
  const int rowFirst = std::max(0, static_cast<int>(std::floor(minY)));
  const int rowLast = std::min(h - 1, static_cast<int>(std::floor(maxY)));
  if (colFirst > colLast) return spans;
  std::vector<double> xs;
  for (int r = rowFirst; r <= rowLast; ++r) {
    const double y = r;
    xs.clear();
    for (int i = 0, j = n - 1; i < n; j = i++) {
      if (edgeSpansRow(p[i], p[j], y)) xs.push_back(crossingX(p[i], p[j], y));
    }
    if (xs.empty()) continue;
    std::sort(xs.begin(), xs.end());
    const int k = static_cast<int>(xs.size());
    // Pixel c is inside when an odd number of crossings lie strictly to its
    // right: with m crossings at or left of c, when k − m is odd.
    for (int m = 0; m <= k; ++m) {
      if (((k - m) & 1) == 0) continue;
      // c ≥ xs[m−1] and c < xs[m].
      double lo = m == 0 ? -1e18 : std::ceil(xs[static_cast<size_t>(m - 1)]);
      double hi = m == k ? 1e18 : std::ceil(xs[static_cast<size_t>(m)]) - 1.0;
      lo = std::max(lo, static_cast<double>(colFirst));
      hi = std::min(hi, static_cast<double>(colLast));
      if (lo <= hi) spans.push_back({r, static_cast<int>(lo), static_cast<int>(hi)});
    }
  }
  return spans;
}

// Slice-local millimetres of a world point.
cocos2d::Vec2 toSlice(const SliceRecord& record, const cocos2d::Vec3& world) {
  cocos2d::Mat4 inverse = record.matrix.getInversed();
  cocos2d::Vec3 local;
  inverse.transformPoint(world, &local);
  return cocos2d::Vec2(local.x, local.y);
}

std::string num(float v) { return NSUI::formatFloat(v, 2); }

}  // namespace

// ---------------------------------------------------------------- geometry

float isActorImage::polygonArea(const cocos2d::Vec2* points, int n) {
  if (!points || n < 3) return 0.0f;
  double sum = 0.0;
  for (int i = 0; i < n; ++i) {
    const cocos2d::Vec2& a = points[i];
    const cocos2d::Vec2& b = points[(i + 1) % n];
    sum += static_cast<double>(a.x) * b.y - static_cast<double>(b.x) * a.y;
  }
  return static_cast<float>(std::fabs(sum) / 2.0);
}

bool isActorImage::pointInPolygon(const cocos2d::Vec2* points, int n, float x, float y) {
  if (!points || n < 1) return false;
  bool inside = false;
  for (int i = 0, j = n - 1; i < n; j = i++) {
    if (edgeSpansRow(points[i], points[j], y) && x < crossingX(points[i], points[j], y)) inside = !inside;
  }
  return inside;
}

#define FW_REGION_MEMBERS(T)                                                                                      \
  isActorImage::RegionStatistics isActorImage::circleStatistics(const T* pixels, int w, int h, float sx, float sy, \
                                                                float cx, float cy, float radius) {               \
    if (!pixels) return {};                                                                                       \
    return statisticsOver(pixels, w, circleSpans(w, h, sx, sy, cx, cy, radius));                                  \
  }                                                                                                               \
  isActorImage::RegionStatistics isActorImage::polygonStatistics(const T* pixels, int w, int h,                    \
                                                                 const cocos2d::Vec2* points, int n) {            \
    if (!pixels) return {};                                                                                       \
    return statisticsOver(pixels, w, polygonSpans(w, h, points, n));                                              \
  }

FW_REGION_MEMBERS(uint8_t)
FW_REGION_MEMBERS(uint16_t)
FW_REGION_MEMBERS(int16_t)
FW_REGION_MEMBERS(float)
#undef FW_REGION_MEMBERS

// ---------------------------------------------------------------- probe

bool isActorImage::getPixelValue(const cocos2d::Vec3& world, float* value) {
  SliceRecord* record = getOutputSlice();
  if (!record || !record->pixels || record->width <= 0 || record->height <= 0) return false;
  if (!(record->spacingX > 0.0f) || !(record->spacingY > 0.0f)) return false;
  const cocos2d::Vec2 local = toSlice(*record, world);
  const double fc = std::floor(static_cast<double>(local.x) / record->spacingX + 0.5);
  const double fr = std::floor(static_cast<double>(local.y) / record->spacingY + 0.5);
  if (!(fc >= 0.0 && fc < record->width && fr >= 0.0 && fr < record->height)) return false;
  const size_t index = static_cast<size_t>(fr) * static_cast<size_t>(record->width) + static_cast<size_t>(fc);
  float v = 0.0f;
  switch (record->elementType) {
    case ELEMENT_UINT8: v = static_cast<const uint8_t*>(record->pixels)[index]; break;
    case ELEMENT_UINT16: v = static_cast<const uint16_t*>(record->pixels)[index]; break;
    case ELEMENT_INT16: v = static_cast<const int16_t*>(record->pixels)[index]; break;
    case ELEMENT_FLOAT: v = static_cast<const float*>(record->pixels)[index]; break;
    default: return false;
  }
  if (value) *value = v;
  return true;
}

// ---------------------------------------------------------------- requests

void isActorImage::answerRegionRequest(NSUI::NSNotificationData* data) {
  if (!data || !imageData) return;
  auto* roi = dynamic_cast<ROIData*>(data->object);
  if (!roi) return;
  SliceRecord* record = getOutputSlice();
  if (!record || !record->pixels || record->elementType == ELEMENT_RGB) return;
  std::string text;
  if (roi->kind == ROI_KIND_POINT) {
    const cocos2d::Vec3 p = roi->getPoint(0);
    float v = 0.0f;
    if (getPixelValue(p, &v)) {
      text = "Value:" + num(v) + "\nx=" + num(p.x) + ",y=" + num(p.y) + ",z=" + num(p.z);
    } else {
      text = "Unknown";
    }
  } else if (roi->kind == ROI_KIND_CIRCLE || roi->kind == ROI_KIND_POLYGON) {
    const int w = record->width;
    const int h = record->height;
    const float sx = record->spacingX;
    const float sy = record->spacingY;
    if (!(sx > 0.0f) || !(sy > 0.0f)) return;
    const void* px = record->pixels;
    RegionStatistics s;
    float area = 0.0f, width = 0.0f, height = 0.0f;
    if (roi->kind == ROI_KIND_CIRCLE) {
      const cocos2d::Vec3 q = roi->getPoint(0);
      const float rho = q.distance(roi->getPoint(1));
      const cocos2d::Vec2 c = toSlice(*record, q);
      area = rho * rho * 3.1415926f;
      width = height = 2.0f * rho;
      switch (record->elementType) {
        case ELEMENT_UINT8: s = circleStatistics(static_cast<const uint8_t*>(px), w, h, sx, sy, c.x, c.y, rho); break;
        case ELEMENT_UINT16: s = circleStatistics(static_cast<const uint16_t*>(px), w, h, sx, sy, c.x, c.y, rho); break;
        case ELEMENT_INT16: s = circleStatistics(static_cast<const int16_t*>(px), w, h, sx, sy, c.x, c.y, rho); break;
        case ELEMENT_FLOAT: s = circleStatistics(static_cast<const float*>(px), w, h, sx, sy, c.x, c.y, rho); break;
        default: return;
      }
    } else {
      const int n = roi->getPointCount();
      std::vector<cocos2d::Vec2> local;
      local.reserve(static_cast<size_t>(std::max(n, 0)));
      for (int i = 0; i < n; ++i) local.push_back(toSlice(*record, roi->getPoint(i)));
      if (!local.empty()) {
        float minX = local[0].x, maxX = local[0].x, minY = local[0].y, maxY = local[0].y;
        for (const auto& v : local) {
          minX = std::min(minX, v.x);
          maxX = std::max(maxX, v.x);
          minY = std::min(minY, v.y);
          maxY = std::max(maxY, v.y);
        }
        width = maxX - minX;
        height = maxY - minY;
      }
      area = polygonArea(local.data(), n);
      std::vector<cocos2d::Vec2> pixelsUnits(local.size());
      for (size_t i = 0; i < local.size(); ++i) pixelsUnits[i] = cocos2d::Vec2(local[i].x / sx, local[i].y / sy);
      const cocos2d::Vec2* pu = pixelsUnits.data();
      switch (record->elementType) {
        case ELEMENT_UINT8: s = polygonStatistics(static_cast<const uint8_t*>(px), w, h, pu, n); break;
        case ELEMENT_UINT16: s = polygonStatistics(static_cast<const uint16_t*>(px), w, h, pu, n); break;
        case ELEMENT_INT16: s = polygonStatistics(static_cast<const int16_t*>(px), w, h, pu, n); break;
        case ELEMENT_FLOAT: s = polygonStatistics(static_cast<const float*>(px), w, h, pu, n); break;
        default: return;
      }
    }
    text = "Area:" + num(area * 0.01f) + ",W:" + num(width * 0.1f) + " H:" + num(height * 0.1f) +
           " Unit:cm\nAvg:" + num(s.mean) + ",StdDev:" + num(s.deviation) + ",Total:" + num(s.sum) +
           "\nMin:" + num(s.min) + ",Max:" + num(s.max);
  } else {
    return;
  }
  auto* answer = new NSUI::NSNotificationData();
  answer->intValue = data->intValue;
  answer->indexValue = data->indexValue;
  answer->text = text;
  if (auto* nc = NSUI::NSNotificationCenter::getInstance()) nc->postNotification(this, NOTIFY_ROI_INFO, answer, windowObject(), true);
  answer->release();
}

}  // namespace isImageSDK
