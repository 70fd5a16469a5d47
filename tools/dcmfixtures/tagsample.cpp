#include "tools/dcmfixtures/tagsample.h"

#include <stdexcept>

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dctk.h>

#include "tools/dcmfixtures/fixtures.h"

namespace dcmfixtures {

const char* const kTagSampleStudyDescription = "Thorax – 胸部 CT Übersicht";

namespace {

void ok(const OFCondition& c, const char* what) {
  if (c.bad()) throw std::runtime_error(std::string("tag sample: ") + what + ": " + c.text());
}

// A private element with an explicit VR (the dictionary does not know it).
void putPrivate(DcmItem& item, Uint16 group, Uint16 element, DcmEVR vr, const std::string& text) {
  DcmTag tag(group, element, vr);
  DcmElement* el = nullptr;
  ok(DcmItem::newDicomElementWithVR(el, tag), "private element");
  ok(el->putString(text.c_str(), static_cast<Uint32>(text.size())), "private value");
  ok(item.insert(el, OFTrue), "private insert");
}

}  // namespace

void writeTagSample(const std::string& path) {
  writeTagged(path, {{0x00080005, "ISO_IR 192"},
                     {0x00081030, kTagSampleStudyDescription},
                     {0x0008103E, "Séries axiales 軸位"},
                     {0x00100010, "Müller^Jürgen=山田^太郎"}});
  DcmFileFormat ff;
  ok(ff.loadFile(path.c_str()), "reloading");
  DcmDataset* d = ff.getDataset();

  DcmItem* item = nullptr;
  ok(d->findOrCreateSequenceItem(DCM_ReferencedImageSequence, item, -2), "sequence item");
  ok(item->putAndInsertString(DCM_ReferencedSOPClassUID, UID_CTImageStorage), "item class");
  ok(item->putAndInsertString(DCM_ReferencedSOPInstanceUID, "1.2.826.0.1.3680043.9.7133.1.1"), "item instance");
  // Two more levels below the item: a code and, inside it, its meaning.
  DcmItem* code = nullptr;
  ok(item->findOrCreateSequenceItem(DCM_PurposeOfReferenceCodeSequence, code, -2), "code item");
  ok(code->putAndInsertString(DCM_CodeValue, "121311"), "code value");
  ok(code->putAndInsertString(DCM_CodingSchemeDesignator, "DCM"), "code scheme");
  DcmItem* meaning = nullptr;
  ok(code->findOrCreateSequenceItem(DCM_ConceptNameCodeSequence, meaning, -2), "concept item");
  ok(meaning->putAndInsertString(DCM_CodeValue, "T-D3000"), "concept value");
  ok(meaning->putAndInsertString(DCM_CodeMeaning, "Brustkorb – 胸部"), "concept meaning");
  putPrivate(*item, 0x0009, 0x0010, EVR_LO, "FW TAG SAMPLE");
  putPrivate(*item, 0x0009, 0x1001, EVR_LO, "in the item");

  putPrivate(*d, 0x0009, 0x0010, EVR_LO, "FW TAG SAMPLE");
  putPrivate(*d, 0x0009, 0x1001, EVR_LO, "Privé – 私有");
  putPrivate(*d, 0x0009, 0x1002, EVR_US, "4660");
  const Uint8 bytes[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
  DcmTag obTag(0x0009, 0x1003, EVR_OB);
  DcmElement* ob = nullptr;
  ok(DcmItem::newDicomElementWithVR(ob, obTag), "private OB");
  ok(ob->putUint8Array(bytes, sizeof bytes), "private OB value");
  ok(d->insert(ob, OFTrue), "private OB insert");
  putPrivate(*d, 0x0029, 0x0010, EVR_LO, "FW SECOND");
  putPrivate(*d, 0x0029, 0x1001, EVR_SH, "second");
  ok(ff.saveFile(path.c_str(), EXS_LittleEndianExplicit), "saving");
}

}  // namespace dcmfixtures
