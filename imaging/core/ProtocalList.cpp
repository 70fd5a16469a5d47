#include "imaging/core/ProtocalList.h"

namespace isImageSDK {

std::vector<ProtocolInfo>& protocolList() {
  static std::vector<ProtocolInfo> list;
  return list;
}

void releaseProtocolList() {
  std::vector<ProtocolInfo> released;
  released.swap(protocolList());
}

}  // namespace isImageSDK
