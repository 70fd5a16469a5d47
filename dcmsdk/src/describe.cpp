// The record of a stored file: one description shared by the storage server,
// the import and the library's recovery, so that the ways into the library
// never disagree on a text, a folder or a file name.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "dcmsdk/src/internal.h"
#include "dcmsdk/src/net_common.h"

#include <dcmtk/dcmdata/dcistrmf.h>

namespace dcmSDK {

namespace detail {

namespace {

std::string tagOr(LoadedFile& f, uint16_t g, uint16_t e, const char* fallback) {
  std::string v;
  readTagUtf8(f, g, e, v);
  return v.empty() && fallback ? std::string(fallback) : v;
}

void put(char* dst, size_t size, const std::string& s) { copyUtf8(s, dst, static_cast<int>(size)); }

}  // namespace

bool describeLoaded(LoadedFile& file, uint64_t datasetOffset, DCM_MESSAGE& rec) {
  rec = DCM_MESSAGE();
  std::string name = tagOr(file, 0x0010, 0x0010, "ANONYMOUS");
  std::string id = tagOr(file, 0x0010, 0x0020, "EmptyID");
  std::string study = tagOr(file, 0x0020, 0x000D, "unknownStudy");
  std::string series = tagOr(file, 0x0020, 0x000E, "unknownSeries");
  std::string sop = tagOr(file, 0x0008, 0x0018, nullptr);
  std::string fileName;
  if (sop.empty()) {
    // Files without their own UID are told apart by their dataset.
    fileName = net::noUidFileName(net::fnv1a64File(file.path, datasetOffset));
    sop = fileName;
  } else {
    fileName = net::instanceFileName(sop);
  }
  char folder[1024];
  if (!dcmServer::getDicomFolder(name.c_str(), id.c_str(), study.c_str(), series.c_str(), folder)) return false;

  put(rec.modality, 256, tagOr(file, 0x0008, 0x0060, nullptr));
  put(rec.studyUID, 256, study);
  put(rec.studyID, 256, tagOr(file, 0x0020, 0x0010, nullptr));
  put(rec.studyDate, 256, tagOr(file, 0x0008, 0x0020, nullptr));
  put(rec.studyTime, 7, tagOr(file, 0x0008, 0x0030, nullptr));
  put(rec.seriesUID, 256, series);
  put(rec.seriesDate, 256, tagOr(file, 0x0008, 0x0021, nullptr));
  put(rec.seriesTime, 7, tagOr(file, 0x0008, 0x0031, nullptr));
  put(rec.studyDescription, 256, tagOr(file, 0x0008, 0x1030, nullptr));
  put(rec.seriesDescription, 256, tagOr(file, 0x0008, 0x103E, nullptr));
  put(rec.sopInstanceUID, 256, sop);
  put(rec.patientName, 256, name);
  put(rec.patientID, 256, id);
  put(rec.birthDate, 256, tagOr(file, 0x0010, 0x0030, nullptr));
  std::string sex = tagOr(file, 0x0010, 0x0040, nullptr);
  put(rec.sex, 256, !sex.empty() && (sex[0] == 'F' || sex[0] == 'M') ? sex : "U");
  put(rec.instanceNumber, 256, tagOr(file, 0x0020, 0x0013, "0"));
  put(rec.fileName, 1024, fileName);
  put(rec.folder, 1024, std::string(folder) + "/");
  return true;
}

// Every value left on disk (pixel data, large values, encapsulated
// fragments) must lie within the file: a file cut short in its data parses,
// but its last values point past its end.
bool holdsDeclaredBytes(LoadedFile& file, std::string& why) {
  DcmDataset* ds = file.ds();
  if (!ds) return false;
  DcmStack stack;
  while (ds->nextObject(stack, OFTrue).good()) {
    DcmObject* obj = stack.top();
    if (!obj || obj->isLeaf() == OFFalse) continue;
    auto* el = dynamic_cast<DcmElement*>(obj);
    if (!el || el->valueLoaded()) continue;
    const auto* factory = dynamic_cast<const DcmInputFileStreamFactory*>(el->getInputStream());
    if (!factory) continue;
    uint64_t end = static_cast<uint64_t>(factory->getOffset()) + el->getLengthField();
    if (end > file.fileSize) {
      char tag[32];
      std::snprintf(tag, sizeof tag, "(%04x,%04x)", el->getGTag(), el->getETag());
      why = std::string("cut short: ") + tag + " declares " + std::to_string(el->getLengthField()) +
            " bytes, the file ends " + std::to_string(end - file.fileSize) + " bytes early";
      return false;
    }
  }
  return true;
}

// Where the dataset of a file begins: after the preamble and the meta header.
uint64_t datasetOffsetOf(LoadedFile& file) {
  DcmMetaInfo* meta = file.ff ? file.ff->getMetaInfo() : nullptr;
  if (!meta || meta->card() == 0) return 0;
  Uint32 groupLength = 0;
  if (meta->findAndGetUint32(DCM_FileMetaInformationGroupLength, groupLength).good())
    return 132u + 12u + groupLength;
  return 132u + meta->calcElementLength(EXS_LittleEndianExplicit, EET_ExplicitLength);
}

}  // namespace detail

bool dcmServer::describeFile(const char* path, int language, DCM_MESSAGE& rec, std::string* why) try {
  rec = DCM_MESSAGE();
  std::string err;
  std::unique_ptr<detail::LoadedFile> f = detail::loadDicomFile(path, err);
  if (!f) {
    if (why) *why = err;
    return false;
  }
  f->language = language;
  if (!detail::holdsDeclaredBytes(*f, err)) {
    if (why) *why = err;
    return false;
  }
  if (!detail::describeLoaded(*f, detail::datasetOffsetOf(*f), rec)) {
    if (why) *why = "its storage folder name is too long";
    return false;
  }
  return true;
} catch (...) {
  if (why) *why = detail::exceptionText("describing the file");
  rec = DCM_MESSAGE();
  return false;
}

}  // namespace dcmSDK

namespace dcmSDK {

namespace {

// The folder a thread placed its last file in, kept open while files of the
// same series follow (a folder removed meanwhile is opened again).
struct LastFolder {
  std::string path;
  int fd = -1;
  ~LastFolder() {
    if (fd >= 0) close(fd);
  }
  int take(const std::string& p) {
    struct stat st;
    if (fd >= 0 && p == path && fstat(fd, &st) == 0 && st.st_nlink > 0) return dup(fd);
    return -1;
  }
  void keep(const std::string& p, int dirFd) {
    if (fd >= 0) close(fd);
    fd = dup(dirFd);
    path = fd >= 0 ? p : "";
  }
};
thread_local LastFolder lastFolder;

}  // namespace

bool dcmServer::placeFile(const char* tmpPath, const char* root, DCM_MESSAGE& rec, std::string* why) try {
  auto fail = [&](const std::string& text) {
    if (why) *why = text;
    return false;
  };
  if (!tmpPath || !*tmpPath || !root || !*root) return fail("no file or no root");
  std::string folder(rec.folder, strnlen(rec.folder, sizeof rec.folder));
  std::string name(rec.fileName, strnlen(rec.fileName, sizeof rec.fileName));
  while (!folder.empty() && folder.back() == '/') folder.pop_back();
  if (folder.empty() || name.empty() || name.find('/') != std::string::npos || name == "." || name == "..")
    return fail("no folder or no file name");
  std::string rootPath = root;
  if (rootPath.back() != '/') rootPath += '/';
  int dirFd = lastFolder.take(rootPath + folder);
  const bool cached = dirFd >= 0;
  if (!cached) dirFd = open(rootPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) return fail(rootPath + ": " + std::strerror(errno));
  std::string rest = cached ? "" : folder;
  while (!rest.empty()) {
    size_t slash = rest.find('/');
    std::string part = rest.substr(0, slash);
    rest = slash == std::string::npos ? "" : rest.substr(slash + 1);
    if (part.empty() || part == "." || part == ".." || part[0] == '.') {
      close(dirFd);
      return fail("the folder " + folder + " leads out of the library");
    }
    if (mkdirat(dirFd, part.c_str(), 0755) != 0 && errno != EEXIST) {
      int e = errno;
      close(dirFd);
      return fail("cannot create the folder " + folder + ": " + std::strerror(e));
    }
    int next = openat(dirFd, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    int e = errno;
    close(dirFd);
    if (next < 0) return fail("cannot open the folder " + folder + ": " + std::strerror(e));
    dirFd = next;
  }
  if (!cached) lastFolder.keep(rootPath + folder, dirFd);
  std::string sop(rec.sopInstanceUID, strnlen(rec.sopInstanceUID, sizeof rec.sopInstanceUID));
  bool hasUid = !(name.rfind("noUID_", 0) == 0 && sop == name);
  std::string reason;
  bool placed = net::placeFile(AT_FDCWD, tmpPath, dirFd, rootPath + folder, hasUid ? sop : "", hasUid, name, reason,
                               false);
  close(dirFd);
  if (!placed) return fail("cannot store " + name + ": " + reason);
  detail::copyUtf8(name, rec.fileName, sizeof rec.fileName);
  return true;
} catch (...) {
  if (why) *why = detail::exceptionText("placing the file");
  return false;
}

}  // namespace dcmSDK
