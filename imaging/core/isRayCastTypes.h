// Plain records shared by the ray caster, its kernels and the empty-space grid.
#pragma once

#include <cstdint>

namespace isImageSDK {

// Element type codes of image data (bytes per sample): 0 unsigned 8-bit,
// 1 signed 16-bit, 2 32-bit float, 3 unsigned 16-bit, 4 RGB.
enum RayCastElementType : int32_t {
    kRayCastUInt8 = 0,
    kRayCastInt16 = 1,
    kRayCastFloat32 = 2,
    kRayCastUInt16 = 3,
    kRayCastRGB = 4,
};

// A volume handed to the ray caster; kept by pointer, never owned.
// Positions in the volume frame are millimetres with the origin at the centre
// of the first voxel and the axes along rows, columns and slices.
struct RayCastVolume {
    const void* voxels = nullptr;     // x fastest, then y, then z
    int32_t dimensions[3] = {0, 0, 0};
    float spacing[3] = {1.f, 1.f, 1.f};
    int32_t elementType = kRayCastInt16;
    int32_t reserved0 = 0;
    int32_t reserved1 = 0;
    float matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};  // column-major, volume frame -> world
};

// What the kernels know of the volume being cast.
struct RayCastParams {
    int32_t dimensions[3] = {0, 0, 0};
    int64_t voxelCount = 0;
    int64_t sliceSize = 0;            // x dimension * y dimension
    double inverseSpacing[3] = {1, 1, 1};
    double spacing[3] = {1, 1, 1};
    const void* voxels = nullptr;     // int16_t or float, see elementType
    int32_t elementType = kRayCastInt16;
    // Trilinear weights, 50 bins per axis, eight weights per entry.
    int32_t weightEntries = 125000;
    int32_t weightsPerSlab = 2500;
    int32_t weightResolution = 50;
    float* weights = nullptr;
    float inverseResolution = 1.f / 50.f;
    int32_t interpolation = 1;        // 1 trilinear, otherwise nearest
};

// The window and tables the kernels read.
struct RayCastTransfer {
    uint8_t background[3] = {0, 0, 0};
    float lowerBound = 0.f;           // level - width / 2
    float scale = 1.f;                // 255 / width
    float dimensions[3] = {0, 0, 0};
    float inverseMatrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    float* lookup = nullptr;          // 65,536 entries of (opacity 0..1, R, G, B 0..255)
};

// The values every ray of a frame shares; each kernel works on its own copy.
struct RayValues {
    float step[3] = {0, 0, 0};        // one step in voxel units
    int32_t stepCount = 0;
    float stepLength = 0.f;           // |step| in voxel units
    float inverseStepLength = 0.f;
    float direction[3] = {0, 0, 0};
    float span[3] = {0, 0, 0};        // stepCount * step
    float endOffset[3] = {0, 0, 0};
    float endMargin = 0.01f;
};

// One cast pixel.
struct RayJob {
    float position[3] = {0, 0, 0};    // ray start in voxel units; advanced by the kernels
    RayValues ray;
    uint8_t* output = nullptr;        // the pixel's three bytes
};

}  // namespace isImageSDK
