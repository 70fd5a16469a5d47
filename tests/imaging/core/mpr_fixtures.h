// Small volumes for the plane, reslice and interpolation tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mprtest {

// f(x, y, z) = x + 1000 y + 1,000,000 z: every value names its voxel. Kept
// below 2^24 (z < 16, x, y < 1000) so that the values are exact in float.
inline float fieldValue(int x, int y, int z) { return float(x + 1000 * y + 1000000 * z); }

template <typename T>
struct Volume
{
    int dims[3] = {0, 0, 0};
    float spacing[3] = {1.0f, 1.0f, 1.0f};
    std::vector<T> voxels;
    std::vector<const void*> slices;

    Volume(int dx, int dy, int dz, float sx = 1.0f, float sy = 1.0f, float sz = 1.0f)
        : dims{dx, dy, dz}, spacing{sx, sy, sz}, voxels(size_t(dx) * dy * dz)
    {
        for (int z = 0; z < dz; ++z)
            slices.push_back(voxels.data() + size_t(z) * dx * dy);
    }
    T& at(int x, int y, int z) { return voxels[(size_t(z) * dims[1] + y) * dims[0] + x]; }
    T at(int x, int y, int z) const { return voxels[(size_t(z) * dims[1] + y) * dims[0] + x]; }

    template <class F>
    void fill(F f)
    {
        for (int z = 0; z < dims[2]; ++z)
            for (int y = 0; y < dims[1]; ++y)
                for (int x = 0; x < dims[0]; ++x)
                    at(x, y, z) = T(f(x, y, z));
    }
};

inline Volume<float> fieldVolume(int dx, int dy, int dz, float sx = 1.0f, float sy = 1.0f, float sz = 1.0f)
{
    Volume<float> v(dx, dy, dz, sx, sy, sz);
    v.fill(fieldValue);
    return v;
}

// Decodes a field value back into its voxel, or (-1, -1, -1).
struct Voxel
{
    int x = -1, y = -1, z = -1;
    bool operator==(const Voxel&) const = default;
};
inline Voxel voxelOf(float value)
{
    const auto n = std::int64_t(value);
    if (float(n) != value || n < 0)
        return {};
    return {int(n % 1000), int((n / 1000) % 1000), int(n / 1000000)};
}

// Deterministic pseudo-random numbers for sampled positions and values.
struct Lcg
{
    std::uint64_t s;
    explicit Lcg(std::uint64_t seed) : s(seed * 2862933555777941757ull + 3037000493ull) {}
    std::uint32_t next()
    {
        s = s * 6364136223846793005ull + 1442695040888963407ull;
        return std::uint32_t(s >> 33);
    }
    double uniform(double lo, double hi) { return lo + (hi - lo) * (next() / 2147483648.0); }
};

} // namespace mprtest
