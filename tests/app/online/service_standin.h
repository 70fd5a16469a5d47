// The local stand-in of the maker's web service (service_standin.py) for the
// online-services tests: started in a temporary folder on free 127.0.0.1
// ports (the tests run inside the loopback-only namespace), controlled and
// read back over its /_standin/ paths.
#pragma once

#include <curl/curl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/script_process.h"

namespace onlinetest {

// One request the stand-in received.
struct LoggedRequest {
  std::string path;
  std::string contentType;
  bool tls = false;
  std::string text;  // the body, base64-decoded
};

class ServiceStandIn {
 public:
  ServiceStandIn() = default;
  ~ServiceStandIn() { stop(); }
  ServiceStandIn(const ServiceStandIn&) = delete;
  ServiceStandIn& operator=(const ServiceStandIn&) = delete;

  bool start() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "fw_service_XXXXXX").string();
    if (!mkdtemp(tmpl.data())) return false;
    dir = tmpl;
    std::string line;
    const std::string script = std::string(FW_SOURCE_DIR) + "/tests/app/online/service_standin.py";
    return process.start(script, dir.string(), &line) && sscanf(line.c_str(), "PORT %d %d", &tlsPort, &plainPort) == 2;
  }

  void stop() {
    process.stop();
    if (!dir.empty()) std::filesystem::remove_all(dir);
    dir.clear();
  }

  // The service base addresses, without a trailing "/".
  std::string base() const { return "https://127.0.0.1:" + std::to_string(tlsPort); }
  std::string plainBase() const { return "http://127.0.0.1:" + std::to_string(plainPort); }
  std::string caFile() const { return (dir / "ca.pem").string(); }

  // POSTs a plain JSON text to /_standin/<name>; the reply body.
  std::string control(const std::string& name, const std::string& json = "{}") const {
    std::string reply;
    CURL* curl = curl_easy_init();
    if (!curl) return reply;
    const std::string url = base() + "/_standin/" + name;
    const std::string ca = caFile();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_CAINFO, ca.c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, json.c_str());
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 20L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &ServiceStandIn::collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply);
    curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    return reply;
  }

  // Makes `path` answer in `mode` ("500", "status1", "noStatus", …; "" for
  // the normal answer).
  void force(const std::string& path, const std::string& mode) const {
    control("force", "{\"path\":\"" + path + "\",\"mode\":\"" + mode + "\"}");
  }

  // The requests received so far, oldest first; only those to `path` when
  // given.
  std::vector<LoggedRequest> requests(const std::string& path = "") const {
    std::vector<LoggedRequest> out;
    std::istringstream lines(control("log-text"));
    std::string line;
    while (std::getline(lines, line)) {
      std::vector<std::string> fields;
      size_t start = 0;
      for (int i = 0; i < 3; ++i) {
        const size_t tab = line.find('\t', start);
        if (tab == std::string::npos) break;
        fields.push_back(line.substr(start, tab - start));
        start = tab + 1;
      }
      if (fields.size() != 3) continue;
      LoggedRequest r;
      r.path = fields[0];
      r.contentType = fields[1];
      r.tls = fields[2] == "tls";
      r.text = unescape(line.substr(start));
      if (path.empty() || r.path == path) out.push_back(r);
    }
    return out;
  }

  std::filesystem::path dir;
  int tlsPort = 0;
  int plainPort = 0;

 private:
  static size_t collect(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
  }
  static std::string unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
      if (s[i] == '\\' && i + 1 < s.size()) {
        const char c = s[++i];
        out += c == 't' ? '\t' : c == 'n' ? '\n' : c;
      } else {
        out += s[i];
      }
    }
    return out;
  }

  fwtest::ScriptProcess process;
};

}  // namespace onlinetest
