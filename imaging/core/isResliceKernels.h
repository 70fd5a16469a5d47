// Resampling kernels of the plane and oblique reslice filters, working on raw
// typed buffers. The filters (isImagePlane, isImageReslice2D) fill the
// argument records from their image data; tools and benchmarks may call the
// kernels directly.
//
// Element type codes: 0 unsigned 8-bit, 1 signed 16-bit, 2 32-bit float,
// 3 unsigned 16-bit, 4 RGB (three bytes per pixel).
#pragma once

#include <cstdint>

#include "imaging/core/isImageTypes.h" // element types, projection modes, bytesPerSample

namespace isImageSDK {

// Interpolation of the oblique reslice; any other value counts as linear.
enum InterpolationMode
{
    INTERPOLATION_LINEAR = 1,
    INTERPOLATION_CUBIC = 2,
};

// Plane orientations of the plane filter.
enum PlaneOrientation
{
    PLANE_ORIGINAL = 0, // the acquired slices (across z)
    PLANE_SAGITTAL = 1, // across x, counted from the far end of the x axis
    PLANE_CORONAL = 2,  // across y
};

// Largest value a sum may store for an element type code.
double projectionSumLimit(int elementType);

// Odd sample count of a slab of `thickness` mm at `spacing` mm between
// samples: 2 * trunc(thickness / (2 * spacing)) + 1, at least 1. A spacing
// that is not a positive finite number gives 1 (no slab).
int slabSampleCountFor(double thickness, double spacing);

// Planes actually combined for plane `index` with a slab of `count` samples
// among `planes` planes: the slab is cut at the ends of the volume, not
// shifted.
struct SlabRange
{
    int first = 0;
    int last = 0;
    int count() const { return last - first + 1; }
};
SlabRange slabRange(int index, int count, int planes);

// One plane along one of the volume's own axes, optionally a slab projection.
//
// Output pixel (u, v) of plane p is voxel (u, v, p) for PLANE_ORIGINAL
// (output dimX x dimY), voxel (dimX - 1 - p, v, u) for PLANE_SAGITTAL (output
// dimZ x dimY) and voxel (v, p, u) for PLANE_CORONAL (output dimZ x dimX).
struct PlaneExtraction
{
    const void* voxels = nullptr;        // contiguous volume, x fastest, then y, then z; or:
    const void* const* slices = nullptr; // dimZ slice buffers of dimX * dimY samples each
    int dimensions[3] = {0, 0, 0};
    int elementType = 1;
    int orientation = PLANE_ORIGINAL;
    int sliceIndex = 0;
    int slabSampleCount = 1;
    int projectionMode = PROJECTION_MAX;
    void* output = nullptr; // output width * height samples, rows packed
};

// Fills the output; false (output untouched) for missing buffers, an unknown
// orientation or element type, or an index outside the planes.
bool extractPlane(const PlaneExtraction& args);

// Sampling of an oblique plane (and of the parallel planes of a slab).
//
// Sample k of output pixel (u, v) lies, in the volume's local millimetre
// frame, at
//     p = ((origin + s * slabStep) + v * rowStep) + u * columnStep,
//     s = k - (slabSampleCount - 1) / 2,
// evaluated per component in single precision in that order. Positions
// outside the volume give the background value, which takes part in the
// projection like any other sample.
struct ResliceSampling
{
    const void* voxels = nullptr; // contiguous volume, x fastest, then y, then z
    int dimensions[3] = {0, 0, 0};
    float spacing[3] = {1.0f, 1.0f, 1.0f};
    int elementType = 1;

    void* output = nullptr; // width * height samples of the same element type
    int width = 0;
    int height = 0;

    float origin[3] = {0.0f, 0.0f, 0.0f};
    float columnStep[3] = {1.0f, 0.0f, 0.0f};
    float rowStep[3] = {0.0f, 1.0f, 0.0f};
    float slabStep[3] = {0.0f, 0.0f, 1.0f};

    int slabSampleCount = 1;
    int projectionMode = PROJECTION_MAX;
    int interpolation = INTERPOLATION_LINEAR;
    float backgroundValue = 0.0f;
};

// Fills the output. False (output untouched) for missing buffers, RGB or
// unknown element types, non-positive dimensions, more than 2^31 - 1 voxels,
// or a spacing that is not a positive finite number. Non-finite plane
// geometry fills the background.
bool resliceVolume(const ResliceSampling& args);

} // namespace isImageSDK
