// dcmReadTag: single values, the full tag list and the pixel aspect of a file.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "dcmsdk/src/internal.h"

namespace dcmSDK {

using namespace detail;

struct dcmReadTag::Impl {
  std::unique_ptr<LoadedFile> file;
  std::vector<DicomTags> rows;
  std::vector<DicomTags*> ptrs;
  bool listed = false;

  void walk(DcmItem& item, int depth);
  void addRow(DcmElement& el, int depth);
};

namespace {

constexpr int kMaxDepth = 3;

bool isBinaryVr(DcmEVR vr) {
  switch (vr) {
    case EVR_OB: case EVR_OW: case EVR_OF: case EVR_OD: case EVR_OL: case EVR_OV:
    case EVR_UN: case EVR_UNKNOWN: case EVR_UNKNOWN2B: case EVR_ox: case EVR_px: case EVR_xs: case EVR_lt:
    case EVR_PixelData: case EVR_OverlayData: case EVR_pixelSQ: case EVR_pixelItem:
      return true;
    default:
      return false;
  }
}

}  // namespace

void dcmReadTag::Impl::addRow(DcmElement& el, int depth) {
  DicomTags row;
  std::memset(&row, 0, sizeof row);
  const DcmTag& tag = el.getTag();
  std::string prefix(static_cast<size_t>(depth), '>');
  std::snprintf(row.tag, sizeof row.tag, "%s(%04x,%04x)", prefix.c_str(), tag.getGTag(), tag.getETag());
  row.isPrivate = tag.isPrivate() ? 1 : 0;

  DcmTag named(tag);
  const char* name = named.getTagName();
  std::string desc = name ? name : "";
  if (desc.empty() || desc == DcmTag_ERROR_TagName) desc = row.isPrivate ? "PrivateTag" : "UnknownTag";
  copyUtf8(sanitizeUtf8(desc), row.description, sizeof row.description);

  std::string value;
  const DcmEVR vr = el.ident();
  if (vr == EVR_SQ) {
    value = "(sequence, " + std::to_string(static_cast<DcmSequenceOfItems&>(el).card()) + " items)";
  } else if (isBinaryVr(vr) && !((vr == EVR_UN || vr == EVR_UNKNOWN || vr == EVR_UNKNOWN2B) && el.getLengthField() <= 64)) {
    Uint32 len = el.getLengthField();
    value = len == DCM_UndefinedLength ? std::string("(binary, encapsulated)")
                                       : "(binary, " + std::to_string(len) + " bytes)";
  } else {
    std::string raw;
    bool binText = false;
    DcmItem* parent = dynamic_cast<DcmItem*>(el.getParent());
    if (parent && elementText(*file, *parent, tag, raw, binText))
      value = toUtf8(*file, raw, vr == EVR_PN);
  }
  copyUtf8(value, row.value, sizeof row.value);
  rows.push_back(row);
}

void dcmReadTag::Impl::walk(DcmItem& item, int depth) {
  for (unsigned long i = 0; i < item.card(); ++i) {
    DcmElement* el = item.getElement(i);
    if (!el) continue;
    addRow(*el, depth);
    if (el->ident() == EVR_SQ && depth < kMaxDepth) {
      auto* sq = static_cast<DcmSequenceOfItems*>(el);
      for (unsigned long k = 0; k < sq->card(); ++k)
        if (DcmItem* sub = sq->getItem(k)) walk(*sub, depth + 1);
    }
  }
}

dcmReadTag::dcmReadTag() : d_(std::make_unique<Impl>()) {}
dcmReadTag::~dcmReadTag() = default;

bool dcmReadTag::setFile(const char* path) try {
  d_->file.reset();
  d_->rows.clear();
  d_->ptrs.clear();
  d_->listed = false;
  std::string err;
  d_->file = loadDicomFile(path, err);
  if (!d_->file) {
    logLine(err);
    return false;
  }
  d_->file->language = language;
  return true;
} catch (...) {
  d_->file.reset();
  logLine(std::string(path ? path : "") + ": " + exceptionText("reading the file"));
  return false;
}

std::string dcmReadTag::getTag(unsigned short group, unsigned short element) try {
  if (!d_->file) return std::string();
  d_->file->language = language;
  std::string v;
  readTagUtf8(*d_->file, group, element, v);
  return v;
} catch (...) {
  logLine(d_->file->path + ": " + exceptionText("reading an element"));
  return std::string();
}

DicomTags** dcmReadTag::getTagList(int& count) try {
  count = 0;
  if (!d_->file) return nullptr;
  if (!d_->listed) {
    d_->listed = true;
    d_->file->language = language;
    if (DcmMetaInfo* meta = d_->file->ff->getMetaInfo()) d_->walk(*meta, 0);
    d_->walk(*d_->file->ds(), 0);
    d_->ptrs.clear();
    for (auto& r : d_->rows) d_->ptrs.push_back(&r);
  }
  count = static_cast<int>(d_->ptrs.size());
  return d_->ptrs.empty() ? nullptr : d_->ptrs.data();
} catch (...) {
  d_->rows.clear();
  d_->ptrs.clear();
  count = 0;
  logLine(d_->file->path + ": " + exceptionText("listing the elements"));
  return nullptr;
}

float dcmReadTag::getImageScale() try {
  if (!d_->file) return 1.0f;
  DcmDataset* ds = d_->file->ds();
  DcmElement* el = nullptr;
  if (ds->findAndGetElement(DCM_PixelSpacing, el, OFFalse).bad() || !el || el->getVM() != 2) return 1.0f;
  Float64 rowSpacing = 0, colSpacing = 0;  // (0028,0030) = spacing y \ spacing x
  if (ds->findAndGetFloat64(DCM_PixelSpacing, rowSpacing, 0).bad() ||
      ds->findAndGetFloat64(DCM_PixelSpacing, colSpacing, 1).bad())
    return 1.0f;
  if (!(rowSpacing > 0) || !(colSpacing > 0) || !std::isfinite(rowSpacing) || !std::isfinite(colSpacing))
    return 1.0f;
  return static_cast<float>(colSpacing / rowSpacing);
} catch (...) {
  logLine(d_->file->path + ": " + exceptionText("reading the pixel spacing"));
  return 1.0f;
}

}  // namespace dcmSDK
