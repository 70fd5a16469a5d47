// dcmSDK: the DICOM library of the viewer.
//
// Reads DICOM files (tags, pixels of every supported transfer syntax, PNG
// previews), writes secondary-capture files from pixels, names the storage
// folders and runs the DICOM network services (storage server, send, echo,
// find, retrieve).
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
// Returns a new buffer (released by the caller with delete[]) or null.
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
  // of the Radiopharmaceutical Information Sequence. Enhanced multi-frame
  // images: Pixel Spacing, Slice Thickness, Spacing Between Slices, Image
  // Position and Orientation (Patient), Rescale Intercept, Slope and Type and
  // Window Center, Width and Explanation absent at the top level are taken
  // from the Shared Functional Groups, else from the first frame's Per-frame
  // Functional Groups.
  bool readDicomTagString(unsigned short group, unsigned short element, char* buf, int size);

  // The element as one frame (0-based) of a multi-frame image carries it in
  // its own item of the Per-frame Functional Groups (in any functional group
  // macro there); text rules as readDicomTagString. False when that item does
  // not hold it (the value of the whole image then applies).
  bool readDicomFrameTagString(int frame, unsigned short group, unsigned short element, char* buf, int size);

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

// ---- the storage server ---------------------------------------------------------

// DICOM storage server (C-STORE and C-ECHO) on a pool of worker threads. Each
// received file is written to a temporary file under "<root>.incoming/",
// renamed into "<root><getDicomFolder(...)>/<SOP Instance UID>" and only then
// acknowledged; every stored file is reported as message 3 with a
// DCM_MESSAGE that the receiver deletes. Any called AE title is accepted.
class dcmServer {
 public:
  int language = 0;  // legacy character set of texts without a declared one

  dcmServer();
  ~dcmServer();  // stops the server
  dcmServer(const dcmServer&) = delete;
  dcmServer& operator=(const dcmServer&) = delete;

  // host is informational (the server listens on every local address);
  // port 1..65535; AE title 1-16 characters, else "fernwick".
  void setPort(const char* host, const char* port, const char* aeTitle);
  // Storage root; kept with a trailing "/".
  void setRoot(const char* folder);
  const char* getRoot() const;
  // True once the server listens. False when the root cannot be used, the
  // port is invalid or busy, or the server already runs.
  bool BeginDicomServer();
  // Ends every association and the listener. Idempotent.
  void StopDicomServer();
  // While false, every C-STORE is refused (Out of Resources), nothing is kept
  // and nothing is reported. On by default.
  void setStoreEnabled(bool on);
  bool isRunning() const;
  // Port actually used (0 when not running).
  int getPort() const;

  // Folder of a series relative to the storage root: "P/S/E", exactly three
  // sanitised components, no trailing "/". P carries the patient ID and a hash
  // of (name, ID), so patients whose texts sanitise alike never share a folder.
  // False when the result would not fit 1024 bytes.
  static bool getDicomFolder(const char* name, const char* id, const char* studyUID,
                             const char* seriesUID, char out[1024]);

  // Describes a file as this server describes a received one: the sixteen
  // texts (empty name, ID, study and series UID give "ANONYMOUS", "EmptyID",
  // "unknownStudy", "unknownSeries"; sex "U" unless it begins with F or M;
  // instance number "0" when empty; study and series time cut to six
  // characters, the other texts to 255 bytes), folder (getDicomFolder + "/")
  // and fileName (the SOP Instance UID as a safe name; without one,
  // "noUID_" + 16 hex digits of the FNV-1a hash of the dataset, which is also
  // the record's UID). False, with the reason, when the file is not DICOM,
  // cannot be parsed or holds fewer bytes than its elements declare.
  static bool describeFile(const char* path, int language, DCM_MESSAGE& rec, std::string* why = nullptr);

  // Moves a finished file (on the root's file system) to root + rec.folder +
  // rec.fileName the way the server places a received file: the folders are
  // made one level at a time and none may be a symbolic link or lead out of
  // the root; a file of another instance is never replaced (a hashed name is
  // taken then, and rec.fileName follows). The folder is not flushed: the
  // caller keeps the source. False, with the reason, and the file left where
  // it was, when it cannot be placed.
  static bool placeFile(const char* tmpPath, const char* root, DCM_MESSAGE& rec, std::string* why = nullptr);

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

// ---- network clients --------------------------------------------------------------
//
// Each client owns one worker thread; its calls return at once and results
// arrive as messages from that thread. Setting `stop` ends the current work
// promptly (associations are aborted) and silences the object for good; the
// destructor sets it and waits for the worker.

// Sends files (a file, or every file below a folder) with C-STORE.
// Messages: 0 {"taskID":"<id>","value":"<percent>"} after each file,
// then 1 {"taskID":"<id>"} when every DICOM file was accepted, else 2.
class dcmSender {
 public:
  std::atomic<bool> stop{false};

  dcmSender();
  ~dcmSender();
  dcmSender(const dcmSender&) = delete;
  dcmSender& operator=(const dcmSender&) = delete;

  void setIP(const char* host, const char* port);
  // Called AE title of the peer; empty: "ANY-SCP".
  void setCalledAE(const char* ae);
  // Calling (own) AE title; empty: "fernwick".
  void setCallingAE(const char* ae);
  // False when a send is running, the path does not exist or stop is set.
  // Otherwise isSending() is true from before this call returns until the
  // last message of the task has been delivered.
  bool send(unsigned int taskId, const char* fileOrFolder);
  bool isSending() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

// Verification (C-ECHO) of many nodes, at most 16 probes at a time.
// Entries: "ip,port" or "name,ip,port" with an optional fourth field, the
// called AE title. Message 4 per answer:
// {"ok":"1"|"0","appid":"dcm:<ip>:<port>","port":..,"ip":..,"name":..}.
// sweep: only nodes that answered are reported, each probe waits at most
// 0.8 s for the TCP connection; otherwise every entry is reported.
class dcmEcho {
 public:
  std::atomic<bool> stop{false};

  dcmEcho();
  ~dcmEcho();
  dcmEcho(const dcmEcho&) = delete;
  dcmEcho& operator=(const dcmEcho&) = delete;

  // Copies the entries (at most 1024; entries cut to 99 bytes) and returns.
  // A sweep arriving while another sweep waits replaces the waiting one.
  void echo(char** entries, int count, bool sweep);
  // Calling (own) AE title; empty: "fernwick".
  void setCallingAE(const char* ae);

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

// Study-root C-FIND. Queries run one after another in call order. Each
// match is message 5: items "gggg,eeee[value]" (lower-case hex, value UTF-8
// with "]" shown as ")"); a failure is message 6 "find failed: <reason>".
// calledAE empty: "ANY-SCP"; callingAE empty: "fernwick".
class dcmFind {
 public:
  std::atomic<bool> stop{false};

  dcmFind();
  ~dcmFind();
  dcmFind(const dcmFind&) = delete;
  dcmFind& operator=(const dcmFind&) = delete;

  // Studies whose patient name matches the pattern ("*" wildcards).
  bool findPatientByName(const char* host, const char* port, const char* calledAE, const char* callingAE,
                         const char* pattern);
  // Series of one study.
  bool findStudyByUID(const char* host, const char* port, const char* calledAE, const char* callingAE,
                      const char* studyUID);

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

// Retrieve of series, one task at a time in call order: C-GET into
// "<destFolder>/<series UID>/", and when the peer does not serve C-GET, a
// C-MOVE to the calling AE title (the own storage server).
// Messages: 9 (series UID) when a task starts; 7 "<series>|<remaining>|
// <completed>|<failed>|<warning>" per response, always ending with remaining
// 0; then on success 8 (the series folder, C-GET only) and 10 "<patient name>
// <modality> <series number>", on failure 11 (the task record).
class dcmGet {
 public:
  std::atomic<bool> stop{false};

  dcmGet();
  ~dcmGet();
  dcmGet(const dcmGet&) = delete;
  dcmGet& operator=(const dcmGet&) = delete;

  // The ten fields of a task record. calledAE empty: "ANY-SCP"; callingAE
  // empty: "fernwick". False when the series is already queued or running,
  // or a required field (host, port, series UID, destination) is missing.
  bool getSeriesByUID(const char* ip, const char* port, const char* calledAE, const char* callingAE,
                      const char* studyUID, const char* seriesUID, const char* destFolder,
                      const char* patientName, const char* seriesNumber, const char* modality);
  // Number of task records (queued and active).
  int getListSize();
  // Writes every record ("@" between records, "," between the ten fields,
  // each field with "%", "," and "@" written as %25, %2C, %40), NUL
  // terminated, as far as bufSize allows. Returns the bytes the whole text
  // needs including the NUL; call again with a larger buffer when that
  // exceeds bufSize.
  size_t getList(char* buf, size_t bufSize);
  // Removes a queued task: true. The running task cannot be removed: false.
  bool removeTask(const char* seriesUID);

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace dcmSDK
