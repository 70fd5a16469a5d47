// dcmSDK: the DICOM library of the viewer.
//
// Reads DICOM files (tags, pixels of every supported transfer syntax, PNG
// previews), writes secondary-capture files from pixels and names the storage
// folders. The network services (storage server, send, echo, find, retrieve)
// are added to this same header by the network layer.
//
// Conventions: every text passed in or out is NUL-terminated UTF-8; every copy
// into a caller's buffer is bounded by that buffer and never cuts a UTF-8
// character. No call throws. This header does not expose any DICOM toolkit
// type.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace dcmSDK {

// ---- global callbacks --------------------------------------------------------

using LogCallback = void (*)(const char* text);
using MsgCallback = void (*)(uint32_t type, void* data);
// Converts a legacy (non-UTF-8) text to UTF-8: fills dst with zeros and copies
// at most dstLen - 1 bytes of the result.
using Gb2Utf8Callback = void (*)(const char* src, char* dst, int dstLen);
// Returns a new buffer (released by the caller with free()) or null.
using ReadFileCallback = unsigned char* (*)(const char* path, uint32_t* len, bool binary);
// Writes w x h pixels of 8-bit RGB (rows top to bottom, no padding) as PNG.
using SavePngCallback = bool (*)(int w, int h, const unsigned char* rgb, const char* path);

// The first setter also runs the one-time library initialisation (codecs,
// dictionary, log routing). The library may call the callbacks from its own
// threads; the log sink must be quick and must not call back into the library.
void setLogCallback(LogCallback cb);
void setMsgCallback(MsgCallback cb);
void setgb2utf8Callback(Gb2Utf8Callback cb);
void setReadFileCallback(ReadFileCallback cb);
void setSavePngCallback(SavePngCallback cb);

// Ends the library: unregisters the codecs and the log routing. Call once at
// teardown after every user of the library has stopped. Idempotent; readers
// used afterwards fail cleanly.
void dcmsdk_destroy();

// Message types delivered through the message callback.
enum : uint32_t {
  DCM_MSG_SEND_PROGRESS = 0,
  DCM_MSG_SEND_DONE = 1,
  DCM_MSG_SEND_FAILED = 2,
  DCM_MSG_IMAGE_STORED = 3,
  DCM_MSG_ECHO_REPLY = 4,
  DCM_MSG_FIND_RESULT = 5,
  DCM_MSG_FIND_FAILED = 6,
  DCM_MSG_GET_PROGRESS = 7,
  DCM_MSG_GET_FILE = 8,
  DCM_MSG_GET_SERIES_STARTED = 9,
  DCM_MSG_GET_READY = 10,
  DCM_MSG_GET_FAILED = 11,
};

// Record of one stored or imported file (message 3). Allocated with new by
// the library; the receiver deletes it.
struct DCM_MESSAGE {
  char modality[256];
  char studyUID[256];
  char studyID[256];
  char studyDate[256];
  char studyTime[256];
  char seriesUID[256];
  char seriesDate[256];
  char seriesTime[256];
  char studyDescription[256];
  char seriesDescription[256];
  char sopInstanceUID[256];
  char patientName[256];
  char patientID[256];
  char birthDate[256];
  char sex[256];
  char instanceNumber[256];
  char fileName[1024];
  char folder[1024];
  DCM_MESSAGE() { std::memset(static_cast<void*>(this), 0, sizeof *this); }
};
static_assert(sizeof(DCM_MESSAGE) == 6144);

// One row of a tag list.
struct DicomTags {
  char tag[50];           // "(gggg,eeee)", prefixed by ">" per sequence level
  char value[256];        // UTF-8 text, cut at a character boundary
  char description[262];  // dictionary keyword, "PrivateTag" or "UnknownTag"
  unsigned char isPrivate;
};
static_assert(offsetof(DicomTags, value) == 50);
static_assert(offsetof(DicomTags, description) == 306);
static_assert(offsetof(DicomTags, isPrivate) == 568);

// ---- the file reader -----------------------------------------------------------

// One instance serves one thread at a time; separate instances run
// concurrently. Buffers returned belong to the reader and stay valid until the
// next setFile or the reader's end.
class dcmReader {
 public:
  enum PixelType { PIXEL_8 = 0, PIXEL_16 = 1, PIXEL_RGB = 2, PIXEL_UNUSABLE = 3 };

  dcmReader();
  ~dcmReader();
  dcmReader(const dcmReader&) = delete;
  dcmReader& operator=(const dcmReader&) = delete;

  // Engine language code; selects the legacy character set used for texts
  // of files that do not declare theirs.
  void setLanguage(int engineLanguage);

  // True when the file is DICOM and its header could be parsed. Pixel data is
  // not loaded here.
  bool setFile(const char* path);

  // Writes "" first, then the element's value (multi-values joined by "\",
  // padding removed, UTF-8, cut to size - 1 bytes). True when present.
  // Radiopharmaceutical tags (0018,1070-1078) are also found in the first item
  // of the Radiopharmaceutical Information Sequence.
  bool readDicomTagString(unsigned short group, unsigned short element, char* buf, int size);

  // Presence and value as unsigned 16-bit; decimal texts (IS/DS) are read from
  // their leading number, rounded toward zero, and must lie within 0..65535.
  bool readDicomTagUint16(unsigned short group, unsigned short element, unsigned short& value);

  // Pixel type without decoding: 8-bit grey 0, 16-bit grey 1, 8-bit colour or
  // palette 2. False for anything the reader cannot deliver (other depths, a
  // transfer syntax without decoder).
  bool readDicomPixelType(PixelType& type);

  // Decoded stored values of all frames (no rescale, no VOI): grey samples
  // with Bits Stored masked and sign-extended, colour as interleaved RGB.
  // count = pixels of all frames. Null on any failure (see getLastError).
  const void* readDicomPixelPointer(PixelType& type, int64_t& count);

  // Writes the first frame as an 8-bit RGB PNG (the file's first window, else
  // a min/max window). thumbnail: the longer side at most 256 pixels.
  bool convertToPngFile(const char* path, bool thumbnail);

  // Why the last call failed ("" after success).
  const char* getLastError() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

// ---- tag reading for lists and imports ----------------------------------------

class dcmReadTag {
 public:
  int language = 0;

  dcmReadTag();
  ~dcmReadTag();
  dcmReadTag(const dcmReadTag&) = delete;
  dcmReadTag& operator=(const dcmReadTag&) = delete;

  void setLanguage(int engineLanguage) { language = engineLanguage; }
  bool setFile(const char* path);
  // Top-level value as UTF-8, "" when absent.
  std::string getTag(unsigned short group, unsigned short element);
  // Every element of the file: the meta header first, then the dataset in
  // file order, sequence items depth first. Owned by this object until the
  // next setFile or its end; null with count 0 when no file is loaded.
  DicomTags** getTagList(int& count);
  // Pixel spacing x / pixel spacing y; 1 when unknown.
  float getImageScale();

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

// ---- writing a secondary-capture file from pixels ------------------------------

class dcmConvertor {
 public:
  struct PIXEL_Mem_ConvertorData {
    char outPath[1024];
    const uint16_t* pixels;  // rows x cols samples, row by row
    char srcPath[1024];      // patient and study attributes come from here
    char uid1[256];
    char uid2[256];
    char t1[100];  // Instance Number
    char t2[100];  // Acquisition Number
    char t3[100];  // Series Number
    int32_t rows;
    int32_t cols;
    float windowWidth;
    float windowCenter;
    float spacingX;
    float spacingY;
    float pos[3];
    float rowDir[3];
    float colDir[3];
    int32_t highBit;
    float slope;
    float intercept;
    int32_t signedFlag;
  };

  // Writes outPath (through a temporary file in the same folder). True only
  // when the file exists. Thread-safe: no shared state.
  bool convert(PIXEL_Mem_ConvertorData& rec);
};
static_assert(sizeof(dcmConvertor::PIXEL_Mem_ConvertorData) == 2944);
static_assert(offsetof(dcmConvertor::PIXEL_Mem_ConvertorData, pixels) == 1024);
static_assert(offsetof(dcmConvertor::PIXEL_Mem_ConvertorData, srcPath) == 1032);
static_assert(offsetof(dcmConvertor::PIXEL_Mem_ConvertorData, uid1) == 2056);
static_assert(offsetof(dcmConvertor::PIXEL_Mem_ConvertorData, uid2) == 2312);
static_assert(offsetof(dcmConvertor::PIXEL_Mem_ConvertorData, t1) == 2568);
static_assert(offsetof(dcmConvertor::PIXEL_Mem_ConvertorData, t2) == 2668);
static_assert(offsetof(dcmConvertor::PIXEL_Mem_ConvertorData, t3) == 2768);
static_assert(offsetof(dcmConvertor::PIXEL_Mem_ConvertorData, rows) == 2868);
static_assert(offsetof(dcmConvertor::PIXEL_Mem_ConvertorData, windowWidth) == 2876);
static_assert(offsetof(dcmConvertor::PIXEL_Mem_ConvertorData, spacingX) == 2884);
static_assert(offsetof(dcmConvertor::PIXEL_Mem_ConvertorData, pos) == 2892);
static_assert(offsetof(dcmConvertor::PIXEL_Mem_ConvertorData, rowDir) == 2904);
static_assert(offsetof(dcmConvertor::PIXEL_Mem_ConvertorData, colDir) == 2916);
static_assert(offsetof(dcmConvertor::PIXEL_Mem_ConvertorData, highBit) == 2928);
static_assert(offsetof(dcmConvertor::PIXEL_Mem_ConvertorData, slope) == 2932);
static_assert(offsetof(dcmConvertor::PIXEL_Mem_ConvertorData, signedFlag) == 2940);

// ---- storage naming (the server itself comes with the network layer) -----------

class dcmServer {
 public:
  // Folder of a series relative to the storage root: "P/S/E", exactly three
  // sanitised components, no trailing "/". P carries the patient ID and a hash
  // of (name, ID), so patients whose texts sanitise alike never share a folder.
  // False when the result would not fit 1024 bytes.
  static bool getDicomFolder(const char* name, const char* id, const char* studyUID,
                             const char* seriesUID, char out[1024]);
};

}  // namespace dcmSDK
