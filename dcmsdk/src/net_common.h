// Shared pieces of the network services: start-up of the network globals,
// message delivery, AE titles, sockets that a stop must be able to break, and
// the registry of live network objects that the library's end stops.
#pragma once

#include <sys/socket.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "dcmsdk/src/internal.h"

namespace dcmSDK::net {

constexpr const char* kOwnAE = "fernwick";
constexpr const char* kAnyAE = "ANY-SCP";

// Network globals (connect timeout, no reverse lookups); once per process.
void init();

// Delivers a text message unless stop is set (or the library has ended).
void emitText(uint32_t type, const std::string& text, const std::atomic<bool>* stop);
// Delivers a stored-file record; the receiver owns it. Deleted here when
// nobody listens.
void emitRecord(DCM_MESSAGE* rec);

std::string jsonEscape(const std::string& s);
// AE title: 1-16 characters, no backslash or control characters.
bool validAE(const std::string& ae);
std::string aeOr(const char* ae, const char* fallback);
// Port text "1".."65535" -> number, else 0.
uint16_t parsePort(const char* text);

// Single path component from a DICOM text: only [A-Za-z0-9._-], no leading
// dot, never empty, at most maxLen bytes.
std::string pathComponent(const std::string& text, size_t maxLen = 64);
// FNV-1a of a file's bytes from offset on (the dataset of a received file,
// without the meta header written for it).
uint64_t fnv1a64File(const std::string& path, uint64_t offset = 0);
uint64_t fnv1a64(const std::string& s);

// File name of a received instance: the UID itself when it is a safe name of
// at most 128 bytes, else its sanitised, shortened form followed by a hash of
// the full UID, so that two UIDs never share a name.
std::string instanceFileName(const std::string& sopUid);
// Name of a file without SOP Instance UID, from the hash of its dataset.
std::string noUidFileName(uint64_t datasetHash);
// SOP Instance UID held by an existing file ("" when unreadable or absent).
std::string sopUidOfFile(const std::string& path);

// Received files are flushed to the disk (fdatasync, then the folder after
// the rename) before they are acknowledged. On by default; the benchmark
// switches it off to tell its cost.
bool durableStore();
// Seconds a client waits for a peer's reply (60 unless a test sets less).
int replyTimeout();
void setReplyTimeout(int seconds);
void setDurableStore(bool on);

// Writes a received dataset as a DICOM file in its received transfer syntax
// to a new temporary file "<dir>/<prefix>XXXXXX", flushed to the disk; false
// (nothing left) when it could not be written completely, e.g. on a full
// disk. datasetOffset receives where the dataset starts in the file.
bool writeTempDicom(DcmFileFormat& ff, const std::string& dir, const char* prefix, std::string& tmpPath,
                    uint64_t* datasetOffset = nullptr);
// Reads a just written file's meta header back: true when it parses and
// names the expected transfer syntax.
bool metaHeaderReadsBack(const std::string& path, E_TransferSyntax expected);
// Moves a finished temporary file to its place under name in the folder
// dirFd (flushing the folder when durable). A file already there is replaced
// only when it holds the same SOP Instance UID; otherwise the hashed form of
// the name is used. name is updated; false with errno-style reason on
// failure. flush false leaves the folder unflushed even when durable (for
// copies whose source still exists).
bool placeFile(int fromDirFd, const std::string& tmpName, int dirFd, const std::string& dirPath,
               const std::string& sopUid, bool hasUid, std::string& name, std::string& why, bool flush = true);

// Group commit of folder flushes. One fsync of a folder makes durable every
// entry made in it before that fsync began, so callers whose entries are all
// older than a flush that has not yet begun can share it: parallel
// associations storing into one folder pay for about one flush between them
// instead of one each. A caller never returns on a flush that began before
// its call.
class FolderFlush {
 public:
  // The flush itself (fsync by default): 0 or an errno.
  using SyncFn = std::function<int(int fd)>;
  explicit FolderFlush(SyncFn sync = nullptr);
  // Returns 0 once every entry made in the folder `key` (open as fd) before
  // this call is on the disk, else the errno of the flush that failed.
  int flush(const std::string& key, int fd);

 private:
  struct State {
    uint64_t asked = 0;    // calls so far
    uint64_t durable = 0;  // calls covered by a finished flush
    bool running = false;
    int users = 0;
  };
  SyncFn sync_;
  std::mutex mu_;
  std::condition_variable cv_;
  std::map<std::string, State> folders_;
};

// Status classes of DIMSE responses.
inline bool isSuccessOrWarning(uint16_t st) {
  return st == 0x0000 || st == 0x0001 || (st & 0xF000) == 0xB000;
}
inline bool isPending(uint16_t st) { return st == 0xFF00 || st == 0xFF01; }

// A connected socket identified by both ends, so that it can be shut down
// later without ever touching a descriptor number that was reused.
struct SockRef {
  int fd = -1;
  sockaddr_storage local{}, peer{};
  socklen_t localLen = 0, peerLen = 0;
  bool valid() const { return fd >= 0; }
};
SockRef captureSocket(int fd);
void shutdownIfSame(const SockRef& s);
// Newest socket of this process connected to host:port (the association a
// client has just opened on this thread).
SockRef findSocketTo(const std::string& host, uint16_t port, const std::vector<int>& exclude = {});

// While alive, a set stop mark shuts the socket down, which ends whatever
// blocking call runs on it within a few tens of milliseconds. The second form
// looks the connection to host:port up when the stop comes (for calls that
// open the connection themselves).
class StopWatch {
 public:
  StopWatch(const std::atomic<bool>& stop, const SockRef& sock);
  StopWatch(const std::atomic<bool>& stop, const std::string& host, uint16_t port);
  ~StopWatch();
  StopWatch(const StopWatch&) = delete;
  StopWatch& operator=(const StopWatch&) = delete;

 private:
  uint64_t id_;
};

// Non-blocking TCP connect with a bound wait that also ends on stop.
// 1: connected, 0: refused/unreachable/timed out, -1: stopped.
int probeTcp(const std::string& host, uint16_t port, int timeoutMs, const std::atomic<bool>& stop);

// Live network objects; the library's end stops each of them.
using StopFn = std::function<void()>;
uint64_t registerObject(StopFn stopAndJoin);
void unregisterObject(uint64_t id);

}  // namespace dcmSDK::net
