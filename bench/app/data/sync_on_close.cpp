// Preloaded into DCMTK's storescp by bench_library to give the receive
// benchmark a reference that keeps what our server promises: a received file
// is on the disk, data and name, before the sender hears it was stored.
// storescp writes each file under its final name and closes it before it
// answers, so the close of a file written under FW_SYNC_UNDER first flushes
// the file's data (fdatasync) and then its folder (fsync).
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void flushWritten(int fd) {
  const char* under = std::getenv("FW_SYNC_UNDER");
  if (!under || !*under || fd < 0) return;
  int flags = fcntl(fd, F_GETFL);
  struct stat st;
  if (flags < 0 || (flags & O_ACCMODE) == O_RDONLY || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return;
  char link[64], path[4096];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  ssize_t n = readlink(link, path, sizeof path - 1);
  if (n <= 0) return;
  path[n] = 0;
  if (std::strncmp(path, under, std::strlen(under)) != 0) return;
  fdatasync(fd);
  std::string dir(path);
  dir.resize(dir.rfind('/') + 1);
  int dfd = open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    fsync(dfd);
    using CloseFn = int (*)(int);
    static CloseFn realClose = reinterpret_cast<CloseFn>(dlsym(RTLD_NEXT, "close"));
    realClose(dfd);
  }
}

}  // namespace

extern "C" int fclose(FILE* f) {
  using Fn = int (*)(FILE*);
  static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "fclose"));
  if (f && std::fflush(f) == 0) flushWritten(fileno(f));
  return real(f);
}

extern "C" int close(int fd) {
  using Fn = int (*)(int);
  static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "close"));
  flushWritten(fd);
  return real(fd);
}
