// Files and folders: listing, creation time, whole-file reads and writes,
// copies, sleeping and the debug log sink.
//
// Paths are UTF-8 with "/" as the separator. Every function may be called
// from any thread; none keeps state. Failures are reported by the result
// only (false, null, the empty text).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace NSUI {

// Appends the files of `folder` to `list` (not cleared). One trailing "/" of
// the folder is ignored. Entries come in name order; with `recurse`, the
// files of a subfolder are appended at the subfolder's place in that order.
// Subfolders whose name starts with '.' are never entered; files whose name
// starts with '.' are listed. Each file is `folder + "/" + name` when
// `fullPath`, else its bare name. Only regular files count as files
// (symbolic links are followed; pipes, sockets, devices and dangling links
// are left out). A missing folder or an empty path appends nothing.
void listFiles(std::string folder, std::vector<std::string>& list, bool recurse, bool fullPath);

// Appends `folder + "/" + name` for each direct subfolder whose name does not
// start with '.', in name order.
void listFolders(std::string folder, std::vector<std::string>& list);

// The creation (birth) time of a file or folder in local time, in the form of
// getCurrentTimeString. The modification time stands in where the file
// system keeps no birth time. "" for an empty path; the current local time
// when the path does not exist.
std::string getFileCreationTime(std::string path);

// Reads a whole file through the engine's FileUtils (so relative names are
// found along the search paths) into a new buffer that the caller releases
// with delete[]. The buffer is 10 bytes longer than the content and those
// spare bytes are zero. In text mode the content is copied up to its first
// zero byte. `*length` is the content length; an empty or missing file gives
// null and length 0.
unsigned char* readFileData(const char* path, uint32_t* length, bool binary);

// Writes `length` bytes to `path`, created or truncated, after creating the
// folder part of the path (everything before the last "/") with its parents.
// True when every byte was written and the file was closed without error.
bool writeBufferToFile(const char* path, const void* data, size_t length);

// writeBufferToFile with the text's characters (no terminator).
bool writeStringToFile(const char* path, std::string text);

// Copies one file, creating the target's folder. An empty source gives an
// empty target. The same path (or the same file under another name) gives
// true and changes nothing. False when the source is missing or unreadable
// or the target cannot be written. A relative source is found like
// readFileData finds it.
bool copyFile(std::string source, std::string target);

// Copies the file tree of `source` into `target`, creating folders as needed.
// Empty files are copied as empty files; a file that vanished since the
// listing is skipped. False when a folder cannot be made or a file cannot be
// read or written; what was copied so far stays. The same path gives true.
bool copyFolder(std::string source, std::string target);

// Blocks the calling thread for seconds * 1000 + nanoseconds / 1,000,000
// milliseconds (nanoseconds are truncated to whole milliseconds).
void sleepFor(uint32_t seconds, uint32_t nanoseconds);

// The toolkit's internal diagnostics sink. It deliberately prints nothing.
void debugLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The folder part of a path: the text before its last '/' or '\' after
// trailing slashes are dropped ("a/b/c.txt" -> "a/b", "a/b/" -> "a",
// "/c.txt" -> "", "c.txt" -> "c.txt"). "" and a text of only slashes give "".
std::string getDirectoryPath(std::string path);

}  // namespace NSUI
