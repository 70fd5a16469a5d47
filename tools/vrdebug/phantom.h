// Generated CT-like phantoms for the ray-caster's tests, benchmark and debug
// tool: an elliptic water body in air with spheres of bone, contrast, fat and
// lung density, in signed 16-bit Hounsfield units.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "imaging/core/isRayCastTypes.h"

namespace vrdebug {

struct Phantom {
    std::vector<int16_t> voxels;
    isImageSDK::RayCastVolume volume;
};

struct PhantomSphere {
    float cx, cy, cz, radius;   // fractions of the volume size
    int16_t value;
};

// The spheres of the CT phantom, in fractions of the volume.
inline const std::vector<PhantomSphere>& phantomSpheres()
{
    static const std::vector<PhantomSphere> spheres = {
        {0.30f, 0.40f, 0.50f, 0.12f, 1200},   // bone
        {0.68f, 0.40f, 0.35f, 0.09f, 300},    // contrast
        {0.62f, 0.66f, 0.62f, 0.10f, -100},   // fat
        {0.36f, 0.66f, 0.30f, 0.08f, -800},   // lung
        {0.50f, 0.28f, 0.72f, 0.05f, 2000},   // dense bone
    };
    return spheres;
}

// Slice z (of nz) of the CT phantom: nx x ny voxels, row by row, into out.
inline void makeCtPhantomSlice(int16_t* out, int nx, int ny, int nz, int z)
{
    std::fill(out, out + static_cast<size_t>(nx) * ny, int16_t(-1000));
    const auto& spheres = phantomSpheres();
    const float fz = (z + 0.5f) / nz;
    for (int y = 0; y < ny; ++y) {
        const float fy = (y + 0.5f) / ny;
        int16_t* row = out + static_cast<size_t>(y) * nx;
        // Body: an elliptic cylinder along z, capped near both ends.
        const float by = (fy - 0.5f) / 0.42f;
        if (std::fabs(by) >= 1.f || fz < 0.06f || fz > 0.94f) continue;
        const float halfWidth = 0.46f * std::sqrt(1.f - by * by);
        const int x0 = std::max(0, static_cast<int>((0.5f - halfWidth) * nx));
        const int x1 = std::min(nx, static_cast<int>((0.5f + halfWidth) * nx) + 1);
        for (int x = x0; x < x1; ++x) row[x] = 40;
        for (const auto& s : spheres) {
            const float dy = fy - s.cy, dz = fz - s.cz;
            const float r2 = s.radius * s.radius - dy * dy - dz * dz;
            if (r2 <= 0.f) continue;
            const float half = std::sqrt(r2);
            const int a = std::max(0, static_cast<int>(std::ceil((s.cx - half) * nx - 0.5f)));
            const int b = std::min(nx - 1, static_cast<int>(std::floor((s.cx + half) * nx - 0.5f)));
            for (int x = a; x <= b; ++x) row[x] = s.value;
        }
    }
}

// nx x ny x nz voxels of the given spacing (mm).
inline void makeCtPhantom(Phantom& p, int nx, int ny, int nz, float sx = 1.f, float sy = 1.f, float sz = 1.f)
{
    p.voxels.resize(static_cast<size_t>(nx) * ny * nz);
    for (int z = 0; z < nz; ++z) makeCtPhantomSlice(p.voxels.data() + static_cast<size_t>(z) * nx * ny, nx, ny, nz, z);
    p.volume = isImageSDK::RayCastVolume();
    p.volume.voxels = p.voxels.data();
    p.volume.dimensions[0] = nx, p.volume.dimensions[1] = ny, p.volume.dimensions[2] = nz;
    p.volume.spacing[0] = sx, p.volume.spacing[1] = sy, p.volume.spacing[2] = sz;
    p.volume.elementType = isImageSDK::kRayCastInt16;
}

// Adds uniform integer noise in [-amplitude, amplitude] to every voxel, the
// same for the same seed: real CT is never piecewise constant.
inline void addNoise(Phantom& p, int amplitude, uint32_t seed = 1)
{
    uint32_t state = seed ? seed : 1;
    const uint32_t span = static_cast<uint32_t>(2 * amplitude + 1);
    for (int16_t& v : p.voxels) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const int n = static_cast<int>(state % span) - amplitude;
        v = static_cast<int16_t>(std::clamp(v + n, -32768, 32767));
    }
}

// A colour map for bone and soft tissue: black, through red and orange, to
// white.
inline std::vector<uint8_t> warmColourMap()
{
    std::vector<uint8_t> map(768);
    for (int i = 0; i < 256; ++i) {
        float t = i / 255.f;
        map[i * 3 + 0] = static_cast<uint8_t>(std::min(255.f, 255.f * std::min(1.f, t * 2.2f)));
        map[i * 3 + 1] = static_cast<uint8_t>(255.f * std::clamp((t - 0.25f) * 1.6f, 0.f, 1.f));
        map[i * 3 + 2] = static_cast<uint8_t>(255.f * std::clamp((t - 0.6f) * 2.5f, 0.f, 1.f));
    }
    return map;
}

}  // namespace vrdebug
