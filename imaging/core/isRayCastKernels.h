// Ray-casting kernels: one job in, one RGB colour out. Coordinates are voxel
// units of the volume frame; voxel (i, j, k) sits at (i, j, k).
//
// Render modes: 0 front-to-back compositing through the lookup table,
// 1 pre-integrated compositing, 2 pre-integrated compositing with lighting,
// 3 maximum intensity projection.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <type_traits>

#include "imaging/core/isRayCastTypes.h"
#include "imaging/core/isTransferFunction.h"

namespace isImageSDK {

class vrSpaceLeapingBase;

// Everything a kernel reads besides its job. Shared read-only by the workers
// of one frame.
struct RayKernelEnv {
    const RayCastParams* params = nullptr;
    const RayCastTransfer* transfer = nullptr;
    const cuLight* light = nullptr;
    // Box of the possibly visible blocks (x min, x max, y min, y max, z min,
    // z max); modes 0 and 3 never sample outside it.
    float box[6] = {0, 0, 0, 0, 0, 0};
    // Block maxima of the empty-space grid (int16_t or float, matching the
    // voxels), or null when empty blocks are not skipped.
    const void* maxima = nullptr;
    // Per block, the largest value of a trilinear sample whose lower corner
    // lies in it; null when empty blocks are not skipped.
    const void* sampleMaxima = nullptr;
    // The same bound over blocks of 4 x 4 x 4 blocks (16 voxels a side).
    const void* coarseSampleMaxima = nullptr;
    // And over blocks of 4 x 4 x 4 of those (64 voxels a side).
    const void* coarsestSampleMaxima = nullptr;
    int blocksX = 0;
    int slabStride = 0;
    int coarseBlocksX = 0;
    int coarseSlabStride = 0;
    int coarsestBlocksX = 0;
    int coarsestSlabStride = 0;
};

// Fills env.box and env.maxima from a grid, or, without a grid (empty-space
// skipping off), with the whole volume and no maxima.
void setKernelGrid(RayKernelEnv& env, const vrSpaceLeapingBase* grid);

// Clips the segment p0..p1 against a box; false when it misses.
bool clipSegment(const float p0[3], const float p1[3], const float box[6], float entry[3], float exit[3]);

// Casts jobs [first, end) with the kernel and sampler that the render mode,
// the voxel type and the interpolation switch select. Stops before a job when
// abortFlag (may be null) is set.
void castJobRange(int renderMode, RayJob* jobs, int first, int end, const RayKernelEnv& env,
                  const std::atomic<bool>* abortFlag);

// Casts one job; returns the colour.
void castOneJob(int renderMode, RayJob& job, const RayKernelEnv& env, uint8_t out[3]);

// ---- samplers ----
// All samplers clamp to the volume, so a position on or beyond the last
// voxel (or a gradient sample one step outside) reads the edge voxel.

template <typename T>
struct NearestSampler {
    using Value = T;
    static inline Value sample(float x, float y, float z, const RayCastParams& p)
    {
        const T* v = static_cast<const T*>(p.voxels);
        int ix = std::clamp(static_cast<int>(x), 0, p.dimensions[0] - 1);
        int iy = std::clamp(static_cast<int>(y), 0, p.dimensions[1] - 1);
        int iz = std::clamp(static_cast<int>(z), 0, p.dimensions[2] - 1);
        return v[iz * p.sliceSize + static_cast<int64_t>(iy) * p.dimensions[0] + ix];
    }
};

// The fraction at the centre of each of the 50 bins per axis of the trilinear
// weights table: (i + 0.5) / 50.
inline const std::array<float, 50> kTrilinearFractions = [] {
    std::array<float, 50> f{};
    for (int i = 0; i < 50; ++i) f[i] = (i + 0.5f) / 50.f;
    return f;
}();

// Blends the eight voxels around (x0, y0, z0) with the weights of the
// fraction bins (bx, by, bz), each 0..49: the entry (bx, by, bz) of the
// weights table, multiplied out in the table's own order from three
// fractions that stay in the first-level cache instead of one scattered
// 32-byte read from the 4 MB table per sample. The last voxel on an axis
// has no neighbour beyond it and blends with itself.
template <typename T>
inline T blendTrilinear(const T* v, int x0, int y0, int z0, int bx, int by, int bz, const RayCastParams& p)
{
    const float fx = kTrilinearFractions[bx], fy = kTrilinearFractions[by], fz = kTrilinearFractions[bz];
    const float gx = 1 - fx, gy = 1 - fy, gz = 1 - fz;
    const float zy0 = gz * gy, zy1 = gz * fy, zy2 = fz * gy, zy3 = fz * fy;
    const float w[8] = {zy0 * gx, zy0 * fx, zy1 * gx, zy1 * fx, zy2 * gx, zy2 * fx, zy3 * gx, zy3 * fx};
    const int mx = p.dimensions[0] - 1, my = p.dimensions[1] - 1, mz = p.dimensions[2] - 1;
    const int64_t ox = x0 < mx ? 1 : 0;
    const int64_t oy = y0 < my ? p.dimensions[0] : 0;
    const int64_t oz = z0 < mz ? p.sliceSize : 0;
    const T* b = v + z0 * p.sliceSize + static_cast<int64_t>(y0) * p.dimensions[0] + x0;
    float s = w[0] * b[0] + w[1] * b[ox] + w[2] * b[oy] + w[3] * b[oy + ox]
            + w[4] * b[oz] + w[5] * b[oz + ox] + w[6] * b[oz + oy] + w[7] * b[oz + oy + ox];
    if constexpr (std::is_integral_v<T>) {
        // Rounded: the weights sum to one only up to float precision, and
        // a uniform region must sample to its own value.
        return static_cast<T>(s >= 0.f ? s + 0.5f : s - 0.5f);
    } else {
        return s;
    }
}

template <typename T>
struct TrilinearSampler {
    // Integer voxels interpolate to the nearest integer value, float voxels
    // to a float.
    using Value = T;
    static inline Value sample(float x, float y, float z, const RayCastParams& p)
    {
        const T* v = static_cast<const T*>(p.voxels);
        const int mx = p.dimensions[0] - 1, my = p.dimensions[1] - 1, mz = p.dimensions[2] - 1;
        x = std::clamp(x, 0.f, static_cast<float>(mx));
        y = std::clamp(y, 0.f, static_cast<float>(my));
        z = std::clamp(z, 0.f, static_cast<float>(mz));
        int x0 = static_cast<int>(x), y0 = static_cast<int>(y), z0 = static_cast<int>(z);
        int bx = std::min(static_cast<int>((x - x0) * 50.f), 49);
        int by = std::min(static_cast<int>((y - y0) * 50.f), 49);
        int bz = std::min(static_cast<int>((z - z0) * 50.f), 49);
        return blendTrilinear(v, x0, y0, z0, bx, by, bz, p);
    }
};

// Trilinear sampling of a position known to lie in the volume, up to a hair
// outside it (at least -1 and below the last voxel + 1 on each axis): the
// same value as TrilinearSampler without its clamps.
template <typename T>
struct InsideTrilinearSampler {
    using Value = T;
    static inline Value sample(float x, float y, float z, const RayCastParams& p)
    {
        const T* v = static_cast<const T*>(p.voxels);
        // Truncation takes a hair below zero to voxel 0, as the clamp does.
        const int x0 = static_cast<int>(x), y0 = static_cast<int>(y), z0 = static_cast<int>(z);
        const float rx = std::max(x - static_cast<float>(x0), 0.f), ry = std::max(y - static_cast<float>(y0), 0.f),
                    rz = std::max(z - static_cast<float>(z0), 0.f);
        const int bx = std::min(static_cast<int>(rx * 50.f), 49);
        const int by = std::min(static_cast<int>(ry * 50.f), 49);
        const int bz = std::min(static_cast<int>(rz * 50.f), 49);
        return blendTrilinear(v, x0, y0, z0, bx, by, bz, p);
    }
};

}  // namespace isImageSDK
