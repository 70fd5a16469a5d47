// The process-wide list of hanging protocols (file, title and type of each),
// as read from "protocal/protocal.xml". The layout manager fills it on first
// use (appManager::getProtocolList); the imaging shutdown empties it, so that
// a later use reads the file again.
#pragma once

#include <string>
#include <vector>

namespace isImageSDK {

// One hanging protocol: the picture shown for it on the screen's protocol
// button and menu, its title, and the name of the layout it opens.
struct ProtocolInfo {
  std::string file;
  std::string title;
  std::string type;

  bool operator==(const ProtocolInfo&) const = default;
};

// The list itself (empty until filled), in file order. UI thread only.
std::vector<ProtocolInfo>& protocolList();
// Empties the list.
void releaseProtocolList();

}  // namespace isImageSDK
