// The process-wide list of hanging-protocol entries (type, title and file of
// each protocol). The layout manager fills it on first use; the imaging
// shutdown frees every entry, so that a later use reads the list again.
#pragma once

#include <string>
#include <vector>

struct ProtocalEntry {
  std::string type;
  std::string title;
  std::string file;
};

namespace isImageSDK {

// The list itself (empty until filled). UI thread only.
std::vector<ProtocalEntry*>& protocalEntries();
// Frees every entry and empties the list.
void releaseProtocalEntries();

}  // namespace isImageSDK
