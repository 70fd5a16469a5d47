// Internals of the DICOM library shared by its sources. Only code inside
// dcmsdk/ includes this header (it pulls in DCMTK).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dcmsdk/dcmSDK.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctk.h>
#include <dcmtk/dcmdata/dcspchrs.h>

namespace dcmSDK::detail {

// ---- init, callbacks, log -------------------------------------------------------
void ensureInit();              // one-time initialisation (thread-safe)
bool isDestroyed();             // dcmsdk_destroy ran
void logLine(const std::string& text);  // "dcmsdk: " + text to the log sink
Gb2Utf8Callback gb2utf8();
SavePngCallback savePng();
MsgCallback msgSink();          // the message callback, null after the end
void netShutdown();             // stops every network object (library end)

// ---- UTF-8 ---------------------------------------------------------------------
bool isValidUtf8(std::string_view s);
// Replaces every invalid sequence by U+FFFD.
std::string sanitizeUtf8(std::string_view s);
// Copies at most size - 1 bytes of s (valid UTF-8) into buf, cut at a character
// boundary, NUL-terminated. size <= 0 writes nothing.
void copyUtf8(const std::string& s, char* buf, int size);
// Length of the longest prefix of s within max bytes that ends at a boundary.
size_t utf8Prefix(std::string_view s, size_t max);

// ---- loaded files --------------------------------------------------------------

// A parsed DICOM file, pixel data left on disk until asked for.
struct LoadedFile {
  std::unique_ptr<DcmFileFormat> ff;
  std::string path;
  uint64_t fileSize = 0;
  int language = 0;
  // Character set conversion of the dataset, set up on first use.
  bool charsetReady = false;
  bool charsetUsable = false;
  std::unique_ptr<DcmSpecificCharacterSet> charset;
  std::vector<std::string> charsetTerms;  // values of Specific Character Set
  bool cjkExtensions = false;             // decoded by decodeIso2022

  DcmDataset* ds() const { return ff ? ff->getDataset() : nullptr; }
};

// Loads and sanity-checks a file; on failure returns null with err filled.
std::unique_ptr<LoadedFile> loadDicomFile(const char* path, std::string& err);
// Inside a catch handler: what went wrong while doing `during`, for an error
// text. Every public entry point turns exceptions into failures with it.
std::string exceptionText(const char* during);
// When the meta header of a file announces an encoding (explicit or implicit
// VR) that its dataset does not use, says so; "" otherwise.
std::string encodingMismatch(const char* path, uint64_t fileSize);

// Raw value of an element of a dataset/item as text (no conversion), or false.
bool elementText(LoadedFile& f, DcmItem& item, const DcmTagKey& key, std::string& raw,
                 bool& isBinaryText);
// Converts a raw text of the file's character set to valid UTF-8.
std::string toUtf8(LoadedFile& f, const std::string& raw, bool personName);
// Specific Character Set terms that need the ISO 2022 decoder below (the
// Japanese, Korean and Chinese code extensions).
bool usesCjkCodeExtensions(const std::vector<std::string>& terms);
// Decodes a text in ISO 2022 code extensions into valid UTF-8; the sets of the
// first term are active at the start and after every delimiter ("\", CR, LF,
// FF, TAB, and for person names "^" and "=").
std::string decodeIso2022(std::string_view text, const std::vector<std::string>& terms, bool personName);
// Value as UTF-8 text following the reader's tag rules (top level, PET
// sequence allow-list). False when absent.
bool readTagUtf8(LoadedFile& f, uint16_t group, uint16_t element, std::string& out);
// Value of an element in a functional group macro of one frame's item of the
// Per-frame Functional Groups Sequence (frame 0-based). False when absent.
bool readFrameTagUtf8(LoadedFile& f, int frame, uint16_t group, uint16_t element, std::string& out);
// True when the element's length field fits within the file (guards lazy
// loading of hostile lengths).
bool lengthFits(const LoadedFile& f, DcmElement* el);

// Name of a transfer syntax ("JPEG 2000 Image Compression (Lossless Only)").
std::string xferName(E_TransferSyntax xs);
bool isJpeg2000(E_TransferSyntax xs);

// ---- records of stored files ---------------------------------------------------

// Fills a record as the storage server reports a stored file: the sixteen
// texts with their defaults, folder (getDicomFolder + "/") and file name
// (noUID_ + the hash of the bytes from datasetOffset on, when the file has no
// SOP Instance UID). False when the folder name does not fit.
bool describeLoaded(LoadedFile& file, uint64_t datasetOffset, DCM_MESSAGE& rec);
// False, with the reason, when a value left on disk reaches past the file.
bool holdsDeclaredBytes(LoadedFile& file, std::string& why);

// ---- pixels --------------------------------------------------------------------

struct PixelInfo {
  uint16_t rows = 0, cols = 0, spp = 1, bitsAllocated = 0, bitsStored = 0, highBit = 0;
  uint16_t pixelRep = 0, planar = 0;
  int32_t frames = 1;
  std::string photometric;
  E_TransferSyntax xfer = EXS_Unknown;
  bool encapsulated = false;
};
bool readPixelInfo(LoadedFile& f, PixelInfo& info, std::string& err);

// Type the reader can deliver, or false with the reason.
bool pixelTypeOf(const PixelInfo& info, dcmReader::PixelType& type, std::string& err);

// Turns the file's pixel data into native little-endian form in place
// (DCMTK codecs, or OpenJPEG for JPEG 2000). After success the dataset's
// pixel data is unencapsulated and info describes it.
bool makeNative(LoadedFile& f, PixelInfo& info, std::string& err);

// 8-bit YBR_FULL and YBR_FULL_422 (by pixel, an even pixel count per frame)
// are converted to RGB here, exactly; ybrFullToRgb turns one frame of such
// samples into interleaved RGB.
bool ybrFullCovers(const PixelInfo& info);
void ybrFullToRgb(const PixelInfo& info, const uint8_t* src, uint8_t* dst);

// Bytes the native pixel data must hold for the layout (frames included).
uint64_t nativeBytes(const PixelInfo& info);
// The native pixel data really holds that many bytes (checked before loading).
bool checkNativeLength(LoadedFile& f, const PixelInfo& info, std::string& err);

// JPEG baseline, extended and lossless (the toolkit's JPEG codec).
bool isJpegProcess(E_TransferSyntax xs);
// Checks the marker structure of every frame of JPEG pixel data up to its
// first scan; the toolkit's decoder must only see streams that pass.
bool checkJpegFragments(DcmPixelSequence* seq, std::string& err);

// JPEG 2000 through OpenJPEG: decodes one frame's code stream into native
// samples (interleaved for colour). Sets the output's component layout.
struct J2kFrame {
  std::vector<uint8_t> data;  // 1 or 2 bytes per sample, little-endian
  int width = 0, height = 0, comps = 0, precision = 0;
  bool isSigned = false;
};
bool decodeJ2k(const uint8_t* bytes, size_t len, J2kFrame& out, std::string& err);

// ---- PNG -----------------------------------------------------------------------
bool writePngRgb(int w, int h, const unsigned char* rgb, const char* path);
// First frame of the file as an 8-bit RGB PNG (see dcmReader::convertToPngFile).
bool convertToPng(LoadedFile& f, const char* path, bool thumbnail, std::string& err);

}  // namespace dcmSDK::detail
