// The 2-D image viewer: the overlay items (view name, position, thickness,
// window, patient and study texts, cine buttons) and the read of the
// patient and study texts from the first slice's DICOM file.
#include <string>

#include "imaging/view/isActorOverlay.h"
#include "imaging/view/isNodeOverlay.h"
#include "imaging/viewers/isDcmTextReader.h"
#include "imaging/viewers/isViewerImage.h"
#include "toolkit/foundation/NSNotifyIds.h"

namespace isImageSDK {

namespace {

// Windows narrower or lower than this show the slice position alone.
constexpr float kSmallWindow = 250.0f;

// The modality of the data's first slice; −1 without slices.
int firstSliceModality(isImageData* data) {
  data->updateInformation();
  return data->slices.empty() || !data->slices[0] ? -1 : data->slices[0]->modality;
}

// Modalities whose slices have a position along the patient axes worth a
// text of its own.
bool showsPosition(int modality) {
  return modality == MODALITY_CT || modality == MODALITY_PT || modality == MODALITY_MR;
}

isNodeOverlayText* bound(isNodeOverlayText* text, const std::string& value, const std::string& prefix,
                         const std::string& suffix, int id, bool touchable = false) {
  if (text) text->bindNotification(value, prefix, suffix, id, touchable);
  return text;
}

void colour(isNodeOverlayText* text, const cocos2d::Color4B& c) {
  if (text) text->setTextColor(c);
}

}  // namespace

// What the read of this viewer keeps between its start and its hand-back.
struct isViewerImage::DicomInfoRead {
  isDcmTextReader reader;
};

void isViewerImage::updateOverlay(int refreshButtons) {
  if (!imageData || !actorManager) return;
  isActorOverlay* overlay = actorManager->getOverlayActor();
  if (!overlay) return;
  overlay->clearItems();

  const bool position = showsPosition(firstSliceModality(imageData));
  const cocos2d::Size size = getContentSize();
  if (size.width < kSmallWindow || size.height < kSmallWindow) {
    if (position) colour(bound(overlay->addTopLeftText(""), "", " ", "", NOTIFY_OVERLAY_SLICE_POSITION),
                         cocos2d::Color4B::ORANGE);
  } else {
    using A = isActorOverlay;
    // Top left: view name and loading progress; study and series numbers;
    // slice position.
    colour(bound(overlay->addTopLeftText(""), viewKindLabel(viewKind), " ", "", NOTIFY_OVERLAY_VIEW_NAME),
           cocos2d::Color4B::YELLOW);
    bound(overlay->addTopLeftText(""), "", "", "", NOTIFY_OVERLAY_LOAD_PROGRESS);
    if (showFullInfo) {
      overlay->addCornerRow(A::kTopLeft);
      bound(overlay->addTopLeftText(""), "", " Ex:", "", NOTIFY_OVERLAY_STUDY_ID);
      overlay->addCornerRow(A::kTopLeft);
      bound(overlay->addTopLeftText(""), "", " Se:", "", NOTIFY_OVERLAY_SERIES_ID);
    }
    if (position) {
      overlay->addCornerRow(A::kTopLeft);
      colour(bound(overlay->addTopLeftText(""), "", " ", "", NOTIFY_OVERLAY_SLICE_POSITION),
             cocos2d::Color4B::ORANGE);
    }

    // Bottom left: slab thickness of a volume; window.
    if (imageData->isVolume()) {
      colour(bound(overlay->addBottomLeftText(""), " Thk:", "", "", NOTIFY_OVERLAY_STATIC), cocos2d::Color4B::YELLOW);
      colour(bound(overlay->addBottomLeftText(""), "", "", "", NOTIFY_OVERLAY_SLAB_THICKNESS),
             cocos2d::Color4B::YELLOW);
      overlay->addBottomLeftRow();
    }
    colour(bound(overlay->addBottomLeftText(""), " ww/wl:", "", "", NOTIFY_OVERLAY_STATIC), cocos2d::Color4B::YELLOW);
    // A tap on the window asks for the window editor.
    colour(bound(overlay->addBottomLeftText(""), " ", "", "", NOTIFY_OVERLAY_WINDOW, true), cocos2d::Color4B::YELLOW);

    // Top right: hospital, series time, patient, patient information, image
    // description, one row each; then the cine buttons.
    auto right = [overlay](int id) { bound(overlay->addTopRightText(""), "", "", " ", id); };
    if (showFullInfo) {
      right(NOTIFY_OVERLAY_HOSPITAL);
      overlay->addCornerRow(A::kTopRight);
    }
    right(NOTIFY_OVERLAY_SERIES_TIME);
    if (showFullInfo) {
      overlay->addCornerRow(A::kTopRight);
      right(NOTIFY_OVERLAY_PATIENT);
    }
    overlay->addCornerRow(A::kTopRight);
    right(NOTIFY_OVERLAY_PATIENT_INFO);
    if (showFullInfo) {
      overlay->addCornerRow(A::kTopRight);
      right(NOTIFY_OVERLAY_IMAGE_DESC);
    }
    overlay->addCornerRow(A::kTopRight);
    static const struct {
      const char* picture;
      int id;
      const char* name;
    } buttons[] = {{"imageSDK/leftArrow.png", NOTIFY_CINE_PRIOR, "multi_prior"},
                   {"imageSDK/play.png", NOTIFY_CINE_STATE, "multi_status"},
                   {"imageSDK/rightArrow.png", NOTIFY_CINE_NEXT, "multi_next"}};
    for (const auto& b : buttons) {
      isNodeOverlaySprite* button = overlay->addTopRightButton();
      if (!button) continue;
      button->bindNotification(b.picture, b.picture, b.id, "");
      button->setName(b.name);
    }
  }

  overlay->updateLayout();

  if (refreshButtons) {
    const SliceRecord* slice = imageActor ? imageActor->getOutputSlice() : nullptr;
    const bool multiFrame = slice && slice->frameCount > 1;
    for (const char* name : {"multi_prior", "multi_next", "multi_status"})
      if (cocos2d::Node* item = overlay->findItem(name)) item->setVisible(multiFrame);
  }

  if (imageData->getDescription().empty()) {
    startDicomInfoRead();
  } else {
    overlay->setPatientInfo(imageData->getDescription());
  }
}

bool isViewerImage::readDicomInfo(const std::string& path, std::string* json) {
  if (!json) return false;
  return readPatientInfoFile(path, *json);
}

void isViewerImage::startDicomInfoRead() {
  if (!imageData) return;
  if (!dicomInfoRead) dicomInfoRead = std::make_shared<DicomInfoRead>();
  isDcmTextReader& reader = dicomInfoRead->reader;
  if (reader.isReading()) return;
  // Taken here, on the UI thread: the job sees only the path.
  imageData->updateInformation();
  if (imageData->slices.empty() || !imageData->slices[0]) return;
  const std::string path = imageData->slices[0]->filePath;
  const unsigned int dataId = imageData->getRefID();
  reader.start(this, path, [this, dataId](bool readOk, const std::string& json) {
    if (!imageData) return;
    if (imageData->getRefID() != dataId) {
      // The viewer moved on to other data while the file was read: that
      // data's own read was held back by this one.
      if (imageData->getDescription().empty()) startDicomInfoRead();
      return;
    }
    // A file that does not open leaves the description empty, so the next
    // rebuild of the overlay reads again.
    if (!readOk) return;
    imageData->getFirstFrame()->setDescription(json);
    if (auto* nc = NSUI::NSNotificationCenter::getInstance())
      nc->postNotificationText(nullptr, NOTIFY_DICOM_OVERLAY_INFO, json, this, false);
  });
}

void isViewerImage::cancelDicomInfoRead() {
  if (dicomInfoRead) dicomInfoRead->reader.cancel();
}

}  // namespace isImageSDK
