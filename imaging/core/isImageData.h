// The image or volume that every reader fills and every filter, viewer and
// renderer reads: an ordered list of slices plus the geometry of the whole.
//
// A series read slice by slice keeps one buffer per slice; a regular stack
// built with `buildVolume` keeps all samples in one contiguous buffer, slice i
// starting i × width × height × bytes-per-sample bytes in, which the volume
// renderer addresses through `getScalarPointer`.
//
// Image data is a pipeline node without an output: the reader or filter that
// produces it is its input. Dynamic and gated series can be split into a chain
// of volumes (frames), one per phase.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/cocos2d.h"
#include "imaging/core/SliceRecord.h"
#include "imaging/core/isFilterObject.h"
#include "imaging/core/isImageTypes.h"

namespace isImageSDK {

// Frame layouts recognised in a series read slice by slice.
enum FrameLayout : int32_t {
  FRAME_LAYOUT_NONE = 0,
  FRAME_LAYOUT_DYNAMIC = 1,  // phases counted by timeSliceCount
  FRAME_LAYOUT_GATED = 2,    // phases counted by timeSlotCount
};

class isImageData : public isFilterObject {
 public:
  // Allocates and initialises; not autoreleased (the caller holds the only
  // reference). Null when initialisation fails.
  static isImageData* create();
  ~isImageData() override;

  // Releases the following frame, detaches from the pipeline and frees the
  // slices.
  void clear() override;
  // Id -1, name empty, no input or output, marks false, then `reset`.
  bool init() override;
  // Image data has no output.
  isFilterObject* getOutput() override { return nullptr; }
  void createOutput() override {}

  // Frees the samples and the slice records. The frame links are dropped
  // (without releasing) and the frame count returns to 1.
  void releaseSlices();
  // Every field back to its default; run `releaseSlices` first.
  void reset();

  // Appends a slice with its own, uninitialised buffer of
  // size[0] × size[1] × frameCount samples. Refuses (null, with the
  // out-of-memory notification) a buffer of kMaxBufferBytes or more, or one
  // that cannot be allocated.
  SliceRecord* addSlice(const int32_t* size, int frameCount, const float* spacing,
                        int elementType, int positionCode, int feetFirstCode,
                        const cocos2d::Mat4& matrix);
  // Appends a copy of the record (fields and samples; zeros when it has none).
  // False when the slice was refused, else the record's `pixelsLoaded`.
  bool addSliceCopy(const SliceRecord* record);
  // Replaces the content by dimensions[2] zeroed slices; more than one slice
  // share one contiguous buffer when it can be had. False when a buffer could
  // not be allocated (the image is then empty).
  bool buildVolume(const int32_t* dimensions, const float* spacing, int elementType,
                   int positionCode, int feetFirstCode, const cocos2d::Mat4& matrix);
  // Sets the user transform on this image and every following frame.
  void applyTransform(const cocos2d::Mat4& matrix);

  // The contiguous samples of a volume after a full update; null when the
  // image is not a volume or its volume fell back to separate buffers.
  void* getScalarPointer();
  void getSpacing(float* out);  // three values
  void getSpacing(float& x, float& y, float& z);
  void getDimensions(int32_t* out);  // three values
  void getDimensions(int32_t& x, int32_t& y, int32_t& z);
  int getSliceCount();
  bool isVolume();
  // The slice at that index after a full update; null outside 0 ≤ index < z.
  SliceRecord* getSlice(int index);
  // True when the first slice shows its samples inverted (display code > 1).
  bool isInvertedGrey();
  // The first slice's default window; outputs untouched without slices.
  void getDefaultWindow(float* width, float* centre);
  void getDefaultWindow(float& width, float& centre) { getDefaultWindow(&width, &centre); }

  std::string getIdentifier() const { return identifier; }
  const std::string& getDescription() const { return description; }
  // Set on this image and every following frame.
  void setIdentifier(const std::string& text);
  void setDescription(const std::string& text);

  // --- Multi-frame (4-D) sets ---

  // The frame layout of a series read slice by slice (FrameLayout).
  int detectFrameLayout();
  // Whether the first n slices form an evenly spaced stack along the normal
  // of slice 0, with a spacing above 0.01 mm.
  bool isRegularStack(int n);
  // Rebuilds the image as the first frame of a chain of volumes, one per
  // phase, when a frame layout is detected; otherwise leaves it untouched.
  void splitFrames();
  // Joins volumes of equal geometry into one frame set headed by the first;
  // null (and nothing changed) when they do not match.
  static isImageData* createFrameSet(const std::vector<isImageData*>& images);
  isImageData* getFirstFrame();
  bool isMultiFrame() const;
  // The frame with that index, or the image itself when frames are not
  // linked; null outside the frame count.
  isImageData* getFrame(int index);

  // --- State (defaults after `reset` in brackets) ---
  cocos2d::Mat4 dataMatrix;   // placement of the data [identity]
  cocos2d::Mat4 userMatrix;   // transform applied by a viewer [identity]
  cocos2d::Mat4 worldMatrix;  // userMatrix × dataMatrix [identity]
  void* volumeBuffer = nullptr;
  float spacing[3] = {1.0f, 1.0f, 1.0f};
  int32_t dimensions[3] = {0, 0, 0};  // z is the number of slices
  bool volumeLayout = false;
  bool ownsVolumeBuffer = false;
  bool hasData = false;
  int32_t positionCode = 0;
  int32_t feetFirstCode = 0;
  int32_t elementType = ELEMENT_INT16;
  std::vector<SliceRecord*> slices;  // owned
  std::string identifier;
  std::string description;
  // Frame fields.
  bool multiFrame = false;          // set on the first frame of a set
  int32_t frameCount = 1;           // on the first frame: number of frames
  isImageData* nextFrame = nullptr;   // referenced by this frame
  isImageData* firstFrame = nullptr;  // plain pointer
  int32_t currentFrame = 0;         // frame being shown (kept on the first)
  bool frameLinked = true;          // false: frame look-ups answer this image

 protected:
  isImageData() = default;

 private:
  size_t volumeBytes_ = 0;
};

}  // namespace isImageSDK
