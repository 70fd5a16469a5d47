// Trilinear and tricubic samplers over a contiguous scalar volume.
//
// Positions are given in the volume's local millimetre frame, in which voxel
// (i, j, k) lies at (origin + i * spacing) on each axis. The owner fills every
// member directly (or through initSampler below) and then calls sample() as
// often as it likes; a sampler never changes while sampling and owns nothing.
//
// Calling rules (the samplers leave these tests to the caller so that the
// caller can hoist them out of its loops):
//   CTriLinear::sample: the caller returns `background` itself when x < 0.
//   CTriCubic::sample:  the caller passes fx = (x - origin) * inverseSpacing and
//                       ix = fx truncated toward zero, and returns `background`
//                       itself when ix is negative.
#pragma once

#include <algorithm>
#include <cstdint>
#include <limits>
#include <type_traits>

namespace isImageSDK {

// One axis of a sampler: index 0 sits at `origin`, the last index at
// `upperBound`.
struct SamplerAxis
{
    float origin = 0.0f;
    float upperBound = 0.0f;
    float spacing = 1.0f;
    float inverseSpacing = 1.0f;
};

// Converts an interpolated single-precision value to the voxel type: integer
// types are truncated toward zero after saturating to the type's range (a
// cubic overshoot below 0 of an unsigned type gives 0, not a wrapped value),
// float is returned as it is.
template <typename T>
inline T interpolatedToVoxel(float v)
{
    if constexpr (std::is_floating_point_v<T>) {
        return v;
    } else {
        constexpr float lo = static_cast<float>(std::numeric_limits<T>::lowest());
        constexpr float hi = static_cast<float>(std::numeric_limits<T>::max());
        // Written so that NaN ends at lo instead of reaching the conversion.
        v = v > lo ? v : lo;
        v = v < hi ? v : hi;
        return static_cast<T>(v);
    }
}

template <typename T>
class CTriLinear
{
public:
    virtual ~CTriLinear() = default;

    int dimensions[3] = {0, 0, 0};
    int voxelCount = 0;
    SamplerAxis axes[3];
    const T* voxels = nullptr;
    T background = T();
    // Linear basis as two rows (c0, c1) and (c2, c3): weights c0 + c1 t = 1 - t
    // and c2 + c3 t = t.
    float basis[4] = {1.0f, -1.0f, 0.0f, 1.0f};

    // Value at (x, y, z); the caller has excluded x < 0. Bounds are inclusive:
    // a position exactly on the last voxel is inside.
    T sample(float x, float y, float z) const
    {
        const SamplerAxis& ax = axes[0];
        const SamplerAxis& ay = axes[1];
        const SamplerAxis& az = axes[2];
        // Negated tests so that NaN positions count as outside.
        if (!(x <= ax.upperBound) || !(y >= ay.origin && y <= ay.upperBound) ||
            !(z >= az.origin && z <= az.upperBound))
            return background;

        int i[3];
        float t[3];
        const float p[3] = {x, y, z};
        for (int a = 0; a < 3; ++a) {
            const float f = (p[a] - axes[a].origin) * axes[a].inverseSpacing;
            int n = f > 0.0f ? static_cast<int>(f) : 0;
            if (n >= dimensions[a])
                n = dimensions[a] - 1;
            i[a] = n;
            t[a] = f - static_cast<float>(n);
        }
        const float wx0 = basis[0] + basis[1] * t[0], wx1 = basis[2] + basis[3] * t[0];
        const float wy0 = basis[0] + basis[1] * t[1], wy1 = basis[2] + basis[3] * t[1];
        const float wz0 = basis[0] + basis[1] * t[2], wz1 = basis[2] + basis[3] * t[2];

        const std::int64_t dx = dimensions[0], dxy = std::int64_t(dimensions[0]) * dimensions[1];
        const std::int64_t x0 = i[0], x1 = std::min(i[0] + 1, dimensions[0] - 1);
        const std::int64_t y0 = i[1] * dx, y1 = std::min(i[1] + 1, dimensions[1] - 1) * dx;
        const std::int64_t z0 = i[2] * dxy, z1 = std::min(i[2] + 1, dimensions[2] - 1) * dxy;

        float sum = 0.0f;
        sum += float(voxels[z0 + y0 + x0]) * ((wy0 * wx0) * wz0);
        sum += float(voxels[z0 + y0 + x1]) * ((wy0 * wx1) * wz0);
        sum += float(voxels[z0 + y1 + x0]) * ((wy1 * wx0) * wz0);
        sum += float(voxels[z0 + y1 + x1]) * ((wy1 * wx1) * wz0);
        sum += float(voxels[z1 + y0 + x0]) * ((wy0 * wx0) * wz1);
        sum += float(voxels[z1 + y0 + x1]) * ((wy0 * wx1) * wz1);
        sum += float(voxels[z1 + y1 + x0]) * ((wy1 * wx0) * wz1);
        sum += float(voxels[z1 + y1 + x1]) * ((wy1 * wx1) * wz1);
        return interpolatedToVoxel<T>(sum);
    }
};

template <typename T>
class CTriCubic
{
public:
    CTriCubic() : activeBasis(catmullRomBasis) {}
    CTriCubic(const CTriCubic& o) { *this = o; }
    CTriCubic& operator=(const CTriCubic& o)
    {
        std::copy(o.dimensions, o.dimensions + 3, dimensions);
        voxelCount = o.voxelCount;
        std::copy(o.axes, o.axes + 3, axes);
        voxels = o.voxels;
        background = o.background;
        activeBasis = o.activeBasis == o.bSplineBasis ? bSplineBasis : catmullRomBasis;
        return *this;
    }
    virtual ~CTriCubic() = default;

    int dimensions[3] = {0, 0, 0};
    int voxelCount = 0;
    SamplerAxis axes[3];
    const T* voxels = nullptr;
    T background = T();
    // Basis in use: row j holds the coefficients of 1, t, t^2, t^3 of the
    // weight of the neighbour at offset j - 1.
    const float (*activeBasis)[4] = nullptr;
    // Keys' cubic convolution kernel with a = -0.5: weights (0, 1, 0, 0) at
    // t = 0, so voxel values are reproduced at voxel positions.
    float catmullRomBasis[4][4] = {
        {0.0f, -0.5f, 1.0f, -0.5f},
        {1.0f, 0.0f, -2.5f, 1.5f},
        {0.0f, 0.5f, 2.0f, -1.5f},
        {0.0f, 0.0f, -0.5f, 0.5f},
    };
    // Uniform cubic B-spline (smoothing, not interpolating).
    float bSplineBasis[4][4] = {
        {1.0f / 6.0f, -0.5f, 0.5f, -1.0f / 6.0f},
        {2.0f / 3.0f, 0.0f, -1.0f, 0.5f},
        {1.0f / 6.0f, 0.5f, 0.5f, -0.5f},
        {0.0f, 0.0f, 0.0f, 1.0f / 6.0f},
    };

    // The four weights of fraction t under the active basis.
    void weights(float t, float w[4]) const
    {
        const float t2 = t * t, t3 = t2 * t;
        for (int j = 0; j < 4; ++j) {
            const float* b = activeBasis[j];
            w[j] = b[0] + b[1] * t + b[2] * t2 + b[3] * t3;
        }
    }

    // Value at (fx voxel units, y mm, z mm); the caller has excluded ix < 0.
    // A position is inside when its truncated voxel index lies in
    // [0, dim - 1] on every axis.
    T sample(float y, float z, float fx, int ix) const
    {
        if (ix > dimensions[0] - 1)
            return background;
        float f[3] = {fx, 0.0f, 0.0f};
        int i[3] = {ix, 0, 0};
        const float p[3] = {0.0f, y, z};
        for (int a = 1; a < 3; ++a) {
            f[a] = (p[a] - axes[a].origin) * axes[a].inverseSpacing;
            // Truncation toward zero lands in [0, dim - 1] exactly when
            // -1 < f < dim; tested before converting so that no
            // out-of-range value reaches the conversion.
            if (!(f[a] > -1.0f && f[a] < float(dimensions[a])))
                return background;
            i[a] = static_cast<int>(f[a]);
        }
        float w[3][4];
        for (int a = 0; a < 3; ++a)
            weights(f[a] - static_cast<float>(i[a]), w[a]);

        std::int64_t xo[4], yo[4], zo[4];
        const std::int64_t dx = dimensions[0], dxy = std::int64_t(dimensions[0]) * dimensions[1];
        for (int j = 0; j < 4; ++j) {
            xo[j] = std::clamp(i[0] + j - 1, 0, dimensions[0] - 1);
            yo[j] = std::clamp(i[1] + j - 1, 0, dimensions[1] - 1) * dx;
            zo[j] = std::clamp(i[2] + j - 1, 0, dimensions[2] - 1) * dxy;
        }
        float sum = 0.0f;
        for (int kz = 0; kz < 4; ++kz)
            for (int ky = 0; ky < 4; ++ky)
                for (int kx = 0; kx < 4; ++kx)
                    sum += float(voxels[zo[kz] + yo[ky] + xo[kx]]) * ((w[1][ky] * w[0][kx]) * w[2][kz]);
        return interpolatedToVoxel<T>(sum);
    }
};

// Fills a sampler for a volume of the given dimensions and spacing with its
// origin at 0 on each axis. Returns false (and leaves the sampler unusable)
// when a dimension is not positive or a spacing is not a positive finite
// number: such a volume has no sample positions.
template <class Sampler, typename T>
bool initSampler(Sampler& s, const T* voxels, const int dims[3], const float spacing[3], T background)
{
    s.voxels = nullptr;
    for (int a = 0; a < 3; ++a) {
        if (dims[a] < 1 || !(spacing[a] > 0.0f) || !(spacing[a] <= std::numeric_limits<float>::max()))
            return false;
    }
    if (!voxels)
        return false;
    for (int a = 0; a < 3; ++a) {
        s.dimensions[a] = dims[a];
        s.axes[a].origin = 0.0f;
        s.axes[a].spacing = spacing[a];
        s.axes[a].inverseSpacing = 1.0f / spacing[a];
        s.axes[a].upperBound = float(dims[a] - 1) * spacing[a] + 0.0f;
    }
    s.voxelCount = dims[0] * dims[1] * dims[2];
    s.voxels = voxels;
    s.background = background;
    return true;
}

} // namespace isImageSDK
