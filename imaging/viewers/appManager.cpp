#include "imaging/viewers/appManager.h"

#include <cstdlib>

#include "imaging/core/SliceRecord.h"
#include "imaging/view/isOrientation.h"
#include "imaging/viewers/isViewer.h"
#include "toolkit/foundation/NSDictionary.h"

namespace isImageSDK {

namespace {

std::string textForKey(NSUI::NSDictionary* dictionary, const std::string& key) {
  auto* text = dynamic_cast<cocos2d::__String*>(dictionary->objectForKey(key));
  return text ? text->getString() : std::string();
}

bool typeFits(const std::string& type, const SeriesSummary& summary) {
  if (summary.seriesCount >= 2) {
    return type == "compare2d" || (type == "compare4d" && summary.imageCount > 50);
  }
  if (!summary.isVolume) return type == "2dslice" || type == "compare2d";
  if (summary.imageCount < 5) return type == "browser2d";
  if (type == "compare2d" || type == "2dslice") return false;
  return type != "compare4d" || summary.is4D;
}

}  // namespace

int appManager::getLayoutId(const std::string& name) { return layoutIdOf(name); }

std::vector<ProtocolInfo>& appManager::getProtocolList() {
  std::vector<ProtocolInfo>& list = protocolList();
  if (!list.empty()) return list;
  cocos2d::FileUtils* files = cocos2d::FileUtils::getInstance();
  const std::string path = files->fullPathForFilename(kProtocolFile);
  if (path.empty()) return list;
  NSUI::NSDictionary* dictionary = NSUI::NSDictionary::createWithData(files->getStringFromFile(path));
  if (!dictionary || !dictionary->objectForKey("protocal.number")) return list;
  const int count = std::atoi(textForKey(dictionary, "protocal.number").c_str());
  for (int i = 1; i <= count; ++i) {
    const std::string prefix = "protocal." + std::to_string(i) + ".";
    list.push_back({textForKey(dictionary, prefix + "file"), textForKey(dictionary, prefix + "title"),
                    textForKey(dictionary, prefix + "type")});
  }
  return list;
}

void appManager::getProtocolsFor(std::vector<ProtocolInfo>& out, const SeriesSummary& summary) {
  for (const ProtocolInfo& protocol : getProtocolList()) {
    if (typeFits(protocol.type, summary)) out.push_back(protocol);
  }
}

int appManager::getSliceOrientation(const SliceRecord* slice) {
  if (!slice) return VIEW_KIND_SLICE;
  const float* m = slice->matrix.m;
  const float A[3] = {m[0], m[1], m[2]};
  const float B[3] = {m[4], m[5], m[6]};
  char labels[12];
  computeOrientationLabels(A, B, labels, slice->feetFirstCode, slice->positionCode);
  switch (orientationLetterSum(labels)) {
    case 303: return VIEW_KIND_AXIAL;
    case 301: return VIEW_KIND_SAGITTAL;
    case 314: return VIEW_KIND_CORONAL;
    default: return VIEW_KIND_SLICE;
  }
}

}  // namespace isImageSDK
