// Files of unusual layouts and files damaged in ways that once stalled or
// crashed readers: JPEG streams with a broken marker structure, a DICOMDIR
// whose record type length runs on, a meta header that disagrees with its
// dataset, and a big-endian dataset stored without preamble or meta header.
#include <algorithm>
#include <fstream>
#include <mutex>
#include <stdexcept>

#include "tools/dcmfixtures/fixtures.h"

#include <dcmtk/config/osconfig.h>
#include <dcmtk/dcmdata/dcddirif.h>
#include <dcmtk/dcmdata/dctk.h>
#include <dcmtk/dcmimage/diregist.h>
#include <dcmtk/dcmjpeg/djencode.h>
#include <dcmtk/dcmjpeg/djrploss.h>

namespace dcmfixtures {

namespace {

void check(const OFCondition& c, const std::string& what) {
  if (c.bad()) throw std::runtime_error(what + ": " + c.text());
}

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void writeAll(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

// First file of a one-slice series of the variant, small enough to be a seed.
std::string oneFile(const std::string& dir, const Variant& v) {
  return writeSeries(dir, v, 16, 12, 1).files.at(0);
}

// Replaces the marker after the first SOI of the pixel data (an APP0 or a
// table) by TEM (0xFF01), a marker that has no place in a JPEG stream.
std::string withTemMarker(std::string b) {
  const std::string pixelTag("\xE0\x7F\x10\x00", 4);
  size_t px = b.rfind(pixelTag);
  size_t soi = b.find(std::string("\xFF\xD8\xFF", 3), px == std::string::npos ? 0 : px);
  if (px == std::string::npos || soi == std::string::npos || soi + 3 >= b.size())
    throw std::runtime_error("no JPEG stream found");
  b[soi + 3] = '\x01';
  return b;
}

// A 12-bit CT slice re-encoded as JPEG extended (process 2 & 4).
std::string writeJpegExtended(const std::string& dir) {
  static std::once_flag once;
  std::call_once(once, [] {
    OFLog::getLogger("dcmtk").setLogLevel(OFLogger::WARN_LOG_LEVEL);
    DJEncoderRegistration::registerCodecs();  // idempotent with other registrations
  });
  Variant v = *findVariant("ct_ele");
  v.garbageHighBits = false;  // the encoder would keep the noise as image
  std::string src = oneFile(dir + "/jpeg_extended_src", v);
  DcmFileFormat ff;
  check(ff.loadFile(src.c_str()), "loading " + src);
  DJ_RPLossy lossy(90);
  check(ff.getDataset()->chooseRepresentation(EXS_JPEGProcess2_4, &lossy), "JPEG extended encoding");
  std::string out = dir + "/jpeg_extended.dcm";
  check(ff.saveFile(out.c_str(), EXS_JPEGProcess2_4), "saving " + out);
  return out;
}

// A DICOMDIR as the toolkit's media tools write it (explicit lengths),
// listing one CT file.
std::string writeDicomdir(const std::string& dir) {
  std::string folder = dir + "/dicomdir";
  std::string img = oneFile(folder + "/src", *findVariant("ct_s16"));
  writeAll(folder + "/IMG1", readAll(img));
  DicomDirInterface ddir;
  std::string path = folder + "/DICOMDIR";
  check(ddir.createNewDicomDir(DicomDirInterface::AP_GeneralPurpose, path.c_str(), "FIXTURE"), "DICOMDIR");
  check(ddir.addDicomFile("IMG1", folder.c_str()), "DICOMDIR record");
  check(ddir.writeDicomDir(EET_ExplicitLength, EGL_withoutGL), "writing DICOMDIR");
  return path;
}

uint32_t le32(const std::string& b, size_t at) {
  return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
         uint32_t(uint8_t(b[at + 3])) << 24;
}

// Offset of the dataset in a file with preamble: 128 bytes, "DICM", then the meta
// group whose length (0002,0000) comes first.
size_t datasetOffset(const std::string& b) {
  if (b.size() < 144 || b.compare(128, 4, "DICM") != 0 || b.compare(132, 4, std::string("\x02\x00\x00\x00", 4)) != 0)
    throw std::runtime_error("unexpected meta header layout");
  return 144 + le32(b, 140);
}

}  // namespace

std::vector<Broken> writeHostile(const std::string& dir) {
  std::vector<Broken> out;
  // JPEG baseline, extended and lossless streams with TEM after SOI.
  const std::pair<std::string, std::string> jpegs[] = {
      {"jpeg_baseline_tem.dcm", oneFile(dir + "/jpeg_baseline_src", *findVariant("grey8_jpeg"))},
      {"jpeg_extended_tem.dcm", writeJpegExtended(dir)},
      {"jpeg_lossless_tem.dcm", oneFile(dir + "/jpeg_lossless_src", *findVariant("ct_jpll"))},
  };
  for (const auto& [name, src] : jpegs) {
    writeAll(dir + "/" + name, withTemMarker(readAll(src)));
    out.push_back({dir + "/" + name, "JPEG stream with a TEM marker after SOI", true});
  }
  {
    // One byte inserted into the length of the first Directory Record Type
    // (0004,1430): its value now runs on over the rest of the record.
    std::string b = readAll(writeDicomdir(dir));
    size_t at = b.find(std::string("\x04\x00\x30\x14" "CS", 6));
    if (at == std::string::npos) throw std::runtime_error("no directory record type");
    b.insert(at + 7, 1, '\x01');
    writeAll(dir + "/dicomdir_record_type_runs_on", b);
    out.push_back({dir + "/dicomdir_record_type_runs_on", "DICOMDIR with a record type length running on", true});
  }
  {
    // Meta header of an explicit VR file in front of an implicit VR dataset.
    const Variant& v = *findVariant("ct_s16");
    std::string ex = readAll(oneFile(dir + "/vr_explicit_src", v));
    Variant iv = v;
    iv.xfer = Xfer::ILE;
    std::string im = readAll(oneFile(dir + "/vr_implicit_src", iv));
    std::string b = ex.substr(0, datasetOffset(ex)) + im.substr(datasetOffset(im));
    writeAll(dir + "/meta_explicit_dataset_implicit.dcm", b);
    out.push_back({dir + "/meta_explicit_dataset_implicit.dcm", "meta header says explicit VR, dataset is implicit VR",
                   false});
  }
  return out;
}

std::string writeDatasetOnly(const std::string& path, const Variant& v, int width, int height) {
  std::string dir = path.substr(0, path.find_last_of('/'));
  std::string src = writeSeries(dir + "/dataset_only_src", v, width, height, 1).files.at(0);
  DcmFileFormat ff;
  check(ff.loadFile(src.c_str()), "loading " + src);
  DcmDataset* d = ff.getDataset();
  E_TransferSyntax xs = d->getOriginalXfer();
  check(d->saveFile(path.c_str(), xs), "saving " + path);
  return path;
}

}  // namespace dcmfixtures
