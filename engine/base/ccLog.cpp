#include "engine/base/ccLog.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

NS_CC_BEGIN

namespace {
std::mutex& logMutex() {
  static std::mutex* m = new std::mutex;  // lives past static destruction
  return *m;
}
}  // namespace

void log(const char* format, ...) {
  if (!format) return;
  char stackBuf[512];
  std::string heapBuf;
  const char* text = stackBuf;

  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  int n = vsnprintf(stackBuf, sizeof stackBuf, format, args);
  va_end(args);
  if (n < 0) {
    va_end(copy);
    return;
  }
  size_t len = static_cast<size_t>(n);
  if (len >= sizeof stackBuf) {
    heapBuf.resize(len + 1);
    vsnprintf(heapBuf.data(), heapBuf.size(), format, copy);
    heapBuf.resize(len);
    text = heapBuf.c_str();
  }
  va_end(copy);

  // Strip one trailing newline so each call is exactly one line.
  if (len > 0 && text[len - 1] == '\n') --len;

  std::lock_guard<std::mutex> lock(logMutex());
  fwrite(text, 1, len, stderr);
  fputc('\n', stderr);
  fflush(stderr);
}

NS_CC_END
