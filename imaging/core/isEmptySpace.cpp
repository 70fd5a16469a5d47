#include "imaging/core/isEmptySpace.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace isImageSDK {

void vrSpaceLeapingBase::copyBoundingBox(float out[6]) const
{
    std::memcpy(out, m_box, sizeof(m_box));
}

void vrSpaceLeapingBase::resetLayout(const RayCastVolume* volume)
{
    m_volume = volume;
    m_built = false;
    for (int a = 0; a < 3; ++a) {
        int d = volume ? volume->dimensions[a] : 0;
        m_blocks[a] = d > 0 ? (d - 1) / 4 + 1 : 0;
        m_box[2 * a] = 0.f;
        m_box[2 * a + 1] = static_cast<float>(d - 1);
    }
    m_slabStride = m_blocks[0] * m_blocks[1];
    for (int a = 0; a < 3; ++a) m_coarseBlocks[a] = m_blocks[a] > 0 ? (m_blocks[a] - 1) / 4 + 1 : 0;
    m_coarseSlabStride = m_coarseBlocks[0] * m_coarseBlocks[1];
    for (int a = 0; a < 3; ++a) m_coarsestBlocks[a] = m_coarseBlocks[a] > 0 ? (m_coarseBlocks[a] - 1) / 4 + 1 : 0;
    m_coarsestSlabStride = m_coarsestBlocks[0] * m_coarsestBlocks[1];
}

// Box of the blocks whose maximum reaches the threshold; inverted when none.
template <typename T, typename Th>
static void boxOfBlocks(const T* maxima, Th threshold, const int blocks[3], const int32_t dims[3], float box[6])
{
    int lo[3] = {9999, 9999, 9999}, hi[3] = {-9999, -9999, -9999};
    const T* m = maxima;
    for (int z = 0; z < blocks[2]; ++z)
        for (int y = 0; y < blocks[1]; ++y)
            for (int x = 0; x < blocks[0]; ++x, ++m) {
                if (!(static_cast<Th>(*m) >= threshold)) continue;
                lo[0] = std::min(lo[0], x), hi[0] = std::max(hi[0], x);
                lo[1] = std::min(lo[1], y), hi[1] = std::max(hi[1], y);
                lo[2] = std::min(lo[2], z), hi[2] = std::max(hi[2], z);
            }
    for (int a = 0; a < 3; ++a) {
        float mn = 4.f * lo[a];
        float mx = 4.f * hi[a] + 3.f;
        // Keep the upper neighbours of a trilinear sample inside the volume.
        if (mx >= dims[a] - 1) mx = static_cast<float>(dims[a] - 2);
        box[2 * a] = mn;
        box[2 * a + 1] = mx;
    }
}

template <typename T>
static void fillMaxima(const T* voxels, const int32_t dims[3], const int blocks[3], T* maxima)
{
    const int stride = blocks[0] * blocks[1];
    for (int z = 0; z < dims[2]; ++z) {
        for (int y = 0; y < dims[1]; ++y) {
            T* row = maxima + (z >> 2) * stride + (y >> 2) * blocks[0];
            const T* v = voxels + (static_cast<int64_t>(z) * dims[1] + y) * dims[0];
            int x = 0;
            for (; x + 4 <= dims[0]; x += 4) {
                T m = std::max(std::max(v[x], v[x + 1]), std::max(v[x + 2], v[x + 3]));
                T& b = row[x >> 2];
                if (m > b) b = m;
            }
            for (; x < dims[0]; ++x) {
                T& b = row[x >> 2];
                if (v[x] > b) b = v[x];
            }
        }
    }
}

// out[b] = the largest maximum over block b and its neighbours one block up
// along any combination of axes.
template <typename T>
static void dilateUp(const T* maxima, const int blocks[3], std::vector<T>& out)
{
    const int bx = blocks[0], by = blocks[1], bz = blocks[2];
    const int64_t slab = int64_t(bx) * by;
    std::vector<T> tmp(maxima, maxima + slab * bz);
    // One axis at a time: max with the next block along it.
    for (int z = 0; z < bz; ++z)
        for (int y = 0; y < by; ++y)
            for (int x = 0; x + 1 < bx; ++x) {
                T* v = &tmp[z * slab + int64_t(y) * bx + x];
                v[0] = std::max(v[0], maxima[z * slab + int64_t(y) * bx + x + 1]);
            }
    std::vector<T> tmp2(tmp);
    for (int z = 0; z < bz; ++z)
        for (int y = 0; y + 1 < by; ++y)
            for (int x = 0; x < bx; ++x) {
                int64_t i = z * slab + int64_t(y) * bx + x;
                tmp2[i] = std::max(tmp[i], tmp[i + bx]);
            }
    out = tmp2;
    for (int z = 0; z + 1 < bz; ++z)
        for (int64_t i = z * slab; i < (z + 1) * slab; ++i) out[i] = std::max(tmp2[i], tmp2[i + slab]);
}

// out[c] = the largest of in[] over the 4 x 4 x 4 blocks of coarse block c.
template <typename T>
static void coarsen(const std::vector<T>& in, const int blocks[3], const int coarse[3], std::vector<T>& out)
{
    const int64_t slab = int64_t(blocks[0]) * blocks[1];
    const int64_t coarseSlab = int64_t(coarse[0]) * coarse[1];
    out.assign(coarseSlab * coarse[2], std::numeric_limits<T>::lowest());
    for (int z = 0; z < blocks[2]; ++z)
        for (int y = 0; y < blocks[1]; ++y) {
            const T* row = in.data() + z * slab + int64_t(y) * blocks[0];
            T* target = out.data() + (z >> 2) * coarseSlab + int64_t(y >> 2) * coarse[0];
            for (int x = 0; x < blocks[0]; ++x) target[x >> 2] = std::max(target[x >> 2], row[x]);
        }
}

static int64_t blockCount(const int blocks[3])
{
    return static_cast<int64_t>(blocks[0]) * blocks[1] * blocks[2];
}

// ---- signed 16-bit ----

vrSpaceLeaping::~vrSpaceLeaping()
{
    delete[] m_maxima;
}

void vrSpaceLeaping::attachVolume(const RayCastVolume* volume)
{
    m_sampleMaxima.clear();
    m_coarseSampleMaxima.clear();
    m_coarsestSampleMaxima.clear();
    delete[] m_maxima;
    m_maxima = nullptr;
    resetLayout(volume);
    int64_t n = blockCount(m_blocks);
    if (n > 0) {
        m_maxima = new (std::nothrow) int16_t[n];
        if (m_maxima) std::fill(m_maxima, m_maxima + n, static_cast<int16_t>(-32700));
    }
}

void vrSpaceLeaping::buildMaxima()
{
    if (m_built || !m_volume || !m_maxima || !m_volume->voxels) return;
    if (m_volume->elementType != kRayCastInt16) return;
    fillMaxima(static_cast<const int16_t*>(m_volume->voxels), m_volume->dimensions, m_blocks, m_maxima);
    dilateUp(m_maxima, m_blocks, m_sampleMaxima);
    coarsen(m_sampleMaxima, m_blocks, m_coarseBlocks, m_coarseSampleMaxima);
    coarsen(m_coarseSampleMaxima, m_coarseBlocks, m_coarsestBlocks, m_coarsestSampleMaxima);
    m_built = true;
    computeBoundingBox();
}

void vrSpaceLeaping::setThreshold(int16_t threshold)
{
    if (threshold == m_threshold) return;
    m_threshold = threshold;
    computeBoundingBox();
}

void vrSpaceLeaping::computeBoundingBox()
{
    if (!m_volume || !m_built) return;
    boxOfBlocks(m_maxima, static_cast<int>(m_threshold), m_blocks, m_volume->dimensions, m_box);
}

bool vrSpaceLeaping::isEmpty(const float p[3]) const
{
    return m_maxima[blockIndex(p[0] + 0.5f, p[1] + 0.5f, p[2] + 0.5f)] < m_threshold;
}

// ---- 32-bit float ----

vrSpaceLeapingFloat::~vrSpaceLeapingFloat()
{
    delete[] m_maxima;
}

void vrSpaceLeapingFloat::attachVolume(const RayCastVolume* volume)
{
    m_sampleMaxima.clear();
    m_coarseSampleMaxima.clear();
    m_coarsestSampleMaxima.clear();
    delete[] m_maxima;
    m_maxima = nullptr;
    resetLayout(volume);
    int64_t n = blockCount(m_blocks);
    if (n > 0) {
        m_maxima = new (std::nothrow) float[n];
        if (m_maxima) std::fill(m_maxima, m_maxima + n, -100000000.f);
    }
}

void vrSpaceLeapingFloat::buildMaxima()
{
    if (m_built || !m_volume || !m_maxima || !m_volume->voxels) return;
    if (m_volume->elementType != kRayCastFloat32) return;
    fillMaxima(static_cast<const float*>(m_volume->voxels), m_volume->dimensions, m_blocks, m_maxima);
    dilateUp(m_maxima, m_blocks, m_sampleMaxima);
    coarsen(m_sampleMaxima, m_blocks, m_coarseBlocks, m_coarseSampleMaxima);
    coarsen(m_coarseSampleMaxima, m_coarseBlocks, m_coarsestBlocks, m_coarsestSampleMaxima);
    m_built = true;
    computeBoundingBox();
}

void vrSpaceLeapingFloat::setThreshold(float threshold)
{
    if (threshold == m_floatThreshold) return;
    m_floatThreshold = threshold;
    m_threshold = static_cast<int16_t>(std::clamp(threshold, -32768.f, 32767.f));
    computeBoundingBox();
}

void vrSpaceLeapingFloat::computeBoundingBox()
{
    if (!m_volume || !m_built) return;
    boxOfBlocks(m_maxima, m_floatThreshold, m_blocks, m_volume->dimensions, m_box);
}

bool vrSpaceLeapingFloat::isEmpty(const float p[3]) const
{
    return m_maxima[blockIndex(p[0] + 0.5f, p[1] + 0.5f, p[2] + 0.5f)] < m_floatThreshold;
}

}  // namespace isImageSDK
