// File access for the engine and the application: resource lookup through
// search paths, the writable folder, whole-file reads, folders, and XML
// property lists. Every call is safe from any thread.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "engine/base/Data.h"
#include "engine/base/Value.h"

NS_CC_BEGIN

class FileUtils {
 public:
  static FileUtils* getInstance();
  // Forgets the instance; the next getInstance() starts from the defaults.
  static void destroyInstance();

  // Environment variables that override the defaults (used by tests).
  static constexpr const char* kResourceRootEnv = "FW_RESOURCE_ROOT";
  static constexpr const char* kWritablePathEnv = "FW_WRITABLE_PATH";
  // Folder name under the per-user data folder.
  static constexpr const char* kApplicationFolder = "fernwick";

  virtual ~FileUtils();

  // ------------------------------------------------------------ lookup
  // Search paths are absolute or relative to the resource root.
  void setSearchPaths(const std::vector<std::string>& paths);
  void addSearchPath(const std::string& path, bool front = false);
  std::vector<std::string> getSearchPaths() const;

  // <folder of the executable>/resources/, or $FW_RESOURCE_ROOT; ends in '/'.
  std::string getDefaultResourceRootPath() const;
  void setDefaultResourceRootPath(const std::string& path);

  // An absolute name is returned as it is. Otherwise each search path + name
  // is tried in order, then resource root + name; the first that exists
  // wins. "" when none does. Results are cached until the paths change.
  std::string fullPathForFilename(const std::string& filename) const;
  void purgeCachedEntries();
  bool isAbsolutePath(const std::string& path) const { return !path.empty() && path[0] == '/'; }

  // ------------------------------------------------------------ writable
  // Ends with '/', never empty: $FW_WRITABLE_PATH, else
  // $XDG_DATA_HOME/fernwick/, else ~/.local/share/fernwick/. Created on first
  // use.
  std::string getWritablePath() const;
  void setWritablePath(const std::string& path);

  // ------------------------------------------------------------ files
  // Relative names go through fullPathForFilename.
  bool isFileExist(const std::string& filename) const;
  bool isDirectoryExist(const std::string& dirPath) const;
  // Creates missing parents too; true when the folder exists afterwards.
  bool createDirectory(const std::string& dirPath) const;
  // Removes the folder and everything in it.
  bool removeDirectory(const std::string& dirPath) const;
  bool removeFile(const std::string& filepath) const;
  bool renameFile(const std::string& oldFullPath, const std::string& newFullPath) const;
  bool renameFile(const std::string& dirPath, const std::string& oldName, const std::string& name) const;
  // Size in bytes, or -1 when there is no such file.
  long getFileSize(const std::string& filepath) const;
  // Whole content; "" / null Data when the file is missing or unreadable.
  std::string getStringFromFile(const std::string& filename) const;
  Data getDataFromFile(const std::string& filename) const;
  // Whole-file writes through a temporary file and a rename.
  bool writeStringToFile(const std::string& content, const std::string& fullPath) const;
  bool writeDataToFile(const Data& data, const std::string& fullPath) const;
  // The path to hand to fopen (paths are already UTF-8 on Linux).
  std::string getSuitableFOpen(const std::string& filenameUtf8) const { return filenameUtf8; }
  // Lower-case extension with its dot ("" when none).
  std::string getFileExtension(const std::string& filePath) const;

  // ------------------------------------------------------------ choosing
  // Asks the user for a file to open, starting at initial (a file or
  // folder; may be ""). Uses the chooser installed with setFileChooser when
  // there is one, else `zenity --file-selection`, else
  // `kdialog --getopenfilename`. "" when cancelled or when no chooser exists.
  // UI thread; blocks until the dialog closes.
  std::string chooseFile(const std::string& initial) const;
  typedef std::function<std::string(const std::string& initial)> FileChooser;
  // Replaces the dialog (tests); null restores it.
  void setFileChooser(FileChooser chooser);

  // ------------------------------------------------------------ plists
  // XML property list with a dict at its root: dict -> ValueMap, array ->
  // ValueVector, string/date/data -> string, integer -> int (double beyond
  // the int range), real -> double, true/false -> bool. A malformed document
  // gives an empty map and a log line.
  ValueMap getValueMapFromFile(const std::string& filename) const;
  ValueMap getValueMapFromData(const char* data, int size) const;
  // Same, for a plist whose root is an array.
  ValueVector getValueVectorFromFile(const std::string& filename) const;

 protected:
  FileUtils();

 private:
  static std::string normaliseFolder(const std::string& path);
  std::string resolveSearchPath(const std::string& path) const;

  mutable std::recursive_mutex _mutex;
  std::vector<std::string> _searchPaths;  // as given
  std::string _resourceRoot;
  mutable std::string _writablePath;
  mutable std::map<std::string, std::string> _fullPathCache;
  FileChooser _fileChooser;
};

NS_CC_END
