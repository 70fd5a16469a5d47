#include "support_dcm.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <stdexcept>

namespace dcmtest {

const std::string& scratch() {
  static std::string dir = [] {
    std::string tmpl = (std::filesystem::temp_directory_path() / "dcmsdk-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    static std::string keep = tmpl;
    std::atexit([] { std::error_code ec; std::filesystem::remove_all(keep, ec); });
    return tmpl;
  }();
  return dir;
}

const dcmfixtures::Series& series(const std::string& variant) {
  static std::mutex m;
  static std::map<std::string, dcmfixtures::Series> cache;
  std::lock_guard<std::mutex> lock(m);
  auto it = cache.find(variant);
  if (it != cache.end()) return it->second;
  const dcmfixtures::Variant* v = dcmfixtures::findVariant(variant);
  if (!v) throw std::runtime_error("unknown fixture " + variant);
  return cache[variant] = dcmfixtures::writeSeries(scratch() + "/" + variant, *v);
}

bool haveTool(const char* name) { return run(std::string("command -v ") + name); }

bool run(const std::string& cmd) { return std::system((cmd + " >/dev/null 2>&1").c_str()) == 0; }

Decoded decode(const std::string& path) {
  Decoded d;
  dcmSDK::dcmReader r;
  if (!r.setFile(path.c_str())) {
    d.error = r.getLastError();
    return d;
  }
  const void* p = r.readDicomPixelPointer(d.type, d.count);
  if (!p) {
    d.error = r.getLastError();
    return d;
  }
  size_t bpp = d.type == dcmSDK::dcmReader::PIXEL_8 ? 1 : d.type == dcmSDK::dcmReader::PIXEL_16 ? 2 : 3;
  const auto* b = static_cast<const uint8_t*>(p);
  d.bytes.assign(b, b + size_t(d.count) * bpp);
  d.ok = true;
  return d;
}

}  // namespace dcmtest
