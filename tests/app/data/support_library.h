// A patient library in a temporary writable path, driven frame by frame: the
// real file, the real storage server on port 4587 (each case runs in a
// network namespace of its own) and the notifications it posts.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/data/dicomDB.h"
#include "toolkit/foundation/NSDBUtil.h"

namespace libtest {

struct Post {
  int id = 0;
  unsigned frame = 0;
  std::string text;
  bool hasRow = false;
  std::vector<std::string> row;  // the series row of a 2001
};

class Library {
 public:
  Library();
  ~Library();

  std::string dir;       // scratch folder of the case
  std::string writable;  // dir + "/w/"
  std::string root() const { return writable + "kq/dicom/"; }
  std::string file() const { return root() + "dicomDB"; }

  dicomDB* db = nullptr;
  std::vector<Post> posts;
  std::vector<std::pair<std::string, bool>> stored;  // store outcomes
  unsigned frame = 0;

  void start();
  void stop();
  void step(int frames = 1);
  // Pumps frames until pred holds or the seconds run out; pred's last value.
  bool pumpUntil(const std::function<bool()>& pred, double seconds = 30);
  // Pumps until every queued serial post has been delivered (no new post for
  // a few frames after the stores).
  void drain(size_t expectedPosts, double seconds = 60);
  size_t count(int id) const;

  // A query on a connection of its own: rows of texts.
  std::vector<std::vector<std::string>> rows(const std::string& sql);
  std::string scalar(const std::string& sql);
};

// Runs a shell command; its exit status.
int sh(const std::string& command);
// Every regular file under a folder (full paths), dot-folders included.
std::vector<std::string> allFiles(const std::string& folder);
std::string readAll(const std::string& path);

// A discovery announcement as peers send it (flat JSON, before base64);
// appid null leaves the field out.
std::string announcement(const std::string& ip, const std::string& command, const char* appid = "A1",
                         const std::string& name = "peer", const std::string& msg = "dicom_node_recognize");

}  // namespace libtest
