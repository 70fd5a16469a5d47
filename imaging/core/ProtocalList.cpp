#include "imaging/core/ProtocalList.h"

namespace isImageSDK {

std::vector<ProtocalEntry*>& protocalEntries() {
  static std::vector<ProtocalEntry*> entries;
  return entries;
}

void releaseProtocalEntries() {
  std::vector<ProtocalEntry*> released;
  released.swap(protocalEntries());
  for (ProtocalEntry* entry : released) delete entry;
}

}  // namespace isImageSDK
