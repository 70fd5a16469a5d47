// Zip and unzip tools on minizip.
//
// NSUI::zipFolder packs a folder (or one file) into a zip archive and
// NSUI::unzipFile unpacks an archive into a folder. Both block; callers run
// them on a one-shot job (NSUI::NSRunableThread) and post their own
// completion. Underneath, zipTool and unzipTool take an argument list the way
// a command-line archiver does.
//
// Paths are UTF-8 with "/" as the separator. There is no length limit on any
// argument, archive path, base folder or entry name; a path the system cannot
// open fails with an error, nothing is ever truncated.
//
// Unpacking is confined to the destination folder: an archive holding an
// entry whose name is absolute ("/x", "\x", "C:x"), that has a ".." component
// (split on "/" and "\"), or that is a symbolic link is refused as a whole
// before anything is written. Folders and files are created one component at
// a time below the destination without following symbolic links, so an
// existing link inside the destination cannot redirect a write either. Each
// file is written under a temporary name and renamed into place only after
// its data and CRC have checked out: a failed or corrupt entry never leaves a
// partial file under the entry's name.
//
// Zip bombs: an archive whose entries share bytes (two entries whose local
// header and data ranges overlap), or whose declared sizes add up to more
// than the destination's free space less 64 MiB, is refused before anything
// is written; an entry that inflates beyond its declared size is stopped
// there. Encrypted entries are refused before anything is written ("the
// archive is protected by a password"). Zip64 archives are read and written:
// entries and archives beyond 4 GiB, more than 65,535 entries. The reason of
// every refusal is written to the engine's log.
#pragma once

#include <atomic>
#include <string>

// Set to a value greater than 0 (from any thread) to stop a running zipTool
// before its next file; zipTool clears it when it starts.
extern std::atomic<int> zipCancelRequested;

// Packs files into an archive. Arguments: argv[0] is not interpreted; an
// argument starting with "-" is a group of option letters ("p"/"P" takes the
// next argument as the password, a digit "0".."9" sets the compression level,
// others are ignored); the first other argument is the archive (".zip" is
// appended when it holds no "."), the second the base folder that entry
// names are relative to, every later one a file to add (a trailing "/" adds a
// folder entry). The archive is created, replacing an existing one.
//
// Before each file it posts the progress in percent (0, then rising, never
// 100) as notification 1001 (immediate, no sender, broadcast channel).
//
// The system's minizip has no traditional zip encryption, so a non-empty
// password is refused (-106) before anything is written.
//
// Results: 0 success; -1 a file that does not open or a failed read or
// write; -102 the archive could not be created; -105 a file path that does
// not lie below the base folder; -106 a password was given; -1000 cancelled (the archive is closed and
// holds the files packed before the cancel, each complete); a non-zero result
// of closing the archive takes precedence.
int zipTool(int argc, const char* const* argv);

// Unpacks an archive. Options: "-d" makes the next argument the extraction
// folder, "-p" takes the next one as the password, "-e" drops the folder part
// of entry names; "x" and "o" are accepted and ignored. The first other
// argument is the archive (".zip" is tried when it does not open), the second
// (without "-d") the single entry to extract.
//
// Results: 0 success; 1 no archive argument or the archive does not open; 2
// the named entry is not in the archive; -102 a password was given (no
// entry is encrypted, so it has nothing to open); -109 the next entry is
// unreachable; -1000 entry information unreadable or damaged; -1002 output
// file not created; -1003 write failed; -1010 an entry name, type or
// compression method is refused (absolute, drive, "..", symbolic link;
// nothing was extracted); -1011 a folder below the extraction folder cannot
// be made or is a symbolic link; -1012 an entry is encrypted; -1013 entries
// overlap; -1014 not enough free space; -1015 an entry is larger than its
// declared size; otherwise minizip's codes (-103 damaged data, -105 a CRC
// mismatch, -3 a damaged deflate stream). -102, -1000, -1010, -1012, -1013
// and -1014 come before anything is written.
int unzipTool(int argc, const char* const* argv);

namespace NSUI {

// Packs `source` (a folder, recursively, without names starting with "."; or
// a single file) into `archive` with the best compression. A folder's entries
// are named by the folder's own name followed by the path inside it
// ("series/sub/b.dcm"); a single file's entry is its bare name. The folder of
// the archive is created. False when nothing was packed (an empty folder
// writes no archive), on any error and when cancelled.
bool zipFolder(const std::string& archive, const std::string& source, const std::string& password);

// Unpacks `archive` into `destination` (created when missing). False when the
// archive does not open, holds a refused entry (see above), or any entry
// fails; the reason and the tool's result are written to the engine's log.
bool unzipFile(const std::string& archive, const std::string& destination, const std::string& password);

}  // namespace NSUI
