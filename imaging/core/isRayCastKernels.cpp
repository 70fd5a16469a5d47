#include "imaging/core/isRayCastKernels.h"

#include <cmath>

#include "imaging/core/isEmptySpace.h"

namespace isImageSDK {

namespace {

// Compositing stops once the remaining transparency could change no channel
// by a whole grey level.
constexpr float kOpaque = 1.f - 1.f / 256.f;

inline void background(const RayKernelEnv& env, uint8_t out[3])
{
    out[0] = env.transfer->background[0];
    out[1] = env.transfer->background[1];
    out[2] = env.transfer->background[2];
}

inline void writeColour(const float k[3], uint8_t out[3])
{
    for (int c = 0; c < 3; ++c) {
        float v = std::clamp(k[c], 0.f, 255.f);
        out[c] = static_cast<uint8_t>(v);
    }
}

template <typename T>
inline T blockMax(const RayKernelEnv& env, float x, float y, float z)
{
    const T* m = static_cast<const T*>(env.maxima);
    return m[static_cast<int>(0.25f * z) * env.slabStride + static_cast<int>(0.25f * y) * env.blocksX
             + static_cast<int>(0.25f * x)];
}

// The largest value a trilinear sample at (x, y, z) can take.
template <typename T>
inline float sampleBound(const RayKernelEnv& env, const RayCastParams& p, float x, float y, float z)
{
    const T* m = static_cast<const T*>(env.sampleMaxima);
    const int bx = std::clamp(static_cast<int>(x), 0, p.dimensions[0] - 1) >> 2;
    const int by = std::clamp(static_cast<int>(y), 0, p.dimensions[1] - 1) >> 2;
    const int bz = std::clamp(static_cast<int>(z), 0, p.dimensions[2] - 1) >> 2;
    return static_cast<float>(m[bz * env.slabStride + by * env.blocksX + bx]);
}

// The cell (block or coarser block, 2^shift voxels a side) holding the lower
// corner of a trilinear sample at pos, per axis, as sampleBound finds it.
inline void cellOf(const RayCastParams& p, const float pos[3], int shift, int cell[3])
{
    for (int a = 0; a < 3; ++a) cell[a] = std::clamp(static_cast<int>(pos[a]), 0, p.dimensions[a] - 1) >> shift;
}

// Samples from the one at pos on that still lie in the same cell (at least
// one): the count of steps to the cell's far side. Rounded towards fewer
// steps, so a sample of the next cell is never passed over.
inline int stepsInCell(const RayCastParams& p, const float pos[3], const RayValues& r, int shift, const int cell[3])
{
    float steps = 1e30f;
    const int size = 1 << shift;
    for (int a = 0; a < 3; ++a) {
        const float s = r.step[a];
        if (s > 1e-6f) {
            // Inside while the position stays below the next cell's start
            // (and the last voxel, beyond which positions clamp into it).
            const float end = std::min(static_cast<float>((cell[a] + 1) * size), static_cast<float>(p.dimensions[a]));
            steps = std::min(steps, (end - pos[a]) / s - 1e-3f);
        } else if (s < -1e-6f) {
            // Inside while the position stays at or above the cell's start.
            const float start = static_cast<float>(cell[a] * size);
            steps = std::min(steps, std::floor((pos[a] - start) / -s - 1e-3f) + 1.f);
        }
    }
    if (!(steps < 1e9f)) return 1 << 30;
    return std::max(1, static_cast<int>(std::ceil(steps)));
}

// The number of samples from pos on whose trilinear value cannot exceed
// bound: 0 when the sample at pos may, otherwise the samples left in the
// coarse block or block that rules them out.
template <typename T, bool Below>
inline int skippableSteps(const RayKernelEnv& env, const RayCastParams& p, const float pos[3], const RayValues& r,
                          float bound)
{
    int cell[3];
    if (env.coarsestSampleMaxima) {
        cellOf(p, pos, 6, cell);
        const T* c = static_cast<const T*>(env.coarsestSampleMaxima);
        const float v =
            static_cast<float>(c[cell[2] * env.coarsestSlabStride + cell[1] * env.coarsestBlocksX + cell[0]]);
        if (Below ? v < bound : v <= bound) return stepsInCell(p, pos, r, 6, cell);
    }
    if (env.coarseSampleMaxima) {
        cellOf(p, pos, 4, cell);
        const T* c = static_cast<const T*>(env.coarseSampleMaxima);
        const float v = static_cast<float>(c[cell[2] * env.coarseSlabStride + cell[1] * env.coarseBlocksX + cell[0]]);
        if (Below ? v < bound : v <= bound) return stepsInCell(p, pos, r, 4, cell);
    }
    cellOf(p, pos, 2, cell);
    const T* m = static_cast<const T*>(env.sampleMaxima);
    const float v = static_cast<float>(m[cell[2] * env.slabStride + cell[1] * env.blocksX + cell[0]]);
    if (Below ? v < bound : v <= bound) return stepsInCell(p, pos, r, 2, cell);
    return 0;
}

inline float distance3(const float a[3], const float b[3])
{
    float dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
    return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// The samples of a ray sit at start + k * step for whole k, whatever box the
// ray is clipped to, so that skipping empty space never moves a sample.
struct SampleRange {
    int first = 0, last = -1;   // k of the first and last sample inside the box
};

// Clips the ray to the box of possibly visible blocks; false when it misses.
inline bool clipRay(const float start[3], const RayValues& r, const RayKernelEnv& env, SampleRange& range)
{
    float end[3] = {start[0] + r.span[0], start[1] + r.span[1], start[2] + r.span[2]};
    float entry[3], exit[3];
    if (!clipSegment(start, end, env.box, entry, exit)) return false;
    const double enter = distance3(start, entry) * double(r.inverseStepLength);
    const double leave = distance3(start, exit) * double(r.inverseStepLength);
    range.first = std::max(0, static_cast<int>(std::ceil(enter - 1e-3)));
    range.last = std::min(r.stepCount, static_cast<int>(std::floor(leave + 1e-3)));
    return true;
}

inline void samplePosition(const float start[3], const RayValues& r, int k, float pos[3])
{
    const float f = static_cast<float>(k);
    pos[0] = start[0] + f * r.step[0];
    pos[1] = start[1] + f * r.step[1];
    pos[2] = start[2] + f * r.step[2];
}

// The colour composited in front of the background.
inline void writeOverBackground(const float k[3], float alpha, const RayKernelEnv& env, uint8_t out[3])
{
    const float rest = alpha < 1.f ? 1.f - alpha : 0.f;
    const float c[3] = {k[0] + rest * env.transfer->background[0], k[1] + rest * env.transfer->background[1],
                        k[2] + rest * env.transfer->background[2]};
    writeColour(c, out);
}

inline void composite(const float* e, float& alpha, float k[3])
{
    if (e[0] > 0.f) {
        float a = (1.f - alpha) * e[0];
        alpha += a;
        k[0] += a * e[1];
        k[1] += a * e[2];
        k[2] += a * e[3];
    }
}

// Mode 0, nearest neighbour on 16-bit voxels.
void compositeNearest(RayJob& job, RayValues r, uint8_t out[3], const RayKernelEnv& env)
{
    SampleRange range;
    if (!clipRay(job.position, r, env, range)) return background(env, out);
    const RayCastParams& p = *env.params;
    const float* lut = env.transfer->lookup;
    const float lower = env.transfer->lowerBound;
    const bool skip = env.maxima != nullptr;
    // Shifted by half a voxel, the truncated position is the nearest voxel.
    const float start[3] = {job.position[0] + 0.5f, job.position[1] + 0.5f, job.position[2] + 0.5f};
    float alpha = 0.f, k[3] = {0, 0, 0}, pos[3];
    for (int i = range.first; i <= range.last && alpha < kOpaque; ++i) {
        samplePosition(start, r, i, pos);
        // Blocks the window renders transparent add nothing.
        if (skip && static_cast<float>(blockMax<int16_t>(env, pos[0], pos[1], pos[2])) < lower) continue;
        int v = NearestSampler<int16_t>::sample(pos[0], pos[1], pos[2], p);
        composite(lut + (v + 32768) * 4, alpha, k);
    }
    writeOverBackground(k, alpha, env, out);
}

// Mode 0 through a sampler.
template <class S>
void compositeSampled(RayJob& job, RayValues r, uint8_t out[3], const RayKernelEnv& env)
{
    SampleRange range;
    if (!clipRay(job.position, r, env, range)) return background(env, out);
    const RayCastParams& p = *env.params;
    const float* lut = env.transfer->lookup;
    const float lower = env.transfer->lowerBound;
    const bool skip = env.sampleMaxima != nullptr;
    float alpha = 0.f, k[3] = {0, 0, 0}, pos[3];
    for (int i = range.first; i <= range.last && alpha < kOpaque;) {
        samplePosition(job.position, r, i, pos);
        // Samples in blocks the window renders transparent add nothing: on
        // to the first sample past the block. A block that may show is
        // sampled to its far side without asking again.
        int end = range.last;
        if (skip) {
            const int n = skippableSteps<int16_t, true>(env, p, pos, r, lower);
            if (n > 0) {
                i += n;
                continue;
            }
            int cell[3];
            cellOf(p, pos, 2, cell);
            end = std::min(end, i + stepsInCell(p, pos, r, 2, cell) - 1);
        }
        for (; i <= end && alpha < kOpaque; ++i) {
            samplePosition(job.position, r, i, pos);
            int v = S::sample(pos[0], pos[1], pos[2], p);
            composite(lut + (v + 32768) * 4, alpha, k);
        }
    }
    writeOverBackground(k, alpha, env, out);
}

inline void advance(float pos[3], const RayValues& r)
{
    pos[0] += r.step[0];
    pos[1] += r.step[1];
    pos[2] += r.step[2];
}

inline bool insideVolume(const float pos[3], const RayCastTransfer& t)
{
    return pos[0] >= 0.f && pos[0] <= t.dimensions[0] && pos[1] >= 0.f && pos[1] <= t.dimensions[1]
        && pos[2] >= 0.f && pos[2] <= t.dimensions[2];
}

// Modes 1 and 2. The walk starts a step before the ray meets the volume box
// and ends a couple of steps after it leaves it, so a ray that misses the
// volume costs nothing.
template <class S, bool Lit>
void preintegrated(RayJob& job, RayValues r, uint8_t out[3], const RayKernelEnv& env)
{
    const RayCastTransfer& t = *env.transfer;
    const RayCastParams& p = *env.params;
    float* pos = job.position;
    const int count = r.stepCount;
    float volumeBox[6] = {0.f, t.dimensions[0], 0.f, t.dimensions[1], 0.f, t.dimensions[2]};
    float end[3] = {pos[0] + r.span[0], pos[1] + r.span[1], pos[2] + r.span[2]};
    float entry[3], exit[3];
    if (count <= 0 || !clipSegment(pos, end, volumeBox, entry, exit)) return background(env, out);
    float total = distance3(pos, end);
    double tEnter = total > 0.f ? distance3(pos, entry) / total : 0.0;
    double tExit = total > 0.f ? distance3(pos, exit) / total : 1.0;
    int i = std::clamp(static_cast<int>(tEnter * count) - 1, 0, count);
    const int last = static_cast<int>(std::min<double>(count, std::ceil(tExit * count) + 2.0));
    for (int a = 0; a < 3; ++a) pos[a] += static_cast<float>(i) * r.step[a];

    while (i < last && !insideVolume(pos, t)) {
        advance(pos, r);
        ++i;
    }
    if (i >= last) return background(env, out);
    const float* lut = t.lookup;
    int front = transferIndex(static_cast<float>(S::sample(pos[0], pos[1], pos[2], p)), t.lowerBound, t.scale);
    advance(pos, r);
    ++i;
    double alpha = 0.0;
    float k[3] = {0, 0, 0};
    bool composited = false;
    const float h = r.stepLength;
    const bool skip = env.sampleMaxima != nullptr;
    while (i < last) {
        if (insideVolume(pos, t)) {
            // From a transparent sample into a block the window renders
            // transparent: a segment of opacity 0, nothing to sample.
            if (skip && front == 0 && sampleBound<int16_t>(env, p, pos[0], pos[1], pos[2]) < t.lowerBound) {
                composited = true;
                advance(pos, r);
                ++i;
                continue;
            }
            float s = static_cast<float>(S::sample(pos[0], pos[1], pos[2], p));
            int back = transferIndex(s, t.lowerBound, t.scale);
            const float* e = lut + (front + 256 * back) * 4;
            double a = (1.0 - alpha) * e[0];
            if constexpr (Lit) {
                float g[3] = {
                    static_cast<float>(S::sample(pos[0] - h, pos[1], pos[2], p))
                        - static_cast<float>(S::sample(pos[0] + h, pos[1], pos[2], p)),
                    static_cast<float>(S::sample(pos[0], pos[1] - h, pos[2], p))
                        - static_cast<float>(S::sample(pos[0], pos[1] + h, pos[2], p)),
                    static_cast<float>(S::sample(pos[0], pos[1], pos[2] - h, p))
                        - static_cast<float>(S::sample(pos[0], pos[1], pos[2] + h, p))};
                if (std::fabs(g[0]) + std::fabs(g[1]) + std::fabs(g[2]) < 0.0001f) {
                    for (int c = 0; c < 3; ++c) k[c] += static_cast<float>(a * e[c + 1]);
                } else {
                    float len = std::sqrt(g[0] * g[0] + g[1] * g[1] + g[2] * g[2]);
                    float nrm[3] = {g[0] / len, g[1] / len, g[2] / len};
                    float mat[3] = {e[1] / 255.f, e[2] / 255.f, e[3] / 255.f};
                    float c3[3];
                    env.light->shade(pos, nrm, mat, c3);
                    for (int c = 0; c < 3; ++c) k[c] += static_cast<float>(a * 255.0 * c3[c]);
                }
            } else {
                for (int c = 0; c < 3; ++c) k[c] += static_cast<float>(a * e[c + 1]);
            }
            alpha += a;
            front = back;
            composited = true;
        } else if (composited) {
            break;
        }
        if (alpha >= kOpaque) break;
        advance(pos, r);
        ++i;
    }
    if (!composited) return background(env, out);
    writeOverBackground(k, static_cast<float>(alpha), env, out);
}

// Mode 3, trilinear maximum along the ray (kept inside the volume by the
// clipping).
template <typename T>
void maximumProjection(RayJob& job, RayValues r, uint8_t out[3], const RayKernelEnv& env)
{
    SampleRange range;
    if (!clipRay(job.position, r, env, range) || range.last < range.first) return background(env, out);
    const RayCastParams& p = *env.params;
    const RayCastTransfer& t = *env.transfer;
    const bool skip = env.sampleMaxima != nullptr;
    float m = -10000000.f, pos[3];
    for (int i = range.first; i <= range.last;) {
        samplePosition(job.position, r, i, pos);
        // A block whose samples cannot exceed the maximum so far is passed
        // at once: on to the first sample past it.
        if (skip) {
            const int n = skippableSteps<T, false>(env, p, pos, r, m);
            if (n > 0) {
                i += n;
                continue;
            }
        }
        float v = static_cast<float>(InsideTrilinearSampler<T>::sample(pos[0], pos[1], pos[2], p));
        m = v > m ? v : m;
        ++i;
    }
    const float* e = t.lookup + transferIndex(m, t.lowerBound, t.scale) * 4;
    float k[3] = {e[1], e[2], e[3]};
    writeColour(k, out);
}

using Kernel = void (*)(RayJob&, RayValues, uint8_t*, const RayKernelEnv&);

Kernel chooseKernel(int mode, const RayCastParams& p)
{
    const bool trilinear = p.interpolation == 1;
    if (mode == 3) {
        if (p.elementType == kRayCastFloat32) return &maximumProjection<float>;
        return &maximumProjection<int16_t>;
    }
    if (p.elementType != kRayCastInt16) return nullptr;
    switch (mode) {
    case 0:
        if (p.interpolation == 0) return &compositeNearest;
        // The clipped ray keeps its samples inside the volume.
        return trilinear ? &compositeSampled<InsideTrilinearSampler<int16_t>>
                         : &compositeSampled<NearestSampler<int16_t>>;
    case 1:
        return trilinear ? &preintegrated<TrilinearSampler<int16_t>, false>
                         : &preintegrated<NearestSampler<int16_t>, false>;
    case 2:
        return trilinear ? &preintegrated<TrilinearSampler<int16_t>, true>
                         : &preintegrated<NearestSampler<int16_t>, true>;
    default:
        return nullptr;
    }
}

}  // namespace

void setKernelGrid(RayKernelEnv& env, const vrSpaceLeapingBase* grid)
{
    if (grid && grid->isBuilt()) {
        grid->copyBoundingBox(env.box);
        // A trilinear sample up to one voxel outside the non-empty blocks
        // still takes part of their voxels, so the rays see one voxel more on
        // each side (the samplers clamp at the volume's faces).
        for (int a = 0; a < 3; ++a) {
            if (env.box[2 * a] > env.box[2 * a + 1]) continue;   // nothing visible
            env.box[2 * a] = std::max(0.f, env.box[2 * a] - 1.f);
            env.box[2 * a + 1] =
                std::min(static_cast<float>(env.params->dimensions[a] - 1), env.box[2 * a + 1] + 1.f);
        }
        env.blocksX = grid->blocksX();
        env.slabStride = grid->slabStride();
        env.coarseBlocksX = grid->coarseBlocksX();
        env.coarseSlabStride = grid->coarseSlabStride();
        env.coarsestBlocksX = grid->coarsestBlocksX();
        env.coarsestSlabStride = grid->coarsestSlabStride();
        if (grid->kind() == 1) {
            env.maxima = static_cast<const vrSpaceLeaping*>(grid)->maxima();
            env.sampleMaxima = static_cast<const vrSpaceLeaping*>(grid)->sampleMaxima();
            env.coarseSampleMaxima = static_cast<const vrSpaceLeaping*>(grid)->coarseSampleMaxima();
            env.coarsestSampleMaxima = static_cast<const vrSpaceLeaping*>(grid)->coarsestSampleMaxima();
        } else {
            env.maxima = static_cast<const vrSpaceLeapingFloat*>(grid)->maxima();
            env.sampleMaxima = static_cast<const vrSpaceLeapingFloat*>(grid)->sampleMaxima();
            env.coarseSampleMaxima = static_cast<const vrSpaceLeapingFloat*>(grid)->coarseSampleMaxima();
            env.coarsestSampleMaxima = static_cast<const vrSpaceLeapingFloat*>(grid)->coarsestSampleMaxima();
        }
        return;
    }
    // The whole volume.
    for (int a = 0; a < 3; ++a) {
        env.box[2 * a] = 0.f;
        env.box[2 * a + 1] = static_cast<float>(env.params->dimensions[a] - 1);
    }
    env.maxima = nullptr;
    env.sampleMaxima = nullptr;
    env.coarseSampleMaxima = nullptr;
    env.coarsestSampleMaxima = nullptr;
    env.blocksX = env.slabStride = env.coarseBlocksX = env.coarseSlabStride = 0;
    env.coarsestBlocksX = env.coarsestSlabStride = 0;
}

bool clipSegment(const float p0[3], const float p1[3], const float box[6], float entry[3], float exit[3])
{
    if (box[0] > box[1] || box[2] > box[3] || box[4] > box[5]) return false;
    double tEnter = 0.0, tExit = 1.0;
    int enterPlane = -1, exitPlane = -1;   // plane = 2 * axis + (0 min, 1 max)
    for (int axis = 0; axis < 3; ++axis) {
        for (int side = 0; side < 2; ++side) {
            const double sign = side == 0 ? 1.0 : -1.0;
            const double plane = box[2 * axis + side];
            double a = (plane - p0[axis]) * sign;
            double b = (plane - p1[axis]) * sign;
            if (a > 0.0 && b > 0.0) return false;
            if (a <= 0.0 && b <= 0.0) continue;
            double t = a == 0.0 ? 0.0 : a / (a - b);
            if (a > 0.0) {
                if (t >= tEnter) {
                    tEnter = t;
                    enterPlane = 2 * axis + side;
                }
            } else if (t <= tExit) {
                tExit = t;
                exitPlane = 2 * axis + side;
            }
            if (tEnter > tExit && !(enterPlane >= 0 && exitPlane >= 0 && enterPlane / 2 == exitPlane / 2))
                return false;
        }
    }
    for (int axis = 0; axis < 3; ++axis) {
        const double lo = box[2 * axis], hi = box[2 * axis + 1];
        if (enterPlane / 2 == axis && enterPlane >= 0)
            entry[axis] = box[enterPlane];
        else
            entry[axis] = static_cast<float>(std::clamp((1.0 - tEnter) * p0[axis] + tEnter * p1[axis], lo, hi));
        if (exitPlane / 2 == axis && exitPlane >= 0)
            exit[axis] = box[exitPlane];
        else
            exit[axis] = static_cast<float>(std::clamp((1.0 - tExit) * p0[axis] + tExit * p1[axis], lo, hi));
    }
    return true;
}

void castJobRange(int renderMode, RayJob* jobs, int first, int end, const RayKernelEnv& env,
                  const std::atomic<bool>* abortFlag)
{
    Kernel kernel = chooseKernel(renderMode, *env.params);
    for (int j = first; j < end; ++j) {
        if (abortFlag && abortFlag->load(std::memory_order_relaxed)) return;
        RayJob& job = jobs[j];
        uint8_t colour[3];
        if (kernel)
            kernel(job, job.ray, colour, env);
        else
            background(env, colour);
        job.output[0] = colour[0];
        job.output[1] = colour[1];
        job.output[2] = colour[2];
    }
}

void castOneJob(int renderMode, RayJob& job, const RayKernelEnv& env, uint8_t out[3])
{
    Kernel kernel = chooseKernel(renderMode, *env.params);
    if (kernel)
        kernel(job, job.ray, out, env);
    else
        background(env, out);
}

}  // namespace isImageSDK
