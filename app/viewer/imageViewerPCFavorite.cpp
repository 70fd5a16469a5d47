// The viewer screen's keepsakes: screen captures (JPEG files through the
// toolkit's capture), favourites (the slice on display written as a 16-bit
// DICOM file in the folder "favorite" of kq, by a detached thread) and the
// badge on "btnCmdFavorite" that counts what was kept since the favourites
// were last seen.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <thread>

#include "app/viewer/imageViewerPC.h"
#include "dcmsdk/dcmSDK.h"
#include "imaging/core/SliceRecord.h"
#include "imaging/viewers/isViewerMulti.h"
#include "toolkit/foundation/NSCapture.h"
#include "toolkit/foundation/NSFormat.h"
#include "toolkit/foundation/NSNotificationCenter.h"
#include "toolkit/foundation/NSNotifyIds.h"

USING_NS_CC;
using isImageSDK::SliceRecord;

namespace {

// Fixed UIDs handed to the converter with every favourite. The DICOM layer
// checks their syntax and gives each file UIDs of its own.
constexpr const char* kFavoriteUid1 = "1.3.6.1.4.1.59847.7.20261211.1.482930175613.30841";
constexpr const char* kFavoriteUid2 = "1.2.840.99999.59847.2.20261211.7.1.1100000053";

// Height of the top bar, which the viewer-area capture leaves out.
constexpr int kTopBarHeight = 60;

// Float samples are stretched so that the largest magnitude becomes this.
constexpr double kFloatRange = 32000.0;

void playChime() {
  // A missing sound is silent.
  SimpleAudioEngine::getInstance()->playEffect("res/dingdong.wav", false, 1.0f, 0.0f, 1.0f);
}

// Frees the slice and its samples when the thread ends, however it ends.
struct SliceOwner {
  SliceRecord* slice;
  ~SliceOwner() {
    if (!slice) return;
    std::free(slice->pixels);
    delete slice;
  }
};

// Reserves a new favourite file in `folder` (which ends with "/"): the name
// "<seconds>.dcm", else "<seconds>-1.dcm", "<seconds>-2.dcm", ..., created
// exclusively so that two saves never share one. The empty file stands for
// the name until the converter replaces it. "" when no name fits `limit`
// bytes or the file cannot be made.
std::string reserveFavoriteName(const std::string& folder, size_t limit) {
  const std::string stem = folder + NSUI::getTimestampString();
  for (int n = 0; n < 100000; ++n) {
    const std::string path = n == 0 ? stem + ".dcm" : stem + "-" + std::to_string(n) + ".dcm";
    if (path.size() >= limit) {
      log("favourite not saved: the path %s is too long", path.c_str());
      return "";
    }
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      ::close(fd);
      return path;
    }
    if (errno != EEXIST) {
      log("favourite not saved: cannot create %s: %s", path.c_str(), std::strerror(errno));
      return "";
    }
  }
  log("favourite not saved: no free name in %s", folder.c_str());
  return "";
}

}  // namespace

// ---------------------------------------------------------------- captures

void imageViewerPC::onCapture(int id) {
  const Size window = Director::getInstance()->getWinSize();
  int x = 0, y = 0, width = 0, height = 0;
  switch (id) {
    case NOTIFY_CAPTURE_WHOLE_SCREEN:
      break;
    case NOTIFY_CAPTURE_ALL_IMAGES:
      x = toolWidth;
      width = static_cast<int>(window.width - static_cast<float>(toolWidth));
      height = static_cast<int>(window.height - static_cast<float>(kTopBarHeight));
      break;
    case NOTIFY_CAPTURE_CURRENT_VIEW:
    case NOTIFY_QUICK_FAVOURITE: {
      Rect cell;
      if (viewerMulti && viewerMulti->getFocusedViewRect(cell)) {
        // The rectangle is in the multi-view's parent's space; the capture
        // counts in the window's.
        if (Node* parent = viewerMulti->getParent()) {
          const Vec2 a = parent->convertToWorldSpace(cell.origin);
          const Vec2 b = parent->convertToWorldSpace(cell.origin + Vec2(cell.size.width, cell.size.height));
          cell = Rect(std::min(a.x, b.x), std::min(a.y, b.y), std::fabs(b.x - a.x), std::fabs(b.y - a.y));
        }
        x = static_cast<int>(cell.origin.x);
        y = static_cast<int>(cell.origin.y);
        width = static_cast<int>(cell.size.width);
        height = static_cast<int>(cell.size.height);
      } else {
        width = static_cast<int>(window.width);
        height = static_cast<int>(window.height);
      }
      break;
    }
    default:
      return;
  }
  playChime();
  NSUI::captureScreen(x, y, width, height);
}

// ---------------------------------------------------------------- favourites

void imageViewerPC::onFavoriteSave(NSUI::NSNotificationData* data) {
  auto* slice = data ? static_cast<SliceRecord*>(data->userData) : nullptr;
  if (!slice) return;
  // The record is ours now: nobody else may take it from the payload.
  data->userData = nullptr;
  playChime();
  try {
    std::thread(&imageViewerPC::saveFavorite, slice, imageViewerPC::storageRoot()).detach();
  } catch (const std::system_error& e) {
    log("favourite not saved: no thread (%s)", e.what());
    std::free(slice->pixels);
    delete slice;
  }
}

void imageViewerPC::saveFavorite(SliceRecord* slice, std::string root) {
  SliceOwner owner{slice};
  if (!slice) return;
  using Record = dcmSDK::dcmConvertor::PIXEL_Mem_ConvertorData;
  auto rec = std::make_unique<Record>();
  std::memset(rec.get(), 0, sizeof(Record));

  if (slice->filePath.size() >= sizeof rec->srcPath) {
    log("favourite not saved: the source path (%zu bytes) is too long", slice->filePath.size());
    return;
  }
  const int32_t rows = slice->height, cols = slice->width;
  if (!slice->pixels || rows < 1 || cols < 1) {
    log("favourite not saved: the slice has no samples");
    return;
  }
  const size_t count = static_cast<size_t>(rows) * static_cast<size_t>(cols);

  // Samples as 16-bit values, row by row.
  std::unique_ptr<uint16_t[], void (*)(void*)> own(nullptr, std::free);
  const uint16_t* samples = nullptr;
  double slope = 1.0;
  bool isSigned = false;
  float windowWidth = slice->windowWidth, windowCenter = slice->windowCenter;
  switch (slice->elementType) {
    case isImageSDK::ELEMENT_INT16:
      samples = static_cast<const uint16_t*>(slice->pixels);
      isSigned = true;
      break;
    case isImageSDK::ELEMENT_UINT16:
      samples = static_cast<const uint16_t*>(slice->pixels);
      break;
    case isImageSDK::ELEMENT_UINT8: {
      own.reset(static_cast<uint16_t*>(std::malloc(count * sizeof(uint16_t))));
      if (!own) break;
      const auto* in = static_cast<const uint8_t*>(slice->pixels);
      for (size_t i = 0; i < count; ++i) own[i] = in[i];
      samples = own.get();
      break;
    }
    case isImageSDK::ELEMENT_FLOAT: {
      // The largest magnitude becomes ±32000; the slope takes the values
      // back. Samples that are not numbers count as 0.
      own.reset(static_cast<uint16_t*>(std::malloc(count * sizeof(uint16_t))));
      if (!own) break;
      const auto* in = static_cast<const float*>(slice->pixels);
      double largest = 0.0;
      for (size_t i = 0; i < count; ++i)
        if (std::isfinite(in[i])) largest = std::max(largest, std::fabs(static_cast<double>(in[i])));
      // Only an all-zero slice keeps scale 1. Each value is v × 32000 / m
      // (one rounding, so the largest lands on 32000 exactly, where
      // v × (32000 / m) may fall just short and truncate to 31999).
      const double scale = largest > 0.0 ? kFloatRange / largest : 1.0;
      for (size_t i = 0; i < count; ++i) {
        double v = 0.0;
        if (std::isfinite(in[i]) && largest > 0.0)
          v = std::trunc(static_cast<double>(in[i]) * kFloatRange / largest);
        own[i] = static_cast<uint16_t>(static_cast<int16_t>(std::clamp(v, -kFloatRange, kFloatRange)));
      }
      samples = own.get();
      slope = 1.0 / scale;
      isSigned = true;
      break;
    }
    case isImageSDK::ELEMENT_RGB: {
      // No colour in a 16-bit grey file: the luminance, in a window that
      // shows the 8-bit range as it was.
      own.reset(static_cast<uint16_t*>(std::malloc(count * sizeof(uint16_t))));
      if (!own) break;
      const auto* in = static_cast<const uint8_t*>(slice->pixels);
      for (size_t i = 0; i < count; ++i) {
        const uint8_t* p = in + i * 3;
        own[i] = static_cast<uint16_t>(std::lround(0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2]));
      }
      samples = own.get();
      windowWidth = 256.0f;
      windowCenter = 128.0f;
      break;
    }
    default:
      log("favourite not saved: unknown element type %d", static_cast<int>(slice->elementType));
      return;
  }
  if (!samples) {
    log("favourite not saved: out of memory for %zu samples", count);
    return;
  }

  // The folder "favorite" beside the library's folder, written as a plain
  // path so that the database and the favourites screen agree on it.
  std::string folder = std::filesystem::path(root + "../favorite/").lexically_normal().string();
  if (folder.empty() || folder.back() != '/') folder += '/';
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  const std::string path = reserveFavoriteName(folder, sizeof rec->outPath);
  if (path.empty()) return;

  std::memcpy(rec->outPath, path.c_str(), path.size() + 1);
  rec->pixels = samples;
  std::memcpy(rec->srcPath, slice->filePath.c_str(), slice->filePath.size() + 1);
  std::snprintf(rec->uid1, sizeof rec->uid1, "%s", kFavoriteUid1);
  std::snprintf(rec->uid2, sizeof rec->uid2, "%s", kFavoriteUid2);
  std::snprintf(rec->t1, sizeof rec->t1, "%s", "1");
  std::snprintf(rec->t2, sizeof rec->t2, "%s", "1");
  std::snprintf(rec->t3, sizeof rec->t3, "%s", "9000");
  rec->rows = rows;
  rec->cols = cols;
  rec->windowWidth = windowWidth;
  rec->windowCenter = windowCenter;
  rec->spacingX = slice->spacingX;
  rec->spacingY = slice->spacingY;
  // Matrix columns (column-major storage): 0 the row direction, 1 the
  // column direction, 3 the first pixel's position.
  const float* m = slice->matrix.m;
  for (int i = 0; i < 3; ++i) {
    rec->pos[i] = m[12 + i];
    rec->rowDir[i] = m[0 + i];
    rec->colDir[i] = m[4 + i];
  }
  for (float* v : {rec->pos, rec->rowDir, rec->colDir}) {
    slice->toPatientFrame(v);
    for (int i = 0; i < 3; ++i) v[i] += 0.0f;  // no "-0" in the file
  }
  rec->highBit = 15;
  rec->slope = static_cast<float>(slope);
  rec->intercept = 0.0f;
  rec->signedFlag = isSigned ? 1 : 0;

  if (!dcmSDK::dcmConvertor().convert(*rec)) {
    log("favourite not saved: the conversion of %s failed", path.c_str());
    ::unlink(path.c_str());
    return;
  }
  if (NSUI::NSNotificationCenter* centre = NSUI::NSNotificationCenter::getInstance()) {
    auto* saved = new NSUI::NSNotificationData();
    saved->text = path;
    saved->floatValue = slice->spacingY != 0.0f ? slice->spacingX / slice->spacingY : 1.0f;
    centre->postNotification(nullptr, NOTIFY_FAVOURITE_SAVED, saved, nullptr, false);
    saved->release();
  }
}

// ---------------------------------------------------------------- badge

void imageViewerPC::onFavoriteAdded() { updateFavoriteBadge(-1); }

void imageViewerPC::updateFavoriteBadge(int count) {
  Node* root = getChildByName("root");
  Node* button = root ? root->getChildByNameDeep("btnCmdFavorite") : nullptr;
  if (!button) return;
  int n = count;
  if (n < 0) {
    const std::string& kept = button->getUserString();
    n = (kept.empty() ? 0 : std::atoi(kept.c_str())) + 1;
  }
  button->setUserString(std::to_string(n));

  // The button is one of the root's own children, so the badge made in the
  // button's parent is found among them; the parent is searched too, should
  // the button ever move deeper.
  Node* parent = button->getParent();
  auto find = [&](const char* name) {
    Node* node = root->getChildByName(name);
    return node ? node : parent->getChildByName(name);
  };
  auto* label = dynamic_cast<Label*>(find("favoriteNodes"));
  Node* background = find("favoriteNodesBK");
  if (!label) {
    const Vec2 at(button->getPositionX() - 10.0f, button->getPositionY() + 15.0f);
    if (!background) {
      if (Sprite* sprite = Sprite::create("imgs/newFiles.png")) {
        sprite->setAnchorPoint(Vec2(0.5f, 0.5f));
        sprite->setPosition(at);
        sprite->setScale(2.0f);
        sprite->setName("favoriteNodesBK");
        parent->addChild(sprite, button->getLocalZOrder() + 10000);
        background = sprite;
      }
    }
    label = Label::createWithSystemFont(std::to_string(n), "", 15);
    label->setTextColor(Color4B::WHITE);
    label->setAnchorPoint(Vec2(0.5f, 0.5f));
    label->setPosition(at);
    label->setName("favoriteNodes");
    parent->addChild(label, button->getLocalZOrder() + 10002);
  }
  const bool shown = n >= 1;
  label->setVisible(shown);
  if (background) background->setVisible(shown);
  if (shown) label->setString(std::to_string(n));
}
