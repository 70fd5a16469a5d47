// Empty-space grid of the ray caster: the largest voxel value of every block
// of 4 x 4 x 4 voxels, and the bounding box of the blocks that reach a
// threshold (the window's lower bound in stored voxel units).
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/core/isRayCastTypes.h"

namespace isImageSDK {

class vrSpaceLeapingBase {
public:
    virtual ~vrSpaceLeapingBase() = default;

    // Takes a volume: blocks sized to it, maxima reset, box = whole volume.
    virtual void attachVolume(const RayCastVolume* volume) = 0;
    // Fills the maxima once per volume.
    virtual void buildMaxima() = 0;
    virtual void setThreshold(int16_t threshold) = 0;
    // True when the block of (position + 0.5 per axis) lies below the threshold.
    virtual bool isEmpty(const float position[3]) const = 0;
    // x min, x max, y min, y max, z min, z max in voxel units.
    const float* getBoundingBox() const { return m_box; }
    void copyBoundingBox(float out[6]) const;

    int kind() const { return m_kind; }
    bool isBuilt() const { return m_built; }
    int blocksX() const { return m_blocks[0]; }
    int blocksY() const { return m_blocks[1]; }
    int blocksZ() const { return m_blocks[2]; }
    int slabStride() const { return m_slabStride; }
    // The coarse level: blocks of 4 x 4 x 4 blocks (16 voxels a side).
    int coarseBlocksX() const { return m_coarseBlocks[0]; }
    int coarseSlabStride() const { return m_coarseSlabStride; }
    // The coarsest level: blocks of 4 x 4 x 4 coarse blocks (64 voxels a side).
    int coarsestBlocksX() const { return m_coarsestBlocks[0]; }
    int coarsestSlabStride() const { return m_coarsestSlabStride; }
    int blockIndex(float x, float y, float z) const
    {
        return static_cast<int>(0.25f * z) * m_slabStride + static_cast<int>(0.25f * y) * m_blocks[0]
             + static_cast<int>(0.25f * x);
    }

protected:
    explicit vrSpaceLeapingBase(int kind) : m_kind(kind) {}
    void resetLayout(const RayCastVolume* volume);

    int m_kind;
    int m_slabStride = 0;
    int m_blocks[3] = {0, 0, 0};
    int m_coarseSlabStride = 0;
    int m_coarseBlocks[3] = {0, 0, 0};
    int m_coarsestSlabStride = 0;
    int m_coarsestBlocks[3] = {0, 0, 0};
    float m_inverseBlockSize = 0.25f;
    bool m_built = false;
    const RayCastVolume* m_volume = nullptr;
    int16_t m_threshold = 200;
    int m_blockSize = 4;
    float m_box[6] = {0, 0, 0, 0, 0, 0};
};

// Grid of a signed 16-bit volume.
class vrSpaceLeaping : public vrSpaceLeapingBase {
public:
    vrSpaceLeaping() : vrSpaceLeapingBase(1) {}
    ~vrSpaceLeaping() override;

    void attachVolume(const RayCastVolume* volume) override;
    void buildMaxima() override;
    void setThreshold(int16_t threshold) override;
    bool isEmpty(const float position[3]) const override;

    const int16_t* maxima() const { return m_maxima; }
    // Per block, the largest value a trilinear sample whose lower corner lies
    // in the block can take (the block and its upper neighbours).
    const int16_t* sampleMaxima() const { return m_sampleMaxima.empty() ? nullptr : m_sampleMaxima.data(); }
    // Per coarse block, the largest sample maximum of its blocks.
    const int16_t* coarseSampleMaxima() const
    {
        return m_coarseSampleMaxima.empty() ? nullptr : m_coarseSampleMaxima.data();
    }
    const int16_t* coarsestSampleMaxima() const
    {
        return m_coarsestSampleMaxima.empty() ? nullptr : m_coarsestSampleMaxima.data();
    }
    int16_t threshold() const { return m_threshold; }

private:
    void computeBoundingBox();
    int16_t* m_maxima = nullptr;
    std::vector<int16_t> m_sampleMaxima;
    std::vector<int16_t> m_coarseSampleMaxima;
    std::vector<int16_t> m_coarsestSampleMaxima;
};

// Grid of a 32-bit float volume; its threshold is a float so that volumes of
// small values (counts, SUV) are clipped at the window exactly.
class vrSpaceLeapingFloat : public vrSpaceLeapingBase {
public:
    vrSpaceLeapingFloat() : vrSpaceLeapingBase(2) {}
    ~vrSpaceLeapingFloat() override;

    void attachVolume(const RayCastVolume* volume) override;
    void buildMaxima() override;
    void setThreshold(int16_t threshold) override { setThreshold(static_cast<float>(threshold)); }
    bool isEmpty(const float position[3]) const override;
    void setThreshold(float threshold);

    const float* maxima() const { return m_maxima; }
    const float* sampleMaxima() const { return m_sampleMaxima.empty() ? nullptr : m_sampleMaxima.data(); }
    const float* coarseSampleMaxima() const
    {
        return m_coarseSampleMaxima.empty() ? nullptr : m_coarseSampleMaxima.data();
    }
    const float* coarsestSampleMaxima() const
    {
        return m_coarsestSampleMaxima.empty() ? nullptr : m_coarsestSampleMaxima.data();
    }
    float threshold() const { return m_floatThreshold; }

private:
    void computeBoundingBox();
    float* m_maxima = nullptr;
    std::vector<float> m_sampleMaxima;
    std::vector<float> m_coarseSampleMaxima;
    std::vector<float> m_coarsestSampleMaxima;
    float m_floatThreshold = 200.f;
};

}  // namespace isImageSDK
