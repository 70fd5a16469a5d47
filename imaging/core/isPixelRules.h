// How the readers turn a file's stored samples into the samples of a slice:
// the choice of element type and the rescale into that type.
#pragma once

#include <cstddef>

namespace isImageSDK {

// Element type for a file's Bits Allocated and the decoder's pixel type
// (0 one byte, 1 two bytes, 2 three bytes RGB), or -1 when the samples are
// unusable:
// - 8 bits: pixel type 0 → unsigned 8-bit, 2 → RGB, anything else unusable;
// - 24 bits: RGB;
// - 16 bits with pixel type 1: float for PET, or when the slope or the
//   intercept has a fractional part, or the slope exceeds 1; otherwise signed
//   16-bit when the samples are signed (display code 1 or 3) or the slope or
//   the intercept is negative; otherwise unsigned 16-bit;
// - anything else unusable.
int decideElementType(int bitsAllocated, int pixelType, int modality, float slope, float intercept,
                      int displayCode);

// Converts n stored samples (of all frames) into the samples of a slice of
// the given element type. 8-bit and RGB samples are copied; 16-bit sources
// are read as signed when the display code is 1 or 3, unsigned otherwise.
// 16-bit targets copy the samples unchanged when the slope truncates to 1 and
// the intercept to 0; otherwise each becomes sample × slope + intercept,
// truncated toward zero and clamped to the target's range (a value beyond the
// range saturates, it never wraps). Float targets take
// sample × slope + intercept.
void convertSamples(const void* source, void* target, size_t n, int elementType, int displayCode, float slope,
                    float intercept);

}  // namespace isImageSDK
