// Orthogonal plane extraction with slab projection.
//
// Every orientation reads each input slice once, row by row: the acquired
// orientation folds whole slices together, sagittal and coronal planes combine
// along x or y inside each slice and write one output column per slice. No
// per-pixel coordinate arithmetic and no heap allocation: the double
// accumulation of the mean and sum modes runs in fixed-size stack chunks.
#include "imaging/core/isResliceKernels.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

namespace isImageSDK {

double projectionSumLimit(int elementType)
{
    switch (elementType) {
    case 0: return 255.0;
    case 1: return 32767.0;
    case 2: return 3.35e38;
    case 3: return 65535.0;
    default: return 255.0;
    }
}

int slabSampleCountFor(double thickness, double spacing)
{
    if (!(spacing > 0.0) || !std::isfinite(spacing) || std::isnan(thickness))
        return 1;
    const double n = std::trunc(thickness / (spacing * 2.0));
    // Keep the count representable; a slab this wide is cut at the volume's
    // ends anyway.
    if (n < 0.0)
        return 1;
    if (n > 1.0e6)
        return 2000001;
    return 2 * int(n) + 1;
}

SlabRange slabRange(int index, int count, int planes)
{
    SlabRange r;
    r.first = index - (count < 2 ? 0 : count / 2);
    r.last = r.first + std::max(count, 1) - 1;
    r.first = std::clamp(r.first, 0, std::max(planes - 1, 0));
    if (r.last > planes - 1)
        r.last = planes - 1;
    if (r.last < r.first)
        r.last = r.first;
    return r;
}

namespace {

inline const void* sliceAt(const PlaneExtraction& a, int z)
{
    if (a.voxels)
        return static_cast<const unsigned char*>(a.voxels) +
               std::int64_t(z) * a.dimensions[0] * a.dimensions[1] * bytesPerSample(a.elementType);
    return a.slices[z];
}

// Stores an accumulated mean or sum: saturated to the type's range (the upper
// limit is the type's largest value; a signed sum below the smallest value
// stores the smallest), truncated toward zero for integer types.
template <typename T>
inline T storeAccumulated(double v)
{
    if constexpr (std::is_floating_point_v<T>) {
        v = std::min(v, 3.35e38);
        v = std::max(v, -3.35e38);
        return static_cast<T>(v);
    } else {
        constexpr double lo = double(std::numeric_limits<T>::lowest());
        constexpr double hi = double(std::numeric_limits<T>::max());
        v = v > lo ? v : lo;
        v = v < hi ? v : hi;
        return static_cast<T>(v);
    }
}

template <typename T>
inline T keepMin(T kept, T v) { return v < kept ? v : kept; }
template <typename T>
inline T keepMax(T kept, T v) { return v > kept ? v : kept; }

constexpr int kChunk = 1024;

template <typename T>
void finishChunk(const double* acc, int n, int mode, double scale, T* out)
{
    if (mode == PROJECTION_MEAN) {
        for (int j = 0; j < n; ++j)
            out[j] = storeAccumulated<T>(acc[j] * scale);
    } else {
        for (int j = 0; j < n; ++j)
            out[j] = storeAccumulated<T>(acc[j]);
    }
}

bool isMinOrMax(int mode) { return mode != PROJECTION_MEAN && mode != PROJECTION_SUM; }

// Acquired orientation: fold slices first..last element by element.
template <typename T>
void extractAxial(const PlaneExtraction& a, const SlabRange& r, T* out)
{
    const std::int64_t n = std::int64_t(a.dimensions[0]) * a.dimensions[1];
    const T* first = static_cast<const T*>(sliceAt(a, r.first));
    if (r.count() == 1) {
        std::memcpy(out, first, size_t(n) * sizeof(T));
        return;
    }
    const int mode = a.projectionMode;
    if (isMinOrMax(mode)) {
        std::memcpy(out, first, size_t(n) * sizeof(T));
        for (int s = r.first + 1; s <= r.last; ++s) {
            const T* src = static_cast<const T*>(sliceAt(a, s));
            if (mode == PROJECTION_MIN)
                for (std::int64_t j = 0; j < n; ++j) out[j] = keepMin(out[j], src[j]);
            else
                for (std::int64_t j = 0; j < n; ++j) out[j] = keepMax(out[j], src[j]);
        }
        return;
    }
    const double scale = 1.0 / double(r.count());
    double acc[kChunk];
    for (std::int64_t j0 = 0; j0 < n; j0 += kChunk) {
        const int m = int(std::min<std::int64_t>(kChunk, n - j0));
        for (int j = 0; j < m; ++j) acc[j] = double(first[j0 + j]);
        for (int s = r.first + 1; s <= r.last; ++s) {
            const T* src = static_cast<const T*>(sliceAt(a, s)) + j0;
            for (int j = 0; j < m; ++j) acc[j] += double(src[j]);
        }
        finishChunk(acc, m, mode, scale, out + j0);
    }
}

// Sagittal: output column z, row y combines x = dimX-1-first down to
// x = dimX-1-last of row y of slice z. Slices go in blocks so that each
// output row is written in short contiguous runs and the reads of a block's
// slices proceed side by side.
template <typename T>
void extractSagittal(const PlaneExtraction& a, const SlabRange& r, T* out)
{
    const int dx = a.dimensions[0], dy = a.dimensions[1], dz = a.dimensions[2];
    const int x0 = dx - 1 - r.first;
    const int n = r.count();
    const int mode = a.projectionMode;
    const double scale = 1.0 / double(n);
    constexpr int kBlock = 8;
    for (int z0 = 0; z0 < dz; z0 += kBlock) {
        const int nz = std::min(kBlock, dz - z0);
        const T* slice[kBlock];
        for (int j = 0; j < nz; ++j)
            slice[j] = static_cast<const T*>(sliceAt(a, z0 + j)) + x0;
        for (int y = 0; y < dy; ++y) {
            const std::int64_t offset = std::int64_t(y) * dx;
            T* o = out + std::int64_t(y) * dz + z0;
            for (int j = 0; j < nz; ++j) {
                const T* p = slice[j] + offset;
                T v;
                if (n == 1) {
                    v = p[0];
                } else if (mode == PROJECTION_MIN) {
                    v = p[0];
                    for (int k = 1; k < n; ++k) v = keepMin(v, p[-k]);
                } else if (isMinOrMax(mode)) {
                    v = p[0];
                    for (int k = 1; k < n; ++k) v = keepMax(v, p[-k]);
                } else {
                    double s = double(p[0]);
                    for (int k = 1; k < n; ++k) s += double(p[-k]);
                    v = storeAccumulated<T>(mode == PROJECTION_MEAN ? s * scale : s);
                }
                o[j] = v;
            }
        }
    }
}

// Coronal: output column z, row x combines rows first..last of slice z.
template <typename T>
void extractCoronal(const PlaneExtraction& a, const SlabRange& r, T* out)
{
    const int dx = a.dimensions[0], dz = a.dimensions[2];
    const int n = r.count();
    const int mode = a.projectionMode;
    const double scale = 1.0 / double(n);
    T keep[kChunk];
    double acc[kChunk];
    for (int z = 0; z < dz; ++z) {
        const T* slice = static_cast<const T*>(sliceAt(a, z));
        T* col = out + z;
        for (int x0 = 0; x0 < dx; x0 += kChunk) {
            const int m = std::min(kChunk, dx - x0);
            const T* row0 = slice + std::int64_t(r.first) * dx + x0;
            const T* src = row0;
            if (n == 1) {
                // plain copy of the row into the column
            } else if (isMinOrMax(mode)) {
                std::memcpy(keep, row0, size_t(m) * sizeof(T));
                for (int y = r.first + 1; y <= r.last; ++y) {
                    const T* row = slice + std::int64_t(y) * dx + x0;
                    if (mode == PROJECTION_MIN)
                        for (int j = 0; j < m; ++j) keep[j] = keepMin(keep[j], row[j]);
                    else
                        for (int j = 0; j < m; ++j) keep[j] = keepMax(keep[j], row[j]);
                }
                src = keep;
            } else {
                for (int j = 0; j < m; ++j) acc[j] = double(row0[j]);
                for (int y = r.first + 1; y <= r.last; ++y) {
                    const T* row = slice + std::int64_t(y) * dx + x0;
                    for (int j = 0; j < m; ++j) acc[j] += double(row[j]);
                }
                finishChunk(acc, m, mode, scale, keep);
                src = keep;
            }
            T* dst = col + std::int64_t(x0) * dz;
            for (int j = 0; j < m; ++j)
                dst[std::int64_t(j) * dz] = src[j];
        }
    }
}

template <typename T>
void extractTyped(const PlaneExtraction& a, const SlabRange& r)
{
    T* out = static_cast<T*>(a.output);
    switch (a.orientation) {
    case PLANE_ORIGINAL: extractAxial<T>(a, r, out); break;
    case PLANE_SAGITTAL: extractSagittal<T>(a, r, out); break;
    default: extractCoronal<T>(a, r, out); break;
    }
}

// RGB volumes are copied without slab.
void extractRgb(const PlaneExtraction& a)
{
    const int dx = a.dimensions[0], dy = a.dimensions[1], dz = a.dimensions[2];
    const int i = a.sliceIndex;
    auto* out = static_cast<unsigned char*>(a.output);
    if (a.orientation == PLANE_ORIGINAL) {
        std::memcpy(out, sliceAt(a, i), size_t(dx) * size_t(dy) * 3);
        return;
    }
    for (int z = 0; z < dz; ++z) {
        const auto* slice = static_cast<const unsigned char*>(sliceAt(a, z));
        if (a.orientation == PLANE_SAGITTAL) {
            const int x = dx - 1 - i;
            for (int y = 0; y < dy; ++y)
                std::memcpy(out + (std::int64_t(y) * dz + z) * 3, slice + (std::int64_t(y) * dx + x) * 3, 3);
        } else {
            const unsigned char* row = slice + std::int64_t(i) * dx * 3;
            for (int x = 0; x < dx; ++x)
                std::memcpy(out + (std::int64_t(x) * dz + z) * 3, row + std::int64_t(x) * 3, 3);
        }
    }
}

} // namespace

bool extractPlane(const PlaneExtraction& a)
{
    if ((!a.voxels && !a.slices) || !a.output)
        return false;
    const int dx = a.dimensions[0], dy = a.dimensions[1], dz = a.dimensions[2];
    if (dx < 1 || dy < 1 || dz < 1)
        return false;
    int planes;
    switch (a.orientation) {
    case PLANE_ORIGINAL: planes = dz; break;
    case PLANE_SAGITTAL: planes = dx; break;
    case PLANE_CORONAL: planes = dy; break;
    default: return false;
    }
    if (a.sliceIndex < 0 || a.sliceIndex >= planes)
        return false;
    const SlabRange r = slabRange(a.sliceIndex, a.elementType == 4 ? 1 : a.slabSampleCount, planes);
    // Only the slices that are read need buffers.
    if (!a.voxels) {
        const int from = a.orientation == PLANE_ORIGINAL ? r.first : 0;
        const int to = a.orientation == PLANE_ORIGINAL ? r.last : dz - 1;
        for (int z = from; z <= to; ++z)
            if (!a.slices[z]) return false;
    }
    switch (a.elementType) {
    case 0: extractTyped<unsigned char>(a, r); return true;
    case 1: extractTyped<short>(a, r); return true;
    case 2: extractTyped<float>(a, r); return true;
    case 3: extractTyped<unsigned short>(a, r); return true;
    case 4: extractRgb(a); return true;
    default: return false;
    }
}

} // namespace isImageSDK
