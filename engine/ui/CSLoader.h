// Loads interface trees from UI files (our XML format, see
// docs/ui-files.md; the files keep their ".csb" names).
//
// createNode returns a fresh, autoreleased tree on every call, or null with
// a log line when the file is missing or invalid (an unknown element or
// attribute, a malformed value, a repeated name). Parsed files are kept by
// full path until cocostudio::destroyCocosStudio(); a later load parses
// again. Pictures resolve through FileUtils when the tree is built; a
// missing picture is logged and leaves the widget without it. Percent
// placement and alignments are applied once the tree is complete
// (Helper::doLayout). UI thread only.
#pragma once

#include <string>
#include <vector>

#include "engine/base/ccMacros.h"

NS_CC_BEGIN

class Node;

class CSLoader {
 public:
  static Node* createNode(const std::string& filename);
  // The flag is reserved; both forms behave alike.
  static Node* createNode(const std::string& filename, bool flag);

  // The picture names a file refers to, in document order (for checks).
  // False, with the reason in *error, when the file cannot be read or
  // parsed.
  static bool collectPictures(const std::string& filename, std::vector<std::string>* pictures,
                              std::string* error = nullptr);
  // Builds without logging; *error tells why a file fails (tests, lint).
  static Node* createNodeWithError(const std::string& filename, std::string* error);

  // Forgets every parsed file.
  static void purgeCache();
};

NS_CC_END

namespace cocostudio {
// Drops the loader's cache of parsed UI files (called at teardown).
void destroyCocosStudio();
}  // namespace cocostudio
